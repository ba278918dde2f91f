// orbiter.exe: a Win32 test host that plays Orbiter for the real Skarvel.dll, with real
// windows. It takes orbiter-sim's command line and prints orbiter-sim's trace lines.
#include "copy_trace.h"
#include "extra_windows.h"
#include "orbiter_exports.h"
#include "orbiter_run.h"
#include "sim/host/host_options.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

constexpr int USAGE_STATUS = 2;
constexpr int SETUP_STATUS = 1;
constexpr int HUNG_STATUS = 3;
// Longer than the message loop's own bound: this catches a module stuck inside a call.
constexpr DWORD WATCHDOG_MS = 45000;

// An option of this host only, taken out before orbiter-sim's options are read.
const char SNAPSHOT_OPTION[] = "--snapshot-usage";

// orbiter-sim's usage text, with this program's and the DLL's names and place, and this host's
// option.
std::string Usage() {
    std::string text =
        std::string(sim::HOST_USAGE) +
        "Pictures:\n"
        "  --snapshot-usage BMP when the usage dialog opens, measure how its texts fit\n"
        "                      and save a picture of it\n";
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"Skarvel.so beside orbiter-sim",
                                              "Modules\\Plugin\\Skarvel.dll in Orbiter's folder"},
          {"orbiter-sim", "orbiter.exe"},
          {"Skarvel.so", "Skarvel.dll"}}) {
        for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(WATCHDOG_MS);
    std::printf("orbiter: no end after %lu s; giving up\n", WATCHDOG_MS / 1000);
    std::fflush(stdout);
    ExitProcess(HUNG_STATUS);
}

template <typename Function> bool Resolve(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (function == nullptr) {
        std::fprintf(stderr, "orbiter.exe: the module does not export %s\n", name);
    }
    return function != nullptr;
}

// Where Orbiter keeps plug-in modules: Modules\Plugin under its folder, the current directory.
// A full path, so that LoadLibrary does not search the program's own folder first.
std::string DefaultModule() {
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') {
        path += '\\';
    }
    return path + "Modules\\Plugin\\Skarvel.dll";
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY); // "\n" line ends, as orbiter-sim prints them
    if (argc == 4 && std::strcmp(argv[1], host::FOREIGN_WINDOW_MODE) == 0) {
        return host::RunForeignWindow(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == SNAPSHOT_OPTION && i + 1 < args.size()) {
            host::SetUsageSnapshot(args[i + 1]);
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            break;
        }
    }
    sim::HostOptions options;
    std::string error;
    if (!sim::ParseHostOptions(args, options, error)) {
        std::fprintf(stderr, "orbiter.exe: %s\n%s", error.c_str(), Usage().c_str());
        return USAGE_STATUS;
    }
    if (!SetCurrentDirectoryA(options.run.root.c_str())) {
        std::fprintf(stderr, "orbiter.exe: cannot enter Orbiter's folder %s (error %lu)\n",
                     options.run.root.c_str(), GetLastError());
        return SETUP_STATUS;
    }
    const std::string modulePath =
        options.modulePath.empty() ? DefaultModule() : options.modulePath;
    options.run.root = ".";
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

    // Loading runs the module's DllMain, whose attach glue calls InitLib.
    const HMODULE library = LoadLibraryA(modulePath.c_str());
    if (library == nullptr) {
        const DWORD loadError = GetLastError();
        std::fprintf(stderr, "orbiter.exe: cannot load the module %s (error %lu).\n%s\n",
                     modulePath.c_str(), loadError,
                     loadError == ERROR_MOD_NOT_FOUND
                         ? "Put it in Modules\\Plugin under Orbiter's folder, or name it with "
                           "--module."
                         : "Its imports may not match what this orbiter.exe exports "
                           "(objdump -p shows both tables).");
        return SETUP_STATUS;
    }
    host::LoadedModule loaded;
    loaded.instance = library;
    void (*exitModule)(HINSTANCE) = nullptr;
    if (!Resolve(library, "InitModule", loaded.initModule) ||
        !Resolve(library, "ExitModule", exitModule) ||
        !Resolve(library, "opcOpenRenderViewport", loaded.openRenderViewport) ||
        !Resolve(library, "opcCloseRenderViewport", loaded.closeRenderViewport) ||
        !Resolve(library, "GetModuleVersion", loaded.getModuleVersion)) {
        return SETUP_STATUS;
    }
    if (!host::TraceCopiesOf(library)) {
        std::fprintf(stderr, "orbiter.exe: the module imports no CopyFileA to trace; "
                             "its copy: lines will be missing\n");
    }
    return host::RunOrbiter(options.run, loaded);
}
