// Which dialog the start-up opens, and the clicks the dialogs' procedures post.
#include "frame/entry_points.h"
#include "launchpad/locator.h"
#include "launchpad/trigger_dialogs.h"
#include "sim_fixture.h"
#include "testbed/sim-platform/module_image.h"

#include <algorithm>

namespace {

class TriggerTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        pad = BuildPad();
        FindLaunchpad();
        // The templates are embedded in this test program, as in the module.
        moduleState.instance = sim::InstanceContaining(reinterpret_cast<const void*>(&Clicks));
        trace.clear();
    }

    // Clicks queued on a button and not yet delivered.
    static long Clicks(WindowHandle button) {
        const auto& queue = sim::TheDesktop().queue;
        return std::count_if(queue.begin(), queue.end(), [button](const sim::PostedMessage& m) {
            return m.window == button && m.message == BM_CLICK_MSG;
        });
    }
    sim::Window* Active() { return sim::TheDesktop().Find(moduleState.activeDialog); }

    sim::Launchpad pad;
};

struct StartRow {
    bool copied, exitIfMissing, reportMissing;
    int templateId; // 0: no dialog
    DialogProc procedure;
};

void PrintTo(const StartRow& row, std::ostream* out) {
    *out << "copied " << row.copied << ", x " << row.exitIfMissing << ", usage "
         << row.reportMissing;
}

class StartDialogTest : public TriggerTest, public ::testing::WithParamInterface<StartRow> {};

TEST_P(StartDialogTest, OpensTheDialogTheOutcomeCallsFor) {
    const StartRow& row = GetParam();
    moduleState.exitIfMissing = row.exitIfMissing;
    moduleState.reportMissing = row.reportMissing;

    OpenStartDialog(row.copied);

    if (row.templateId == 0) {
        EXPECT_EQ(moduleState.activeDialog, nullptr);
        EXPECT_TRUE(trace.empty());
        return;
    }
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->templateId, row.templateId);
    EXPECT_EQ(Active()->procedure, row.procedure);
    EXPECT_EQ(sim::TheOrbiter().dialogContext, nullptr);
    EXPECT_TRUE(Active()->visible);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartDialogTest,
    ::testing::Values(
        // A copied scenario always launches, whatever the flags.
        StartRow{true, false, false, 101, LaunchDlgProc},
        StartRow{true, true, true, 101, LaunchDlgProc},
        // Option x matters only when the copy failed.
        StartRow{false, true, true, 101, ExitDlgProc},
        StartRow{false, true, false, 101, ExitDlgProc},
        // The usage dialog only for a line that had tokens; nothing for an empty line.
        StartRow{false, false, true, 102, UsageDlgProc},
        StartRow{false, false, false, 0, nullptr}));

TEST_F(TriggerTest, LaunchTriggerClicksOnEveryShowOrHide) {
    OpenStartDialog(true);
    EXPECT_EQ(Clicks(pad.launchButton), 1);
    sim::TheDesktop().Show(moduleState.activeDialog, false);
    sim::TheDesktop().Show(moduleState.activeDialog, true);
    EXPECT_EQ(Clicks(pad.launchButton), 3);
    EXPECT_EQ(Clicks(pad.exitButton), 0);
    // Other messages go to Orbiter's default handling and click nothing.
    EXPECT_EQ(LaunchDlgProc(moduleState.activeDialog, sim::WM_PAINT_MSG, 0, 0), 0);
    EXPECT_EQ(Clicks(pad.launchButton), 3);
}

TEST_F(TriggerTest, ExitTriggerClicksOncePerMessageOnlyWhileTheLaunchpadIsVisible) {
    sim::TheDesktop().Show(pad.window, false);
    moduleState.exitAfterShutdown = 1;
    opcCloseRenderViewport();
    const WindowHandle trigger = moduleState.activeDialog;
    EXPECT_EQ(sim::TheDesktop().Send(trigger, sim::WM_PAINT_MSG, 0, 0), 0);
    EXPECT_EQ(Clicks(pad.exitButton), 0);

    sim::TheDesktop().Show(pad.window, true);
    // A repaint, an activation, a mouse move: any message at all presses Exit.
    for (std::uint32_t message : {sim::WM_PAINT_MSG, 0x0006u, 0x0200u}) {
        EXPECT_EQ(ExitDlgProc(trigger, message, 1, 2), 0);
    }
    EXPECT_EQ(Clicks(pad.exitButton), 3);
    EXPECT_EQ(Clicks(pad.launchButton), 0);
}

TEST_F(TriggerTest, ClosedUsageDialogStillLetsOptionEExitAfterASimulation) {
    moduleState.exitAfterShutdown = 1;
    moduleState.reportMissing = 1;
    OpenStartDialog(false);
    ASSERT_NE(Active(), nullptr);
    ASSERT_EQ(Active()->templateId, 102);

    EXPECT_EQ(sim::TheDesktop().Send(moduleState.activeDialog, WM_CLOSE_MSG, 0, 0), 1);
    EXPECT_EQ(moduleState.activeDialog, nullptr);
    EXPECT_EQ(trace.back(), "dialog: close 102");

    opcCloseRenderViewport();
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->procedure, ExitDlgProc);
}

TEST_F(TriggerTest, EveryShutdownOpensAnotherExitTriggerWithoutClosingTheLast) {
    moduleState.reportMissing = 1;
    OpenStartDialog(false); // the usage dialog
    const WindowHandle usage = moduleState.activeDialog;
    moduleState.exitAfterShutdown = 1;

    opcCloseRenderViewport();
    const WindowHandle first = moduleState.activeDialog;
    opcCloseRenderViewport();

    EXPECT_NE(moduleState.activeDialog, first);
    EXPECT_NE(sim::TheDesktop().Find(usage), nullptr); // overwritten, not closed
    EXPECT_NE(sim::TheDesktop().Find(first), nullptr);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "dialog: open 101"), 2);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "dialog: close 101"), 0);
}

TEST_F(TriggerTest, WithoutOptionEAShutdownOpensNothing) {
    opcCloseRenderViewport();
    EXPECT_EQ(moduleState.activeDialog, nullptr);
    EXPECT_TRUE(trace.empty());
}

} // namespace
