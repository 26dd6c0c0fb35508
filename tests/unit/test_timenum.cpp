#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "base/timenum.h"

namespace {

// 2025-12-22 10:11:12 UTC
constexpr long long kT = 1766398272LL;
constexpr long long kNs = kT * 1000000000LL + 345678901LL;

} // namespace

TEST(TimenumRead, IntSignHexAndTrailingText) {
    long long v = 99;
    EXPECT_TRUE(intFromStrSet(v, "42abc", false, false));
    EXPECT_EQ(v, 42);
    EXPECT_EQ(intFromStr("0x1F"), 31);
    EXPECT_EQ(intFromStr("-0x10"), -16);
    EXPECT_EQ(intFromStr("+7"), 7);
    EXPECT_EQ(intFromStr("-12"), -12);
    EXPECT_FALSE(intFromStrSet(v, " 7", false, false));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(intFromStrSet(v, "", false, false));
    EXPECT_FALSE(intFromStrSet(v, "-", false, false));
    EXPECT_FALSE(intFromStrSet(v, "0x", false, false));
    EXPECT_FALSE(intFromStrSet(v, "x1", false, false));
    // The hex flag reads hex digits with or without the prefix.
    EXPECT_TRUE(intFromStrSet(v, "fF", true, false));
    EXPECT_EQ(v, 255);
    EXPECT_EQ(intFromStr("0XfF", true), 255);
    EXPECT_EQ(intFromStr("-10", true), -16);
    EXPECT_EQ(intFromCstr("17"), 17);
    EXPECT_FALSE(intFromCstrSet(v, nullptr, false, false));
    unsigned long long u = 0;
    EXPECT_TRUE(uintFromStrSet(u, "0xffffffffffffffff", false, false));
    EXPECT_EQ(u, ULLONG_MAX);
}

TEST(TimenumRead, UnitSuffixes) {
    long long v = 0;
    EXPECT_TRUE(intFromStrSet(v, "4K", false, true));
    EXPECT_EQ(v, 4000);
    EXPECT_EQ(intFromStr("4Ki", false, true), 4096);
    EXPECT_EQ(intFromStr("4k", false, true), 4000);
    EXPECT_EQ(intFromStr("2M", false, true), 2000000);
    EXPECT_EQ(intFromStr("1Gi", false, true), 1073741824);
    EXPECT_EQ(intFromStr("3T", false, true), 3000000000000LL);
    EXPECT_EQ(intFromStr("1Pi", false, true), 1LL << 50);
    EXPECT_EQ(intFromStr("5B", false, true), 5);
    EXPECT_EQ(intFromStr("-2K", false, true), -2000);
    EXPECT_EQ(intFromStr("9E", false, true), 9000000000000000000LL);
    EXPECT_FALSE(intFromStrSet(v, "3X", false, true));
    EXPECT_EQ(v, 3);
    EXPECT_FALSE(intFromStrSet(v, "4KB", false, true));
    EXPECT_EQ(v, 4);
    // Without the units flag the suffix is just trailing text.
    EXPECT_TRUE(intFromStrSet(v, "4K", false, false));
    EXPECT_EQ(v, 4);
    // Products that do not fit fail and leave the value.
    EXPECT_FALSE(intFromStrSet(v, "8Ei", false, true));
    EXPECT_EQ(v, 8);
    EXPECT_FALSE(intFromStrSet(v, "10E", false, true));
    v = 7;
    EXPECT_TRUE(intUnitApplyFromStrSet(v, ""));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(intUnitApplyFromStr(3, "Mi"), 3LL << 20);
    unsigned long long u = 0;
    EXPECT_TRUE(uintFromStrSet(u, "15Ei", false, true));
    EXPECT_EQ(u, 15ULL << 60);
    EXPECT_FALSE(uintFromStrSet(u, "16Ei", false, true));
}

TEST(TimenumRead, OutOfRangeIsFalse) {
    long long v = 0;
    EXPECT_TRUE(intFromStrSet(v, "9223372036854775807", false, false));
    EXPECT_EQ(v, LLONG_MAX);
    EXPECT_TRUE(intFromStrSet(v, "-9223372036854775808", false, false));
    EXPECT_EQ(v, LLONG_MIN);
    EXPECT_FALSE(intFromStrSet(v, "9223372036854775808", false, false));
    EXPECT_EQ(v, LLONG_MAX);
    EXPECT_FALSE(intFromStrSet(v, "-99999999999999999999", false, false));
    EXPECT_EQ(v, LLONG_MIN);
    // Hexadecimal reads a 64-bit pattern.
    EXPECT_TRUE(intFromStrSet(v, "0xFFFFFFFFFFFFFFFF", false, false));
    EXPECT_EQ(v, -1);
    EXPECT_FALSE(intFromStrSet(v, "0x1FFFFFFFFFFFFFFFF", false, false));
    unsigned long long u = 0;
    EXPECT_TRUE(uintFromStrSet(u, "18446744073709551615", false, false));
    EXPECT_EQ(u, ULLONG_MAX);
    EXPECT_FALSE(uintFromStrSet(u, "18446744073709551616", false, false));
}

TEST(TimenumRead, Double) {
    double d = -1;
    EXPECT_TRUE(dblFromStrSet(d, "20.25"));
    EXPECT_DOUBLE_EQ(d, 20.25);
    EXPECT_DOUBLE_EQ(dblFromStr("2e3x"), 2000.0);
    EXPECT_FALSE(dblFromStrSet(d, ""));
    EXPECT_EQ(d, 0.0);
    EXPECT_FALSE(dblFromStrSet(d, "abc"));
    EXPECT_EQ(d, 0.0);
}

TEST(TimenumWrite, IntWidthPadAndSign) {
    EXPECT_EQ(strFromInt(7, 3, '0', false), "007");
    EXPECT_EQ(strFromInt(-7, 4, '0', false), "-007");
    EXPECT_EQ(strFromInt(-7, 3, '0', true), "-007");
    EXPECT_EQ(strFromInt(12345, 3, '0', false), "12345");
    EXPECT_EQ(strFromInt(-12), "-12");
    EXPECT_EQ(strFromInt(LLONG_MIN), "-9223372036854775808");
    EXPECT_EQ(strFromInt(0, 2, '.', false), ".0");
    CxStr1p s("old");
    EXPECT_FALSE(strFromIntSet(s, 5, -1, ' ', false));
    EXPECT_EQ(s, "");
    EXPECT_EQ(strFromUInt(ULLONG_MAX), "18446744073709551615");
    EXPECT_EQ(strFromUInt(42, 5, '0'), "00042");
}

TEST(TimenumWrite, ScaledDecimals) {
    EXPECT_EQ(strFromIntDec(1250000000, 9, 3), "1.250");
    EXPECT_EQ(strFromIntDec(1999999999, 9, 0), "1"); // truncated, not rounded
    EXPECT_EQ(strFromIntDec(-250000000, 9, 3), "-0.250");
    EXPECT_EQ(strFromIntDec(-1250000000, 9, 3, 7, '0'), "-01.250");
    EXPECT_EQ(strFromIntDec(1250000000, 9, 3, 0, ' ', '+'), "+1.250");
    EXPECT_EQ(strFromIntDec(1250000000, 9, 3, 7, ' ', '-'), "1.250  ");
    EXPECT_EQ(strFromIntDec(42, 0, 2), "42.00");
    EXPECT_EQ(strFromIntDec(LLONG_MIN, 9, 9), "-9223372036.854775808");
    char buf[8];
    EXPECT_TRUE(cstrFromIntDecSet(buf, sizeof buf, 1250000000, 9, 3));
    EXPECT_STREQ(buf, "1.250");
    // Too small a buffer: false, and what fits stays terminated.
    EXPECT_FALSE(cstrFromIntDecSet(buf, 4, 1250000000, 9, 3));
    EXPECT_STREQ(buf, "1.2");
    EXPECT_FALSE(cstrFromIntDecSet(buf, sizeof buf, 1, 19, 3));

    EXPECT_EQ(strFromDecimals(5, 9, 3), ".000");
    EXPECT_EQ(strFromDecimals(123456789, 9, 4), ".1234");
    EXPECT_EQ(strFromDecimals(123, 9, 0), "");

    EXPECT_EQ(strFromDbl(1.5, 3), "1.5");
    EXPECT_EQ(strFromDbl(0.1, 30), "0.10000000000000001"); // capped at 17
    CxStr1p s;
    EXPECT_FALSE(strFromDblSet(s, 1.0, -1));
}

TEST(TimenumText, Elapsed) {
    long long const s = 1000000000LL;
    EXPECT_EQ(strElapsed(0, 3600 * s + 2 * 60 * s + 5 * s + s / 2, 3), "01 h 02 m 05.500 s");
    EXPECT_EQ(strElapsed(0, 2 * s), "02 s");
    EXPECT_EQ(strElapsed(0, 86400 * s), "1 d 00 h 00 m 00 s");
    EXPECT_EQ(strElapsed(0, 59999000000LL, 3), "59.999 s");
    EXPECT_EQ(strElapsed(2 * s, 0), "-02 s");
    EXPECT_EQ(strElapsed(10, 10 + s + 1, 12), "01.000000001 s"); // at most 9 decimals
    // The full 64-bit range must neither overflow nor lose digits.
    EXPECT_EQ(strElapsed(LLONG_MIN, LLONG_MAX, 9), "213503 d 23 h 34 m 33.709551615 s");

    EXPECT_EQ(strElapsedBig(0, 75250000000LL, 3), "75.250 sec == 01 m 15.250 s");
    EXPECT_EQ(strElapsedBig(0, 59 * s, 3), "59.000 sec");
    EXPECT_EQ(strElapsedBig(0, -90 * s, 3), "-90.000 sec == -01 m 30.000 s");
    EXPECT_EQ(strElapsedBig(0, -s / 2, 3), "-0.500 sec");

    testing::internal::CaptureStdout();
    EXPECT_TRUE(echoElapsed("took ", 0, 2500000000LL, "!"));
    EXPECT_TRUE(echoElapsed(0, s));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "took 02.500000000 s!\n01.000000000 s\n");
}

TEST(TimenumText, DateTimeModes) {
    char buf[64];
    EXPECT_TRUE(cstrDateTimeFromNsSet(buf, sizeof buf, kNs, 'U', cstrYmdHMS(), 3));
    EXPECT_STREQ(buf, "2025-12-22 10:11:12.345");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', cstrYmdHMS(), 20), "2025-12-22 10:11:12.345678901");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', cstrYmdHMSz(), 1), "2025-12-22 10:11:12.3 +0000");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', "%%S=%S", 2), "%S=12.34");
    // A time just before a whole second still belongs to the second before.
    EXPECT_EQ(strDateTimeFromNs(kT * 1000000000LL - 1, 'U', cstrHMS(), 3), "10:11:11.999");
    // Output longer than the first guess of room.
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', "%B%B%B%B%B%B%B%B%B%B%B%B", 0),
              "DecemberDecemberDecemberDecemberDecemberDecemberDecemberDecember"
              "DecemberDecemberDecemberDecember");

    EXPECT_EQ(strDateTimeFromNs(-1500000000LL, 'S', nullptr, 3), "-1.500");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'S', "", 0), "1766398272");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'S', "", 4), "1766398272.3456");

    CxStr1p s("x");
    EXPECT_FALSE(strDateTimeFromNsSet(s, kNs, 'X', cstrYmdHMS(), 3));
    EXPECT_EQ(s, "");
    EXPECT_FALSE(cstrDateTimeFromNsSet(buf, 10, kNs, 'U', cstrYmdHMS(), 3));
    EXPECT_STREQ(buf, "");

    // Local time: the zone is the machine's, so only the shape is fixed.
    CxStr1p loc = strDateTimeFromNs(kNs, 'L', cstrYmdHMS(), 3);
    ASSERT_EQ(loc.len, 23);
    EXPECT_EQ(loc.getAt(4), '-');
    EXPECT_EQ(loc.getAt(19), '.');
    EXPECT_STREQ(loc.c_str() + 20, "345");
}

TEST(TimenumCalendar, BrokenDownTimes) {
    tm t;
    ASSERT_TRUE(timeTMFromNs(t, kNs, 'U'));
    EXPECT_EQ(t.tm_year, 125);
    EXPECT_EQ(t.tm_mon, 11);
    EXPECT_EQ(t.tm_mday, 22);
    EXPECT_EQ(t.tm_hour, 10);
    EXPECT_EQ(t.tm_min, 11);
    EXPECT_EQ(t.tm_sec, 12);
    EXPECT_EQ(t.tm_wday, 1);
    EXPECT_EQ(mkTimeUtcSECFromTM(t), kT);
    EXPECT_EQ(mkTimeSECFromTM(t, 'U'), kT);
    EXPECT_EQ(mkTimeNsFromTM(t, 'U'), kT * 1000000000LL);

    timespec ts = timeTSFromNs(kNs);
    ASSERT_TRUE(timeTMFromTS(t, ts, 'U'));
    EXPECT_EQ(t.tm_sec, 12);

    // Fields out of range are carried over.
    timeInitTM(t);
    EXPECT_EQ(t.tm_isdst, -1);
    EXPECT_EQ(t.tm_mday, 0);
    t.tm_year = 125;
    t.tm_mon = 11;
    t.tm_mday = 32;
    EXPECT_EQ(mkTimeUtcSECFromTM(t), 1767225600LL); // 2026-01-01
    EXPECT_EQ(t.tm_mon, 0);

    ASSERT_TRUE(timeTMFromYmdHMS(t, "1970-01-01 00:00:00"));
    EXPECT_EQ(mkTimeUtcSECFromTM(t), 0);
    ASSERT_TRUE(timeTMFromYmdHMS(t, "1987-01-02 11:22:44"));
    EXPECT_EQ(mkTimeUtcSECFromTM(t), 536584964LL);
    EXPECT_FALSE(timeTMFromYmdHMS(t, "1987-01-02"));

    // Local time round trip, whatever the zone.
    ASSERT_TRUE(timeTMFromSec(t, kT, 'L'));
    EXPECT_EQ(mkTimeSECFromTM(t, 'L'), kT);
    EXPECT_GT(timeLocalOffsetSec(), -16 * 3600);
    EXPECT_LT(timeLocalOffsetSec(), 16 * 3600);
}

TEST(TimenumCalendar, DaysAndDates) {
    struct Case {
        long long y;
        int m, d;
        long long days;
    };
    // Leap rules of 4, 100 and 400 years, and dates before 1970.
    Case const cases[] = {
        {1970, 1, 1, 0},         {1969, 12, 31, -1},    {2000, 2, 29, 11016},
        {2000, 3, 1, 11017},     {1900, 2, 28, -25509}, {1900, 3, 1, -25508},
        {1600, 2, 29, -135081},  {2025, 12, 22, 20444}, {1, 1, 1, -719162},
        {9999, 12, 31, 2932896},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(timeDaysFromYmd(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
        long long y = 0;
        int m = 0, d = 0;
        timeYmdFromDays(c.days, y, m, d);
        EXPECT_EQ(y, c.y) << c.days;
        EXPECT_EQ(m, c.m) << c.days;
        EXPECT_EQ(d, c.d) << c.days;
    }
    // Every day of four centuries maps back to itself, one day after another.
    long long py = 0;
    int pm = 0, pd = 0;
    timeYmdFromDays(-146098, py, pm, pd);
    for (long long z = -146097; z <= 146097; z++) {
        long long y;
        int m, d;
        timeYmdFromDays(z, y, m, d);
        ASSERT_EQ(timeDaysFromYmd(y, m, d), z);
        ASSERT_TRUE((y == py && m == pm && d == pd + 1) || (y == py && m == pm + 1 && d == 1) ||
                    (y == py + 1 && m == 1 && pm == 12 && d == 1))
            << z;
        py = y, pm = m, pd = d;
    }
}

TEST(TimenumClock, ClocksAndConversions) {
    EXPECT_GT(timeRealNs(), 1577836800LL * 1000000000LL); // after 2020
    long long b0 = timeBootNs();
    long long c0 = timeCpuNs();
    volatile unsigned long long x = 0;
    while (timeBootNs() - b0 < 60000000LL)
        x = x + 1; // burn 60 ms
    EXPECT_GT(timeBootNs(), b0);
    EXPECT_GT(timeCpuNs(), c0);
    timespec ts;
    EXPECT_TRUE(timeRealTS(ts));
    EXPECT_GE(ts.tv_nsec, 0);

    long long prev = timeAppGetBootRef();
    EXPECT_GT(prev, 0);
    EXPECT_TRUE(timeAppInitBootRef(12345));
    EXPECT_EQ(timeAppGetBootRef(), 12345);
    EXPECT_TRUE(timeAppInitBootRef(0)); // already set: unchanged
    EXPECT_EQ(timeAppGetBootRef(), 12345);
    EXPECT_GE(timeAppNs(), timeBootNs() - 12345 - 1000000000LL);
    timeAppInitBootRef(prev);
    EXPECT_GE(timeAppNs(), 0);

    EXPECT_EQ(timeElapsed(5, 3), -2);
    ts = timeTSFromNs(-1);
    EXPECT_EQ((long long)ts.tv_sec, -1);
    EXPECT_EQ((long long)ts.tv_nsec, 999999999);
    EXPECT_EQ(timeNsFromTS(ts), -1);
    EXPECT_EQ(timeElapsed(timeTSFromNs(0), timeTSFromNs(1500)), 1500);
    EXPECT_EQ(timeNsFromSec(3), 3000000000LL);
    EXPECT_EQ(timeSecFromNs(3999999999LL), 3);
    EXPECT_EQ(timeNsFromDbl(1.5), 1500000000LL);
    EXPECT_EQ(timeNsFromDbl(1e300), LLONG_MAX);
    EXPECT_EQ(timeNsFromDbl(std::nan("")), 0);
    EXPECT_DOUBLE_EQ(timeDblFromNs(2500000000LL), 2.5);
}

TEST(TimenumClock, Sleeping) {
    EXPECT_FALSE(sleepNs(-1));
    EXPECT_FALSE(sleepUs(-1));
    EXPECT_FALSE(sleepMs(-1));
    EXPECT_FALSE(sleepSecDbl(-0.5));
    EXPECT_FALSE(waitSecDbl(-0.5));
    EXPECT_FALSE(waitSecDbl(std::nan("")));
    EXPECT_TRUE(waitSecDbl(0));
    EXPECT_TRUE(sleepNs(0));

    long long t0 = timeBootNs();
    EXPECT_TRUE(sleepMs(20));
    long long t1 = timeBootNs();
    EXPECT_GE(t1 - t0, 15000000LL);
    EXPECT_LT(t1 - t0, 2000000000LL);
    EXPECT_TRUE(sleepUs(2000));
    EXPECT_TRUE(sleepSecDbl(0.002));
    // waitSecDbl checks the monotonic clock, so the duration is a lower bound.
    t0 = timeBootNs();
    EXPECT_TRUE(waitSecDbl(0.03));
    EXPECT_GE(timeBootNs() - t0, 30000000LL);
}
