#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/timenum.h"

namespace {

// 2025-12-22 10:11:12 UTC
constexpr long long kT = 1766398272LL;
constexpr long long kNs = kT * 1000000000LL + 345678901LL;

} // namespace

// Signs, hexadecimal, unit suffixes (powers of ten, "i" powers of two) and
// the ends of the range; a failed read keeps what it read so far.
TEST(TimenumRead, IntegersWithUnitsAndRange) {
    struct Row {
        char const* text;
        bool hex, units, ok;
        long long want;
    } const rows[] = {
        {"42abc", false, false, true, 42},
        {"0x1F", false, false, true, 31},
        {"-0x10", false, false, true, -16},
        {"+7", false, false, true, 7},
        {" 7", false, false, false, 0},
        {"", false, false, false, 0},
        {"-", false, false, false, 0},
        {"0x", false, false, false, 0},
        {"fF", true, false, true, 255},
        {"-10", true, false, true, -16},
        {"4K", false, true, true, 4000},
        {"4Ki", false, true, true, 4096},
        {"1Gi", false, true, true, 1073741824},
        {"1Pi", false, true, true, 1LL << 50},
        {"-2K", false, true, true, -2000},
        {"9E", false, true, true, 9000000000000000000LL},
        {"3X", false, true, false, 3},
        {"4KB", false, true, false, 4},
        {"4K", false, false, true, 4},
        {"8Ei", false, true, false, 8},
        {"9223372036854775807", false, false, true, LLONG_MAX},
        {"-9223372036854775808", false, false, true, LLONG_MIN},
        {"9223372036854775808", false, false, false, LLONG_MAX},
        {"-99999999999999999999", false, false, false, LLONG_MIN},
        {"0xFFFFFFFFFFFFFFFF", false, false, true, -1},
        {"0x1FFFFFFFFFFFFFFFF", false, false, false, LLONG_MAX},
    };
    for (auto const& r : rows) {
        long long v = 99;
        EXPECT_EQ(intFromStrSet(v, r.text, r.hex, r.units), r.ok) << r.text;
        EXPECT_EQ(v, r.want) << r.text;
    }
    unsigned long long u = 0;
    EXPECT_TRUE(uintFromStrSet(u, "18446744073709551615", false, false) && u == ULLONG_MAX);
    EXPECT_FALSE(uintFromStrSet(u, "18446744073709551616", false, false));
    EXPECT_TRUE(uintFromStrSet(u, "15Ei", false, true) && !uintFromStrSet(u, "16Ei", false, true));
    double d = -1;
    EXPECT_TRUE(dblFromStrSet(d, "20.25") && d == 20.25 && !dblFromStrSet(d, "abc"));
}

TEST(TimenumWrite, IntegersAndScaledDecimals) {
    EXPECT_EQ(strFromInt(-7, 4, '0', false), "-007");
    EXPECT_EQ(strFromInt(-7, 3, '0', true), "-007");
    EXPECT_EQ(strFromInt(LLONG_MIN), "-9223372036854775808");
    EXPECT_EQ(strFromUInt(ULLONG_MAX), "18446744073709551615");
    EXPECT_EQ(strFromIntDec(1999999999, 9, 0), "1"); // truncated, not rounded
    EXPECT_EQ(strFromIntDec(-250000000, 9, 3), "-0.250");
    EXPECT_EQ(strFromIntDec(-1250000000, 9, 3, 7, '0'), "-01.250");
    EXPECT_EQ(strFromIntDec(LLONG_MIN, 9, 9), "-9223372036.854775808");
    char buf[8];
    // Too small a buffer: false, and what fits stays terminated.
    EXPECT_FALSE(cstrFromIntDecSet(buf, 4, 1250000000, 9, 3));
    EXPECT_STREQ(buf, "1.2");
    EXPECT_EQ(strFromDbl(0.1, 30), "0.10000000000000001"); // capped at 17
}

TEST(TimenumText, Elapsed) {
    long long const s = 1000000000LL;
    struct {
        long long from, to;
        int decimals;
        char const* want;
    } const rows[] = {
        {0, 3600 * s + 2 * 60 * s + 5 * s + s / 2, 3, "01 h 02 m 05.500 s"},
        {0, 86400 * s, 0, "1 d 00 h 00 m 00 s"},
        {0, 59999000000LL, 3, "59.999 s"},
        {2 * s, 0, 0, "-02 s"},
        {10, 10 + s + 1, 12, "01.000000001 s"},
        // The full 64-bit range must neither overflow nor lose digits.
        {LLONG_MIN, LLONG_MAX, 9, "213503 d 23 h 34 m 33.709551615 s"},
    };
    for (auto const& r : rows)
        EXPECT_EQ(strElapsed(r.from, r.to, r.decimals), r.want);
    EXPECT_EQ(strElapsedBig(0, 75250000000LL, 3), "75.250 sec == 01 m 15.250 s");
    EXPECT_EQ(strElapsedBig(0, -90 * s, 3), "-90.000 sec == -01 m 30.000 s");
}

TEST(TimenumText, DateTimeModes) {
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', cstrYmdHMS(), 20), "2025-12-22 10:11:12.345678901");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', cstrYmdHMSz(), 1), "2025-12-22 10:11:12.3 +0000");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', "%%S=%S", 2), "%S=12.34");
    // A time just before a whole second still belongs to the second before.
    EXPECT_EQ(strDateTimeFromNs(kT * 1000000000LL - 1, 'U', cstrHMS(), 3), "10:11:11.999");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', "%B%B%B%B%B%B%B%B", 0),
              "DecemberDecemberDecemberDecemberDecemberDecemberDecemberDecember");
    EXPECT_EQ(strDateTimeFromNs(-1500000000LL, 'S', nullptr, 3), "-1.500");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'S', "", 4), "1766398272.3456");
    char buf[64];
    EXPECT_FALSE(cstrDateTimeFromNsSet(buf, 10, kNs, 'U', cstrYmdHMS(), 3));
    EXPECT_STREQ(buf, "");
    // Local time: the zone is the machine's, so only the shape is fixed.
    CxStr1p loc = strDateTimeFromNs(kNs, 'L', cstrYmdHMS(), 3);
    ASSERT_EQ(loc.len, 23);
    EXPECT_STREQ(loc.c_str() + 20, "345");
}

TEST(TimenumCalendar, BrokenDownTimes) {
    tm t;
    ASSERT_TRUE(timeTMFromNs(t, kNs, 'U'));
    EXPECT_EQ((std::vector<int>{t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                                t.tm_wday}),
              (std::vector<int>{125, 11, 22, 10, 11, 12, 1}));
    EXPECT_EQ(mkTimeUtcSECFromTM(t), kT);
    // Fields out of range are carried over.
    timeInitTM(t);
    t.tm_year = 125, t.tm_mon = 11, t.tm_mday = 32;
    EXPECT_EQ(mkTimeUtcSECFromTM(t), 1767225600LL); // 2026-01-01
    ASSERT_TRUE(timeTMFromYmdHMS(t, "1987-01-02 11:22:44"));
    EXPECT_EQ(mkTimeUtcSECFromTM(t), 536584964LL);
    EXPECT_FALSE(timeTMFromYmdHMS(t, "1987-01-02"));
    // Local time round trip, whatever the zone.
    ASSERT_TRUE(timeTMFromSec(t, kT, 'L'));
    EXPECT_EQ(mkTimeSECFromTM(t, 'L'), kT);
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
        EXPECT_EQ((std::vector<long long>{y, m, d}), (std::vector<long long>{c.y, c.m, c.d}));
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

TEST(TimenumClock, Conversions) {
    timespec ts = timeTSFromNs(-1);
    EXPECT_TRUE(ts.tv_sec == -1 && ts.tv_nsec == 999999999 && timeNsFromTS(ts) == -1);
    EXPECT_EQ(timeSecFromNs(3999999999LL), 3);
    EXPECT_TRUE(timeNsFromDbl(1e300) == LLONG_MAX && timeNsFromDbl(std::nan("")) == 0);
    // waitSecDbl checks the monotonic clock, so the duration is a lower bound.
    long long t0 = timeBootNs();
    EXPECT_TRUE(waitSecDbl(0.03));
    EXPECT_GE(timeBootNs() - t0, 30000000LL);
    EXPECT_FALSE(waitSecDbl(std::nan("")));
}
