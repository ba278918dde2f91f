// The module's whole interface to Orbiter: five exported functions with plain names.
#pragma once

#include "platform/platform.h"

#include <cstdint>

#if defined(_WIN32)
#define MODULE_EXPORT // the exports are pinned by frame/exports.def
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// Orbiter calls this once after loading the module, while its launchpad is on screen.
MODULE_EXPORT void InitModule(InstanceHandle instance);
// The unload hook; also exported as opcOpenRenderViewport, which Orbiter calls when a
// simulation window opens. Either way: close the module's dialog. Arguments are ignored.
MODULE_EXPORT void ExitModule(InstanceHandle instance);
// Orbiter calls this when a simulation window closes. Arguments are ignored.
MODULE_EXPORT void opcCloseRenderViewport();
MODULE_EXPORT std::int32_t GetModuleVersion();
}
