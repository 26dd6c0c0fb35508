// The platform half of base/timenum: clocks, sleeping and the C library's
// calendar, one table per platform. timenum.cpp checks arguments first.
#pragma once

#include <ctime>

struct TimeSys {
    long long (*timeRealNs)();
    long long (*timeBootNs)();
    long long (*timeCpuNs)();
    bool (*sleepNs)(long long ns); // ns >= 0
    bool (*timeTMFromSec)(tm& out, long long sec, bool local);
    // buf and format not null, bufSize > 0, format not empty.
    bool (*cstrFormatTM)(char* buf, long long bufSize, char const* format, tm const& t);
    long long (*mkTimeLocalSEC)(tm& t);
    long long (*mkTimeUtcSEC)(tm& t);
    long long (*timeLocalOffsetRead)();
};

TimeSys const& timeSys();
