#include "hosts/core/trace_lines.h"

#include "hosts/core/simulation_session.h"

#include <algorithm>

namespace core {

std::string ModuleLoadedLine(const std::string& name) {
    return "module: loaded " + name;
}

std::string ModuleFailedLine(const std::string& name) {
    return "module: failed loading " + name;
}

std::string ModuleVersionLine(int version) {
    return "module: version " + std::to_string(version);
}

std::string DialogNoTemplateLine(int templateId) {
    return "dialog: no template " + std::to_string(templateId);
}

std::string DialogCloseLine(int templateId) {
    return "dialog: close " + std::to_string(templateId);
}

std::string DialogCloseUnknownLine() {
    return "dialog: close unknown window";
}

std::vector<std::string> DialogOpenLines(int templateId, std::vector<PlacedText> texts) {
    std::stable_sort(texts.begin(), texts.end(), [](const PlacedText& a, const PlacedText& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    std::vector<std::string> lines{"dialog: open " + std::to_string(templateId)};
    for (const PlacedText& item : texts) {
        lines.push_back("  | " + item.text);
    }
    return lines;
}

std::string ClickLine(const std::string& control) {
    return "click: " + control;
}

std::string CheckLine(const std::string& control, bool checked) {
    return control + (checked ? ": on" : ": off");
}

std::string TreeSelectedLine(const std::string& entry) {
    return "tree: selected \"" + entry + "\"";
}

std::string TreeClearedLine() {
    return "tree: selection cleared";
}

std::string CopyLine(const std::string& source, const std::string& destination, bool copied) {
    return "copy: \"" + source + "\" -> \"" + destination + "\" " + (copied ? "ok" : "failed");
}

std::string NoScenarioLine() {
    return "simulation: no scenario selected";
}

std::string SimulationStartLine(const std::string& entry, bool paused,
                                const std::optional<std::string>& scenario) {
    return "simulation: start \"" + entry + "\" " + (paused ? "paused" : "running") + "; read " +
           (scenario ? "cksum " + Cksum(*scenario) : std::string("nothing"));
}

std::string SimulationEndLine() {
    return "simulation: end";
}

std::string UserCloseUsageLine() {
    return "user: close usage";
}

std::string UserLaunchLine() {
    return "user: launch";
}

std::string UserCloseOrbiterLine() {
    return "user: close orbiter";
}

std::string LoopGaveUpLine() {
    return "orbiter: the message loop did not settle; giving up";
}

std::string OrbiterExitLine(int status) {
    return "orbiter: exit " + std::to_string(status);
}

} // namespace core
