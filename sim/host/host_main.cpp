// orbiter-sim: a Linux program that plays Orbiter for the module. It builds a launchpad on
// the simulated desktop, provides Orbiter's functions, loads the module and runs Orbiter's
// message loop, printing one trace line per event.
#include "sim/desktop.h"
#include "sim/host/host_options.h"
#include "sim/module_image.h"
#include "sim/orbiter_run.h"
#include "sim/windows_path.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr int USAGE_STATUS = 2;
constexpr int SETUP_STATUS = 1;

template <typename Function> bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr) {
        std::fprintf(stderr, "orbiter-sim: the module does not export %s\n", name);
    }
    return function != nullptr;
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(sim::HOST_USAGE, stdout);
        return 0;
    }
    sim::HostOptions options;
    std::string error;
    if (!sim::ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "orbiter-sim: %s\n%s", error.c_str(), sim::HOST_USAGE);
        return USAGE_STATUS;
    }
    std::error_code fsError;
    fs::path module = options.modulePath.empty()
                          ? fs::read_symlink("/proc/self/exe", fsError).parent_path() / "Skarvel.so"
                          : fs::absolute(options.modulePath, fsError);
    options.run.root = sim::ToLinuxPath(options.run.root);
    if (chdir(options.run.root.c_str()) != 0) {
        std::fprintf(stderr, "orbiter-sim: cannot enter Orbiter's folder %s: %s\n",
                     options.run.root.c_str(), std::strerror(errno));
        return SETUP_STATUS;
    }
    options.run.root = ".";

    sim::ResetDesktop(static_cast<std::uint32_t>(getpid()));
    // Loading runs the module's attach glue, as LoadLibrary runs DllMain.
    void* library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr,
                     "orbiter-sim: cannot load the module: %s\n"
                     "Build it first (cmake --preset native && cmake --build --preset native) "
                     "or name it with --module.\n",
                     dlerror());
        return SETUP_STATUS;
    }
    sim::LoadedModule loaded;
    void (*exitModule)(InstanceHandle) = nullptr;
    if (!Resolve(library, "InitModule", loaded.initModule) ||
        !Resolve(library, "ExitModule", exitModule) ||
        !Resolve(library, "opcOpenRenderViewport", loaded.openRenderViewport) ||
        !Resolve(library, "opcCloseRenderViewport", loaded.closeRenderViewport) ||
        !Resolve(library, "GetModuleVersion", loaded.getModuleVersion)) {
        return SETUP_STATUS;
    }
    loaded.instance = sim::InstanceContaining(reinterpret_cast<const void*>(loaded.initModule));
    // Unloading runs the module's detach glue.
    loaded.unload = [library] { dlclose(library); };
    return sim::RunOrbiter(options.run, loaded);
}
