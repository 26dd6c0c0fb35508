#include "base/timenum.h"
#include "base/timenum_sys.h"

#include <cerrno>
#include <climits>
#include <ctime>

namespace {

long long clockNs(clockid_t id) {
    timespec ts{};
    if (clock_gettime(id, &ts) != 0) return 0;
    return timeNsFromTS(ts);
}

} // namespace

static long long osTimeRealNs() {
    return clockNs(CLOCK_REALTIME);
}
static long long osTimeBootNs() {
    return clockNs(CLOCK_MONOTONIC);
}
static long long osTimeCpuNs() {
    return clockNs(CLOCK_PROCESS_CPUTIME_ID);
}

static bool osSleepNs(long long ns) {
    timespec ts;
    timeTSFromNsSet(ts, ns);
    return nanosleep(&ts, nullptr) == 0;
}

static bool osTimeTMFromSec(tm& out, long long sec, bool local) {
    time_t t = (time_t)sec;
    return (local ? localtime_r(&t, &out) : gmtime_r(&t, &out)) != nullptr;
}

static bool osCstrFormatTM(char* buf, long long bufSize, char const* format, tm const& t) {
    size_t cap = bufSize > (long long)INT_MAX ? (size_t)INT_MAX : (size_t)bufSize;
    if (strftime(buf, cap, format, &t) > 0) return true;
    buf[0] = 0;
    return false;
}

static long long osMkTimeLocalSEC(tm& t) {
    return (long long)mktime(&t);
}

// The C library knows the zone's history; timegm is exact for every date.
static long long osMkTimeUtcSEC(tm& t) {
    return (long long)timegm(&t);
}

static long long osTimeLocalOffsetRead() {
    tm t;
    timeTMFromYmdHMS(t, "1987-01-02 11:22:44");
    mktime(&t); // makes the library read its zone setting
    return -(long long)timezone;
}

TimeSys const& timeSys() {
    static constexpr TimeSys kSys = {osTimeRealNs,     osTimeBootNs,    osTimeCpuNs,
                                     osSleepNs,        osTimeTMFromSec, osCstrFormatTM,
                                     osMkTimeLocalSEC, osMkTimeUtcSEC,  osTimeLocalOffsetRead};
    return kSys;
}
