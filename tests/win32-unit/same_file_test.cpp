// IsSameFile over the real Win32 calls, under Wine: the contract every back end keeps, and the
// spellings only Windows has: the full path with its drive, and the short 8.3 name.
#include "tests/lib/same_file_contract.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

constexpr const char* STAGED = STAGED_SCENARIO;

class Win32SameFile : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder = std::string(temp) + "skarvel-same-file-" + std::to_string(GetCurrentProcessId());
        for (const char* made : {"", "\\Scenarios", "\\Scenarios\\Tutorials"}) {
            ASSERT_TRUE(CreateDirectoryA((folder + made).c_str(), nullptr)) << GetLastError();
        }
        for (const char* file : FILES) {
            const HANDLE created = CreateFileA((folder + "\\" + file).c_str(), GENERIC_WRITE, 0,
                                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(created, INVALID_HANDLE_VALUE) << file << ": " << GetLastError();
            CloseHandle(created);
        }
        ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA("\\");
        for (const char* file : FILES) {
            DeleteFileA((folder + "\\" + file).c_str());
        }
        for (const char* made : {"\\Scenarios\\Tutorials", "\\Scenarios", ""}) {
            RemoveDirectoryA((folder + made).c_str());
        }
    }

    static constexpr const char* FILES[] = {STAGED, "Scenarios\\Tutorials\\(Current state).scn"};
    std::string folder;
};

TEST_F(Win32SameFile, IsTheFileNotTheSpelling) {
    char shortName[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(STAGED, shortName, MAX_PATH), 0u) << GetLastError();
    ASSERT_STRNE(shortName, STAGED) << "no short 8.3 name to try";
    ExpectSameFileCases({{folder + "\\" + STAGED, STAGED, true}, {shortName, STAGED, true}});
}

} // namespace
