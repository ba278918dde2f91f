// The start-up sequence in the simulated host, from InitModule until the launch click is
// queued on the desktop's message queue, beside a bare copy of the same scenario file.
#include "bench_registry.h"
#include "frame/entry_points.h"
#include "frame/module_state.h"
#include "platform/platform.h"
#include "sim/desktop.h"
#include "sim/launchpad_window.h"
#include "sim/module_image.h"
#include "sim/orbiter_api.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <string>

namespace {

constexpr std::uint32_t PROCESS_ID = 4242;
const char STAGED[] = "Scenarios\\(Current state).scn";

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

void StartUp(benchmark::State& state, const std::string& scenario) {
    const InstanceHandle instance = OwnInstance();
    const std::string line = "-p \"Scenarios\\" + scenario + "\"";
    // Once, outside the timing: the whole sequence must stage the file and queue the click.
    WindowHandle launch = PrepareHost(line);
    InitModule(instance);
    if (!LaunchClickQueued(launch)) {
        state.SkipWithError("InitModule did not queue a click on the launch button");
        return;
    }
    if (ReadAll("Scenarios/(Current state).scn") != ReadAll("Scenarios/" + scenario + ".scn")) {
        state.SkipWithError("InitModule did not stage the scenario");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        launch = PrepareHost(line);
        state.ResumeTiming();
        InitModule(instance);
        benchmark::DoNotOptimize(LaunchClickQueued(launch));
    }
    sim::SetTraceSink(nullptr);
}

void Copy(benchmark::State& state, const std::string& scenario) {
    sim::SetTraceSink([](const std::string&) {});
    const std::string source = "Scenarios\\" + scenario + ".scn";
    for (auto _ : state) {
        if (!platform::CopyFileA(source.c_str(), STAGED, false)) {
            state.SkipWithError(("copying " + source + " failed").c_str());
            break;
        }
    }
    sim::SetTraceSink(nullptr);
}

} // namespace

void RegisterStartUpBenchmarks(const std::string& folder) {
    for (const auto& [label, size] : {std::pair<std::string, std::size_t>{"1KiB", 1u << 10},
                                      {"1MiB", 1u << 20},
                                      {"64MiB", 64u << 20}}) {
        // A scenario of exactly `size` bytes, in lines, as Orbiter writes them.
        const std::string name = "Bench " + label;
        std::string bytes = "BEGIN_DESC\nA scenario for the benchmark\nEND_DESC\n";
        for (std::size_t i = 0; bytes.size() < size; ++i) {
            bytes += "STATUS Landed Earth " + std::to_string(i) + "\n";
        }
        bytes.resize(size);
        std::ofstream(folder + "/Scenarios/" + name + ".scn", std::ios::binary) << bytes;

        benchmark::RegisterBenchmark(("StartUp/" + label).c_str(), StartUp, name)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Copy/" + label).c_str(), Copy, name)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
}
