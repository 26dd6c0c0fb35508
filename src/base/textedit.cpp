#include "base/textedit.h"

#include <cstring>

#include "base/byteset.h"

namespace {

char const kWhite[] = " \t\r\n";

inline long long lenOf(CxStr1p const& s) {
    return s.data && s.len > 0 ? s.len : 0;
}
inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c;
}
inline char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 32) : c;
}
inline bool isPsep(char c) {
    return c == '/' || c == '\\';
}

bool eqBytes(char const* a, char const* b, long long n, bool icase) {
    if (n < 1) return true;
    if (!icase) return memcmp(a, b, (size_t)n) == 0;
    for (long long i = 0; i < n; ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

long long findBytes(char const* h, long long hl, char const* n, long long nl, long long from) {
    if (from < 0) from = 0;
    if (nl < 1) return from <= hl ? from : -1;
    if (hl - from < nl) return -1;
    long long last = hl - nl;
    for (long long i = from; i <= last;) {
        void const* p = memchr(h + i, n[0], (size_t)(last - i + 1));
        if (!p) return -1;
        i = (long long)((char const*)p - h);
        if (memcmp(h + i + 1, n + 1, (size_t)(nl - 1)) == 0) return i;
        ++i;
    }
    return -1;
}

bool isEqAltImpl(CxStr1p const& word, CxStr1p const& alts, char sep, bool icase) {
    long long wl = lenOf(word), al = lenOf(alts);
    char const* w = word.data;
    char const* a = alts.data;
    if (al == 0) return wl == 0;
    // Alternative by alternative; only one of the word's length is compared.
    // The lists are short: a plain scan costs less than a search per part.
    for (long long i = 0;;) {
        long long e = i;
        while (e < al && a[e] != sep)
            ++e;
        if (e - i == wl && eqBytes(a + i, w, wl, icase)) return true;
        if (e == al) return false;
        i = e + 1;
    }
}

int cmpIcaseN(char const* a, long long la, char const* b, long long lb) {
    long long n = la < lb ? la : lb;
    for (long long i = 0; i < n; ++i) {
        unsigned char ca = (unsigned char)lowerAscii(a[i]), cb = (unsigned char)lowerAscii(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
    if (la == lb) return 0;
    // A zero byte right behind the shorter text ends the longer one too.
    if (la < lb) return b[n] ? -1 : 0;
    return a[n] ? 1 : 0;
}

// Drops the first and last byte in one move.
void cutEnds(CxStr1p& text) {
    long long n = text.len;
    memmove(text.data, text.data + 1, (size_t)(n - 2));
    text.forceLen(n - 2);
}

// CR LF and lone CR become LF; returns the new length.
long long nl2lf(char* d, long long n) {
    long long w = 0;
    for (long long r = 0; r < n; ++r) {
        char c = d[r];
        if (c == '\r') {
            if (r + 1 < n && d[r + 1] == '\n') ++r;
            c = '\n';
        }
        d[w++] = c;
    }
    return w;
}

} // namespace

// ---- joining

bool strSepAdd(CxStr1p& text, CxStr1p const& part, char sep) {
    if (&text == &part) {
        CxStr1p copy(part);
        return strSepAdd(text, copy, sep);
    }
    if (sep && text.last() == sep) text.forceLen(text.len - 1);
    char const* p = part.data;
    long long n = lenOf(part);
    if (sep && n > 0 && p[0] == sep) {
        ++p;
        --n;
    }
    if (n < 1) return true;
    long long old = text.len;
    if (sep && old > 0 && !text.addVal(sep)) return false;
    if (!text.addCstr(p, n)) {
        text.forceLen(old);
        return false;
    }
    return true;
}

bool strSepPrepend(CxStr1p& text, CxStr1p const& part, char sep) {
    if (&text == &part) {
        CxStr1p copy(part);
        return strSepPrepend(text, copy, sep);
    }
    long long n = lenOf(part);
    if (sep && n > 0 && part.data[n - 1] == sep) --n;
    bool startsSep = sep && lenOf(text) > 0 && text.data[0] == sep;
    if (n < 1) return startsSep ? text.delSpan(0, 1) : true;
    if (lenOf(text) == 0 || (startsSep && text.len == 1)) return text.setCstr(part.data, n);
    if (startsSep || !sep) return text.insAt(0, part.data, n);
    if (!text.insAt(0, sep)) return false;
    if (!text.insAt(0, part.data, n)) {
        text.delSpan(0, 1);
        return false;
    }
    return true;
}

bool strAdd2List(CxStr1p& list, CxStr1p const& item, char sep) {
    if (lenOf(item) == 0) return true;
    if (lenOf(list) == 0) return list.setObj(item);
    if (&list == &item) {
        CxStr1p copy(item);
        return strAdd2List(list, copy, sep);
    }
    long long old = list.len;
    if (sep && list.last() != sep && !list.addVal(sep)) return false;
    if (!list.addObj(item)) {
        list.forceLen(old);
        return false;
    }
    return true;
}

bool strAddSepMaybeSet(CxStr1p& text, char sep) {
    if (!sep || lenOf(text) == 0 || text.last() == sep) return true;
    return text.addVal(sep);
}

CxStr1p strAddSepMaybe(CxStr1p const& text, char sep) {
    CxStr1p r(text);
    strAddSepMaybeSet(r, sep);
    return r;
}

bool strJoin(CxStr1p& text, char sep, CxStr1p const& part) {
    if (&text == &part) {
        CxStr1p copy(part);
        return strJoin(text, sep, copy);
    }
    long long old = text.len;
    if (sep && lenOf(text) > 0 && lenOf(part) > 0 && !text.addVal(sep)) return false;
    if (!text.addObj(part)) {
        text.forceLen(old);
        return false;
    }
    return true;
}

bool strJoinSPC(CxStr1p& text, CxStr1p const& part) {
    return strJoin(text, ' ', part);
}
bool strJoinALT(CxStr1p& text, CxStr1p const& part) {
    return strJoin(text, '|', part);
}
bool strJoinNL(CxStr1p& text, CxStr1p const& part) {
    return strJoin(text, '\n', part);
}

bool strAddSPC(CxStr1p& text, CxStr1p const& part) {
    return text.addObj(part) && text.addVal(' ');
}

bool strAddNL(CxStr1p& text, CxStr1p const& part) {
    return text.addObj(part) && text.addVal('\n');
}

// ---- alternatives

bool strIsEqAlt(CxStr1p const& word, CxStr1p const& alternatives, char sep) {
    return isEqAltImpl(word, alternatives, sep, false);
}

bool strIsEqIcaseAlt(CxStr1p const& word, CxStr1p const& alternatives, char sep) {
    return isEqAltImpl(word, alternatives, sep, true);
}

// ---- quotes

bool strIsQuoted(CxStr1p const& text, char q) {
    long long n = lenOf(text);
    return q && n >= 2 && text.data[0] == q && text.data[n - 1] == q;
}

bool strIsQuoted(CxStr1p const& text, char const* quotes) {
    long long n = lenOf(text);
    if (!quotes || n < 2) return false;
    char c = text.data[0];
    return c && c == text.data[n - 1] && strchr(quotes, c) != nullptr;
}

bool strAddQuoteSet(CxStr1p& text, char q) {
    if (!q) return true;
    if (!text.insAt(0, q)) return false;
    if (!text.addVal(q)) {
        text.delSpan(0, 1);
        return false;
    }
    return true;
}

CxStr1p strAddQuote(CxStr1p const& text, char q) {
    CxStr1p r(text);
    strAddQuoteSet(r, q);
    return r;
}

bool strDelQuoteSet(CxStr1p& text, char q) {
    if (strIsQuoted(text, q)) cutEnds(text);
    return true;
}

CxStr1p strDelQuote(CxStr1p const& text, char q) {
    if (!strIsQuoted(text, q)) return text;
    return CxStr1p(text.data + 1, text.len - 2);
}

bool strDelQuoteSet(CxStr1p& text, char const* quotes) {
    if (strIsQuoted(text, quotes)) cutEnds(text);
    return true;
}

CxStr1p strDelQuote(CxStr1p const& text, char const* quotes) {
    if (!strIsQuoted(text, quotes)) return text;
    return CxStr1p(text.data + 1, text.len - 2);
}

// ---- trimming

static long long countLead(CxStr1p const& text, ByteSet const& set) {
    long long n = lenOf(text), i = 0;
    while (i < n && set.has(text.data[i]))
        ++i;
    return i;
}

static long long countTrail(CxStr1p const& text, ByteSet const& set, long long stop) {
    long long e = lenOf(text);
    while (e > stop && set.has(text.data[e - 1]))
        --e;
    return e;
}

static char const* trimChars(char const* chars) {
    return chars && *chars ? chars : kWhite;
}

bool strTrimLSet(CxStr1p& text, char const* chars) {
    long long s = countLead(text, ByteSet(trimChars(chars)));
    if (s > 0) text.delSpan(0, s);
    return true;
}

bool strTrimRSet(CxStr1p& text, char const* chars) {
    long long e = countTrail(text, ByteSet(trimChars(chars)), 0);
    if (e < text.len) text.forceLen(e);
    return true;
}

bool strTrimLRSet(CxStr1p& text, char const* chars) {
    ByteSet set(trimChars(chars));
    long long s = countLead(text, set);
    long long e = countTrail(text, set, s);
    if (e < text.len) text.forceLen(e);
    if (s > 0) text.delSpan(0, s);
    return true;
}

bool strTrimSeqSet(CxStr1p& text, char const* chars) {
    strTrimLRSet(text, chars);
    ByteSet set(trimChars(chars));
    long long w = 0, n = text.len;
    for (long long r = 0; r < n; ++r)
        if (!(set.has(text.data[r]) && w > 0 && set.has(text.data[w - 1])))
            text.data[w++] = text.data[r];
    text.forceLen(w);
    return true;
}

CxStr1p strTrimL(CxStr1p const& text, char const* chars) {
    long long s = countLead(text, ByteSet(trimChars(chars)));
    return CxStr1p(text.c_str() + s, lenOf(text) - s);
}

CxStr1p strTrimR(CxStr1p const& text, char const* chars) {
    return CxStr1p(text.c_str(), countTrail(text, ByteSet(trimChars(chars)), 0));
}

CxStr1p strTrimLR(CxStr1p const& text, char const* chars) {
    ByteSet set(trimChars(chars));
    long long s = countLead(text, set);
    long long e = countTrail(text, set, s);
    return CxStr1p(text.c_str() + s, e - s);
}

// ---- path separators

bool strHasEndPsep(CxStr1p const& text) {
    return isPsep(text.last());
}

bool strDelEndPsep(CxStr1p& text) {
    long long n = lenOf(text);
    // Keep the first byte (a lone "/") and one behind ":" (a drive root).
    while (n > 1 && isPsep(text.data[n - 1]) && text.data[n - 2] != ':')
        --n;
    if (n < text.len) text.forceLen(n);
    return true;
}

bool strAddEndPsep(CxStr1p& text) {
    long long n = lenOf(text);
    if (n == 0 || isPsep(text.data[n - 1])) return true;
    // A drive such as "C:" is a root: "C:/" would be another directory.
    char d = text.data[0];
    if (n == 2 && text.data[1] == ':' && ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')))
        return true;
    return text.addVal('/');
}

// ---- line ends

bool strReplaceNL2LF(CxStr1p& text) {
    long long n = lenOf(text);
    if (n == 0) return true;
    void const* z = memchr(text.data, 0, (size_t)n);
    if (z) n = (long long)((char const*)z - text.data);
    text.forceLen(nl2lf(text.data, n));
    return true;
}

bool strDetectNL(CxStr1p& out, CxStr1p const& text) {
    long long n = lenOf(text);
    char const* d = text.data;
    long long at = -1;
    if (n > 0 && (d[n - 1] == '\r' || d[n - 1] == '\n')) {
        at = (n >= 2 && d[n - 2] == '\r' && d[n - 1] == '\n') ? n - 2 : n - 1;
    } else {
        for (long long i = 0; i < n; ++i)
            if (d[i] == '\r' || d[i] == '\n') {
                at = i;
                break;
            }
    }
    if (at < 0) {
        out.setCstr("\r\n", 2);
        return false;
    }
    if (d[at] == '\r' && at + 1 < n && d[at + 1] == '\n') return out.setCstr("\r\n", 2);
    return out.setChar(d[at]);
}

// ---- containment

bool strHas(CxStr1p const& text, char c) {
    long long n = lenOf(text);
    return c && n > 0 && memchr(text.data, c, (size_t)n) != nullptr;
}

bool strHas(CxStr1p const& text, CxStr1p const& part) {
    return findBytes(text.data, lenOf(text), part.data, lenOf(part), 0) >= 0;
}

bool strHasStart(CxStr1p const& text, char c) {
    return c && lenOf(text) > 0 && text.data[0] == c;
}

bool strHasStart(CxStr1p const& text, CxStr1p const& start) {
    long long n = lenOf(start);
    return lenOf(text) >= n && eqBytes(text.data, start.data, n, false);
}

bool strHasEnd(CxStr1p const& text, char c) {
    return c && text.last() == c;
}

bool strHasEnd(CxStr1p const& text, CxStr1p const& end) {
    long long n = lenOf(end), t = lenOf(text);
    return t >= n && eqBytes(text.data + (t - n), end.data, n, false);
}

bool strFindIdx(long long& idx, CxStr1p const& text, CxStr1p const& part, long long from) {
    idx = findBytes(text.data, lenOf(text), part.data, lenOf(part), from);
    return idx >= 0;
}

// ---- case

int strCmpIcase(CxStr1p const& a, CxStr1p const& b) {
    return cmpIcaseN(a.c_str(), lenOf(a), b.c_str(), lenOf(b));
}

bool cstrIsEqIcaseN(char const* a, char const* b, long long n) {
    return a && b && eqBytes(a, b, n, true);
}

bool strIsEqIcase(CxStr1p const& a, CxStr1p const& b) {
    long long n = lenOf(a);
    return n == lenOf(b) && eqBytes(a.data, b.data, n, true);
}

int cstrCmpIcase(char const* a, char const* b) {
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        unsigned char ca = (unsigned char)lowerAscii(*a), cb = (unsigned char)lowerAscii(*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

bool cstrIsEqIcase(char const* a, char const* b) {
    return cstrCmpIcase(a, b) == 0;
}

bool strToLowerSet(CxStr1p& text) {
    for (long long i = 0, n = lenOf(text); i < n; ++i)
        text.data[i] = lowerAscii(text.data[i]);
    return true;
}

bool strToUpperSet(CxStr1p& text) {
    for (long long i = 0, n = lenOf(text); i < n; ++i)
        text.data[i] = upperAscii(text.data[i]);
    return true;
}

CxStr1p strToLower(CxStr1p const& text) {
    CxStr1p r(text);
    strToLowerSet(r);
    return r;
}

CxStr1p strToUpper(CxStr1p const& text) {
    CxStr1p r(text);
    strToUpperSet(r);
    return r;
}
