#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/log.h"
#include "logcap.h"

// Levels pick the prefix, trailing blanks go, hidden lines and bare line ends
// are not counted; a pass level hides what is below it.
TEST(LogLine, PrefixesCountsAndPassLevel) {
    LogCapture cap;
    EXPECT_TRUE(logPrint(2, "bad %i", 5));
    EXPECT_TRUE(logPrint(0, "info"));
    EXPECT_TRUE(logPrint(1, "warn  \t "));
    EXPECT_TRUE(logPrint(0, ""));
    EXPECT_TRUE(logPrint(-1, "hidden"));
    EXPECT_FALSE(logPrint(0, nullptr));
    EXPECT_EQ(cap.text(), "!! t | bad 5\n~~ t | info\n!_ t | warn\n\n");
    EXPECT_TRUE(logGetCount(0) == 1 && logGetCount(2) == 1 && logGetCount(-1) == 0);

    LogCapture cap2;
    logConfPassLevel(3);
    EXPECT_TRUE(logPrint(2, "not shown") && logGetCount(2) == 0);
    EXPECT_TRUE(logPrint(3, "shown"));
    EXPECT_EQ(cap2.text().substr(0, 3), "~_ ");
    // A preset zeroes counters but keeps the pass level.
    logInitTimeNone("n");
    EXPECT_TRUE(logGetPassLevel() == 3 && logGetCount(3) == 0);
    logConfPassLevel(0);
}

// Numbered lines are cut to the line buffer (a plain cut line is an e2e case,
// options.py); a full capture buffer refuses further lines.
TEST(LogLine, OverlongLinesAndFullBuffer) {
    LogCapture cap;
    logPrintLines(2, "T", std::string(5000, 'w').c_str(), "", false);
    EXPECT_EQ(cap.text(), "\n!! t | T (1) " + std::string(4094 - 13, 'w') + "\n\n");

    LogCapture small(32);
    LogConf c = logGetConf();
    std::memset(c.capBuf, 'Z', 32); // the cut text must still end in a zero
    EXPECT_FALSE(logPrint(2, "0123456789012345678901234567890123"));
    EXPECT_TRUE(logGetStat().capLen == 31 && c.capBuf[31] == 0);
    EXPECT_FALSE(logPrint(0, "more"));
    EXPECT_EQ(logGetStat().capLen, 31);
    // keepLen keeps a prefix of what the buffer holds; one outside it drops it.
    std::strcpy(c.capBuf, "hello world");
    EXPECT_TRUE(logConf(c, 5));
    logPrint(0, "x");
    EXPECT_EQ(small.text(), "hello~~ t | x\n");
    EXPECT_TRUE(!logConf(c, 32) && logGetConf().capBuf == nullptr);
}

TEST(LogLine, NumberedLines) {
    LogCapture cap;
    EXPECT_TRUE(logPrintLines(2, "T", "a\nb\r\nc", " <", false));
    EXPECT_TRUE(logPrintLines(2, "deps", "", " tail", false));
    EXPECT_TRUE(logPrintLines(-1, "T", "a", "", false));
    EXPECT_EQ(cap.text(), "\n!! t | T (1) a <\n!! t | T (2) b <\n"
                          "!! t | T (3) c <\n\n\n!! t | deps (-)  tail\n\n");
}

// Lines of several threads never mix, and the counters stay exact.
TEST(LogLine, ThreadsKeepLinesWhole) {
    int const kThreads = 4, kLines = 300;
    LogCapture cap(1 << 19);
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
        ASSERT_EQ(std::sscanf(l.c_str(), "~~ t | t%d n%d %63s", &t, &i, rest), 3) << l;
        ASSERT_TRUE(t >= 0 && t < kThreads) << l;
        EXPECT_EQ(i, next[t]++) << l;
        EXPECT_EQ(std::string(rest), std::string(40, 'p')) << l;
    }
    EXPECT_EQ(lines, kThreads * kLines);
}

TEST(ErrText, AppendAndCut) {
    CxStr1p s;
    err2strs(s, "a", "b");
    err2strf(&s, "%i", 3);
    EXPECT_EQ(s, "ab\n3\n");
    // The formatted part is cut at 4095 bytes.
    s.clear();
    err2strf(&s, "%s", std::string(6000, 'm').c_str());
    EXPECT_EQ(std::string(s.c_str()), std::string(4095, 'm') + "\n");
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
}
