// Fuzzes SplitCommandLine: on every line, checks the properties the tokenizer promises.
//
// The input is a command line: its bytes up to the first NUL, at most MAX_LINE of them.
// Each line is split three times: once from scratch, once more passing the first call's
// array so that the call releases it, and once with memory running out part of the way.
#include "request/command_line.h"
#include "sim/desktop.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Longer than the module's 4,096-byte work buffer, so that lines that do not fit are seen.
constexpr std::size_t MAX_LINE = 8192;

[[noreturn]] void Violation(const std::string& what, const std::string& line) {
    std::fprintf(stderr,
                 "tokenizer_fuzz: PROPERTY VIOLATED: %s\n"
                 "  line (%zu bytes) is the crashing input; libFuzzer saved it as an artifact.\n"
                 "  Replay it with: build/fuzz/tokenizer_fuzz <artifact>\n",
                 what.c_str(), line.size());
    std::abort();
}

bool IsBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

// The number of tokens the line must yield: the non-empty runs between delimiters, where a
// quote is always a delimiter and a blank or tab is one outside quotes.
std::int32_t ExpectedCount(const std::string& line) {
    std::int32_t count = 0;
    bool inQuote = false;
    bool inToken = false;
    for (char byte : line) {
        const bool delimiter = byte == '"' || (IsBlank(byte) && !inQuote);
        if (byte == '"') {
            inQuote = !inQuote;
        }
        if (delimiter) {
            inToken = false;
        } else if (!inToken) {
            inToken = true;
            ++count;
        }
    }
    return count;
}

// For each position of the line, whether a quote is open just before it.
std::vector<bool> QuoteOpenBefore(const std::string& line) {
    std::vector<bool> open(line.size() + 1, false);
    for (std::size_t i = 0; i < line.size(); ++i) {
        open[i + 1] = line[i] == '"' ? !open[i] : open[i];
    }
    return open;
}

// Splits `line` in a buffer of its exact size, so that AddressSanitizer sees any access
// past its NUL, and checks every promise about the tokens and the buffer.
std::int32_t SplitAndCheck(const std::string& line, char**& tokens, std::int32_t previousCount,
                           int baseline) {
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');

    const std::int32_t count = SplitCommandLine(buffer.data(), tokens, previousCount);

    if (count != ExpectedCount(line)) {
        Violation("returned " + std::to_string(count) + " tokens where the line holds " +
                      std::to_string(ExpectedCount(line)),
                  line);
    }
    if ((tokens == nullptr) != (count == 0)) {
        Violation("the array is null exactly when there are no tokens: not so", line);
    }
    // Each token is one allocation and the array another; the previous call's are gone.
    const int expectedLive = baseline + count + (count > 0 ? 1 : 0);
    if (sim::TheDesktop().liveAllocations != expectedLive) {
        Violation(std::to_string(sim::TheDesktop().liveAllocations - baseline) +
                      " module allocations live after the split, expected " +
                      std::to_string(expectedLive - baseline) +
                      " (the earlier tokens are released, the new ones kept)",
                  line);
    }

    // Each token is a run of the line, in order, without overlap. The earliest run that
    // fits is taken, so a correct split is always found.
    const std::vector<bool> quoted = QuoteOpenBefore(line);
    std::size_t from = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string token = tokens[i];
        const std::string label = "token " + std::to_string(i) + " ";
        if (token.empty()) {
            Violation(label + "is empty", line);
        }
        if (token.find('"') != std::string::npos) {
            Violation(label + "contains a double quote", line);
        }
        const bool hasBlank = token.find_first_of(" \t") != std::string::npos;
        std::size_t at = line.find(token, from);
        while (at != std::string::npos && hasBlank && !quoted[at]) {
            at = line.find(token, at + 1);
        }
        if (at == std::string::npos) {
            Violation(label + (hasBlank ? "holds a blank or tab outside quotes, or " : "") +
                          "is not a run of the line after the token before it",
                      line);
        }
        from = at + token.size();
    }

    // The buffer is cut where the first token closes, or is empty when the line began
    // with a delimiter.
    const std::string after = buffer.data();
    const bool beginsWithToken = !line.empty() && line[0] != '"' && !IsBlank(line[0]);
    if (beginsWithToken ? (count == 0 || after != tokens[0]) : !after.empty()) {
        Violation("the buffer afterwards reads \"" + after + "\", not " +
                      (beginsWithToken ? "the first token" : "empty"),
                  line);
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t length =
        strnlen(reinterpret_cast<const char*>(data), std::min(size, MAX_LINE));
    const std::string line(reinterpret_cast<const char*>(data), length);
    sim::Desktop& desktop = sim::TheDesktop();
    desktop.faults.failAllocationAfter = -1;
    const int baseline = desktop.liveAllocations;

    char** tokens = nullptr;
    const std::int32_t first = SplitAndCheck(line, tokens, 0, baseline);

    // A second call on another line (the second half of this one) releases the first
    // call's strings and array; AddressSanitizer reports a double or foreign release.
    const std::string tail = line.substr(line.size() / 2);
    const std::int32_t second = SplitAndCheck(tail, tokens, first, baseline);

    // Memory runs out after `allowed` allocations, fewer than the split needs: the call
    // releases the second call's tokens, then everything of its own, and says so.
    const int needed = 1 + 2 * first + (first > 0 ? 1 : 0);
    const int allowed = static_cast<int>(std::hash<std::string>()(line) % needed);
    desktop.faults.failAllocationAfter = allowed;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    const std::int32_t failed = SplitCommandLine(buffer.data(), tokens, second);
    desktop.faults.failAllocationAfter = -1;
    if (failed != -1 || tokens != nullptr) {
        Violation("with memory running out after " + std::to_string(allowed) + " of " +
                      std::to_string(needed) + " allocations the split returned " +
                      std::to_string(failed) + (tokens != nullptr ? " and an array" : "") +
                      ", expected -1 and no array",
                  line);
    }
    if (desktop.liveAllocations != baseline) {
        Violation(std::to_string(desktop.liveAllocations - baseline) +
                      " module allocations left after running out of memory",
                  line);
    }
    return 0;
}
