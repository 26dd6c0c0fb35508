#include "rules/lineparse.h"

#include "base/byteset.h"
#include "base/textedit.h"

#include <cstring>

static constexpr CharClassTable buildCharClass() {
    CharClassTable t{};
    for (int c = 0; c < 256; ++c) {
        bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
        bool dig = c >= '0' && c <= '9';
        t.blank[c] = c == ' ' || c == '\t';
        t.space[c] = c == ' ' || (c >= '\t' && c <= '\r');
        t.digit[c] = dig;
        t.word[c] = upper || lower || dig || c == '_';
        t.wordStart[c] = upper || lower || c == '_';
        t.graph[c] = c >= '!' && c <= '~';
    }
    return t;
}

constexpr CharClassTable charClass = buildCharClass();

void LineParts::zero() {
    isOk = false;
    isQuoteOpen = false;
    indent.clear();
    name.clear();
    op.clear();
    isVarOp = false;
    incKind = 0;
    quote.clear();
    value.clear();
    isMultiWord = false;
    lenParsed = 0;
    hasComment = false;
    isEvalDone = false;
    isEvalOk = false;
}

static bool isQuoteCh(char c) {
    return c == '\'' || c == '"';
}

static bool hasFlag(char const* flags, char f) {
    return flags && strchr(flags, f) != nullptr;
}

// Index of the first quote or backslash in s[i, n), or n: eight bytes at a
// time, since most lines hold none.
static long long nextQuoteByte(char const* s, long long i, long long n) {
    auto hasByte = [](unsigned long long v, unsigned long long pattern) {
        unsigned long long x = v ^ pattern;
        return (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
    };
    for (; i + 8 <= n; i += 8) {
        unsigned long long v;
        memcpy(&v, s + i, 8);
        if (hasByte(v, 0x5c5c5c5c5c5c5c5cULL) | hasByte(v, 0x2222222222222222ULL) |
            hasByte(v, 0x2727272727272727ULL))
            break;
    }
    while (i < n && s[i] != '\\' && s[i] != '"' && s[i] != '\'')
        ++i;
    return i;
}

// Quote state of a scan from the start of a logical line; kept across appends so
// that a long logical line is scanned once, not once per physical line.
struct QuoteScan {
    bool dq = false, sq = false, esc = false;
    void feed(char const* s, long long n) {
        for (long long i = 0; i < n; ++i) {
            if (!esc) {
                i = nextQuoteByte(s, i, n);
                if (i == n) break;
            }
            char c = s[i];
            if (esc) {
                esc = false;
            } else if (c == '\\') {
                esc = true;
            } else if (c == '"') {
                if (!sq) dq = !dq;
            } else if (c == '\'') {
                if (!dq) sq = !sq;
            }
        }
    }
    bool isReady() const { return !dq && !sq; }
};

static long long countEndBackslashes(char const* s, long long n) {
    long long k = 0;
    while (k < n && s[n - 1 - k] == '\\')
        ++k;
    return k;
}

// Length of a text known to end at a zero byte or after n bytes, whichever is first.
static long long rangeLen(char const* s, long long n) {
    void const* z = memchr(s, 0, (size_t)n);
    return z ? (long long)((char const*)z - s) : n;
}

static bool rangeIsEmptyOrComment(char const* s, long long n) {
    n = rangeLen(s, n);
    long long i = 0;
    while (i < n && chIsBlank(s[i]))
        ++i;
    if (i == n) return true;
    return s[i] == '#' || (s[i] == '/' && i + 1 < n && s[i + 1] == '/');
}

bool strTokenTextEval(CxStr1p& out, long long& pos, long long& lineNr, bool& quoteOpen,
                      CxStr1p const& text, char const* flags) {
    quoteOpen = false;
    long long const n = text.length();
    if (pos < 0 || pos >= n || !text.data) return false;
    bool const join = hasFlag(flags, 'j'), skipEmpty = hasFlag(flags, 'L');
    char const* const t = text.data;

    out.clear();
    QuoteScan qs;
    bool haveLine = false, pendCont = false, inQuote = false;
    long long p = pos;
    while (p < n && (!haveLine || pendCont || inQuote)) {
        long long s = p;
        // A line ends at "\n" or at a lone "\r".
        void const* nl = memchr(t + p, '\n', (size_t)(n - p));
        p = nl ? (long long)((char const*)nl - t) : n;
        if (void const* cr = memchr(t + s, '\r', (size_t)(p - s)))
            p = (long long)((char const*)cr - t);
        long long e = p;
        if (p < n) p += (t[p] == '\r' && p + 1 < n && t[p + 1] == '\n') ? 2 : 1;
        ++lineNr;
        pos = p;
        if (skipEmpty && !pendCont && !inQuote && rangeIsEmptyOrComment(t + s, e - s)) continue;

        long long before = out.length();
        if (pendCont) {
            out.forceLen(out.length() - 1);
            qs.esc = false; // that backslash was the escape left open
            bool outBlank = out.length() > 0 && chIsBlank(out.last());
            bool physBlank = s < e && chIsBlank(t[s]);
            if (outBlank || physBlank) {
                long long l = out.length();
                while (l > 0 && (chIsBlank(out.data[l - 1]) || out.data[l - 1] == '\r' ||
                                 out.data[l - 1] == '\n'))
                    --l;
                out.forceLen(l);
                while (s < e && (chIsBlank(t[s]) || t[s] == '\r' || t[s] == '\n'))
                    ++s;
                // The joining blank would consume an escape left at the cut end.
                if (!out.addVal(' ')) return false;
            }
            before = out.length();
        } else if (inQuote) {
            if (!out.addVal('\n')) return false;
        } else {
            out.clear();
            before = 0;
        }
        long long mark = out.length();
        if (!out.addCstr(t + s, e - s)) return false;
        long long added = out.length() - mark;
        qs.feed(out.data ? out.data + before : "", out.length() - before);
        // What stays before the new part ends in an even run of backslashes (the
        // odd one was cut), so the new part alone decides the continuation.
        haveLine = true;
        pendCont = join && (countEndBackslashes(out.c_str() + mark, added) & 1);
        inQuote = !qs.isReady();
    }
    if (!haveLine) return false;
    if (inQuote) {
        quoteOpen = true;
        return false;
    }
    return true;
}

bool lineHasEndEsc(CxStr1p const& line) {
    return countEndBackslashes(line.c_str(), line.length()) & 1;
}

bool lineIsReady(CxStr1p const& line) {
    QuoteScan qs;
    qs.feed(line.c_str(), line.length());
    return qs.isReady();
}

// ---- classification

bool cstrIsComment(char const* text) {
    return text && (text[0] == '#' || (text[0] == '/' && text[1] == '/'));
}
bool strIsComment(CxStr1p const& text) {
    return cstrIsComment(text.c_str());
}

bool cstrLineIsComment(char const* text) {
    return text && cstrIsComment(text + cstrLenBlank(text));
}
bool strLineIsComment(CxStr1p const& text) {
    return cstrLineIsComment(text.c_str());
}

bool cstrLineIsEmpty(char const* text) {
    return !text || text[cstrLenBlank(text)] == 0;
}
bool strLineIsEmpty(CxStr1p const& text) {
    return cstrLenBlank(text.c_str()) == text.length();
}

bool cstrLineIsEmptyOrComment(char const* text) {
    return cstrLineIsEmpty(text) || cstrLineIsComment(text);
}
bool strLineIsEmptyOrComment(CxStr1p const& text) {
    return strLineIsEmpty(text) || strLineIsComment(text);
}

bool cstrIsIdentifier(char const* text) {
    long long l = cstrLenIdentifier(text);
    return l > 0 && text[l] == 0;
}
bool cstrIsNumber(char const* text) {
    long long l = cstrLenNumber(text);
    return l > 0 && text[l] == 0;
}
bool cstrIsWord(char const* text) {
    long long l = cstrLenWord(text);
    return l > 0 && text[l] == 0;
}
// The whole length must be the token: a zero byte inside the string is not part of it.
bool strIsIdentifier(CxStr1p const& text) {
    return text.length() > 0 && cstrLenIdentifier(text.c_str()) == text.length();
}
bool strIsNumber(CxStr1p const& text) {
    return text.length() > 0 && cstrLenNumber(text.c_str()) == text.length();
}
bool strIsWord(CxStr1p const& text) {
    return text.length() > 0 && cstrLenWord(text.c_str()) == text.length();
}

// ---- lexers

template <bool (*Pred)(char)> static long long lenWhile(char const* text) {
    if (!text) return 0;
    long long i = 0;
    while (text[i] && Pred(text[i]))
        ++i;
    return i;
}
static bool notBlank(char c) {
    return !chIsBlank(c);
}
static bool notSpace(char c) {
    return !chIsSpace(c);
}
static bool notGraph(char c) {
    return !chIsGraph(c);
}

long long cstrLenBlank(char const* text) {
    return lenWhile<chIsBlank>(text);
}
long long cstrLenNonBlank(char const* text) {
    return lenWhile<notBlank>(text);
}
long long cstrLenSpace(char const* text) {
    return lenWhile<chIsSpace>(text);
}
long long cstrLenNonSpace(char const* text) {
    return lenWhile<notSpace>(text);
}
long long cstrLenGraph(char const* text) {
    return lenWhile<chIsGraph>(text);
}
long long cstrLenNonGraph(char const* text) {
    return lenWhile<notGraph>(text);
}
long long cstrLenWord(char const* text) {
    return lenWhile<chIsWord>(text);
}

long long cstrLenAnyChar(char const* text, char const* set) {
    if (!text || !set) return 0;
    ByteSet bs(set);
    long long i = 0;
    while (bs.has(text[i]))
        ++i;
    return i;
}

long long cstrLenIdentifier(char const* text) {
    if (!text || !chIsWordStart(text[0])) return 0;
    return 1 + cstrLenWord(text + 1);
}

long long cstrLenNumber(char const* text) {
    if (!text) return 0;
    long long i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    long long d = lenWhile<chIsDigit>(text + i);
    if (d == 0) return 0;
    i += d;
    if (text[i] == '.') i += 1 + lenWhile<chIsDigit>(text + i + 1);
    return i;
}

static long long lenQuote(char const* text, bool esc) {
    if (!text || !isQuoteCh(text[0])) return 0;
    char q = text[0];
    for (long long i = 1;; ++i) {
        char c = text[i];
        if (!c) return 0;
        if (c == q) return i + 1;
        if (esc && c == '\\') {
            if (!text[i + 1]) return 0;
            ++i;
        }
    }
}

long long cstrLenQuoteEsc(char const* text) {
    return lenQuote(text, true);
}
long long cstrLenQuoteRaw(char const* text) {
    return lenQuote(text, false);
}

static long long lenRvalue(char const* text, bool esc) {
    if (!text) return 0;
    if (isQuoteCh(text[0])) return lenQuote(text, esc);
    long long l = cstrLenIdentifier(text);
    return l ? l : cstrLenNumber(text);
}
long long cstrLenRvalue(char const* text) {
    return lenRvalue(text, true);
}
long long cstrLenRvalueRaw(char const* text) {
    return lenRvalue(text, false);
}

static long long lenUntilCmt(char const* text, bool esc) {
    if (!text) return 0;
    long long i = 0;
    for (;;) {
        char c = text[i];
        if (!c || c == '#' || (c == '/' && text[i + 1] == '/')) return i;
        if (esc && c == '\\') {
            i += text[i + 1] ? 2 : 1;
        } else if (isQuoteCh(c)) {
            char const* close = strchr(text + i + 1, c);
            if (!close) return i + 1 + (long long)strlen(text + i + 1);
            i = (long long)(close - text) + 1;
        } else {
            ++i;
        }
    }
}
long long cstrLenUntilCmtEsc(char const* text) {
    return lenUntilCmt(text, true);
}
long long cstrLenUntilCmtRaw(char const* text) {
    return lenUntilCmt(text, false);
}

long long cstrLenEOL(char const* text) {
    if (!text) return 0;
    if (text[0] == '\r') return text[1] == '\n' ? 2 : 1;
    return text[0] == '\n' ? 1 : 0;
}

bool cstrFindChGraph(long long& pos, char const* text) {
    long long i = cstrLenNonGraph(text);
    if (text && text[i]) {
        pos = i;
        return true;
    }
    pos = -1;
    return false;
}

// ---- line parsers

static long long lenTrimR(char const* s, long long n) {
    while (n > 0 && chIsSpace(s[n - 1]))
        --n;
    return n;
}

// A value is enclosed when its first mark closes exactly at its last byte, so
// that 'a' 'b' keeps its marks instead of turning into a' 'b.
static char enclosingQuote(CxStr1p const& v) {
    char const* s = v.c_str();
    long long n = v.length();
    if (n < 2 || !isQuoteCh(s[0]) || s[n - 1] != s[0]) return 0;
    if (cstrLenQuoteEsc(s) == n || cstrLenQuoteRaw(s) == n) return s[0];
    return 0;
}

static bool dropEnclosingQuote(LineParts& parts) {
    char q = enclosingQuote(parts.value);
    if (!q) return true;
    if (!parts.quote.setChar(q)) return false;
    if (!parts.value.setCstr(parts.value.c_str() + 1, parts.value.length() - 2)) return false;
    return true;
}

static bool isCmtStart(char const* s) {
    return s[0] == '#' || (s[0] == '/' && s[1] == '/');
}

static bool setRestTrimmed(CxStr1p& out, char const* s, long long& lenParsed, long long from) {
    long long n = lenTrimR(s + from, (long long)strlen(s + from));
    lenParsed = from + n;
    return out.setCstr(s + from, n);
}

bool lineParse4MakeVarPoint(LineParts& parts, CxStr1p const& line) {
    parts.zero();
    char const* p = line.c_str();
    if (p[0] != '.') return false;
    long long il = cstrLenIdentifier(p + 1);
    if (!il) return false;
    if (!parts.name.setCstr(p, 1 + il)) return false;
    long long i = 1 + il;
    i += cstrLenBlank(p + i);
    if (!p[i]) return false;
    if (p[i] == '=') {
        if (!parts.op.setCstr("=")) return false;
        i += 1;
    } else if (p[i] == ':' && p[i + 1] == '=') {
        if (!parts.op.setCstr(":=")) return false;
        i += 2;
    }
    i += cstrLenBlank(p + i);
    long long vs = i, tl = cstrLenRvalue(p + vs);
    parts.lenParsed = vs;
    if (!tl) {
        parts.isQuoteOpen = isQuoteCh(p[vs]);
        return false;
    }
    long long after = vs + tl;
    if (p[after + cstrLenBlank(p + after)]) {
        parts.isMultiWord = true;
        setRestTrimmed(parts.value, p, parts.lenParsed, vs);
        return false;
    }
    if (!parts.value.setCstr(p + vs, lenTrimR(p + vs, tl))) return false;
    if (!dropEnclosingQuote(parts)) return false;
    parts.isQuoteOpen = isQuoteCh(parts.value.getAt(0));
    parts.lenParsed = after;
    parts.isOk = true;
    return true;
}

bool lineParse4MakeDepsOrCmd(LineParts& parts, CxStr1p const& line, char const* flags) {
    parts.zero();
    char const* p = line.c_str();
    long long ind = cstrLenBlank(p);
    if (!parts.indent.setCstr(p, ind)) return false;
    parts.lenParsed = ind;
    if (!p[ind]) return false;
    if (ind > 0) {
        if (!parts.op.setCstr("cmd")) return false;
        if (!setRestTrimmed(parts.value, p, parts.lenParsed, ind)) return false;
        parts.isOk = true;
        return true;
    }

    // An assignment or a bare word is not a rule line.
    long long il = cstrLenIdentifier(p);
    if (il) {
        long long j = il + cstrLenBlank(p + il);
        char c = p[j];
        if (!c || c == '=' || (strchr(":*/%+-", c) && p[j + 1] == '=')) return false;
    }

    long long tl = 0;
    if (isQuoteCh(p[0])) {
        tl = cstrLenQuoteEsc(p);
    } else {
        bool drive = hasFlag(flags, 'w');
        while (p[tl] && !chIsSpace(p[tl])) {
            if (p[tl] == ':' && !(drive && (p[tl + 1] == '/' || p[tl + 1] == '\\'))) break;
            ++tl;
        }
    }
    if (!tl) return false;
    long long j = tl + cstrLenBlank(p + tl);
    if (p[j] != ':' || p[j + 1] == '=') return false;
    if (!parts.name.setCstr(p, tl) || !parts.op.setCstr(":")) return false;
    long long k = j + 1;
    k += cstrLenBlank(p + k);
    if (!setRestTrimmed(parts.value, p, parts.lenParsed, k)) return false;
    parts.isOk = true;
    return true;
}

static bool startsWithKeyword(char const* s, char const* kw) {
    size_t n = strlen(kw);
    return strncmp(s, kw, n) == 0 && (!s[n] || chIsBlank(s[n]));
}

static bool takeCmdLine(LineParts& parts, char const* p, long long ind) {
    if (!parts.op.setCstr("cmd")) return false;
    if (!setRestTrimmed(parts.value, p, parts.lenParsed, ind)) return false;
    parts.isOk = true;
    return true;
}

bool lineParse4VarOrCmd(LineParts& parts, CxStr1p const& line, char const* flags) {
    parts.zero();
    char const* p = line.c_str();
    long long ind = cstrLenBlank(p);
    if (!parts.indent.setCstr(p, ind)) return false;
    parts.lenParsed = ind;
    if (ind > 0 && hasFlag(flags, 'T')) return false;
    if (!p[ind]) return false;

    long long i = ind;
    if (startsWithKeyword(p + ind, "include")) {
        parts.incKind = '.';
        i += 7;
    } else if (startsWithKeyword(p + ind, "-include")) {
        parts.incKind = '-';
        i += 8;
    } else {
        i += cstrLenIdentifier(p + ind);
        if (i == ind) return false;
    }
    if (!parts.name.setCstr(p + ind, i - ind)) return false;
    parts.lenParsed = i;

    long long j = i + cstrLenBlank(p + i);
    char c = p[j];
    long long k = j;
    if (c == '=') {
        k = j + 1;
    } else if (c && strchr(":*/%+-", c) && p[j + 1] == '=') {
        k = j + 2;
    } else if (!c) {
        if (parts.incKind) return false;
        if (!parts.op.setCstr("cmd") || !parts.value.setObj(parts.name)) return false;
        parts.isOk = true;
        return true;
    } else if (parts.incKind) {
        if (!parts.op.setCstr("inc")) return false;
        if (!setRestTrimmed(parts.value, p, parts.lenParsed, j)) return false;
        if (!dropEnclosingQuote(parts)) return false;
        if (isQuoteCh(parts.value.getAt(0))) {
            parts.isQuoteOpen = true;
            return false;
        }
        parts.isOk = true;
        return true;
    } else {
        return takeCmdLine(parts, p, ind);
    }

    // An assignment. "-include" is no variable name; "include" is one like any other.
    if (parts.incKind == '-') return false;
    parts.incKind = 0;
    parts.isVarOp = true;
    if (!parts.op.setCstr(p + j, k - j)) return false;
    parts.lenParsed = k;
    long long vs = k + cstrLenBlank(p + k);
    long long tl = cstrLenRvalue(p + vs);
    if (!tl) {
        if (isQuoteCh(p[vs])) {
            parts.isQuoteOpen = true;
            return false;
        }
        if (parts.name == "echo") {
            parts.isVarOp = false;
            return takeCmdLine(parts, p, ind);
        }
    }
    long long after = vs + tl;
    long long b = after + cstrLenBlank(p + after);
    if (p[b] && !isCmtStart(p + b)) {
        // Free text up to the comment, such as -O2 -Wall or /tmp/x.
        parts.isMultiWord = true;
        long long cl = cstrLenUntilCmtEsc(p + vs);
        parts.hasComment = p[vs + cl] != 0;
        long long n = lenTrimR(p + vs, cl);
        if (!parts.value.setCstr(p + vs, n)) return false;
        parts.lenParsed = vs + n;
        if (!dropEnclosingQuote(parts)) return false;
        parts.isOk = hasFlag(flags, 'v');
        return parts.isOk;
    }
    parts.hasComment = p[b] != 0;
    if (!parts.value.setCstr(p + vs, lenTrimR(p + vs, tl))) return false;
    parts.lenParsed = after;
    if (!dropEnclosingQuote(parts)) return false;
    if (isQuoteCh(parts.value.getAt(0))) {
        parts.isQuoteOpen = true;
        return false;
    }
    parts.isOk = true;
    return true;
}

// ---- GNU make hints

static char const* const kGnuFuncs[] = {
    "subst", "patsubst", "strip",    "findstring", "filter",    "filter-out",
    "sort",  "word",     "wordlist", "words",      "firstword", "lastword",
    "dir",   "notdir",   "suffix",   "basename",   "addsuffix", "addprefix",
    "join",  "wildcard", "realpath", "abspath",    "if",        "or",
    "and",   "foreach",  "call",     "value",      "origin",    "flavor",
    "eval",  "shell",    "error",    "warning",    "info",      "file",
};

static bool isGnuAutoCh(char c) {
    return c == '@' || c == '<' || c == '^' || c == '*' || c == '?' || c == '+';
}

static bool isGnuFuncCh(char c) {
    return (c >= 'a' && c <= 'z') || c == '-';
}

static bool isGnuFunc(char const* s, long long n) {
    for (char const* f : kGnuFuncs)
        if ((long long)strlen(f) == n && memcmp(f, s, (size_t)n) == 0) return true;
    return false;
}

// Whether the "$" at s[i] could start a GNU reference: function names are
// lower case, which the upper case names of rules files seldom are.
static bool dollarMayBeGnu(char const* s, long long n, long long i) {
    char c = i + 1 < n ? s[i + 1] : 0;
    if (isGnuAutoCh(c)) return true;
    if (c != '(' && c != '{') return false;
    char d = i + 2 < n ? s[i + 2] : 0;
    return isGnuFuncCh(d) || isGnuAutoCh(d);
}

// The reference GNU make reads at the "$" at s[i], stored into an empty func or autoVar.
static bool gnuRefAt(CxStr1p& func, CxStr1p& autoVar, char const* s, long long n, long long i) {
    char c = i + 1 < n ? s[i + 1] : 0;
    if (isGnuAutoCh(c)) return !autoVar.isEmpty() || autoVar.setCstr(s + i, 2);
    if (c != '(' && c != '{') return true;
    char const close = c == '(' ? ')' : '}';
    long long k = i + 2;
    if (k < n && isGnuAutoCh(s[k])) {
        long long e = k + 1;
        if (e < n && (s[e] == 'D' || s[e] == 'F')) ++e;
        if (e < n && s[e] == close && autoVar.isEmpty()) return autoVar.setCstr(s + i, e + 1 - i);
        return true;
    }
    long long e = k;
    while (e < n && isGnuFuncCh(s[e]))
        ++e;
    if (e >= n || !chIsBlank(s[e]) || !isGnuFunc(s + k, e - k) || !func.isEmpty()) return true;
    return func.setCstr(s + i, e - i) && func.addCstr(" ...") && func.addVal(close);
}

bool lineGnuRefsFind(CxStr1p& func, CxStr1p& autoVar, CxStr1p const& line) {
    func.clear();
    autoVar.clear();
    char const* const s = line.data;
    long long const n = line.length();
    if (!s || n < 2) return false;
    // Most lines hold no "$" that could start one: memchr alone settles them.
    bool may = false;
    for (char const* d = s; !may && d;) {
        d = (char const*)memchr(d, '$', (size_t)(n - (d - s)));
        if (d) {
            may = dollarMayBeGnu(s, n, d - s);
            ++d;
        }
    }
    if (!may) return false;
    // The same walk as expansion: quotes and escapes first, then dollar runs.
    long long i = 0;
    while (i < n && (func.isEmpty() || autoVar.isEmpty())) {
        char c = s[i];
        if (c == '\'') {
            void const* q = memchr(s + i + 1, '\'', (size_t)(n - i - 1));
            if (!q) break;
            i = (char const*)q - s + 1;
        } else if (c == '\\') {
            i += 2;
        } else if (c == '$') {
            long long j = i;
            while (j < n && s[j] == '$')
                ++j;
            if ((j - i) & 1) gnuRefAt(func, autoVar, s, n, j - 1);
            i = j;
        } else {
            ++i;
        }
    }
    return !func.isEmpty() || !autoVar.isEmpty();
}

bool linePartsGnuDirective(CxStr1p& what, LineParts const& parts) {
    what.clear();
    if (parts.op != "cmd" || parts.isVarOp) return false;
    CxStr1p const& w = parts.name;
    if (w == "ifeq" || w == "ifneq" || w == "ifdef" || w == "ifndef")
        return what.setCstr("conditional '") && what.addObj(w) && what.addVal('\'');
    if (!strHasStart(parts.value, w)) return false;
    char const* r = parts.value.c_str() + w.length();
    r += cstrLenBlank(r);
    return r[0] == '?' && r[1] == '=' && what.setCstr("'?=' assignment");
}

// ---- assignment and argument forms

bool strFormGenericSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& sep, CxStr1p const& value,
                       CxStr1p const& quote) {
    if (!cstrLenIdentifier(name.c_str())) {
        out.clear();
        return false;
    }
    // Built aside: out may be one of the inputs.
    CxStr1p r;
    if (!r.reserve(name.length() + sep.length() + value.length() + 2 * quote.length() + 1) ||
        !r.addObj(name) || !r.addObj(sep) || !r.addObj(quote) || !r.addObj(value) ||
        !r.addObj(quote)) {
        out.clear();
        return false;
    }
    out.swap(r);
    return true;
}

CxStr1p strFormGeneric(CxStr1p const& name, CxStr1p const& sep, CxStr1p const& value,
                       CxStr1p const& quote) {
    CxStr1p r;
    strFormGenericSet(r, name, sep, value, quote);
    return r;
}

bool strFormVarEqSet(CxStr1p& out, CxStr1p const& name, CxStr1p const& value) {
    return strFormGenericSet(out, name, "=", value, "'");
}

CxStr1p strFormVarEq(CxStr1p const& name, CxStr1p const& value) {
    CxStr1p r;
    strFormVarEqSet(r, name, value);
    return r;
}

bool strFormCmdArg01Set(CxStr1p& out, CxStr1p const& name, CxStr1p const& arg) {
    if (arg.isEmpty()) return strFormGenericSet(out, name, "", "", "");
    return strFormGenericSet(out, name, " ", arg, "'");
}

CxStr1p strFormCmdArg01(CxStr1p const& name, CxStr1p const& arg) {
    CxStr1p r;
    strFormCmdArg01Set(r, name, arg);
    return r;
}
