// Fuzzes the whole request: the command line is read, split and applied, and the scenario it
// names is staged over "Scenarios/(Current state).scn" through the simulated back end.
//
// The input is Orbiter's command line, as oapiGetCmdLine returns it (so it ends at the
// first NUL). The runs share one scratch Orbiter folder, made once per process from the
// sample folder plus a few scenarios of our own; it is the current directory throughout.
#include "frame/module_state.h"
#include "launchpad/locator.h"
#include "request/launch_request.h"
#include "sim/desktop.h"
#include "sim/launchpad_window.h"
#include "sim/orbiter_api.h"
#include "sim/windows_path.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Tree Snapshot() {
    Tree tree;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(".")) {
        Entry entry;
        entry.folder = item.is_directory();
        entry.permissions = item.status().permissions();
        if (!entry.folder) {
            entry.bytes = ReadFile(item.path());
        }
        tree[item.path().lexically_relative(".").string()] = entry;
    }
    return tree;
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
    scratch->before = Snapshot();
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
    const fs::path path = sim::ToLinuxPath(source);
    const std::string absolute = fs::absolute(path).lexically_normal().string();
    const bool outside = absolute.rfind(scratch->folder + "/", 0) != 0;
    return outside && path.is_absolute() && ReadFile(path) == bytes;
}

void RestoreStaged() {
    const Entry& original = scratch->before.at(STAGED);
    std::ofstream(STAGED, std::ios::binary | std::ios::trunc) << original.bytes;
    fs::permissions(STAGED, original.permissions);
}

} // namespace

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

    // Buffers of exactly the module's size, so that AddressSanitizer sees an overflow.
    // Stale bytes in the work buffer must never reach the copy.
    std::vector<char> work(PATH_BUFFER_SIZE, 'W');
    work.back() = '\0';
    std::vector<char> request(PATH_BUFFER_SIZE, '\0');
    const bool applied = ApplyCommandLine(work.data(), request.data());
    const bool copied = applied && CopyScenario(work.data(), request.data());
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
        Violation("CopyScenario returned " + std::string(copied ? "true" : "false") +
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

    const Tree after = Snapshot();
    const Entry& was = scratch->before.at(STAGED);
    const auto staged = after.find(STAGED);
    if (staged == after.end() || staged->second.folder) {
        Violation("the staged scenario is gone or is no longer a file");
    }
    if (!copied && !(staged->second == was)) {
        Violation("the copy failed, yet the staged scenario changed");
    }
    // The source as the trace gives it: from after `copy: "` to `" -> "` (tokens hold no quote).
    const std::string source =
        copies.empty() ? "" : copies[0].substr(7, copies[0].find("\" -> \"") - 7);
    if (copied && !AllowedStagedBytes(staged->second.bytes, source)) {
        Violation("the staged scenario is not byte for byte one of the scenario files (" +
                  copies[0] + ")");
    }
    for (const auto& [name, entry] : after) {
        const auto old = scratch->before.find(name);
        if (name != STAGED && (old == scratch->before.end() || !(old->second == entry))) {
            Violation("\"" + name + "\" " +
                      (old == scratch->before.end() ? "appeared" : "changed") +
                      "; only the staged scenario may change");
        }
    }
    if (after.size() != scratch->before.size()) {
        Violation("a file or folder of the scratch Orbiter folder disappeared");
    }
    if (!(staged->second == was)) {
        RestoreStaged();
    }
    return 0;
}
