#include "app/log.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "base/fs.h"
#include "base/timenum.h"
#include "base/tokens.h"

namespace {

// Built on first use, so that static initialisers can log, and never destroyed,
// so that threads still logging while the process exits find it intact.
std::recursive_mutex& logMtx() {
    static std::recursive_mutex* m = new std::recursive_mutex;
    return *m;
}

// All zero until a preset is loaded: no destination, nothing written.
LogConf g_conf;
long long g_capLen = 0;
int g_len[kLogGroups][eLogTxtCount];
std::atomic<long long> g_count[kLogGroups];
// Mirror of the pass level so that hidden lines cost no lock.
std::atomic<int> g_passLevel{0};

char g_errPre[32] = "";
char g_errSuf[32] = "\n";

void cutCopy(char* dst, long long dstSize, char const* src) {
    long long n = src ? (long long)std::strlen(src) : 0;
    if (n > dstSize - 1) n = dstSize - 1;
    if (n > 0) std::memcpy(dst, src, (size_t)n);
    dst[n] = 0;
}

// Every change of the record goes through here (under the lock).
void confCacheLocked() {
    for (int g = 0; g < kLogGroups; ++g) {
        for (int t = 0; t < eLogTxtCount; ++t) {
            g_conf.txt[g][t][kLogTxtSize - 1] = 0;
            g_len[g][t] = (int)std::strlen(g_conf.txt[g][t]);
        }
    }
    g_conf.appName[kLogTxtSize - 1] = 0;
    g_passLevel.store(g_conf.passLevel);
}

// Keeps keepLen captured bytes when they fit, else drops the buffer.
bool capKeepLocked(long long keepLen) {
    if (!g_conf.capBuf) {
        g_conf.capCap = 0;
        g_capLen = 0;
        return true;
    }
    if (g_conf.capCap >= 1 && keepLen >= 0 && keepLen < g_conf.capCap) {
        g_capLen = keepLen;
        g_conf.capBuf[keepLen] = 0;
        return true;
    }
    g_conf.capBuf = nullptr;
    g_conf.capCap = 0;
    g_capLen = 0;
    return false;
}

void countZero() {
    for (auto& c : g_count)
        c.store(0);
}

bool capAppendLocked(char const* text, long long n) {
    if (!g_conf.capBuf || g_conf.capCap < 1) return false;
    long long room = g_conf.capCap - 1 - g_capLen;
    if (room < 0) room = 0;
    long long put = n < room ? n : room;
    if (put > 0) std::memcpy(g_conf.capBuf + g_capLen, text, (size_t)put);
    g_capLen += put;
    g_conf.capBuf[g_capLen] = 0;
    return put == n;
}

bool logInitPreset(char const* appName, unsigned timeGroups) {
    static char const* const prefix[kLogGroups] = {"~~ ", "!_ ", "!! ", "~_ "};
    LogConf c;
    std::memset(&c, 0, sizeof c);
    for (int g = 0; g < kLogGroups; ++g) {
        cutCopy(c.txt[g][eLogTxtPrefix], kLogTxtSize, prefix[g]);
        cutCopy(c.txt[g][eLogTxtAppFmt], kLogTxtSize, "%s ");
        if (timeGroups & (1u << g)) cutCopy(c.txt[g][eLogTxtTimeFmt], kLogTxtSize, "%s ");
        cutCopy(c.txt[g][eLogTxtSep], kLogTxtSize, "| ");
        cutCopy(c.txt[g][eLogTxtEnd], kLogTxtSize, "\n");
    }
    cutCopy(c.appName, kLogTxtSize, appName);
    c.timeMode = eLogTimeApp;
    c.timeDecimals = 3;
    c.fsAll = stderr;
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    c.passLevel = g_conf.passLevel;
    c.threadSync = g_conf.threadSync;
    g_conf = c;
    g_capLen = 0;
    countZero();
    confCacheLocked();
    return true;
}

// What one line needs from the record, copied so the line is built unlocked.
struct LogSnap {
    char txt[eLogTxtCount][kLogTxtSize];
    int len[eLogTxtCount];
    char app[kLogTxtSize];
    ELogFnTime mode;
    int decimals;
    int passLevel;
    bool sync;
    bool cap;
    FILE* fsAll;
    FILE* fsLvl;
    int fdAll;
    int fdLvl;
};

void snapTake(LogSnap& s, int level, bool texts) {
    int g = logGroupOf(level);
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    if (texts) {
        std::memcpy(s.txt, g_conf.txt[g], sizeof s.txt);
        std::memcpy(s.len, g_len[g], sizeof s.len);
        std::memcpy(s.app, g_conf.appName, sizeof s.app);
    }
    s.mode = g_conf.timeMode;
    s.decimals = g_conf.timeDecimals < 0 ? 0 : (g_conf.timeDecimals > 9 ? 9 : g_conf.timeDecimals);
    s.passLevel = g_conf.passLevel;
    s.sync = g_conf.threadSync;
    s.cap = g_conf.capBuf != nullptr;
    s.fsAll = g_conf.fsAll;
    s.fsLvl = level <= 0 ? g_conf.fsLow : g_conf.fsHigh;
    s.fdAll = g_conf.fdAll;
    s.fdLvl = level < 1 ? g_conf.fdLow : g_conf.fdHigh;
}

// Appends to a line of at most lim bytes, cutting what does not fit.
struct LineBuf {
    char* b;
    long long lim;
    long long n = 0;
    void put(char const* t, long long tl) {
        if (tl > lim - n) tl = lim - n;
        if (tl > 0) std::memcpy(b + n, t, (size_t)tl);
        n += tl > 0 ? tl : 0;
        b[n] = 0;
    }
    char* at() { return b + n; }
    long long room() const { return lim - n + 1; }
    void took(int r) {
        if (r > 0) n += r < lim - n ? r : lim - n;
        b[n] = 0;
    }
};

bool streamPut(FILE* f, char const* s, long long n) {
    return n <= 0 || std::fwrite(s, 1, (size_t)n, f) == (size_t)n;
}
bool streamPuts(FILE* f, char const* s) {
    return !s || streamPut(f, s, (long long)std::strlen(s));
}

bool vechof2stream(FILE* f, char const* fmt, va_list ap) {
    if (!f || !fmt) return false;
    // Whole lines: worker threads echo at the same time.
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    bool ok = std::vfprintf(f, fmt, ap) >= 0;
    ok = std::fputc('\n', f) != EOF && ok;
    return std::fflush(f) == 0 && ok;
}

// The logger's times are UTC by base/timenum's calendar on every platform.

struct TextOut {
    char* b;
    long long cap;
    long long n = 0;
    bool ok = true;
    void put(char c) {
        if (n + 1 < cap)
            b[n++] = c;
        else
            ok = false;
    }
    void puts(char const* s) {
        while (*s)
            put(*s++);
    }
    void num(long long v, int width, char pad) {
        char tmp[24];
        int k = 0;
        bool neg = v < 0;
        unsigned long long u = neg ? 0ull - (unsigned long long)v : (unsigned long long)v;
        do {
            tmp[k++] = (char)('0' + u % 10);
            u /= 10;
        } while (u);
        if (neg) tmp[k++] = '-';
        for (int i = k; i < width; ++i)
            put(pad);
        while (k > 0)
            put(tmp[--k]);
    }
};

} // namespace

int logGroupOf(int level) {
    unsigned u = (unsigned)level;
    return u > 3u ? 3 : (int)u;
}

bool cstrLogTimeUtc(char* buf, long long bufSize, long long ns, char const* format, int decimals) {
    if (!buf || bufSize < 1) return false;
    buf[0] = 0;
    if (!format) return false;
    static char const* const wday[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    static char const* const mon[12] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    long long sec = floorDiv(ns, 1000000000LL);
    long long frac = ns - sec * 1000000000LL;
    long long days = floorDiv(sec, 86400);
    long long sod = sec - days * 86400;
    long long y;
    int m, d;
    timeYmdFromDays(days, y, m, d);
    int H = (int)(sod / 3600), M = (int)(sod / 60 % 60), S = (int)(sod % 60);
    int wd = (int)(days - floorDiv(days + 4, 7) * 7 + 4); // 1970-01-01 was a Thursday
    int yd = (int)(days - timeDaysFromYmd(y, 1, 1));
    TextOut o{buf, bufSize};
    auto full = [&](char c) {
        switch (c) {
        case 'Y':
            o.num(y, 0, '0');
            break;
        case 'C':
            o.num(floorDiv(y, 100), 2, '0');
            break;
        case 'y':
            o.num(y - floorDiv(y, 100) * 100, 2, '0');
            break;
        case 'm':
            o.num(m, 2, '0');
            break;
        case 'd':
            o.num(d, 2, '0');
            break;
        case 'e':
            o.num(d, 2, ' ');
            break;
        case 'H':
            o.num(H, 2, '0');
            break;
        case 'I':
            o.num(H % 12 == 0 ? 12 : H % 12, 2, '0');
            break;
        case 'M':
            o.num(M, 2, '0');
            break;
        case 'S':
            o.num(S, 2, '0');
            if (decimals > 0) {
                char digits[10];
                long long f = frac;
                for (int i = 8; i >= 0; --i, f /= 10)
                    digits[i] = (char)('0' + f % 10);
                o.put('.');
                for (int i = 0; i < decimals && i < 9; ++i)
                    o.put(digits[i]);
            }
            break;
        case 'p':
            o.puts(H < 12 ? "AM" : "PM");
            break;
        case 'j':
            o.num(yd + 1, 3, '0');
            break;
        case 'a':
            o.put(wday[wd][0]), o.put(wday[wd][1]), o.put(wday[wd][2]);
            break;
        case 'A':
            o.puts(wday[wd]);
            break;
        case 'b':
        case 'h':
            o.put(mon[m - 1][0]), o.put(mon[m - 1][1]), o.put(mon[m - 1][2]);
            break;
        case 'B':
            o.puts(mon[m - 1]);
            break;
        case 'u':
            o.num(wd == 0 ? 7 : wd, 0, '0');
            break;
        case 'w':
            o.num(wd, 0, '0');
            break;
        case 's':
            o.num(sec, 0, '0');
            break;
        case 'z':
            o.puts("+0000");
            break;
        case 'Z':
            o.puts("UTC");
            break;
        case 'n':
            o.put('\n');
            break;
        case 't':
            o.put('\t');
            break;
        case '%':
            o.put('%');
            break;
        default:
            return false;
        }
        return true;
    };
    for (char const* p = format; *p; ++p) {
        if (*p != '%' || !p[1]) {
            o.put(*p);
            continue;
        }
        char c = *++p;
        // Composite conversions spelled out; their seconds carry no fraction.
        char const* expand = c == 'F'   ? "Y-m-d"
                             : c == 'T' ? "H:M:s"
                             : c == 'D' ? "m/d/y"
                             : c == 'R' ? "H:M"
                                        : nullptr;
        if (expand) {
            for (char const* q = expand; *q; ++q) {
                if (*q == '-' || *q == ':' || *q == '/')
                    o.put(*q);
                else if (*q == 's')
                    o.num(S, 2, '0');
                else
                    full(*q);
            }
        } else if (!full(c)) {
            o.put('%');
            o.put(c);
        }
    }
    buf[o.n] = 0;
    return o.ok;
}

// ---- Configuration

bool logInitTimeNone(char const* appName) {
    return logInitPreset(appName, 0x0);
}
bool logInitTimeImportant(char const* appName) {
    return logInitPreset(appName, 0x8);
}
bool logInitTimeErrors(char const* appName) {
    return logInitPreset(appName, 0xE);
}
bool logInitTimeAlways(char const* appName) {
    return logInitPreset(appName, 0xF);
}

bool logConf(LogConf const& conf, long long keepLen) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    g_conf = conf;
    countZero();
    confCacheLocked();
    return capKeepLocked(keepLen);
}

bool logZero() {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    std::memset(&g_conf, 0, sizeof g_conf);
    g_capLen = 0;
    countZero();
    confCacheLocked();
    return true;
}

bool logConfAppName(char const* name) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    cutCopy(g_conf.appName, kLogTxtSize, name);
    confCacheLocked();
    return capKeepLocked(g_capLen);
}

bool logConfTimeStamp(ELogFnTime mode, int decimals, char const* timeFormat) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    g_conf.timeMode = mode;
    g_conf.timeDecimals = decimals;
    if (timeFormat) {
        for (int g = 0; g < kLogGroups; ++g)
            cutCopy(g_conf.txt[g][eLogTxtTimeFmt], kLogTxtSize, timeFormat);
    }
    confCacheLocked();
    return capKeepLocked(g_capLen);
}

bool logConfPassLevel(int level) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    g_conf.passLevel = level;
    confCacheLocked();
    return capKeepLocked(g_capLen);
}

bool logConfThreadSync(bool on) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    g_conf.threadSync = on;
    confCacheLocked();
    return capKeepLocked(g_capLen);
}

int logGetPassLevel() {
    return g_passLevel.load();
}

LogConf logGetConf() {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    return g_conf;
}

LogStat logGetStat() {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    LogStat s;
    s.capLen = g_capLen;
    for (int g = 0; g < kLogGroups; ++g)
        s.count[g] = g_count[g].load();
    return s;
}

long long logGetCount(int level) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    return g_count[logGroupOf(level)].load();
}

// ---- Writing

bool logPrint(int level, char const* fmt, ...) {
    if (!fmt) return false;
    if (level < g_passLevel.load(std::memory_order_relaxed)) return true;
    LogSnap s;
    bool message = fmt[0] != 0;
    snapTake(s, level, message);
    if (level < s.passLevel) return true;

    char line[kLogLineSize];
    long long n;
    if (!message) {
        // A bare line end: no prefix, not counted.
        line[0] = '\n';
        line[1] = 0;
        n = 1;
    } else {
        g_count[logGroupOf(level)].fetch_add(1);
        // The line end always fits: everything before it is cut to leave room.
        LineBuf lb{line, kLogLineSize - 1 - s.len[eLogTxtEnd]};
        line[0] = 0;
        lb.put(s.txt[eLogTxtPrefix], s.len[eLogTxtPrefix]);
        if (s.len[eLogTxtAppFmt] > 0 && s.app[0])
            lb.took(std::snprintf(lb.at(), (size_t)lb.room(), s.txt[eLogTxtAppFmt], s.app));
        if (s.len[eLogTxtLevelFmt] > 0)
            lb.took(std::snprintf(lb.at(), (size_t)lb.room(), s.txt[eLogTxtLevelFmt], level));
        if (s.len[eLogTxtTimeFmt] > 0) {
            long long ns = 0;
            bool secs = true;
            switch (s.mode) {
            case eLogTimeApp:
                ns = timeAppNs();
                break;
            case eLogTimeBoot:
                ns = timeBootNs();
                break;
            case eLogTimeCpu:
                ns = timeCpuNs();
                break;
            case eLogTimeReal:
            case eLogTimeUtc:
                secs = false;
                break;
            default:
                s.mode = eLogTimeNone;
                break;
            }
            if (s.mode != eLogTimeNone) {
                char tt[256];
                if (secs) {
                    cstrFromIntDecSet(tt, sizeof tt, ns, 9, s.decimals);
                    lb.took(std::snprintf(lb.at(), (size_t)lb.room(), s.txt[eLogTxtTimeFmt], tt));
                } else {
                    cstrLogTimeUtc(tt, sizeof tt, timeRealNs(), s.txt[eLogTxtTimeFmt], s.decimals);
                    lb.put(tt, (long long)std::strlen(tt));
                }
            }
        }
        if (s.len[eLogTxtLevel2Fmt] > 0)
            lb.took(std::snprintf(lb.at(), (size_t)lb.room(), s.txt[eLogTxtLevel2Fmt], level));
        lb.put(s.txt[eLogTxtSep], s.len[eLogTxtSep]);
        va_list ap;
        va_start(ap, fmt);
        lb.took(std::vsnprintf(lb.at(), (size_t)lb.room(), fmt, ap));
        va_end(ap);
        while (lb.n > 0 && (line[lb.n - 1] == ' ' || line[lb.n - 1] == '\t'))
            --lb.n;
        std::memcpy(line + lb.n, s.txt[eLogTxtEnd], (size_t)s.len[eLogTxtEnd]);
        n = lb.n + s.len[eLogTxtEnd];
        line[n] = 0;
    }

    bool any = false, ok = true;
    std::unique_lock<std::recursive_mutex> lk(logMtx(), std::defer_lock);
    if (s.sync) lk.lock();
    for (FILE* f : {s.fsAll, s.fsLvl}) {
        if (!f) continue;
        any = true;
        ok = streamPut(f, line, n) && ok;
        ok = std::fflush(f) == 0 && ok;
    }
    for (int fd : {s.fdAll, s.fdLvl}) {
        if (!fd) continue;
        any = true;
        ok = fdWriteAll(fd, line, n) && ok;
    }
    if (s.cap) {
        // The capture buffer is logger state: always under the lock.
        std::lock_guard<std::recursive_mutex> ck(logMtx());
        if (g_conf.capBuf) {
            any = true;
            ok = capAppendLocked(line, n) && ok;
        }
    }
    return any && ok && n > 0;
}

bool logPrintLines(int level, char const* title, char const* text, char const* tail,
                   bool noNumbers) {
    if (level < g_passLevel.load(std::memory_order_relaxed)) return true;
    if (!title) title = "";
    if (!tail) tail = "";
    bool ok = logPrint(level, "");
    CxStr1p all(text ? text : ""), ln;
    char buf[kLogLineSize];
    long long pos = 0, nr = 0;
    for (long long from = pos; strTokenOneNL(ln, pos, all) && pos > from; from = pos) {
        ++nr;
        if (noNumbers)
            std::snprintf(buf, sizeof buf, "%s%s%s", title, ln.c_str(), tail);
        else if (title[0])
            std::snprintf(buf, sizeof buf, "%s (%lli) %s%s", title, nr, ln.c_str(), tail);
        else
            std::snprintf(buf, sizeof buf, "(%lli) %s%s", nr, ln.c_str(), tail);
        ok = logPrint(level, "%s", buf) && ok;
    }
    if (nr == 0) {
        if (noNumbers)
            std::snprintf(buf, sizeof buf, "%s%s", title, tail);
        else if (title[0])
            std::snprintf(buf, sizeof buf, "%s (-) %s", title, tail);
        else
            std::snprintf(buf, sizeof buf, "(-) %s", tail);
        ok = logPrint(level, "%s", buf) && ok;
    }
    return logPrint(level, "") && ok;
}

// ---- Console writers

bool echos2stream(FILE* stream, char const* a, char const* b, char const* c, char const* d,
                  char const* e) {
    if (!stream) return false;
    // Whole lines: worker threads echo at the same time.
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    bool ok = true;
    for (char const* t : {a, b, c, d, e})
        ok = streamPuts(stream, t) && ok;
    ok = std::fputc('\n', stream) != EOF && ok;
    return std::fflush(stream) == 0 && ok;
}
bool echos(char const* a, char const* b, char const* c, char const* d, char const* e) {
    return echos2stream(stdout, a, b, c, d, e);
}
bool echos2err(char const* a, char const* b, char const* c, char const* d, char const* e) {
    return echos2stream(stderr, a, b, c, d, e);
}

bool echof(char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool ok = vechof2stream(stdout, fmt, ap);
    va_end(ap);
    return ok;
}
bool echof2err(char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool ok = vechof2stream(stderr, fmt, ap);
    va_end(ap);
    return ok;
}
bool echof2stream(FILE* stream, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    bool ok = vechof2stream(stream, fmt, ap);
    va_end(ap);
    return ok;
}

bool echof2path(char const* path, char const* fmt, ...) {
    if (!path) path = "";
    long long len = (long long)std::strlen(path);
    if (len >= 260) return false;
    char low[260];
    for (long long i = 0; i <= len; ++i) {
        char c = path[i];
        low[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
    }
    FILE* f = nullptr;
    bool own = false;
    if (len == 0 || std::strcmp(low, "/dev/stdout") == 0)
        f = stdout;
    else if (std::strcmp(low, "/dev/stderr") == 0)
        f = stderr;
    else if (std::strcmp(low, "/dev/null") == 0)
        return true;
    else {
        f = fsFopen(path, "ab");
        if (!f) return false;
        own = true;
    }
    va_list ap;
    va_start(ap, fmt);
    bool ok = vechof2stream(f, fmt, ap);
    va_end(ap);
    if (own) ok = std::fclose(f) == 0 && ok;
    return ok;
}

static bool echocTo(FILE* f, char c) {
    unsigned u = (unsigned char)c;
    char shown = (u >= 32 && u < 127) ? c : '?';
    bool ok = std::fprintf(f, "('%c' 0x%02X %u)", shown, u, u) >= 0;
    return std::fflush(f) == 0 && ok;
}
bool echoc(char c) {
    return echocTo(stdout, c);
}
bool echoc2err(char c) {
    return echocTo(stderr, c);
}

static bool flushed(FILE* f, int printed) {
    return std::fflush(f) == 0 && printed >= 0;
}
bool echon(long long n) {
    return flushed(stdout, std::printf("%lli", n));
}
bool echon2err(long long n) {
    return flushed(stderr, std::fprintf(stderr, "%lli", n));
}
bool echod(double d) {
    return flushed(stdout, std::printf("%.9f", d));
}
bool echod2err(double d) {
    return flushed(stderr, std::fprintf(stderr, "%.9f", d));
}
bool echodp(double d, int p) {
    return flushed(stdout, std::printf("%.*f", p, d));
}
bool echodp2err(double d, int p) {
    return flushed(stderr, std::fprintf(stderr, "%.*f", p, d));
}
bool echold(long double x) {
    return flushed(stdout, std::printf("%.9Lf", x));
}
bool echold2err(long double x) {
    return flushed(stderr, std::fprintf(stderr, "%.9Lf", x));
}
bool echoldp(long double x, int p) {
    return flushed(stdout, std::printf("%.*Lf", p, x));
}
bool echoldp2err(long double x, int p) {
    return flushed(stderr, std::fprintf(stderr, "%.*Lf", p, x));
}

bool echosUntilTerm2(char const* term, ...) {
    bool ok = true;
    va_list ap;
    va_start(ap, term);
    for (;;) {
        char const* t = va_arg(ap, char const*);
        if (!t) {
            if (!term) break;
            continue;
        }
        if (term && std::strcmp(t, term) == 0) break;
        ok = streamPuts(stderr, t) && ok;
    }
    va_end(ap);
    ok = std::fputc('\n', stderr) != EOF && ok;
    return std::fflush(stderr) == 0 && ok;
}

bool echoLines2stream(FILE* stream, char const* pre, CxStr1p const& text, char const* post,
                      char const* numPre, char const* numPost) {
    if (!stream) return false;
    bool ok = true;
    CxStr1p ln;
    long long pos = 0, nr = 0;
    for (long long from = pos; strTokenOneNL(ln, pos, text) && pos > from; from = pos) {
        ++nr;
        ok = streamPuts(stream, pre) && ok;
        if (numPre || numPost)
            ok = std::fprintf(stream, "%s%lli%s", numPre ? numPre : "", nr,
                              numPost ? numPost : "") >= 0 &&
                 ok;
        ok = streamPut(stream, ln.c_str(), ln.len) && ok;
        ok = streamPuts(stream, post) && ok;
        ok = std::fputc('\n', stream) != EOF && ok;
    }
    return std::fflush(stream) == 0 && ok;
}
bool echoLines(char const* pre, CxStr1p const& text, char const* post, char const* numPre,
               char const* numPost) {
    return echoLines2stream(stdout, pre, text, post, numPre, numPost);
}
bool echoLines2err(char const* pre, CxStr1p const& text, char const* post, char const* numPre,
                   char const* numPost) {
    return echoLines2stream(stderr, pre, text, post, numPre, numPost);
}

// ---- Composed error texts

int err2strConf(char const* prefix, char const* suffix) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    if (prefix) cutCopy(g_errPre, sizeof g_errPre, prefix);
    if (suffix) cutCopy(g_errSuf, sizeof g_errSuf, suffix);
    return 0;
}

static void errAffixes(char* pre, char* suf) {
    std::lock_guard<std::recursive_mutex> lk(logMtx());
    std::memcpy(pre, g_errPre, sizeof g_errPre);
    std::memcpy(suf, g_errSuf, sizeof g_errSuf);
}

static int verr2strf(CxStr1p& out, char const* fmt, va_list ap) {
    if (!fmt) return 0;
    out.reserve(out.len + 4161);
    char pre[sizeof g_errPre], suf[sizeof g_errSuf];
    errAffixes(pre, suf);
    char buf[kLogLineSize];
    if (std::vsnprintf(buf, sizeof buf, fmt, ap) < 0) buf[0] = 0;
    out.addCstr(pre);
    out.addCstr(buf);
    out.addCstr(suf);
    return 0;
}

int err2strf(CxStr1p& out, char const* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    verr2strf(out, fmt, ap);
    va_end(ap);
    return 0;
}
int err2strf(CxStr1p* out, char const* fmt, ...) {
    if (!out) return 0;
    va_list ap;
    va_start(ap, fmt);
    verr2strf(*out, fmt, ap);
    va_end(ap);
    return 0;
}

int err2strs(CxStr1p& out, CxStr1p const& a, CxStr1p const& b, CxStr1p const& c, CxStr1p const& d) {
    char pre[sizeof g_errPre], suf[sizeof g_errSuf];
    errAffixes(pre, suf);
    out.addCstr(pre);
    for (CxStr1p const* t : {&a, &b, &c, &d})
        out.addObj(*t);
    out.addCstr(suf);
    return 0;
}
int err2strs(CxStr1p* out, CxStr1p const& a, CxStr1p const& b, CxStr1p const& c, CxStr1p const& d) {
    return out ? err2strs(*out, a, b, c, d) : 0;
}

static void verr2strsUntilTerm2(CxStr1p& out, char const* term, va_list ap) {
    for (;;) {
        char const* t = va_arg(ap, char const*);
        if (!t) {
            if (!term) break;
            continue;
        }
        if (term && std::strcmp(t, term) == 0) break;
        out.addCstr(t);
    }
    out.addVal('\n');
}

int err2strsUntilTerm2(CxStr1p& out, char const* term, ...) {
    va_list ap;
    va_start(ap, term);
    verr2strsUntilTerm2(out, term, ap);
    va_end(ap);
    return 0;
}
int err2strsUntilTerm2(CxStr1p* out, char const* term, ...) {
    if (!out) return 0;
    va_list ap;
    va_start(ap, term);
    verr2strsUntilTerm2(*out, term, ap);
    va_end(ap);
    return 0;
}

bool logTraceFlag(bool flag, char const* fmt, ...) {
    int level;
    if (logGetPassLevel() < 0)
        level = -1;
    else if (flag)
        level = 0;
    else
        return true;
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return logPrint(level, "%s", buf);
}

bool logTraceDbg(bool flag, char const* fmt, ...) {
    if (!flag) return true;
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return logPrint(logGetPassLevel() < 0 ? -1 : 0, "%s", buf);
}
