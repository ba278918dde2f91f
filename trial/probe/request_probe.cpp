// request_probe.exe: what Skarvel's own request code makes of a command line, for the trial's
// verdict. Started under Wine with Orbiter's command line, in Orbiter's folder, it takes the text
// Windows hands a program as Orbiter takes it, runs the module's ApplyCommandLine and
// StageScenario on it as the start-up does, and prints what they did, a fact a line. The copy
// onto the staging file is recorded, not made, so nothing is written.
#include "frame/module_state.h"
#include "platform/platform.h"
#include "request/launch_request.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

ModuleState moduleState = {};

namespace {

const char* commandLine = "";
bool pausedTicked = false;
bool copyMade = false;

// The text after the program's path, as Orbiter's WinMain gets it from the C run-time: the path
// ends at the first blank or control character outside double quotes, and those after it are
// skipped.
const char* AfterProgramPath(const char* line) {
    bool quoted = false;
    for (; *line != '\0' && (quoted || static_cast<unsigned char>(*line) > ' '); ++line) {
        quoted = quoted != (*line == '"');
    }
    while (*line != '\0' && static_cast<unsigned char>(*line) <= ' ') {
        ++line;
    }
    return line;
}

// Bytes as hexadecimal digits, so that any byte of the ANSI code page survives the trip.
void PrintBytes(const char* name, const char* bytes) {
    std::printf("%s ", name);
    for (; *bytes != '\0'; ++bytes) {
        std::printf("%02x", static_cast<unsigned char>(*bytes));
    }
    std::printf("\n");
}

// Wine's own name of a Windows path on the Unix side, or null outside Wine.
char* UnixFileName(const char* path) {
    using Converter = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t wide[MAX_PATH * 4];
    if (convert == nullptr || ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH * 4) == 0) {
        return nullptr;
    }
    return convert(wide);
}

} // namespace

extern "C" const char* oapiGetCmdLine() {
    return commandLine;
}

namespace platform {

MessageData SendMessageA(WindowHandle, std::uint32_t message, MessageParam wParam, MessageData) {
    if (message == BM_SETCHECK_MSG) {
        pausedTicked = wParam == BST_CHECKED_STATE;
    }
    return 0;
}

bool CopyFileA(const char*, const char*, bool) {
    copyMade = true;
    return true;
}

void* AllocateMemory(std::size_t size) {
    return std::malloc(size);
}

void ReleaseMemory(void* block) {
    std::free(block);
}

} // namespace platform

int main() {
    commandLine = AfterProgramPath(::GetCommandLineA());
    moduleState.reportMissing = 1; // the flags as the start-up sets them before the line is read
    static char workBuffer[PATH_BUFFER_SIZE];
    static char requestBuffer[PATH_BUFFER_SIZE];
    const bool applied = ApplyCommandLine(workBuffer, requestBuffer);
    const bool staged = applied && StageScenario(workBuffer, requestBuffer);
    std::printf("code-page %u\n", ::GetACP());
    PrintBytes("line", commandLine);
    std::printf("applied %d\npaused %d\nexit-after-shutdown %d\nexit-if-missing %d\n", applied,
                pausedTicked, moduleState.exitAfterShutdown, moduleState.exitIfMissing);
    std::printf("report-missing %d\nstaged %d\ncopied %d\n", moduleState.reportMissing, staged,
                copyMade);
    // After StageScenario the work buffer holds the scenario it would copy, completed.
    PrintBytes("scenario", applied ? workBuffer : "");
    if (char* unixName = applied && workBuffer[0] != '\0' ? UnixFileName(workBuffer) : nullptr) {
        PrintBytes("scenario-file", unixName);
        ::HeapFree(::GetProcessHeap(), 0, unixName);
    }
    return 0;
}
