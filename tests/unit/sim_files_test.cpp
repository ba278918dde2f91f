// The simulated file calls behave as Windows does for every case the module meets.
#include "sim_fixture.h"
#include "testbed/sim-platform/win32_errors.h"
#include "tests/lib/same_file_contract.h"

#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using FilesTest = ScratchFolderTest;

const char STAGED[] = "Scenarios\\(Current state).scn";

TEST_F(FilesTest, LongPathKeepsTheInputsFormOrFails) {
    char buffer[64] = "untouched";
    EXPECT_EQ(platform::GetLongPathNameA("Scenarios/../Scenarios\\Demo.scn", buffer, 64), 31u);
    EXPECT_STREQ(buffer, "Scenarios/../Scenarios\\Demo.scn");

    // Too small, even by the NUL alone: the size needed, NUL included, and the buffer untouched.
    for (const std::uint32_t size : {5u, 18u}) {
        std::strcpy(buffer, "untouched");
        EXPECT_EQ(platform::GetLongPathNameA("Scenarios\\Demo.scn", buffer, size), 19u) << size;
        EXPECT_STREQ(buffer, "untouched") << size;
    }
    EXPECT_EQ(platform::GetLongPathNameA("Scenarios\\Demo.scn", buffer, 19), 18u);
    EXPECT_STREQ(buffer, "Scenarios\\Demo.scn");

    std::strcpy(buffer, "untouched");
    EXPECT_EQ(platform::GetLongPathNameA("Scenarios\\Demo", buffer, 64), 0u);
    EXPECT_EQ(platform::GetLastError(), sim::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::GetLongPathNameA("", buffer, 64), 0u);
    EXPECT_EQ(platform::GetLastError(), sim::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(platform::GetLongPathNameA("Scenarios\\*.scn", buffer, 64), 0u);
    EXPECT_STREQ(buffer, "untouched");
}

TEST_F(FilesTest, CopyReplacesTheDestinationWhole) {
    EXPECT_TRUE(platform::CopyFileA("Scenarios\\Demo Flight.scn", STAGED, false));
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), Read("Scenarios/Demo Flight.scn"));
    // Absolute Windows paths name the Linux root through any drive letter.
    const std::string absolute = "Z:" + folder + "\\Scenarios\\Demo.scn";
    EXPECT_TRUE(platform::CopyFileA(absolute.c_str(), STAGED, false));
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), Read("Scenarios/Demo.scn"));
    // Names are found whatever their case, as on Windows.
    EXPECT_TRUE(platform::CopyFileA("SCENARIOS\\tutorials\\docking PRACTICE.scn", STAGED, false));
    EXPECT_EQ(Read("Scenarios/(Current state).scn"),
              Read("Scenarios/Tutorials/Docking Practice.scn"));
}

// One file is one file whatever the spelling: the file system decides, not the text. Here a
// Z: path names the Linux root, and a hard link is another name of the same file.
TEST_F(FilesTest, SameFileIsTheFileNotTheSpelling) {
    Write("Scenarios/Tutorials/(Current state).scn", Read("Scenarios/(Current state).scn"));
    ASSERT_EQ(link("Scenarios/(Current state).scn", "Scenarios/Linked.scn"), 0);
    ExpectSameFileCases({{"Z:" + folder + "\\Scenarios\\(Current state).scn", STAGED, true},
                         {"Scenarios\\Linked.scn", STAGED, true}});
}

struct FailedCopy {
    const char* name;
    const char* source;
    std::uint32_t error;
};

void PrintTo(const FailedCopy& row, std::ostream* out) {
    *out << row.name;
}

class FailedCopyTest : public ScratchFolderTest,
                       public ::testing::WithParamInterface<FailedCopy> {};

TEST_P(FailedCopyTest, LeavesBothFilesAsTheyWere) {
    const std::string staged = Read("Scenarios/(Current state).scn");
    const std::string demo = Read("Scenarios/Demo.scn");
    platform::SetLastError(0xdeadbeef);

    EXPECT_FALSE(platform::CopyFileA(GetParam().source, STAGED, false));

    EXPECT_EQ(platform::GetLastError(), GetParam().error);
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), staged);
    EXPECT_EQ(Read("Scenarios/Demo.scn"), demo);
    // No temporary file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator("Scenarios")) {
        EXPECT_EQ(entry.path().filename().string().rfind(".skarvel", 0), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedCopyTest,
    ::testing::Values(FailedCopy{"Missing", "Scenarios\\Nowhere.scn", 2},
                      FailedCopy{"Empty", "", 3}, FailedCopy{"Folder", "Scenarios\\Tutorials", 5},
                      FailedCopy{"Itself", "Scenarios\\(Current state).scn", 32},
                      FailedCopy{"ItselfSpelledOtherwise",
                                 ".\\Scenarios/../Scenarios/(Current state).scn", 32}),
    [](const ::testing::TestParamInfo<FailedCopy>& row) { return row.param.name; });

TEST_F(FilesTest, FailIfExistsKeepsAnExistingDestination) {
    const std::string staged = Read("Scenarios/(Current state).scn");
    EXPECT_FALSE(platform::CopyFileA("Scenarios\\Demo.scn", STAGED, true));
    EXPECT_EQ(platform::GetLastError(), sim::ERROR_FILE_EXISTS);
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), staged);
    EXPECT_TRUE(platform::CopyFileA("Scenarios\\Demo.scn", "Scenarios\\New.scn", true));
    EXPECT_EQ(Read("Scenarios/New.scn"), Read("Scenarios/Demo.scn"));
}

TEST_F(FilesTest, ReadOnlyDestinationIsNotReplaced) {
    const std::string staged = Read("Scenarios/(Current state).scn");
    ASSERT_EQ(chmod("Scenarios/(Current state).scn", 0444), 0);
    EXPECT_FALSE(platform::CopyFileA("Scenarios\\Demo.scn", STAGED, false));
    EXPECT_EQ(platform::GetLastError(), sim::ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), staged);
}

// The simulator's own promise, from copying through a temporary file: Windows' CopyFileA may
// leave a partial destination after a write error.
TEST_F(FilesTest, DiskFullHalfWayLeavesTheOldFileInTheSimulator) {
    const std::string staged = Read("Scenarios/(Current state).scn");
    sim::TheDesktop().faults.copyFailsAfterBytes = 10;
    EXPECT_FALSE(platform::CopyFileA("Scenarios\\Demo.scn", STAGED, false));
    EXPECT_EQ(platform::GetLastError(), sim::ERROR_DISK_FULL);
    EXPECT_EQ(Read("Scenarios/(Current state).scn"), staged);
}

TEST_F(FilesTest, EveryCopyIsTraced) {
    platform::CopyFileA("Scenarios\\Demo.scn", STAGED, false);
    platform::CopyFileA("", STAGED, false);
    EXPECT_EQ(trace, (std::vector<std::string>{
                         "copy: \"Scenarios\\Demo.scn\" -> \"Scenarios\\(Current state).scn\" ok",
                         "copy: \"\" -> \"Scenarios\\(Current state).scn\" failed"}));
}

} // namespace
