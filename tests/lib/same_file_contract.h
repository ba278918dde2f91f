// IsSameFile's contract, run against every back end: one file is one file whatever the spelling,
// and what cannot be opened as a file is no file, not even the same one. The current directory
// holds Scenarios\(Current state).scn and Scenarios\Tutorials\(Current state).scn.
#pragma once

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct SameFileCase {
    std::string first;
    std::string second;
    bool same;
};

inline const char STAGED_SCENARIO[] = "Scenarios\\(Current state).scn";

inline const std::vector<SameFileCase> SAME_FILE_CASES = {
    {STAGED_SCENARIO, STAGED_SCENARIO, true},
    {"SCENARIOS\\(current state).SCN", STAGED_SCENARIO, true},
    {"Scenarios/(current state).SCN", STAGED_SCENARIO, true},
    {".\\Scenarios\\..\\Scenarios\\(Current state).scn", STAGED_SCENARIO, true},
    {"Scenarios\\Tutorials\\(Current state).scn", STAGED_SCENARIO, false},
    {"Scenarios\\Nowhere.scn", STAGED_SCENARIO, false},
    {"", STAGED_SCENARIO, false},
    {"Scenarios\\Nowhere.scn", "Scenarios\\Nowhere.scn", false},
    {"Scenarios", "Scenarios", false},
};

// Runs every case, then the back end's own: the spellings only it has.
inline void ExpectSameFileCases(const std::vector<SameFileCase>& own) {
    std::vector<SameFileCase> cases = SAME_FILE_CASES;
    cases.insert(cases.end(), own.begin(), own.end());
    for (const SameFileCase& row : cases) {
        EXPECT_EQ(platform::IsSameFile(row.first.c_str(), row.second.c_str()), row.same)
            << '"' << row.first << "\" and \"" << row.second << '"';
    }
}
