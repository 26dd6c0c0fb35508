// The scanner: one pass over the text, copying plain runs whole and
// dispatching on "$". Names are looked up as spans of the text; only names
// that hold references themselves are expanded into a buffer first.
#include "gnu/gexpand.h"

#include <cstring>

#include "app/log.h"
#include "base/textedit.h"
#include "gnu/gfuncs.h"

namespace {

// A level costs under 1 KB of stack; this keeps a runaway recursion inside a
// 1 MB stack and still lets a recursive $(call) walk a list of 400 words.
int const kMaxDepth = 800;

// References made since the outermost expansion began, against gmMaxRefs.
thread_local long long tRefs = 0;

// A few spans inline, more on the heap: most functions take one to three
// arguments.
class SpanList {
  public:
    bool add(GmSpan s) {
        if (n < kInline) {
            fixed[n++] = s;
            return true;
        }
        if (n == kInline)
            for (int i = 0; i < kInline; ++i)
                if (!more.addVal(fixed[i])) return false;
        if (!more.addVal(s)) return false;
        ++n;
        return true;
    }
    GmSpan* data() { return n <= kInline ? fixed : more.data; }
    int count() const { return n; }

  private:
    static int const kInline = 4;
    GmSpan fixed[kInline];
    Vect1p_Vobj<GmSpan> more;
    int n = 0;
};

bool oom(GmExpandCtx& ctx) {
    return gmFail(ctx, "out of memory while expanding");
}

bool isFuncNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// The automatic variables' D form is $(patsubst %/,%,$(dir X)), F is $(notdir X).
[[gnu::noinline]] bool refAuto(CxStr1p& out, GmSpan name, char kind, GmExpandCtx& ctx) {
    CxStr1p const* v = gmAutoValue(ctx, name.p[0]);
    if (!v || v->isEmpty()) return true;
    if (kind == '=') return out.addObj(*v) || oom(ctx);
    if (kind == 'F') return gmNotdirAdd(out, gmSpanOf(*v)) || oom(ctx);
    CxStr1p dirs;
    if (!gmDirAdd(dirs, gmSpanOf(*v))) return oom(ctx);
    return gmPatsubst(out, gmSpanOf(dirs), GmSpan{"%/", 2}, 0, GmSpan{"%", 1}, 0) ||
           gmFailGrow(ctx, out, "dir");
}

// $(var:pat=rep): pat without "%" matches word ends. Kept out of line so its
// buffers do not weigh on every level of a deep recursion.
[[gnu::noinline]] bool substRef(CxStr1p& out, GmSpan var, GmSpan pat, GmSpan rep,
                                GmExpandCtx& ctx) {
    CxStr1p val;
    GmSpan text;
    if (char k = gmAutoKind(var)) {
        if (!refAuto(val, var, k, ctx)) return false;
        text = gmSpanOf(val);
    } else {
        CxStr1p key;
        GmVar* v = gmLookup(ctx, var, key);
        if (!v || v->value.isEmpty()) return true;
        if (v->flavor == GmFlavor::Simple) {
            text = gmSpanOf(v->value);
        } else {
            if (!gmExpandValue(val, v, var, ctx, true)) return false;
            text = gmSpanOf(val);
        }
    }
    CxStr1p p(pat.p, pat.n), r(rep.p, rep.n);
    if (p.len != pat.n || r.len != rep.n) return oom(ctx);
    long long pct = gmFindPercent(p);
    if (pct >= 0) {
        long long rpct = gmFindPercent(r);
        return gmPatsubst(out, text, gmSpanOf(p), pct, gmSpanOf(r), rpct) ||
               gmFailGrow(ctx, out, "patsubst");
    }
    CxStr1p p2("%"), r2("%");
    if (!p2.addObj(p) || !r2.addObj(r)) return oom(ctx);
    return gmPatsubst(out, text, gmSpanOf(p2), 0, gmSpanOf(r2), 0) ||
           gmFailGrow(ctx, out, "patsubst");
}

// All arguments expand into one buffer; the spans are fixed up after, as the
// buffer may move while it grows. The raw spans are rewritten in place.
bool runExpanded(CxStr1p& out, GmFunc const& f, SpanList& args, GmExpandCtx& ctx) {
    CxStr1p buf;
    GmSpan* a = args.data();
    for (int i = 0; i < args.count(); ++i) {
        long long at = buf.len;
        if (!gmExpandSpan(buf, a[i], ctx)) return false;
        a[i].n = buf.len - at;
    }
    char const* base = buf.c_str();
    for (int i = 0; i < args.count(); ++i) {
        a[i].p = base;
        base += a[i].n;
    }
    return gmRunFunc(out, f, a, args.count(), ctx);
}

// A function call; q is the end of its name. On return p is past the call.
bool callFromText(CxStr1p& out, GmFunc const& f, char const*& p, char const* q, char const* e,
                  GmExpandCtx& ctx) {
    char open = *p, close = open == '(' ? ')' : '}';
    char const* start = q;
    while (start < e && gmIsSpace(*start))
        ++start;
    // Only the call's own kind of parenthesis nests; a comma inside the
    // other kind still separates arguments, as GNU make has it.
    SpanList raw;
    int count = 0;
    char const* r = start;
    for (; r < e; ++r) {
        char c = *r;
        if (c == open) {
            ++count;
        } else if (c == close) {
            if (--count < 0) break;
        } else if (c == ',' && count == 0 && (f.maxArgs == 0 || raw.count() + 1 < f.maxArgs)) {
            if (!raw.add(GmSpan{start, r - start})) return oom(ctx);
            start = r + 1;
        }
    }
    if (r >= e) {
        ctx.err = "unterminated call to function '";
        ctx.err += f.name;
        ctx.err += "': missing '";
        ctx.err += close;
        ctx.err += "'";
        return false;
    }
    if (!raw.add(GmSpan{start, r - start})) return oom(ctx);
    p = r + 1;
    if (!f.expandArgs) return gmRunFunc(out, f, raw.data(), raw.count(), ctx);
    return runExpanded(out, f, raw, ctx);
}

// "$(" or "${" at p; on return p is past the reference.
bool expandRef(CxStr1p& out, char const*& p, char const* e, GmExpandCtx& ctx) {
    char open = *p, close = open == '(' ? ')' : '}';
    char const* beg = p + 1;
    char const* q = beg;
    while (q < e && isFuncNameChar(*q))
        ++q;
    if (q > beg && (q == e || gmIsSpace(*q)))
        if (GmFunc const* f = gmFindFunc(GmSpan{beg, q - beg}))
            return callFromText(out, *f, p, q, e, ctx);

    char const* end = (char const*)memchr(beg, close, (size_t)(e - beg));
    if (!end) return gmFail(ctx, "unterminated variable reference");
    GmSpan name{beg, end - beg};
    CxStr1p nameBuf;
    if (memchr(beg, '$', (size_t)(end - beg))) {
        int count = 0;
        char const* r = beg;
        for (; r < e; ++r) {
            if (*r == open)
                ++count;
            else if (*r == close && --count < 0)
                break;
        }
        if (r < e) {
            if (!gmExpandSpan(nameBuf, GmSpan{beg, r - beg}, ctx)) return false;
            name = gmSpanOf(nameBuf);
            p = r + 1;
        } else {
            // Unbalanced: GNU make takes the text up to the first closing
            // parenthesis as the name and drops the rest of the line.
            p = e;
        }
    } else {
        p = end + 1;
    }
    if (char const* colon = (char const*)memchr(name.p, ':', (size_t)name.n)) {
        char const* ne = name.p + name.n;
        if (char const* eq = (char const*)memchr(colon + 1, '=', (size_t)(ne - colon - 1)))
            return substRef(out, GmSpan{name.p, colon - name.p}, GmSpan{colon + 1, eq - colon - 1},
                            GmSpan{eq + 1, ne - eq - 1}, ctx);
    }
    return gmRefVar(out, name, ctx);
}

// What a reference at p (just past its "$") is called in messages: the
// variable's or function's name, cut short.
GmSpan refName(char const* p, char const* e) {
    if (*p != '(' && *p != '{') return GmSpan{p, 1};
    char const* s = p + 1;
    char const* q = s;
    while (q < e && q - s < 40 && !gmIsSpace(*q) && !strchr("(){}:,", *q))
        ++q;
    return GmSpan{s, q - s};
}

char const kLargeHead[] = "expansion of '";
char const kLargeTail[] = "' is too large";

bool isLargeErr(CxStr1p const& err) {
    long long h = sizeof kLargeHead - 1, t = sizeof kLargeTail - 1;
    return err.len >= h + t && memcmp(err.c_str(), kLargeHead, (size_t)h) == 0 &&
           memcmp(err.c_str() + err.len - t, kLargeTail, (size_t)t) == 0;
}

bool scanText(CxStr1p& out, char const* p, char const* e, char const* d, GmExpandCtx& ctx) {
    for (;;) {
        if (d > p && !out.addCstr(p, d - p)) return oom(ctx);
        p = d + 1;
        if (p >= e) return out.addVal('$') || oom(ctx); // a "$" ending the text stays
        char c = *p;
        char const* at = p;
        bool ok = true;
        if (gmMaxRefs > 0 && ++tRefs > gmMaxRefs)
            return gmFail(ctx, "expansion makes too many references (endless recursion?)");
        if (c == '$') {
            if (!out.addVal('$')) return oom(ctx);
            ++p;
        } else if (c == '(' || c == '{') {
            ok = expandRef(out, p, e, ctx);
        } else {
            ok = gmRefVar(out, GmSpan{p, 1}, ctx);
            ++p;
        }
        // The outermost reference names the expansion that grew too large.
        if ((!ok && isLargeErr(ctx.err)) || (ok && out.len > gmMaxExpand))
            return gmFailLarge(ctx, refName(at, e));
        if (!ok) return false;
        if (p >= e) return true;
        d = (char const*)memchr(p, '$', (size_t)(e - p));
        if (!d) return out.addCstr(p, e - p) || oom(ctx);
    }
}

} // namespace

GmSpan gmStripSpan(GmSpan s) {
    while (s.n > 0 && gmIsSpace(*s.p)) {
        ++s.p;
        --s.n;
    }
    while (s.n > 0 && gmIsSpace(s.p[s.n - 1]))
        --s.n;
    return s;
}

bool gmFail(GmExpandCtx& ctx, char const* a, GmSpan b, char const* c) {
    ctx.err = a;
    if (b.n > 0) ctx.err.addCstr(b.p, b.n);
    if (c) ctx.err += c;
    return false;
}

long long gmMaxExpand = 64LL << 20;
long long gmMaxRefs = 0;

bool gmFailLarge(GmExpandCtx& ctx, GmSpan what) {
    CxStr1p name(what.p, what.n); // what may point into ctx.err
    return gmFail(ctx, kLargeHead, gmSpanOf(name), kLargeTail);
}

bool gmFailGrow(GmExpandCtx& ctx, CxStr1p const& out, char const* what) {
    if (out.len > gmMaxExpand) return gmFailLarge(ctx, GmSpan{what, (long long)strlen(what)});
    return oom(ctx);
}

bool gmExpandSpan(CxStr1p& out, GmSpan text, GmExpandCtx& ctx) {
    if (text.n <= 0) return true;
    char const* d = (char const*)memchr(text.p, '$', (size_t)text.n);
    if (!d) return out.addCstr(text.p, text.n) || oom(ctx);
    if (ctx.depth >= kMaxDepth)
        return gmFail(ctx, "expansion nested too deeply (endless recursion?)");
    if (ctx.depth == 0) tRefs = 0;
    ++ctx.depth;
    bool ok = scanText(out, text.p, text.p + text.n, d, ctx);
    --ctx.depth;
    return ok;
}

char gmAutoKind(GmSpan name) {
    if (name.n < 1 || name.n > 2 || !strchr("@<^+?*|%", name.p[0]) || !name.p[0]) return 0;
    if (name.n == 1) return '=';
    return name.p[1] == 'D' || name.p[1] == 'F' ? name.p[1] : 0;
}

CxStr1p const* gmAutoValue(GmExpandCtx const& ctx, char c) {
    GmAuto const* a = ctx.autos;
    if (!a) return nullptr;
    switch (c) {
    case '@':
        return &a->at;
    case '<':
        return &a->first;
    case '^':
        return &a->all;
    case '+':
        return &a->allDup;
    case '?':
        return &a->newer;
    case '*':
        return &a->stem;
    case '|':
        return &a->orderOnly;
    case '%':
        return &a->member;
    }
    return nullptr;
}

GmVar* gmLookup(GmExpandCtx const& ctx, GmSpan name, CxStr1p& key) {
    GmVars const* s = gmScope(ctx);
    if (!s || !key.setCstr(name.p, name.n) || key.len != name.n) return nullptr;
    GmVar* v = s->find(key);
    if (v || key != ".VARIABLES" || !ctx.global) return v;
    // Computed when used: the names of the file's variables.
    static thread_local GmVar names;
    names.value.clear();
    names.flavor = GmFlavor::Simple;
    names.origin = GmOrigin::Default;
    for (auto& n : ctx.global->map)
        if (n.val.origin != GmOrigin::Undefined) strJoinSPC(names.value, n.key);
    return &names;
}

bool gmExpandValue(CxStr1p& out, GmVar* v, GmSpan name, GmExpandCtx& ctx, bool checkBusy) {
    if (!memchr(v->value.c_str(), '$', (size_t)v->value.len))
        return out.addObj(v->value) || oom(ctx);
    if (checkBusy && v->busy) {
        ctx.err = "Recursive variable '";
        ctx.err.addCstr(name.p, name.n);
        ctx.err += "' references itself (eventually)";
        return false;
    }
    // A copy: an $(eval) inside may assign the variable while its text is read.
    CxStr1p text(v->value);
    if (text.len != v->value.len) return oom(ctx);
    bool was = v->busy;
    long long evals = ctx.evals;
    v->busy = true;
    bool ok = gmExpandSpan(out, gmSpanOf(text), ctx);
    if (ctx.evals != evals) {
        CxStr1p key;
        v = gmLookup(ctx, name, key); // it may be gone or replaced
    }
    if (v) v->busy = was;
    return ok;
}

bool gmRefVar(CxStr1p& out, GmSpan name, GmExpandCtx& ctx) {
    if (char k = gmAutoKind(name)) return refAuto(out, name, k, ctx);
    CxStr1p key;
    GmVar* v = gmLookup(ctx, name, key);
    if (ctx.warnUndefined && (!v || v->origin == GmOrigin::Undefined))
        logPrint(1, "%s: warning: undefined variable '%.*s'", ctx.where.c_str(), (int)name.n,
                 name.p);
    if (!v || v->value.isEmpty()) return true;
    if (v->flavor == GmFlavor::Simple) return out.addObj(v->value) || oom(ctx);
    return gmExpandValue(out, v, name, ctx, true);
}

long long gmFindPercent(CxStr1p& s) {
    for (long long i = 0; i < s.len; ++i) {
        if (s.data[i] != '%') continue;
        long long k = 0;
        while (i - k - 1 >= 0 && s.data[i - k - 1] == '\\')
            ++k;
        if (k == 0) return i;
        // k backslashes become k / 2; an odd one left over quotes the "%".
        long long drop = k - k / 2;
        s.delSpan(i - k, drop);
        i -= drop;
        if (k % 2 == 0) return i;
    }
    return -1;
}

bool gmPatMatch(GmSpan pat, long long pct, GmSpan w) {
    if (pct < 0) return w.n == pat.n && memcmp(w.p, pat.p, (size_t)w.n) == 0;
    long long post = pat.n - pct - 1;
    return w.n >= pct + post && memcmp(w.p, pat.p, (size_t)pct) == 0 &&
           memcmp(w.p + w.n - post, pat.p + pct + 1, (size_t)post) == 0;
}

namespace {

bool spanIsAt(char const* t, char const* e, GmSpan s) {
    return e - t >= s.n && memcmp(t, s.p, (size_t)s.n) == 0;
}

// Replaces whole words equal to pat, keeping the blanks between words as
// they are. An empty pat matches the end of the text only.
bool substWords(CxStr1p& out, GmSpan text, GmSpan pat, GmSpan rep) {
    char const* t = text.p;
    char const* e = text.p + text.n;
    do {
        char const* m;
        if (pat.n == 0) {
            m = t;
            while (m < e && gmIsSpace(*m))
                ++m;
            while (m < e && !gmIsSpace(*m))
                ++m;
        } else {
            m = t;
            while (m < e && !spanIsAt(m, e, pat))
                ++m;
            if (m >= e) return out.addCstr(t, e - t);
        }
        if (out.len > gmMaxExpand || (m > t && !out.addCstr(t, m - t))) return false;
        bool struck = (m > text.p && !gmIsSpace(m[-1])) || (m + pat.n < e && !gmIsSpace(m[pat.n]));
        if (struck) {
            if (!out.addCstr(pat.p, pat.n)) return false;
        } else if (rep.n > 0 && !out.addCstr(rep.p, rep.n)) {
            return false;
        }
        t = m + pat.n;
    } while (t < e);
    return true;
}

} // namespace

bool gmPatsubst(CxStr1p& out, GmSpan text, GmSpan pat, long long pct, GmSpan rep, long long rpct) {
    if (pct < 0) return substWords(out, text, pat, rep);
    long long pre = pct, post = pat.n - pct - 1;
    long long rpre = rpct >= 0 ? rpct : rep.n;
    long long rpost = rpct >= 0 ? rep.n - rpct - 1 : 0;
    char const* it = text.p;
    char const* e = text.p + text.n;
    bool any = false;
    GmSpan w;
    while (gmNextWord(it, e, w)) {
        if (out.len > gmMaxExpand) return false;
        bool match = gmPatMatch(pat, pct, w);
        if (!match) {
            if (!out.addCstr(w.p, w.n)) return false;
        } else {
            if (rpre > 0 && !out.addCstr(rep.p, rpre)) return false;
            if (rpct >= 0) {
                if (!out.addCstr(w.p + pre, w.n - pre - post)) return false;
                if (rpost > 0 && !out.addCstr(rep.p + rpct + 1, rpost)) return false;
            }
        }
        // No blank after a word replaced by nothing (GNU make's rule).
        if (!match || rpre > 0 || rpct >= 0) {
            if (!out.addVal(' ')) return false;
            any = true;
        }
    }
    if (any) out.forceLen(out.len - 1);
    return true;
}

bool gmExpandAdd(CxStr1p& out, CxStr1p const& text, GmExpandCtx& ctx) {
    return gmExpandSpan(out, gmSpanOf(text), ctx);
}

bool gmExpand(CxStr1p& out, CxStr1p const& text, GmExpandCtx& ctx) {
    out.clear();
    return gmExpandAdd(out, text, ctx);
}

bool gmExpandVar(CxStr1p& out, CxStr1p const& name, GmExpandCtx& ctx) {
    out.clear();
    return gmRefVar(out, gmSpanOf(name), ctx);
}
