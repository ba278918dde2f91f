#include "host_run.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The environment's setting, or the default the build gives.
std::string Chosen(const char* variable, const char* fallback) {
    const char* chosen = std::getenv(variable);
    return chosen != nullptr && *chosen != '\0' ? chosen : fallback;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// A host that has not ended by then is killed, so that no run can hang the tests.
constexpr auto HOST_TIME_LIMIT = std::chrono::seconds(120);

// Appends what the descriptor holds now, without waiting; false once it is at its end.
bool ReadAvailable(int descriptor, std::string& text) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else {
            return got < 0 && (errno == EAGAIN || errno == EINTR);
        }
    }
}

// Collects the host's standard output and error until the host itself has ended. It does not
// wait for the pipes' end: processes the host started (under Wine, its desktop and services)
// may hold them open for a while after it is gone. Returns the host's wait status.
int CollectUntilExit(pid_t child, int out, int err, std::string& printed, std::string& errors) {
    fcntl(out, F_SETFL, fcntl(out, F_GETFL) | O_NONBLOCK);
    fcntl(err, F_SETFL, fcntl(err, F_GETFL) | O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + HOST_TIME_LIMIT;
    bool outOpen = true;
    bool errOpen = true;
    int status = 0;
    for (;;) {
        pollfd watched[] = {{outOpen ? out : -1, POLLIN, 0}, {errOpen ? err : -1, POLLIN, 0}};
        poll(watched, 2, 20);
        outOpen = outOpen && ReadAvailable(out, printed);
        errOpen = errOpen && ReadAvailable(err, errors);
        if (waitpid(child, &status, WNOHANG) == child) {
            ReadAvailable(out, printed); // what it wrote just before it ended
            ReadAvailable(err, errors);
            return status;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            errors += "the host did not end within " + std::to_string(HOST_TIME_LIMIT.count()) +
                      " s and was killed\n";
            return status;
        }
    }
}

} // namespace

ScratchOrbiter::ScratchOrbiter() {
    std::string pattern = (fs::temp_directory_path() / "skarvel-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a scratch folder";
        return;
    }
    path_ = pattern;
    fs::copy(SAMPLE_ORBITER, path_, fs::copy_options::recursive);
    // Installed where Orbiter looks for it; the sample's Orbiter.cfg ticks it.
    const fs::path module = Chosen("SKARVEL_MODULE", DEFAULT_MODULE);
    fs::create_directories(fs::path(path_) / "Modules" / "Plugin");
    fs::copy_file(module, fs::path(path_) / "Modules" / "Plugin" / module.filename());
}

ScratchOrbiter::~ScratchOrbiter() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ScratchOrbiter::HostPath() const {
    std::string windows = "Z:" + path_;
    for (char& c : windows) {
        c = c == '/' ? '\\' : c;
    }
    return windows;
}

std::string ScratchOrbiter::Read(const std::string& relative) const {
    std::ifstream in(fs::path(path_) / relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void ScratchOrbiter::Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories((fs::path(path_) / relative).parent_path());
    std::ofstream(fs::path(path_) / relative, std::ios::binary) << bytes;
}

HostRun RunHost(const ScratchOrbiter& folder, const std::vector<std::string>& args) {
    std::vector<std::string> command = SplitWords(Chosen("SKARVEL_HOST", DEFAULT_HOST));
    command.push_back("--root");
    command.push_back(folder.HostPath());
    command.insert(command.end(), args.begin(), args.end());

    int out[2];
    int err[2];
    if (command.size() < 3 || pipe(out) != 0 || pipe(err) != 0) {
        ADD_FAILURE() << "cannot start the host";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        if (chdir(folder.Path().c_str()) != 0) {
            _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    HostRun run;
    std::string printed;
    const auto started = std::chrono::steady_clock::now();
    const int status = CollectUntilExit(child, out[0], err[0], printed, run.errors);
    run.milliseconds = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - started)
                                             .count());
    close(out[0]);
    close(err[0]);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        run.lines.push_back(line);
    }
    return run;
}

std::string Transcript(const HostRun& run) {
    std::string text = (run.signal != 0 ? "ended by signal " + std::to_string(run.signal)
                                        : "exit status " + std::to_string(run.status)) +
                       " after " + std::to_string(run.milliseconds) + " ms, output:\n";
    for (const std::string& line : run.lines) {
        text += "    " + line + "\n";
    }
    text += run.errors.empty() ? "standard error: empty\n" : "standard error:\n" + run.errors;
    return text;
}

::testing::AssertionResult LinesInOrder(const HostRun& run,
                                        const std::vector<std::string>& expected) {
    std::size_t next = 0;
    for (const std::string& line : run.lines) {
        if (next < expected.size() && line == expected[next]) {
            ++next;
        }
    }
    if (next == expected.size()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "missing, in order: \"" << expected[next] << "\"\n"
                                         << Transcript(run);
}

const std::string* FirstLineStartingWith(const HostRun& run, const std::string& prefix) {
    for (const std::string& line : run.lines) {
        if (line.rfind(prefix, 0) == 0) {
            return &line;
        }
    }
    return nullptr;
}

::testing::AssertionResult NoLineStartsWith(const HostRun& run, const std::string& prefix) {
    if (const std::string* line = FirstLineStartingWith(run, prefix)) {
        return ::testing::AssertionFailure() << "unexpected line \"" << *line << "\"\n"
                                             << Transcript(run);
    }
    return ::testing::AssertionSuccess();
}
