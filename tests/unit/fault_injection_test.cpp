// Staging under file-system faults: a disk that fills part of the way, a destination that
// cannot be written, a source that vanishes before the copy. Each runs the module's command-
// line and staging phases; each must end in one failed copy, reported as failed, with nothing
// leaked and no temporary file left behind. That the old "(Current state)" scenario is then
// byte for byte as it was holds on Windows for a destination that cannot be opened; after a
// write error it is the simulated CopyFileA's promise (it copies through a temporary file),
// which Windows does not make.
#include "launchpad/locator.h"
#include "request/launch_request.h"
#include "sim_fixture.h"
#include "testbed/sim-platform/win32_errors.h"

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const char STAGED[] = "Scenarios/(Current state).scn";
using sim::ERROR_ACCESS_DENIED;
using sim::ERROR_DISK_FULL;
using sim::ERROR_FILE_NOT_FOUND;
using sim::ERROR_PATH_NOT_FOUND;

class FaultInjectionTest : public ScratchFolderTest {
protected:
    // Locates the launchpad, then runs the command-line and staging phases on `line`.
    bool Stage(const std::string& line) {
        BuildPad();
        FindLaunchpad();
        moduleState.reportMissing = 1;
        sim::TheOrbiter().commandLine = line;
        std::vector<char> work(PATH_BUFFER_SIZE, '\0');
        std::vector<char> request(PATH_BUFFER_SIZE, '\0');
        return ApplyCommandLine(work.data(), request.data()) &&
               StageScenario(work.data(), request.data());
    }

    // The copy was attempted once, from `source`, and failed with `error`.
    void ExpectFailedCopy(const std::string& source, std::uint32_t error) {
        EXPECT_EQ(Copies(), std::vector<std::string>{"copy: \"" + source +
                                                     "\" -> \"Scenarios\\(Current state).scn\" "
                                                     "failed"});
        EXPECT_EQ(platform::GetLastError(), error);
        EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
        ExpectNoTemporaryFile("Scenarios");
    }

    void ExpectNoTemporaryFile(const std::string& relativeFolder) {
        std::error_code missing;
        for (const auto& entry :
             fs::directory_iterator(fs::path(folder) / relativeFolder, missing)) {
            EXPECT_NE(entry.path().filename().string().rfind(".skarvel-copy-", 0), 0u)
                << "temporary file left behind: " << entry.path();
        }
    }
};

// A scenario larger than the back end's 64 KiB copy buffer, so the copy takes several
// writes, with bytes that differ from one block to the next.
std::string LargeScenario() {
    std::string bytes = "BEGIN_DESC\nA long scenario\nEND_DESC\n";
    for (std::size_t i = 0; bytes.size() < 200000; ++i) {
        bytes += "STATUS " + std::to_string(i * 7919 % 100003) + "\n";
    }
    return bytes;
}

TEST_F(FaultInjectionTest, DiskFullPartWayIsAFailedCopyAndTheSimulatorKeepsTheOldScenario) {
    Write("Scenarios/Large.scn", LargeScenario());
    const std::string old = Read(STAGED);
    struct Source {
        const char* line;
        const char* copied; // as the module passes it
        const char* file;
    };
    for (const Source& source :
         {Source{"Scenarios\\Demo", "Scenarios\\Demo.scn", "Scenarios/Demo.scn"},
          Source{"-p Scenarios/Large", "Scenarios/Large.scn", "Scenarios/Large.scn"}}) {
        const long long size = static_cast<long long>(Read(source.file).size());
        // Nothing, one byte, a block boundary and its neighbours, half, and one byte short.
        for (long long budget : {0LL, 1LL, 65535LL, 65536LL, 65537LL, size / 2, size - 1}) {
            if (budget >= size) {
                continue; // the small scenario has no second block
            }
            SCOPED_TRACE(std::string(source.file) + ", disk full after " + std::to_string(budget) +
                         " of " + std::to_string(size) + " bytes");
            ResetSimulation();
            sim::TheDesktop().faults.copyFailsAfterBytes = budget;

            EXPECT_FALSE(Stage(source.line));

            ExpectFailedCopy(source.copied, ERROR_DISK_FULL);
            EXPECT_EQ(Read(STAGED), old);
        }
        // With room for every byte the same copy succeeds: the fault, not the request, failed.
        ResetSimulation();
        sim::TheDesktop().faults.copyFailsAfterBytes = size;
        EXPECT_TRUE(Stage(source.line)) << source.file;
        EXPECT_EQ(Read(STAGED), Read(source.file));
        Write(STAGED, old);
    }
}

TEST_F(FaultInjectionTest, ReadOnlyStagedScenarioIsNotReplaced) {
    // The back end refuses by the file's permission bits, as Windows does by its read-only
    // attribute, so this holds when the tests run as root too.
    const std::string old = Read(STAGED);
    ASSERT_EQ(chmod(STAGED, 0444), 0);

    EXPECT_FALSE(Stage("Scenarios\\Demo"));

    ExpectFailedCopy("Scenarios\\Demo.scn", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read(STAGED), old);
}

TEST_F(FaultInjectionTest, StagedPathThatIsAFolderIsNotReplaced) {
    // Root ignores a folder's permission bits, so an unwritable destination is made by
    // putting a folder, with a file in it, where the staged scenario belongs.
    fs::remove(STAGED);
    Write(std::string(STAGED) + "/inside.txt", "kept");

    EXPECT_FALSE(Stage("Scenarios\\Demo"));

    ExpectFailedCopy("Scenarios\\Demo.scn", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_directory(STAGED));
    EXPECT_EQ(Read(std::string(STAGED) + "/inside.txt"), "kept");
}

TEST_F(FaultInjectionTest, MissingScenariosFolderIsNotCreated) {
    // The scenario lies elsewhere; the folder the staged copy goes to does not exist.
    Write("Elsewhere/Demo.scn", Read("Scenarios/Demo.scn"));
    fs::remove_all("Scenarios");

    EXPECT_FALSE(Stage("Elsewhere\\Demo"));

    EXPECT_EQ(Copies(),
              std::vector<std::string>{
                  "copy: \"Elsewhere\\Demo.scn\" -> \"Scenarios\\(Current state).scn\" failed"});
    EXPECT_EQ(platform::GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists("Scenarios"));
    ExpectNoTemporaryFile("Elsewhere");
    ExpectNoTemporaryFile(".");
}

TEST_F(FaultInjectionTest, SourceThatVanishesBeforeTheCopyLeavesTheOldScenario) {
    // The line names the file with its extension, so the long-path lookup finds it; then,
    // before the copy opens it, it goes or turns into a folder.
    const std::string old = Read(STAGED);
    struct Vanishing {
        const char* name;
        void (*act)();
        std::uint32_t error;
    };
    for (const Vanishing& change : {
             Vanishing{"deleted", [] { fs::remove("Scenarios/Demo.scn"); }, ERROR_FILE_NOT_FOUND},
             Vanishing{"replaced by a folder",
                       [] {
                           fs::remove("Scenarios/Demo.scn");
                           fs::create_directory("Scenarios/Demo.scn");
                       },
                       ERROR_ACCESS_DENIED},
             Vanishing{"its folder deleted", [] { fs::remove_all("Scenarios/Flights.old"); },
                       ERROR_FILE_NOT_FOUND},
         }) {
        SCOPED_TRACE(std::string("source ") + change.name);
        ResetSimulation();
        fs::remove_all("Scenarios/Demo.scn");
        Write("Scenarios/Demo.scn", "BEGIN_DESC\nDemo\nEND_DESC\n");
        Write("Scenarios/Flights.old/Demo.scn", "BEGIN_DESC\nOld demo\nEND_DESC\n");
        const bool inOldFlights = std::string(change.name) == "its folder deleted";
        const std::string source =
            inOldFlights ? "Scenarios\\Flights.old\\Demo.scn" : "Scenarios\\Demo.scn";
        int copies = 0;
        sim::TheDesktop().faults.beforeCopy = [&] {
            ++copies;
            change.act();
        };

        EXPECT_FALSE(Stage(source));

        EXPECT_EQ(copies, 1);
        ExpectFailedCopy(source, change.error);
        EXPECT_EQ(Read(STAGED), old);
    }
}

} // namespace
