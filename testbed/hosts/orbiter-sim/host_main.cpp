// orbiter-sim: a Linux program that plays Orbiter for the module. It builds a launchpad on
// the simulated desktop, provides Orbiter's functions, loads the modules Orbiter.cfg lists (or
// the one --module names) and runs Orbiter's message loop, printing one trace line per event.
#include "testbed/desktop/desktop.h"
#include "testbed/hosts/core/host_options.h"
#include "testbed/hosts/core/module_list.h"
#include "testbed/hosts/orbiter-sim/orbiter_run.h"
#include "testbed/sim-platform/windows_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int USAGE_STATUS = 2;
constexpr int SETUP_STATUS = 1;

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const std::string usage = core::HostUsage("orbiter-sim", '/', ".so");
    core::HostOptions options;
    std::string error;
    if (!core::ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "orbiter-sim: %s\n%s", error.c_str(), usage.c_str());
        return USAGE_STATUS;
    }
    if (options.help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    std::error_code fsError;
    // A module named with --module is taken from where the caller stands, before entering
    // Orbiter's folder; the modules Orbiter.cfg lists are found there.
    const std::string modulePath =
        options.modulePath.empty() ? "" : fs::absolute(options.modulePath, fsError).string();
    options.run.root = sim::ToLinuxPath(options.run.root);
    if (chdir(options.run.root.c_str()) != 0) {
        std::fprintf(stderr, "orbiter-sim: cannot enter Orbiter's folder %s: %s\n",
                     options.run.root.c_str(), std::strerror(errno));
        return SETUP_STATUS;
    }
    options.run.root = ".";
    options.run.modules = core::ModulesToLoad(modulePath, ".so", '/');
    if (options.run.modules.empty()) {
        std::fprintf(stderr, "orbiter-sim: Orbiter.cfg lists no module; Orbiter starts without\n");
    }

    sim::ResetDesktop(static_cast<std::uint32_t>(getpid()));
    return sim::RunOrbiter(options.run);
}
