#include "build/bgj.h"

#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "build/walk.h"
#include "build/goalindex.h"
#include "build/stack.h"
#include "exec/runner.h"
#include "jobs/bgapp.h"
#include "jobs/que.h"
#include "jobs/quetrd.h"
#include "rules/envmap.h"

namespace {

BuildWalk g_walkState;
bool& g_stop = g_walkState.stop;
bool g_inline = false;

int const kPhaseExistOnly = 1;
int const kPhaseAll = 2;
// Numbers the walks of a requested goal; see bgjVisitGoal.
long long g_walk = 0;

bool visitAny(bool* pending, CxStr1p const& name, bool isDep) {
    bool unused = false;
    return bgjVisitGoal(pending ? *pending : unused, name, isDep);
}

Conf const& conf() {
    return *Vars::_pConf;
}

bool traceJobs() {
    return conf().dbgOpt || logGetPassLevel() < 0;
}

template <class List> CxStr1p namesOf(List const& names) {
    CxStr1p s;
    for (auto const& n : names) {
        s += n;
        s += ' ';
    }
    return s;
}

CxStr1p setNames(Set_Kobj<CxStr1p> const& set) {
    CxStr1p s;
    for (auto const& n : set) {
        s += n.key;
        s += ' ';
    }
    return s;
}

// Goal names of a to-do list (every other entry).
CxStr1p todoNames(Vect1p_Vobj<CxStr1p> const& todo) {
    CxStr1p s;
    for (long long i = 0; i < todo.size(); i += 2) {
        s += todo[i];
        s += ' ';
    }
    return s;
}

long long pauseOf(long long ms, long long def) {
    return ms < 0 ? def : ms;
}

// Batch files go to the temporary directory; without TMP and TEMP they would
// land in the project, so the system's usual place is taken then.
CxStr1p batchDir() {
    CxStr1p dir = envVarTMP();
    if (dir.isEmpty()) dir = envVarGetDef("TMPDIR", "/tmp");
    return dir;
}

// Removes the names of jobsDone from goalStack (from its end), then empties it.
void cleanStack(Vars& v) {
    if (v.jobsDone.isEmpty()) return;
    if (traceJobs() && v.jobsDone.size() >= 2)
        logTraceDbg(true, "bg: [%lli] Del Goal Done List: %s|", v.jobsDone.size(),
                    setNames(v.jobsDone).c_str());
    for (long long i = v.goalStack.size() - 1; i >= 0 && !v.jobsDone.isEmpty(); --i) {
        if (v.jobsDone.delAt(v.goalStack[i])) v.goalStack.delAt(i);
    }
    if (traceJobs() && !v.jobsDone.isEmpty())
        logTraceDbg(true, "bg: [%lli] Goal Done List Now: %s|", v.jobsDone.size(),
                    setNames(v.jobsDone).c_str());
    v.jobsDone.clear();
}

void traceLoop(Vars& v) {
    if (!conf().dbgOpt) return;
    if (v.goalStack.size() >= 2)
        logPrint(0, "bg: [%lli] Stack At Goal: %s| %s", v.goalStack.size(),
                 namesOf(v.goalStack).c_str(), "_buildJobsGoal");
    if (!v.todoHeavy.isEmpty() || !v.todoUsual.isEmpty()) {
        CxStr1p s = todoNames(v.todoHeavy);
        s += "| ";
        s += todoNames(v.todoUsual);
        s += '|';
        logPrint(0, "bg: [%lli] Schedule: %s", v.todoHeavy.size() + v.todoUsual.size(), s.c_str());
    }
    if (v.jobsScheduled.size() >= 2)
        logPrint(0, "bg: [%lli] List Jobs ToDo: %s| %s", v.jobsScheduled.size(),
                 setNames(v.jobsScheduled).c_str(), "_buildJobsGoal");
    long long ws = queCmds2AnyCountWaitStart(), we = queCmds2AnyCountWaitExit();
    long long d = v.jobsDoneInfo.size();
    if (ws + we + d >= 2)
        logPrint(0, "bg: Jobs now (%lli/%lli/%lli) S/E/D | %s", ws, we, d, "_buildJobsGoal");
}

// One wave's walk from the end of the previous stack; false when it failed.
bool walkWave(Vars& v) {
    ++g_walk;
    v.goalStackTmp.swap(v.goalStack);
    v.goalStack.clear();
    if (conf().dbgTrack)
        logTraceDbg(true, "Tmp Goal-Stack: %s| %s", namesOf(v.goalStackTmp).c_str(),
                    "_buildJobsStack");
    bool ok = true;
    while (ok && !v.goalStackTmp.isEmpty()) {
        CxStr1p name = v.goalStackTmp.lastVal();
        v.goalStackTmp.delLast();
        bool pending = false;
        ok = bgjVisitGoal(pending, name, false);
    }
    v.goalStackTmp.clear();
    if (conf().dbgTrack)
        logTraceDbg(true, "Goal-Stack: %s| %s", namesOf(v.goalStack).c_str(), "_buildJobsStack");
    return ok;
}

void collectDone(Vars& v) {
    for (RunAppInfo const& r : v.jobsDoneInfo) {
        CxStr1p const& goal = r.label;
        long long* slot = stateSlot(goal);
        GoalRule const* rule = ruleOf(goal);
        walkRecipeEnded(rule, r.retCode == 0);
        if (r.retCode == 0) {
            if (slot) walkSetState(g_walkState, *slot, goal, walkMadeTime(rule));
        } else {
            if (!g_stop)
                logTraceDbg(conf().dbgRules, "Cannot build Rule: %s | cwd: %s", goal.c_str(),
                            fsCwd().c_str());
            if (slot) walkSetState(g_walkState, *slot, goal, kGoalFailed);
            g_stop = true;
        }
        logTraceDbg(traceJobs(), "Jobs Move: %s", goal.c_str());
        v.jobsScheduled.delAt(goal);
        v.jobsDone.addK(goal);
        v.submittedHeavy.delAt(goal);
        v.submittedUsual.delAt(goal);
        v.lastProgressNs = timeRealNs();
    }
    v.jobsDoneInfo.clear();
}

void hangReport(Vars& v) {
    if (v.hangTimeoutNs <= 0 || v.lastProgressNs <= 0) return;
    long long now = timeRealNs();
    if (now - v.lastProgressNs < v.hangTimeoutNs) return;
    Set_Kobj<CxStr1p> const* sets[2] = {&v.submittedHeavy, &v.submittedUsual};
    for (auto const* s : sets)
        if (!s->isEmpty())
            logPrint(0, "Waiting for : %s | Timeout %0.3f sec", strTrimLR(setNames(*s)).c_str(),
                     v.hangTimeoutSec);
    v.lastProgressNs = now;
}

void clearGoalState(Vars& v) {
    // A Makefile's goals are made once per run, whichever requested goal needs them.
    if (!conf().gnuMake) {
        v.goalState.clear();
        v.goalDepsPhase.clear();
        goalIndexClearStates();
    }
    v.goalStack.clear();
    v.goalStackTmp.clear();
    v.goalStackTrack.clear();
    v.jobsScheduled.clear();
    v.jobsDone.clear();
    v.todoHeavy.clear();
    v.todoUsual.clear();
    v.jobsDoneInfo.clear();
    v.submittedHeavy.clear();
    v.submittedUsual.clear();
    g_walkState = BuildWalk();
}

// Drives one requested goal through its waves; false when it was not built.
bool buildOneGoal(Vars& v, CxStr1p const& g) {
    Conf const& c = conf();
    if (g_inline) {
        ++g_walk;
        bool pending = false;
        if (!bgjVisitGoal(pending, g, false)) g_stop = true;
    } else {
        queCmds2AnyInitMax(v.jobsMax);
        queCmds2AnyInitSleep(pauseOf(c.waitBeginMs, 10), pauseOf(c.waitEndMs, 10));
        queCmds2AnyInitPathPrefix(pathJoin(batchDir(), v.exeName));
        queCmds2CbFnInitFnWorker((void*)bgappCmdsCbFnWorker);
        queCmds2TrdInitFnWorker((void*)bgappCmdsTrdWorker);
        queCmds2AnyInitDoneAppInfo(&v.jobsDoneInfo);
        v.lastProgressNs = 0;
        v.goalStack.addVal(g);
        long long hangMs = pauseOf(c.waitHangMs, 50), endMs = pauseOf(c.waitEndMs, 10);
        while (!g_stop &&
               (!v.goalStack.isEmpty() || !v.jobsScheduled.isEmpty() || !v.jobsDone.isEmpty())) {
            cleanStack(v);
            traceLoop(v);
            if (v.jobsScheduled.isEmpty() && v.goalStack.isEmpty()) break;
            if (v.jobsScheduled.isEmpty()) {
                if (!walkWave(v)) g_stop = true;
                if (!g_stop && bgjSubmitJobs(v.todoHeavy, v.submittedHeavy))
                    bgjSubmitJobs(v.todoUsual, v.submittedUsual);
                if (v.jobsScheduled.isEmpty()) {
                    // Goals wait only for jobs: with none scheduled, every goal of
                    // this walk is decided and a further walk would only say so.
                    if (!g_stop) v.goalStack.clear();
                    continue;
                }
            }
            if (appInterrupted() && !g_stop) {
                logPrint(2, "Interrupted at Goal: %s | cwd: %s", g.c_str(), fsCwd().c_str());
                g_stop = true;
            }
            if (!g_stop) g_stop = queCmds2AnyWasErr();
            queCmds2AnySetErr(g_stop);
            if (!queCmds2AnyAdvance()) {
                g_stop = true;
                collectDone(v);
                break;
            }
            collectDone(v);
            hangReport(v);
            if (queCmds2AnyCountWaitExit() > 0)
                queCmds2AnyWaitAnyExit(v.submittedHeavy.isEmpty() ? endMs : hangMs);
        }
        queCmds2AnySetErr(g_stop);
        if (!queCmds2AnyAdvanceWaitAll(CxStr1p())) g_stop = true;
        collectDone(v);
    }
    return walkGoalDone(g_walkState, g, true);
}

struct Run {
    bool ok = false;
};

void runAll(void* p) {
    Run* run = static_cast<Run*>(p);
    Vars& v = *Vars::_pVars;
    for (long long i = 0; i < v.goals.size(); ++i) {
        CxStr1p const& g = v.goals[i];
        logTraceDbg(conf().dbgGoals, "%s", "");
        logTraceDbg(conf().dbgGoals, "Now at Goal: %s", g.c_str());
        clearGoalState(v);
        if (!buildOneGoal(v, g)) return;
    }
    run->ok = true;
}

} // namespace

long long bgjGoalTime(CxStr1p const& name, bool isDep, bool phony) {
    return walkGoalTime(g_walkState, name, isDep, phony);
}

bool bgjSetGoalState(CxStr1p const& name, long long value) {
    return walkSetGoalState(g_walkState, name, value);
}

bool bgjVisitDeps(bool& pending, CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                  Vect1p_Vobj<CxStr1p> const& deps, bool compareTimes) {
    return walkVisitDeps(g_walkState, visitAny, &pending, goal, goalTime, outOfDate, deps,
                         compareTimes);
}

bool bgjVisitGoal(bool& pending, CxStr1p const& name, bool isDep) {
    long long* slot = nullptr;
    GoalSlot* slotG = nullptr;
    int entry = walkVisitEntry(g_walkState, name, slot, &slotG);
    if (entry != 0) return entry > 0;
    Vars& v = *Vars::_pVars;
    Conf const& c = conf();
    long long& state = *slot;
    long long s = state;
    GoalRule* r = slotG ? slotG->rule : v.goalRules.find(name);
    DepsPhase* phase = nullptr;
    if (r && slotG) {
        phase = &slotG->phase;
    } else if (r) {
        bool added = false;
        auto* node = v.goalDepsPhase.insertNode(r->name, DepsPhase(), added);
        if (!node) {
            g_stop = true;
            return false;
        }
        phase = &node->val;
    }
    if (phase) {
        // Jobs end only between walks: a goal found pending earlier in this
        // walk is pending still. Looking again would re-walk its subgraph
        // once per path to it, which on a long chain never ends.
        if (phase->walk == g_walk) {
            pending = true;
            return true;
        }
        phase->walk = g_walk;
    }
    v.goalStack.addVal(name);
    if (c.dbgTrack) v.goalStackTrack.addVal(name);
    if (c.dbgGoals)
        logTraceDbg(true, "Visit Goal: %s | %lli | %s", name.c_str(), s, dateText(s).c_str());

    if (!r) return walkNoRule(g_walkState, state, name, isDep);
    if (g_stop) return pending;

    // A pending goal's file is not rebuilt before its own job runs, so its
    // time is read once, not again in every wave.
    if (!phase->timeKnown) {
        phase->time = walkRuleTime(g_walkState, *r, isDep);
        phase->timeKnown = true;
    }
    long long t = phase->time;
    CxStr1p label = walkTraceRule(*r, t);
    // Visiting while the dependencies are looked at: a goal met again on its
    // own path is a cycle. A pending goal goes back to "not decided".
    state = kGoalVisiting;
    bool outOfDate = false;
    if (phase->phase == 0 && !r->depsExistOnly.isEmpty()) {
        if (!bgjVisitDeps(pending, r->name, t, outOfDate, r->depsExistOnly, false)) {
            walkSetState(g_walkState, state, r->name, kGoalFailed);
            return false;
        }
        if (pending) {
            state = 0;
            return true;
        }
        phase->phase = kPhaseExistOnly;
    }
    if (phase->phase <= kPhaseExistOnly) {
        outOfDate = false;
        if (!r->depsUsual.isEmpty() &&
            !bgjVisitDeps(pending, r->name, t, outOfDate, r->depsUsual, true)) {
            walkSetState(g_walkState, state, r->name, kGoalFailed);
            return false;
        }
        if (pending) {
            state = 0;
            return true;
        }
        phase->phase = kPhaseAll;
        phase->outOfDate = outOfDate;
    } else {
        outOfDate = phase->outOfDate;
    }

    if (walkDecide(g_walkState, state, *r, label, t, outOfDate)) return true;
    if (g_inline) return walkRunRecipe(g_walkState, state, *r, label);

    logTraceDbg(c.dbgRules, "will apply Rule: %s", label.c_str());
    pending = true;
    state = 0;
    bool fresh = false;
    if (!v.jobsScheduled.insertNode(r->name, AvlNoVal(), fresh)) {
        walkSetState(g_walkState, state, r->name, kGoalFailed);
        return false;
    }
    if (!fresh) return true;
    if (!walkRecipeStarts(*r)) {
        g_stop = true;
        walkSetState(g_walkState, state, r->name, kGoalFailed);
        return false;
    }
    bool heavy = slotG ? slotG->heavy : v.rulesHeavy.hasIdx(r->name);
    Vect1p_Vobj<CxStr1p>& todo = heavy ? v.todoHeavy : v.todoUsual;
    if (!todo.addVal(r->name) || !todo.addVal(r->howCmds)) {
        if (!g_stop)
            logTraceDbg(c.dbgRules, "Cannot build Rule: %s | cwd: %s", r->name.c_str(),
                        fsCwd().c_str());
        walkSetState(g_walkState, state, r->name, kGoalFailed);
    }
    return true;
}

bool bgjSubmitJobs(Vect1p_Vobj<CxStr1p>& todo, Set_Kobj<CxStr1p>& submitted) {
    if (todo.isEmpty()) return true;
    Vars& v = *Vars::_pVars;
    v.lastProgressNs = timeRealNs();
    if (todo.size() % 2 != 0) {
        g_stop = true;
        logPrint(2, "Cannot use jobs for rules");
        return false;
    }
    bool ok = true;
    for (long long i = 0; i + 1 < todo.size(); i += 2) {
        CxStr1p const& goal = todo[i];
        logTraceDbg(conf().dbgRules, "job apply Rule: %s", goal.c_str());
        if (ok) ok = queCmds2AnyPushAdvance(v.bgWorkerCmd, todo[i + 1], goal);
        submitted.addK(goal);
    }
    todo.clear();
    if (!ok) g_stop = true;
    return ok;
}

bool buildBgjGoalArgs() {
    Vars& v = *Vars::_pVars;
    Conf const& c = conf();
    runHoldSigHandler(true);
    GoalIndexScope index;
    v.hangTimeoutSec = dblFromStr(envVarGetDef("VORN_JOBS_HANG_TIMEOUT_SEC", "20.25"));
    v.hangTimeoutNs = timeNsFromDbl(v.hangTimeoutSec);
    if (v.topLevel && c.dbgJobs)
        logTraceDbg(true, "Job hang timeout %.3f sec %lli ms", v.hangTimeoutSec,
                    v.hangTimeoutNs / 1000000);
    if (!walkGoalsOrDefault()) return false;
    g_inline = c.jobs < 0;
    Run run;
    if (!runOnLargeStack(runAll, &run, kWalkStackBytes)) runAll(&run);
    return run.ok;
}

void buildBgjJobsDestroy() {
    queCmds2AnyDestroy();
    pidListForceStopAll(0);
}
