#include "extra_windows.h"

namespace host {

const char FOREIGN_WINDOW_MODE[] = "--be-foreign-window";

namespace {

constexpr DWORD HELPER_START_LIMIT_MS = 20000;
constexpr DWORD HELPER_LIFE_LIMIT_MS = 120000;

HWND ShowTopWindow(const char* title) {
    const HWND window =
        CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 240, 120,
                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) {
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    return window;
}

} // namespace

HWND ShowOtherWindow() {
    return ShowTopWindow("Splash");
}

bool ShowForeignWindow(std::string& error) {
    const std::string eventName =
        "SkarvelForeignWindowReady." + std::to_string(GetCurrentProcessId());
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" " + FOREIGN_WINDOW_MODE + " " + eventName +
                          " " + std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (ready == nullptr || !CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &startup, &process)) {
        error = "cannot start the second copy for --foreign-window (error " +
                std::to_string(GetLastError()) + ")";
        return false;
    }
    const HANDLE waits[] = {ready, process.hProcess};
    const DWORD outcome = WaitForMultipleObjects(2, waits, FALSE, HELPER_START_LIMIT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(ready);
    if (outcome != WAIT_OBJECT_0) {
        error = "the second copy for --foreign-window did not show its window";
        return false;
    }
    return true;
}

int RunForeignWindow(const std::string& readyEventName, DWORD parentProcessId) {
    const HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentProcessId);
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEventName.c_str());
    if (parent == nullptr || ready == nullptr || ShowTopWindow("Another program") == nullptr) {
        return 1;
    }
    SetEvent(ready);
    // Keeps the window up, answering its messages, until the host is gone.
    const DWORD until = GetTickCount() + HELPER_LIFE_LIMIT_MS;
    while (GetTickCount() < until) {
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &parent, FALSE, until - GetTickCount(), QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) {
            break;
        }
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageA(&message);
        }
    }
    return 0;
}

} // namespace host
