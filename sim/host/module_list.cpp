#include "sim/host/module_list.h"

#include <fstream>

namespace sim {

namespace {

std::string Trimmed(const std::string& line) {
    const char* blanks = " \t\r";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

} // namespace

std::vector<std::string> ReadActiveModules(const std::string& orbiterCfg) {
    std::ifstream file(orbiterCfg, std::ios::binary);
    std::vector<std::string> names;
    bool inBlock = false;
    for (std::string line; std::getline(file, line);) {
        const std::string text = Trimmed(line);
        if (!inBlock) {
            inBlock = text == "ACTIVE_MODULES";
        } else if (text == "END_MODULES") {
            break;
        } else if (!text.empty()) {
            names.push_back(text);
        }
    }
    return names;
}

std::vector<ModuleToLoad> ModulesToLoad(const std::string& modulePath, const std::string& extension,
                                        char separator) {
    if (!modulePath.empty()) {
        std::string name = modulePath.substr(modulePath.find_last_of("/\\") + 1);
        name = name.substr(0, name.rfind('.'));
        return {{name, modulePath}};
    }
    std::vector<ModuleToLoad> modules;
    const std::string folder = std::string("Modules") + separator + "Plugin" + separator;
    for (const std::string& name : ReadActiveModules("Orbiter.cfg")) {
        modules.push_back({name, folder + name + extension});
    }
    return modules;
}

} // namespace sim
