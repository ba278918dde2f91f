// The launchpad locator: which window it takes, and the process ending on every failure.
#include "launchpad/locator.h"
#include "sim_fixture.h"
#include "tests/lib/broken_launchpads.h"

namespace {

using LocatorTest = SimTest;

TEST_F(LocatorTest, FindsTheLaunchpadAndPreparesItsControls) {
    model::LaunchpadLayout layout;
    layout.foreignWindow = true; // another process's window is enumerated first and skipped
    const sim::Launchpad pad = BuildPad(layout);
    // A hidden window of this process in front of the launchpad is skipped too.
    sim::TheDesktop().CreateTopLevel(PROCESS_ID, sim::WindowKind::Frame, "hidden");
    Get(pad.pausedCheck).checked = true;

    FindLaunchpad();

    EXPECT_EQ(moduleState.launchpad, pad.window);
    EXPECT_EQ(moduleState.launchButton, pad.launchButton);
    EXPECT_EQ(moduleState.exitButton, pad.exitButton);
    EXPECT_EQ(moduleState.scenarioTree, pad.scenarioTree);
    EXPECT_EQ(moduleState.pausedCheck, pad.pausedCheck);
    EXPECT_EQ(Get(pad.scenarioTree).selectedItem, 0);
    EXPECT_FALSE(Get(pad.pausedCheck).checked);
    EXPECT_EQ(trace, (std::vector<std::string>{"tree: selected \"(Current state)\"",
                                               "start-paused: off"}));
}

TEST_F(LocatorTest, EmptyTreeClearsTheSelectionAndGoesOn) {
    model::LaunchpadLayout layout;
    layout.emptyTree = true;
    const sim::Launchpad pad = BuildPad(layout);
    FindLaunchpad();
    EXPECT_EQ(moduleState.pausedCheck, pad.pausedCheck);
    EXPECT_EQ(Get(pad.scenarioTree).selectedItem, -1);
}

TEST_F(LocatorTest, SearchRecordHoldsAFullWindowHandle) {
    // A handle above 32 bits must come back whole from the enumeration callback.
    SearchRecord record = PROCESS_ID;
    const sim::Launchpad pad = BuildPad();
    EXPECT_EQ(MatchLaunchpadWindow(pad.window, reinterpret_cast<MessageData>(&record)), 0);
    EXPECT_EQ(record, reinterpret_cast<SearchRecord>(pad.window));
    static_assert(sizeof(SearchRecord) >= sizeof(WindowHandle), "a handle must fit the record");
}

struct LocatorFailure {
    std::string name;
    model::LaunchpadLayout layout;
    bool enumerationFails;
};

void PrintTo(const LocatorFailure& row, std::ostream* out) {
    *out << row.name;
}

class LocatorFailureTest : public SimTest, public ::testing::WithParamInterface<LocatorFailure> {};

TEST_P(LocatorFailureTest, EndsTheProcessWithExitCodeMinusOne) {
    BuildPad(GetParam().layout);
    sim::TheDesktop().faults.enumWindowsFails = GetParam().enumerationFails;
    EXPECT_EXIT(FindLaunchpad(), ::testing::ExitedWithCode(255), "");
}

// Every broken launchpad, and two failures only the simulated desktop can make.
std::vector<LocatorFailure> LocatorFailures() {
    std::vector<LocatorFailure> rows;
    for (const BrokenLaunchpad& broken : BROKEN_LAUNCHPADS) {
        rows.push_back({broken.name, LayoutOf(broken), false});
    }
    rows.push_back({"EnumerationFails", {}, true});
    // The root request answers null; the selection is still asked for, and refused.
    model::LaunchpadLayout emptyAndRefusing;
    emptyAndRefusing.emptyTree = true;
    emptyAndRefusing.refuseSelection = true;
    rows.push_back({"SelectionRefusedOnAnEmptyTree", emptyAndRefusing, false});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(EveryMissingPiece, LocatorFailureTest,
                         ::testing::ValuesIn(LocatorFailures()),
                         [](const ::testing::TestParamInfo<LocatorFailure>& row) {
                             return row.param.name;
                         });

} // namespace
