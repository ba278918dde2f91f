// orbiter-sim: a Linux program that plays Orbiter for the module. It builds a launchpad on
// the simulated desktop, provides Orbiter's functions, loads the modules Orbiter.cfg lists (or
// the one --module names) and runs Orbiter's message loop, printing one trace line per event.
#include "testbed/desktop/desktop.h"
#include "testbed/hosts/core/host_options.h"
#include "testbed/hosts/core/orbiter_folder.h"
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

std::string AbsolutePath(const std::string& path) {
    std::error_code ignored; // an empty path: the module cannot be loaded, and says so
    return std::filesystem::absolute(path, ignored).string();
}

bool EnterFolder(const std::string& folder, std::string& reason) {
    if (chdir(sim::ToLinuxPath(folder).c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const core::HostSystem system{"orbiter-sim", ".so", '/', AbsolutePath, EnterFolder};
    const std::string usage = core::HostUsage(system.name, system.separator, system.extension);
    core::HostOptions options;
    std::string error;
    if (!core::ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "%s: %s\n%s", system.name, error.c_str(), usage.c_str());
        return USAGE_STATUS;
    }
    if (options.help) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (!core::EnterOrbiterFolder(options, system)) {
        return SETUP_STATUS;
    }

    sim::ResetDesktop(static_cast<std::uint32_t>(getpid()));
    return sim::RunOrbiter(options.run);
}
