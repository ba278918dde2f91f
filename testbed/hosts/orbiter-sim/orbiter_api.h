// The simulated Orbiter's side of its module interface: the state behind the oapi
// functions, InitLib and Date2Int that the module imports.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

struct OrbiterApi {
    // What oapiGetCmdLine returns; nullopt makes it return null.
    std::optional<std::string> commandLine = std::string();
    // When set, Date2Int returns this instead of converting the date.
    std::optional<std::int32_t> date2IntResult;
    int date2IntCalls = 0;
    int initLibCalls = 0;
    InstanceHandle initLibInstance = nullptr;
    // The context the module passed to the last oapiOpenDialog.
    void* dialogContext = nullptr;
};

OrbiterApi& TheOrbiter();
void ResetOrbiter();

} // namespace sim
