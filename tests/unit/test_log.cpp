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
    explicit LogCap(long long size = 1 << 16, bool (*preset)(char const*) = logInitTimeImportant,
                    char const* name = "vorn | src")
        : saved_(logGetConf()), buf_((size_t)size, 'Z') {
        logConfPassLevel(0);
        logConfThreadSync(false);
        preset(name);
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

std::vector<std::string> splitLines(std::string const& s) {
    std::vector<std::string> out;
    size_t from = 0;
    while (from < s.size()) {
        size_t nl = s.find('\n', from);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(from, nl - from));
        from = nl + 1;
    }
    return out;
}

bool allDigits(std::string const& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string tempPath(char const* name) {
    return testing::TempDir() + name;
}

std::string readFile(std::string const& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char b[512];
    size_t n;
    while ((n = std::fread(b, 1, sizeof b, f)) > 0)
        out.append(b, n);
    std::fclose(f);
    return out;
}

} // namespace

TEST(LogLine, ImportantPresetFormat) {
    LogCap cap;
    EXPECT_TRUE(logPrint(2, "bad %i", 5));
    EXPECT_TRUE(logPrint(0, "info"));
    EXPECT_TRUE(logPrint(1, "warn  \t "));
    EXPECT_TRUE(logPrint(0, "%s", ""));
    EXPECT_TRUE(logPrint(0, ""));
    EXPECT_TRUE(logPrint(-1, "hidden"));
    EXPECT_FALSE(logPrint(0, nullptr));
    EXPECT_EQ(cap.text(), "!! vorn | src | bad 5\n"
                          "~~ vorn | src | info\n"
                          "!_ vorn | src | warn\n"
                          "~~ vorn | src |\n"
                          "\n");
    // The bare line end and the hidden line are not counted.
    EXPECT_EQ(logGetCount(0), 2);
    EXPECT_EQ(logGetCount(1), 1);
    EXPECT_EQ(logGetCount(2), 1);
    EXPECT_EQ(logGetCount(-1), 0);

    // Verbose lines carry the seconds since program start with three decimals.
    LogCap cap2;
    logConfPassLevel(-1);
    EXPECT_TRUE(logPrint(-1, "trace %s", "x"));
    std::string line = cap2.text();
    std::string head = "~_ vorn | src ", tail = " | trace x\n";
    ASSERT_GT(line.size(), head.size() + tail.size() + 4);
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    std::string secs = line.substr(head.size(), line.size() - head.size() - tail.size());
    size_t dot = secs.find('.');
    ASSERT_NE(dot, std::string::npos) << secs;
    EXPECT_TRUE(allDigits(secs.substr(0, dot))) << secs;
    EXPECT_EQ(secs.size() - dot - 1, 3u) << secs;
    EXPECT_TRUE(allDigits(secs.substr(dot + 1))) << secs;
    logConfPassLevel(0);
}

TEST(LogLine, PassLevelGroupsAndCounters) {
    LogCap cap;
    logConfPassLevel(3);
    EXPECT_EQ(logGetPassLevel(), 3);
    EXPECT_TRUE(logPrint(2, "not shown"));
    EXPECT_TRUE(logPrint(-1, "not shown"));
    EXPECT_EQ(logGetCount(2), 0);
    EXPECT_EQ(cap.text(), "");
    EXPECT_TRUE(logPrint(3, "shown"));
    EXPECT_EQ(cap.text().substr(0, 3), "~_ ");

    logConfPassLevel(-1);
    logPrint(-1, "a");
    logPrint(100, "b");
    logPrint(-7, "below the pass level");
    EXPECT_EQ(logGetCount(-1), 3);
    EXPECT_EQ(logGetCount(7), 3);
    EXPECT_EQ(logGetCount(3), 3);

    LogStat st = logGetStat();
    EXPECT_EQ(st.capLen, (long long)cap.text().size());
    EXPECT_EQ(st.count[0], 0);
    EXPECT_EQ(st.count[3], 3);

    // Setters keep counters and the captured text.
    long long len = st.capLen;
    EXPECT_TRUE(logConfAppName("other"));
    EXPECT_TRUE(logConfThreadSync(true));
    EXPECT_EQ(logGetCount(-1), 3);
    EXPECT_EQ(logGetStat().capLen, len);
    logPrint(2, "e");
    EXPECT_EQ(cap.text().substr(len), "!! other | e\n");

    // A preset zeroes counters but keeps pass level and thread sync.
    logInitTimeNone("n");
    EXPECT_EQ(logGetPassLevel(), -1);
    EXPECT_TRUE(logGetConf().threadSync);
    EXPECT_EQ(logGetCount(-1), 0);
    EXPECT_EQ(logGetCount(2), 0);
    EXPECT_EQ(logGetConf().fsAll, stderr);

    // Without any destination nothing is written and the result is false.
    logZero();
    EXPECT_FALSE(logPrint(2, "nowhere"));
    EXPECT_EQ(logGetConf().appName[0], 0);
}

TEST(LogLine, OverlongTextIsCutAndKeepsLineEnd) {
    LogCap cap(1 << 16);
    std::string big(5000, 'x');
    EXPECT_TRUE(logPrint(2, "%s", big.c_str()));
    std::string line = cap.text();
    EXPECT_EQ(line.size(), 4095u);
    EXPECT_EQ(line.substr(0, 16), "!! vorn | src | ");
    EXPECT_EQ(line.back(), '\n');

    // Blanks left at the cut are removed too.
    LogCap cap2(1 << 16);
    std::string blanks(4078, 'y');
    blanks += std::string(200, ' ');
    logPrint(2, "%s", blanks.c_str());
    EXPECT_EQ(cap2.text(), "!! vorn | src | " + std::string(4078, 'y') + "\n");

    // A line end of the full 40 bytes still fits whole.
    LogCap cap3(1 << 16);
    LogConf c = logGetConf();
    std::string end = std::string(39, '<') + "\n";
    std::strcpy(c.txt[2][eLogTxtEnd], end.c_str());
    logConf(c, 0);
    logPrint(2, "%s", big.c_str());
    line = cap3.text();
    EXPECT_EQ(line.size(), 4095u);
    EXPECT_EQ(line.substr(line.size() - 40), end);

    // The application name keeps at most 40 bytes.
    LogCap cap4;
    std::string name(60, 'n');
    EXPECT_TRUE(logConfAppName(name.c_str()));
    EXPECT_EQ(std::strlen(logGetConf().appName), 40u);
    logPrint(2, "m");
    EXPECT_EQ(cap4.text(), "!! " + std::string(40, 'n') + " | m\n");
    logInitTimeNone(name.c_str());
    EXPECT_EQ(std::strlen(logGetConf().appName), 40u);

    // Unterminated texts in a loaded record are cut at their last byte.
    LogCap cap5;
    LogConf d = logGetConf();
    std::memset(d.appName, 'q', sizeof d.appName);
    logConf(d, 0);
    EXPECT_EQ(std::strlen(logGetConf().appName), 40u);
}

TEST(LogCapture, FullBufferAndKeptText) {
    LogCap cap(32);
    EXPECT_FALSE(logPrint(2, "0123456789012345678901234567890123"));
    EXPECT_EQ(logGetStat().capLen, 31);
    EXPECT_EQ(cap.data()[31], 0);
    EXPECT_EQ(cap.text(),
              std::string("!! vorn | src | 0123456789012345678901234567890123").substr(0, 31));
    EXPECT_FALSE(logPrint(0, "more"));
    EXPECT_EQ(logGetStat().capLen, 31);
    EXPECT_EQ(logGetCount(0), 1);

    // keepLen keeps a prefix of what the buffer holds.
    std::strcpy(cap.data(), "hello world");
    EXPECT_TRUE(cap.install(5));
    EXPECT_EQ(cap.text(), "hello");
    EXPECT_EQ(logGetStat().capLen, 5);
    logPrint(0, "x");
    EXPECT_EQ(cap.text(), "hello~~ vorn | src | x\n");

    // A keepLen outside the buffer drops it.
    EXPECT_FALSE(cap.install(32));
    EXPECT_EQ(logGetConf().capBuf, nullptr);
    EXPECT_FALSE(cap.install(-1));
    EXPECT_EQ(logGetConf().capBuf, nullptr);
    LogConf c = logGetConf();
    c.capBuf = cap.data();
    c.capCap = 0;
    EXPECT_FALSE(logConf(c, 0));
    EXPECT_EQ(logGetConf().capBuf, nullptr);
}

TEST(LogLines, TitleNumbersAndEmptyText) {
    {
        LogCap cap;
        EXPECT_TRUE(logPrintLines(2, "T", "a\nb\r\nc", " <", false));
        EXPECT_EQ(cap.text(), "\n!! vorn | src | T (1) a <\n!! vorn | src | T (2) b <\n"
                              "!! vorn | src | T (3) c <\n\n");
        EXPECT_EQ(logGetCount(2), 3);
    }
    {
        LogCap cap;
        EXPECT_TRUE(logPrintLines(2, "deps", "", " tail", false));
        EXPECT_EQ(cap.text(), "\n!! vorn | src | deps (-)  tail\n\n");
        EXPECT_EQ(logGetCount(2), 1);
    }
    {
        LogCap cap;
        std::string big(5000, 'w');
        logPrintLines(2, "T", big.c_str(), "", false);
        std::vector<std::string> l = splitLines(cap.text());
        ASSERT_EQ(l.size(), 3u);
        EXPECT_EQ(l[1].size(), 4094u);
        EXPECT_EQ(cap.text().back(), '\n');
    }
    {
        // Hidden level: nothing at all, not even the empty lines.
        LogCap cap;
        EXPECT_TRUE(logPrintLines(-1, "T", "a", "", false));
        EXPECT_EQ(cap.text(), "");
    }
}

TEST(LogThreads, LinesStayWholeAndCountsExact) {
    int const kThreads = 4, kLines = 300;
    LogCap cap(1 << 19);
    logConfThreadSync(true);
    std::string pad(40, 'p');
    std::vector<std::thread> ts;
    for (int t = 0; t < kThreads; ++t) {
        ts.emplace_back([t, &pad] {
            for (int i = 0; i < kLines; ++i) {
                logPrint(0, "t%i n%i %s", t, i, pad.c_str());
                logPrint(-1, "hidden");
            }
        });
    }
    for (auto& th : ts)
        th.join();
    EXPECT_EQ(logGetCount(0), kThreads * kLines);
    EXPECT_EQ(logGetCount(-1), 0);
    std::vector<std::string> lines = splitLines(cap.text());
    ASSERT_EQ(lines.size(), (size_t)(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (auto const& l : lines) {
        int t = -1, i = -1;
        char rest[64] = {0};
        ASSERT_EQ(std::sscanf(l.c_str(), "~~ vorn | src | t%d n%d %63s", &t, &i, rest), 3) << l;
        ASSERT_TRUE(t >= 0 && t < kThreads) << l;
        EXPECT_EQ(i, next[t]) << l;
        next[t] = i + 1;
        EXPECT_EQ(std::string(rest), pad) << l;
    }

    // Counters stay exact without thread sync too.
    LogCap cap2(1 << 19);
    logConfPassLevel(-3);
    ts.clear();
    for (int t = 0; t < kThreads; ++t) {
        ts.emplace_back([] {
            for (int i = 0; i < kLines; ++i) {
                logPrint(2, "e");
                logPrint(-3, "v");
            }
        });
    }
    for (auto& th : ts)
        th.join();
    EXPECT_EQ(logGetCount(2), kThreads * kLines);
    EXPECT_EQ(logGetCount(-1), kThreads * kLines);
    EXPECT_EQ(logGetStat().capLen, (long long)cap2.text().size());
    logConfPassLevel(0);
}

TEST(LogTime, UtcTextFromNanoseconds) {
    char b[128];
    EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, 1700000000123456789LL, "%Y-%m-%d %H:%M:%S", 3));
    EXPECT_STREQ(b, "2023-11-14 22:13:20.123");
    EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, 1700000000123456789LL, "%F %T|%j %a %b %%|%q", 6));
    EXPECT_STREQ(b, "2023-11-14 22:13:20|318 Tue Nov %|%q");
    EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, -1, "%Y-%m-%d %H:%M:%S", 3));
    EXPECT_STREQ(b, "1969-12-31 23:59:59.999");
    EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, 1709208000LL * 1000000000LL, "%d.%m.%Y %j", 0));
    EXPECT_STREQ(b, "29.02.2024 060");
    EXPECT_TRUE(cstrLogTimeUtc(b, sizeof b, -2203891200LL * 1000000000LL, "%F %j %a %S", 0));
    EXPECT_STREQ(b, "1900-03-01 060 Thu 00");
    EXPECT_FALSE(cstrLogTimeUtc(b, 8, 0, "%Y-%m-%d", 0));
    EXPECT_EQ(std::strlen(b), 7u);
}

TEST(Echo, ConsoleWriters) {
    testing::internal::CaptureStdout();
    bool ok = echoc(7);
    ok = echoc('A') && ok;
    ok = echoc((char)0xE9) && ok;
    ok = echon(-12345678901234LL) && ok;
    ok = echod(1.5) && ok;
    ok = echodp(3.14159, 2) && ok;
    ok = echold(0.5L) && ok;
    ok = echoldp(1.0L / 3, 4) && ok;
    ok = echos("a", nullptr, "b") && ok;
    ok = echof("%lli-%s", 42LL, "z") && ok;
    ok = echoLines("> ", "x\ny") && ok;
    ok = echof2path("", "%s", "p") && ok;
    ok = echof2path("/DEV/STDOUT", "%s", "q") && ok;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, "('?' 0x07 7)('A' 0x41 65)('?' 0xE9 233)-12345678901234"
                   "1.5000000003.140.5000000000.3333ab\n42-z\n> x\n> y\np\nq\n");

    testing::internal::CaptureStderr();
    ok = echosUntilTerm2("END", "a", nullptr, "b", "END", "c");
    ok = echosUntilTerm2(nullptr, "c", "d", nullptr) && ok;
    ok = echoc2err('\n') && ok;
    ok = echof2path("/dev/stderr", "%i", 9) && ok;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok);
    EXPECT_EQ(err, "ab\ncd\n('?' 0x0A 10)9\n");

    std::string path = tempPath("vorn_test_log_stream.txt");
    FILE* f = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(echos2stream(f, "s1", "s2", "s3", "s4", "s5"));
    EXPECT_TRUE(echof2stream(f, "%05.1f", 2.5));
    EXPECT_TRUE(echoLines2stream(f, "> ", "a\n\nb", " <", "[", "]"));
    EXPECT_TRUE(echoLines2stream(f, nullptr, "", nullptr));
    std::fclose(f);
    EXPECT_EQ(readFile(path), "s1s2s3s4s5\n002.5\n> [1]a <\n> [2] <\n> [3]b <\n");
    std::remove(path.c_str());
    EXPECT_FALSE(echos2stream(nullptr, "x"));
    EXPECT_FALSE(echof2stream(nullptr, "x"));
    EXPECT_FALSE(echoLines2stream(nullptr, "", "x"));

    // By path: appended, /dev/null swallows, over-long or unreachable paths fail.
    std::string file = tempPath("vorn_test_log_path.txt");
    std::remove(file.c_str());
    EXPECT_TRUE(echof2path(file.c_str(), "%i", 1));
    EXPECT_TRUE(echof2path(file.c_str(), "%s", "two"));
    EXPECT_EQ(readFile(file), "1\ntwo\n");
    std::remove(file.c_str());
    EXPECT_TRUE(echof2path("/Dev/Null", "%s", "gone"));
    EXPECT_FALSE(echof2path(std::string(300, 'a').c_str(), "%s", "x"));
    EXPECT_FALSE(echof2path(tempPath("no_such_dir_vorn/x.txt").c_str(), "%s", "x"));
}

TEST(ErrText, ComposedTexts) {
    CxStr1p s;
    EXPECT_EQ(err2strf(s, "x %i", 3), 0);
    EXPECT_EQ(s, "x 3\n");
    err2strConf("E: ", nullptr);
    s.clear();
    err2strf(s, "y");
    EXPECT_EQ(s, "E: y\n");
    err2strConf(nullptr, " ;");
    s.clear();
    err2strs(s, "a", "b", "c", "d");
    err2strs(&s, "e");
    EXPECT_EQ(s, "E: abcd ;E: e ;");
    EXPECT_EQ(err2strf((CxStr1p*)nullptr, "z"), 0);
    EXPECT_EQ(err2strs((CxStr1p*)nullptr, "z"), 0);
    EXPECT_EQ(err2strsUntilTerm2((CxStr1p*)nullptr, "|", "z", "|"), 0);

    // No prefix or suffix here, just the texts and one newline.
    s.clear();
    err2strsUntilTerm2(s, "|", "a", nullptr, "b", "|", "c");
    err2strsUntilTerm2(&s, nullptr, "d", nullptr);
    EXPECT_EQ(s, "ab\nd\n");

    // The formatted part is cut at 4095 bytes; affixes are cut at 31.
    err2strConf(std::string(40, 'P').c_str(), "");
    s.clear();
    std::string big(6000, 'm');
    err2strf(&s, "%s", big.c_str());
    EXPECT_EQ(s.len, 31 + 4095);
    EXPECT_EQ(std::string(s.c_str()), std::string(31, 'P') + std::string(4095, 'm'));

    err2strConf("", "\n");
    s.clear();
    err2strf(s, "back");
    EXPECT_EQ(s, "back\n");
}

TEST(ErrNr, AdaptAndClassify) {
    EXPECT_EQ(errnrAdapt(22, 232, "pr"), 11);
    EXPECT_EQ(errnrAdapt(22, 232, "pw"), 32);
    EXPECT_EQ(errnrAdapt(22, 232, "px"), 22);
    EXPECT_EQ(errnrAdapt(9, 0, "pr"), 32);
    EXPECT_EQ(errnrAdapt(9, 183, "pw"), 32);
    EXPECT_EQ(errnrAdapt(9, 0, "pw"), 9);
    EXPECT_EQ(errnrAdapt(9, 109, "p"), 9);
    EXPECT_EQ(errnrAdapt(0, 5, "pr"), 9);
    EXPECT_EQ(errnrAdapt(0, 5, "pw"), 0);
    EXPECT_EQ(errnrAdapt(0, 6, "pw"), 32);
    EXPECT_EQ(errnrAdapt(22, 6, "pw"), 32);
    EXPECT_EQ(errnrAdapt(0, 6, "pr"), 0);
    EXPECT_EQ(errnrAdapt(0, 109, "pw"), 32);
    EXPECT_EQ(errnrAdapt(22, 109, "pipe"), 32);
    EXPECT_EQ(errnrAdapt(22, 109, "read"), 22);
    EXPECT_EQ(errnrAdapt(0, 109, nullptr), 0);
    EXPECT_EQ(errnrAdapt(13, 5, "pr"), 13);

    errno = 9;
    EXPECT_EQ(errnrGetAdapt("pr"), 32);
    errno = 34;
    EXPECT_EQ(errnrGet(), 34);
    errno = 0;

    EXPECT_TRUE(errIsReadAgain(22) && errIsReadAgain(11) && errIsReadAgain(4));
    EXPECT_FALSE(errIsReadAgain(0) || errIsReadAgain(32));
    EXPECT_TRUE(errIsReadAgainX0(0));
    EXPECT_TRUE(errIsWriteAgain(16) && errIsWriteAgain(2));
    EXPECT_FALSE(errIsWriteAgain(22) || errIsWriteAgain(0));
    EXPECT_TRUE(errIsWriteAgainX0(0));
    EXPECT_TRUE(errIsWriteEmpty(2) && !errIsWriteEmpty(0) && errIsWriteEmptyX0(0));
    EXPECT_TRUE(errIsPipeRead(1) && !errIsPipeRead(32));
    EXPECT_TRUE(errIsPipeWrite(32) && !errIsPipeWrite(0) && errIsPipeWriteX0(0));
    for (int e : {5, 6, 13, 27, 28, 29, 30})
        EXPECT_TRUE(errIsDiskIO(e)) << e;
    EXPECT_FALSE(errIsDiskIO(0) || errIsDiskIO(32));

    testing::internal::CaptureStdout();
    EXPECT_TRUE(errnrPrint(0, "fine"));
    EXPECT_FALSE(errnrPrint(5, nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "./?: errno 0 // fine\n./?: errno 5 // \n");
}
