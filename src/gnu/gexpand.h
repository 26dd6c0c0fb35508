// Expansion of GNU make text: $(name), ${name}, $x, $$, nested references,
// substitution references, the built-in functions and automatic variables.
#pragma once

#include "base/str.h"
#include "gnu/gvars.h"

// The automatic variables of the goal whose recipe is being expanded.
struct GmAuto {
    CxStr1p at;        // $@
    CxStr1p first;     // $<
    CxStr1p all;       // $^ (duplicates removed)
    CxStr1p allDup;    // $+ (as written)
    CxStr1p newer;     // $?
    CxStr1p stem;      // $*
    CxStr1p orderOnly; // $|
    CxStr1p member;    // $%
};

// Runs a command through the platform's interpreter for $(shell) and "!=";
// out gets its standard output as it is, status its exit code.
typedef bool (*GmShellFn)(CxStr1p& out, int& status, CxStr1p const& cmd);
// Reads text as Makefile lines for $(eval); false after a fatal error (set in
// the context's err).
struct GmExpandCtx;
typedef bool (*GmEvalFn)(void* reader, CxStr1p const& text, GmExpandCtx& ctx);

struct GmExpandCtx {
    GmVars* global = nullptr;      // the file's variables
    GmVars const* scope = nullptr; // innermost scope (chains to global); null: global
    GmAuto const* autos = nullptr; // set while a recipe is expanded
    GmShellFn shell = nullptr;
    GmEvalFn eval = nullptr;
    void* reader = nullptr;     // handed to eval
    CxStr1p where;              // "Makefile:12", for messages
    CxStr1p err;                // fatal error text, without "*** " and ".  Stop."
    int depth = 0;              // nesting, to stop runaway recursion
    int callArgs = 0;           // arguments of the innermost $(call): fewer hide the rest
    long long evals = 0;        // $(eval) calls so far: variables may have changed
    bool warnUndefined = false; // a reference to an undefined variable is warned about
};

// Appends the expansion of text to out. False on a fatal error, described in
// ctx.err (e.g. "Recursive variable 'X' references itself (eventually)").
bool gmExpandAdd(CxStr1p& out, CxStr1p const& text, GmExpandCtx& ctx);
// out = expansion of text.
bool gmExpand(CxStr1p& out, CxStr1p const& text, GmExpandCtx& ctx);
// The value of a variable as a reference to it gives it (recursive ones
// expanded, simple ones as stored); empty for an undefined name.
bool gmExpandVar(CxStr1p& out, CxStr1p const& name, GmExpandCtx& ctx);
