#include "base/timenum.h"

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

long long timeRealNs_OnPosix() {
    return clockNs(CLOCK_REALTIME);
}
long long timeBootNs_OnPosix() {
    return clockNs(CLOCK_MONOTONIC);
}
long long timeCpuNs_OnPosix() {
    return clockNs(CLOCK_PROCESS_CPUTIME_ID);
}

long long timeRealNs() {
    return timeRealNs_OnPosix();
}
long long timeBootNs() {
    return timeBootNs_OnPosix();
}
long long timeCpuNs() {
    return timeCpuNs_OnPosix();
}

bool sleepNs_OnPosix(long long ns) {
    timespec ts;
    timeTSFromNsSet(ts, ns);
    return nanosleep(&ts, nullptr) == 0;
}

bool sleepNs(long long ns) {
    if (ns < 0) return false;
    return sleepNs_OnPosix(ns);
}

bool timeTMFromSec_OnPosix(tm& out, long long sec, bool local) {
    time_t t = (time_t)sec;
    return (local ? localtime_r(&t, &out) : gmtime_r(&t, &out)) != nullptr;
}

bool timeTMFromSec(tm& out, long long sec, char mode) {
    return timeTMFromSec_OnPosix(out, sec, mode == 'L');
}

bool cstrFormatTM_OnPosix(char* buf, long long bufSize, char const* format, tm const& t) {
    size_t cap = bufSize > (long long)INT_MAX ? (size_t)INT_MAX : (size_t)bufSize;
    if (strftime(buf, cap, format, &t) > 0) return true;
    buf[0] = 0;
    return false;
}

bool cstrFormatTM(char* buf, long long bufSize, char const* format, tm const& t) {
    if (!buf || bufSize < 1) return false;
    buf[0] = 0;
    if (!format) return false;
    if (!*format) return true;
    return cstrFormatTM_OnPosix(buf, bufSize, format, t);
}

long long mkTimeLocalSEC_OnPosix(tm& t) {
    return (long long)mktime(&t);
}

// The C library knows the zone's history; timegm is exact for every date.
long long mkTimeUtcSEC_OnPosix(tm& t) {
    return (long long)timegm(&t);
}

long long mkTimeLocalSEC(tm& t) {
    return mkTimeLocalSEC_OnPosix(t);
}
long long mkTimeUtcSEC(tm& t) {
    return mkTimeUtcSEC_OnPosix(t);
}

long long timeLocalOffsetRead_OnPosix() {
    tm t;
    timeTMFromYmdHMS(t, "1987-01-02 11:22:44");
    mktime(&t); // makes the library read its zone setting
    return -(long long)timezone;
}

long long timeLocalOffsetRead() {
    return timeLocalOffsetRead_OnPosix();
}
