#include "base/tokens.h"

#include <cstdio>
#include <cstring>

#include "base/byteset.h"
#include "base/fs.h"

namespace {

char const kTokSeps[] = "|\r\n \t";
char const kArgSeps[] = " \t\r\n";
char const kWhite[] = " \t\r\n";
char const kQuotes[] = "\"'";
// Bytes a shell or cmd.exe would treat specially; "c" drops the white space.
char const kSpecialsAll[] = " \t\n\r'\"|<>;!&()[]{}~`";
char const kSpecialsNoWhite[] = "'\"|<>;!&()[]{}~`";

inline long long lenOf(CxStr1p const& s) {
    return s.data && s.len > 0 ? s.len : 0;
}
inline bool hasFlag(char const* flags, char f) {
    return flags && strchr(flags, f) != nullptr;
}
inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
inline bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
inline bool isQuote(char c) {
    return c == '"' || c == '\'';
}
inline char const* sepsOr(char const* seps, char const* def) {
    return seps && *seps ? seps : def;
}

// Length of a text up to its first zero byte.
long long textEnd(char const* d, long long n) {
    if (!d || n < 1) return 0;
    void const* z = memchr(d, 0, (size_t)n);
    return z ? (long long)((char const*)z - d) : n;
}

// Skips separators at i. Under "e" a non-blank separator that is the first or
// last byte, or repeats the byte before it, is an empty token: true with i
// behind it.
bool skipSeps(long long& i, char const* t, long long n, ByteSet const& set, bool e) {
    while (i < n && set.has(t[i])) {
        char c = t[i];
        if (e && !isBlank(c) && (i == 0 || i == n - 1 || t[i - 1] == c)) {
            ++i;
            return true;
        }
        ++i;
    }
    return false;
}

// Writes a token found in text into out; out may be text itself.
bool setToken(CxStr1p& out, CxStr1p const& text, long long start, long long len) {
    if (len < 1) {
        out.clear();
        return true;
    }
    return out.setCstr(text.data + start, len);
}

enum ArgResult { kArgNone, kArgOk, kArgEmpty, kArgOpen };

ArgResult argSpan(long long& start, long long& len, long long& pos, char const* t, long long n,
                  ByteSet const& set, bool e) {
    start = pos;
    len = 0;
    if (!t || pos < 0 || pos >= n) return kArgNone;
    long long i = pos;
    if (skipSeps(i, t, n, set, e)) {
        start = i;
        pos = i;
        return kArgEmpty;
    }
    long long s = i;
    char quote = 0;
    while (i < n) {
        char c = t[i];
        if (!c) break;
        if (c == '\\') {
            // The escaped byte is ordinary; a final backslash stays in the argument.
            i += (i + 1 < n && t[i + 1]) ? 2 : 1;
            continue;
        }
        if (quote) {
            if (c == quote) quote = 0;
        } else if (isQuote(c)) {
            quote = c;
        } else if (set.has(c)) {
            break;
        }
        ++i;
    }
    start = s;
    len = i - s;
    pos = i;
    if (quote) return kArgOpen;
    return len > 0 ? kArgOk : kArgNone;
}

bool argQuoteInto(CxStr1p& out, CxStr1p const& arg, char const* flags, char quote,
                  char const* specials) {
    char q = strArgWantQuote(arg, flags, quote, specials);
    long long n = lenOf(arg);
    char const* d = arg.c_str();
    out.clear();
    if (!q) return out.setCstr(d, n);
    bool both = n >= 2 && memchr(d, '\'', (size_t)n) && memchr(d, '"', (size_t)n);
    if (!out.reserve(n * (both ? 2 : 1) + 3)) return false;
    out.addVal(both ? '"' : q);
    if (both) {
        for (long long i = 0; i < n && d[i]; ++i) {
            if (isQuote(d[i])) out.addVal('\\');
            out.addVal(d[i]);
        }
    } else {
        out.addCstr(d, n);
    }
    out.addVal(both ? '"' : q);
    return true;
}

// Blank, quoted a, blank, and the quoted b with a blank when b is not empty.
bool argListPattern(CxStr1p& pat, CxStr1p const& a, CxStr1p const& b, char quote) {
    CxStr1p q;
    pat.clear();
    if (!pat.addVal(' ') || !argQuoteInto(q, a, "a", quote, nullptr) || !pat.addObj(q) ||
        !pat.addVal(' '))
        return false;
    if (lenOf(b) == 0) return true;
    return argQuoteInto(q, b, "a", quote, nullptr) && pat.addObj(q) && pat.addVal(' ');
}

} // namespace

// ---- lines

bool cstrTokenOneNL(long long& start, long long& len, long long& pos, char const* text,
                    long long textLen) {
    start = pos;
    len = 0;
    if (text && textLen < 0) textLen = (long long)strlen(text);
    // A zero byte ends the text: stopping here keeps a caller loop from spinning on it.
    if (!text || pos < 0 || pos >= textLen || !text[pos]) return false;
    long long i = pos;
    while (i < textLen) {
        char c = text[i];
        if (c == '\n' || c == '\r' || !c) break;
        ++i;
    }
    len = i - pos;
    if (i < textLen) {
        if (text[i] == '\r') {
            ++i;
            if (i < textLen && text[i] == '\n') ++i;
        } else if (text[i] == '\n') {
            ++i;
        }
    }
    pos = i;
    return true;
}

bool strTokenOneNL(CxStr1p& out, long long& pos, CxStr1p const& text) {
    long long s, n;
    if (!cstrTokenOneNL(s, n, pos, text.data, lenOf(text))) {
        out.clear();
        return false;
    }
    return setToken(out, text, s, n);
}

bool strTokenUnqOneNL(CxStr1p& out, long long& pos, CxStr1p const& text) {
    if (!strTokenOneNL(out, pos, text)) return false;
    return strDelQuoteSet(out, kQuotes);
}

// ---- separator runs

bool cstrToken(long long& start, long long& len, long long& pos, char const* text,
               long long textLen, char const* seps, char const* flags) {
    start = pos;
    len = 0;
    if (text && textLen < 0) textLen = (long long)strlen(text);
    if (!text || pos < 0 || pos >= textLen) return false;
    ByteSet set(sepsOr(seps, kTokSeps));
    long long i = pos;
    if (skipSeps(i, text, textLen, set, hasFlag(flags, 'e'))) {
        start = i;
        pos = i;
        return true;
    }
    long long s = i;
    while (i < textLen && text[i] && !set.has(text[i]))
        ++i;
    start = s;
    len = i - s;
    pos = i;
    return len > 0;
}

bool strToken(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps,
              char const* flags) {
    long long s, n;
    if (!cstrToken(s, n, pos, text.data, lenOf(text), seps, flags)) {
        out.clear();
        return false;
    }
    return setToken(out, text, s, n);
}

bool strTokenUnq(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps,
                 char const* flags) {
    if (!strToken(out, pos, text, seps, flags)) return false;
    return strDelQuoteSet(out, kQuotes);
}

bool strTokenNL(CxStr1p& out, long long& pos, CxStr1p const& text) {
    return strToken(out, pos, text, "\r\n", "");
}

bool strTokenUnqNL(CxStr1p& out, long long& pos, CxStr1p const& text) {
    return strTokenUnq(out, pos, text, "\r\n", "");
}

// ---- single separators

bool cstrTokenOneSep(long long& start, long long& len, long long& pos, char const* text,
                     long long textLen, char const* seps) {
    start = pos;
    len = 0;
    if (text && textLen < 0) textLen = (long long)strlen(text);
    if (!text || pos < 0 || pos >= textLen || !text[pos]) return false;
    seps = sepsOr(seps, kTokSeps);
    ByteSet set(seps);
    bool crlf = set.has('\r') && set.has('\n');
    long long i = pos;
    while (i < textLen && text[i] && !set.has(text[i]))
        ++i;
    len = i - pos;
    if (i < textLen && text[i]) {
        if (crlf && text[i] == '\r' && i + 1 < textLen && text[i + 1] == '\n') ++i;
        ++i;
    }
    pos = i;
    return true;
}

bool strTokenOneSep(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps) {
    long long s, n;
    if (!cstrTokenOneSep(s, n, pos, text.data, lenOf(text), seps)) {
        out.clear();
        return false;
    }
    return setToken(out, text, s, n);
}

bool strTokenUnqOneSep(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps) {
    if (!strTokenOneSep(out, pos, text, seps)) return false;
    return strDelQuoteSet(out, kQuotes);
}

// ---- arguments

bool strTokenArg(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps,
                 char const* flags) {
    ByteSet set(sepsOr(seps, kArgSeps));
    bool e = hasFlag(flags, 'e'), dropEmptyQuoted = hasFlag(flags, 'Q');
    long long n = lenOf(text), s, l;
    ArgResult r;
    for (;;) {
        r = argSpan(s, l, pos, text.data, n, set, e);
        if (r == kArgOk && dropEmptyQuoted && l == 2 && isQuote(text.data[s]) &&
            text.data[s] == text.data[s + 1])
            continue;
        break;
    }
    if (r == kArgNone) {
        out.clear();
        return false;
    }
    if (!setToken(out, text, s, l)) return false;
    return r != kArgOpen;
}

bool strTokenUnqArg(CxStr1p& out, long long& pos, CxStr1p const& text, char const* seps,
                    char const* flags) {
    bool ok = strTokenArg(out, pos, text, seps, flags);
    strDelQuoteSet(out, kQuotes);
    return ok;
}

// ---- quoting by context

char strArgWantQuote(CxStr1p const& arg, char const* flags, char quote, char const* specials) {
    if (!quote) quote = '"';
    long long n = lenOf(arg);
    if (n < 1) {
        bool q = !flags || !*flags || hasFlag(flags, 'a') || hasFlag(flags, 'e');
        return (q && !hasFlag(flags, 'E')) ? quote : 0;
    }
    char const* sp =
        specials && *specials ? specials : (hasFlag(flags, 'c') ? kSpecialsNoWhite : kSpecialsAll);
    ByteSet set(sp);
    char const* d = arg.data;
    if (n == 1) {
        if (d[0] == '"') return '\'';
        if (d[0] == '\'') return '"';
        return set.has(d[0]) ? quote : 0;
    }
    char f = d[0], l = d[n - 1];
    if (f == l && (isQuote(f) || f == quote)) return 0;
    bool sq = memchr(d, '\'', (size_t)n) != nullptr, dq = memchr(d, '"', (size_t)n) != nullptr;
    // An assignment with a quoted value is already cut correctly.
    if (l == '\'' && strHas(arg, "='")) return 0;
    if (l == '"' && strHas(arg, "=\"")) return 0;
    if (sq) return '"'; // with double quotes too they get escaped
    if (dq) return '\'';
    for (long long i = 0; i < n; ++i)
        if (set.has(d[i])) return quote;
    return 0;
}

CxStr1p strArgQuoteByCtx(CxStr1p const& arg, char const* flags, char quote, char const* specials) {
    CxStr1p r;
    argQuoteInto(r, arg, flags, quote, specials);
    return r;
}

bool strArgQuoteByCtxSet(CxStr1p& arg, char const* flags, char quote, char const* specials) {
    CxStr1p r;
    if (!argQuoteInto(r, arg, flags, quote, specials)) return false;
    arg.swap(r);
    return true;
}

// ---- argument lists

bool argListAdd(CxStr1p& list, CxStr1p const& item, char quote) {
    CxStr1p q;
    if (!argQuoteInto(q, item, "a", quote, nullptr)) return false;
    long long old = list.len;
    if (lenOf(list) == 0 && !list.addVal(' ')) return false;
    if (!list.addObj(q) || !list.addVal(' ')) {
        list.forceLen(old);
        return false;
    }
    return true;
}

bool argListHas(CxStr1p const& list, CxStr1p const& items, char quote) {
    long long idx;
    long long n = lenOf(items);
    if (n == 0) return strFindIdx(idx, list, " \"\" ") || strFindIdx(idx, list, " '' ");
    CxStr1p alt, q, pat;
    long long pos = 0;
    for (;;) {
        // Every piece between "|" counts, the empty ones too.
        long long e = pos;
        while (e < n && items.data[e] != '|')
            ++e;
        if (!alt.setCstr(items.data + pos, e - pos) || !argQuoteInto(q, alt, "a", quote, nullptr))
            return false;
        pat.clear();
        if (pat.addVal(' ') && pat.addObj(q) && pat.addVal(' ') && strFindIdx(idx, list, pat))
            return true;
        if (e >= n) return false;
        pos = e + 1;
    }
}

bool argListDelEach(CxStr1p& list, CxStr1p const& a, CxStr1p const& b, char quote) {
    if (lenOf(a) == 0 && lenOf(b) == 0) return false;
    CxStr1p pat;
    if (!argListPattern(pat, a, b, quote)) return false;
    long long n = lenOf(list), pl = pat.len, w = 0;
    bool found = false;
    char* d = list.data;
    // In place: the output never runs ahead of the input. The closing blank of a
    // match stays as the opening blank of the next item, so neighbours match too.
    for (long long r = 0; r < n;) {
        if (d[r] == ' ' && n - r >= pl && memcmp(d + r, pat.data, (size_t)pl) == 0) {
            found = true;
            r += pl - 1;
            continue;
        }
        d[w++] = d[r++];
    }
    if (found) list.forceLen(w);
    return found;
}

bool argListDelEnd(CxStr1p& list, CxStr1p const& a, CxStr1p const& b, char quote) {
    if (lenOf(a) == 0 && lenOf(b) == 0) return false;
    CxStr1p pat;
    if (!argListPattern(pat, a, b, quote)) return false;
    if (!strHasEnd(list, pat)) return false;
    // Keep the opening blank of the pattern: it is the blank that ends the list again.
    list.forceLen(list.len - pat.len + 1);
    return true;
}

// ---- recipe commands

bool splitAttrCmd(bool& show, bool& ignoreErr, CxStr1p& cmd, bool* always) {
    show = true;
    ignoreErr = false;
    if (always) *always = false;
    long long e = textEnd(cmd.data, cmd.len), s = 0;
    char const* d = cmd.data;
    // A Makefile's line is shown and run as written, blanks at its end too.
    while (!always && e > 0 && isWhite(d[e - 1]))
        --e;
    while (s < e && isWhite(d[s]))
        ++s;
    while (s < e && (d[s] == '-' || d[s] == '@' || (always && d[s] == '+'))) {
        if (d[s] == '-')
            ignoreErr = true;
        else if (d[s] == '+')
            *always = true;
        else
            show = false;
        ++s;
        while (s < e && isWhite(d[s]))
            ++s;
    }
    if (s == 0 && e == cmd.len) return true;
    if (s > 0) memmove(cmd.data, cmd.data + s, (size_t)(e - s));
    cmd.forceLen(e - s);
    return true;
}

bool splitCmdArgs(CxStr1p& cmd, CxStr1p& args, CxStr1p const& line, char const* stopChars) {
    if (&cmd == &line || &args == &line) {
        CxStr1p copy(line);
        return splitCmdArgs(cmd, args, copy, stopChars);
    }
    char const* d = line.c_str();
    long long e = textEnd(line.data, line.len);
    if (stopChars && *stopChars) {
        ByteSet stop(stopChars);
        for (long long i = 0; i < e; ++i)
            if (stop.has(d[i])) {
                e = i;
                break;
            }
    }
    long long s = 0;
    while (e > s && isWhite(d[e - 1]))
        --e;
    while (s < e && isWhite(d[s]))
        ++s;
    long long k = s;
    while (k < e && !isBlank(d[k]))
        ++k;
    long long ce = k, as = k;
    while (ce > s && isWhite(d[ce - 1]))
        --ce;
    while (as < e && isWhite(d[as]))
        ++as;
    bool ok = cmd.setCstr(d + s, ce - s);
    return args.setCstr(d + as, e - as) && ok;
}

CxStr1p cmdPart(CxStr1p const& line, char const* stopChars) {
    CxStr1p cmd, args;
    splitCmdArgs(cmd, args, line, stopChars);
    return cmd;
}

CxStr1p cmdPartNameOnly(CxStr1p const& line, char const* stopChars) {
    CxStr1p cmd = cmdPart(line, stopChars);
    long long i = cmd.len;
    while (i > 0 && cmd.data[i - 1] != '/' && cmd.data[i - 1] != '\\')
        --i;
    if (i > 0) cmd.delSpan(0, i);
    return cmd;
}

CxStr1p argsPart(CxStr1p const& line, char const* stopChars) {
    CxStr1p cmd, args;
    splitCmdArgs(cmd, args, line, stopChars);
    return args;
}

CxStr1p cmdArgsJoin(CxStr1p const& cmd, CxStr1p const& args) {
    CxStr1p r = strTrimLR(cmd, kWhite);
    CxStr1p a = strTrimLR(args, kWhite);
    strJoin(r, ' ', a);
    return r;
}

// ---- first and last lines

bool strHeadLineNESet(CxStr1p& out, CxStr1p const& text) {
    bool nonEmpty = !text.isEmpty();
    long long pos = 0;
    strTokenNL(out, pos, text);
    return nonEmpty;
}

bool strTailLineNESet(CxStr1p& out, CxStr1p const& text) {
    bool nonEmpty = !text.isEmpty();
    char const* d = text.data;
    long long e = textEnd(d, text.len);
    while (e > 0 && (d[e - 1] == '\r' || d[e - 1] == '\n'))
        --e;
    long long s = e;
    while (s > 0 && d[s - 1] != '\r' && d[s - 1] != '\n')
        --s;
    if (e > s)
        out.setCstr(d + s, e - s);
    else
        out.clear();
    return nonEmpty;
}

// ---- whole files

bool strFileLoadFd(CxStr1p const& path, CxStr1p& out, char const* flags, long long maxLen) {
    if (maxLen < 0 || path.isEmpty()) {
        out.clear();
        return false;
    }
    FILE* f = fsFopen(path.c_str(), "rb");
    out.clear(); // only now: out may be the path itself
    if (!f) return false;
    long long const piece = 4096;
    // The file size, when it can be known, sizes the buffer in one step. It is
    // used only after a first piece was read: a directory opens on some systems
    // and reports an absurd size, but its first read fails.
    long long hint = 0;
    if (fseek(f, 0, SEEK_END) == 0) {
        long sz = ftell(f);
        if (sz > 0 && (long long)sz < (1LL << 40)) hint = (long long)sz;
        rewind(f);
    }
    if (maxLen > 0 && hint > maxLen) hint = maxLen;
    bool ok = true;
    for (;;) {
        long long want = piece;
        if (maxLen > 0) {
            if (out.len >= maxLen) break;
            if (want > maxLen - out.len) want = maxLen - out.len;
        }
        if (out.cap - out.len - 1 < want) {
            long long grow = out.cap + out.cap / 2;
            if (out.len > 0 && grow < hint + piece + 1) grow = hint + piece + 1;
            if (grow < out.len + want + 1) grow = out.len + want + 1;
            if (!out.reserve(grow)) {
                ok = false;
                break;
            }
        }
        size_t got = fread(out.data + out.len, 1, (size_t)want, f);
        out.len += (long long)got;
        out.data[out.len] = 0;
        if ((long long)got < want) {
            if (ferror(f)) ok = false;
            break;
        }
    }
    fclose(f);
    if (!ok) {
        out.clear();
        return false;
    }
    if (hasFlag(flags, 'n') && out.len > 0) {
        long long n = 0;
        for (long long r = 0; r < out.len; ++r) {
            char c = out.data[r];
            if (c == '\r') {
                if (r + 1 < out.len && out.data[r + 1] == '\n') ++r;
                c = '\n';
            }
            out.data[n++] = c;
        }
        out.forceLen(n);
    }
    return true;
}

bool strFileSaveFd(CxStr1p const& path, CxStr1p const& text, char const* flags) {
    if (path.isEmpty()) return false;
    if (hasFlag(flags, 'a')) {
        // One write on a descriptor opened for appending: parallel jobs that
        // append to one file keep every line.
        return fsAppendBytes(path, text.c_str(), lenOf(text));
    }
    FILE* f = fsFopen(path.c_str(), "wb");
    if (!f) return false;
    size_t n = (size_t)lenOf(text);
    bool ok = n == 0 || fwrite(text.data, 1, n, f) == n;
    // A failed close can lose buffered data; it counts as a failed save.
    if (fclose(f) != 0) ok = false;
    return ok;
}

bool strFileSaveFdOnDiff(CxStr1p const& path, CxStr1p const& text) {
    CxStr1p cur;
    long long n = lenOf(text);
    if (strFileLoadFd(path, cur) && cur.len == n &&
        (n == 0 || memcmp(cur.data, text.data, (size_t)n) == 0))
        return true;
    return strFileSaveFd(path, text);
}

// ---- raw buffers

bool cstrCp(char* dst, long long dstSize, char const* src, long long srcLen) {
    if (!dst || dstSize < 1) return false;
    if (!src) {
        src = "";
        srcLen = 0;
    }
    if (srcLen < 0) srcLen = (long long)strlen(src);
    if (srcLen >= dstSize) {
        dst[0] = 0;
        return false;
    }
    memmove(dst, src, (size_t)srcLen);
    dst[srcLen] = 0;
    return true;
}

bool strNCpy(char* dst, char const* src, long long n) {
    if (!dst || n < 1) return false;
    if (!src) src = "";
    long long i = 0;
    for (; i < n - 1 && src[i]; ++i)
        dst[i] = src[i];
    dst[i] = 0;
    return src[i] == 0;
}
