// The command line both hosts take, and the usage text that describes it.
#pragma once

#include "testbed/hosts/core/run_options.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace core {

struct HostOptions {
    RunOptions run;
    std::string modulePath; // empty: the modules Orbiter.cfg lists
    // Where Orbiter's command line begins among the arguments when it is given as words (the
    // number of arguments when there are none); nullopt when --cmdline or --null-cmdline gave it.
    std::optional<std::size_t> firstWord;
    bool help = false; // --help stood among the options: print the usage and end with 0
};

// Parses the arguments after the program name. On an error, returns false and says why; --help
// among the options ends the parse with `help` set, whatever follows. Words become Orbiter's
// command line as Windows hands it over when a program is started with them from Linux through
// Wine (WindowsCommandLine).
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error);

// The command line Wine builds from a program's words: a word with a blank or a tab, or an empty
// one, in double quotes; a quote escaped with a backslash, and the backslashes before it doubled;
// the backslashes before a closing quote doubled. The C run-time's argv gives the words back.
std::string WindowsCommandLine(const std::vector<std::string>& words);

// The usage text of the host PROGRAM, which loads the modules Orbiter.cfg lists from
// Modules<separator>Plugin<separator>NAME<extension>.
std::string HostUsage(const std::string& program, char separator, const std::string& extension);

} // namespace core
