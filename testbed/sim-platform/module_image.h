// A loaded module's image, found by its instance handle: on Linux, the base address at
// which the loader mapped the shared object, as a Windows instance handle is the base
// address of the DLL.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace sim {

// The instance handle of the loaded object that contains this address, or null.
InstanceHandle InstanceContaining(const void* address);
// The file the object was loaded from, or "" when no loaded object has that base.
std::string ModuleFilePath(InstanceHandle instance);
// An exported symbol of that very object (not of its dependencies), or null.
void* FindModuleExport(InstanceHandle instance, const char* name);
// The bytes of a named section of an ELF file, empty when it has none.
std::vector<unsigned char> ReadElfSection(const std::string& path, const std::string& name);
// The bytes of a named section of the object's file, empty when it has none.
std::vector<unsigned char> ReadModuleSection(InstanceHandle instance, const std::string& name);

} // namespace sim
