#include "raw_command_line.h"

namespace host {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<RawWord> SplitRawCommandLine(const std::string& line) {
    std::size_t at = 0;
    // The program's path: within quotes up to the closing one, else up to the first blank.
    if (!line.empty() && line[0] == '"') {
        const std::size_t closing = line.find('"', 1);
        at = closing == std::string::npos ? line.size() : closing + 1;
    }
    while (at < line.size() && !IsBlank(line[at])) {
        ++at;
    }
    std::vector<RawWord> words;
    for (;;) {
        while (at < line.size() && IsBlank(line[at])) {
            ++at;
        }
        if (at >= line.size()) {
            return words;
        }
        RawWord word{"", at};
        bool quoted = false;
        std::size_t backslashes = 0;
        for (; at < line.size() && (quoted || !IsBlank(line[at])); ++at) {
            const char c = line[at];
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            word.text.append(c == '"' ? backslashes / 2 : backslashes, '\\');
            if (c == '"' && backslashes % 2 == 0) {
                quoted = !quoted;
            } else {
                word.text += c;
            }
            backslashes = 0;
        }
        word.text.append(backslashes, '\\');
        words.push_back(word);
    }
}

} // namespace host
