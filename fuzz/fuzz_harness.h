// The calls the fuzz targets make for one input, shared with the regression
// tests so that a saved crash input replays through exactly the same path.
// The caller chooses the working directory and where standard output goes.
#pragma once

#include "app/args.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/containers.h"
#include "base/fs.h"
#include "base/str.h"
#include "base/tokens.h"
#include "graph/deps.h"
#include "graph/goals.h"
#include "graph/print.h"
#include "gnu/gfuncs.h"
#include "gnu/greader.h"
#include "rules/eval.h"
#include "rules/lineparse.h"

// Small rules files the fuzzed texts may include.
inline char const* fuzzIncludeA() {
    return "A = 1\na: b c\n\techo a\n-include b.vorn\n";
}
inline char const* fuzzIncludeB() {
    return "B += $(A) x\nb: | c\n.DEFAULT_GOAL := b\n";
}

// Marks as done the in-rules commands that would run a shell, change the
// directory or grow the process environment, so an input cannot do any of it.
inline bool fuzzLineHook(LineParts& parts, EnvMap&, CxStr1p const&, CxStr1p*) {
    if (!(parts.op == "cmd")) return true;
    static char const* const blocked[] = {"run",   "runOk",  "cd",
                                          "chdir", "export", "envVarsClearExcept"};
    for (char const* word : blocked) {
        if (parts.name == word) {
            parts.isEvalDone = true;
            parts.isEvalOk = true;
            break;
        }
    }
    return true;
}

struct FuzzRulesResult {
    bool evalOk = false;
    bool depsOk = false;
    bool listedD = false;
    bool listedR = false;
    long long goals = 0;
    CxStr1p err;
};

// Evaluates text as a rules file, prepares the graph when that succeeded and
// prints both listings; the results are read back before Vars goes away.
// A first line "#" followed by letters turns on graph options that change the
// preparation: "d" the deps trace (which builds the closure), "c" and "e" the
// "--DC" letters. The evaluator itself passes over that comment line.
inline FuzzRulesResult fuzzRunRules(CxStr1p const& text) {
    FuzzRulesResult r;
    Vars vars;
    char const* p = text.c_str();
    if (*p == '#') {
        for (++p; *p && *p != '\n' && *p != '\r'; ++p) {
            if (*p == 'd') vars.conf.dbgDeps = true;
            if ((*p == 'c' || *p == 'e') && !vars.conf.dcLetters.addVal(*p)) return r;
        }
    }
    evalTextMakeInitFns(addGoalDeps, addGoalHowCmd, setGoalDefault);
    StrVect includeStack, evaluated;
    r.evalOk = evalTextMake(text, vars.envMap, "make", fuzzLineHook, &r.err, "", "fuzz.vorn",
                            &includeStack, &evaluated);
    if (r.evalOk) r.depsOk = depsAllSteps();
    r.listedD = echoGoalsDeps('D');
    r.listedR = echoGoalsDeps('R');
    r.goals = vars.goalRules.size();
    return r;
}

struct FuzzArgsResult {
    bool expandOk = false;
    bool applyOk = false;
    long long count = 0;
    Conf conf;
};

// Expands text as a command line and applies it to a fresh configuration.
inline FuzzArgsResult fuzzRunArgs(CxStr1p const& text) {
    FuzzArgsResult r;
    Vars vars;
    CxStr1p list;
    r.expandOk = initArgsTextFromList(list, text, "");
    if (r.expandOk) {
        r.count = countArgsText(list);
        r.applyOk = args2Conf(list);
    }
    r.conf = vars.conf;
    return r;
}

// Makefiles the fuzzed GNU make texts may include; loop.mk includes itself.
inline char const* fuzzGnuIncludeA() {
    return "A = 1\nV += a $(A)\na: b c\n\techo $(A) $@\n-include b.mk\n";
}
inline char const* fuzzGnuIncludeB() {
    return "B := $(A) x\nb: | c\n.DEFAULT_GOAL := b\n";
}
inline char const* fuzzGnuIncludeLoop() {
    return "L += x\ninclude loop.mk\n";
}

// $(shell) and "!=" run nothing: empty output, status 0.
inline bool fuzzGnuShell(CxStr1p& out, int& status, CxStr1p const&) {
    out.clear();
    status = 0;
    return true;
}
inline bool fuzzGnuDeps(CxStr1p const&, CxStr1p const&) {
    return true;
}
inline bool fuzzGnuList(CxStr1p const&) {
    return true;
}

// Lower limits than a real run's, reached by the same checks: an expansion
// that grows without bound stops at 1 MiB instead of 64 MiB, one that takes
// exponential time (GNU make's too) after half a million references.
inline void fuzzGnuLimits() {
    gmMaxExpand = 1LL << 20;
    gmMaxRefs = 1LL << 19;
}

struct FuzzGnuResult {
    bool ok = false;
    long long goals = 0;
    CxStr1p err;
};

// Reads text as the Makefile in the working directory. A first line "#:"
// followed by words gives the command line (goals and VAR=value); the reader
// passes over it as a comment. Exported variables reach no environment.
inline FuzzGnuResult fuzzRunGnu(CxStr1p const& text) {
    FuzzGnuResult r;
    GmReadIn in;
    in.file = "Makefile";
    in.text = text;
    in.makeCmd = "vorn --gm";
    in.curDir = fsCwd();
    char const* p = text.c_str();
    if (p[0] == '#' && p[1] == ':') {
        char const* e = p + 2;
        while (*e && *e != '\n')
            ++e;
        CxStr1p line(p + 2, e - p - 2), w;
        long long pos = 0;
        while (strToken(w, pos, line, " \t\r"))
            if (!in.args.addVal(w)) return r;
    }
    GmHooks hooks;
    hooks.addDeps = fuzzGnuDeps;
    hooks.addCmd = fuzzGnuDeps;
    hooks.addPhony = fuzzGnuList;
    hooks.setDefault = fuzzGnuList;
    hooks.shell = fuzzGnuShell;
    StrVect goals;
    r.ok = gmReadMakefile(in, hooks, goals, r.err);
    r.goals = goals.size();
    return r;
}
