#include "app/gmload.h"

#include <cstdio>

#include "app/app.h"
#include "app/args.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "build/build_seq.h"
#include "build/walk.h"
#include "exec/run.h"
#include "gnu/greader.h"
#include "graph/deps.h"
#include "graph/goals.h"
#include "rules/envmap.h"

namespace {

// $(shell) and "!=": the recipes' interpreter, its standard output captured.
bool gmShell(CxStr1p& out, int& status, CxStr1p const& cmd) {
    out.clear();
    RunCapRIO r;
    r.crlf2lf = true;
    r.rxOut.init(&out);
    runCap(r, cmd);
    status = r.app.retCode;
    return true;
}

bool gmSetEnv(CxStr1p const& name, CxStr1p const* value) {
    if (!value) return envVarUnset(name);
    return envVarSetExport(name, *value);
}

bool setDefaultGoal(CxStr1p const& goal) {
    return setGoalDefault(goal);
}

// The Makefile as GNU make looks for it, unless named with -f.
bool findMakefile(CxStr1p& path) {
    Vars& v = *Vars::_pVars;
    if (!v.conf.rulesFiles.isEmpty()) {
        path = v.conf.rulesFiles[0];
        if (fsaIsFile(path)) return true;
        logPrint(2, "Wrong path for rules file: %s", path.c_str());
        return false;
    }
    CxStr1p names("GNUmakefile|makefile|Makefile"), name, tried;
    long long pos = 0;
    while (strToken(name, pos, names, "|")) {
        strSepAdd(tried, name, ' ');
        if (fsaIsFile(name)) return path.setObj(name);
    }
    logPrint(2, "Cannot find rules file: %s", tried.c_str());
    return false;
}

// MAKEFLAGS from a parent make (or this tool): its flag letters apply here too,
// its variables come before this command line's.
bool takeMakeflags(Conf& c, StrVect& vars) {
    CxStr1p mf, w;
    if (!envVarGetSet("MAKEFLAGS", mf) || mf.isEmpty()) return true;
    long long pos = 0;
    bool assigns = false, first = true;
    while (strToken(w, pos, mf, " ")) {
        if (assigns) {
            if (strHas(w, '=') && !vars.addVal(w)) return false;
        } else if (w == "--") {
            assigns = true;
        } else if (w == "--no-print-directory") {
            c.printDir = -1;
        } else if (first || (w.getAt(0) == '-' && w.getAt(1) != '-')) {
            // "ks" or "-k": letters; options with values ("-I dir") are taken from VORN_ARGS.
            for (long long i = w.getAt(0) == '-' ? 1 : 0; i < w.length() && !strHas(w, '='); ++i)
                confMakeFlagLetter(c, w.c_str()[i]);
        }
        first = false;
    }
    return true;
}

long long g_makeLevel = 0;
// The reader of the Makefile read last: it expands recipes as they are about to run.
std::shared_ptr<GmRecipeSource> g_recipes;

bool expandRecipe(CxStr1p const& goal, CxStr1p& lines) {
    CxStr1p err;
    if (g_recipes && g_recipes->expand(goal, lines, err)) return true;
    logPrint(2, "%s", err.c_str());
    return false;
}

// Reads the Makefile (again): a fresh goal table each time.
bool readOnce(GmReadIn& in, GmReadOut& out, StrVect& goals) {
    Vars& v = *Vars::_pVars;
    goalTableReset();
    v.clearGoalStates();
    out = GmReadOut();
    goals.clear();
    char const* rf = in.file.c_str();
    if (!strFileLoadFd(in.file, in.text)) {
        logPrint(2, "Read rules file '%s'", rf);
        return false;
    }
    GmHooks hooks;
    hooks.addDeps = addGoalDepsPlain;
    hooks.addCmd = addGoalHowCmd;
    hooks.addPhony = addPhonyGoals;
    hooks.setDefault = setDefaultGoal;
    hooks.setEnv = gmSetEnv;
    hooks.setMarks = setGoalMarks;
    hooks.setTimeOf = setGoalTimeOf;
    hooks.shell = gmShell;
    CxStr1p err;
    if (!gmReadMakefile(in, hooks, goals, err, &out)) {
        logPrint(2, "%s", err.c_str());
        return false;
    }
    g_recipes = out.recipes;
    g_walkExpand = expandRecipe;
    long long t0 = timeBootNs();
    bool ok = depsAllSteps();
    v.elDepsTotal = timeBootNs() - t0;
    if (!ok) logPrint(2, "Eval deps in '%s'", rf);
    return ok;
}

// Makes the Makefiles that have rules, as goals of their own; changed tells
// whether one of them is new or newer now. Their recipes run even with -n.
// Those read with "-include" are made quietly: one that cannot be made is
// passed over, as make does.
bool remakeMakefiles(GmReadOut const& out, bool& changed) {
    Vars& v = *Vars::_pVars;
    Conf& c = v.conf;
    bool dry = c.dryRun, always = c.alwaysMake;
    c.dryRun = c.alwaysMake = false;
    bool ok = true;
    for (int pass = 0; pass < 2 && ok; ++pass) {
        bool required = pass == 0;
        StrVect goals;
        Vect1p_Vobj<long long> before;
        for (GmInclude const& inc : out.includes) {
            if (!inc.hasRule || inc.required != required) continue;
            long long t = 0;
            fsaTime(t, inc.name);
            if (!goals.addVal(inc.name) || !before.addVal(t)) return false;
        }
        if (goals.isEmpty()) continue;
        int level = logGetPassLevel();
        if (!required) logConfPassLevel(3);
        v.goals.swap(goals);
        bool built = buildBg1GoalArgs();
        v.goals.swap(goals);
        logConfPassLevel(level);
        v.goalState.clear();
        v.timesOfTargets.clear();
        ok = built || !required;
        for (long long i = 0; i < goals.size(); ++i) {
            long long t = 0;
            fsaTime(t, goals[i]);
            changed = changed || t != before[i];
        }
    }
    c.dryRun = dry;
    c.alwaysMake = always;
    return ok;
}

} // namespace

void gmDirLine(bool entering) {
    Vars& v = *Vars::_pVars;
    Conf const& c = v.conf;
    bool show = c.printDir > 0 || (c.printDir == 0 && (c.cdGiven || g_makeLevel > 0));
    if (!show || c.silent || !c.gnuMake) return;
    CxStr1p line(v.exeName);
    if (g_makeLevel > 0) {
        char n[32];
        snprintf(n, sizeof n, "[%lld]", g_makeLevel);
        line += n;
    }
    line += entering ? ": Entering directory '" : ": Leaving directory '";
    line += fsCwd();
    line += "'";
    echos(line.c_str());
}

bool gmConfFindRead() {
    Vars& v = *Vars::_pVars;
    Conf& c = v.conf;
    GmReadIn in;
    CxStr1p level;
    if (envVarGetSet("MAKELEVEL", level)) intFromStrSet(g_makeLevel, level, false, false);
    if (g_makeLevel < 0) g_makeLevel = 0;
    if (!takeMakeflags(c, in.args)) return false;
    gmDirLine(true);
    if (!findMakefile(in.file)) return false;
    v.rulesFileUsed = in.file;
    char const* rf = in.file.c_str();
    if (logGetPassLevel() < 0) logPrint(-1, "Rules file: %s | cwd: %s", rf, fsCwd().c_str());
    logTraceFlag(c.dbgConf, "Read rules file '%s' ...", rf);
    CxStr1p exe = fsExePath();
    in.makeCmd = exe.isEmpty() ? v.exeName : strArgQuoteByCtx(exe);
    in.makeCmd += " --gm";
    in.curDir = fsCwd();
    for (CxStr1p const& a : v.goals)
        if (!in.args.addVal(a)) return false;
    for (long long i = 1; i < c.rulesFiles.size(); ++i)
        if (!in.moreFiles.addVal(c.rulesFiles[i])) return false;
    in.includeDirs = c.includeDirs;
    // The platform this executable was built for, not what OS_NAME claims.
    in.host = *fsExeSuffix() ? "x86_64-w64-mingw32" : "x86_64-pc-linux-gnu";
    in.noBuiltinRules = c.noBuiltinRules;
    in.noBuiltinVars = c.noBuiltinVars;
    in.envOverrides = c.envOverrides;
    in.warnUndefined = c.warnUndefined;
    in.lazyRecipes = true;
    in.flags = confMakeFlagLetters(c);
    strFromIntSet(in.makeLevel, g_makeLevel, 0, ' ', false);
    // Nested runs are one level down.
    if (!envVarSetExport("MAKELEVEL", g_makeLevel + 1)) return false;

    // Included Makefiles with rules are remade first; when one changed, the
    // Makefile is read again from the start, as make does.
    GmReadOut out;
    StrVect goals;
    int const kMaxRestarts = 20;
    for (;;) {
        if (!readOnce(in, out, goals)) return false;
        bool changed = false;
        if (!remakeMakefiles(out, changed)) return false;
        if (!changed) break;
        if (++in.restarts > kMaxRestarts) {
            logPrint(2, "Makefiles still change after %d readings", kMaxRestarts);
            return false;
        }
    }
    bool ok = true;
    for (GmInclude const& inc : out.includes) {
        if (!inc.required || !inc.missing || fsaIsFile(inc.name)) continue;
        logPrint(2, "%s: %s: No such file or directory", inc.where.c_str(), inc.name.c_str());
        ok = false;
    }
    if (!ok) return false;
    if (out.notParallel) c.bgOption = "--bg1";
    c.shForeign = !out.posixShell;
    v.goals.swap(goals);
    logTraceFlag(c.dbgConf, "Read rules file '%s' ... ok", rf);
    return true;
}
