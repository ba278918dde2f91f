// A fresh simulated desktop and Orbiter for each test, with the trace lines captured.
#pragma once

#include "frame/module_state.h"
#include "testbed/desktop/desktop.h"
#include "testbed/desktop/launchpad_window.h"
#include "testbed/hosts/orbiter-sim/orbiter_api.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

class SimTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t PROCESS_ID = 4242;

    void SetUp() override;
    void TearDown() override;
    // A new desktop and Orbiter, zeroed module state, no trace lines.
    void ResetSimulation();

    // The launchpad with the given layout and the entries "(Current state)" and "Demo".
    sim::Launchpad BuildPad(const model::LaunchpadLayout& layout = {});
    sim::Window& Get(WindowHandle handle);
    bool Traced(const std::string& line) const;

    std::vector<std::string> trace;
};

// The same, working in a scratch copy of the sample Orbiter folder as current directory.
class ScratchFolderTest : public SimTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Read(const std::string& relative) const;
    void Write(const std::string& relative, const std::string& bytes) const;
    // The trace lines that begin with "copy: ".
    std::vector<std::string> Copies() const;

    std::string folder;

private:
    std::string previousFolder;
};
