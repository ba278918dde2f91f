// Why pairs: the file system's speed drifts over seconds (write-back, the journal, other
// programs on the machine), so two benchmarks run one after the other meet different machines,
// and their ratio varies more than the start-up's own cost. A copy and a start-up run back to
// back meet nearly the same one, so each pair gives a fair ratio, and the median over many
// pairs gives a steady one.
#include "startup_pairs.h"

#include "frame/entry_points.h"
#include "frame/module_state.h"
#include "platform/platform.h"
#include "testbed/desktop/desktop.h"
#include "testbed/desktop/launchpad_window.h"
#include "testbed/hosts/orbiter-sim/orbiter_api.h"
#include "testbed/sim-platform/module_image.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

constexpr std::uint32_t PROCESS_ID = 4242;
const char STAGED[] = "Scenarios\\(Current state).scn";

// Pairs run first and not counted: they bring the source and the program's dialog templates
// into the page cache, grow the heap, and leave in "(Current state).scn" a copy of the
// scenario at hand rather than of the previous size's.
constexpr int WARM_UP_PAIRS = 5;

struct Scenario {
    const char* label;
    std::size_t bytes;
    int pairs;
};
// Every copy waits for the disk: replacing the old file frees its blocks (a discard, on a disk
// mounted with it) and waits for its pages still being written. So single pairs scatter with the
// disk's latency, more so when other programs use the disk. Small pairs cost a few milliseconds,
// so there are many, which keeps their medians steady: at 1 MiB, from run to run on a busy
// machine, 0.04 apart with 200 pairs, 0.01 with 1000. A 64 MiB pair takes a sixth of a second.
constexpr Scenario SCENARIOS[] = {
    {"1KiB", 1u << 10, 1000}, {"1MiB", 1u << 20, 1000}, {"64MiB", 64u << 20, 40}};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A fresh simulated Orbiter with its launchpad and the given command line; the trace lines
// go nowhere. Returns the launch button.
WindowHandle PrepareHost(const std::string& line) {
    sim::ResetDesktop(PROCESS_ID);
    sim::ResetOrbiter();
    sim::SetTraceSink([](const std::string&) {});
    moduleState = {};
    sim::TheOrbiter().commandLine = line;
    return sim::BuildLaunchpad({}, {"(Current state)", "Demo"}).launchButton;
}

bool LaunchClickQueued(WindowHandle launchButton) {
    const auto& queue = sim::TheDesktop().queue;
    return std::any_of(queue.begin(), queue.end(), [launchButton](const sim::PostedMessage& m) {
        return m.window == launchButton && m.message == BM_CLICK_MSG;
    });
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The module's instance: this program, which carries the dialog templates as Skarvel.so does.
InstanceHandle OwnInstance() {
    return sim::InstanceContaining(reinterpret_cast<const void*>(&OwnInstance));
}

// A scenario of exactly `size` bytes, in lines as Orbiter writes them, flushed to the disk so
// that its write-back does not fall into the timed runs.
bool WriteScenario(const std::string& path, std::size_t size) {
    std::string bytes = "BEGIN_DESC\nA scenario for the benchmark\nEND_DESC\n";
    for (std::size_t i = 0; bytes.size() < size; ++i) {
        bytes += "STATUS Landed Earth " + std::to_string(i) + "\n";
    }
    bytes.resize(size);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) {
        return false;
    }
    const bool written = write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(size);
    const bool synced = fsync(file) == 0;
    return close(file) == 0 && written && synced;
}

// Both halves of a pair are prepared alike: the copy gets a fresh simulated host too, though it
// does not use it, so that the same work precedes each timing. Either half replaces the
// "(Current state).scn" that the other half has just written, a copy of the same scenario.
std::optional<double> TimeStartUp(InstanceHandle instance, const std::string& line) {
    const WindowHandle launch = PrepareHost(line);
    const Clock::time_point start = Clock::now();
    InitModule(instance);
    const double seconds = SecondsSince(start);
    if (!LaunchClickQueued(launch)) {
        return std::nullopt;
    }
    return seconds;
}

std::optional<double> TimeCopy(const std::string& source, const std::string& line) {
    PrepareHost(line);
    const Clock::time_point start = Clock::now();
    const bool copied = platform::CopyFileA(source.c_str(), STAGED, false);
    const double seconds = SecondsSince(start);
    if (!copied) {
        return std::nullopt;
    }
    return seconds;
}

bool Fail(const std::string& what) {
    std::cerr << "skarvel_bench: " << what << '\n';
    return false;
}

// Once, untimed: the start-up must stage the scenario and queue the click, or its time means
// nothing.
bool StartUpStages(InstanceHandle instance, const std::string& line, const std::string& file) {
    if (!TimeStartUp(instance, line)) {
        return Fail("InitModule queued no click on the launch button for the line " + line +
                    "; the start-up is broken: run ctest --preset native to see where");
    }
    if (ReadAll("Scenarios/(Current state).scn") != ReadAll(file)) {
        return Fail("InitModule did not copy " + file + " over \"(Current state).scn\" for " +
                    "the line " + line + ": run ctest --preset native to see where");
    }
    return true;
}

// The pairs alternate their order, copy first in every other one, so that whatever the first
// half leaves to the second (a warmer cache, write-back under way) falls on both alike.
bool TimePairs(InstanceHandle instance, const std::string& source, const std::string& line,
               int count, std::vector<PairTimes>& pairs) {
    for (int i = -WARM_UP_PAIRS; i < count; ++i) {
        std::optional<double> copy, startUp;
        if (i % 2 == 0) {
            copy = TimeCopy(source, line);
            startUp = TimeStartUp(instance, line);
        } else {
            startUp = TimeStartUp(instance, line);
            copy = TimeCopy(source, line);
        }
        if (!copy) {
            return Fail("copying " + source + " over \"(Current state).scn\" failed (error " +
                        std::to_string(sim::TheDesktop().lastError) +
                        "); is the temporary folder full or read-only?");
        }
        if (!startUp) {
            return Fail("InitModule queued no click on the launch button in pair " +
                        std::to_string(i) + " for the line " + line +
                        "; run ctest --preset native to see why");
        }
        if (i >= 0) {
            pairs.push_back({*startUp, *copy});
        }
    }
    return true;
}

} // namespace

std::vector<PairSummary> RunStartUpPairs(const std::string& folder) {
    const InstanceHandle instance = OwnInstance();
    std::vector<PairSummary> summaries;
    for (const Scenario& scenario : SCENARIOS) {
        const std::string name = std::string("Bench ") + scenario.label;
        const std::string file = folder + "/Scenarios/" + name + ".scn";
        if (!WriteScenario(file, scenario.bytes)) {
            Fail("cannot write " + file + "; is the temporary folder full?");
            return {};
        }
        // Without the extension, as users name scenarios: the module completes it.
        const std::string line = "-p \"Scenarios\\" + name + "\"";
        std::vector<PairTimes> pairs;
        if (!StartUpStages(instance, line, file) ||
            !TimePairs(instance, "Scenarios\\" + name + ".scn", line, scenario.pairs, pairs)) {
            return {};
        }
        summaries.push_back(Summarise(scenario.label, pairs));
    }
    sim::SetTraceSink(nullptr);
    return summaries;
}
