#include "base/str.h"
#include "base/containers.h"

#include <cstdlib>
#include <cstring>

static long long const kStrMax = 0x7FFFFFFFFFFFFFFFLL;
static long long const kStrGranule = 256;

long long calcGrowStrCx(long long current, long long needed, long long granularity,
                        long long maximum) {
    if (needed < 1 || needed >= maximum) return 0;
    if (current < 1) return needed;
    long long grown = needed + needed / 2;
    if (grown < needed) grown = maximum; // overflow
    if (granularity < 2) return (grown >= needed && grown < maximum) ? grown : needed;
    long long q = grown / granularity + 1;
    if (q > maximum / granularity) return needed;
    long long r = q * granularity;
    return (r >= needed && r < maximum) ? r : needed;
}

static long long cstrLen(char const* text, long long n) {
    if (!text) return 0;
    if (n < 0) return (long long)strlen(text);
    void const* z = memchr(text, 0, (size_t)n);
    return z ? (long long)((char const*)z - text) : n;
}

CxStr1p::CxStr1p(char const* text) { setCstr(text, -1); }
CxStr1p::CxStr1p(char const* text, long long n) { setCstr(text, n); }
CxStr1p::CxStr1p(char c) { setChar(c); }
CxStr1p::CxStr1p(CxStr1p const& o) { setCstr(o.data, o.len); }
CxStr1p::CxStr1p(CxStr1p&& o) noexcept { swap(o); }
CxStr1p::~CxStr1p() { destroy(); }

CxStr1p& CxStr1p::operator=(CxStr1p const& o) {
    setObj(o);
    return *this;
}
CxStr1p& CxStr1p::operator=(CxStr1p&& o) noexcept {
    if (this != &o) {
        destroy();
        swap(o);
    }
    return *this;
}
CxStr1p& CxStr1p::operator=(char const* text) {
    setCstr(text, -1);
    return *this;
}
CxStr1p& CxStr1p::operator=(char c) {
    setChar(c);
    return *this;
}

void CxStr1p::destroy() {
    free(data);
    data = nullptr;
    cap = 0;
    len = 0;
}

void CxStr1p::swap(CxStr1p& o) noexcept {
    long long c = cap, l = len;
    char* d = data;
    cap = o.cap;
    len = o.len;
    data = o.data;
    o.cap = c;
    o.len = l;
    o.data = d;
}

bool CxStr1p::growFor(long long newLen) {
    if (newLen < 0) return false;
    if (data && cap > newLen) return true;
    long long need = newLen + 1;
    long long n = calcGrowStrCx(data ? cap : 0, need, kStrGranule, kStrMax);
    if (n < need) return false;
    char* p = (char*)malloc((size_t)n);
    if (!p) return false;
    if (data && len > 0) memcpy(p, data, (size_t)len);
    p[len > 0 && data ? len : 0] = 0;
    if (!data) len = 0;
    free(data);
    data = p;
    cap = n;
    return true;
}

bool CxStr1p::reserve(long long n) {
    if (n <= cap) return true;
    if (n < 1) return true;
    char* p = (char*)malloc((size_t)n);
    if (!p) return false;
    if (data && len > 0) memcpy(p, data, (size_t)len);
    if (!data) len = 0;
    p[len] = 0;
    free(data);
    data = p;
    cap = n;
    return true;
}

bool CxStr1p::setObj(CxStr1p const& o) {
    if (this == &o) return true;
    return setCstr(o.data, o.len);
}

bool CxStr1p::setMove(CxStr1p& o) {
    if (this == &o) return true;
    destroy();
    swap(o);
    return true;
}

bool CxStr1p::setCstr(char const* text, long long n) {
    long long l = cstrLen(text, n);
    if (l == 0) {
        forceLen(0);
        return true;
    }
    // The source may live inside our own buffer.
    if (data && text >= data && text < data + cap) {
        memmove(data, text, (size_t)l);
        forceLen(l);
        return true;
    }
    forceLen(0);
    if (!growFor(l)) {
        destroy();
        return false;
    }
    memcpy(data, text, (size_t)l);
    len = l;
    data[len] = 0;
    return true;
}

bool CxStr1p::setChar(char c) {
    if (!c) {
        forceLen(0);
        return true;
    }
    return setCstr(&c, 1);
}

bool CxStr1p::addVal(char c) {
    if (!c) return true;
    if (!growFor(len + 1)) return false;
    data[len++] = c;
    data[len] = 0;
    return true;
}

bool CxStr1p::addCstr(char const* text, long long n) {
    long long l = cstrLen(text, n);
    if (l == 0) return true;
    // Appending from our own buffer (self-append) must survive reallocation.
    if (data && text >= data && text < data + cap) {
        long long off = text - data;
        if (!growFor(len + l)) return false;
        memmove(data + len, data + off, (size_t)l);
    } else {
        if (!growFor(len + l)) return false;
        memcpy(data + len, text, (size_t)l);
    }
    len += l;
    data[len] = 0;
    return true;
}

bool CxStr1p::addObj(CxStr1p const& o) { return addCstr(o.data, o.len); }
CxStr1p& CxStr1p::operator+=(CxStr1p const& o) {
    addObj(o);
    return *this;
}
CxStr1p& CxStr1p::operator+=(char const* text) {
    addCstr(text, -1);
    return *this;
}
CxStr1p& CxStr1p::operator+=(char c) {
    addVal(c);
    return *this;
}

bool CxStr1p::insAt(long long pos, char const* text, long long n) {
    if (pos < 0 || pos > len) return false;
    long long l = cstrLen(text, n);
    if (l == 0) return true;
    if (pos == len) return addCstr(text, l);
    CxStr1p tmp(text, l); // the text may be part of this string
    if (tmp.len != l) return false;
    if (!growFor(len + l)) return false;
    memmove(data + pos + l, data + pos, (size_t)(len - pos));
    memcpy(data + pos, tmp.data, (size_t)l);
    len += l;
    data[len] = 0;
    return true;
}

bool CxStr1p::insAt(long long pos, CxStr1p const& o) { return insAt(pos, o.data, o.len); }
bool CxStr1p::insAt(long long pos, char c) { return c ? insAt(pos, &c, 1) : true; }

bool CxStr1p::delAt(long long pos) { return delSpan(pos, 1); }

bool CxStr1p::delSpan(long long pos, long long n) {
    if (pos < 0 || pos >= len || n < 1 || !data) return false;
    if (n > len - pos) n = len - pos;
    memmove(data + pos, data + pos + n, (size_t)(len - pos - n));
    len -= n;
    data[len] = 0;
    return true;
}

bool CxStr1p::delEachChar(char c) {
    if (!data) return true;
    long long w = 0;
    for (long long r = 0; r < len; ++r)
        if (data[r] != c) data[w++] = data[r];
    len = w;
    data[len] = 0;
    return true;
}

void CxStr1p::forceLen(long long n) {
    if (!data || cap < 1) {
        len = 0;
        return;
    }
    if (n < 0) n = 0;
    if (n > cap - 1) n = cap - 1;
    len = n;
    data[len] = 0;
}

void CxStr1p::forceValidLen() {
    if (!data || cap < 1) {
        len = 0;
        return;
    }
    data[cap - 1] = 0;
    len = (long long)strlen(data);
}

static char g_strScratch = 0;

char& CxStr1p::at(long long i) {
    if (i >= 0 && i < len && data) return data[i];
    g_strScratch = 0;
    return g_strScratch;
}

bool CxStr1p::getAt(long long i, char& c) const {
    if (i >= 0 && i < len && data) {
        c = data[i];
        return true;
    }
    c = 0;
    return false;
}

bool CxStr1p::setAt(long long i, char c) {
    if (i < 0 || i >= len || !data) return false;
    data[i] = c;
    return true;
}

bool CxStr1p::findIndex(long long& idx, char c, long long from) const {
    if (from < 0) from = 0;
    if (data && from < len) {
        void const* p = memchr(data + from, c, (size_t)(len - from));
        if (p) {
            idx = (long long)((char const*)p - data);
            return true;
        }
    }
    idx = -1;
    return false;
}

bool CxStr1p::hasVal(char c) const {
    long long i;
    return findIndex(i, c, 0);
}

int cmpCxStr1p(CxStr1p const& a, CxStr1p const& b) {
    bool ea = a.isEmpty(), eb = b.isEmpty();
    if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
    signed char fa = (signed char)a.data[0], fb = (signed char)b.data[0];
    if (fa != fb) return fa < fb ? -1 : 1;
    long long n = (a.len < b.len ? a.len : b.len) + 1;
    int r = strncmp(a.data, b.data, (size_t)n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool isEqCxStr1p(CxStr1p const& a, CxStr1p const& b) {
    if (a.len != b.len) return false;
    bool ea = a.isEmpty(), eb = b.isEmpty();
    if (ea || eb) return ea && eb;
    if (a.data[0] != b.data[0]) return false;
    return strncmp(a.data, b.data, (size_t)(a.len + 1)) == 0;
}

bool operator==(CxStr1p const& a, CxStr1p const& b) { return isEqCxStr1p(a, b); }
bool operator!=(CxStr1p const& a, CxStr1p const& b) { return !isEqCxStr1p(a, b); }
bool operator<(CxStr1p const& a, CxStr1p const& b) { return cmpCxStr1p(a, b) < 0; }
bool operator>(CxStr1p const& a, CxStr1p const& b) { return cmpCxStr1p(a, b) > 0; }
bool operator<=(CxStr1p const& a, CxStr1p const& b) { return cmpCxStr1p(a, b) <= 0; }
bool operator>=(CxStr1p const& a, CxStr1p const& b) { return cmpCxStr1p(a, b) >= 0; }
bool operator==(CxStr1p const& a, char const* b) { return a == CxStr1p(b); }
bool operator!=(CxStr1p const& a, char const* b) { return a != CxStr1p(b); }
bool operator<(CxStr1p const& a, char const* b) { return a < CxStr1p(b); }
bool operator>(CxStr1p const& a, char const* b) { return a > CxStr1p(b); }
bool operator<=(CxStr1p const& a, char const* b) { return a <= CxStr1p(b); }
bool operator>=(CxStr1p const& a, char const* b) { return a >= CxStr1p(b); }
bool operator==(char const* a, CxStr1p const& b) { return CxStr1p(a) == b; }
bool operator!=(char const* a, CxStr1p const& b) { return CxStr1p(a) != b; }
bool operator<(char const* a, CxStr1p const& b) { return CxStr1p(a) < b; }
bool operator>(char const* a, CxStr1p const& b) { return CxStr1p(a) > b; }
bool operator<=(char const* a, CxStr1p const& b) { return CxStr1p(a) <= b; }
bool operator>=(char const* a, CxStr1p const& b) { return CxStr1p(a) >= b; }
bool operator==(CxStr1p const& a, char b) { return a == CxStr1p(b); }
bool operator!=(CxStr1p const& a, char b) { return a != CxStr1p(b); }
bool operator==(char a, CxStr1p const& b) { return CxStr1p(a) == b; }
bool operator!=(char a, CxStr1p const& b) { return CxStr1p(a) != b; }

CxStr1p operator+(CxStr1p const& a, CxStr1p const& b) {
    CxStr1p r(a);
    r += b;
    return r;
}
CxStr1p operator+(CxStr1p const& a, char const* b) {
    CxStr1p r(a);
    r += b;
    return r;
}
CxStr1p operator+(CxStr1p const& a, char b) {
    CxStr1p r(a);
    r += b;
    return r;
}
CxStr1p operator+(char const* a, CxStr1p const& b) {
    CxStr1p r(a);
    r += b;
    return r;
}
CxStr1p operator+(char a, CxStr1p const& b) {
    CxStr1p r(a);
    r += b;
    return r;
}

long long calcGrowVectTp(long long current, long long needed, long long elemSize) {
    if (elemSize < 1) return 0;
    return calcGrowStrCx(current, needed, 1024, kStrMax / elemSize);
}
