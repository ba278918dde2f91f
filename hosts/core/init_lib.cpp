#include "hosts/core/init_lib.h"

namespace core {

std::optional<int> AskModuleVersion(const FindExport& find) {
    if (auto version = reinterpret_cast<int (*)()>(find("GetModuleVersion"))) {
        return version();
    }
    return std::nullopt;
}

void StartModule(void* instance, const FindExport& find) {
    void* start = find("InitModule");
    if (start == nullptr) {
        start = find("opcDLLInit");
    }
    if (start != nullptr) {
        reinterpret_cast<void (*)(void*)>(start)(instance);
    }
}

} // namespace core
