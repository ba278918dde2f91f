// Orbiter's six functions as this host implements them (C linkage, cdecl). orbiter.exe exports
// them under names its .def file gives, made from the module's import list (CMakeLists.txt here):
// Orbiter's decorated names, or the plain ones for the build that shows a module cannot bind to
// those. The host's own names here are exported under no name of their own.
#include "orbiter_exports.h"

#include "copy_trace.h"
#include "dialog_layout.h"
#include "orbiter_files.h"
#include "platform/platform.h"
#include "resources/resource_ids.h"
#include "testbed/hosts/core/convert_date.h"
#include "testbed/hosts/core/module_start.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "trace.h"
#include "window_image.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace host {

namespace {

std::optional<std::string> commandLine = std::string();
std::map<HWND, int> openDialogs; // module dialogs and the templates they came from
std::string usageSnapshot;       // where to save a picture of the usage dialog, if anywhere

// The texts of a dialog's controls, each with where it stands on the screen.
std::vector<model::PlacedText> PlacedTexts(HWND dialog) {
    std::vector<model::PlacedText> texts;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place{};
        GetWindowRect(child, &place);
        char buffer[1024] = {};
        GetWindowTextA(child, buffer, sizeof buffer);
        texts.push_back({place.top, place.left, buffer});
    }
    return texts;
}

} // namespace

void SetUsageSnapshot(const std::string& bmpPath) {
    usageSnapshot = bmpPath;
}

void SetOrbiterCommandLine(const std::optional<std::string>& line) {
    commandLine = line;
}

HWND FindOpenDialog(int templateId) {
    for (const auto& [dialog, id] : openDialogs) {
        if (id == templateId) {
            return dialog;
        }
    }
    return nullptr;
}

} // namespace host

extern "C" {

const char* HostGetCmdLine() {
    return host::commandLine ? host::commandLine->c_str() : nullptr;
}

// Builds the dialog from the module's own template, hidden as the template leaves it, then
// shows it, so that its procedure gets WM_SHOWWINDOW before this returns.
WindowHandle HostOpenDialog(InstanceHandle instance, int templateId, DialogProc procedure,
                            void* context) {
    const HWND dialog =
        CreateDialogParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(templateId), nullptr,
                           reinterpret_cast<DLGPROC>(procedure), reinterpret_cast<LPARAM>(context));
    if (dialog == nullptr) {
        host::Trace(model::DialogNoTemplateLine(templateId));
        return nullptr;
    }
    host::openDialogs[dialog] = templateId;
    for (const std::string& line : model::DialogOpenLines(templateId, host::PlacedTexts(dialog))) {
        host::Trace(line);
    }
    ShowWindow(dialog, SW_SHOW);
    if (templateId == IDD_USAGE && !host::usageSnapshot.empty()) {
        for (const std::string& line : host::MeasureDialogLayout(dialog)) {
            host::Trace(line);
        }
        if (!host::SaveWindowImage(dialog, host::usageSnapshot)) {
            std::fprintf(stderr, "orbiter.exe: cannot save the usage dialog's picture to %s\n",
                         host::usageSnapshot.c_str());
        }
    }
    return dialog;
}

void HostCloseDialog(WindowHandle dialog) {
    const auto found = host::openDialogs.find(static_cast<HWND>(dialog));
    if (found == host::openDialogs.end()) {
        // A handle the module kept after its dialog was closed, or never had.
        host::Trace(model::DIALOG_CLOSE_UNKNOWN_LINE);
        return;
    }
    host::Trace(model::DialogCloseLine(found->second));
    host::openDialogs.erase(found);
    DestroyWindow(static_cast<HWND>(dialog));
}

std::intptr_t HostDefDialogProc(WindowHandle, std::uint32_t, MessageParam, MessageData) {
    return 0; // nothing for the module's dialogs beyond the dialog manager's own handling
}

// As Orbiter's InitLib: the module's attach glue calls it, and it asks the module's version, writes
// the module's line to Orbiter.log and then starts the module, all inside the attach, with the
// loader lock held.
void HostInitLib(InstanceHandle instance) {
    const HMODULE module = static_cast<HMODULE>(instance);
    // The start-up copies the scenario, so its copies are traced from here on.
    if (!host::TraceCopiesOf(module)) {
        std::fprintf(stderr, "orbiter.exe: the module imports no CopyFileA to trace; "
                             "its copy: lines will be missing\n");
    }
    const core::FindExport find = [module](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    const std::optional<int> version = core::AskModuleVersion(find);
    if (version) {
        host::Trace(model::ModuleVersionLine(*version));
    }
    host::LogLoadedModule(module, version.value_or(0));
    core::StartModule(module, find);
}

std::int32_t HostDate2Int(char* date) {
    return core::ConvertDate(date);
}

} // extern "C"
