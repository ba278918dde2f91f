// The entries of the launchpad's scenario tree, as both test hosts list them.
#pragma once

#include <string>
#include <vector>

namespace core {

// "(Current state)", then every other scenario under Scenarios/ in Orbiter's folder,
// recursively, by its path there without ".scn", backslash-separated, in name order.
std::vector<std::string> FindScenarioEntries(const std::string& orbiterFolder);

} // namespace core
