#include "build/build_par.h"

#include "exec/signals.h"
#include "app/log.h"
#include "app/conf.h"
#include "build/buildstate.h"
#include "graph/graphstate.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "build/walk.h"
#include "graph/goalindex.h"
#include "build/stack.h"
#include "exec/runner.h"
#include "jobs/worker.h"
#include "jobs/que.h"
#include "jobs/que_threads.h"
#include "rules/envmap.h"

namespace {

BuildWalk g_walkState;
bool& g_stop = g_walkState.stop;
bool g_inline = false;

int const kPhaseExistOnly = 1;
int const kPhaseAll = 2;

// A goal waiting for a pending one: an entry of the waited-for goal's list.
struct WaitEdge {
    GoalRule* waiter;
    DepsPhase* phase; // the waiter's
    long long next;
};
Vect1p_Vobj<WaitEdge> g_waitEdges;
// Counts jobs pushed and ended: the scheduler is traced when it changed.
long long g_events = 0;
// The goal whose dependencies are being visited, which waits for those found pending.
GoalRule* g_parent = nullptr;
DepsPhase* g_parentPhase = nullptr;

DepsPhase* phaseOf(GoalRule const* r) {
    if (GoalSlot* g = goalSlotOf(r->name)) return &g->phase;
    return BuildState::_p->goalDepsPhase.find(r->name);
}

// A dependency found pending makes the goal being visited wait for it.
bool visitAny(bool* pending, CxStr1p const& name, bool isDep, GoalSlot* known) {
    bool depPending = false;
    bool ok = bgjVisitGoal(depPending, name, isDep, known);
    if (!depPending) return ok;
    if (pending) *pending = true;
    GoalRule const* dep = known ? known->rule : ruleOf(name);
    DepsPhase* dp = known && dep ? &known->phase : dep ? phaseOf(dep) : nullptr;
    if (!dp || !g_parentPhase ||
        !g_waitEdges.addVal(WaitEdge{g_parent, g_parentPhase, dp->firstWaiter})) {
        g_stop = true;
        return false;
    }
    dp->firstWaiter = g_waitEdges.size() - 1;
    ++g_parentPhase->waits;
    return ok;
}

bool traceJobs() {
    return conf().dbgOpt || logGetPassLevel() < 0;
}

CxStr1p setNames(StrSet const& set) {
    CxStr1p s;
    for (auto const& n : set) {
        s += n.key;
        s += ' ';
    }
    return s;
}

CxStr1p ruleNames(Vect1p_Vobj<GoalRule*> const& rules, long long from) {
    CxStr1p s;
    for (long long i = from; i < rules.size(); ++i) {
        s += rules[i]->name;
        s += ' ';
    }
    return s;
}

long long pauseOf(long long ms, long long def) {
    return ms < 0 ? def : ms;
}

// The dependency visits of a goal, resumed where an earlier visit left them:
// exist-only ones first, then the usual ones with their times compared.
// -1 when one failed; 0 otherwise, with pending set when one must still be made.
int visitPhases(bool& pending, GoalRule const& r, GoalSlot const* slotG, DepsPhase& phase,
                long long& t, bool& outOfDate) {
    if (phase.phase == 0 && !r.depsExistOnly.isEmpty()) {
        if (!bgjVisitDeps(pending, r.name, t, outOfDate, r.depsExistOnly, false,
                          goalDepSlots(slotG, true)))
            return -1;
        if (pending) return 0;
        phase.phase = kPhaseExistOnly;
    }
    if (phase.phase <= kPhaseExistOnly) {
        outOfDate = false;
        if (!r.depsUsual.isEmpty() && !bgjVisitDeps(pending, r.name, t, outOfDate, r.depsUsual,
                                                    true, goalDepSlots(slotG, false)))
            return -1;
        if (pending) return 0;
        phase.phase = kPhaseAll;
        phase.outOfDate = outOfDate;
    } else {
        outOfDate = phase.outOfDate;
    }
    return 0;
}

// The goal decided by its visit or its job: each goal waiting for it that
// waits for nothing else is ready to be visited again.
void releaseWaiters(BuildState& v, DepsPhase* phase) {
    if (!phase) return;
    for (long long e = phase->firstWaiter; e >= 0; e = g_waitEdges[e].next) {
        WaitEdge const& w = g_waitEdges[e];
        if (--w.phase->waits == 0) {
            w.phase->pending = false;
            v.goalStack.addVal(w.waiter);
        }
    }
    phase->firstWaiter = -1;
}

// Traces the scheduler's state when it has changed since the last pass.
void traceLoop(BuildState& v) {
    if (!conf().dbgOpt) return;
    static long long last = -1;
    if (g_events == last) return;
    last = g_events;
    long long nh = v.todoHeavy.size() - v.todoHeavyHead, nu = v.todoUsual.size() - v.todoUsualHead;
    if (nh + nu > 0) {
        CxStr1p s = ruleNames(v.todoHeavy, v.todoHeavyHead);
        s += "| ";
        s += ruleNames(v.todoUsual, v.todoUsualHead);
        s += '|';
        logPrint(0, "bg: [%lli] Schedule: %s", nh + nu, s.c_str());
    }
    if (v.jobsScheduled.size() >= 2)
        logPrint(0, "bg: [%lli] List Jobs ToDo: %s| %s", v.jobsScheduled.size(),
                 setNames(v.jobsScheduled).c_str(), "_buildJobsGoal");
    long long ws = queCmds2AnyCountWaitStart(), we = queCmds2AnyCountWaitExit();
    long long d = v.jobsDoneInfo.size();
    if (ws + we + d >= 2)
        logPrint(0, "bg: Jobs now (%lli/%lli/%lli) S/E/D | %s", ws, we, d, "_buildJobsGoal");
}

// Visits again every goal whose waits have ended; a goal decided by that
// releases its own waiters in turn. False when a visit failed.
bool visitReady(BuildState& v) {
    bool ok = true;
    if (conf().dbgOpt && !v.goalStack.isEmpty())
        logPrint(0, "bg: [%lli] Ready Goals: %s| %s", v.goalStack.size(),
                 ruleNames(v.goalStack, 0).c_str(), "_buildJobsGoal");
    while (ok && !g_stop && !v.goalStack.isEmpty()) {
        GoalRule* r = v.goalStack.lastVal();
        v.goalStack.delLast();
        bool pending = false;
        ok = bgjVisitGoal(pending, r->name, false);
        long long* slot = stateSlot(r->name);
        if (slot && (*slot >= kGoalTimeMin || *slot == kGoalFailed)) releaseWaiters(v, phaseOf(r));
    }
    return ok;
}

// Hands ready jobs to the queue while it has room, heavy ones first.
bool submitReady(BuildState& v) {
    long long free = queCmds2AnyRoom();
    if (free <= 0) return true;
    if (v.todoHeavyHead < v.todoHeavy.size() &&
        !bgjSubmitJobs(v.todoHeavy, v.todoHeavyHead, free, v.submittedHeavy))
        return false;
    return bgjSubmitJobs(v.todoUsual, v.todoUsualHead, free, v.submittedUsual);
}

void forgetJob(BuildState& v, CxStr1p const& goal) {
    v.jobsScheduled.delAt(goal);
    v.submittedHeavy.delAt(goal);
    v.submittedUsual.delAt(goal);
}

void collectDone(BuildState& v) {
    for (RunAppInfo const& r : v.jobsDoneInfo) {
        CxStr1p const& goal = r.label;
        if (r.notRun) {
            // Handed ahead and dropped after a failure: never started.
            forgetJob(v, goal);
            continue;
        }
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
        ++g_events;
        if (rule) {
            DepsPhase* phase = phaseOf(rule);
            if (phase) phase->pending = false;
            releaseWaiters(v, phase);
        }
        forgetJob(v, goal);
        v.lastProgressNs = timeRealNs();
    }
    v.jobsDoneInfo.clear();
}

void hangReport(BuildState& v) {
    if (v.hangTimeoutNs <= 0 || v.lastProgressNs <= 0) return;
    long long now = timeRealNs();
    if (now - v.lastProgressNs < v.hangTimeoutNs) return;
    StrSet const* sets[2] = {&v.submittedHeavy, &v.submittedUsual};
    for (auto const* s : sets)
        if (!s->isEmpty())
            logPrint(0, "Waiting for : %s | Timeout %0.3f sec", strTrimLR(setNames(*s)).c_str(),
                     v.hangTimeoutSec);
    v.lastProgressNs = now;
}

void clearGoalState(BuildState& v) {
    // A Makefile's goals are made once per run, whichever requested goal needs them.
    if (!conf().gnuMake) {
        v.goalState.clear();
        v.goalDepsPhase.clear();
        goalIndexClearStates();
    }
    v.goalStack.clear();
    v.goalStackTrack.clear();
    v.jobsScheduled.clear();
    v.todoHeavy.clear();
    v.todoUsual.clear();
    v.todoHeavyHead = v.todoUsualHead = 0;
    g_waitEdges.clear();
    v.jobsDoneInfo.clear();
    v.submittedHeavy.clear();
    v.submittedUsual.clear();
    g_walkState = BuildWalk();
}

// Builds one requested goal: visits it, then starts each job as soon as a
// slot is free and visits again each goal whose waits have ended, until
// nothing is ready, queued or running; false when it was not built.
bool buildOneGoal(BuildState& v, CxStr1p const& g) {
    Conf const& c = conf();
    bool pending = false;
    if (g_inline) {
        if (!bgjVisitGoal(pending, g, false)) g_stop = true;
        return walkGoalDone(g_walkState, g, true);
    }
    // Workers may take their next job ahead only where no job must start
    // before those already ready: with no heavy jobs, starts follow pushes.
    GraphState const& graph = *GraphState::_p;
    queCmds2TrdInitAhead(graph.rulesHeavy.isEmpty() && graph.rulesHeavyAdj.isEmpty());
    queCmds2AnyInitMax(v.jobsMax);
    queCmds2AnyInitSleep(pauseOf(c.waitBeginMs, 10), pauseOf(c.waitEndMs, 10));
    queCmds2AnyInitPathPrefix(pathJoin(envTmpDirOwn(), RunInfo::_p->exeName));
    queCmds2CbFnInitFnWorker((void*)bgappCmdsCbFnWorker);
    queCmds2TrdInitFnWorker((void*)bgappCmdsTrdWorker);
    queCmds2AnyInitDoneAppInfo(&v.jobsDoneInfo);
    v.lastProgressNs = 0;
    long long hangMs = pauseOf(c.waitHangMs, 50), endMs = pauseOf(c.waitEndMs, 10);
    if (!bgjVisitGoal(pending, g, false)) g_stop = true;
    while (!g_stop) {
        if (!visitReady(v) || !submitReady(v)) g_stop = true;
        traceLoop(v);
        if (g_stop || queCmds2AnyCountToDo() == 0) break;
        if (appInterrupted()) {
            logPrint(2, "Interrupted at Goal: %s | cwd: %s", g.c_str(), fsCwd().c_str());
            g_stop = true;
        }
        if (!g_stop) g_stop = queCmds2AnyWasErr();
        queCmds2AnySetErr(g_stop);
        bool stepOk = queCmds2AnyAdvance();
        collectDone(v);
        if (!stepOk) {
            g_stop = true;
            break;
        }
        hangReport(v);
        // With nothing to visit or start, sleep until a job ends.
        bool canStart = queCmds2AnyRoom() > 0 && (v.todoHeavyHead < v.todoHeavy.size() ||
                                                  v.todoUsualHead < v.todoUsual.size());
        if (v.goalStack.isEmpty() && !canStart && queCmds2AnyCountWaitExit() > 0)
            queCmds2AnyWaitAnyExit(v.submittedHeavy.isEmpty() ? endMs : hangMs);
    }
    queCmds2AnySetErr(g_stop);
    if (!queCmds2AnyAdvanceWaitAll(CxStr1p())) g_stop = true;
    collectDone(v);
    long long* state = stateSlot(g);
    if (!g_stop && (!state || *state < kGoalTimeMin)) {
        // Nothing left to run and the goal still undecided: never report that as built.
        logPrint(2, "Cannot build Goal: %s | cwd: %s", g.c_str(), fsCwd().c_str());
        g_stop = true;
    }
    return walkGoalDone(g_walkState, g, true);
}

struct Run {
    bool ok = false;
};

void runAll(void* p) {
    Run* run = static_cast<Run*>(p);
    BuildState& v = *BuildState::_p;
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

BgjPushJobFn g_bgjPushJob = queCmds2AnyPushAdvance;

long long bgjGoalTime(CxStr1p const& name, bool isDep, bool phony) {
    return walkGoalTime(g_walkState, name, isDep, phony);
}

bool bgjSetGoalState(CxStr1p const& name, long long value) {
    return walkSetGoalState(g_walkState, name, value);
}

bool bgjVisitDeps(bool& pending, CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                  StrVect const& deps, bool compareTimes, GoalSlot* const* slots) {
    return walkVisitDeps(g_walkState, visitAny, &pending, goal, goalTime, outOfDate, deps,
                         compareTimes, slots);
}

bool bgjVisitGoal(bool& pending, CxStr1p const& name, bool isDep, GoalSlot* known) {
    long long* slot = nullptr;
    GoalSlot* slotG = nullptr;
    int entry = walkVisitEntry(g_walkState, name, slot, &slotG, known);
    if (entry != 0) return entry > 0;
    BuildState& v = *BuildState::_p;
    Conf const& c = conf();
    long long& state = *slot;
    long long s = state;
    GoalRule* r = slotG ? slotG->rule : GraphState::_p->goalRules.find(name);
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
    if (phase && phase->pending) {
        // Waits for its dependencies or its job: the caller waits for it in turn.
        pending = true;
        return true;
    }
    if (c.dbgTrack) v.goalStackTrack.addVal(name);
    if (c.dbgGoals)
        logTraceDbg(true, "Visit Goal: %s | %lli | %s", name.c_str(), s, dateText(s).c_str());

    if (!r) return walkNoRule(g_walkState, state, name, isDep);
    if (g_stop) return pending;

    // A pending goal's file is not rebuilt before its own job runs, so its
    // time is read once, not again on every visit.
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
    GoalRule* parent = g_parent;
    DepsPhase* parentPhase = g_parentPhase;
    g_parent = r;
    g_parentPhase = phase;
    int deps = visitPhases(pending, *r, slotG, *phase, t, outOfDate);
    g_parent = parent;
    g_parentPhase = parentPhase;
    if (deps < 0) {
        walkSetState(g_walkState, state, r->name, kGoalFailed);
        return false;
    }
    if (pending) {
        state = 0;
        phase->pending = true;
        return true;
    }

    if (walkDecide(g_walkState, state, *r, label, t, outOfDate)) return true;
    if (g_inline) return walkRunRecipe(g_walkState, state, *r, label);

    logTraceDbg(c.dbgRules, "will apply Rule: %s", label.c_str());
    pending = true;
    phase->pending = true;
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
    if (!(r->heavy ? v.todoHeavy : v.todoUsual).addVal(r)) {
        if (!g_stop)
            logTraceDbg(c.dbgRules, "Cannot build Rule: %s | cwd: %s", r->name.c_str(),
                        fsCwd().c_str());
        walkSetState(g_walkState, state, r->name, kGoalFailed);
    }
    return true;
}

bool bgjSubmitJobs(Vect1p_Vobj<GoalRule*>& todo, long long& head, long long& free,
                   StrSet& submitted) {
    BuildState& v = *BuildState::_p;
    bool ok = true;
    // A job handed over is progress; a call with nothing to hand over is not.
    if (free > 0 && head < todo.size()) v.lastProgressNs = timeRealNs();
    for (; ok && free > 0 && head < todo.size(); ++head, --free) {
        GoalRule const& r = *todo[head];
        logTraceDbg(conf().dbgRules, "job apply Rule: %s", r.name.c_str());
        ok = g_bgjPushJob(v.bgWorkerCmd, r.howCmds, r.name);
        ++g_events;
        submitted.addK(r.name);
    }
    if (head == todo.size()) {
        todo.clear();
        head = 0;
    }
    if (!ok) g_stop = true;
    return ok;
}

bool buildBgjGoalArgs() {
    BuildState& v = *BuildState::_p;
    Conf const& c = conf();
    runHoldSigHandler(true);
    GoalIndexScope index;
    v.hangTimeoutSec = dblFromStr(envVarGetDef("VORN_JOBS_HANG_TIMEOUT_SEC", "20.25"));
    v.hangTimeoutNs = timeNsFromDbl(v.hangTimeoutSec);
    if (RunInfo::_p->topLevel && c.dbgJobs)
        logTraceDbg(true, "Job hang timeout %.3f sec %lli ms", v.hangTimeoutSec,
                    v.hangTimeoutNs / 1000000);
    if (!walkGoalsOrDefault()) return false;
    TimesAheadScope ahead(v.goals);
    g_inline = c.jobs < 0;
    Run run;
    if (!runOnLargeStack(runAll, &run, kWalkStackBytes)) runAll(&run);
    return run.ok;
}

void buildBgjJobsDestroy() {
    queCmds2AnyDestroy();
    pidListForceStopAll(0);
}
