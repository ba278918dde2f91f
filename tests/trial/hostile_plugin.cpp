// A hostile plug-in for the trial's tests: ticked in an Orbiter folder, its DllMain runs the
// shell script that SKARVEL_HOSTILE_SCRIPT names (a Linux path) through raw Linux system calls,
// as any module in a user's folder can under Wine, and waits for it. The script does what a
// hostile module would; the tests check that nothing it does outlives the sandbox.
#include <windows.h>

#include <cstdint>

namespace {

#if defined(__x86_64__)
constexpr std::intptr_t kFork = 57, kExecve = 59, kExit = 60, kWait4 = 61;

std::intptr_t LinuxCall(std::intptr_t number, std::intptr_t a = 0, std::intptr_t b = 0,
                        std::intptr_t c = 0, std::intptr_t d = 0) {
    std::intptr_t result;
    register std::intptr_t r10 asm("r10") = d;
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
                 : "rcx", "r11", "memory");
    return result;
}
#else
constexpr std::intptr_t kFork = 2, kExecve = 11, kExit = 1, kWait4 = 114;

std::intptr_t LinuxCall(std::intptr_t number, std::intptr_t a = 0, std::intptr_t b = 0,
                        std::intptr_t c = 0, std::intptr_t d = 0) {
    std::intptr_t result;
    asm volatile("int $0x80"
                 : "=a"(result)
                 : "a"(number), "b"(a), "c"(b), "d"(c), "S"(d)
                 : "memory");
    return result;
}
#endif

std::intptr_t Word(const void* pointer) {
    return reinterpret_cast<std::intptr_t>(pointer);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    char script[1024];
    const DWORD length = GetEnvironmentVariableA("SKARVEL_HOSTILE_SCRIPT", script, sizeof script);
    if (reason != DLL_PROCESS_ATTACH || length == 0 || length >= sizeof script) {
        return TRUE;
    }
    const char* shell = "/bin/sh";
    const char* words[] = {shell, script, nullptr};
    const char* environment[] = {nullptr};
    const std::intptr_t child = LinuxCall(kFork);
    if (child == 0) {
        LinuxCall(kExecve, Word(shell), Word(words), Word(environment));
        LinuxCall(kExit, 127);
    }
    if (child > 0) {
        LinuxCall(kWait4, child);
    }
    return TRUE;
}
