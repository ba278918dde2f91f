// The launchpad locator: which window it takes, and the process ending on every failure.
#include "launchpad/locator.h"
#include "sim_fixture.h"

namespace {

using LocatorTest = SimTest;

TEST_F(LocatorTest, FindsTheLaunchpadAndPreparesItsControls) {
    core::LaunchpadLayout layout;
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

TEST_F(LocatorTest, ClearsOptionEOnceTheExitButtonIsFound) {
    BuildPad();
    moduleState.exitAfterShutdown = 1;
    FindLaunchpad();
    EXPECT_EQ(moduleState.exitAfterShutdown, 0);
}

TEST_F(LocatorTest, EmptyTreeClearsTheSelectionAndGoesOn) {
    core::LaunchpadLayout layout;
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

struct BrokenLaunchpad {
    const char* name;
    core::LaunchpadLayout layout;
    bool enumerationFails;
};

void PrintTo(const BrokenLaunchpad& row, std::ostream* out) {
    *out << row.name;
}

class LocatorFailureTest : public SimTest, public ::testing::WithParamInterface<BrokenLaunchpad> {};

core::LaunchpadLayout Without(int id) {
    core::LaunchpadLayout layout;
    layout.without.insert(id);
    return layout;
}

template <typename... Flags> core::LaunchpadLayout With(Flags... flags) {
    core::LaunchpadLayout layout;
    ((layout.*flags = true), ...);
    return layout;
}

core::LaunchpadLayout PageAt(int offset) {
    core::LaunchpadLayout layout;
    layout.pageOffset = offset;
    return layout;
}

TEST_P(LocatorFailureTest, EndsTheProcessWithExitCodeMinusOne) {
    BuildPad(GetParam().layout);
    sim::TheDesktop().faults.enumWindowsFails = GetParam().enumerationFails;
    EXPECT_EXIT(FindLaunchpad(), ::testing::ExitedWithCode(255), "");
}

INSTANTIATE_TEST_SUITE_P(
    EveryMissingPiece, LocatorFailureTest,
    ::testing::Values(
        BrokenLaunchpad{"HiddenLaunchpad", With(&core::LaunchpadLayout::hidden), false},
        BrokenLaunchpad{"OtherWindowFirst", With(&core::LaunchpadLayout::otherWindow), false},
        BrokenLaunchpad{"EnumerationFails", {}, true},
        BrokenLaunchpad{"NoLaunchButton", Without(1000), false},
        BrokenLaunchpad{"NoExitButton", Without(1001), false},
        BrokenLaunchpad{"NoScenarioTree", Without(1088), false},
        BrokenLaunchpad{"NoStartPausedBox", Without(1090), false},
        BrokenLaunchpad{"TooFewSiblings", PageAt(4), false},
        BrokenLaunchpad{"PageFurtherAway", PageAt(6), false},
        BrokenLaunchpad{"SelectionRefused", With(&core::LaunchpadLayout::refuseSelection), false},
        // The root request answers null; the selection is still asked for, and refused.
        BrokenLaunchpad{
            "SelectionRefusedOnAnEmptyTree",
            With(&core::LaunchpadLayout::emptyTree, &core::LaunchpadLayout::refuseSelection),
            false}),
    [](const ::testing::TestParamInfo<BrokenLaunchpad>& row) { return row.param.name; });

} // namespace
