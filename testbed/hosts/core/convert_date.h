// Orbiter's conversion of a date to an integer, as both test hosts provide it: the year's last
// two digits, the month from 1 and the day, as Orbiter's log prints a module's version (060425).
#pragma once

#include <cstdint>

namespace core {

// "Apr 25 2006" becomes 60425; anything that is not such a date becomes 0.
std::int32_t ConvertDate(const char* date);

} // namespace core
