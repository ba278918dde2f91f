#include "testbed/hosts/core/module_list.h"

#include <fstream>

namespace core {

namespace {

std::string Trimmed(const std::string& line) {
    const char* blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// Calls `visit` with each line of the file (without its line end) but the block's own first and
// last lines, with whether it lies inside the block of ticked modules and with its text trimmed
// of blanks. Orbiter reads only the first block.
template <typename Visit> void ForEachLine(const std::string& orbiterCfg, Visit visit) {
    std::ifstream file(orbiterCfg, std::ios::binary);
    enum { BEFORE, INSIDE, AFTER } place = BEFORE;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string text = Trimmed(line);
        if (place == BEFORE && text == "ACTIVE_MODULES") {
            place = INSIDE;
            continue;
        }
        if (place == INSIDE && text == "END_MODULES") {
            place = AFTER;
            continue;
        }
        visit(line, place == INSIDE, text);
    }
}

} // namespace

std::vector<std::string> ReadActiveModules(const std::string& orbiterCfg) {
    std::vector<std::string> names;
    ForEachLine(orbiterCfg, [&names](const std::string&, bool inBlock, const std::string& text) {
        if (inBlock && !text.empty()) {
            names.push_back(text);
        }
    });
    return names;
}

std::vector<std::string> RewrittenOrbiterCfg(const std::string& orbiterCfg) {
    std::vector<std::string> lines;
    std::vector<std::string> names;
    ForEachLine(orbiterCfg, [&](const std::string& line, bool inBlock, const std::string& text) {
        if (!inBlock) {
            lines.push_back(line);
        } else if (!text.empty()) {
            names.push_back("  " + text);
        }
    });
    lines.push_back("ACTIVE_MODULES");
    lines.insert(lines.end(), names.begin(), names.end());
    lines.push_back("END_MODULES");
    return lines;
}

std::string PluginPath(const std::string& name, const std::string& extension, char separator) {
    return std::string("Modules") + separator + "Plugin" + separator + name + extension;
}

std::vector<ModuleToLoad> ModulesToLoad(const std::string& modulePath, const std::string& extension,
                                        char separator) {
    if (!modulePath.empty()) {
        std::string name = modulePath.substr(modulePath.find_last_of("/\\") + 1);
        name = name.substr(0, name.rfind('.'));
        return {{name, modulePath}};
    }
    std::vector<ModuleToLoad> modules;
    for (const std::string& name : ReadActiveModules("Orbiter.cfg")) {
        modules.push_back({name, PluginPath(name, extension, separator)});
    }
    return modules;
}

} // namespace core
