#include "base/timenum.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/timenum_sys.h"

namespace {

constexpr long long kNsPerSec = 1000000000LL;

// Program time reference and local-time offset: set early by the main thread,
// only read afterwards.
long long gBootRef = 0;
long long gLocalOffsetSec = 0;
bool gLocalOffsetKnown = false;

unsigned long long pow10u(int n) {
    unsigned long long r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

int clampDecimals(int decimals) {
    return decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
}

// Magnitude of a signed value; safe for LLONG_MIN.
unsigned long long magOf(long long v) {
    return v < 0 ? 0ULL - (unsigned long long)v : (unsigned long long)v;
}

// Bounded writer into a caller's byte buffer; remembers whether all fit.
struct BufPut {
    char* buf;
    long long cap; // bytes including the terminator
    long long n = 0;
    bool ok = true;
    BufPut(char* b, long long c) : buf(b), cap(c) {
        if (buf && cap > 0) buf[0] = 0;
    }
    void put(char c) {
        if (n + 1 < cap) {
            buf[n++] = c;
            buf[n] = 0;
        } else {
            ok = false;
        }
    }
    void puts(char const* s) {
        while (*s)
            put(*s++);
    }
    void putRep(char c, long long count) {
        for (long long i = 0; i < count && ok; i++)
            put(c);
    }
};

// Digits of v written backwards into tmp; returns their count.
int digitsOf(char* tmp, unsigned long long v) {
    int n = 0;
    do {
        tmp[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    return n;
}

void putUDec(BufPut& w, unsigned long long v) {
    char tmp[24];
    int n = digitsOf(tmp, v);
    while (n > 0)
        w.put(tmp[--n]);
}

// value read as a fraction of `digits` digits: the first `decimals` of them,
// truncated; missing places are zeros.
void putFraction(BufPut& w, unsigned long long value, int digits, int decimals) {
    if (decimals < 1) return;
    if (digits > 0) value %= pow10u(digits);
    char tmp[24];
    int n = digitsOf(tmp, value);
    w.put('.');
    for (int i = 0; i < decimals; i++) {
        int place = digits - 1 - i; // position counted from the right
        if (place < 0) {
            w.put('0');
        } else {
            w.put(place < n ? tmp[place] : '0');
        }
    }
}

bool setFromBuf(CxStr1p& out, char const* buf, bool ok) {
    if (!out.setCstr(buf)) return false;
    return ok;
}

// Reads an optional sign, then a decimal or hexadecimal magnitude.
struct NumRead {
    unsigned long long mag = 0;
    bool neg = false;
    bool hex = false;
    bool ok = false;
    bool over = false; // more than 64 bits
    char const* rest = "";
};

int hexVal(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

NumRead numRead(char const* p, bool hex) {
    NumRead r;
    if (!p || !*p) return r;
    if (*p == '+' || *p == '-') r.neg = *p++ == '-';
    bool has0x = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    char const* start;
    if (!hex && !has0x) {
        start = p;
        for (; *p >= '0' && *p <= '9'; p++) {
            unsigned d = (unsigned)(*p - '0');
            if (r.mag > (ULLONG_MAX - d) / 10) r.over = true;
            r.mag = r.mag * 10 + d;
        }
    } else {
        r.hex = true;
        if (has0x) p += 2;
        start = p;
        for (int d; (d = hexVal(*p)) >= 0; p++) {
            if (r.mag > (ULLONG_MAX >> 4)) r.over = true;
            r.mag = (r.mag << 4) | (unsigned)d;
        }
    }
    r.ok = p > start;
    r.rest = p;
    return r;
}

struct UnitMul {
    unsigned long long mul = 1;
    bool ok = false;
};

UnitMul unitMul(char const* s) {
    UnitMul u;
    char c = s[0];
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    static char const kUnits[] = "BKMGTPE";
    char const* hit = c ? strchr(kUnits, c) : nullptr;
    if (!hit) return u;
    int idx = (int)(hit - kUnits);
    bool binary = false;
    if (s[1]) {
        if (s[1] != 'i' && s[1] != 'I') return u;
        binary = true;
    }
    u.mul = binary ? (1ULL << (10 * idx)) : pow10u(3 * idx);
    u.ok = true;
    return u;
}

} // namespace

// ---- Through the platform table
long long timeRealNs() {
    return timeSys().timeRealNs();
}
long long timeBootNs() {
    return timeSys().timeBootNs();
}
long long timeCpuNs() {
    return timeSys().timeCpuNs();
}

bool sleepNs(long long ns) {
    if (ns < 0) return false;
    return timeSys().sleepNs(ns);
}

bool timeTMFromSec(tm& out, long long sec, char mode) {
    return timeSys().timeTMFromSec(out, sec, mode == 'L');
}

bool cstrFormatTM(char* buf, long long bufSize, char const* format, tm const& t) {
    if (!buf || bufSize < 1) return false;
    buf[0] = 0;
    if (!format) return false;
    if (!*format) return true;
    return timeSys().cstrFormatTM(buf, bufSize, format, t);
}

long long mkTimeLocalSEC(tm& t) {
    return timeSys().mkTimeLocalSEC(t);
}
long long mkTimeUtcSEC(tm& t) {
    return timeSys().mkTimeUtcSEC(t);
}
long long timeLocalOffsetRead() {
    return timeSys().timeLocalOffsetRead();
}

// ---- Clocks

bool timeRealTS(timespec& ts) {
    return timeTSFromNsSet(ts, timeRealNs());
}
bool timeBootTS(timespec& ts) {
    return timeTSFromNsSet(ts, timeBootNs());
}
bool timeCpuTS(timespec& ts) {
    return timeTSFromNsSet(ts, timeCpuNs());
}

bool timeAppInitBootRef(long long ref) {
    if (ref >= 1) {
        gBootRef = ref;
    } else if (gBootRef < 1) {
        long long now = timeBootNs();
        gBootRef = now < 1 ? 1 : now;
    }
    return true;
}

long long timeAppGetBootRef() {
    if (gBootRef < 1) timeAppInitBootRef(0);
    return gBootRef;
}

long long timeAppNs() {
    long long ref = timeAppGetBootRef();
    return timeBootNs() - ref;
}

long long timeElapsed(long long t0, long long t1) {
    return t1 - t0;
}
long long timeElapsed(timespec const& t0, timespec const& t1) {
    return timeNsFromTS(t1) - timeNsFromTS(t0);
}

// ---- Conversions

long long timeNsFromTS(timespec const& ts) {
    return (long long)ts.tv_sec * kNsPerSec + (long long)ts.tv_nsec;
}

bool timeTSFromNsSet(timespec& ts, long long ns) {
    long long sec = ns / kNsPerSec;
    long long rem = ns % kNsPerSec;
    if (rem < 0) { // keep tv_nsec in [0, 1e9)
        rem += kNsPerSec;
        sec -= 1;
    }
    ts.tv_sec = (time_t)sec;
    ts.tv_nsec = (long)rem;
    return true;
}

timespec timeTSFromNs(long long ns) {
    timespec ts{};
    timeTSFromNsSet(ts, ns);
    return ts;
}

long long timeNsFromSec(long long sec) {
    return sec * kNsPerSec;
}
long long timeSecFromNs(long long ns) {
    return ns / kNsPerSec;
}

long long timeNsFromDbl(double sec) {
    double d = sec * 1e9;
    if (d != d) return 0; // NaN
    if (d >= 9.2233720368547758e18) return LLONG_MAX;
    if (d <= -9.2233720368547758e18) return LLONG_MIN;
    return (long long)d;
}

double timeDblFromNs(long long ns) {
    return (double)ns / 1e9;
}

// ---- Sleeping

bool sleepUs(long long us) {
    if (us < 0) return false;
    if (us > LLONG_MAX / 1000) us = LLONG_MAX / 1000;
    return sleepNs(us * 1000);
}

bool sleepMs(long long ms) {
    if (ms < 0) return false;
    if (ms > LLONG_MAX / 1000000) ms = LLONG_MAX / 1000000;
    return sleepUs(ms * 1000);
}

bool sleepSecDbl(double sec) {
    if (!(sec >= 0)) return false; // negative or NaN
    return sleepNs(timeNsFromDbl(sec));
}

bool waitSecDbl(double sec) {
    if (!(sec >= 0)) return false;
    long long ns = timeNsFromDbl(sec);
    if (ns < 1) return true;
    long long now = timeBootNs();
    long long end = ns > LLONG_MAX - now ? LLONG_MAX : now + ns;
    while (now < end) {
        sleepNs(end - now); // early wake-ups just loop
        now = timeBootNs();
    }
    return true;
}

// ---- Reading numbers

bool intUnitApplyFromCstrSet(long long& value, char const* suffix) {
    if (!suffix || !*suffix) return true;
    UnitMul u = unitMul(suffix);
    if (!u.ok) return false;
    long long r;
    if (__builtin_mul_overflow(value, (long long)u.mul, &r)) return false;
    value = r;
    return true;
}

bool intUnitApplyFromStrSet(long long& value, CxStr1p const& suffix) {
    return intUnitApplyFromCstrSet(value, suffix.c_str());
}

long long intUnitApplyFromStr(long long value, CxStr1p const& suffix) {
    intUnitApplyFromStrSet(value, suffix);
    return value;
}

bool uintUnitApplyFromCstrSet(unsigned long long& value, char const* suffix) {
    if (!suffix || !*suffix) return true;
    UnitMul u = unitMul(suffix);
    if (!u.ok) return false;
    unsigned long long r;
    if (__builtin_mul_overflow(value, u.mul, &r)) return false;
    value = r;
    return true;
}

bool uintUnitApplyFromStrSet(unsigned long long& value, CxStr1p const& suffix) {
    return uintUnitApplyFromCstrSet(value, suffix.c_str());
}

unsigned long long uintUnitApplyFromStr(unsigned long long value, CxStr1p const& suffix) {
    uintUnitApplyFromStrSet(value, suffix);
    return value;
}

bool intFromCstrSet(long long& out, char const* text, bool hex, bool units) {
    out = 0;
    NumRead r = numRead(text, hex);
    if (!r.ok) return false;
    // Decimal values must fit the signed range; hexadecimal ones are 64-bit
    // patterns (0xFFFFFFFFFFFFFFFF is -1).
    unsigned long long limit = r.hex ? ULLONG_MAX : (r.neg ? 1ULL << 63 : (1ULL << 63) - 1);
    if (r.over || r.mag > limit) {
        out = r.neg ? LLONG_MIN : LLONG_MAX;
        return false;
    }
    out = (long long)(r.neg ? 0ULL - r.mag : r.mag);
    if (units && !r.hex) return intUnitApplyFromCstrSet(out, r.rest);
    return true;
}

long long intFromCstr(char const* text, bool hex, bool units) {
    long long v;
    intFromCstrSet(v, text, hex, units);
    return v;
}

bool intFromStrSet(long long& out, CxStr1p const& text, bool hex, bool units) {
    return intFromCstrSet(out, text.c_str(), hex, units);
}

long long intFromStr(CxStr1p const& text, bool hex, bool units) {
    return intFromCstr(text.c_str(), hex, units);
}

bool uintFromCstrSet(unsigned long long& out, char const* text, bool hex, bool units) {
    out = 0;
    NumRead r = numRead(text, hex);
    if (!r.ok) return false;
    if (r.over) {
        out = ULLONG_MAX;
        return false;
    }
    out = r.neg ? 0ULL - r.mag : r.mag;
    if (units && !r.hex) return uintUnitApplyFromCstrSet(out, r.rest);
    return true;
}

unsigned long long uintFromCstr(char const* text, bool hex, bool units) {
    unsigned long long v;
    uintFromCstrSet(v, text, hex, units);
    return v;
}

bool uintFromStrSet(unsigned long long& out, CxStr1p const& text, bool hex, bool units) {
    return uintFromCstrSet(out, text.c_str(), hex, units);
}

unsigned long long uintFromStr(CxStr1p const& text, bool hex, bool units) {
    return uintFromCstr(text.c_str(), hex, units);
}

bool dblFromCstrSet(double& out, char const* text) {
    out = 0.0;
    if (!text || !*text) return false;
    double d = 0.0;
    if (sscanf(text, "%lf", &d) != 1) return false;
    out = d;
    return true;
}

double dblFromCstr(char const* text) {
    double d;
    dblFromCstrSet(d, text);
    return d;
}

bool dblFromStrSet(double& out, CxStr1p const& text) {
    return dblFromCstrSet(out, text.c_str());
}
double dblFromStr(CxStr1p const& text) {
    return dblFromCstr(text.c_str());
}

// ---- Writing numbers

namespace {

bool strFromMagSet(CxStr1p& out, unsigned long long mag, bool neg, long long width, char pad,
                   bool signOutsideWidth) {
    out.clear();
    if (width < 0) return false;
    if (!pad) pad = ' ';
    char tmp[24];
    int nd = digitsOf(tmp, mag);
    long long signLen = neg ? 1 : 0;
    long long body = nd + (signOutsideWidth ? 0 : signLen);
    long long npad = width > body ? width - body : 0;
    long long total = npad + nd + signLen;
    if (!out.reserve(total + 1)) return false;
    char* p = out.data;
    if (pad == '0') {
        if (neg) *p++ = '-';
        memset(p, '0', (size_t)npad);
        p += npad;
    } else {
        memset(p, pad, (size_t)npad);
        p += npad;
        if (neg) *p++ = '-';
    }
    while (nd > 0)
        *p++ = tmp[--nd];
    *p = 0;
    out.forceLen(total);
    return true;
}

} // namespace

bool strFromIntSet(CxStr1p& out, long long value, long long width, char pad,
                   bool signOutsideWidth) {
    return strFromMagSet(out, magOf(value), value < 0, width, pad, signOutsideWidth);
}

CxStr1p strFromInt(long long value, long long width, char pad, bool signOutsideWidth) {
    CxStr1p s;
    strFromIntSet(s, value, width, pad, signOutsideWidth);
    return s;
}

bool strFromUIntSet(CxStr1p& out, unsigned long long value, long long width, char pad) {
    return strFromMagSet(out, value, false, width, pad, false);
}

CxStr1p strFromUInt(unsigned long long value, long long width, char pad) {
    CxStr1p s;
    strFromUIntSet(s, value, width, pad);
    return s;
}

bool strFromDecimalsSet(CxStr1p& out, long long value, int digits, int decimals) {
    out.clear();
    if (digits < 0 || digits > 18 || decimals < 0) return false;
    if (decimals == 0) return true;
    if (!out.reserve((long long)decimals + 2)) return false;
    BufPut w(out.data, out.cap);
    putFraction(w, magOf(value), digits, decimals);
    out.forceValidLen();
    return w.ok;
}

CxStr1p strFromDecimals(long long value, int digits, int decimals) {
    CxStr1p s;
    strFromDecimalsSet(s, value, digits, decimals);
    return s;
}

bool cstrFromIntDecSet(char* buf, long long bufSize, long long value, int scaleDigits, int decimals,
                       int width, char pad, char flag) {
    if (!buf || bufSize < 1) return false;
    buf[0] = 0;
    if (scaleDigits < 0 || scaleDigits > 18 || decimals < 0 || width < 0) return false;
    if (!pad) pad = ' ';
    unsigned long long mag = magOf(value);
    unsigned long long scale = pow10u(scaleDigits);
    char sign = value < 0 ? '-' : (flag == '+' ? '+' : 0);
    // Length of the text without padding.
    char tmp[24];
    long long body =
        (sign ? 1 : 0) + digitsOf(tmp, mag / scale) + (decimals > 0 ? 1 + decimals : 0);
    long long npad = width > body ? width - body : 0;
    BufPut w(buf, bufSize);
    if (flag == '-') {
        if (sign) w.put(sign);
        putUDec(w, mag / scale);
        putFraction(w, mag % scale, scaleDigits, decimals);
        w.putRep(pad == '0' ? ' ' : pad, npad);
    } else if (pad == '0') {
        if (sign) w.put(sign);
        w.putRep('0', npad);
        putUDec(w, mag / scale);
        putFraction(w, mag % scale, scaleDigits, decimals);
    } else {
        w.putRep(pad, npad);
        if (sign) w.put(sign);
        putUDec(w, mag / scale);
        putFraction(w, mag % scale, scaleDigits, decimals);
    }
    return w.ok;
}

bool strFromIntDecSet(CxStr1p& out, long long value, int scaleDigits, int decimals, int width,
                      char pad, char flag) {
    out.clear();
    if (decimals < 0 || width < 0) return false;
    long long need = 24 + (long long)decimals;
    if (width > need) need = width;
    if (!out.reserve(need + 1)) return false;
    bool ok = cstrFromIntDecSet(out.data, out.cap, value, scaleDigits, decimals, width, pad, flag);
    out.forceValidLen();
    if (!ok) out.clear();
    return ok;
}

CxStr1p strFromIntDec(long long value, int scaleDigits, int decimals, int width, char pad,
                      char flag) {
    CxStr1p s;
    strFromIntDecSet(s, value, scaleDigits, decimals, width, pad, flag);
    return s;
}

bool strFromDblSet(CxStr1p& out, double value, int precision) {
    out.clear();
    if (precision < 0) return false;
    if (precision > 17) precision = 17;
    char buf[64];
    int n = snprintf(buf, sizeof buf, "%.*g", precision, value);
    if (n < 0 || n >= (int)sizeof buf) return false;
    return out.setCstr(buf, n);
}

CxStr1p strFromDbl(double value, int precision) {
    CxStr1p s;
    strFromDblSet(s, value, precision);
    return s;
}

// ---- Elapsed texts

namespace {

void putTwo(BufPut& w, unsigned long long v) {
    if (v < 10) w.put('0');
    putUDec(w, v);
}

void putElapsed(BufPut& w, unsigned long long d, bool neg, int decimals) {
    unsigned long long secs = d / kNsPerSec;
    unsigned long long days = secs / 86400;
    unsigned long long hours = secs / 3600 % 24;
    unsigned long long mins = secs / 60 % 60;
    if (neg) w.put('-');
    if (days) {
        putUDec(w, days);
        w.puts(" d ");
    }
    if (days || hours) {
        putTwo(w, hours);
        w.puts(" h ");
    }
    if (days || hours || mins) {
        putTwo(w, mins);
        w.puts(" m ");
    }
    putTwo(w, secs % 60);
    putFraction(w, d % kNsPerSec, 9, decimals);
    w.puts(" s");
}

} // namespace

bool strElapsedSet(CxStr1p& out, long long t0, long long t1, int decimals) {
    decimals = clampDecimals(decimals);
    // Differences of extreme values would overflow the signed type.
    unsigned long long ud = (unsigned long long)t1 - (unsigned long long)t0;
    bool neg = t1 < t0;
    unsigned long long mag = neg ? 0ULL - ud : ud;
    char buf[96];
    BufPut w(buf, sizeof buf);
    putElapsed(w, mag, neg, decimals);
    return setFromBuf(out, buf, w.ok);
}

CxStr1p strElapsed(long long t0, long long t1, int decimals) {
    CxStr1p s;
    strElapsedSet(s, t0, t1, decimals);
    return s;
}

bool strElapsedBigSet(CxStr1p& out, long long t0, long long t1, int decimals) {
    decimals = clampDecimals(decimals);
    unsigned long long ud = (unsigned long long)t1 - (unsigned long long)t0;
    bool neg = t1 < t0;
    unsigned long long mag = neg ? 0ULL - ud : ud;
    char buf[160];
    BufPut w(buf, sizeof buf);
    if (neg) w.put('-');
    putUDec(w, mag / kNsPerSec);
    putFraction(w, mag % kNsPerSec, 9, decimals);
    w.puts(" sec");
    if (mag >= 60ULL * kNsPerSec) {
        w.puts(" == ");
        putElapsed(w, mag, neg, decimals);
    }
    return setFromBuf(out, buf, w.ok);
}

CxStr1p strElapsedBig(long long t0, long long t1, int decimals) {
    CxStr1p s;
    strElapsedBigSet(s, t0, t1, decimals);
    return s;
}

bool echoElapsed(char const* prefix, long long t0, long long t1, char const* suffix) {
    CxStr1p el;
    strElapsedSet(el, t0, t1, 9);
    bool ok = printf("%s%s%s\n", prefix ? prefix : "", el.c_str(), suffix ? suffix : "") >= 0;
    return fflush(stdout) == 0 && ok;
}

bool echoElapsed(long long t0, long long t1, char const* suffix) {
    return echoElapsed("", t0, t1, suffix);
}

// ---- Date-time texts

char const* cstrYmd() {
    return "%Y-%m-%d";
}
char const* cstrHMS() {
    return "%H:%M:%S";
}
char const* cstrYmdHMS() {
    return "%Y-%m-%d %H:%M:%S";
}
char const* cstrHMSZ() {
    return "%H:%M:%S %Z";
}
char const* cstrHMSz() {
    return "%H:%M:%S %z";
}
char const* cstrYmdHMSZ() {
    return "%Y-%m-%d %H:%M:%S %Z";
}
char const* cstrYmdHMSz() {
    return "%Y-%m-%d %H:%M:%S %z";
}

bool cstrDateTimeFromNsSet(char* buf, long long bufSize, long long ns, char mode,
                           char const* format, int decimals) {
    if (!buf || bufSize < 1) return false;
    buf[0] = 0;
    decimals = clampDecimals(decimals);
    if (mode == 'S') {
        BufPut w(buf, bufSize);
        unsigned long long mag = magOf(ns);
        if (ns < 0) w.put('-');
        putUDec(w, mag / kNsPerSec);
        putFraction(w, mag % kNsPerSec, 9, decimals);
        if (!w.ok) buf[0] = 0;
        return w.ok;
    }
    if ((mode != 'L' && mode != 'U') || !format) return false;
    long long sec = ns / kNsPerSec;
    long long frac = ns % kNsPerSec;
    if (frac < 0) { // the fraction counts forward from the second before
        frac += kNsPerSec;
        sec -= 1;
    }
    tm t;
    if (!timeTMFromSec(t, sec, mode)) return false;
    // The runtime's zone texts describe local time; in UTC they are fixed.
    // Also find the "%S" after which the fraction goes.
    CxStr1p fmt;
    long long splitAt = -1;
    for (char const* p = format; *p; p++) {
        if (*p != '%' || !p[1]) {
            if (!fmt.addVal(*p)) return false;
            continue;
        }
        char c = p[1];
        bool ok;
        if (mode == 'U' && c == 'Z') {
            ok = fmt.addCstr("UTC");
        } else if (mode == 'U' && c == 'z') {
            ok = fmt.addCstr("+0000");
        } else {
            ok = fmt.addVal('%') && fmt.addVal(c);
            if (c == 'S' && splitAt < 0) splitAt = fmt.len;
        }
        if (!ok) return false;
        p++;
    }
    if (decimals < 1 || splitAt < 0) {
        if (cstrFormatTM(buf, bufSize, fmt.c_str(), t)) return true;
        buf[0] = 0;
        return false;
    }
    CxStr1p head(fmt.c_str(), splitAt);
    if (!cstrFormatTM(buf, bufSize, head.c_str(), t)) {
        buf[0] = 0;
        return false;
    }
    long long n = (long long)strlen(buf);
    BufPut w(buf + n, bufSize - n);
    putFraction(w, (unsigned long long)frac, 9, decimals);
    n += w.n;
    if (w.ok && cstrFormatTM(buf + n, bufSize - n, fmt.c_str() + splitAt, t)) return true;
    buf[0] = 0;
    return false;
}

bool strDateTimeFromNsSet(CxStr1p& out, long long ns, char mode, char const* format, int decimals) {
    out.clear();
    long long cap = (format ? (long long)strlen(format) : 0) + 40 + 10;
    // Some conversions (names of days and months, %c) may need more room.
    for (int attempt = 0; attempt < 4; attempt++, cap *= 4) {
        if (!out.reserve(cap)) return false;
        if (cstrDateTimeFromNsSet(out.data, out.cap, ns, mode, format, decimals)) {
            out.forceValidLen();
            return true;
        }
        if (mode != 'L' && mode != 'U') break;
    }
    out.forceLen(0);
    return false;
}

CxStr1p strDateTimeFromNs(long long ns, char mode, char const* format, int decimals) {
    CxStr1p s;
    strDateTimeFromNsSet(s, ns, mode, format, decimals);
    return s;
}

// ---- Calendar (proleptic Gregorian, days counted from 1970-01-01)

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

void timeYmdFromDays(long long days, long long& y, int& m, int& d) {
    // Eras of 400 years starting on March 1st: a leap day ends its year.
    long long z = days + 719468;
    long long era = floorDiv(z, 146097);
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    d = (int)(doy - (153 * mp + 2) / 5 + 1);
    m = (int)(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

long long timeDaysFromYmd(long long y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    long long era = floorDiv(y, 400);
    long long yoe = y - era * 400;
    long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// ---- Broken-down times

bool timeTMFromNs(tm& out, long long ns, char mode) {
    long long sec = ns / kNsPerSec;
    if (ns % kNsPerSec < 0) sec -= 1; // floor: -0.5 s lies in the second before
    return timeTMFromSec(out, sec, mode);
}

bool timeTMFromTS(tm& out, timespec const& ts, char mode) {
    return timeTMFromSec(out, (long long)ts.tv_sec, mode);
}

bool timeInitTM(tm& t) {
    memset(&t, 0, sizeof t);
    t.tm_isdst = -1;
    return true;
}

bool timeTMFromYmdHMS(tm& out, char const* text) {
    timeInitTM(out);
    int y, mo, d, h, mi, s;
    if (!text || sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return false;
    out.tm_year = y - 1900;
    out.tm_mon = mo - 1;
    out.tm_mday = d;
    out.tm_hour = h;
    out.tm_min = mi;
    out.tm_sec = s;
    return true;
}

long long timeLocalOffsetSec() {
    if (!gLocalOffsetKnown) {
        gLocalOffsetSec = timeLocalOffsetRead();
        gLocalOffsetKnown = true;
    }
    return gLocalOffsetSec;
}

long long mkTimeUtcSECFromTM(tm& t) {
    long long r = mkTimeUtcSEC(t);
    return r < 1 ? 0 : r;
}

long long mkTimeSECFromTM(tm& t, char mode) {
    if (mode != 'L') return mkTimeUtcSECFromTM(t);
    long long r = mkTimeLocalSEC(t);
    return r < 1 ? 0 : r;
}

long long mkTimeNsFromTM(tm& t, char mode) {
    return timeNsFromSec(mkTimeSECFromTM(t, mode));
}
