// Fuzzes the whole request: the command line is read, split and applied, and the scenario it
// names is staged over "Scenarios/(Current state).scn" through the simulated back end.
//
// The input is Orbiter's command line, as oapiGetCmdLine returns it (so it ends at the
// first NUL). The runs share one scratch Orbiter folder, made once per process from the
// sample folder plus a few scenarios of our own; it is the current directory throughout.
// After every run the whole folder is read back and compared, byte for byte, with how it
// was made. That read is most of a run's work, so it uses plain system calls: streams and
// std::filesystem iterators cost several times more than the calls themselves.
#include "frame/module_state.h"
#include "launchpad/locator.h"
#include "request/launch_request.h"
#include "testbed/desktop/desktop.h"
#include "testbed/desktop/launchpad_window.h"
#include "testbed/hosts/orbiter-sim/orbiter_api.h"
#include "testbed/sim-platform/windows_path.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char STAGED[] = "Scenarios/(Current state).scn";
constexpr std::uint32_t PROCESS_ID = 4242;

// One entry of the scratch folder: a folder, or a file with its permission bits and bytes.
struct Entry {
    bool folder = false;
    fs::perms permissions = fs::perms::none;
    std::string bytes;
    bool operator==(const Entry& other) const {
        return folder == other.folder && permissions == other.permissions && bytes == other.bytes;
    }
};
using Tree = std::map<std::string, Entry>;

// Replaces `bytes` with the rest of the open file; their buffer is reused. A read of a
// regular file that returns less than it asked for has reached the end, which saves the
// second call per file that would only return 0.
void ReadAll(int file, bool regular, std::string& bytes) {
    bytes.clear();
    char chunk[1 << 12];
    ssize_t got = 0;
    while ((got = read(file, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (regular && static_cast<std::size_t>(got) < sizeof chunk) {
            break;
        }
    }
}

// The whole file's bytes; empty when it cannot be read.
std::string ReadFile(const char* path) {
    std::string bytes;
    const int file = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file >= 0) {
        ReadAll(file, false, bytes);
        close(file);
    }
    return bytes;
}

// Calls visit(name, entry) for every entry below the open folder `folder`: `name` is its
// path relative to the scratch folder. Both are reused from entry to entry, so that a walk
// allocates nothing once their buffers have grown (opendir alone would allocate 32 KiB per
// folder). Symbolic links are followed for the entry itself, but not walked into.
template <typename Visit> void Walk(int folder, std::string& name, Entry& entry, Visit& visit) {
    alignas(dirent64) char listing[1 << 12];
    ssize_t got = 0;
    while ((got = getdents64(folder, listing, sizeof listing)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* item = reinterpret_cast<const dirent64*>(listing + at);
            at += item->d_reclen;
            if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) {
                continue;
            }
            const std::size_t length = name.size();
            name.append(length == 0 ? "" : "/").append(item->d_name);
            entry.folder = false;
            entry.permissions = fs::perms::none;
            entry.bytes.clear();
            const int child = openat(folder, item->d_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            struct stat status;
            if (child >= 0 && fstat(child, &status) == 0) {
                entry.folder = S_ISDIR(status.st_mode);
                entry.permissions = static_cast<fs::perms>(status.st_mode & 07777);
                if (!entry.folder) {
                    ReadAll(child, S_ISREG(status.st_mode), entry.bytes);
                }
            }
            visit(static_cast<const std::string&>(name), static_cast<const Entry&>(entry));
            if (entry.folder && item->d_type != DT_LNK) {
                Walk(child, name, entry, visit);
            }
            if (child >= 0) {
                close(child);
            }
            name.resize(length);
        }
    }
}

// Walks the current directory, the scratch folder.
template <typename Visit> void WalkScratch(Visit visit) {
    static std::string name;
    static Entry entry;
    const int folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        std::perror("request_fuzz: cannot read the scratch folder");
        std::exit(1);
    }
    name.clear();
    Walk(folder, name, entry, visit);
    close(folder);
}

struct Scratch {
    std::string folder;
    Tree before;
    std::set<std::string> scenarios; // the bytes of every file in the folder
};

Scratch* scratch = nullptr;

void RemoveScratch() {
    if (scratch != nullptr) {
        std::error_code ignored;
        fs::current_path("/", ignored);
        fs::remove_all(scratch->folder, ignored);
    }
}

void MakeScratch() {
    std::string pattern = (fs::temp_directory_path() / "skarvel-fuzz-request-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("request_fuzz: cannot make a scratch folder under the temporary folder");
        std::exit(1);
    }
    scratch = new Scratch{pattern, {}, {}};
    std::atexit(RemoveScratch);
    fs::copy(SAMPLE_ORBITER, scratch->folder, fs::copy_options::recursive);
    fs::current_path(scratch->folder);
    // Names that the command-line seeds reach: a leading minus sign, another extension,
    // two bare names, a blank in a name.
    const std::map<std::string, std::string> extra = {
        {"-demo.scn", "BEGIN_DESC\nA scenario whose name begins with a minus sign\nEND_DESC\n"},
        {"Demo.txt", "BEGIN_DESC\nA scenario with another extension\nEND_DESC\n"},
        {"a.scn", "BEGIN_DESC\nScenario a\nEND_DESC\n"},
        {"b.scn", "BEGIN_DESC\nScenario b\nEND_DESC\n"},
        {"Scenarios/My Flight.scn", "BEGIN_DESC\nA name with a blank\nEND_DESC\n"},
    };
    for (const auto& [name, bytes] : extra) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    WalkScratch([](const std::string& name, const Entry& entry) { scratch->before[name] = entry; });
    for (const auto& [name, entry] : scratch->before) {
        if (!entry.folder) {
            scratch->scenarios.insert(entry.bytes);
        }
    }
    std::fprintf(stderr, "request_fuzz: scratch Orbiter folder %s with %zu files\n",
                 scratch->folder.c_str(), scratch->scenarios.size());
}

[[noreturn]] void Violation(const std::string& what) {
    std::fprintf(stderr,
                 "request_fuzz: PROPERTY VIOLATED: %s\n"
                 "  The crashing input is the command line; libFuzzer saved it as an artifact.\n"
                 "  Replay it with: build/fuzz/request_fuzz <artifact>\n",
                 what.c_str());
    std::abort();
}

// The staged file's bytes are allowed when they are those of a file of the scratch folder,
// or of the copied file itself when the line named one outside it by an absolute path
// (copying that is what the user asked for).
bool AllowedStagedBytes(const std::string& bytes, const std::string& source) {
    if (scratch->scenarios.count(bytes) != 0) {
        return true;
    }
    std::string found;
    struct stat ignored;
    sim::FindWindowsPath(source, found, ignored);
    const fs::path path = found;
    const std::string absolute = fs::absolute(path).lexically_normal().string();
    const bool outside = absolute.rfind(scratch->folder + "/", 0) != 0;
    return outside && path.is_absolute() && ReadFile(path.c_str()) == bytes;
}

void RestoreStaged() {
    // A new file, as the copy may have left a read-only one in its place.
    const Entry& original = scratch->before.at(STAGED);
    unlink(STAGED);
    const int file = open(STAGED, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool restored = file >= 0 &&
                          write(file, original.bytes.data(), original.bytes.size()) ==
                              static_cast<ssize_t>(original.bytes.size()) &&
                          fchmod(file, static_cast<mode_t>(original.permissions)) == 0;
    if (file >= 0) {
        close(file);
    }
    if (!restored) {
        std::perror("request_fuzz: cannot restore the staged scenario of the scratch folder");
        std::exit(1);
    }
}

} // namespace

// The target works inside its scratch folder, so the paths it is given (corpus folders, inputs
// to replay, where to save failing inputs) are made absolute first, while they still mean what
// the caller meant.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<std::string> absolute;
    absolute.reserve(static_cast<std::size_t>(*argc));
    for (int i = 1; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        std::size_t value = 0; // where the path begins in the argument
        if (arg.rfind("-artifact_prefix=", 0) == 0 || arg.rfind("-exact_artifact_path=", 0) == 0 ||
            arg.rfind("-dict=", 0) == 0) {
            value = arg.find('=') + 1;
        } else if (!arg.empty() && arg[0] == '-') {
            continue; // another flag
        }
        if (value < arg.size() && arg[value] != '/') {
            arg = arg.substr(0, value) + fs::absolute(arg.substr(value)).string();
            absolute.push_back(arg);
            (*argv)[i] = absolute.back().data();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (scratch == nullptr) {
        MakeScratch();
    }
    std::vector<std::string> trace;
    sim::ResetDesktop(PROCESS_ID);
    sim::ResetOrbiter();
    sim::SetTraceSink([&trace](const std::string& line) { trace.push_back(line); });
    moduleState = {};
    moduleState.reportMissing = 1;
    const sim::Launchpad pad = sim::BuildLaunchpad({}, {"(Current state)", "Demo"});
    FindLaunchpad();

    const std::string line(reinterpret_cast<const char*>(data), size);
    sim::TheOrbiter().commandLine = line;
    const std::size_t seen = std::strlen(line.c_str()); // oapiGetCmdLine ends at a NUL

    // Buffers of exactly the module's size, so that AddressSanitizer sees an overflow; made
    // once and refilled on every run. Stale bytes in the work buffer must never reach the copy.
    static std::vector<char> work(PATH_BUFFER_SIZE);
    static std::vector<char> request(PATH_BUFFER_SIZE);
    std::fill(work.begin(), work.end() - 1, 'W');
    work.back() = '\0';
    std::fill(request.begin(), request.end(), '\0');
    const bool applied = ApplyCommandLine(work.data(), request.data());
    const bool copied = applied && StageScenario(work.data(), request.data());
    sim::SetTraceSink(nullptr);

    std::vector<std::string> copies;
    for (const std::string& entry : trace) {
        if (entry.rfind("copy: ", 0) == 0) {
            copies.push_back(entry);
        }
    }
    if (applied != (seen < PATH_BUFFER_SIZE)) {
        Violation("a line of " + std::to_string(seen) + " bytes was " +
                  (applied ? "applied" : "refused") + "; only lines up to " +
                  std::to_string(PATH_BUFFER_SIZE - 1) + " bytes fit the work buffer");
    }
    if (copies.size() > 1 || (!applied && !copies.empty())) {
        Violation(std::to_string(copies.size()) + " copies for one request" +
                  (applied ? "" : " that yielded no scenario"));
    }
    if (!copies.empty() &&
        (copies[0].size() >= 2 && copies[0].substr(copies[0].size() - 2) == "ok") != copied) {
        Violation("StageScenario returned " + std::string(copied ? "true" : "false") +
                  " but the copy was traced as \"" + copies[0] + "\"");
    }
    const sim::Window* check = sim::TheDesktop().Find(pad.pausedCheck);
    const bool paused = check != nullptr && check->checked;
    if (!applied && (paused || moduleState.exitAfterShutdown || moduleState.exitIfMissing)) {
        Violation("an option was applied from a line that yielded no scenario");
    }
    const std::string visible = line.substr(0, seen);
    if ((paused && visible.find_first_of("pP") == std::string::npos) ||
        (moduleState.exitAfterShutdown && visible.find_first_of("eE") == std::string::npos) ||
        (moduleState.exitIfMissing && visible.find_first_of("xX") == std::string::npos)) {
        Violation("an option was applied whose letter is not on the line");
    }
    if (sim::TheDesktop().liveAllocations != 0) {
        Violation(std::to_string(sim::TheDesktop().liveAllocations) +
                  " module allocations were not released");
    }

    // Read the folder back, comparing each entry as it is read; the staged scenario is kept
    // for the checks below, and the first other entry that differs is named.
    static Entry staged;
    bool stagedFound = false;
    std::size_t entries = 0;
    std::string otherChange;
    WalkScratch([&](const std::string& name, const Entry& entry) {
        ++entries;
        if (name == STAGED) {
            staged = entry;
            stagedFound = true;
            return;
        }
        const auto old = scratch->before.find(name);
        if (otherChange.empty() && (old == scratch->before.end() || !(old->second == entry))) {
            otherChange = "\"" + name + "\" " +
                          (old == scratch->before.end() ? "appeared" : "changed") +
                          "; only the staged scenario may change";
        }
    });
    const Entry& was = scratch->before.at(STAGED);
    if (!stagedFound || staged.folder) {
        Violation("the staged scenario is gone or is no longer a file");
    }
    if (!copied && !(staged == was)) {
        Violation("the copy failed, yet the staged scenario changed");
    }
    // The source as the trace gives it: from after `copy: "` to `" -> "` (tokens hold no quote).
    const std::string source =
        copies.empty() ? "" : copies[0].substr(7, copies[0].find("\" -> \"") - 7);
    if (copied && copies.empty() && !(staged == was)) {
        Violation("the scenario was staged as it stood, without a copy, yet the staged scenario "
                  "changed");
    }
    if (copied && !AllowedStagedBytes(staged.bytes, source)) {
        Violation("the staged scenario is not byte for byte one of the scenario files (" +
                  copies[0] + ")");
    }
    if (!otherChange.empty()) {
        Violation(otherChange);
    }
    if (entries != scratch->before.size()) {
        Violation("a file or folder of the scratch Orbiter folder disappeared");
    }
    if (!(staged == was)) {
        RestoreStaged();
    }
    return 0;
}
