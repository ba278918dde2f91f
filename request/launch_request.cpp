#include "request/launch_request.h"

#include "frame/module_state.h"
#include "platform/platform.h"
#include "request/command_line.h"

#include <cstdio>
#include <cstring>

namespace {

const char STAGING_FORMAT[] = "Scenarios\\%s.scn";
const char STAGING_NAME[] = "(Current state)";
const char SCENARIO_EXTENSION[] = ".scn";

void ApplyOptionLetters(const char* letters) {
    for (const char* letter = letters; *letter != '\0'; ++letter) {
        switch (*letter) {
        case 'e':
        case 'E':
            moduleState.exitAfterShutdown = 1;
            break;
        case 'p':
        case 'P':
            platform::SendMessageA(moduleState.pausedCheck, BM_SETCHECK_MSG, BST_CHECKED_STATE, 0);
            break;
        case 'x':
        case 'X':
            moduleState.exitIfMissing = 1;
            break;
        default:
            break; // other letters, a second minus sign included, mean nothing
        }
    }
}

// Appends ".scn" when the last path component has no dot and the path has a separator.
// False when the extension is due but would not fit.
bool CompleteExtension(char* path) {
    const std::size_t length = std::strlen(path);
    for (std::size_t i = length; i-- > 0;) {
        if (path[i] == '.') {
            return true;
        }
        if (path[i] == '\\' || path[i] == '/') {
            if (length + sizeof SCENARIO_EXTENSION > PATH_BUFFER_SIZE) {
                return false;
            }
            std::memcpy(path + length, SCENARIO_EXTENSION, sizeof SCENARIO_EXTENSION);
            return true;
        }
    }
    return true; // a bare name, or an empty path, is used as it is
}

} // namespace

bool ApplyCommandLine(char* workBuffer, char* requestBuffer) {
    const char* line = oapiGetCmdLine();
    if (line == nullptr) {
        line = "";
    }
    const std::size_t length = strnlen(line, PATH_BUFFER_SIZE);
    if (length >= PATH_BUFFER_SIZE) {
        return false; // cutting the line could turn its last path into another file's
    }
    std::memcpy(workBuffer, line, length + 1);

    char** tokens = nullptr;
    const std::int32_t count = SplitCommandLine(workBuffer, tokens, 0);
    if (count < 0) {
        return false;
    }
    if (count == 0) {
        moduleState.reportMissing = 0;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        if (tokens[i][0] == '-') {
            ApplyOptionLetters(tokens[i] + 1);
        } else {
            // Every token came out of the work buffer, so it fits in the request buffer.
            std::memcpy(requestBuffer, tokens[i], std::strlen(tokens[i]) + 1);
        }
    }
    ReleaseTokens(tokens, count);
    return true;
}

bool StageScenario(char* workBuffer, char* requestBuffer) {
    const std::uint32_t longLength = platform::GetLongPathNameA(
        requestBuffer, workBuffer, static_cast<std::uint32_t>(PATH_BUFFER_SIZE));
    if (longLength == 0 || longLength >= PATH_BUFFER_SIZE) {
        // No long form, or one that does not fit: the request as it was given.
        std::memcpy(workBuffer, requestBuffer, std::strlen(requestBuffer) + 1);
    }
    if (!CompleteExtension(workBuffer)) {
        return false;
    }
    const int staged = std::snprintf(requestBuffer, PATH_BUFFER_SIZE, STAGING_FORMAT, STAGING_NAME);
    if (staged < 0 || static_cast<std::size_t>(staged) >= PATH_BUFFER_SIZE) {
        return false;
    }
    // A request for the staging file itself, however spelled, is staged as it stands: a file
    // cannot be copied onto itself, and that would make an existing scenario count as missing.
    if (platform::IsSameFile(workBuffer, requestBuffer)) {
        return true;
    }
    return platform::CopyFileA(workBuffer, requestBuffer, false);
}
