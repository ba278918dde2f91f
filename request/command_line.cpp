#include "request/command_line.h"

#include "platform/platform.h"

#include <cstring>

namespace {

// The state of one running SplitCommandLine call.
struct TokenScan {
    char* text;
    std::size_t start;
    std::int32_t count;
    TokenNode* first;
    TokenNode* last; // always an empty node, waiting for the next token
    bool outOfMemory;
};

TokenNode* NewNode() {
    auto* node = static_cast<TokenNode*>(platform::AllocateMemory(sizeof(TokenNode)));
    if (node != nullptr) {
        node->text = nullptr;
        node->next = nullptr;
    }
    return node;
}

// Closes the token that runs from scan.start up to `position`, if it is not empty.
void EmitToken(TokenScan& scan, std::size_t position) {
    scan.text[position] = '\0';
    if (scan.start < position && !scan.outOfMemory) {
        const std::size_t length = position - scan.start;
        auto* copy = static_cast<char*>(platform::AllocateMemory(length + 1));
        TokenNode* next = copy != nullptr ? NewNode() : nullptr;
        if (next == nullptr) {
            platform::ReleaseMemory(copy);
            scan.outOfMemory = true;
        } else {
            std::memcpy(copy, scan.text + scan.start, length + 1);
            scan.last->text = copy;
            scan.last->next = next;
            scan.last = next;
            ++scan.count;
        }
    }
    scan.start = position + 1;
}

void ReleaseList(TokenNode* node) {
    while (node != nullptr) {
        TokenNode* next = node->next;
        platform::ReleaseMemory(node->text);
        platform::ReleaseMemory(node);
        node = next;
    }
}

} // namespace

void ReleaseTokens(char** tokens, std::int32_t count) {
    if (tokens == nullptr || count <= 0) {
        return;
    }
    for (std::int32_t i = count - 1; i >= 0; --i) {
        platform::ReleaseMemory(tokens[i]);
    }
    platform::ReleaseMemory(tokens);
}

std::int32_t SplitCommandLine(char* text, char**& tokens, std::int32_t previousCount) {
    ReleaseTokens(tokens, previousCount);
    tokens = nullptr;

    TokenScan scan = {text, 0, 0, NewNode(), nullptr, false};
    if (scan.first == nullptr) {
        return -1;
    }
    scan.last = scan.first;
    const std::size_t length = std::strlen(text);
    bool inQuote = false;
    for (std::size_t i = 0; i < length; ++i) {
        const char byte = text[i];
        if ((byte == ' ' || byte == '\t') && !inQuote) {
            EmitToken(scan, i);
        } else if (byte == '"') {
            // A quote always closes the token before it, inside or outside quotes.
            EmitToken(scan, i);
            inQuote = !inQuote;
        }
    }
    EmitToken(scan, length);

    if (scan.count > 0 && !scan.outOfMemory) {
        tokens = static_cast<char**>(
            platform::AllocateMemory(static_cast<std::size_t>(scan.count) * sizeof(char*)));
        scan.outOfMemory = tokens == nullptr;
    }
    if (scan.outOfMemory) {
        ReleaseList(scan.first);
        return -1;
    }
    // Move each token into the array, releasing each node as the walk passes it.
    std::int32_t index = 0;
    for (TokenNode* node = scan.first; node != scan.last;) {
        TokenNode* next = node->next;
        tokens[index++] = node->text;
        platform::ReleaseMemory(node);
        node = next;
    }
    platform::ReleaseMemory(scan.last);
    return scan.count;
}
