#include "app/rulesfile.h"

#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "build/fsstat.h"
#include "graph/deps.h"
#include "graph/goals.h"
#include "rules/eval.h"
#include "rules/expand.h"
#include "rules/load.h"

bool findConfRulesFile(CxStr1p& tried) {
    Vars& v = *Vars::_pVars;
    v.rulesFileUsed = v.conf.rulesFile;
    if (!v.rulesFileUsed.isEmpty()) {
        if (fsaIsFile(v.rulesFileUsed)) return true;
        logPrint(2, "Wrong path for rules file: %s", v.rulesFileUsed.c_str());
        return false;
    }
    CxStr1p names("vorn.vorn|Vorn.vorn|Makefile|makefile"), name;
    long long pos = 0;
    while (strToken(name, pos, names, "|")) {
        strSepAdd(tried, name, ' ');
        if (fsaIsFile(name)) return v.rulesFileUsed.setObj(name);
    }
    v.rulesFileUsed.clear();
    logPrint(2, "Cannot find rules file: %s", tried.c_str());
    return false;
}

bool confFindRead() {
    Vars& v = *Vars::_pVars;
    CxStr1p tried;
    if (!findConfRulesFile(tried)) return false;
    char const* rf = v.rulesFileUsed.c_str();
    if (logGetPassLevel() < 0) logPrint(-1, "Rules file: %s | cwd: %s", rf, fsCwd().c_str());
    if (!bagFsStatAdd(v.rulesFilesStat, v.rulesFileUsed)) {
        logPrint(2, "Already used rules file '%s' ...", rf);
        return false;
    }
    logTraceFlag(v.conf.dbgConf, "Read rules file '%s' ...", rf);
    CxStr1p text;
    if (!strFileLoadFd(v.rulesFileUsed, text)) {
        logPrint(2, "Read rules file '%s'", rf);
        return false;
    }
    envVarsSetUserKeep(" ABCD ABC VORN MAKE ");

    CxStr1p err;
    StrVect includeStack, evaluated;
    bool ok = evalTextMakeInitFns(addGoalDeps, addGoalHowCmd, setGoalDefault);
    ok = ok && evalTextMake(text, v.envMap, "make", nullptr, &err, loadParseOptions(),
                            v.rulesFileUsed, &includeStack, &evaluated);
    text.destroy(); // the goal table keeps what it needs; the graph needs the room
    if (!err.isEmpty()) {
        logPrintLines(2, "", err.c_str(), "");
        logPrint(2, "Eval rules file '%s'", rf);
        return false;
    }
    if (!ok) {
        logPrint(2, "Eval rules file '%s'", rf);
        return false;
    }

    long long t0 = timeBootNs();
    ok = depsAllSteps();
    v.elDepsTotal = timeBootNs() - t0;
    if (!ok) {
        logPrint(2, "Eval deps in '%s'", rf);
        return false;
    }
    for (CxStr1p const& f : evaluated)
        bagFsStatSet(v.rulesFilesStat, f);
    logTraceFlag(v.conf.dbgConf, "Read rules file '%s' ... ok", rf);
    return true;
}

bool varsAfterConfReuseMkDirs() {
    Vars& v = *Vars::_pVars;
    CxStr1p value;
    v.envMap.varGet("VORN", value);
    if (value != v.selfCmd) {
        v.selfCmd.setObj(value);
        logTraceFlag(v.conf.dbgConf, "New conf value %s='%s'", "VORN", value.c_str());
    }
    value.clear();
    v.envMap.varGet("VORN_ARGS", value);
    if (value == v.argsEnv) return true;
    v.argsEnv.setObj(value);
    logTraceFlag(v.conf.dbgConf, "New conf value %s='%s'", "VORN_ARGS", value.c_str());
    bool applied = applyStrEnvArgs(v.argsEnv);
    if (!v.conf.cdDone) return applied;
    v.conf.cdDone = false;
    bool ok = appInitLogHdrCrumbs() && applied;
    if (ok && logGetPassLevel() >= 0) return true;
    logPrint(ok ? -1 : 2, "reset after chdir");
    return ok;
}
