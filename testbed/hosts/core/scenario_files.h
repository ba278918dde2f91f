// What Orbiter does with its scenario files around a simulation session, as both test hosts do
// it: it reads the scenario it starts, and when the session ends it saves the simulation's final
// state over Scenarios\(Current state).scn.
#pragma once

#include <optional>
#include <string>

namespace core {

// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// The bytes as `cksum` prints a file's: the POSIX checksum (CRC) and the length, "4060283370 262",
// so that a test or a person can tell which file a simulation read.
std::string Cksum(const std::string& bytes);

// The final state Orbiter saves when a session ends: here the scenario the session started
// from, with a line of the host's own added, so that it differs from every scenario file.
// Writes it over the file at `currentState`; false when it cannot.
bool SaveFinalState(const std::string& currentState, const std::optional<std::string>& started);

// The line of the host's own that ends every final state saved.
extern const char FINAL_STATE_LINE[];

} // namespace core
