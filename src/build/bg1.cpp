#include "build/bg1.h"

#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "build/fsstat.h"
#include "build/goalindex.h"
#include "build/stack.h"
#include "exec/runner.h"
#include "graph/print.h"

namespace {

bool g_buildStop = false;
long long g_fsUseCount = 0;

// The walk recurses once per graph level; 100,000 levels fit well in this.
long long const kWalkStackBytes = 1LL << 30;

Conf const& conf() {
    return *Vars::_pConf;
}

bool setState(long long& slot, CxStr1p const& name, long long value) {
    logTraceDbg(conf().dbgRules, "Time Done File/Rule: %s | ok %i", name.c_str(),
                value >= kGoalTimeMin ? 1 : 0);
    slot = value;
    if (value == kGoalFailed) g_buildStop = true;
    return value != kGoalFailed;
}

// A goal met again while its own visit is under way: a cycle that the graph
// check did not refuse (through both dependency kinds, or with "--DC c").
bool failCycle(CxStr1p const& name) {
    if (!g_buildStop)
        logPrint(2, "Circular dependency at Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
    g_buildStop = true;
    return false;
}

struct Walk {
    CxStr1p goal;
    bool ok = false;
};

void walkOne(void* p) {
    Walk* w = static_cast<Walk*>(p);
    w->ok = buildVisitGoal(w->goal, false);
}

} // namespace

bool buildSetGoalState(CxStr1p const& name, long long value) {
    long long* slot = stateSlot(name);
    if (!slot) {
        g_buildStop = true;
        return false;
    }
    return setState(*slot, name, value);
}

CxStr1p dateText(long long t) {
    return strDateTimeFromNs(t, 'L', "%Y-%m-%d %H:%M:%S", 3);
}

long long* stateSlot(CxStr1p const& name) {
    if (GoalSlot* g = goalSlotOf(name)) return &g->state;
    bool added = false;
    auto* n = Vars::_pVars->goalState.insertNode(name, 0, added);
    return n ? &n->val : nullptr;
}

GoalRule* ruleOf(CxStr1p const& name) {
    if (GoalSlot* g = goalSlotOf(name)) return g->rule;
    return Vars::_pVars->goalRules.find(name);
}

long long buildGoalTime(CxStr1p const& name, bool isDep, bool phony) {
    return goalTimeCounted(g_fsUseCount, name, isDep, phony);
}

long long goalTimeCounted(long long& fsUse, CxStr1p const& name, bool isDep, bool phony) {
    if (phony) return 0;
    long long t;
    long long n = name.length();
    if (isDep && n >= 2 && name.c_str()[n - 2] == '/' && name.c_str()[n - 1] == '.') {
        ++fsUse;
        t = lsLmt("RL", name);
        if (conf().dbgDeps)
            logTraceDbg(true, "Time of Dir/.: %s | %lli | %s", name.c_str(), t,
                        dateText(t).c_str());
        return t;
    }
    // One query: the time of a missing path is 0, a directory counts as old.
    ++fsUse;
    FsStatBuf st;
    t = 0;
    if (fsaStat(st, name)) {
        if (fsStatType(st) == 'D') return kGoalDir;
        long long size;
        if (!fsStatSizeTime(size, t, st)) t = 0;
    }
    if (conf().dbgDeps)
        logTraceDbg(true, "Time of File: %s | %lli | %s", name.c_str(), t, dateText(t).c_str());
    return t;
}

bool buildVisitDeps(CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                    Vect1p_Vobj<CxStr1p> const& deps, bool compareTimes) {
    if (g_buildStop) return false;
    bool dbgDeps = conf().dbgDeps;
    for (CxStr1p const& d : deps) {
        long long* slot = stateSlot(d);
        if (!slot) return false;
        long long s = *slot;
        if (s == kGoalFailed) {
            logTraceDbg(dbgDeps, "Known Err : Dep: %s", d.c_str());
            return false;
        }
        if (s == kGoalVisiting) return failCycle(d);
        if (dbgDeps)
            logTraceDbg(true, "Visit Dep: %s | %lli | %s | Goal: %s | %lli | %s", d.c_str(), s,
                        dateText(s).c_str(), goal.c_str(), goalTime, dateText(goalTime).c_str());
        if (s <= 0) {
            if (dbgDeps)
                logTraceDbg(true, "will build Dep: %s | %lli | %s | Goal %s | %lli | %s", d.c_str(),
                            s, dateText(s).c_str(), goal.c_str(), goalTime,
                            dateText(goalTime).c_str());
            buildVisitGoal(d, true);
            s = *slot;
            if (s == kGoalFailed) return false;
            if (s <= 0) {
                // A failure reported by the visit itself is not reported again.
                if (!g_buildStop) logPrint(2, "Cannot build Dep: %s", d.c_str());
                return false;
            }
        }
        if (compareTimes && s >= kGoalTimeMin && goalTime < s) {
            outOfDate = true;
            if (conf().dbgGoals)
                logTraceDbg(true, "will build Goal: %s : Dep: %s | %s : %s", goal.c_str(),
                            d.c_str(), dateText(goalTime).c_str(), dateText(s).c_str());
        }
    }
    return true;
}

bool buildVisitGoal(CxStr1p const& name, bool isDep) {
    if (g_buildStop) return false;
    if (appInterrupted()) {
        logPrint(2, "Interrupted at Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
        g_buildStop = true;
        return false;
    }
    Vars& v = *Vars::_pVars;
    Conf const& c = conf();
    long long* slot = stateSlot(name);
    if (!slot) {
        g_buildStop = true;
        return false;
    }
    long long& state = *slot;
    long long s = state;
    if (s >= kGoalTimeMin) return true;
    if (s == kGoalFailed) {
        logTraceDbg(c.dbgGoals, "Known Err : Goal: %s", name.c_str());
        return false;
    }
    if (s == kGoalVisiting) return failCycle(name);
    if (c.dbgTrack) v.goalStackTrack.addVal(name);
    if (c.dbgGoals)
        logTraceDbg(true, "Visit Goal: %s | %lli | %s", name.c_str(), s, dateText(s).c_str());

    GoalRule* r = ruleOf(name);
    if (!r) {
        long long t = buildGoalTime(name, isDep, false);
        if (t < kGoalTimeMin) {
            if (!g_buildStop)
                logPrint(2, "Cannot build Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
            g_buildStop = true;
        }
        setState(state, name, t);
        return t >= kGoalTimeMin;
    }

    // The rule's name is the goal's: its state was read above.
    if (g_buildStop) return false;
    long long t = buildGoalTime(r->name, isDep, r->phony);
    CxStr1p label;
    if (c.dbgRules) {
        label = c.dbgDeps ? strGoalDeps(*r, 0) : r->name;
        logTraceDbg(true, "Visit Rule: %s | %lli | %s", label.c_str(), t, dateText(t).c_str());
    }
    state = kGoalVisiting;
    bool outOfDate = false;
    if (!r->depsExistOnly.isEmpty() &&
        !buildVisitDeps(r->name, t, outOfDate, r->depsExistOnly, false)) {
        setState(state, r->name, kGoalFailed);
        return false;
    }
    outOfDate = false;
    if (!r->depsUsual.isEmpty() && !buildVisitDeps(r->name, t, outOfDate, r->depsUsual, true)) {
        setState(state, r->name, kGoalFailed);
        return false;
    }
    if (t >= kGoalTimeMin && !outOfDate && !r->phony) {
        if (c.dbgRules)
            logTraceDbg(true, "Already Ok: Rule: %s | %lli | %s", label.c_str(), t,
                        dateText(t).c_str());
        setState(state, r->name, t);
        return true;
    }
    if (r->howCmds.isEmpty()) {
        logTraceDbg(c.dbgRules, "apply empty Rule: %s", label.c_str());
        setState(state, r->name, timeRealNs());
        return true;
    }
    logTraceDbg(c.dbgRules, "one apply Rule: %s", label.c_str());
    int rc = 0;
    CxStr1p errCmd;
    if (runTxtCmds(rc, r->howCmds, redirCmdAny, &errCmd)) {
        setState(state, r->name, timeRealNs());
        return true;
    }
    // The interpreter says nothing of a failing command: name it.
    logPrint(2, "Command failed with code %i: %s", rc, strTrimLR(errCmd).c_str());
    if (!g_buildStop)
        logTraceDbg(c.dbgRules, "Cannot build Rule: %s | cwd: %s", r->name.c_str(),
                    fsCwd().c_str());
    setState(state, r->name, kGoalFailed);
    return false;
}

bool buildBg1GoalArgs() {
    Vars& v = *Vars::_pVars;
    Conf const& c = conf();
    // An interrupt during the build stops it with the summary, not mid-way.
    runInitSigHandler();
    GoalIndexScope index;
    if (v.goals.isEmpty()) {
        if (v.defaultGoal.isEmpty()) {
            logPrint(2, "No default goal to use");
            return false;
        }
        logTraceDbg(c.dbgGoals, "Using default Goal: %s", v.defaultGoal.c_str());
        if (!v.goals.addVal(v.defaultGoal)) return false;
    }
    for (long long i = 0; i < v.goals.size(); ++i) {
        CxStr1p const& g = v.goals[i];
        logTraceDbg(c.dbgGoals, "%s", "");
        logTraceDbg(c.dbgGoals, "Now at Goal: %s", g.c_str());
        v.goalState.clear();
        goalIndexClearStates();
        v.goalStackTrack.clear();
        g_buildStop = false;
        g_fsUseCount = 0;
        Walk w;
        w.goal = g;
        if (!runOnLargeStack(walkOne, &w, kWalkStackBytes)) walkOne(&w);
        if (c.dbgTrack) {
            CxStr1p names;
            for (CxStr1p const& n : v.goalStackTrack) {
                names += n;
                names += ' ';
            }
            logTraceDbg(true, "Goal-Stack-Track: %s| %s", names.c_str(), "_buildJobsGoal");
        }
        if (!w.ok || g_buildStop) {
            if (v.topLevel || logGetPassLevel() < 0)
                logPrint(2, "Build failed for Goal: %s", g.c_str());
            return false;
        }
        logTraceDbg(c.dbgGoals, "Fs Use %lli | Goal: %s", g_fsUseCount, g.c_str());
    }
    return true;
}
