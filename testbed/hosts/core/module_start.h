// Orbiter's InitLib, as both hosts do it inside the module's attach: it asks the module's version,
// then starts the module.
#pragma once

#include <functional>
#include <optional>

namespace core {

// Looks up one of the module's exports by name; null when it has none of that name.
using FindExport = std::function<void*(const char* name)>;

// What the module's GetModuleVersion returns, or nullopt when it exports none.
inline std::optional<int> AskModuleVersion(const FindExport& find) {
    if (auto version = reinterpret_cast<int (*)()>(find("GetModuleVersion"))) {
        return version();
    }
    return std::nullopt;
}

// Starts the module by its InitModule, or by the older opcDLLInit when it exports only that;
// neither, and nothing is started.
inline void StartModule(void* instance, const FindExport& find) {
    void* start = find("InitModule");
    if (start == nullptr) {
        start = find("opcDLLInit");
    }
    if (start != nullptr) {
        reinterpret_cast<void (*)(void*)>(start)(instance);
    }
}

} // namespace core
