#include "testbed/hosts/core/scenario_entries.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace core {

std::vector<std::string> FindScenarioEntries(const std::string& orbiterFolder) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    const fs::path scenarios = fs::path(orbiterFolder) / "Scenarios";
    std::error_code error;
    for (fs::recursive_directory_iterator it(scenarios, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error) || it->path().extension() != ".scn") {
            continue;
        }
        std::string name = it->path().lexically_relative(scenarios).replace_extension().string();
        std::replace(name.begin(), name.end(), '/', '\\');
        if (name != CURRENT_STATE) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    found.insert(found.begin(), CURRENT_STATE);
    return found;
}

} // namespace core
