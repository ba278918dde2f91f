// Runs an Orbiter host (orbiter-sim, or the Win32 test host under Wine) on a scratch copy
// of the sample Orbiter folder, and reads back what it printed.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

struct HostRun {
    int status = -1;                // the exit status, or -1 when it did not exit normally
    int signal = 0;                 // the signal that ended it, if one did
    long milliseconds = 0;          // from start to end
    std::vector<std::string> lines; // standard output, line by line
    std::string errors;             // standard error
};

// A scratch copy of the sample Orbiter folder with the module installed in Modules/Plugin (the
// one SKARVEL_MODULE names, else the build's Skarvel.so), removed again when it goes out of scope.
class ScratchOrbiter {
public:
    ScratchOrbiter();
    ~ScratchOrbiter();
    ScratchOrbiter(const ScratchOrbiter&) = delete;
    ScratchOrbiter& operator=(const ScratchOrbiter&) = delete;

    const std::string& Path() const { return path_; }
    // The folder as the host names it: a Windows path under Wine (Z:\...), the same under
    // orbiter-sim, which maps a drive letter to the Linux root as Wine's Z: does.
    std::string HostPath() const;
    std::string Read(const std::string& relative) const;
    void Write(const std::string& relative, const std::string& bytes) const;

private:
    std::string path_;
};

// Runs the host (orbiter-sim, or the command in SKARVEL_HOST) with these arguments, in the folder,
// and waits.
HostRun RunHost(const ScratchOrbiter& folder, const std::vector<std::string>& args);

// The run as a person reads it in a failure message: exit status, output, standard error.
std::string Transcript(const HostRun& run);
// Whether `expected` occurs in `lines` in this order (other lines may stand between).
::testing::AssertionResult LinesInOrder(const HostRun& run,
                                        const std::vector<std::string>& expected);
// The first line that begins with `prefix`, or null.
const std::string* FirstLineStartingWith(const HostRun& run, const std::string& prefix);
// Whether no line begins with `prefix`.
::testing::AssertionResult NoLineStartsWith(const HostRun& run, const std::string& prefix);
