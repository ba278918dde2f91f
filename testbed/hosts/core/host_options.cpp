#include "testbed/hosts/core/host_options.h"

#include "testbed/hosts/core/module_list.h"

#include <cstdlib>

namespace core {

namespace {

// The usage text, split where each host puts its own name and the place of its modules.
const char USAGE_AFTER_NAME[] =
    " [options] [--] [WORD...]\n"
    "Plays Orbiter for the module: the WORDs are Orbiter's command line, quoted as Windows\n"
    "hands them to a program started through Wine (a WORD with a blank or a tab, or an\n"
    "empty WORD, in double quotes).\n"
    "  --cmdline TEXT      Orbiter's command line, verbatim (instead of WORDs)\n"
    "  --null-cmdline      oapiGetCmdLine returns null\n"
    "  --root DIR          Orbiter's folder and current directory (default: the current one)\n"
    "  --module FILE       load this module alone (default: each module that Orbiter.cfg\n"
    "                      lists between ACTIVE_MODULES and END_MODULES, from\n"
    "                      ";
const char USAGE_AFTER_PLUGIN[] =
    " in Orbiter's folder)\n"
    "  --close-usage       the user closes the usage dialog with its close box\n"
    "  --launch            the user presses Launch once when the launchpad is idle\n"
    "  --keep-open         the user never closes Orbiter: it runs until it is stopped\n"
    "  --help              print this and end\n"
    "Broken launchpads:\n"
    "  --hide-launchpad    the launchpad is not visible\n"
    "  --without ID        leave out control ID (1000, 1001, 1088 or 1090); repeatable\n"
    "  --page-offset N     the page window is the Nth next sibling of Launch (default 5)\n"
    "  --refuse-selection  the scenario tree refuses every selection\n"
    "  --empty-tree        the scenario tree has no entries\n"
    "  --foreign-window    another process's visible window comes first\n"
    "  --other-window      a visible window of this process without the controls comes first\n";

bool ParseNumber(const std::string& text, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < -100000 || number > 100000) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

} // namespace

std::string HostUsage(const std::string& program, char separator, const std::string& extension) {
    return "usage: " + program + USAGE_AFTER_NAME + PluginPath("NAME", extension, separator) +
           USAGE_AFTER_PLUGIN;
}

bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error) {
    std::size_t firstWord = args.size();
    bool verbatim = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        int number = 0;
        if (arg == "--") {
            firstWord = i + 1;
            break;
        } else if (arg == "--help") {
            options.help = true;
            return true;
        } else if (arg == "--cmdline") {
            if (!value(text)) {
                return false;
            }
            options.run.commandLine = text;
            verbatim = true;
        } else if (arg == "--null-cmdline") {
            options.run.commandLine.reset();
            verbatim = true;
        } else if (arg == "--root") {
            if (!value(options.run.root)) {
                return false;
            }
        } else if (arg == "--module") {
            if (!value(options.modulePath)) {
                return false;
            }
        } else if (arg == "--close-usage") {
            options.run.user.closeUsage = true;
        } else if (arg == "--launch") {
            options.run.user.launch = true;
        } else if (arg == "--keep-open") {
            options.run.user.keepOpen = true;
        } else if (arg == "--hide-launchpad") {
            options.run.layout.hidden = true;
        } else if (arg == "--without") {
            if (!value(text) || !ParseNumber(text, number) || !model::IsDrivenControl(number)) {
                error = "--without takes 1000, 1001, 1088 or 1090";
                return false;
            }
            options.run.layout.without.insert(number);
        } else if (arg == "--page-offset") {
            if (!value(text) || !ParseNumber(text, number) || number < 1 || number > 100) {
                error = "--page-offset takes a number from 1 to 100";
                return false;
            }
            options.run.layout.pageOffset = number;
        } else if (arg == "--refuse-selection") {
            options.run.layout.refuseSelection = true;
        } else if (arg == "--empty-tree") {
            options.run.layout.emptyTree = true;
        } else if (arg == "--foreign-window") {
            options.run.layout.foreignWindow = true;
        } else if (arg == "--other-window") {
            options.run.layout.otherWindow = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            // The first word ends the host's options; what follows is Orbiter's command line.
            firstWord = i;
            break;
        }
    }
    if (verbatim && firstWord < args.size()) {
        error = "give Orbiter's command line either as WORDs or with --cmdline, not both";
        return false;
    }
    if (!verbatim) {
        options.firstWord = firstWord;
        options.run.commandLine = WindowsCommandLine(
            std::vector<std::string>(args.begin() + static_cast<long>(firstWord), args.end()));
    }
    return true;
}

std::string WindowsCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty()) {
            line += ' ';
        }
        const bool quoted = word.empty() || word.find_first_of(" \t") != std::string::npos;
        if (quoted) {
            line += '"';
        }
        std::size_t backslashes = 0;
        for (const char c : word) {
            if (c == '"') {
                line.append(backslashes + 1, '\\');
            }
            backslashes = c == '\\' ? backslashes + 1 : 0;
            line += c;
        }
        if (quoted) {
            line.append(backslashes, '\\');
            line += '"';
        }
    }
    return line;
}

} // namespace core
