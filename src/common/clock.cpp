#include "tavlo/clock.h"

#include <ctime>

namespace {
constexpr double UnixEpochDays = 25569.0; // 1970-01-01 as a date-time
}

double DateTimeFromLocalUnixSeconds(double localSeconds) {
    return UnixEpochDays + localSeconds / SecondsPerDay;
}

double Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    const double localSeconds =
        static_cast<double>(ts.tv_sec + local.tm_gmtoff) + static_cast<double>(ts.tv_nsec) * 1e-9;
    return DateTimeFromLocalUnixSeconds(localSeconds);
}
