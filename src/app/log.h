// Levelled logger shared by all threads, plain console writers, and composed
// error texts that callers collect in a string.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/syserr.h"
#include "base/str.h"

// logPrint(level, "") is the way to write a bare line end, so an empty format is no mistake.
#pragma GCC diagnostic ignored "-Wformat-zero-length"

// Source of the time text of a log line.
enum ELogFnTime : int32_t {
    eLogTimeNone = 0,
    eLogTimeApp = 1,  // elapsed since program start
    eLogTimeBoot = 2, // since boot
    eLogTimeReal = 3, // wall clock, UTC
    eLogTimeUtc = 4,  // wall clock, UTC
    eLogTimeCpu = 5,  // processor time of the process
};

// Texts of one level group, in line order.
enum ELogTxt {
    eLogTxtPrefix = 0,
    eLogTxtAppFmt = 1,    // printf format applied to the application name
    eLogTxtLevelFmt = 2,  // printf format applied to the level
    eLogTxtTimeFmt = 3,   // printf format for the seconds, strftime format for wall clock
    eLogTxtLevel2Fmt = 4, // printf format applied to the level, after the time
    eLogTxtSep = 5,
    eLogTxtEnd = 6,
    eLogTxtCount = 7,
};

int const kLogGroups = 4;
int const kLogTxtSize = 41; // 40 bytes and the terminator
int const kLogLineSize = 4096;

struct LogConf {
    char txt[kLogGroups][eLogTxtCount][kLogTxtSize];
    char appName[kLogTxtSize];
    ELogFnTime timeMode;
    int32_t timeDecimals;
    int32_t passLevel;
    bool threadSync;
    FILE* fsAll;  // every level
    FILE* fsLow;  // levels 0 and below
    FILE* fsHigh; // levels above 0
    int fdAll;    // 0 = none
    int fdLow;    // levels below 1
    int fdHigh;   // levels above 0
    char* capBuf; // every written line is appended, kept zero-terminated
    long long capCap;
};

struct LogStat {
    long long capLen;
    long long count[kLogGroups];
};

// Group of a level: the level as unsigned, capped at 3.
int logGroupOf(int level);

bool logPrint(int level, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));

// Flag-gated trace: level -1 in verbose mode, else level 0 only when the flag is set.
bool logTraceFlag(bool flag, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));

// Debug trace of the graph and build: written only when the flag is set, at
// level -1 in verbose mode and at level 0 otherwise.
bool logTraceDbg(bool flag, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
bool logPrintLines(int level, char const* title, char const* text, char const* tail,
                   bool noNumbers = false);

// Presets: keep pass level and thread sync, set the name, zero counters and capture.
bool logInitTimeNone(char const* appName);
bool logInitTimeImportant(char const* appName);
bool logInitTimeErrors(char const* appName);
bool logInitTimeAlways(char const* appName);

bool logConf(LogConf const& conf, long long keepLen);
bool logZero();

bool logConfAppName(char const* name);
// A null format leaves the time formats unchanged.
bool logConfTimeStamp(ELogFnTime mode, int decimals, char const* timeFormat);
bool logConfPassLevel(int level);
bool logConfThreadSync(bool on);

int logGetPassLevel();
LogConf logGetConf();
LogStat logGetStat();
long long logGetCount(int level);

// Wall-clock text in UTC by a strftime-style format; "%S" is followed by the
// fraction of the second with the given decimals. Same result on every platform.
bool cstrLogTimeUtc(char* buf, long long bufSize, long long ns, char const* format, int decimals);

// ---- Console writers; all flush and return false on a failed write.
bool echos(char const* a = nullptr, char const* b = nullptr, char const* c = nullptr,
           char const* d = nullptr, char const* e = nullptr);
bool echos2err(char const* a = nullptr, char const* b = nullptr, char const* c = nullptr,
               char const* d = nullptr, char const* e = nullptr);
bool echos2stream(FILE* stream, char const* a = nullptr, char const* b = nullptr,
                  char const* c = nullptr, char const* d = nullptr, char const* e = nullptr);

bool echof(char const* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
bool echof2err(char const* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));
bool echof2stream(FILE* stream, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
// "" or "/dev/stdout" standard output, "/dev/stderr", "/dev/null"; else appended to the file.
bool echof2path(char const* path, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));

bool echoc(char c);
bool echoc2err(char c);
bool echon(long long n);
bool echon2err(long long n);
bool echod(double d);
bool echod2err(double d);
bool echodp(double d, int precision);
bool echodp2err(double d, int precision);
bool echold(long double x);
bool echold2err(long double x);
bool echoldp(long double x, int precision);
bool echoldp2err(long double x, int precision);

// Standard error: the texts after term until one equals term (null entries
// skipped), or until a null entry when term is null; then a newline.
bool echosUntilTerm2(char const* term, ...);

// Per line: pre, optionally numPre + line number + numPost, the line, post, newline.
bool echoLines(char const* pre, CxStr1p const& text, char const* post = nullptr,
               char const* numPre = nullptr, char const* numPost = nullptr);
bool echoLines2err(char const* pre, CxStr1p const& text, char const* post = nullptr,
                   char const* numPre = nullptr, char const* numPost = nullptr);
bool echoLines2stream(FILE* stream, char const* pre, CxStr1p const& text,
                      char const* post = nullptr, char const* numPre = nullptr,
                      char const* numPost = nullptr);

// ---- Composed error texts: prefix + message + suffix appended to out. The
// pointer forms do nothing for a null pointer. All return 0.
int err2strConf(char const* prefix, char const* suffix);
int err2strf(CxStr1p& out, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
int err2strf(CxStr1p* out, char const* fmt, ...) __attribute__((format(gnu_printf, 2, 3)));
int err2strs(CxStr1p& out, CxStr1p const& a, CxStr1p const& b = CxStr1p(),
             CxStr1p const& c = CxStr1p(), CxStr1p const& d = CxStr1p());
int err2strs(CxStr1p* out, CxStr1p const& a, CxStr1p const& b = CxStr1p(),
             CxStr1p const& c = CxStr1p(), CxStr1p const& d = CxStr1p());
// The texts after term until one equals term (or a null entry when term is
// null), then one newline; no prefix or suffix.
int err2strsUntilTerm2(CxStr1p& out, char const* term, ...);
int err2strsUntilTerm2(CxStr1p* out, char const* term, ...);
