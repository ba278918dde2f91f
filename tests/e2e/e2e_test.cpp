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
};

void PrintTo(const HostCase& row, std::ostream* out) {
    *out << row.name;
}

class HostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostTest, Runs) {
    const HostCase& row = GetParam();
    ScratchOrbiter folder;
    const std::string before = folder.Read(STAGED);

    const HostRun run = RunHost(folder, row.args);

    EXPECT_TRUE(LinesInOrder(run, row.inOrder));
    for (const std::string& prefix : row.absent) {
        EXPECT_TRUE(NoLineStartsWith(run, prefix));
    }
    EXPECT_EQ(run.status, row.status) << run.errors;
    EXPECT_EQ(folder.Read(STAGED), before);
}

const std::vector<std::string> BEFORE_COMMAND_LINE = {"copy:", "dialog:", "start-paused: on"};

std::vector<std::string> Broken(std::vector<std::string> more = {}) {
    std::vector<std::string> absent = {"tree: selected", "start-paused:", "orbiter: exit"};
    absent.insert(absent.end(), more.begin(), more.end());
    absent.insert(absent.end(), BEFORE_COMMAND_LINE.begin(), BEFORE_COMMAND_LINE.end());
    return absent;
}

INSTANTIATE_TEST_SUITE_P(
    Launchpads, HostTest,
    ::testing::Values(
        HostCase{"EmptyCommandLine",
                 {},
                 {"module: version 20060425", "tree: selected \"(Current state)\"",
                  "start-paused: off", "orbiter: exit 0"},
                 {"copy:", "dialog:"},
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
