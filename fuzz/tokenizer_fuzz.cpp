// Fuzzes SplitCommandLine: on every line, checks the properties the tokenizer promises.
//
// The input is a command line: its bytes up to the first NUL, at most MAX_LINE of them.
// Each line is split three times: once from scratch, once more passing the first call's
// array so that the call releases it, and once with memory running out part of the way.
//
// Every check is linear in the line's length and allocates nothing of its own per run, so
// that the fuzzer's time goes to the tokenizer rather than to the checks.
#include "request/command_line.h"
#include "testbed/desktop/desktop.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Longer than the module's 4,096-byte work buffer, so that lines that do not fit are seen.
constexpr std::size_t MAX_LINE = 8192;

[[noreturn]] void Violation(const std::string& what, std::string_view line) {
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

// Where one expected token lies in the line: [begin, end).
struct Span {
    std::size_t begin;
    std::size_t end;
};

// The tokens the line must yield, in order: the non-empty runs between delimiters, where a
// quote is always a delimiter and a blank or tab is one outside quotes. `spans` is reused
// from run to run, so that it is allocated only while lines grow.
void ExpectedTokens(std::string_view line, std::vector<Span>& spans) {
    spans.clear();
    bool inQuote = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char byte = line[i];
        if (byte == '"' || (IsBlank(byte) && !inQuote)) {
            if (start < i) {
                spans.push_back({start, i});
            }
            start = i + 1;
        }
        if (byte == '"') {
            inQuote = !inQuote;
        }
    }
    if (start < line.size()) {
        spans.push_back({start, line.size()});
    }
}

// Splits `line` in a buffer of its exact size, so that AddressSanitizer sees any access
// past its NUL, and checks every promise about the tokens and the buffer.
std::int32_t SplitAndCheck(std::string_view line, char**& tokens, std::int32_t previousCount,
                           int baseline) {
    static std::vector<Span> expected;
    ExpectedTokens(line, expected);
    const auto expectedCount = static_cast<std::int32_t>(expected.size());

    const std::unique_ptr<char[]> buffer(new char[line.size() + 1]);
    std::memcpy(buffer.get(), line.data(), line.size());
    buffer[line.size()] = '\0';

    const std::int32_t count = SplitCommandLine(buffer.get(), tokens, previousCount);

    if (count != expectedCount) {
        Violation("returned " + std::to_string(count) + " tokens where the line holds " +
                      std::to_string(expectedCount),
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

    // Each token is exactly its run of the line: non-empty, without a quote, with blanks or
    // tabs only inside quotes, in order and without overlap. strlen reads the token's own
    // allocation, so AddressSanitizer reports a token that is not terminated inside it.
    for (std::int32_t i = 0; i < count; ++i) {
        const Span& span = expected[static_cast<std::size_t>(i)];
        const std::string_view want = line.substr(span.begin, span.end - span.begin);
        const std::string_view got(tokens[i], std::strlen(tokens[i]));
        if (got != want) {
            Violation("token " + std::to_string(i) + " reads \"" + std::string(got) +
                          "\", not its run of the line \"" + std::string(want) + "\" (bytes " +
                          std::to_string(span.begin) + " to " + std::to_string(span.end) + ")",
                      line);
        }
    }

    // The buffer is cut where the first token closes, or is empty when the line began
    // with a delimiter.
    const bool beginsWithToken = !line.empty() && line[0] != '"' && !IsBlank(line[0]);
    const char* after = buffer.get();
    if (beginsWithToken ? (count == 0 || std::strcmp(after, tokens[0]) != 0) : *after != '\0') {
        Violation("the buffer afterwards reads \"" + std::string(after) + "\", not " +
                      (beginsWithToken ? "the first token" : "empty"),
                  line);
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t length =
        strnlen(reinterpret_cast<const char*>(data), std::min(size, MAX_LINE));
    const std::string_view line(reinterpret_cast<const char*>(data), length);
    sim::Desktop& desktop = sim::TheDesktop();
    desktop.faults.failAllocationAfter = -1;
    const int baseline = desktop.liveAllocations;

    char** tokens = nullptr;
    const std::int32_t first = SplitAndCheck(line, tokens, 0, baseline);

    // A second call on another line (the second half of this one) releases the first
    // call's strings and array; AddressSanitizer reports a double or foreign release.
    const std::string_view tail = line.substr(line.size() / 2);
    const std::int32_t second = SplitAndCheck(tail, tokens, first, baseline);

    // Memory runs out after `allowed` allocations, fewer than the split needs: the call
    // releases the second call's tokens, then everything of its own, and says so.
    const int needed = 1 + 2 * first + (first > 0 ? 1 : 0);
    const int allowed = static_cast<int>(std::hash<std::string_view>()(line) % needed);
    desktop.faults.failAllocationAfter = allowed;
    const std::unique_ptr<char[]> buffer(new char[line.size() + 1]);
    std::memcpy(buffer.get(), line.data(), line.size());
    buffer[line.size()] = '\0';
    const std::int32_t failed = SplitCommandLine(buffer.get(), tokens, second);
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
