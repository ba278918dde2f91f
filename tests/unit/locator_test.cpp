// The launchpad locator: which window it takes, and the process ending on every failure.
#include "launchpad/locator.h"
#include "sim_fixture.h"
#include "tests/lib/launchpad_contract.h"

namespace {

using LocatorTest = SimTest;

class LocatorTakesTest : public SimTest, public ::testing::WithParamInterface<UsableLaunchpad> {};

TEST_P(LocatorTakesTest, TakesTheLaunchpadAndPreparesItsControls) {
    const UsableLaunchpad& row = GetParam();
    const sim::Launchpad pad = BuildPad(LayoutOf(row.hostOptions));
    // A hidden window of this process in front of the launchpad is skipped.
    sim::TheDesktop().CreateTopLevel(PROCESS_ID, sim::WindowKind::Frame, "hidden");
    Get(pad.pausedCheck).checked = true;

    FindLaunchpad();

    ExpectLaunchpadTaken(pad);
    const sim::Window& tree = Get(pad.scenarioTree);
    EXPECT_EQ(tree.selectedItem < 0 ? std::nullopt
                                    : std::optional(tree.treeItems[tree.selectedItem]),
              row.selected);
    EXPECT_FALSE(Get(pad.pausedCheck).checked);
    if (row.selected) {
        EXPECT_EQ(trace, (std::vector<std::string>{"tree: selected \"" + *row.selected + "\"",
                                                   "start-paused: off"}));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryUsableLaunchpad, LocatorTakesTest,
                         ::testing::ValuesIn(USABLE_LAUNCHPADS),
                         [](const ::testing::TestParamInfo<UsableLaunchpad>& row) {
                             return std::string(row.param.name);
                         });

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
        rows.push_back({broken.name, LayoutOf(broken.hostOptions), false});
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
