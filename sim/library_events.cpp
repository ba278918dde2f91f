// Linked into Skarvel.so: the loader's attach and detach notifications on Linux.
// The shared object's constructor and destructor run when the host loads and unloads it,
// as DllMain's process attach and detach do on Windows.
#include "frame/load_glue.h"
#include "sim/module_image.h"

namespace {

InstanceHandle OwnInstance() {
    return sim::InstanceContaining(reinterpret_cast<const void*>(&OwnInstance));
}

__attribute__((constructor)) void AttachToProcess() {
    OnProcessAttach(OwnInstance());
}

__attribute__((destructor)) void DetachFromProcess() {
    OnProcessDetach(OwnInstance());
}

} // namespace
