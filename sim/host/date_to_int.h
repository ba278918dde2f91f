// Orbiter's conversion of a date to an integer, as both test hosts provide it.
#pragma once

#include <cstdint>

namespace sim {

// "Apr 25 2006" becomes 20060425; anything that is not such a date becomes 0.
std::int32_t ConvertDate(const char* date);

} // namespace sim
