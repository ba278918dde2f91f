// orbiter.exe: a Win32 test host that plays Orbiter for the real Skarvel.dll, with real
// windows. It takes orbiter-sim's command line and prints orbiter-sim's trace lines.
#include "extra_windows.h"
#include "orbiter_exports.h"
#include "orbiter_files.h"
#include "orbiter_run.h"
#include "raw_command_line.h"
#include "testbed/hosts/core/host_options.h"
#include "testbed/hosts/core/orbiter_folder.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "trace.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

constexpr int USAGE_STATUS = 2;
constexpr int SETUP_STATUS = 1;
constexpr int HUNG_STATUS = 3;
// Longer than the message loop's own bound: this catches a module stuck inside a call.
constexpr DWORD WATCHDOG_MS = 45000;

// Options of this host only, each with a value, taken out before orbiter-sim's options are read.
const char SNAPSHOT_OPTION[] = "--snapshot-usage";
const char WRITE_OPTION[] = "--write";

// The hosts' usage text, and this host's own options.
std::string Usage() {
    return core::HostUsage("orbiter.exe", '\\', ".dll") +
           "This host only:\n"
           "  --snapshot-usage BMP when the usage dialog opens, measure how its texts fit\n"
           "                      and save a picture of it\n"
           "  --write FILE        at start, write a line into FILE under Orbiter's folder, as a\n"
           "                      plug-in might (FILE need not be one Orbiter writes)\n"
           "Without --cmdline, Orbiter's command line is the raw text of this program's own\n"
           "command line from its first WORD on, as Windows gave it: quotes, backslashes, tabs\n"
           "and runs of blanks as typed.\n";
}

bool SameWords(const std::vector<host::RawWord>& words, int argc, char** argv) {
    if (words.size() != static_cast<std::size_t>(argc - 1)) {
        return false;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i].text != argv[i + 1]) {
            return false;
        }
    }
    return true;
}

bool EnterFolder(const std::string& folder, std::string& reason) {
    if (!SetCurrentDirectoryA(folder.c_str())) {
        reason = "error " + std::to_string(GetLastError());
        return false;
    }
    return true;
}

DWORD WINAPI Watchdog(LPVOID) {
    Sleep(WATCHDOG_MS);
    host::Trace(model::NoEndLine(WATCHDOG_MS / 1000));
    ExitProcess(HUNG_STATUS);
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY); // "\n" line ends, as orbiter-sim prints them
    if (argc == 4 && std::strcmp(argv[1], host::FOREIGN_WINDOW_MODE) == 0) {
        return host::RunForeignWindow(argv[2], std::strtoul(argv[3], nullptr, 10));
    }
    // Orbiter hands its modules its own command line raw, so the host reads its words from the
    // raw text too; the C run-time's argv must agree with where they were found.
    const std::string raw = GetCommandLineA();
    std::vector<host::RawWord> words = host::SplitRawCommandLine(raw);
    if (!SameWords(words, argc, argv)) {
        std::fprintf(stderr,
                     "orbiter.exe: its command line %s splits into other words than argv;\n"
                     "give Orbiter's command line with --cmdline instead\n",
                     raw.c_str());
        return SETUP_STATUS;
    }
    std::string snapshot;
    std::string written;
    for (std::size_t i = 0; i + 1 < words.size() && words[i].text != "--";) {
        std::string* value = words[i].text == SNAPSHOT_OPTION ? &snapshot
                             : words[i].text == WRITE_OPTION  ? &written
                                                              : nullptr;
        if (value == nullptr) {
            ++i;
            continue;
        }
        *value = words[i + 1].text;
        words.erase(words.begin() + static_cast<long>(i), words.begin() + static_cast<long>(i) + 2);
    }
    if (!snapshot.empty()) {
        host::SetUsageSnapshot(snapshot);
    }
    std::vector<std::string> args;
    for (const host::RawWord& word : words) {
        args.push_back(word.text);
    }
    core::HostOptions options;
    std::string error;
    if (!core::ParseHostOptions(args, options, error)) {
        std::fprintf(stderr, "orbiter.exe: %s\n%s", error.c_str(), Usage().c_str());
        return USAGE_STATUS;
    }
    if (options.help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (options.firstWord) {
        options.run.commandLine =
            *options.firstWord < words.size() ? raw.substr(words[*options.firstWord].at) : "";
    }
    const core::HostSystem system{"orbiter.exe", ".dll", '\\', host::FullPath, EnterFolder};
    if (!core::EnterOrbiterFolder(options, system)) {
        return SETUP_STATUS;
    }
    if (!written.empty() && !host::WriteLineInto(written)) {
        std::fprintf(stderr, "orbiter.exe: cannot write into %s\n", written.c_str());
        return SETUP_STATUS;
    }
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    return host::RunOrbiter(options.run);
}
