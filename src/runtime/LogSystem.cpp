#include "runtime/LogSystem.h"

#include <cstdio>
#include <cstdlib>

namespace imconf {

namespace {

std::string FormatTimeStamp(const std::tm& local, int millis, long offsetMinutes)
{
    const int offset = static_cast<int>(std::labs(offsetMinutes) % (24 * 60));
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, millis % 1000, offsetMinutes < 0 ? '-' : '+',
                  offset / 60, offset % 60);
    return text;
}

}  // namespace

std::string LocalTimeStamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto second = floor<seconds>(time);
    const std::time_t whole =
        system_clock::to_time_t(time_point_cast<system_clock::duration>(second));
    const auto millis = duration_cast<milliseconds>(time - second);
    const LocalTime local = ToLocalTime(whole);
    return FormatTimeStamp(local.fields, static_cast<int>(millis.count()), local.offsetMinutes);
}

}  // namespace imconf
