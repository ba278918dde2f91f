// Cuts Orbiter's command line into tokens: blank- or tab-separated words, with double
// quotes grouping words that contain blanks. No escape character; knows nothing of options.
#pragma once

#include <cstddef>
#include <cstdint>

// One token on its way into the result array: the token's heap copy and the next node.
struct TokenNode {
    char* text;
    TokenNode* next;
};

// Splits `text` in place: a NUL is written where each token closes, so afterwards `text`
// reads as its first token, or as empty when it began with a delimiter. On return `tokens`
// refers to an array of exactly `count` separately allocated copies (null when there are
// none), which the caller owns. When `tokens` is not null and `previousCount` is above 0,
// the earlier strings (last to first) and array are released first.
//
// When memory runs out, everything this call allocated is released and the result is -1
// with a null array: a half-split line could drop the scenario and keep only its options,
// so the caller treats it as a line that yields no scenario at all.
std::int32_t SplitCommandLine(char* text, char**& tokens, std::int32_t previousCount);

// Releases an array that SplitCommandLine returned, strings last to first, then the array.
void ReleaseTokens(char** tokens, std::int32_t count);
