// The modules both test hosts load at start, as Orbiter does.
#pragma once

#include <string>
#include <vector>

namespace core {

struct ModuleToLoad {
    std::string name; // as Orbiter.cfg lists it: the file name without its extension
    std::string path; // what the host passes to its loader
};

// The names listed between the lines ACTIVE_MODULES and END_MODULES of an Orbiter.cfg, in
// order, with surrounding blanks trimmed as Orbiter trims them. Empty when the file or the
// block is missing.
std::vector<std::string> ReadActiveModules(const std::string& orbiterCfg);

// The lines of an Orbiter.cfg as Orbiter writes the file back when it ends: the lines outside the
// block of ticked modules as they were (without their line ends), then the block, one name a line
// indented by two blanks. A missing file gives an empty block.
std::vector<std::string> RewrittenOrbiterCfg(const std::string& orbiterCfg);

// Where a host finds the module NAME that Orbiter.cfg lists:
// Modules<sep>Plugin<sep>NAME<extension>.
std::string PluginPath(const std::string& name, const std::string& extension, char separator);

// The module named on the host's command line alone, if one is; otherwise every module that
// Orbiter.cfg in the current directory lists, at its PluginPath.
std::vector<ModuleToLoad> ModulesToLoad(const std::string& modulePath, const std::string& extension,
                                        char separator);

} // namespace core
