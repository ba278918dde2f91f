#include "sim_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

void SimTest::SetUp() {
    ResetSimulation();
}

void SimTest::ResetSimulation() {
    trace.clear();
    sim::ResetDesktop(PROCESS_ID);
    sim::ResetOrbiter();
    moduleState = {};
    sim::SetTraceSink([this](const std::string& line) { trace.push_back(line); });
}

void SimTest::TearDown() {
    sim::SetTraceSink(nullptr);
}

sim::Launchpad SimTest::BuildPad(const model::LaunchpadLayout& layout) {
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

void ScratchFolderTest::SetUp() {
    SimTest::SetUp();
    previousFolder = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "skarvel-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    fs::copy(SAMPLE_ORBITER, folder, fs::copy_options::recursive);
    fs::current_path(folder);
}

void ScratchFolderTest::TearDown() {
    fs::current_path(previousFolder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    SimTest::TearDown();
}

std::string ScratchFolderTest::Read(const std::string& relative) const {
    std::ifstream in(fs::path(folder) / relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void ScratchFolderTest::Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories((fs::path(folder) / relative).parent_path());
    std::ofstream(fs::path(folder) / relative, std::ios::binary) << bytes;
}

std::vector<std::string> ScratchFolderTest::Copies() const {
    std::vector<std::string> copies;
    for (const std::string& line : trace) {
        if (line.rfind("copy: ", 0) == 0) {
            copies.push_back(line);
        }
    }
    return copies;
}
