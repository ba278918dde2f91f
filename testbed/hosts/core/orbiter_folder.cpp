#include "testbed/hosts/core/orbiter_folder.h"

#include "testbed/hosts/core/module_list.h"

#include <cstdio>

namespace core {

bool EnterOrbiterFolder(HostOptions& options, const HostSystem& system) {
    // A module named with --module is taken from where the caller stands, before entering
    // Orbiter's folder; the modules Orbiter.cfg lists are found there.
    const std::string modulePath =
        options.modulePath.empty() ? "" : system.absolutePath(options.modulePath);
    std::string reason;
    if (!system.enterFolder(options.run.root, reason)) {
        std::fprintf(stderr, "%s: cannot enter Orbiter's folder %s: %s\n", system.name,
                     options.run.root.c_str(), reason.c_str());
        return false;
    }
    options.run.root = ".";
    options.run.modules = ModulesToLoad(modulePath, system.extension, system.separator);
    if (options.run.modules.empty()) {
        std::fprintf(stderr, "%s: Orbiter.cfg lists no module; Orbiter starts without\n",
                     system.name);
    }
    return true;
}

} // namespace core
