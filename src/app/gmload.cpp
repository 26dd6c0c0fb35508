#include "app/gmload.h"

#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tok.h"
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
    path = v.conf.rulesFile;
    if (!path.isEmpty()) {
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

} // namespace

bool gmConfFindRead() {
    Vars& v = *Vars::_pVars;
    GmReadIn in;
    if (!findMakefile(in.file)) return false;
    v.rulesFileUsed = in.file;
    char const* rf = in.file.c_str();
    if (logGetPassLevel() < 0) logPrint(-1, "Rules file: %s | cwd: %s", rf, fsCwd().c_str());
    logTraceFlag(v.conf.dbgConf, "Read rules file '%s' ...", rf);
    if (!strFileLoadFd(in.file, in.text)) {
        logPrint(2, "Read rules file '%s'", rf);
        return false;
    }
    CxStr1p exe = fsExePath();
    in.makeCmd = exe.isEmpty() ? v.exeName : strArgQuoteByCtx(exe);
    in.makeCmd += " --gm";
    in.curDir = fsCwd();
    in.args = v.goals;
    in.noBuiltinRules = v.conf.noBuiltinRules;
    GmHooks hooks;
    hooks.addDeps = addGoalDepsPlain;
    hooks.addCmd = addGoalHowCmd;
    hooks.addPhony = addPhonyGoals;
    hooks.setDefault = setDefaultGoal;
    hooks.setEnv = gmSetEnv;
    hooks.shell = gmShell;
    Vect1p_Vobj<CxStr1p> goals;
    CxStr1p err;
    if (!gmReadMakefile(in, hooks, goals, err)) {
        logPrint(2, "%s", err.c_str());
        return false;
    }
    v.goals.swap(goals);
    long long t0 = timeBootNs();
    bool ok = depsAllSteps();
    v.elDepsTotal = timeBootNs() - t0;
    if (!ok) {
        logPrint(2, "Eval deps in '%s'", rf);
        return false;
    }
    logTraceFlag(v.conf.dbgConf, "Read rules file '%s' ... ok", rf);
    return true;
}
