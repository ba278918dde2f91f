// The module frame: the start-up's flags, closing the one dialog, the version cache and the
// load glue.
#include "frame/entry_points.h"
#include "frame/load_glue.h"
#include "frame/start_up.h"
#include "sim_fixture.h"
#include "testbed/sim-platform/module_image.h"

#include <dlfcn.h>

namespace {

class FrameTest : public SimTest {
protected:
    WindowHandle OpenFakeDialog(int templateId) {
        sim::Desktop& desktop = sim::TheDesktop();
        const WindowHandle dialog = desktop.CreateTopLevel(PROCESS_ID, sim::WindowKind::Dialog, "");
        desktop.Find(dialog)->templateId = templateId;
        return dialog;
    }
};

TEST_F(FrameTest, ExitModuleWithNothingOpenDoesNothing) {
    ExitModule(nullptr);
    EXPECT_EQ(moduleState.activeDialog, nullptr);
    EXPECT_TRUE(trace.empty());
}

TEST_F(FrameTest, DialogClosedByViewportThenUnloadClosesNothingMore) {
    moduleState.activeDialog = OpenFakeDialog(101);
    moduleState.exitHook = ExitModule;

    ExitModule(nullptr); // opcOpenRenderViewport is this very routine
    OnProcessDetach(nullptr);
    ExitModule(nullptr); // Orbiter may call it too

    EXPECT_EQ(trace, std::vector<std::string>{"dialog: close 101"});
    EXPECT_EQ(moduleState.activeDialog, nullptr);
}

TEST_F(FrameTest, DetachWithoutHookDoesNothing) {
    moduleState.activeDialog = OpenFakeDialog(102);
    OnProcessDetach(nullptr);
    EXPECT_NE(moduleState.activeDialog, nullptr);
    EXPECT_TRUE(trace.empty());
}

TEST_F(FrameTest, VersionIsComputedOnceAndZeroIsNotRemembered) {
    sim::TheOrbiter().date2IntResult = 0;
    EXPECT_EQ(GetModuleVersion(), 0);
    EXPECT_EQ(GetModuleVersion(), 0);
    EXPECT_EQ(sim::TheOrbiter().date2IntCalls, 2);

    sim::TheOrbiter().date2IntResult.reset();
    EXPECT_EQ(GetModuleVersion(), 60425);
    EXPECT_EQ(GetModuleVersion(), 60425);
    EXPECT_EQ(sim::TheOrbiter().date2IntCalls, 3);
}

// A library loaded into this test process; it binds to this binary's simulated back end.
struct LoadedImage {
    explicit LoadedImage(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedImage() {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    InstanceHandle Instance(const char* symbol) const {
        return sim::InstanceContaining(dlsym(handle, symbol));
    }
    void* handle;
};

TEST_F(FrameTest, StartUpClearsTheOptionsOfAnEarlierStart) {
    BuildPad();
    moduleState.exitAfterShutdown = 1;
    moduleState.exitIfMissing = 1;
    sim::TheOrbiter().commandLine = "Scenarios\\Demo";
    RunStartUp(nullptr);
    EXPECT_EQ(moduleState.exitAfterShutdown, 0);
    EXPECT_EQ(moduleState.exitIfMissing, 0);
}

TEST_F(FrameTest, AttachStartsTheModuleBeforeTheLoadReturnsAndFindsItsOwnExitModule) {
    BuildPad();
    LoadedImage module(SKARVEL_MODULE_IMAGE);
    ASSERT_NE(module.handle, nullptr) << dlerror();
    const InstanceHandle instance = module.Instance("InitModule");
    EXPECT_EQ(sim::TheOrbiter().initLibCalls, 1);
    EXPECT_EQ(sim::TheOrbiter().initLibInstance, instance);
    // Orbiter's InitLib asked the version and ran the start-up, all inside the load.
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[0], "module: version 60425");
    EXPECT_EQ(trace[1], "tree: selected \"(Current state)\"");
    EXPECT_EQ(reinterpret_cast<void*>(FindExitHook(instance)), dlsym(module.handle, "ExitModule"));
}

TEST_F(FrameTest, OlderNamesStartAndUnloadAModuleWithoutTheNewOnes) {
    LoadedImage fallback(HOOK_FALLBACK_IMAGE);
    LoadedImage none(HOOK_NONE_IMAGE);
    ASSERT_NE(fallback.handle, nullptr) << dlerror();
    ASSERT_NE(none.handle, nullptr) << dlerror();

    InitLib(fallback.Instance("opcDLLExit"));
    EXPECT_EQ(*static_cast<int*>(dlsym(fallback.handle, "opcDLLInitCalls")), 1);
    EXPECT_EQ(reinterpret_cast<void*>(FindExitHook(fallback.Instance("opcDLLExit"))),
              dlsym(fallback.handle, "opcDLLExit"));
    EXPECT_EQ(FindExitHook(none.Instance("SomethingElse")), nullptr);
}

} // namespace
