#include "rules/expand.h"

#include <cstring>

#include "app/log.h"
#include "base/byteset.h"
#include "base/textedit.h"
#include "rules/eval.h"
#include "rules/lineparse.h"

namespace {

enum HitKind { kNone, kRef, kEsc, kDangling };

struct Hit {
    HitKind kind = kNone;
    long long start = 0, len = 0, nameStart = 0, nameLen = 0;
};

bool optParens(char const* options) {
    return options && (strchr(options, '(') || strchr(options, ')'));
}

// Length of a reference starting with the "$" at s[i], within n bytes.
long long lenVarAt(char const* s, long long n, long long i, bool parens, long long& nameStart,
                   long long& nameLen) {
    char c = i + 1 < n ? s[i + 1] : 0;
    if (chIsWordStart(c)) {
        long long j = i + 2;
        while (j < n && chIsWord(s[j]))
            ++j;
        nameStart = i + 1;
        nameLen = j - i - 1;
        return j - i;
    }
    if (c != '{' && !(c == '(' && parens)) return 0;
    char close = c == '{' ? '}' : ')';
    long long j = i + 2;
    if (j >= n || !chIsWordStart(s[j])) return 0;
    long long k = j + 1;
    while (k < n && chIsWord(s[k]))
        ++k;
    if (k >= n || s[k] != close) return 0;
    nameStart = j;
    nameLen = k - j;
    return k + 1 - i;
}

// The bytes that can start something: a quote, an escape or a reference.
ByteSet const kStops("'\\$");

// Next reference (or, with stopEsc, escape) at or behind from, outside single
// quotes. A backslash that ends the text is reported as kDangling.
Hit scanNext(char const* s, long long n, long long from, bool parens, bool stopEsc) {
    Hit h;
    h.start = n;
    long long i = from < 0 ? 0 : from;
    while (i < n) {
        while (i < n && !kStops.has(s[i]))
            ++i;
        if (i >= n) break;
        char c = s[i];
        if (c == '\'') {
            void const* q = memchr(s + i + 1, '\'', (size_t)(n - i - 1));
            if (!q) break;
            i = (char const*)q - s + 1;
        } else if (c == '\\') {
            if (i + 1 >= n) {
                h.kind = kDangling;
                return h;
            }
            if (stopEsc) {
                h.kind = kEsc;
                h.start = i;
                h.len = 2;
                return h;
            }
            i += 2;
        } else {
            long long len = lenVarAt(s, n, i, parens, h.nameStart, h.nameLen);
            if (len > 0) {
                h.kind = kRef;
                h.start = i;
                h.len = len;
                return h;
            }
            ++i;
        }
    }
    return h;
}

// Expands text into out; get(name, value) looks names up. out is untouched
// unless the whole expansion succeeded.
template <class Lookup>
bool expandInto(CxStr1p& out, CxStr1p const& text, CxStr1p const& squeeze, char const* options,
                bool removeAllEscapes, Lookup get) {
    if (text.isEmpty()) {
        out.clear();
        return true;
    }
    char const* s = text.c_str();
    long long n = text.length();
    // Most lines hold neither a reference nor an escape: nothing to build.
    if (squeeze.isEmpty() && !memchr(s, '$', (size_t)n) && !memchr(s, '\\', (size_t)n))
        return &out == &text || out.setObj(text);
    bool parens = optParens(options);
    ByteSet const esc(parens ? "\\${}()" : "\\${}");
    CxStr1p res, name, val;
    bool ok = res.reserve(n);
    long long pos = 0, copied = 0;
    Hit h;
    while (ok) {
        h = scanNext(s, n, pos, parens, true);
        if (h.kind == kRef) {
            ok = res.addCstr(s + copied, h.start - copied) &&
                 name.setCstr(s + h.nameStart, h.nameLen) && get(name, val) && res.addObj(val);
            pos = copied = h.start + h.len;
        } else if (h.kind == kEsc) {
            if (esc.has(s[h.start + 1]) || removeAllEscapes) {
                ok = res.addCstr(s + copied, h.start - copied);
                copied = h.start + 1;
                pos = h.start + 2;
            } else {
                pos = h.start + 1;
            }
        } else {
            break;
        }
    }
    if (!ok || !res.addCstr(s + copied, n - copied)) return false;
    // Only the unpaired backslash that ended the text goes; one that a value
    // or an escaped pair put there is data.
    if (removeAllEscapes && h.kind == kDangling) res.forceLen(res.length() - 1);
    if (!squeeze.isEmpty() && !strTrimSeqSet(res, squeeze.c_str())) return false;
    return out.setMove(res);
}

struct StoreLookup {
    EnvMap& store;
    bool operator()(CxStr1p const& name, CxStr1p& val) const { return store.varGet(name, val); }
};

} // namespace

long long cstrLenVar(char const* text, char const* options) {
    if (!text || text[0] != '$') return 0;
    long long ns, nl;
    return lenVarAt(text, (long long)strlen(text), 0, optParens(options), ns, nl);
}

bool strNextVar(CxStr1p& name, long long& start, long long& len, CxStr1p const& text,
                long long from, char const* options) {
    name.clear();
    Hit h = scanNext(text.c_str(), text.length(), from, optParens(options), false);
    start = h.kind == kRef ? h.start : text.length();
    len = h.kind == kRef ? h.len : 0;
    return h.kind == kRef && name.setCstr(text.c_str() + h.nameStart, h.nameLen);
}

bool strNextVarOrEsc(CxStr1p& token, long long& start, long long& len, CxStr1p const& text,
                     long long from, char const* options) {
    token.clear();
    Hit h = scanNext(text.c_str(), text.length(), from, optParens(options), true);
    if (h.kind == kRef) {
        start = h.start;
        len = h.len;
        return token.setCstr(text.c_str() + h.nameStart, h.nameLen);
    }
    if (h.kind == kEsc) {
        start = h.start;
        len = 2;
        return token.setCstr(text.c_str() + h.start, 2);
    }
    start = text.length();
    len = 0;
    return false;
}

bool evalStrSet(EnvMap& store, CxStr1p& text, CxStr1p const& squeeze, char const* options,
                bool removeAllEscapes) {
    return expandInto(text, text, squeeze, options, removeAllEscapes, StoreLookup{store});
}

CxStr1p evalStr(EnvMap& store, CxStr1p const& text, CxStr1p const& squeeze, char const* options,
                bool removeAllEscapes) {
    CxStr1p r;
    expandInto(r, text, squeeze, options, removeAllEscapes, StoreLookup{store});
    return r;
}

CxStr1p evalVar2Str(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes) {
    CxStr1p v;
    if (!store.varGet(name, v)) return CxStr1p();
    return evalStr(store, v, squeeze, options, removeAllEscapes);
}

bool evalVarReplSet(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes) {
    CxStr1p v;
    return store.varGet(name, v) && evalStrSet(store, v, squeeze, options, removeAllEscapes) &&
           store.varSet(name, v);
}

CxStr1p evalVarRepl(EnvMap& store, CxStr1p const& name, CxStr1p const& squeeze, char const* options,
                    bool removeAllEscapes) {
    if (!evalVarReplSet(store, name, squeeze, options, removeAllEscapes)) return CxStr1p();
    return store.varGet(name);
}

CxStr1p evalMap2xStr(VarOverlay const& overlay, EnvMap& store, CxStr1p const& text,
                     CxStr1p const& squeeze, char const* options, bool removeAllEscapes) {
    CxStr1p r;
    expandInto(r, text, squeeze, options, removeAllEscapes, [&](CxStr1p const& name, CxStr1p& val) {
        return envMap2VarGet(overlay, store, val, name);
    });
    return r;
}

bool evalVarsInLine(CxStr1p& line, bool& quoteOpen, EnvMap& store, char const* options,
                    CxStr1p* err, long long /*lineNr*/) {
    quoteOpen = false;
    if (line.isEmpty()) return true;
    if (!lineIsReady(line)) {
        quoteOpen = true;
        err2strf(err, "Unfinished line: >%s<", line.c_str());
        return false;
    }
    if (!evalStrSet(store, line, CxStr1p(), options, false)) {
        err2strf(err, "Eval(vars) failed >%s<", line.c_str());
        return false;
    }
    return true;
}

bool lineEvalVarEq(CxStr1p const& line, EnvMap& store, bool& quoteOpen, char const* options,
                   bool removeAllEscapes, CxStr1p* err) {
    LineParts p;
    lineParse4VarOrCmd(p, line, "");
    quoteOpen = p.isQuoteOpen;
    // Free-text values are assignments too, as in rules files.
    if (!p.isVarOp || p.isQuoteOpen || !(p.isOk || p.isMultiWord)) return false;
    if (p.quote != "'" && !evalStrSet(store, p.value, CxStr1p(), options, removeAllEscapes))
        return false;
    return evalLinePartsOpVar(p, store, err);
}

bool textEvalVarEq(CxStr1p const& text, EnvMap& store, bool& quoteOpen, char const* options,
                   bool removeAllEscapes, CxStr1p* err) {
    quoteOpen = false;
    if (text.isEmpty()) return false;
    char const* s = text.c_str();
    long long n = text.length(), i = 0;
    CxStr1p acc;
    while (i < n) {
        long long b = i;
        while (i < n && s[i] != '\n' && s[i] != '\r')
            ++i;
        CxStr1p phys(s + b, i - b);
        if (i < n && s[i] == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
        if (i < n) ++i;
        if (quoteOpen) {
            if (!acc.addVal('\n') || !acc.addObj(phys)) return false;
        } else {
            if (strLineIsEmptyOrComment(phys)) continue;
            acc.setMove(phys);
        }
        lineEvalVarEq(acc, store, quoteOpen, options, removeAllEscapes, err);
    }
    return !quoteOpen;
}

CxStr1p strVarName(CxStr1p const& text) {
    long long i;
    return text.findIndex(i, '=') ? CxStr1p(text.c_str(), i) : text;
}

CxStr1p strVarValue(CxStr1p const& text, bool removeQuotes) {
    long long i;
    if (!text.findIndex(i, '=')) return CxStr1p();
    CxStr1p v(text.c_str() + i + 1);
    if (removeQuotes) strDelQuoteSet(v, "'\"");
    return v;
}

CxStr1p strVarValueDelQ(CxStr1p const& text) {
    return strVarValue(text, true);
}

bool strVarEqValSplit(CxStr1p& name, CxStr1p& value, CxStr1p const& text, bool removeQuotes) {
    name.clear();
    value.clear();
    long long i;
    if (!text.findIndex(i, '=') || i == 0) return false;
    if (!name.setCstr(text.c_str(), i) || !value.setCstr(text.c_str() + i + 1)) return false;
    return !removeQuotes || strDelQuoteSet(value, "'\"");
}

bool strVarEqValSplitDelQ(CxStr1p& name, CxStr1p& value, CxStr1p const& text) {
    return strVarEqValSplit(name, value, text, true);
}

CxStr1p strVarEqValSet(CxStr1p const& name, CxStr1p const& value, char quote) {
    CxStr1p r(name);
    r += '=';
    if (quote) r += quote;
    r += value;
    if (quote) r += quote;
    return r;
}

CxStr1p strVarEqValSetQ1(CxStr1p const& name, CxStr1p const& value) {
    return strVarEqValSet(name, value, '\'');
}

CxStr1p strVarEqValSetQ2(CxStr1p const& name, CxStr1p const& value) {
    return strVarEqValSet(name, value, '"');
}
