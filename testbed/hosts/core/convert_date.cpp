#include "testbed/hosts/core/convert_date.h"

#include <cstdio>
#include <cstring>

namespace core {

std::int32_t ConvertDate(const char* date) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char month[4] = {};
    int day = 0;
    int year = 0;
    if (date == nullptr || std::sscanf(date, "%3s %d %d", month, &day, &year) != 3) {
        return 0;
    }
    for (int m = 0; m < 12; ++m) {
        if (std::strcmp(month, months[m]) == 0 && day >= 1 && day <= 31 && year > 0) {
            return (year % 100) * 10000 + (m + 1) * 100 + day;
        }
    }
    return 0;
}

} // namespace core
