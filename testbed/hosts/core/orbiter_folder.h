// How both hosts take their place in Orbiter's folder before the run, as Orbiter runs there.
#pragma once

#include "testbed/hosts/core/host_options.h"

#include <functional>
#include <string>

namespace core {

// What differs between the hosts here: their name in messages, the file names of their modules,
// and their system's calls.
struct HostSystem {
    const char* name;      // "orbiter-sim", "orbiter.exe"
    const char* extension; // of a module's file: ".so", ".dll"
    char separator;        // in the paths the host opens
    // The path made absolute from the current directory.
    std::function<std::string(const std::string& path)> absolutePath;
    // Makes the folder the current directory; false, with the reason, when it cannot.
    std::function<bool(const std::string& folder, std::string& reason)> enterFolder;
};

// Takes a module named with --module from where the caller stands, enters Orbiter's folder
// (options.run.root, which becomes "."), and lists the modules to load there. False, after saying
// why on standard error, when the folder cannot be entered.
bool EnterOrbiterFolder(HostOptions& options, const HostSystem& system);

} // namespace core
