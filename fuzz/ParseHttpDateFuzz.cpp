// Fuzz target for ParseHttpDate on arbitrary texts, then the day count both ways and the written form;
// a parsed date with a day count must come back from DaysToTime with the same day count.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/StringBuffer.h"
#include "http/DateParser.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    DateParser dp;
    CalendarTime t;
    StringBuffer text;
    if (dp.ParseHttpDate(input.c_str(), t)) {
        dp.FormatHttpDate(t, text);
        double days = dp.TimeToDays(t);
        if (days != 0.0) {
            CalendarTime back;
            dp.DaysToTime(days, back);
            if (dp.TimeToDays(back) != days) {
                std::abort();
            }
        }
    }
    if (size >= 8) {
        double days = 0;
        __builtin_memcpy(&days, data, sizeof(days));
        CalendarTime any;
        dp.DaysToTime(days, any);
        dp.FormatHttpDate(any, static_cast<int32_t>(data[0]) * 7 - 900, text);
        dp.TimeToDays(any);
    }
    return 0;
}
