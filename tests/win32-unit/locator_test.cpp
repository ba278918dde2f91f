// The module's launchpad locator over the real Win32 calls (platform/win32), against real
// windows under Wine: the search through EnumWindows, the steps to the controls, the tree
// selection and the process's end when a piece is missing.
#include "frame/module_state.h"
#include "launchpad/launchpad_ids.h"
#include "launchpad/locator.h"
#include "test_windows.h"
#include "testbed/hosts/win32/extra_windows.h"
#include "tests/lib/launchpad_contract.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The locator's status when it gives up: -1, which a Linux caller of Wine sees as 255.
constexpr int LOCATOR_FAILURE = -1;

model::LaunchpadLayout Hidden() {
    model::LaunchpadLayout layout;
    layout.hidden = true;
    return layout;
}

model::LaunchpadLayout RefusingSelection() {
    model::LaunchpadLayout layout;
    layout.refuseSelection = true;
    return layout;
}

class Win32Locator : public ::testing::Test {
protected:
    void SetUp() override { moduleState = {}; }
    void TearDown() override { DestroyTestWindows(); }

    // Runs the search as FindLaunchpad does; returns what EnumWindows returned.
    std::int32_t Search(SearchRecord& record) {
        record = GetCurrentProcessId();
        return platform::EnumWindows(MatchLaunchpadWindow, reinterpret_cast<MessageData>(&record));
    }
};

BOOL CALLBACK CollectVisible(HWND window, LPARAM list) {
    if (IsWindowVisible(window)) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> VisibleTopLevelWindows() {
    std::vector<HWND> found;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(Win32Locator, SearchSkipsHiddenAndForeignWindowsAndStopsAtTheFirstVisibleOwnWindow) {
    const host::Launchpad& pad = BuildLaunchpad();
    std::string error;
    ASSERT_TRUE(host::ShowForeignWindow(error)) << error;
    ShowHiddenWindow();
    const std::vector<HWND> visible = VisibleTopLevelWindows();
    DWORD firstOwner = 0;
    ASSERT_FALSE(visible.empty());
    GetWindowThreadProcessId(visible.front(), &firstOwner);
    ASSERT_NE(firstOwner, GetCurrentProcessId())
        << "the other process's window should be enumerated before the launchpad";
    SetLastError(ERROR_INVALID_PARAMETER);

    SearchRecord record = 0;
    EXPECT_EQ(Search(record), 0) << "EnumWindows reports a search stopped by its callback";
    EXPECT_EQ(GetLastError(), FOUND_SENTINEL) << "the sentinel must survive EnumWindows";
    EXPECT_EQ(reinterpret_cast<HWND>(record), pad.window);
}

TEST_F(Win32Locator, SearchVisitsEveryWindowWhenTheProcessShowsNone) {
    BuildLaunchpad(Hidden());
    ShowHiddenWindow();
    SearchRecord record = 0;
    EXPECT_NE(Search(record), 0);
    EXPECT_EQ(record, GetCurrentProcessId()) << "the record keeps the process identifier";
}

TEST_F(Win32Locator, ControlsAreFoundAmongDirectChildrenAndSiblingSteps) {
    const host::Launchpad& pad = BuildLaunchpad();
    EXPECT_EQ(platform::GetDlgItem(pad.window, IDC_LAUNCH), pad.launchButton);
    EXPECT_EQ(platform::GetDlgItem(pad.window, IDC_EXIT), pad.exitButton);
    EXPECT_EQ(platform::GetDlgItem(pad.window, IDC_SCENARIO_TREE), nullptr)
        << "a grandchild is not a dialog item of the launchpad";
    WindowHandle step = pad.launchButton;
    for (int i = 0; i < PAGE_SIBLING_STEPS; ++i) {
        step = platform::GetWindow(step, GW_HWNDNEXT_CODE);
    }
    EXPECT_EQ(step, pad.page);
    EXPECT_EQ(platform::GetWindow(step, GW_HWNDNEXT_CODE), nullptr) << "the page is the last child";
    EXPECT_EQ(platform::GetWindow(nullptr, GW_HWNDNEXT_CODE), nullptr);
}

class Win32LocatorTakes : public Win32Locator,
                          public ::testing::WithParamInterface<UsableLaunchpad> {};

TEST_P(Win32LocatorTakes, TakesTheLaunchpadAndPreparesItsControls) {
    const host::Launchpad& pad = BuildLaunchpad(LayoutOf(GetParam().hostOptions));
    ShowHiddenWindow();
    FindLaunchpad(); // returns: on an empty tree, the null selection succeeds
    ExpectLaunchpadTaken(pad);
    EXPECT_EQ(pad.SelectedEntry(), GetParam().selected);
    EXPECT_FALSE(pad.StartPaused());
}

INSTANTIATE_TEST_SUITE_P(EveryUsableLaunchpad, Win32LocatorTakes,
                         ::testing::ValuesIn(USABLE_LAUNCHPADS),
                         [](const ::testing::TestParamInfo<UsableLaunchpad>& row) {
                             return std::string(row.param.name);
                         });

TEST_F(Win32Locator, AVetoedSelectionReturnsZero) {
    const host::Launchpad& pad = BuildLaunchpad(RefusingSelection());
    const MessageData root =
        platform::SendMessageA(pad.scenarioTree, TVM_GETNEXTITEM_MSG, TVGN_ROOT_CODE, 0);
    ASSERT_NE(root, 0);
    EXPECT_EQ(platform::SendMessageA(pad.scenarioTree, TVM_SELECTITEM_MSG, TVGN_CARET_CODE, root),
              0);
    EXPECT_EQ(pad.SelectedEntry(), std::nullopt);
}

class Win32LocatorDeathTest : public Win32Locator,
                              public ::testing::WithParamInterface<BrokenLaunchpad> {};

TEST_P(Win32LocatorDeathTest, EndsTheProcessWithExitCodeMinusOne) {
    EXPECT_EXIT(
        {
            BuildLaunchpad(LayoutOf(GetParam().hostOptions));
            FindLaunchpad();
        },
        ::testing::ExitedWithCode(LOCATOR_FAILURE), "");
}

INSTANTIATE_TEST_SUITE_P(EveryMissingPiece, Win32LocatorDeathTest,
                         ::testing::ValuesIn(BROKEN_LAUNCHPADS),
                         [](const ::testing::TestParamInfo<BrokenLaunchpad>& row) {
                             return std::string(row.param.name);
                         });

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], host::FOREIGN_WINDOW_MODE) == 0) {
        return host::RunForeignWindow(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    ::testing::InitGoogleTest(&argc, argv);
    // Windows has no fork: a death test runs again in a new process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
