#include "sim_fixture.h"

#include <algorithm>

void SimTest::SetUp() {
    sim::ResetDesktop(PROCESS_ID);
    sim::ResetOrbiter();
    moduleState = {};
    sim::SetTraceSink([this](const std::string& line) { trace.push_back(line); });
}

void SimTest::TearDown() {
    sim::SetTraceSink(nullptr);
}

sim::Launchpad SimTest::BuildPad(const sim::LaunchpadLayout& layout) {
    return sim::BuildLaunchpad(layout, {"(Current state)", "Demo"});
}

sim::Window& SimTest::Get(WindowHandle handle) {
    sim::Window* window = sim::TheDesktop().Find(handle);
    EXPECT_NE(window, nullptr);
    return *window;
}

bool SimTest::Traced(const std::string& line) const {
    return std::find(trace.begin(), trace.end(), line) != trace.end();
}
