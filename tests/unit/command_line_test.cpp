// The tokenizer: tokens, the input buffer cut in place, and what it allocates and releases.
#include "request/command_line.h"
#include "sim_fixture.h"

#include <cstring>

namespace {

struct SplitCase {
    std::string input;
    std::vector<std::string> tokens;
    std::string bufferAfter; // the input buffer read as a string afterwards
};

void PrintTo(const SplitCase& row, std::ostream* out) {
    *out << '[' << row.input << ']';
}

class SplitTest : public SimTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, CutsTheLineIntoTokens) {
    const SplitCase& row = GetParam();
    std::vector<char> buffer(row.input.begin(), row.input.end());
    buffer.push_back('\0');
    char** tokens = nullptr;

    const std::int32_t count = SplitCommandLine(buffer.data(), tokens, 0);

    ASSERT_EQ(count, static_cast<std::int32_t>(row.tokens.size()));
    EXPECT_EQ(tokens == nullptr, count == 0);
    for (std::int32_t i = 0; i < count; ++i) {
        EXPECT_EQ(tokens[i], row.tokens[static_cast<std::size_t>(i)]) << "token " << i;
    }
    EXPECT_EQ(std::string(buffer.data()), row.bufferAfter);
    ReleaseTokens(tokens, count);
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTest,
    ::testing::Values(
        SplitCase{"", {}, ""}, SplitCase{"   ", {}, ""}, SplitCase{"a b", {"a", "b"}, "a"},
        SplitCase{"a\tb", {"a", "b"}, "a"}, SplitCase{"  a   b  ", {"a", "b"}, ""},
        SplitCase{"\"a b\" d", {"a b", "d"}, ""}, SplitCase{"x\"y z\"w", {"x", "y z", "w"}, "x"},
        SplitCase{"\"a b", {"a b"}, ""}, SplitCase{"\"\"", {}, ""},
        SplitCase{"a\"\"b", {"a", "b"}, "a"},
        SplitCase{"-pe \"Scenarios\\My Flight\"", {"-pe", "Scenarios\\My Flight"}, "-pe"},
        SplitCase{"a\r\nb", {"a\r\nb"}, "a\r\nb"},
        // No escape character: a backslash before a quote is an ordinary byte.
        SplitCase{"a\\\" b", {"a\\", " b"}, "a\\"},
        SplitCase{"\xC3\xA9t\xE9 \x80", {"\xC3\xA9t\xE9", "\x80"}, "\xC3\xA9t\xE9"}));

TEST_F(SimTest, SecondCallReleasesTheFirstCallsTokens) {
    char first[] = "one two three";
    char** tokens = nullptr;
    std::int32_t count = SplitCommandLine(first, tokens, 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 4); // three strings and the array

    char second[] = "four";
    count = SplitCommandLine(second, tokens, count);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(tokens[0], "four");
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 2);

    char empty[] = "";
    count = SplitCommandLine(empty, tokens, count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tokens, nullptr);
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
}

TEST_F(SimTest, PreviousCountOfZeroLeavesTheEarlierArrayAlone) {
    char first[] = "a b";
    char** earlier = nullptr;
    const std::int32_t earlierCount = SplitCommandLine(first, earlier, 0);
    char** tokens = earlier;
    char second[] = "c";
    const std::int32_t count = SplitCommandLine(second, tokens, 0);
    EXPECT_STREQ(earlier[1], "b"); // still there: ASan would report a use after release
    ReleaseTokens(tokens, count);
    ReleaseTokens(earlier, earlierCount);
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
}

TEST_F(SimTest, RunningOutOfMemoryReleasesEverythingAndSaysSo) {
    const char line[] = "-p \"Scenarios\\Demo Flight\" -e";
    // Fail the first allocation, then the second, and so on, until the split succeeds: a
    // correct split makes 8 allocations (first node, a string and a node per token, array).
    const int needed = 1 + 2 * 3 + 1;
    bool succeeded = false;
    for (int allowed = 0; allowed <= needed + 1 && !succeeded; ++allowed) {
        sim::TheDesktop().faults.failAllocationAfter = allowed;
        char buffer[sizeof line];
        std::memcpy(buffer, line, sizeof line);
        char** tokens = nullptr;
        const std::int32_t count = SplitCommandLine(buffer, tokens, 0);
        if (count == 3) {
            EXPECT_EQ(allowed, needed);
            ReleaseTokens(tokens, count);
            succeeded = true;
            continue;
        }
        EXPECT_EQ(count, -1) << "with " << allowed << " allocations allowed";
        EXPECT_EQ(tokens, nullptr);
        EXPECT_EQ(sim::TheDesktop().liveAllocations, 0) << "with " << allowed << " allowed";
    }
    EXPECT_TRUE(succeeded) << "no split succeeded with up to " << needed + 1 << " allocations";
}

} // namespace
