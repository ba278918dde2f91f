#include "testbed/hosts/orbiter-sim/orbiter_api.h"

#include "testbed/desktop/desktop.h"
#include "testbed/desktop/dialog_template.h"
#include "testbed/hosts/core/convert_date.h"
#include "testbed/hosts/core/module_start.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "testbed/sim-platform/module_image.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {
OrbiterApi orbiter;
}

OrbiterApi& TheOrbiter() {
    return orbiter;
}

void ResetOrbiter() {
    orbiter = OrbiterApi();
}

} // namespace sim

extern "C" {

const char* oapiGetCmdLine() {
    const auto& line = sim::TheOrbiter().commandLine;
    return line ? line->c_str() : nullptr;
}

WindowHandle oapiOpenDialog(InstanceHandle instance, int templateId, DialogProc procedure,
                            void* context) {
    sim::Desktop& desktop = sim::TheDesktop();
    const std::optional<sim::DialogTemplate> found = sim::LoadDialogTemplate(instance, templateId);
    if (!found) {
        sim::Trace(model::DialogNoTemplateLine(templateId));
        return nullptr;
    }
    const sim::DialogTemplate& layout = *found;
    const WindowHandle dialog =
        desktop.CreateTopLevel(desktop.currentProcessId, sim::WindowKind::Dialog, layout.title);
    sim::Window& window = *desktop.Find(dialog);
    window.procedure = procedure;
    window.templateId = templateId;
    sim::TheOrbiter().dialogContext = context;
    std::vector<model::PlacedText> texts;
    for (const sim::DialogItem& item : layout.items) {
        desktop.CreateChild(dialog, sim::WindowKind::Static, item.id, item.text);
        texts.push_back({item.y, item.x, item.text});
    }
    for (const std::string& line : model::DialogOpenLines(templateId, texts)) {
        sim::Trace(line);
    }
    desktop.Show(dialog, true); // sends WM_SHOWWINDOW to the procedure
    return dialog;
}

void oapiCloseDialog(WindowHandle dialog) {
    sim::Desktop& desktop = sim::TheDesktop();
    const sim::Window* window = desktop.Find(dialog);
    if (window == nullptr || window->kind != sim::WindowKind::Dialog) {
        // A handle the module kept after its dialog was closed, or never had.
        sim::Trace(model::DIALOG_CLOSE_UNKNOWN_LINE);
        return;
    }
    sim::Trace(model::DialogCloseLine(window->templateId));
    desktop.Destroy(dialog);
}

std::intptr_t oapiDefDialogProc(WindowHandle, std::uint32_t, MessageParam, MessageData) {
    return 0; // nothing for the module's dialogs beyond what the window manager does anyway
}

// As Orbiter's InitLib: the module's attach glue calls it, and it asks the module's version and
// then starts the module, all inside the attach.
void InitLib(InstanceHandle instance) {
    ++sim::TheOrbiter().initLibCalls;
    sim::TheOrbiter().initLibInstance = instance;
    const core::FindExport find = [instance](const char* name) {
        return sim::FindModuleExport(instance, name);
    };
    if (const std::optional<int> version = core::AskModuleVersion(find)) {
        sim::Trace(model::ModuleVersionLine(*version));
    }
    core::StartModule(instance, find);
}

std::int32_t Date2Int(char* date) {
    ++sim::TheOrbiter().date2IntCalls;
    const auto& forced = sim::TheOrbiter().date2IntResult;
    const std::int32_t value = forced ? *forced : core::ConvertDate(date);
    // Orbiter declares the date writable and may cut it up as it reads it, as strtok does;
    // so does this, so that a module passing read-only text fails here.
    if (char* blank = std::strchr(date, ' ')) {
        *blank = '\0';
    }
    return value;
}

} // extern "C"
