// Every trace line that both hosts print, one function a line, so that each format is written
// once. The end-to-end table compares these lines as exact text; README.md lists them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace core {

// Loading the modules Orbiter.cfg ticks (or --module names), and InitLib.
std::string ModuleLoadedLine(const std::string& name);
std::string ModuleFailedLine(const std::string& name);
std::string ModuleVersionLine(int version);

// The module's dialogs.
std::string DialogNoTemplateLine(int templateId);
std::string DialogCloseLine(int templateId);
std::string DialogCloseUnknownLine();

// A dialog's texts, each with where its control stands in the dialog.
struct PlacedText {
    int top;
    int left;
    std::string text;
};
// "dialog: open ID", then the dialog's texts as a person reads them, "  | TEXT" a line: top to
// bottom, then left to right, whatever order the template gives them in.
std::vector<std::string> DialogOpenLines(int templateId, std::vector<PlacedText> texts);

// The launchpad's controls, as their window procedures see the module's requests.
std::string ClickLine(const std::string& control);
std::string CheckLine(const std::string& control, bool checked);
std::string TreeSelectedLine(const std::string& entry);
std::string TreeClearedLine();

// A file copy the module makes.
std::string CopyLine(const std::string& source, const std::string& destination, bool copied);

// A simulation session started from the launchpad. The start line names the scenario read by
// its `cksum` (checksum and length), or says that it could not be read.
std::string NoScenarioLine();
std::string SimulationStartLine(const std::string& entry, bool paused,
                                const std::optional<std::string>& scenario);
std::string SimulationEndLine();

// The simulated user, and Orbiter's end.
std::string UserCloseUsageLine();
std::string UserLaunchLine();
std::string UserCloseOrbiterLine();
std::string LoopGaveUpLine();
std::string OrbiterExitLine(int status);

} // namespace core
