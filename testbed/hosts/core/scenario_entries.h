// The entries of the launchpad's scenario tree, as both test hosts list them.
#pragma once

#include <string>
#include <vector>

namespace core {

// The launchpad's first entry, and the name of the scenario file it starts: Scenarios\(Current
// state).scn, where Orbiter saves the state a simulation session ends in.
inline constexpr char CURRENT_STATE[] = "(Current state)";

// CURRENT_STATE, then every other scenario under Scenarios/ in Orbiter's folder,
// recursively, by its path there without ".scn", backslash-separated, in name order.
std::vector<std::string> FindScenarioEntries(const std::string& orbiterFolder);

} // namespace core
