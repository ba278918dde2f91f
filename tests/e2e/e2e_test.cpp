// End-to-end runs of an Orbiter host with the module: trace lines, exit status and the
// staged scenario file. The same table runs against orbiter-sim and the Win32 host.
#include "host_run.h"

namespace {

const char STAGED[] = "Scenarios/(Current state).scn";

struct HostCase {
    const char* name;
    std::vector<std::string> args;    // host options, then "--" and Orbiter's command line
    std::vector<std::string> inOrder; // lines that must appear, in this order
    std::vector<std::string> absent;  // line prefixes that must not appear
    int status;                       // 255 is the module's exit code -1
    const char* stagedFrom = nullptr; // the file staged as "(Current state)"; null: unchanged
};

// "{root}" in an argument or line stands for Orbiter's folder as the host names it.
std::vector<std::string> WithRoot(std::vector<std::string> texts, const std::string& root) {
    for (std::string& text : texts) {
        for (std::size_t at; (at = text.find("{root}")) != std::string::npos;) {
            text.replace(at, 6, root);
        }
    }
    return texts;
}

void PrintTo(const HostCase& row, std::ostream* out) {
    *out << row.name;
}

class HostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostTest, Runs) {
    const HostCase& row = GetParam();
    ScratchOrbiter folder;
    const std::string before = folder.Read(STAGED);

    const HostRun run = RunHost(folder, WithRoot(row.args, folder.HostPath()));

    EXPECT_TRUE(LinesInOrder(run, WithRoot(row.inOrder, folder.HostPath())));
    for (const std::string& prefix : row.absent) {
        EXPECT_TRUE(NoLineStartsWith(run, prefix));
    }
    EXPECT_EQ(run.status, row.status) << run.errors;
    EXPECT_EQ(folder.Read(STAGED),
              row.stagedFrom != nullptr ? folder.Read(row.stagedFrom) : before);
}

const std::vector<std::string> BEFORE_COMMAND_LINE = {"copy:", "dialog:", "start-paused: on"};

std::vector<std::string> Broken(std::vector<std::string> more = {}) {
    std::vector<std::string> absent = {"tree: selected", "start-paused:", "orbiter: exit"};
    absent.insert(absent.end(), more.begin(), more.end());
    absent.insert(absent.end(), BEFORE_COMMAND_LINE.begin(), BEFORE_COMMAND_LINE.end());
    return absent;
}

std::string Copy(const std::string& source, const char* outcome) {
    return "copy: \"" + source + "\" -> \"Scenarios\\(Current state).scn\" " + outcome;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HostTest,
    ::testing::Values(HostCase{"PausedQuotedPathWithBlanks",
                               {"--", "-p", "\"Scenarios\\Demo Flight\""},
                               {"tree: selected \"(Current state)\"", "start-paused: off",
                                "start-paused: on", Copy("Scenarios\\Demo Flight.scn", "ok")},
                               {},
                               0,
                               "Scenarios/Demo Flight.scn"},
                      HostCase{"PathWithSlash",
                               {"Scenarios/Demo"},
                               {Copy("Scenarios/Demo.scn", "ok")},
                               {"start-paused: on"},
                               0,
                               "Scenarios/Demo.scn"},
                      HostCase{"AbsolutePath",
                               {"--cmdline", "\"{root}\\Scenarios\\Flights.old\\Demo\""},
                               {Copy("{root}\\Scenarios\\Flights.old\\Demo.scn", "ok")},
                               {},
                               0,
                               "Scenarios/Flights.old/Demo.scn"},
                      HostCase{"SubfolderGivenVerbatim",
                               {"--cmdline", "\"Scenarios\\Tutorials\\Docking Practice\""},
                               {Copy("Scenarios\\Tutorials\\Docking Practice.scn", "ok")},
                               {},
                               0,
                               "Scenarios/Tutorials/Docking Practice.scn"},
                      HostCase{"MissingScenarioLeavesTheStagedFile",
                               {"Scenarios\\Nowhere"},
                               {Copy("Scenarios\\Nowhere.scn", "failed")},
                               {},
                               0}),
    [](const ::testing::TestParamInfo<HostCase>& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Launchpads, HostTest,
    ::testing::Values(
        HostCase{"EmptyCommandLine",
                 {},
                 {"module: version 20060425", "tree: selected \"(Current state)\"",
                  "start-paused: off", "copy: \"\" -> \"Scenarios\\(Current state).scn\" failed",
                  "orbiter: exit 0"},
                 {"dialog:", "start-paused: on"},
                 0},
        HostCase{"ForeignWindowFirst",
                 {"--foreign-window"},
                 {"tree: selected \"(Current state)\"", "start-paused: off", "orbiter: exit 0"},
                 {},
                 0},
        HostCase{
            "HiddenLaunchpad", {"--hide-launchpad"}, {"module: version 20060425"}, Broken(), 255},
        HostCase{"OtherWindowFirst", {"--other-window"}, {}, Broken(), 255},
        HostCase{"NoLaunchButton", {"--without", "1000"}, {}, Broken(), 255},
        HostCase{"NoExitButton", {"--without", "1001"}, {}, Broken(), 255},
        HostCase{"NoScenarioTree", {"--without", "1088"}, {}, Broken(), 255},
        HostCase{"NoStartPausedBox",
                 {"--without", "1090", "--", "-p", "Scenarios\\Demo"},
                 {"tree: selected \"(Current state)\""},
                 {"start-paused:", "copy:", "dialog:", "orbiter: exit"},
                 255},
        HostCase{"TooFewSiblings", {"--page-offset", "4"}, {}, Broken(), 255},
        HostCase{"PageTooFarAway", {"--page-offset", "6"}, {}, Broken(), 255},
        HostCase{"SelectionRefused", {"--refuse-selection"}, {}, Broken(), 255}),
    [](const ::testing::TestParamInfo<HostCase>& row) { return row.param.name; });

} // namespace
