#include <windows.h>

#include <climits>
#include <cstring>
#include <ctime>

#include "base/timenum.h"
#include "base/timenum_sys.h"

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr long long kFileTimeEpoch = 116444736000000000LL;

long long fileTime100ns(FILETIME const& ft) {
    return (long long)(((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}

// Largest time the runtime's 64-bit calendar functions accept (3000-12-31).
constexpr long long kWinMaxSec = 32535215999LL;

} // namespace

static long long osTimeRealNs() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    return (fileTime100ns(ft) - kFileTimeEpoch) * 100;
}

static long long osTimeBootNs() {
    static long long const freq = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? (long long)f.QuadPart : 0LL;
    }();
    LARGE_INTEGER c;
    if (freq < 1 || !QueryPerformanceCounter(&c)) return 0;
    long long v = c.QuadPart;
    // Split so that the multiplication cannot overflow.
    return v / freq * 1000000000LL + v % freq * 1000000000LL / freq;
}

static long long osTimeCpuNs() {
    FILETIME c, e, k, u;
    if (!GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u)) return 0;
    return (fileTime100ns(k) + fileTime100ns(u)) * 100;
}

static bool osSleepNs(long long ns) {
    // A high-resolution waitable timer sleeps below the 15.6 ms scheduler tick;
    // older systems fall back to a plain timer, then to Sleep.
    HANDLE h = CreateWaitableTimerExW(nullptr, nullptr, 0x00000002 /* high resolution */,
                                      TIMER_ALL_ACCESS);
    if (!h) h = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (h) {
        LARGE_INTEGER due;
        due.QuadPart = -(ns / 100 + (ns % 100 ? 1 : 0)); // negative: relative
        bool ok = SetWaitableTimer(h, &due, 0, nullptr, nullptr, FALSE) &&
                  WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0;
        CloseHandle(h);
        if (ok) return true;
    }
    long long ms = ns / 1000000 + (ns % 1000000 ? 1 : 0);
    if (ms == 0) Sleep(0);
    while (ms > 0) { // Sleep takes 32 bits and INFINITE is reserved
        DWORD part = ms > 0x7fffffffLL ? 0x7fffffffUL : (DWORD)ms;
        Sleep(part);
        ms -= part;
    }
    return true;
}

static bool osTimeTMFromSec(tm& out, long long sec, bool local) {
    // Out of range the runtime would call its invalid-parameter handler.
    if (sec < 0 || sec > kWinMaxSec) return false;
    __time64_t t = (__time64_t)sec;
    return (local ? _localtime64_s(&out, &t) : _gmtime64_s(&out, &t)) == 0;
}

static bool osCstrFormatTM(char* buf, long long bufSize, char const* format, tm const& t) {
    // The runtime's strftime aborts through its invalid-parameter handler on
    // conversions it does not know and on fields out of range: check first,
    // and spell out the common C99 shorthands it lacks.
    if (t.tm_sec < 0 || t.tm_sec > 61 || t.tm_min < 0 || t.tm_min > 59 || t.tm_hour < 0 ||
        t.tm_hour > 23 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_mon < 0 || t.tm_mon > 11 ||
        t.tm_year < -1900 || t.tm_year > 8099 || t.tm_wday < 0 || t.tm_wday > 6 || t.tm_yday < 0 ||
        t.tm_yday > 365)
        return false;
    CxStr1p fmt;
    for (char const* p = format; *p; p++) {
        bool ok = true;
        if (*p != '%') {
            ok = fmt.addVal(*p);
        } else {
            char const* q = p + 1;
            bool alt = *q == '#';
            if (alt) q++;
            char c = *q;
            if (c && strchr("aAbBcdHIjmMpSUwWxXyYzZ%", c)) {
                ok = fmt.addCstr(p, q - p + 1);
            } else if (!alt && c == 'F') {
                ok = fmt.addCstr("%Y-%m-%d");
            } else if (!alt && c == 'T') {
                ok = fmt.addCstr("%H:%M:%S");
            } else if (!alt && c == 'D') {
                ok = fmt.addCstr("%m/%d/%y");
            } else if (!alt && c == 'R') {
                ok = fmt.addCstr("%H:%M");
            } else {
                return false;
            }
            p = q;
        }
        if (!ok) return false;
    }
    size_t cap = bufSize > (long long)INT_MAX ? (size_t)INT_MAX : (size_t)bufSize;
    if (strftime(buf, cap, fmt.c_str(), &t) > 0) return true;
    buf[0] = 0;
    return false;
}

static long long osMkTimeLocalSEC(tm& t) {
    return (long long)_mktime64(&t);
}

// The runtime has no UTC conversion of its own here: convert as local
// standard time and add the zone's offset back.
static long long osMkTimeUtcSEC(tm& t) {
    t.tm_isdst = 0;
    long long r = (long long)_mktime64(&t);
    if (r == -1) return -1;
    return r + timeLocalOffsetSec();
}

static long long osTimeLocalOffsetRead() {
    tm t;
    timeTMFromYmdHMS(t, "1987-01-02 11:22:44");
    _mktime64(&t); // makes the runtime read its zone setting
    return -(long long)_timezone;
}

TimeSys const& timeSys() {
    static constexpr TimeSys kSys = {osTimeRealNs,     osTimeBootNs,    osTimeCpuNs,
                                     osSleepNs,        osTimeTMFromSec, osCstrFormatTM,
                                     osMkTimeLocalSEC, osMkTimeUtcSEC,  osTimeLocalOffsetRead};
    return kSys;
}
