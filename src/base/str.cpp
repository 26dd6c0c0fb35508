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
    // needed + needed/2 may not fit in 64 bits; such a size is out of range anyway.
    if (needed / 2 > maximum - needed) return needed;
    long long grown = needed + needed / 2;
    if (granularity < 2) return grown < maximum ? grown : needed;
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

CxStr1p::CxStr1p(char const* text) {
    setCstr(text, -1);
}
CxStr1p::CxStr1p(char const* text, long long n) {
    setCstr(text, n);
}
CxStr1p::CxStr1p(char c) {
    setChar(c);
}
CxStr1p::CxStr1p(CxStr1p const& o) {
    setCstr(o.data, o.len);
}
CxStr1p::CxStr1p(CxStr1p&& o) noexcept {
    swap(o);
}
CxStr1p::~CxStr1p() {
    destroy();
}

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
    if (cap > 0) free(data);
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

bool CxStr1p::growSlow(long long newLen) {
    if (newLen < 0) return false;
    if (isView() && newLen < len) newLen = len;
    if (data && cap > newLen) return true;
    long long need = newLen + 1;
    long long n = calcGrowStrCx(data ? cap : 0, need, kStrGranule, kStrMax);
    if (n < need) return false;
    char* p = (char*)malloc((size_t)n);
    if (!p) return false;
    if (data && len > 0) memcpy(p, data, (size_t)len);
    p[len > 0 && data ? len : 0] = 0;
    if (!data) len = 0;
    if (cap > 0) free(data);
    data = p;
    cap = n;
    return true;
}

bool CxStr1p::reserve(long long n) {
    if (n <= cap) return true;
    if (n < 1) return true;
    if (isView() && n <= len) n = len + 1;
    char* p = (char*)malloc((size_t)n);
    if (!p) return false;
    if (data && len > 0) memcpy(p, data, (size_t)len);
    if (!data) len = 0;
    p[len] = 0;
    if (cap > 0) free(data);
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

void CxStr1p::setView(char const* text, long long n) {
    destroy();
    if (!text || n < 1) return;
    data = (char*)text;
    len = n;
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

bool CxStr1p::addObj(CxStr1p const& o) {
    return addCstr(o.data, o.len);
}
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
    CxStr1p tmp;
    if (data && text >= data && text < data + cap) { // the text is part of this string
        if (!tmp.setCstr(text, l)) return false;
        text = tmp.data;
    }
    if (!growFor(len + l)) return false;
    memmove(data + pos + l, data + pos, (size_t)(len - pos));
    memcpy(data + pos, text, (size_t)l);
    len += l;
    data[len] = 0;
    return true;
}

bool CxStr1p::insAt(long long pos, CxStr1p const& o) {
    return insAt(pos, o.data, o.len);
}
bool CxStr1p::insAt(long long pos, char c) {
    if (pos < 0 || pos > len) return false;
    return c ? insAt(pos, &c, 1) : true;
}

bool CxStr1p::delAt(long long pos) {
    return delSpan(pos, 1);
}

bool CxStr1p::delSpan(long long pos, long long n) {
    if (pos < 0 || pos >= len || n < 1 || !data || !own()) return false;
    if (n > len - pos) n = len - pos;
    memmove(data + pos, data + pos + n, (size_t)(len - pos - n));
    len -= n;
    data[len] = 0;
    return true;
}

bool CxStr1p::delEachChar(char c) {
    if (!data) return true;
    if (!own()) return false;
    long long w = 0;
    for (long long r = 0; r < len; ++r)
        if (data[r] != c) data[w++] = data[r];
    len = w;
    data[len] = 0;
    return true;
}

void CxStr1p::forceValidLen() {
    if (!data || cap < 1) {
        data = nullptr;
        len = 0;
        return;
    }
    data[cap - 1] = 0;
    len = (long long)strlen(data);
}

void CxStr1p::forceValidLen(long long maxLen) {
    if (!data || cap < 1) {
        data = nullptr;
        len = 0;
        return;
    }
    if (maxLen < 0) maxLen = 0;
    if (maxLen > cap - 1) maxLen = cap - 1;
    data[maxLen] = 0;
    len = (long long)strlen(data);
}

static char g_strScratch = 0;

char& CxStr1p::at(long long i) {
    if (i >= 0 && i < len && data && own()) return data[i];
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
    if (i < 0 || i >= len || !data || !own()) return false;
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

// Comparisons work on (bytes, length) pairs so that a zero-terminated text or a
// char compares exactly like the string it would convert to, without allocating.
static int cmpRaw(char const* a, long long al, char const* b, long long bl) {
    bool ea = !a || al < 1 || !a[0], eb = !b || bl < 1 || !b[0];
    if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
    signed char fa = (signed char)a[0], fb = (signed char)b[0];
    if (fa != fb) return fa < fb ? -1 : 1;
    long long n = (al < bl ? al : bl) + 1;
    int r = strncmp(a, b, (size_t)n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

static bool isEqRaw(char const* a, long long al, char const* b, long long bl) {
    if (al != bl) return false;
    bool ea = !a || al < 1 || !a[0], eb = !b || bl < 1 || !b[0];
    if (ea || eb) return ea && eb;
    if (a[0] != b[0]) return false;
    return strncmp(a, b, (size_t)(al + 1)) == 0;
}

static long long lenOf(char const* t) {
    return t ? (long long)strlen(t) : 0;
}

int cmpCxStr1p(CxStr1p const& a, CxStr1p const& b) {
    return cmpRaw(a.data, a.len, b.data, b.len);
}
bool isEqCxStr1p(CxStr1p const& a, CxStr1p const& b) {
    return isEqRaw(a.data, a.len, b.data, b.len);
}

bool operator==(CxStr1p const& a, CxStr1p const& b) {
    return isEqCxStr1p(a, b);
}
bool operator!=(CxStr1p const& a, CxStr1p const& b) {
    return !isEqCxStr1p(a, b);
}
bool operator<(CxStr1p const& a, CxStr1p const& b) {
    return cmpCxStr1p(a, b) < 0;
}
bool operator>(CxStr1p const& a, CxStr1p const& b) {
    return cmpCxStr1p(a, b) > 0;
}
bool operator<=(CxStr1p const& a, CxStr1p const& b) {
    return cmpCxStr1p(a, b) <= 0;
}
bool operator>=(CxStr1p const& a, CxStr1p const& b) {
    return cmpCxStr1p(a, b) >= 0;
}

static bool eqS(CxStr1p const& a, char const* b) {
    return isEqRaw(a.data, a.len, b, lenOf(b));
}
static int cmpS(CxStr1p const& a, char const* b) {
    return cmpRaw(a.data, a.len, b, lenOf(b));
}
bool operator==(CxStr1p const& a, char const* b) {
    return eqS(a, b);
}
bool operator!=(CxStr1p const& a, char const* b) {
    return !eqS(a, b);
}
bool operator<(CxStr1p const& a, char const* b) {
    return cmpS(a, b) < 0;
}
bool operator>(CxStr1p const& a, char const* b) {
    return cmpS(a, b) > 0;
}
bool operator<=(CxStr1p const& a, char const* b) {
    return cmpS(a, b) <= 0;
}
bool operator>=(CxStr1p const& a, char const* b) {
    return cmpS(a, b) >= 0;
}
bool operator==(char const* a, CxStr1p const& b) {
    return eqS(b, a);
}
bool operator!=(char const* a, CxStr1p const& b) {
    return !eqS(b, a);
}
bool operator<(char const* a, CxStr1p const& b) {
    return cmpS(b, a) > 0;
}
bool operator>(char const* a, CxStr1p const& b) {
    return cmpS(b, a) < 0;
}
bool operator<=(char const* a, CxStr1p const& b) {
    return cmpS(b, a) >= 0;
}
bool operator>=(char const* a, CxStr1p const& b) {
    return cmpS(b, a) <= 0;
}

// A char compares as the one-byte string it converts to (a zero char: empty).
static bool eqC(CxStr1p const& a, char b) {
    char t[2] = {b, 0};
    return isEqRaw(a.data, a.len, t, b ? 1 : 0);
}
static int cmpC(CxStr1p const& a, char b) {
    char t[2] = {b, 0};
    return cmpRaw(a.data, a.len, t, b ? 1 : 0);
}
bool operator==(CxStr1p const& a, char b) {
    return eqC(a, b);
}
bool operator!=(CxStr1p const& a, char b) {
    return !eqC(a, b);
}
bool operator<(CxStr1p const& a, char b) {
    return cmpC(a, b) < 0;
}
bool operator>(CxStr1p const& a, char b) {
    return cmpC(a, b) > 0;
}
bool operator<=(CxStr1p const& a, char b) {
    return cmpC(a, b) <= 0;
}
bool operator>=(CxStr1p const& a, char b) {
    return cmpC(a, b) >= 0;
}
bool operator==(char a, CxStr1p const& b) {
    return eqC(b, a);
}
bool operator!=(char a, CxStr1p const& b) {
    return !eqC(b, a);
}
bool operator<(char a, CxStr1p const& b) {
    return cmpC(b, a) > 0;
}
bool operator>(char a, CxStr1p const& b) {
    return cmpC(b, a) < 0;
}
bool operator<=(char a, CxStr1p const& b) {
    return cmpC(b, a) >= 0;
}
bool operator>=(char a, CxStr1p const& b) {
    return cmpC(b, a) <= 0;
}

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
