// End-to-end runs of an Orbiter host with the module: trace lines, exit status and the
// scenario the simulation read. The same table runs against orbiter-sim and the Win32 host.
#include "host_run.h"
#include "testbed/hosts/core/scenario_files.h"
#include "tests/lib/launchpad_contract.h"

#include <filesystem>

namespace {

const char STAGED[] = "Scenarios/(Current state).scn";

struct HostCase {
    const char* name;
    std::vector<std::string> options; // the host's own options
    const char* commandLine;          // Orbiter's command line, exactly as the module must read it
    std::vector<std::string> inOrder; // lines that must appear, in this order
    std::vector<std::string> absent;  // line prefixes that must not appear
    int status;                       // 255 is the module's exit code -1
    const char* stagedFrom = nullptr; // the file staged as "(Current state)"; null: the old one
    // Files written into the sample folder before the run, as (path, text); the sample's
    // Orbiter.cfg ticks Skarvel.
    std::vector<std::pair<const char*, const char*>> files = {};
};

const char LOADED[] = "module: loaded Skarvel";

// "{root}" in an argument or line stands for Orbiter's folder as the host names it, "{staged}"
// for the cksum of the scenario the module is to stage.
std::vector<std::string> Filled(std::vector<std::string> texts, const std::string& root,
                                const std::string& staged) {
    for (std::string& text : texts) {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"{root}", root}, {"{staged}", staged}}) {
            for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
                text.replace(at, name.size(), value);
            }
        }
    }
    return texts;
}

// The simulation's start, having read the staged scenario.
std::string Started(const char* how) {
    return std::string("simulation: start \"(Current state)\" ") + how + "; read cksum {staged}";
}

void PrintTo(const HostCase& row, std::ostream* out) {
    *out << row.name;
}

class HostTest : public ::testing::TestWithParam<HostCase> {};

// Orbiter starts a module from inside its attach, so the whole start-up (the version asked,
// the launchpad prepared, the scenario staged, the first dialog opened) comes before the host
// sees the load return.
::testing::AssertionResult StartUpInsideTheLoad(const HostRun& run) {
    bool loaded = false;
    for (const std::string& line : run.lines) {
        loaded = loaded || line == LOADED;
        for (const char* startUp : {"module: version", "tree:", "start-paused:", "copy:"}) {
            if (loaded && line.rfind(startUp, 0) == 0) {
                return ::testing::AssertionFailure()
                       << "\"" << line << "\" after \"" << LOADED << "\":\n"
                       << Transcript(run);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_P(HostTest, Runs) {
    const HostCase& row = GetParam();
    ScratchOrbiter folder;
    for (const auto& [path, text] : row.files) {
        folder.Write(path, text);
    }
    const std::string staged =
        row.stagedFrom != nullptr ? folder.Read(row.stagedFrom) : folder.Read(STAGED);
    std::vector<std::string> args = row.options;
    args.insert(args.end(), {"--cmdline", row.commandLine});

    const std::string root = folder.HostPath();
    const HostRun run = RunHost(folder, Filled(args, root, ""));

    EXPECT_TRUE(LinesInOrder(run, Filled(row.inOrder, root, core::Cksum(staged))));
    for (const std::string& prefix : row.absent) {
        EXPECT_TRUE(NoLineStartsWith(run, prefix));
    }
    // The module forgets each dialog it closes, so it never closes one twice.
    EXPECT_TRUE(NoLineStartsWith(run, "dialog: close unknown"));
    EXPECT_TRUE(StartUpInsideTheLoad(run));
    EXPECT_EQ(run.status, row.status) << Transcript(run);
    // A simulation reads the staged scenario, and Orbiter saves its final state over it when the
    // session ends; without a simulation, the staged file is left as the module wrote it.
    if (const std::string* start = FirstLineStartingWith(run, "simulation: start ")) {
        const std::string read = "; read cksum " + core::Cksum(staged);
        EXPECT_EQ(start->substr(start->size() - std::min(start->size(), read.size())), read)
            << "the first simulation did not read what the module was to stage\n"
            << Transcript(run);
        if (FirstLineStartingWith(run, "simulation: end") != nullptr) {
            const std::string saved = folder.Read(STAGED);
            const std::string line = core::FINAL_STATE_LINE;
            EXPECT_EQ(saved.substr(saved.size() - std::min(saved.size(), line.size())), line)
                << "the session's final state did not land in the staged file\n"
                << Transcript(run);
        }
    } else {
        EXPECT_EQ(folder.Read(STAGED), staged);
    }
}

// Orbiter's command line given as words, as a user types them: each host hands the module the
// line Windows makes of them (a word with a blank in quotes), so the path stays one token.
TEST(HostCommandLine, WordsReachTheModuleAsWindowsQuotesThem) {
    ScratchOrbiter folder;
    const HostRun run = RunHost(folder, {"--", "-p", "Scenarios\\Demo Flight"});
    EXPECT_TRUE(LinesInOrder(
        run, {"start-paused: on",
              "copy: \"Scenarios\\Demo Flight.scn\" -> \"Scenarios\\(Current state).scn\" ok",
              "click: launch"}));
    EXPECT_EQ(run.status, 0) << Transcript(run);
}

// --help after another option prints the usage and ends with 0, as in any program. The usage
// names where this host finds the modules Orbiter.cfg lists, spelt as its own loader spells it.
TEST(HostCommandLine, HelpAfterAnotherOptionPrintsTheUsage) {
    ScratchOrbiter folder;
    const HostRun run = RunHost(folder, {"--help"}); // after the --root that RunHost gives
    EXPECT_EQ(run.status, 0) << Transcript(run);
    EXPECT_TRUE(!run.lines.empty() && run.lines[0].rfind("usage: ", 0) == 0) << Transcript(run);
    const std::string extension =
        std::filesystem::directory_iterator(folder.Path() + "/Modules/Plugin")->path().extension();
    const std::string separator = extension == ".dll" ? "\\" : "/";
    const std::string place = "Modules" + separator + "Plugin" + separator + "NAME" + extension;
    EXPECT_TRUE(LinesInOrder(run, {"                      " + place + " in Orbiter's folder)"}));
}

// An Orbiter folder the host cannot enter ends the run before any module is loaded, and
// standard error says which folder it was.
TEST(HostCommandLine, AFolderThatCannotBeEnteredEndsTheRunAtOnce) {
    ScratchOrbiter folder;
    const std::string nowhere = folder.HostPath() + "\\Nowhere";
    const HostRun run = RunHost(folder, {"--root", nowhere, "--", "-p"});
    EXPECT_EQ(run.status, 1) << Transcript(run);
    EXPECT_TRUE(run.lines.empty()) << Transcript(run);
    EXPECT_NE(run.errors.find("cannot enter Orbiter's folder " + nowhere + ": "), std::string::npos)
        << Transcript(run);
}

const std::vector<std::string> BEFORE_COMMAND_LINE = {"copy:", "dialog:", "start-paused: on"};

// A launchpad the module cannot use: it ends the process before reading the command line, from
// inside its attach, so the host never sees the load return.
std::vector<std::string> Broken() {
    std::vector<std::string> absent = {"tree: selected", "start-paused:", "orbiter: exit", LOADED};
    absent.insert(absent.end(), BEFORE_COMMAND_LINE.begin(), BEFORE_COMMAND_LINE.end());
    return absent;
}

std::string Copy(const std::string& source, const char* outcome) {
    return "copy: \"" + source + "\" -> \"Scenarios\\(Current state).scn\" " + outcome;
}

// The usage dialog opening, with its texts in the order a person reads them.
std::vector<std::string> UsageShown() {
    return {"dialog: open 102",
            "  | Use the following option format in the command line:",
            "  | orbiter.exe [options] <scenario>",
            "  | where <scenario> must be a relative or absolute path with or without the "
            "extension \"scn\", and [options] is one or more of the following:",
            "  | -p ... pauses the simulation on startup",
            "  | -e ... exits Orbiter after simulation shutdown",
            "  | -x ... exits Orbiter, if scenario is not found"};
}

// A launch of "(Current state)" as it stands, paused, and the exit after the session.
std::vector<std::string> CurrentStateAsItStands() {
    return {"start-paused: on", "dialog: open 101",  LOADED,
            "click: launch",    "dialog: close 101", Started("paused"),
            "simulation: end",  "dialog: open 101",  "click: exit",
            "orbiter: exit 0"};
}

std::vector<std::string> Then(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HostTest,
    ::testing::Values(
        // The road of one request: select, tick, copy, launch, simulate paused, exit.
        HostCase{"RoadOfOneRequest",
                 {},
                 R"(-p -e "Scenarios\Demo Flight")",
                 {"module: version 60425", "tree: selected \"(Current state)\"",
                  "start-paused: off", "start-paused: on", Copy("Scenarios\\Demo Flight.scn", "ok"),
                  "dialog: open 101", LOADED, "click: launch", "dialog: close 101",
                  Started("paused"), "simulation: end", "dialog: open 101", "click: exit",
                  "orbiter: exit 0"},
                 {"user:", "dialog: open 102"},
                 0,
                 "Scenarios/Demo Flight.scn"},
        HostCase{"PathWithSlashLaunchesRunning",
                 {},
                 "Scenarios/Demo",
                 {Copy("Scenarios/Demo.scn", "ok"), "click: launch", Started("running"),
                  "simulation: end", "user: close orbiter", "orbiter: exit 0"},
                 {"start-paused: on", "click: exit"},
                 0,
                 "Scenarios/Demo.scn"},
        HostCase{"AbsolutePath",
                 {},
                 R"("{root}\Scenarios\Flights.old\Demo")",
                 {Copy("{root}\\Scenarios\\Flights.old\\Demo.scn", "ok"), "click: launch",
                  Started("running")},
                 {},
                 0,
                 "Scenarios/Flights.old/Demo.scn"},
        // "(Current state)" named itself, in any spelling of its file: nothing is copied, Orbiter
        // starts it as it stands, and the session saves its final state back into it.
        HostCase{"CurrentStateItself",
                 {},
                 R"l(-p -e "Scenarios\(Current state)")l",
                 CurrentStateAsItStands(),
                 {"copy:", "dialog: open 102"},
                 0},
        HostCase{"CurrentStateInAnotherCase",
                 {},
                 R"(-p -e "Scenarios\(current state).SCN")",
                 CurrentStateAsItStands(),
                 {"copy:", "dialog: open 102"},
                 0},
        HostCase{"CurrentStateThroughDotDot",
                 {},
                 R"l(-p -e ".\Scenarios\..\Scenarios\(Current state).scn")l",
                 CurrentStateAsItStands(),
                 {"copy:", "dialog: open 102"},
                 0},
        HostCase{"CurrentStateAbsolute",
                 {},
                 R"l(-e -p "{root}\Scenarios\(Current state).scn")l",
                 CurrentStateAsItStands(),
                 {"copy:", "dialog: open 102"},
                 0},
        // A file of that name in another folder is a scenario like any other.
        HostCase{
            "CurrentStateOfAnotherFolderIsCopied",
            {},
            R"l(-p -e "Scenarios\Tutorials\(Current state)")l",
            {Copy("Scenarios\\Tutorials\\(Current state).scn", "ok"), "click: launch",
             Started("paused"), "simulation: end", "click: exit", "orbiter: exit 0"},
            {"dialog: open 102"},
            0,
            "Scenarios/Tutorials/(Current state).scn",
            {{"Scenarios/Tutorials/(Current state).scn", "; another folder's current state\n"}}},
        HostCase{"SubfolderWithBlankAndOptionX",
                 {},
                 R"(-x "Scenarios\Tutorials\Docking Practice")",
                 {Copy("Scenarios\\Tutorials\\Docking Practice.scn", "ok"), "click: launch",
                  Started("running")},
                 {"click: exit"},
                 0,
                 "Scenarios/Tutorials/Docking Practice.scn"},
        // What a C run-time's argv cannot carry reaches the module as typed: runs of blanks and
        // tabs only separate, and a backslash before a quote escapes nothing.
        HostCase{"BlanksAndTabsOnlySeparate",
                 {},
                 "\t-p   \"Scenarios\\Demo Flight\"\t\t-e  ",
                 {"start-paused: on", Copy("Scenarios\\Demo Flight.scn", "ok"), Started("paused"),
                  "click: exit", "orbiter: exit 0"},
                 {"dialog: open 102"},
                 0,
                 "Scenarios/Demo Flight.scn"},
        HostCase{"BackslashBeforeAQuoteEscapesNothing",
                 {},
                 R"("Scenarios\Demo Flight\" -p)",
                 {"start-paused: on", Copy("Scenarios\\Demo Flight\\.scn", "failed"),
                  "dialog: open 102"},
                 {"simulation:"},
                 0},
        // A scenario that cannot be copied.
        HostCase{"MissingWithOptionXExitsAtOnce",
                 {},
                 R"(-x Scenarios\Nowhere)",
                 {Copy("Scenarios\\Nowhere.scn", "failed"), "dialog: open 101", LOADED,
                  "click: exit", "orbiter: exit 0"},
                 {"simulation:", "click: launch", "user:"},
                 0},
        HostCase{"MissingWithOptionsEAndXExitsAtOnce",
                 {},
                 "-e -x Nowhere",
                 {Copy("Nowhere", "failed"), "dialog: open 101", "click: exit", "orbiter: exit 0"},
                 {"simulation:", "dialog: open 102"},
                 0},
        HostCase{"OptionXAloneExitsAtOnce",
                 {},
                 "-x",
                 {Copy("", "failed"), "dialog: open 101", "click: exit", "orbiter: exit 0"},
                 {"simulation:"},
                 0},
        HostCase{"MissingShowsUsage",
                 {},
                 "-e Nowhere",
                 Then(Then({Copy("Nowhere", "failed")}, UsageShown()),
                      {LOADED, "user: close orbiter", "dialog: close 102", "orbiter: exit 0"}),
                 {"simulation:", "click:"},
                 0},
        HostCase{"UsageClosedThenLaunchedByHandStillExits",
                 {"--close-usage", "--launch"},
                 "-e Nowhere",
                 Then(UsageShown(),
                      {"user: close usage", "dialog: close 102", "user: launch", Started("running"),
                       "simulation: end", "dialog: open 101", "click: exit", "orbiter: exit 0"}),
                 {"click: launch", "user: close orbiter"},
                 0},
        HostCase{"EmptyCommandLineOpensNothing",
                 {},
                 "",
                 {"module: version 60425", "tree: selected \"(Current state)\"",
                  "start-paused: off", Copy("", "failed"), LOADED, "user: close orbiter",
                  "orbiter: exit 0"},
                 {"dialog:", "start-paused: on"},
                 0},
        // Orbiter.cfg: a listed module that fails to load is skipped, and the next one runs.
        HostCase{"ListedModuleThatFailsIsSkipped",
                 {},
                 R"(-x Scenarios\Demo)",
                 {"module: failed loading Missing", "module: version 60425", LOADED,
                  "click: launch", Started("running"), "orbiter: exit 0"},
                 {},
                 0,
                 "Scenarios/Demo.scn",
                 {{"Orbiter.cfg", "ACTIVE_MODULES\r\n  Missing\r\n\tSkarvel \r\nEND_MODULES\r\n"}}},
        // Nothing ticked: no module runs, and the launchpad waits for the user.
        HostCase{"NoModuleTicked",
                 {},
                 R"(-x Scenarios\Demo)",
                 {"user: close orbiter", "orbiter: exit 0"},
                 {"module:", "tree:", "copy:", "dialog:"},
                 0,
                 nullptr,
                 {{"Orbiter.cfg", "; no modules\nACTIVE_MODULES\nEND_MODULES\n"}}}),
    [](const ::testing::TestParamInfo<HostCase>& row) { return row.param.name; });

// Every broken launchpad ends the run from inside the module's attach. Some rows give a command
// line, which the module must not get to, or show how far the module got.
HostCase BrokenLaunchpadRun(const BrokenLaunchpad& broken) {
    HostCase row{broken.name, broken.hostOptions, "", {}, Broken(), 255};
    const std::string name = broken.name;
    if (name == "HiddenLaunchpad") {
        row.inOrder = {"module: version 60425"};
    } else if (name == "NoStartPausedBox") {
        row.commandLine = R"(-p Scenarios\Demo)";
        row.inOrder = {"tree: selected \"(Current state)\""};
        row.absent = {"start-paused:", "copy:", "dialog:", "orbiter: exit"};
    } else if (name == "TooFewSiblings") {
        row.commandLine = R"(-x Scenarios\Demo)";
    } else if (name == "SelectionRefused") {
        row.commandLine = R"(-p Scenarios\Demo)";
    }
    return row;
}

std::vector<HostCase> LaunchpadRuns() {
    std::vector<HostCase> rows = {
        HostCase{"ForeignWindowFirst",
                 {"--foreign-window"},
                 "",
                 {"tree: selected \"(Current state)\"", "start-paused: off", "orbiter: exit 0"},
                 {},
                 0},
        // An empty tree: the module selects "no item", which succeeds, and goes on.
        HostCase{"EmptyTree",
                 {"--empty-tree"},
                 R"(-p Scenarios\Demo)",
                 {"start-paused: off", "start-paused: on", Copy("Scenarios\\Demo.scn", "ok"),
                  "click: launch", "simulation: no scenario selected", "orbiter: exit 0"},
                 {"tree: selected", "simulation: start"},
                 0,
                 "Scenarios/Demo.scn"}};
    for (const BrokenLaunchpad& broken : BROKEN_LAUNCHPADS) {
        rows.push_back(BrokenLaunchpadRun(broken));
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Launchpads, HostTest, ::testing::ValuesIn(LaunchpadRuns()),
                         [](const ::testing::TestParamInfo<HostCase>& row) {
                             return row.param.name;
                         });

} // namespace
