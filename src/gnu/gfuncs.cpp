// The built-in functions. Each follows GNU make 4.3 to the blank: where a
// function keeps the blanks of its text (subst, wordlist) or leaves one
// behind (a word replaced by nothing), so do we.
#include "gnu/gfuncs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/fs.h"

namespace {

typedef GmSpan const* Args;

bool oom(GmExpandCtx& ctx) {
    return gmFail(ctx, "out of memory while expanding");
}

bool addSpan(CxStr1p& out, GmSpan s) {
    return s.n <= 0 || out.addCstr(s.p, s.n);
}

bool addNum(CxStr1p& out, long long v) {
    char buf[24];
    snprintf(buf, sizeof buf, "%lld", v);
    return out.addCstr(buf);
}

// Drops the blank left after the last word, when a word was written.
void dropLastBlank(CxStr1p& out, bool any) {
    if (any) out.forceLen(out.len - 1);
}

// ---- Text

bool fnSubst(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    GmSpan from = a[0], to = a[1], text = a[2];
    if (from.n == 0) return (addSpan(out, text) && addSpan(out, to)) || oom(ctx);
    char const* t = text.p;
    char const* e = text.p + text.n;
    char const* last = e - from.n;
    char const* run = t;
    while (t <= last) {
        char const* m = (char const*)memchr(t, from.p[0], (size_t)(last - t + 1));
        if (!m) break;
        if (memcmp(m, from.p, (size_t)from.n) != 0) {
            t = m + 1;
            continue;
        }
        if (out.len > gmMaxExpand || !addSpan(out, GmSpan{run, m - run}) || !addSpan(out, to))
            return gmFailGrow(ctx, out, "subst");
        t = run = m + from.n;
    }
    return addSpan(out, GmSpan{run, e - run}) || oom(ctx);
}

bool fnPatsubst(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    CxStr1p p(a[0].p, a[0].n), r(a[1].p, a[1].n);
    long long pct = gmFindPercent(p), rpct = gmFindPercent(r);
    return gmPatsubst(out, a[2], gmSpanOf(p), pct, gmSpanOf(r), rpct) ||
           gmFailGrow(ctx, out, "patsubst");
}

bool fnStrip(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        if (!addSpan(out, w) || !out.addVal(' ')) return oom(ctx);
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnFindstring(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    GmSpan find = a[0], in = a[1];
    for (long long i = 0; i + find.n <= in.n; ++i)
        if (memcmp(in.p + i, find.p, (size_t)find.n) == 0) return addSpan(out, find) || oom(ctx);
    return true;
}

struct SpanLess {
    bool operator()(GmSpan const& x, GmSpan const& y) const {
        long long n = x.n < y.n ? x.n : y.n;
        int c = memcmp(x.p, y.p, (size_t)n);
        return c < 0 || (c == 0 && x.n < y.n);
    }
};

bool collectWords(Vect1p_Vobj<GmSpan>& words, GmSpan text) {
    char const* it = text.p;
    char const* e = text.p + text.n;
    GmSpan w;
    while (gmNextWord(it, e, w))
        if (!words.addVal(w)) return false;
    return true;
}

bool fnFilter(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const& f) {
    bool keepMatch = f.name[6] == 0; // "filter" against "filter-out"
    // Patterns with "%" are tried one by one; plain ones are looked up in a
    // sorted table, so long lists on both sides stay n log n.
    CxStr1p pats; // the patterns with their quoting removed, one after the other
    Vect1p_Vobj<GmSpan> plain;
    Vect1p_Vobj<long long> pctAt, pctLen, pctPos;
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    GmSpan w;
    Vect1p_Vobj<long long> plainAt, plainLen;
    while (gmNextWord(it, e, w)) {
        CxStr1p one(w.p, w.n);
        long long pct = gmFindPercent(one);
        long long at = pats.len;
        if (!pats.addObj(one)) return oom(ctx);
        bool ok = pct >= 0 ? pctAt.addVal(at) && pctLen.addVal(one.len) && pctPos.addVal(pct)
                           : plainAt.addVal(at) && plainLen.addVal(one.len);
        if (!ok) return oom(ctx);
    }
    for (long long i = 0; i < plainAt.count; ++i)
        if (!plain.addVal(GmSpan{pats.c_str() + plainAt[i], plainLen[i]})) return oom(ctx);
    std::sort(plain.begin(), plain.end(), SpanLess());
    it = a[1].p;
    e = it + a[1].n;
    bool any = false;
    while (gmNextWord(it, e, w)) {
        bool hit = std::binary_search(plain.begin(), plain.end(), w, SpanLess());
        for (long long i = 0; !hit && i < pctAt.count; ++i)
            hit = gmPatMatch(GmSpan{pats.c_str() + pctAt[i], pctLen[i]}, pctPos[i], w);
        if (hit != keepMatch) continue;
        if (!addSpan(out, w) || !out.addVal(' ')) return oom(ctx);
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnSort(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    Vect1p_Vobj<GmSpan> words;
    if (!collectWords(words, a[0])) return oom(ctx);
    std::sort(words.begin(), words.end(), SpanLess());
    bool any = false;
    for (long long i = 0; i < words.count; ++i) {
        if (i > 0 && !SpanLess()(words[i - 1], words[i])) continue;
        if (!addSpan(out, words[i]) || !out.addVal(' ')) return oom(ctx);
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

// Digits with blanks around, as GNU make accepts; values saturate.
bool parseCount(GmSpan s, long long& v) {
    GmSpan t = gmStripSpan(s);
    if (t.n == 0) return false;
    v = 0;
    for (long long i = 0; i < t.n; ++i) {
        if (t.p[i] < '0' || t.p[i] > '9') return false;
        if (v < 100000000000000LL) v = v * 10 + (t.p[i] - '0');
    }
    return true;
}

bool failNumeric(GmExpandCtx& ctx, char const* which, char const* fn, GmSpan arg) {
    ctx.err = "non-numeric ";
    ctx.err += which;
    ctx.err += " argument to '";
    ctx.err += fn;
    ctx.err += "' function: '";
    ctx.err.addCstr(arg.p, arg.n);
    ctx.err += "'";
    return false;
}

bool fnWord(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    long long n;
    if (!parseCount(a[0], n)) return failNumeric(ctx, "first", "word", a[0]);
    if (n == 0) return gmFail(ctx, "first argument to 'word' function must be greater than 0");
    char const* it = a[1].p;
    char const* e = it + a[1].n;
    GmSpan w;
    while (gmNextWord(it, e, w))
        if (--n == 0) return addSpan(out, w) || oom(ctx);
    return true;
}

bool fnWordlist(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    long long s, l;
    if (!parseCount(a[0], s)) return failNumeric(ctx, "first", "wordlist", a[0]);
    if (!parseCount(a[1], l)) return failNumeric(ctx, "second", "wordlist", a[1]);
    if (s < 1) return gmFail(ctx, "invalid first argument to 'wordlist' function: '0'");
    // The blanks between the words chosen stay as written.
    char const* it = a[2].p;
    char const* e = it + a[2].n;
    char const* from = nullptr;
    char const* to = nullptr;
    GmSpan w;
    for (long long i = 1; i <= l && gmNextWord(it, e, w); ++i) {
        if (i == s) from = w.p;
        to = w.p + w.n;
    }
    if (!from) return true;
    return addSpan(out, GmSpan{from, to - from}) || oom(ctx);
}

bool fnWords(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    long long n = 0;
    GmSpan w;
    while (gmNextWord(it, e, w))
        ++n;
    return addNum(out, n) || oom(ctx);
}

bool fnFirstword(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    GmSpan w;
    if (!gmNextWord(it, it + a[0].n, w)) return true;
    return addSpan(out, w) || oom(ctx);
}

bool fnLastword(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    GmSpan w, last;
    while (gmNextWord(it, e, w))
        last = w;
    return addSpan(out, last) || oom(ctx);
}

// ---- File names (only "/" separates directories, on every platform)

// Last index in w of one of the stop characters, or -1.
long long lastOf(GmSpan w, bool dotToo) {
    for (long long i = w.n - 1; i >= 0; --i)
        if (w.p[i] == '/' || (dotToo && w.p[i] == '.')) return i;
    return -1;
}

bool dirOrBasename(CxStr1p& out, GmSpan text, bool isDir) {
    char const* it = text.p;
    char const* e = text.p + text.n;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        long long i = lastOf(w, !isDir);
        bool ok;
        if (i >= 0 && isDir)
            ok = addSpan(out, GmSpan{w.p, i + 1});
        else if (i >= 0 && w.p[i] == '.')
            ok = addSpan(out, GmSpan{w.p, i});
        else if (isDir)
            ok = out.addCstr("./");
        else
            ok = addSpan(out, w);
        if (!ok || !out.addVal(' ')) return false;
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool notdirOrSuffix(CxStr1p& out, GmSpan text, bool isSuffix) {
    char const* it = text.p;
    char const* e = text.p + text.n;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        long long i = lastOf(w, isSuffix);
        if (isSuffix) {
            if (i < 0 || w.p[i] != '.') continue; // no suffix: no word, no blank
            if (!addSpan(out, GmSpan{w.p + i, w.n - i})) return false;
        } else if (!addSpan(out, GmSpan{w.p + i + 1, w.n - i - 1})) {
            return false;
        }
        if (!out.addVal(' ')) return false;
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnDir(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    return dirOrBasename(out, a[0], true) || oom(ctx);
}
bool fnBasename(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    return dirOrBasename(out, a[0], false) || oom(ctx);
}
bool fnNotdir(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    return notdirOrSuffix(out, a[0], false) || oom(ctx);
}
bool fnSuffix(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    return notdirOrSuffix(out, a[0], true) || oom(ctx);
}

bool fnAddfix(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const& f) {
    bool prefix = f.name[3] == 'p';
    char const* it = a[1].p;
    char const* e = it + a[1].n;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        if (out.len > gmMaxExpand || (prefix && !addSpan(out, a[0])) || !addSpan(out, w) ||
            (!prefix && !addSpan(out, a[0])) || !out.addVal(' '))
            return gmFailGrow(ctx, out, f.name);
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnJoin(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* i1 = a[0].p;
    char const* e1 = i1 + a[0].n;
    char const* i2 = a[1].p;
    char const* e2 = i2 + a[1].n;
    bool any = false;
    for (;;) {
        GmSpan w1, w2;
        bool h1 = gmNextWord(i1, e1, w1), h2 = gmNextWord(i2, e2, w2);
        if (!h1 && !h2) break;
        if ((h1 && !addSpan(out, w1)) || (h2 && !addSpan(out, w2)) || !out.addVal(' '))
            return oom(ctx);
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnWildcard(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    long long at = out.len;
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    GmSpan w;
    while (gmNextWord(it, e, w))
        if (!gmGlobAdd(out, w)) return oom(ctx);
    dropLastBlank(out, out.len > at);
    return true;
}

bool fnRealpath(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    bool any = false;
    GmSpan w;
    CxStr1p in, r;
    while (gmNextWord(it, e, w)) {
        if (!in.setCstr(w.p, w.n)) return oom(ctx);
        if (!fsRealPath(r, in) || !fsaExist(r)) continue;
        if (out.len > gmMaxExpand || !out.addObj(r) || !out.addVal(' '))
            return gmFailGrow(ctx, out, "realpath");
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

// Length of the root of an absolute path ("/" or "C:/"), 0 for a relative one.
long long rootLen(GmSpan p) {
    if (p.n > 0 && (p.p[0] == '/' || p.p[0] == '\\')) return 1;
    if (p.n > 2 && p.p[1] == ':' && (p.p[2] == '/' || p.p[2] == '\\')) return 3;
    return 0;
}

bool isSep(char c) {
    return c == '/' || c == '\\';
}

// GNU make's textual absolute path: "." and ".." resolved, separators
// squeezed, no trailing separator except on the root; links stay.
bool absPathAdd(CxStr1p& out, GmSpan name, CxStr1p const& cwd) {
    long long start = out.len;
    long long root = rootLen(name);
    GmSpan rest = name;
    if (root == 0) {
        if (!out.addObj(cwd)) return false;
        root = rootLen(gmSpanOf(cwd));
        if (root == 0) root = 1;
    } else {
        if (!out.addCstr(name.p, root)) return false;
        rest = GmSpan{name.p + root, name.n - root};
    }
    long long floor = start + root;
    char const* p = rest.p;
    char const* e = rest.p + rest.n;
    while (p < e) {
        while (p < e && isSep(*p))
            ++p;
        char const* c = p;
        while (p < e && !isSep(*p))
            ++p;
        long long n = p - c;
        if (n == 0 || (n == 1 && c[0] == '.')) continue;
        if (n == 2 && c[0] == '.' && c[1] == '.') {
            long long d = out.len;
            if (d > floor) {
                for (--d; d > floor && !isSep(out.data[d - 1]); --d) {
                }
                out.forceLen(d);
            }
            continue;
        }
        if (!isSep(out.last()) && !out.addVal('/')) return false;
        if (!out.addCstr(c, n)) return false;
    }
    if (out.len > floor && isSep(out.last())) out.forceLen(out.len - 1);
    return true;
}

bool fnAbspath(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* it = a[0].p;
    char const* e = it + a[0].n;
    bool any = false;
    GmSpan w;
    CxStr1p cwd;
    while (gmNextWord(it, e, w)) {
        if (cwd.isEmpty() && rootLen(w) == 0 && !fsCwdSet(cwd)) continue;
        if (out.len > gmMaxExpand || !absPathAdd(out, w, cwd) || !out.addVal(' '))
            return gmFailGrow(ctx, out, "abspath");
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

// ---- Conditions and loops (arguments arrive unexpanded)

// The condition's text stripped, then expanded: true when anything is left.
bool condition(bool& truth, CxStr1p& val, GmSpan raw, GmExpandCtx& ctx) {
    val.clear();
    GmSpan t = gmStripSpan(raw);
    if (t.n > 0 && !gmExpandSpan(val, t, ctx)) return false;
    truth = !val.isEmpty();
    return true;
}

bool fnIf(CxStr1p& out, Args a, int n, GmExpandCtx& ctx, GmFunc const&) {
    CxStr1p val;
    bool truth;
    if (!condition(truth, val, a[0], ctx)) return false;
    int pick = truth ? 1 : 2;
    return pick >= n || gmExpandSpan(out, a[pick], ctx);
}

bool fnOr(CxStr1p& out, Args a, int n, GmExpandCtx& ctx, GmFunc const&) {
    CxStr1p val;
    for (int i = 0; i < n; ++i) {
        bool truth;
        if (!condition(truth, val, a[i], ctx)) return false;
        if (truth) return out.addObj(val) || oom(ctx);
    }
    return true;
}

bool fnAnd(CxStr1p& out, Args a, int n, GmExpandCtx& ctx, GmFunc const&) {
    CxStr1p val;
    for (int i = 0; i < n; ++i) {
        bool truth;
        if (!condition(truth, val, a[i], ctx)) return false;
        if (!truth) return true;
    }
    return out.addObj(val) || oom(ctx);
}

// Runs body with a scope of its own in front of the current one.
class LocalScope {
  public:
    GmVars vars;
    explicit LocalScope(GmExpandCtx& c) : ctx(c), saved(c.scope) {
        vars.parent = gmScope(c);
        c.scope = &vars;
    }
    ~LocalScope() { ctx.scope = saved; }

  private:
    GmExpandCtx& ctx;
    GmVars const* saved;
};

bool fnForeach(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    CxStr1p name, list;
    if (!gmExpandSpan(name, a[0], ctx) || !gmExpandSpan(list, a[1], ctx)) return false;
    char const* it = name.c_str();
    GmSpan vn;
    if (!gmNextWord(it, it + name.len, vn)) vn = GmSpan{"", 0};
    CxStr1p key(vn.p, vn.n);
    LocalScope local(ctx);
    GmVar* v = local.vars.set(key, "", GmFlavor::Simple, GmOrigin::Automatic);
    if (!v) return oom(ctx);
    it = list.c_str();
    char const* e = it + list.len;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        if (!v->value.setCstr(w.p, w.n)) return oom(ctx);
        if (!gmExpandSpan(out, a[2], ctx)) return false;
        if (out.len > gmMaxExpand || !out.addVal(' ')) return gmFailGrow(ctx, out, "foreach");
        any = true;
    }
    dropLastBlank(out, any);
    return true;
}

bool fnCall(CxStr1p& out, Args a, int n, GmExpandCtx& ctx, GmFunc const&) {
    GmSpan fname = gmStripSpan(a[0]);
    if (fname.n == 0) return true;
    if (GmFunc const* f = gmFindFunc(fname)) {
        GmSpan none;
        return n > 1 ? gmRunFunc(out, *f, a + 1, n - 1, ctx) : gmRunFunc(out, *f, &none, 0, ctx);
    }
    GmVar* v = nullptr;
    CxStr1p key;
    if (!gmAutoKind(fname)) {
        v = gmLookup(ctx, fname, key);
        if (!v || v->value.isEmpty()) return true;
    }
    // $(0) is the name, $(1)... the arguments; numbers an enclosing call
    // bound beyond ours read as empty.
    LocalScope local(ctx);
    int top = n > ctx.callArgs ? n : ctx.callArgs;
    CxStr1p num;
    for (int i = 0; i < top; ++i) {
        num.clear();
        GmSpan val = i == 0 ? fname : i < n ? a[i] : GmSpan();
        if (!addNum(num, i) ||
            !local.vars.set(num, CxStr1p(val.p, val.n), GmFlavor::Simple, GmOrigin::Automatic))
            return oom(ctx);
    }
    int savedArgs = ctx.callArgs;
    ctx.callArgs = top;
    bool ok;
    if (!v)
        ok = gmRefVar(out, fname, ctx);
    else if (v->flavor == GmFlavor::Simple)
        ok = out.addObj(v->value) || oom(ctx);
    else
        ok = gmExpandValue(out, v, fname, ctx, false); // a function may call itself
    ctx.callArgs = savedArgs;
    return ok;
}

// ---- Variables

bool fnValue(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    if (char k = gmAutoKind(a[0])) {
        if (k == '=') {
            CxStr1p const* v = gmAutoValue(ctx, a[0].p[0]);
            return !v || out.addObj(*v) || oom(ctx);
        }
        bool ok = k == 'D' ? out.addCstr("$(patsubst %/,%,$(dir $") && out.addVal(a[0].p[0]) &&
                                 out.addCstr("))")
                           : out.addCstr("$(notdir $") && out.addVal(a[0].p[0]) && out.addVal(')');
        return ok || oom(ctx);
    }
    CxStr1p key;
    GmVar* v = gmLookup(ctx, a[0], key);
    return !v || out.addObj(v->value) || oom(ctx);
}

bool fnOrigin(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* r;
    if (char k = gmAutoKind(a[0])) {
        r = k != '=' || ctx.autos ? "automatic" : "undefined";
    } else {
        CxStr1p key;
        GmVar* v = gmLookup(ctx, a[0], key);
        r = v ? gmOriginName(v->origin) : "undefined";
    }
    return out.addCstr(r) || oom(ctx);
}

bool fnFlavor(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    char const* r;
    if (char k = gmAutoKind(a[0])) {
        r = k != '=' ? "recursive" : ctx.autos ? "simple" : "undefined";
    } else {
        CxStr1p key;
        GmVar* v = gmLookup(ctx, a[0], key);
        r = !v ? "undefined" : v->flavor == GmFlavor::Simple ? "simple" : "recursive";
    }
    return out.addCstr(r) || oom(ctx);
}

bool fnEval(CxStr1p&, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    if (!ctx.eval) return gmFail(ctx, "$(eval) cannot be used here");
    CxStr1p text(a[0].p, a[0].n);
    ++ctx.evals;
    bool ok = ctx.eval(ctx.reader, text, ctx);
    if (!ok && ctx.err.isEmpty()) ctx.err = "$(eval) failed";
    return ok;
}

// ---- Commands and messages

// Newlines (and CR LF) become blanks; the ones at the end go.
bool foldShellOutput(CxStr1p& out, CxStr1p const& res) {
    long long at = out.len, keep = out.len;
    for (long long i = 0; i < res.len; ++i) {
        char c = res.data[i];
        if (c == 0) break;
        if (c == '\r' && i + 1 < res.len && res.data[i + 1] == '\n') continue;
        if (!out.addVal(c == '\n' ? ' ' : c)) return false;
        if (c != '\n') keep = out.len;
    }
    out.forceLen(keep > at ? keep : at);
    return true;
}

bool fnShell(CxStr1p& out, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    if (!ctx.shell) return gmFail(ctx, "$(shell) cannot be used here");
    CxStr1p cmd(a[0].p, a[0].n), res;
    int status = 0;
    if (!ctx.shell(res, status, cmd)) {
        res.clear();
        if (status == 0) status = 127;
    }
    if (ctx.global) {
        CxStr1p st;
        if (!addNum(st, status) ||
            !ctx.global->set(".SHELLSTATUS", st, GmFlavor::Simple, GmOrigin::Override))
            return oom(ctx);
    }
    return foldShellOutput(out, res) || oom(ctx);
}

bool fnError(CxStr1p&, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    ctx.err.clear();
    if (!ctx.err.addCstr(a[0].p, a[0].n)) ctx.err = "$(error)";
    return false;
}

bool fnWarning(CxStr1p&, Args a, int, GmExpandCtx& ctx, GmFunc const&) {
    fflush(stdout);
    if (!ctx.where.isEmpty()) fprintf(stderr, "%s: ", ctx.where.c_str());
    fwrite(a[0].p, 1, (size_t)a[0].n, stderr);
    fputc('\n', stderr);
    fflush(stderr);
    return true;
}

bool fnInfo(CxStr1p&, Args a, int, GmExpandCtx&, GmFunc const&) {
    fwrite(a[0].p, 1, (size_t)a[0].n, stdout);
    fputc('\n', stdout);
    fflush(stdout); // before any child's output that follows
    return true;
}

// GNU make functions this dialect does not read yet: an error, never silence.
bool fnNotRead(CxStr1p&, Args, int, GmExpandCtx& ctx, GmFunc const& f) {
    ctx.err = "function '";
    ctx.err += f.name;
    ctx.err += "' is not read yet by this dialect";
    return false;
}

// Sorted by name for the binary search.
GmFunc const kFuncs[] = {
    {"abspath", 0, 1, true, fnAbspath},
    {"addprefix", 2, 2, true, fnAddfix},
    {"addsuffix", 2, 2, true, fnAddfix},
    {"and", 1, 0, false, fnAnd},
    {"basename", 0, 1, true, fnBasename},
    {"call", 1, 0, true, fnCall},
    {"dir", 0, 1, true, fnDir},
    {"error", 0, 1, true, fnError},
    {"eval", 0, 1, true, fnEval},
    {"file", 1, 2, false, fnNotRead},
    {"filter", 2, 2, true, fnFilter},
    {"filter-out", 2, 2, true, fnFilter},
    {"findstring", 2, 2, true, fnFindstring},
    {"firstword", 0, 1, true, fnFirstword},
    {"flavor", 0, 1, true, fnFlavor},
    {"foreach", 3, 3, false, fnForeach},
    {"guile", 0, 1, false, fnNotRead},
    {"if", 2, 3, false, fnIf},
    {"info", 0, 1, true, fnInfo},
    {"join", 2, 2, true, fnJoin},
    {"lastword", 0, 1, true, fnLastword},
    {"notdir", 0, 1, true, fnNotdir},
    {"or", 1, 0, false, fnOr},
    {"origin", 0, 1, true, fnOrigin},
    {"patsubst", 3, 3, true, fnPatsubst},
    {"realpath", 0, 1, true, fnRealpath},
    {"shell", 0, 1, true, fnShell},
    {"sort", 0, 1, true, fnSort},
    {"strip", 0, 1, true, fnStrip},
    {"subst", 3, 3, true, fnSubst},
    {"suffix", 0, 1, true, fnSuffix},
    {"value", 0, 1, true, fnValue},
    {"warning", 0, 1, true, fnWarning},
    {"wildcard", 0, 1, true, fnWildcard},
    {"word", 2, 2, true, fnWord},
    {"wordlist", 3, 3, true, fnWordlist},
    {"words", 0, 1, true, fnWords},
};

} // namespace

GmFunc const* gmFindFunc(GmSpan name) {
    long long lo = 0, hi = (long long)(sizeof kFuncs / sizeof kFuncs[0]);
    while (lo < hi) {
        long long mid = (lo + hi) / 2;
        char const* k = kFuncs[mid].name;
        long long kn = (long long)strlen(k);
        long long m = kn < name.n ? kn : name.n;
        int c = memcmp(name.p, k, (size_t)m);
        if (c == 0) c = name.n < kn ? -1 : name.n > kn ? 1 : 0;
        if (c == 0) return &kFuncs[mid];
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return nullptr;
}

bool gmRunFunc(CxStr1p& out, GmFunc const& f, GmSpan const* args, int n, GmExpandCtx& ctx) {
    if (n < f.minArgs) {
        ctx.err = "insufficient number of arguments (";
        addNum(ctx.err, n);
        ctx.err += ") to function '";
        ctx.err += f.name;
        ctx.err += "'";
        return false;
    }
    // Functions read at least one argument; $(call NAME) passes none.
    GmSpan none[1];
    return f.fn(out, n > 0 ? args : none, n > 0 ? n : 1, ctx, f);
}

bool gmDirAdd(CxStr1p& out, GmSpan text) {
    return dirOrBasename(out, text, true);
}

bool gmNotdirAdd(CxStr1p& out, GmSpan text) {
    return notdirOrSuffix(out, text, false);
}

// ---- Globbing

namespace {

bool hasMeta(GmSpan s) {
    for (long long i = 0; i < s.n; ++i) {
        if (s.p[i] == '\\') {
            ++i;
            continue;
        }
        if (s.p[i] == '*' || s.p[i] == '?' || s.p[i] == '[') return true;
    }
    return false;
}

bool addUnescaped(CxStr1p& out, GmSpan s) {
    for (long long i = 0; i < s.n; ++i) {
        if (s.p[i] == '\\' && i + 1 < s.n) ++i;
        if (!out.addVal(s.p[i])) return false;
    }
    return true;
}

// "[...]" at pat[i]: 1 matched (i moves past it), 0 not, -1 no closing "]".
int matchClass(GmSpan pat, long long& i, unsigned char c) {
    long long j = i + 1;
    bool neg = j < pat.n && (pat.p[j] == '!' || pat.p[j] == '^');
    if (neg) ++j;
    bool hit = false;
    for (bool first = true;; first = false) {
        if (j >= pat.n) return -1;
        unsigned char lo = (unsigned char)pat.p[j];
        if (lo == ']' && !first) break;
        if (lo == '\\' && j + 1 < pat.n) lo = (unsigned char)pat.p[++j];
        ++j;
        unsigned char hi = lo;
        if (j + 1 < pat.n && pat.p[j] == '-' && pat.p[j + 1] != ']') {
            hi = (unsigned char)pat.p[j + 1];
            j += 2;
            if (hi == '\\' && j < pat.n) hi = (unsigned char)pat.p[j++];
        }
        if (c >= lo && c <= hi) hit = true;
    }
    i = j + 1;
    return hit != neg ? 1 : 0;
}

} // namespace

bool gmGlobMatch(GmSpan pat, GmSpan name) {
    // A leading "." is only matched by a "." written as such.
    if (name.n > 0 && name.p[0] == '.') {
        bool lit =
            (pat.n > 0 && pat.p[0] == '.') || (pat.n > 1 && pat.p[0] == '\\' && pat.p[1] == '.');
        if (!lit) return false;
    }
    long long pi = 0, ni = 0, starP = -1, starN = 0;
    while (ni < name.n) {
        if (pi < pat.n) {
            char c = pat.p[pi];
            if (c == '*') {
                starP = ++pi;
                starN = ni;
                continue;
            }
            if (c == '?') {
                ++pi;
                ++ni;
                continue;
            }
            int r = -1;
            if (c == '[') {
                long long j = pi;
                r = matchClass(pat, j, (unsigned char)name.p[ni]);
                if (r == 1) {
                    pi = j;
                    ++ni;
                    continue;
                }
            }
            if (r == -1) {
                long long step = 1;
                if (c == '\\' && pi + 1 < pat.n) {
                    c = pat.p[pi + 1];
                    step = 2;
                }
                if (c == name.p[ni]) {
                    pi += step;
                    ++ni;
                    continue;
                }
            }
        }
        if (starP < 0) return false;
        pi = starP;
        ni = ++starN;
    }
    while (pi < pat.n && pat.p[pi] == '*')
        ++pi;
    return pi == pat.n;
}

bool gmGlobAdd(CxStr1p& out, GmSpan pattern) {
    char const* s = pattern.p;
    char const* e = s + pattern.n;
    char const* i = s;
    while (i < e && *i == '/')
        ++i;
    StrVect cur, next;
    if (!cur.addVal(CxStr1p(s, i - s))) return false;
    bool mustCheck = true; // the last components were plain names
    CxStr1p name, cand;
    while (i < e && cur.count > 0) {
        char const* ce = i;
        while (ce < e && *ce != '/')
            ++ce;
        char const* se = ce;
        while (se < e && *se == '/')
            ++se;
        GmSpan comp{i, ce - i}, seps{ce, se - ce};
        bool needDir = se < e || seps.n > 0;
        if (hasMeta(comp)) {
            next.clear();
            for (CxStr1p const& pre : cur) {
                FsDir d;
                if (!d.open(pre.isEmpty() ? CxStr1p(".") : pre)) continue;
                while (d.nextInDir(name, true)) {
                    if (!gmGlobMatch(comp, gmSpanOf(name))) continue;
                    if (!cand.setObj(pre) || !cand.addObj(name)) return false;
                    if (needDir && !fsaIsDir(cand)) continue;
                    if (!addSpan(cand, seps) || !next.addVal(cand)) return false;
                }
            }
            cur.swap(next);
            mustCheck = false;
        } else {
            for (CxStr1p& pre : cur)
                if (!addUnescaped(pre, comp) || !addSpan(pre, seps)) return false;
            mustCheck = true;
        }
        i = se;
    }
    std::sort(cur.begin(), cur.end());
    for (CxStr1p const& p : cur) {
        if (mustCheck && !fsbExist(p)) continue;
        if (!out.addObj(p) || !out.addVal(' ')) return false;
    }
    return true;
}
