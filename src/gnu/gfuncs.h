// Shared between the expander's scanner and its built-in functions: text
// spans, word walking, variable lookup with the automatic variables, the
// pattern substitution both "$(patsubst)" and "$(v:a=b)" use, and the function
// table. Private to src/gnu.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "gnu/gexpand.h"

struct GmSpan {
    char const* p = nullptr;
    long long n = 0;
};

inline bool gmIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Next blank-separated word at or after it; false when none is left.
inline bool gmNextWord(char const*& it, char const* end, GmSpan& w) {
    while (it < end && gmIsSpace(*it))
        ++it;
    if (it >= end) return false;
    w.p = it;
    while (it < end && !gmIsSpace(*it))
        ++it;
    w.n = it - w.p;
    return true;
}

inline GmSpan gmSpanOf(CxStr1p const& s) {
    return GmSpan{s.c_str(), s.len};
}

// Leading and trailing blanks removed.
GmSpan gmStripSpan(GmSpan s);

// Fatal error text into ctx.err; always false so callers can return it.
bool gmFail(GmExpandCtx& ctx, char const* a, GmSpan b = GmSpan(), char const* c = nullptr);

// No expansion may grow past this (64 MiB): a few lines that each double a
// variable would otherwise take all memory. The fuzz target lowers it so that
// inputs reaching it stay fast under its sanitizers.
extern long long gmMaxExpand;
// References one expansion of a Makefile line may make; 0: no limit, as GNU
// make has none. The fuzz target sets one, so that an expansion that takes
// exponential time ends as an error, not as a time-out.
extern long long gmMaxRefs;
// Fatal "expansion of 'what' is too large"; always false.
bool gmFailLarge(GmExpandCtx& ctx, GmSpan what);
// After an append failed: too large when out grew past the limit, else out of
// memory; always false.
bool gmFailGrow(GmExpandCtx& ctx, CxStr1p const& out, char const* what);

// Expansion of a span, appended to out.
bool gmExpandSpan(CxStr1p& out, GmSpan text, GmExpandCtx& ctx);

// The scope lookups start from.
inline GmVars const* gmScope(GmExpandCtx const& ctx) {
    return ctx.scope ? ctx.scope : ctx.global;
}

// "@", "<", "^", "+", "?", "*", "|", "%" and their D/F forms: 0 when the name
// is not one, else the letter ('D', 'F' or '=' for the plain one).
char gmAutoKind(GmSpan name);
// The plain automatic value for its first character (empty outside recipes).
CxStr1p const* gmAutoValue(GmExpandCtx const& ctx, char c);
// A variable other than the automatic ones; key is scratch for the lookup.
GmVar* gmLookup(GmExpandCtx const& ctx, GmSpan name, CxStr1p& key);
// What $(name) gives, appended to out.
bool gmRefVar(CxStr1p& out, GmSpan name, GmExpandCtx& ctx);
// The value of a recursive variable expanded, without the check for being
// expanded already ($(call) may recurse).
bool gmExpandValue(CxStr1p& out, GmVar* v, GmSpan name, GmExpandCtx& ctx, bool checkBusy);

// Finds the first "%" not quoted by a backslash and removes the quoting
// backslashes in front of the "%" signs up to it; -1 when there is none.
long long gmFindPercent(CxStr1p& s);
// Pattern substitution over the words of text with pattern/replacement as
// gmFindPercent left them (pct/rpct: their "%" or -1).
bool gmPatsubst(CxStr1p& out, GmSpan text, GmSpan pat, long long pct, GmSpan rep, long long rpct);
// pat matches the whole word (pct as above).
bool gmPatMatch(GmSpan pat, long long pct, GmSpan word);

// $(dir) and $(notdir) of a word list, appended to out.
bool gmDirAdd(CxStr1p& out, GmSpan text);
bool gmNotdirAdd(CxStr1p& out, GmSpan text);

// ---- Function table
struct GmFunc;
typedef bool (*GmFuncFn)(CxStr1p& out, GmSpan const* args, int n, GmExpandCtx& ctx,
                         GmFunc const& f);
struct GmFunc {
    char const* name;
    int minArgs;
    int maxArgs;     // 0: no limit; the last argument takes the rest
    bool expandArgs; // false: the function expands (some of) them itself
    GmFuncFn fn;
};
// The built-in function of exactly that name; null when none.
GmFunc const* gmFindFunc(GmSpan name);
// Runs f on n arguments (expanded already when f.expandArgs).
bool gmRunFunc(CxStr1p& out, GmFunc const& f, GmSpan const* args, int n, GmExpandCtx& ctx);

// ---- Globbing for $(wildcard): sorted matches of one pattern, appended as
// words (each followed by a blank).
bool gmGlobAdd(CxStr1p& out, GmSpan pattern);
// fnmatch of one name against one pattern component ("*", "?", "[...]",
// backslash quotes; a leading "." only matches a literal one).
bool gmGlobMatch(GmSpan pat, GmSpan name);
