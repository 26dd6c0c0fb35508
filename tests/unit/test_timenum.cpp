#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "base/timenum.h"

namespace {

// 2025-12-22 10:11:12 UTC
constexpr long long kT = 1766398272LL;
constexpr long long kNs = kT * 1000000000LL + 345678901LL;

} // namespace

// Signs, a "0x" prefix and the ends of the range; a failed read keeps what it
// read so far.
TEST(TimenumRead, IntegersAndRange) {
    struct Row {
        char const* text;
        bool ok;
        long long want;
    } const rows[] = {
        {"42abc", true, 42},
        {"0x1F", true, 31},
        {"-0x10", true, -16},
        {"+7", true, 7},
        {" 7", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"0x", false, 0},
        {"4K", true, 4},
        {"9223372036854775807", true, LLONG_MAX},
        {"-9223372036854775808", true, LLONG_MIN},
        {"9223372036854775808", false, LLONG_MAX},
        {"-99999999999999999999", false, LLONG_MIN},
        {"0xFFFFFFFFFFFFFFFF", true, -1},
        {"0x1FFFFFFFFFFFFFFFF", false, LLONG_MAX},
    };
    for (auto const& r : rows) {
        long long v = 99;
        EXPECT_EQ(intFromStrSet(v, r.text, false, false), r.ok) << r.text;
        EXPECT_EQ(v, r.want) << r.text;
    }
    double d = -1;
    EXPECT_TRUE(dblFromStrSet(d, "20.25") && d == 20.25 && !dblFromStrSet(d, "abc"));
}

TEST(TimenumWrite, IntegersAndScaledDecimals) {
    EXPECT_EQ(strFromInt(LLONG_MIN), "-9223372036854775808");
    EXPECT_EQ(strFromIntDec(1999999999, 9, 0), "1"); // truncated, not rounded
    EXPECT_EQ(strFromIntDec(-250000000, 9, 3), "-0.250");
    EXPECT_EQ(strFromIntDec(LLONG_MIN, 9, 9), "-9223372036.854775808");
    char buf[8];
    // Too small a buffer: false, and what fits stays terminated.
    EXPECT_FALSE(cstrFromIntDecSet(buf, 4, 1250000000, 9, 3));
    EXPECT_STREQ(buf, "1.2");
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
    // A time just before a whole second still belongs to the second before.
    EXPECT_EQ(strDateTimeFromNs(kT * 1000000000LL - 1, 'U', cstrHMS(), 3), "10:11:11.999");
    EXPECT_EQ(strDateTimeFromNs(kNs, 'U', "%B%B%B%B%B%B%B%B", 0),
              "DecemberDecemberDecemberDecemberDecemberDecemberDecemberDecember");
    char buf[64];
    EXPECT_FALSE(cstrDateTimeFromNsSet(buf, 10, kNs, 'U', cstrYmdHMS(), 3));
    EXPECT_STREQ(buf, "");
    // Local time: the zone is the machine's, so only the shape is fixed.
    CxStr1p loc = strDateTimeFromNs(kNs, 'L', cstrYmdHMS(), 3);
    ASSERT_EQ(loc.len, 23);
    EXPECT_STREQ(loc.c_str() + 20, "345");
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
    EXPECT_TRUE(timeNsFromDbl(1e300) == LLONG_MAX && timeNsFromDbl(std::nan("")) == 0);
}
