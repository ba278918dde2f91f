// Orbiter hands its modules the command line as Windows gave it to the program: the text after the
// program's path, with quotes, backslashes and blanks as typed. The host finds that text in its
// own raw command line, behind its own options.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace host {

struct RawWord {
    std::string text; // the word as the C run-time gives it in argv
    std::size_t at;   // where it begins in the raw command line
};

// The words after the program's path, split as the C run-time splits them into argv: blanks and
// tabs outside double quotes separate words, a quote preceded by an even number of backslashes
// opens or closes a quoted part (half of them stay), one preceded by an odd number is a plain
// quote, and other backslashes are plain.
std::vector<RawWord> SplitRawCommandLine(const std::string& line);

} // namespace host
