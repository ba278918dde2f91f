// Every trace line the hosts print, each written once here, below the simulated desktop and the
// simulated back end, which print some of them too. The end-to-end table compares these lines as
// exact text; docs/orbiter-sim.md lists all but the Win32 host's own two, at the end.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace model {

// Loading the modules Orbiter.cfg ticks (or --module names), and InitLib.
inline std::string ModuleLoadedLine(const std::string& name) {
    return "module: loaded " + name;
}
inline std::string ModuleFailedLine(const std::string& name) {
    return "module: failed loading " + name;
}
inline std::string ModuleVersionLine(int version) {
    return "module: version " + std::to_string(version);
}

// The module's dialogs.
inline std::string DialogNoTemplateLine(int id) {
    return "dialog: no template " + std::to_string(id);
}
inline std::string DialogCloseLine(int id) {
    return "dialog: close " + std::to_string(id);
}
inline const char DIALOG_CLOSE_UNKNOWN_LINE[] = "dialog: close unknown window";

// A dialog's text, with where its control stands in the dialog.
struct PlacedText {
    int top;
    int left;
    std::string text;
};
// "dialog: open ID", then the dialog's texts as a person reads them, "  | TEXT" a line: top to
// bottom, then left to right, whatever order the template gives them in.
inline std::vector<std::string> DialogOpenLines(int id, std::vector<PlacedText> texts) {
    std::stable_sort(texts.begin(), texts.end(), [](const PlacedText& a, const PlacedText& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    std::vector<std::string> lines{"dialog: open " + std::to_string(id)};
    for (const PlacedText& item : texts) {
        lines.push_back("  | " + item.text);
    }
    return lines;
}

// The launchpad's controls, as their window procedures see the module's requests.
inline std::string ClickLine(const std::string& control) {
    return "click: " + control;
}
inline std::string CheckLine(const std::string& control, bool on) {
    return control + (on ? ": on" : ": off");
}
inline std::string TreeSelectedLine(const std::string& entry) {
    return "tree: selected \"" + entry + "\"";
}
inline const char TREE_CLEARED_LINE[] = "tree: selection cleared";

// A file copy the module makes.
inline std::string CopyLine(const std::string& source, const std::string& destination, bool ok) {
    return "copy: \"" + source + "\" -> \"" + destination + "\" " + (ok ? "ok" : "failed");
}

// A simulation session started from the launchpad. The start line names the scenario read by
// its `cksum` (checksum and length), or says, with nullopt, that it could not be read.
inline const char NO_SCENARIO_LINE[] = "simulation: no scenario selected";
inline std::string SimulationStartLine(const std::string& entry, bool paused,
                                       const std::optional<std::string>& readCksum) {
    return "simulation: start \"" + entry + "\" " + (paused ? "paused" : "running") + "; read " +
           (readCksum ? "cksum " + *readCksum : std::string("nothing"));
}
inline const char SIMULATION_END_LINE[] = "simulation: end";

// The simulated user, and Orbiter's end.
inline const char USER_CLOSE_USAGE_LINE[] = "user: close usage";
inline const char USER_LAUNCH_LINE[] = "user: launch";
inline const char USER_CLOSE_ORBITER_LINE[] = "user: close orbiter";
inline const char LOOP_GAVE_UP_LINE[] = "orbiter: the message loop did not settle; giving up";
inline std::string OrbiterExitLine(int status) {
    return "orbiter: exit " + std::to_string(status);
}

// The Win32 host only: its user finds no close box to click, or its watchdog ends a run that
// a call into the module never returned from.
inline const char USER_FINDS_NO_CLOSE_BOX_LINE[] =
    "user: cannot click the usage dialog's close box";
inline std::string NoEndLine(unsigned long seconds) {
    return "orbiter: no end after " + std::to_string(seconds) + " s; giving up";
}

} // namespace model
