#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/log.h"

namespace {

// Routes the logger into a capture buffer only, after loading a preset, and
// restores the previous record afterwards.
class LogCap {
  public:
    explicit LogCap(long long size = 1 << 16) : saved_(logGetConf()), buf_((size_t)size, 'Z') {
        logConfPassLevel(0);
        logConfThreadSync(false);
        logInitTimeImportant("vorn | src");
        install(0);
    }
    ~LogCap() { logConf(saved_, 0); }
    bool install(long long keepLen) {
        LogConf c = logGetConf();
        c.fsAll = nullptr;
        c.capBuf = buf_.data();
        c.capCap = (long long)buf_.size();
        return logConf(c, keepLen);
    }
    std::string text() const { return std::string(buf_.data()); }
    char* data() { return buf_.data(); }

  private:
    LogConf saved_;
    std::vector<char> buf_;
};

} // namespace

// Levels pick the prefix, trailing blanks go, hidden lines and bare line ends
// are not counted; a pass level hides what is below it.
TEST(LogLine, PrefixesCountsAndPassLevel) {
    LogCap cap;
    EXPECT_TRUE(logPrint(2, "bad %i", 5));
    EXPECT_TRUE(logPrint(0, "info"));
    EXPECT_TRUE(logPrint(1, "warn  \t "));
    EXPECT_TRUE(logPrint(0, ""));
    EXPECT_TRUE(logPrint(-1, "hidden"));
    EXPECT_FALSE(logPrint(0, nullptr));
    EXPECT_EQ(cap.text(), "!! vorn | src | bad 5\n~~ vorn | src | info\n!_ vorn | src | warn\n\n");
    EXPECT_TRUE(logGetCount(0) == 1 && logGetCount(2) == 1 && logGetCount(-1) == 0);

    LogCap cap2;
    logConfPassLevel(3);
    EXPECT_TRUE(logPrint(2, "not shown") && logGetCount(2) == 0);
    EXPECT_TRUE(logPrint(3, "shown"));
    EXPECT_EQ(cap2.text().substr(0, 3), "~_ ");
    // A preset zeroes counters but keeps the pass level.
    logInitTimeNone("n");
    EXPECT_TRUE(logGetPassLevel() == 3 && logGetCount(3) == 0);
    logConfPassLevel(0);
    logZero();
    EXPECT_FALSE(logPrint(2, "nowhere"));
}

// Numbered lines are cut to the line buffer (a plain cut line is an e2e case,
// options.py); a full capture buffer refuses further lines.
TEST(LogLine, OverlongLinesAndFullBuffer) {
    LogCap cap2;
    logPrintLines(2, "T", std::string(5000, 'w').c_str(), "", false);
    EXPECT_EQ(cap2.text(), "\n!! vorn | src | T (1) " + std::string(4094 - 22, 'w') + "\n\n");

    LogCap small(32);
    EXPECT_FALSE(logPrint(2, "0123456789012345678901234567890123"));
    EXPECT_TRUE(logGetStat().capLen == 31 && small.data()[31] == 0);
    EXPECT_FALSE(logPrint(0, "more"));
    EXPECT_EQ(logGetStat().capLen, 31);
    // keepLen keeps a prefix of what the buffer holds; one outside it drops it.
    std::strcpy(small.data(), "hello world");
    EXPECT_TRUE(small.install(5));
    logPrint(0, "x");
    EXPECT_EQ(small.text(), "hello~~ vorn | src | x\n");
    EXPECT_TRUE(!small.install(32) && logGetConf().capBuf == nullptr);
}

TEST(LogLine, NumberedLines) {
    LogCap cap;
    EXPECT_TRUE(logPrintLines(2, "T", "a\nb\r\nc", " <", false));
    EXPECT_TRUE(logPrintLines(2, "deps", "", " tail", false));
    EXPECT_TRUE(logPrintLines(-1, "T", "a", "", false));
    EXPECT_EQ(cap.text(), "\n!! vorn | src | T (1) a <\n!! vorn | src | T (2) b <\n"
                          "!! vorn | src | T (3) c <\n\n\n!! vorn | src | deps (-)  tail\n\n");
}

// Lines of several threads never mix, and the counters stay exact.
TEST(LogLine, ThreadsKeepLinesWhole) {
    int const kThreads = 4, kLines = 300;
    LogCap cap(1 << 19);
    logConfThreadSync(true);
    std::vector<std::thread> ts;
    for (int t = 0; t < kThreads; ++t)
        ts.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                logPrint(0, "t%i n%i %s", t, i, std::string(40, 'p').c_str());
        });
    for (auto& th : ts)
        th.join();
    EXPECT_EQ(logGetCount(0), kThreads * kLines);
    std::vector<int> next(kThreads, 0);
    std::string text = cap.text();
    int lines = 0;
    for (size_t from = 0; from < text.size(); ++lines) {
        size_t nl = text.find('\n', from);
        std::string l = text.substr(from, nl - from);
        from = nl + 1;
        int t = -1, i = -1;
        char rest[64] = {0};
        ASSERT_EQ(std::sscanf(l.c_str(), "~~ vorn | src | t%d n%d %63s", &t, &i, rest), 3) << l;
        ASSERT_TRUE(t >= 0 && t < kThreads) << l;
        EXPECT_EQ(i, next[t]++) << l;
        EXPECT_EQ(std::string(rest), std::string(40, 'p')) << l;
    }
    EXPECT_EQ(lines, kThreads * kLines);
}

TEST(LogTime, UtcTextFromNanoseconds) {
    struct {
        long long ns;
        char const* fmt;
        int decimals;
        char const* want;
    } const rows[] = {
        {1700000000123456789LL, "%Y-%m-%d %H:%M:%S", 3, "2023-11-14 22:13:20.123"},
        {1700000000123456789LL, "%F %T|%j %a %b %%|%q", 6, "2023-11-14 22:13:20|318 Tue Nov %|%q"},
        {-1, "%Y-%m-%d %H:%M:%S", 3, "1969-12-31 23:59:59.999"},
        {1709208000LL * 1000000000LL, "%d.%m.%Y %j", 0, "29.02.2024 060"},
        {-2203891200LL * 1000000000LL, "%F %j %a %S", 0, "1900-03-01 060 Thu 00"},
    };
    char b[128];
    for (auto const& r : rows) {
        EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, r.ns, r.fmt, r.decimals));
        EXPECT_STREQ(b, r.want);
    }
    EXPECT_FALSE(cstrLogTimeUtc(b, 8, 0, "%Y-%m-%d", 0));
    EXPECT_EQ(std::strlen(b), 7u);
}

TEST(ErrText, AffixesAndCut) {
    CxStr1p s;
    err2strConf("E: ", " ;");
    err2strs(s, "a", "b");
    err2strf(&s, "%i", 3);
    EXPECT_EQ(s, "E: ab ;E: 3 ;");
    // The formatted part is cut at 4095 bytes; affixes are cut at 31.
    err2strConf(std::string(40, 'P').c_str(), "");
    s.clear();
    err2strf(&s, "%s", std::string(6000, 'm').c_str());
    EXPECT_EQ(std::string(s.c_str()), std::string(31, 'P') + std::string(4095, 'm'));
    err2strConf("", "\n");
}

// System error numbers of pipes and files as the callers tell them apart.
TEST(ErrNr, AdaptAndClassify) {
    struct {
        int err, winErr;
        char const* ctx;
        int want;
    } const rows[] = {
        {22, 232, "pr", 11}, {22, 232, "pw", 32},   {22, 232, "px", 22},   {9, 0, "pr", 32},
        {9, 183, "pw", 32},  {9, 0, "pw", 9},       {9, 109, "p", 9},      {0, 5, "pr", 9},
        {0, 5, "pw", 0},     {0, 6, "pw", 32},      {22, 6, "pw", 32},     {0, 6, "pr", 0},
        {0, 109, "pw", 32},  {22, 109, "pipe", 32}, {22, 109, "read", 22}, {0, 109, nullptr, 0},
        {13, 5, "pr", 13},
    };
    for (auto const& r : rows)
        EXPECT_EQ(errnrAdapt(r.err, r.winErr, r.ctx), r.want) << r.err << " " << r.winErr;
    EXPECT_TRUE(errIsReadAgain(22) && errIsReadAgain(11) && errIsReadAgain(4));
    EXPECT_FALSE(errIsReadAgain(0) || errIsReadAgain(32));
    EXPECT_TRUE(errIsWriteAgain(16) && errIsWriteAgain(2));
    EXPECT_FALSE(errIsWriteAgain(22) || errIsWriteAgain(0));
    EXPECT_TRUE(errIsPipeRead(1) && !errIsPipeRead(32) && errIsPipeWrite(32) && !errIsPipeWrite(0));
    for (int e : {5, 6, 13, 27, 28, 29, 30})
        EXPECT_TRUE(errIsDiskIO(e)) << e;
    EXPECT_FALSE(errIsDiskIO(0) || errIsDiskIO(32));
}
