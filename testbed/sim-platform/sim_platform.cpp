// platform.h's window-manager, kernel and loader calls over the simulated desktop.
#include "platform/platform.h"
#include "testbed/desktop/desktop.h"
#include "testbed/sim-platform/module_image.h"
#include "testbed/sim-platform/win32_errors.h"

#include <cstdlib>

namespace platform {

namespace {

sim::Window* FindOrFail(WindowHandle handle) {
    sim::Window* window = sim::TheDesktop().Find(handle);
    if (window == nullptr) {
        sim::TheDesktop().lastError = sim::ERROR_INVALID_WINDOW_HANDLE;
    }
    return window;
}

} // namespace

std::uint32_t GetCurrentProcessId() {
    return sim::TheDesktop().currentProcessId;
}

std::int32_t EnumWindows(EnumWindowsProc callback, MessageData record) {
    sim::Desktop& desktop = sim::TheDesktop();
    if (desktop.faults.enumWindowsFails) {
        desktop.lastError = sim::ERROR_INVALID_PARAMETER;
        return 0;
    }
    // A copy: the callback may create or destroy windows.
    for (WindowHandle handle : std::vector<WindowHandle>(desktop.TopLevelWindows())) {
        if (desktop.Find(handle) != nullptr && callback(handle, record) == 0) {
            return 0; // stopped by the callback; the last-error value is left as it set it
        }
    }
    return 1;
}

std::uint32_t GetWindowThreadProcessId(WindowHandle window) {
    const sim::Window* found = FindOrFail(window);
    return found == nullptr ? 0 : found->processId;
}

bool IsWindowVisible(WindowHandle window) {
    // As on Win32, a window is visible only when it and all its ancestors are.
    for (sim::Window* found = sim::TheDesktop().Find(window); found != nullptr;
         found = sim::TheDesktop().Find(found->parent)) {
        if (!found->visible) {
            return false;
        }
        if (found->parent == nullptr) {
            return true;
        }
    }
    return false;
}

void SetLastError(std::uint32_t value) {
    sim::TheDesktop().lastError = value;
}

std::uint32_t GetLastError() {
    return sim::TheDesktop().lastError;
}

WindowHandle GetDlgItem(WindowHandle parent, int identifier) {
    const sim::Window* owner = FindOrFail(parent);
    if (owner == nullptr) {
        return nullptr;
    }
    // Only direct children count; with two of the same identifier the first wins.
    for (WindowHandle child : owner->children) {
        if (sim::TheDesktop().Find(child)->controlId == identifier) {
            return child;
        }
    }
    return nullptr;
}

WindowHandle GetWindow(WindowHandle window, std::uint32_t relation) {
    sim::Desktop& desktop = sim::TheDesktop();
    const sim::Window* found = FindOrFail(window);
    if (found == nullptr || relation != GW_HWNDNEXT_CODE) {
        return nullptr;
    }
    const std::vector<WindowHandle>& siblings = found->parent == nullptr
                                                    ? desktop.TopLevelWindows()
                                                    : desktop.Find(found->parent)->children;
    for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
        if (siblings[i] == window) {
            return siblings[i + 1];
        }
    }
    return nullptr;
}

MessageData SendMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                         MessageData lParam) {
    return sim::TheDesktop().Send(window, message, wParam, lParam);
}

bool PostMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                  MessageData lParam) {
    if (FindOrFail(window) == nullptr) {
        return false;
    }
    sim::TheDesktop().queue.push_back({window, message, wParam, lParam});
    return true;
}

void* GetProcAddress(InstanceHandle module, const char* name) {
    return sim::FindModuleExport(module, name);
}

void ExitWithStatus(int status) {
    std::exit(status);
}

void* AllocateMemory(std::size_t size) {
    int& budget = sim::TheDesktop().faults.failAllocationAfter;
    if (budget == 0) {
        return nullptr;
    }
    if (budget > 0) {
        --budget;
    }
    void* block = std::malloc(size);
    if (block != nullptr) {
        ++sim::TheDesktop().liveAllocations;
    }
    return block;
}

void ReleaseMemory(void* block) {
    if (block != nullptr) {
        --sim::TheDesktop().liveAllocations;
    }
    std::free(block);
}

} // namespace platform
