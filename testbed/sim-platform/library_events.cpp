// Linked into Skarvel.so: the loader's attach and detach notifications on Linux.
// The shared object's constructor and destructor run when the host loads and unloads it,
// as DllMain's process attach and detach do on Windows.
#include "frame/load_glue.h"
#include "testbed/sim-platform/module_image.h"

namespace {

// Set once the attach notification has returned. The loader sends the detach notification only
// to libraries whose attach has returned (seen under Wine, i686 and x64): a module that ends the
// process from inside its own attach gets none, though glibc would still run this object's
// destructor at exit. The process's termination handlers run either way.
bool attached = false;

InstanceHandle OwnInstance() {
    return sim::InstanceContaining(reinterpret_cast<const void*>(&OwnInstance));
}

__attribute__((constructor)) void AttachToProcess() {
    OnProcessAttach(OwnInstance());
    attached = true;
}

__attribute__((destructor)) void DetachFromProcess() {
    if (attached) {
        OnProcessDetach(OwnInstance());
    }
}

} // namespace
