// Options and scenario staging: which file is copied where, and which flags are set.
#include "launchpad/locator.h"
#include "request/launch_request.h"
#include "sim_fixture.h"

namespace {

const char STAGED[] = "Scenarios/(Current state).scn";

class LaunchRequestTest : public ScratchFolderTest {
protected:
    // Locates the launchpad, then runs the command-line and staging phases on `line`.
    bool Stage(const std::optional<std::string>& line) {
        pad = BuildPad();
        FindLaunchpad();
        moduleState.reportMissing = 1;
        sim::TheOrbiter().commandLine = line;
        std::vector<char> work(PATH_BUFFER_SIZE, 'W'); // stale bytes must never reach the copy
        std::vector<char> request(PATH_BUFFER_SIZE, '\0');
        work.back() = '\0';
        return ApplyCommandLine(work.data(), request.data()) &&
               StageScenario(work.data(), request.data());
    }
    bool Paused() { return Get(pad.pausedCheck).checked; }

    sim::Launchpad pad;
};

std::string CopyLine(const std::string& source, bool ok) {
    return "copy: \"" + source + "\" -> \"Scenarios\\(Current state).scn\" " +
           (ok ? "ok" : "failed");
}

struct StagingCase {
    const char* line;
    const char* source;     // what is copied, as the module passes it
    const char* copiedFrom; // the file whose bytes end up staged; null when the copy fails
    bool paused, exitAfterShutdown, exitIfMissing, reportMissing;
};

void PrintTo(const StagingCase& row, std::ostream* out) {
    *out << '[' << row.line << ']';
}

class StagingTest : public LaunchRequestTest, public ::testing::WithParamInterface<StagingCase> {};

TEST_P(StagingTest, CopiesTheRequestedScenario) {
    const StagingCase& row = GetParam();
    Write("-demo.scn", "a scenario whose name begins with a minus sign");
    const std::string before = Read(STAGED);

    const bool copied = Stage(std::string(row.line));

    EXPECT_EQ(copied, row.copiedFrom != nullptr);
    EXPECT_EQ(Copies(), std::vector<std::string>{CopyLine(row.source, copied)});
    EXPECT_EQ(Read(STAGED), row.copiedFrom != nullptr ? Read(row.copiedFrom) : before);
    EXPECT_EQ(Paused(), row.paused);
    EXPECT_EQ(moduleState.exitAfterShutdown, row.exitAfterShutdown ? 1 : 0);
    EXPECT_EQ(moduleState.exitIfMissing, row.exitIfMissing ? 1 : 0);
    EXPECT_EQ(moduleState.reportMissing, row.reportMissing ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StagingTest,
    ::testing::Values(
        // The extension walk: ".scn" only after a separator and no dot in the last component.
        StagingCase{"-p Scenarios\\Demo", "Scenarios\\Demo.scn", "Scenarios/Demo.scn", true, false,
                    false, true},
        StagingCase{"Scenarios/Demo", "Scenarios/Demo.scn", "Scenarios/Demo.scn", false, false,
                    false, true},
        StagingCase{"Scenarios\\Flights.old\\Demo", "Scenarios\\Flights.old\\Demo.scn",
                    "Scenarios/Flights.old/Demo.scn", false, false, false, true},
        StagingCase{"Scenarios\\Demo.scn", "Scenarios\\Demo.scn", "Scenarios/Demo.scn", false,
                    false, false, true},
        StagingCase{"Demo.txt", "Demo.txt", nullptr, false, false, false, true},
        StagingCase{"Flight1", "Flight1", nullptr, false, false, false, true},
        StagingCase{".Demo", ".Demo", nullptr, false, false, false, true},
        StagingCase{"\\Demo", "\\Demo.scn", nullptr, false, false, false, true},
        StagingCase{"/Demo", "/Demo.scn", nullptr, false, false, false, true},
        // The last path counts; options stand anywhere.
        StagingCase{"Scenarios\\Demo.scn \"Scenarios\\Demo Flight.scn\"",
                    "Scenarios\\Demo Flight.scn", "Scenarios/Demo Flight.scn", false, false, false,
                    true},
        StagingCase{"Scenarios\\Demo -P -E", "Scenarios\\Demo.scn", "Scenarios/Demo.scn", true,
                    true, false, true},
        StagingCase{"\"Scenarios\\Tutorials\\Docking Practice\" -x",
                    "Scenarios\\Tutorials\\Docking Practice.scn",
                    "Scenarios/Tutorials/Docking Practice.scn", false, false, true, true},
        // Option letters.
        StagingCase{"-pex", "", nullptr, true, true, true, true},
        StagingCase{"-q - -", "", nullptr, false, false, false, true},
        StagingCase{"--p Scenarios\\Demo", "Scenarios\\Demo.scn", "Scenarios/Demo.scn", true, false,
                    false, true},
        StagingCase{"-e", "", nullptr, false, true, false, true},
        StagingCase{"-X", "", nullptr, false, false, true, true},
        // A name beginning with a minus sign needs a folder in front.
        StagingCase{".\\-demo.scn", ".\\-demo.scn", "-demo.scn", false, false, false, true},
        // No tokens: nothing to report.
        StagingCase{"", "", nullptr, false, false, false, false},
        StagingCase{" \t ", "", nullptr, false, false, false, false}));

TEST_F(LaunchRequestTest, NullCommandLineIsAnEmptyOne) {
    EXPECT_FALSE(Stage(std::nullopt));
    EXPECT_EQ(Copies(), std::vector<std::string>{CopyLine("", false)});
    EXPECT_EQ(moduleState.reportMissing, 0);
}

TEST_F(LaunchRequestTest, LineThatDoesNotFitYieldsNoScenarioAndNoOption) {
    // 4,095 bytes fit with their NUL; 4,096 do not.
    const std::string path = "Scenarios\\Demo";
    const std::string fits =
        "-p" + std::string(PATH_BUFFER_SIZE - 1 - 3 - path.size(), ' ') + " " + path;
    ASSERT_EQ(fits.size(), PATH_BUFFER_SIZE - 1);
    EXPECT_TRUE(Stage(fits));
    EXPECT_TRUE(Paused());

    ResetSimulation();
    const std::string tooLong = "-pex " + std::string(PATH_BUFFER_SIZE, ' ') + path;
    EXPECT_FALSE(Stage(tooLong));
    EXPECT_TRUE(Copies().empty());
    EXPECT_FALSE(Paused());
    EXPECT_EQ(moduleState.exitAfterShutdown, 0);
    EXPECT_EQ(moduleState.exitIfMissing, 0);
    EXPECT_EQ(moduleState.reportMissing, 1); // so the usage dialog tells the user
}

TEST_F(LaunchRequestTest, LongFormThatDoesNotFitFallsBackToTheRequest) {
    // The path exists as named, so the lookup answers with the size of its long form; the
    // work buffer still holds the cut command line, which must not be taken for a path.
    for (const std::uint32_t size : {PATH_BUFFER_SIZE, PATH_BUFFER_SIZE + 1}) {
        ResetSimulation();
        sim::TheDesktop().faults.longPathSize = size;
        EXPECT_TRUE(Stage(std::string("-p Scenarios\\Demo.scn"))) << size;
        EXPECT_EQ(Copies(), std::vector<std::string>{CopyLine("Scenarios\\Demo.scn", true)});
    }
}

TEST_F(LaunchRequestTest, PathWithoutRoomForTheExtensionIsNotCopied) {
    // With ".scn" and its NUL, 4,091 bytes just fit and 4,092 do not.
    const std::string fits = "x\\" + std::string(PATH_BUFFER_SIZE - 5 - 2, 'a');
    EXPECT_FALSE(Stage(fits));
    EXPECT_EQ(Copies(), std::vector<std::string>{CopyLine(fits + ".scn", false)});

    ResetSimulation();
    EXPECT_FALSE(Stage(fits + "a"));
    EXPECT_TRUE(Copies().empty());
}

TEST_F(LaunchRequestTest, RunningOutOfMemoryAppliesNoOption) {
    sim::TheDesktop().faults.failAllocationAfter = 2;
    EXPECT_FALSE(Stage(std::string("-pex Scenarios\\Demo")));
    EXPECT_TRUE(Copies().empty());
    EXPECT_FALSE(Paused());
    EXPECT_EQ(moduleState.exitIfMissing, 0);
    EXPECT_EQ(moduleState.reportMissing, 1);
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
}

TEST_F(LaunchRequestTest, TokensAreReleasedOnceTheOptionsAreApplied) {
    EXPECT_TRUE(Stage(std::string("-p -e \"Scenarios\\Demo Flight\"")));
    EXPECT_EQ(sim::TheDesktop().liveAllocations, 0);
}

} // namespace
