#include "build/walk.h"

#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "jobs/threads.h"
#include "exec/signals.h"
#include "app/log.h"
#include "app/conf.h"
#include "build/buildstate.h"
#include "graph/graphstate.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "build/fsstat.h"
#include "graph/goalindex.h"
#include "exec/runner.h"
#include "graph/print.h"

BuildState* BuildState::_p = nullptr;

namespace {

// A goal met again while its own visit is under way: a cycle that the graph
// check did not refuse (through both dependency kinds, or with "--DC c").
bool failCycle(BuildWalk& w, CxStr1p const& name) {
    if (!w.stop)
        logPrint(2, "Circular dependency at Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
    w.stop = true;
    return false;
}

// A file's time as the walk takes it: 0 when missing, kGoalDir for a directory.
long long fileTimeOf(CxStr1p const& name, bool listed) {
    FsStatBuf st;
    if (!(listed ? fsaStatListed(st, name) : fsaStat(st, name))) return 0;
    if (fsStatType(st) == 'D') return kGoalDir;
    long long size, t;
    return fsStatSizeTime(size, t, st) ? t : 0;
}

// The times of the files the requested goals reach, read on a second thread
// while this one reads its share. Only the helper's last piece may still be
// under way when the walk begins: a time not there yet is queried by the walk.
struct TimesAhead {
    Vect1p_Vobj<CxStr1p const*> names;
    std::unique_ptr<std::atomic<long long>[]> times;
    std::atomic<long long> next{0};
    std::thread helper;
    // Until the first recipe starts.
    bool valid = false;
};
TimesAhead* g_ahead = nullptr;

void readTimesAhead(TimesAhead* a) {
    long long const chunk = 64, n = a->names.size();
    for (long long i; (i = a->next.fetch_add(chunk)) < n;)
        for (long long end = i + chunk < n ? i + chunk : n; i < end; ++i)
            a->times[i].store(g_walkFileTime(*a->names.data[i], false), std::memory_order_relaxed);
}

long long timeAheadOf(GoalSlot const* g) {
    if (!g_ahead || !g_ahead->valid || !g || g->aheadAt < 0) return -1;
    return g_ahead->times[g->aheadAt].load(std::memory_order_relaxed);
}

bool endsWithSlashDot(CxStr1p const& name) {
    long long n = name.length();
    return n >= 2 && name.c_str()[n - 2] == '/' && name.c_str()[n - 1] == '.';
}

bool runRecipeLines(int& rc, CxStr1p const&, CxStr1p const& lines, CxStr1p* errCmd) {
    return runTxtCmds(rc, lines, redirCmdAny, errCmd);
}

} // namespace

WalkFileTimeFn g_walkFileTime = fileTimeOf;
WalkRunRecipeFn g_walkRunRecipe = runRecipeLines;

CxStr1p dateText(long long t) {
    return strDateTimeFromNs(t, 'L', "%Y-%m-%d %H:%M:%S", 3);
}

long long* stateSlot(CxStr1p const& name) {
    if (GoalSlot* g = goalSlotOf(name)) return &g->state;
    bool added = false;
    auto* n = BuildState::_p->goalState.insertNode(name, 0, added);
    return n ? &n->val : nullptr;
}

GoalRule* ruleOf(CxStr1p const& name) {
    if (GoalSlot* g = goalSlotOf(name)) return g->rule;
    return GraphState::_p->goalRules.find(name);
}

// -W: a time later than any file's, so that everything depending on it is out of date.
long long const kWhatIfTime = 1LL << 62;

long long walkGoalTime(BuildWalk& w, CxStr1p const& name, bool isDep, bool phony) {
    if (phony) return 0;
    if (!conf().whatIf.isEmpty() && conf().whatIf.findNode(name)) return kWhatIfTime;
    long long t;
    if (isDep && endsWithSlashDot(name)) {
        ++w.fsUse;
        t = lsLmt("RL", name);
        if (conf().dbgDeps)
            logTraceDbg(true, "Time of Dir/.: %s | %lli | %s", name.c_str(), t,
                        dateText(t).c_str());
        return t;
    }
    // One query: the time of a missing path is 0, a directory counts as old.
    ++w.fsUse;
    t = g_ahead && g_ahead->valid ? timeAheadOf(goalSlotOf(name)) : -1;
    if (t < 0) t = g_walkFileTime(name, true);
    if (t == kGoalDir) return t;
    if (conf().dbgDeps)
        logTraceDbg(true, "Time of File: %s | %lli | %s", name.c_str(), t, dateText(t).c_str());
    return t;
}

long long walkRuleTime(BuildWalk& w, GoalRule const& r, bool isDep) {
    if (r.timeOf.isEmpty()) return walkGoalTime(w, r.name, isDep, r.phony);
    auto& seen = BuildState::_p->timesOfTargets;
    if (long long* t = seen.find(r.timeOf)) return *t;
    long long t = walkGoalTime(w, r.timeOf, isDep, r.phony);
    seen.addKV(r.timeOf, t);
    return t;
}

bool walkSetState(BuildWalk& w, long long& slot, CxStr1p const& name, long long value) {
    logTraceDbg(conf().dbgRules, "Time Done File/Rule: %s | ok %i", name.c_str(),
                value >= kGoalTimeMin ? 1 : 0);
    slot = value;
    if (value == kGoalFailed && !conf().keepGoing) w.stop = true;
    return value != kGoalFailed;
}

bool walkSetGoalState(BuildWalk& w, CxStr1p const& name, long long value) {
    long long* slot = stateSlot(name);
    if (!slot) {
        w.stop = true;
        return false;
    }
    return walkSetState(w, *slot, name, value);
}

int walkVisitEntry(BuildWalk& w, CxStr1p const& name, long long*& slot, GoalSlot** g,
                   GoalSlot* known) {
    if (w.stop) return -1;
    if (appInterrupted()) {
        logPrint(2, "Interrupted at Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
        w.stop = true;
        return -1;
    }
    GoalSlot* entry = known ? known : goalSlotOf(name);
    if (g) *g = entry;
    slot = entry ? &entry->state : stateSlot(name);
    if (!slot) {
        w.stop = true;
        return -1;
    }
    long long s = *slot;
    if (s >= kGoalTimeMin) return 1;
    if (s == 0 && !conf().oldFiles.isEmpty() && conf().oldFiles.findNode(name)) {
        // -o: as old as can be, and not looked at further.
        *slot = kGoalTimeMin;
        return 1;
    }
    if (s == kGoalFailed) {
        logTraceDbg(conf().dbgGoals, "Known Err : Goal: %s", name.c_str());
        return -1;
    }
    if (s == kGoalVisiting) {
        failCycle(w, name);
        return -1;
    }
    return 0;
}

CxStr1p walkTraceRule(GoalRule const& r, long long t) {
    Conf const& c = conf();
    CxStr1p label;
    if (c.dbgRules) {
        label = c.dbgDeps ? strGoalDeps(r, 0) : r.name;
        logTraceDbg(true, "Visit Rule: %s | %lli | %s", label.c_str(), t, dateText(t).c_str());
    }
    return label;
}

bool walkNoRule(BuildWalk& w, long long& state, CxStr1p const& name, bool isDep) {
    long long t = walkGoalTime(w, name, isDep, false);
    if (t < kGoalTimeMin) {
        if (!w.stop) logPrint(2, "Cannot build Goal: %s | cwd: %s", name.c_str(), fsCwd().c_str());
        t = kGoalFailed;
    }
    walkSetState(w, state, name, t);
    return t >= kGoalTimeMin;
}

bool walkVisitDeps(BuildWalk& w, WalkVisitFn visit, bool* pending, CxStr1p const& goal,
                   long long& goalTime, bool& outOfDate, StrVect const& deps, bool compareTimes,
                   GoalSlot* const* slots) {
    if (w.stop) return false;
    bool dbgDeps = conf().dbgDeps;
    // -k: the other dependencies are still made; the goal fails at the end.
    bool failed = false;
    for (long long i = 0; i < deps.size(); ++i) {
        CxStr1p const& d = deps[i];
        if (failed && w.stop) return false;
        GoalSlot* known = slots ? slots[i] : nullptr;
        long long* slot = known ? &known->state : stateSlot(d);
        if (!slot) return false;
        long long s = *slot;
        if (s == kGoalFailed) {
            logTraceDbg(dbgDeps, "Known Err : Dep: %s", d.c_str());
            if (!conf().keepGoing) return false;
            failed = true;
            continue;
        }
        if (s == kGoalVisiting) return failCycle(w, d);
        if (dbgDeps)
            logTraceDbg(true, "Visit Dep: %s | %lli | %s | Goal: %s | %lli | %s", d.c_str(), s,
                        dateText(s).c_str(), goal.c_str(), goalTime, dateText(goalTime).c_str());
        if (s <= 0) {
            if (dbgDeps)
                logTraceDbg(true, "will build Dep: %s | %lli | %s | Goal %s | %lli | %s", d.c_str(),
                            s, dateText(s).c_str(), goal.c_str(), goalTime,
                            dateText(goalTime).c_str());
            bool depPending = false;
            visit(pending ? &depPending : nullptr, d, true, known);
            if (depPending) {
                // Waits for a job: not compared, the rest of the list is still walked.
                *pending = true;
                continue;
            }
            s = *slot;
            if (s == kGoalFailed) {
                if (!conf().keepGoing) return false;
                failed = true;
                continue;
            }
            if (s <= 0) {
                if (pending) {
                    *pending = true;
                    continue;
                }
                // A failure reported by the visit itself is not reported again.
                if (!w.stop) logPrint(2, "Cannot build Dep: %s", d.c_str());
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
    return !failed;
}

int walkDecide(BuildWalk& w, long long& state, GoalRule const& r, CxStr1p const& label, long long t,
               bool outOfDate) {
    Conf const& c = conf();
    bool force = r.force || (c.alwaysMake && !r.howCmds.isEmpty());
    if (t >= kGoalTimeMin && !outOfDate && !r.phony && !force) {
        if (c.dbgRules)
            logTraceDbg(true, "Already Ok: Rule: %s | %lli | %s", label.c_str(), t,
                        dateText(t).c_str());
        walkSetState(w, state, r.name, t);
        return 1;
    }
    if (r.howCmds.isEmpty()) {
        logTraceDbg(c.dbgRules, "apply empty Rule: %s", label.c_str());
        walkSetState(w, state, r.name, timeRealNs());
        return 1;
    }
    return 0;
}

WalkExpandFn g_walkExpand = nullptr;

void walkReadTimesAhead(StrVect const& goals) {
    walkReadTimesAheadEnd();
    long long names = goalIndexNames();
    // Too few files to pay for a thread, or one core to share the queries with.
    if (names < 512 || !fsStatAheadPays() || infoCpuCoresCount() < 2) return;
    for (long long id = 0; id < names; ++id)
        goalSlotAt(id)->aheadAt = -1;
    // Only the names the requested goals reach: a build of one small goal of
    // a large graph looks at few files. -2 marks a name as reached.
    std::unique_ptr<TimesAhead> a(new (std::nothrow) TimesAhead);
    Vect1p_Vobj<GoalSlot*> todo;
    if (!a || !a->names.reserve(names)) return;
    for (CxStr1p const& name : goals) {
        GoalSlot* g = goalSlotOf(name);
        if (g && g->aheadAt == -1 && todo.addVal(g)) g->aheadAt = -2;
    }
    while (!todo.isEmpty()) {
        GoalSlot* g = todo.lastVal();
        todo.delLast();
        GoalRule const* r = g->rule;
        // A phony goal has no file; a "::" rule's time is another name's.
        if ((!r || (!r->phony && r->timeOf.isEmpty())) && !endsWithSlashDot(*g->name)) {
            g->aheadAt = a->names.size();
            a->names.addVal(g->name);
        }
        if (!r) continue;
        for (int e = 0; e < 2; ++e) {
            GoalSlot* const* deps = goalDepSlots(g, e);
            long long n = (e ? r->depsExistOnly : r->depsUsual).size();
            for (long long k = 0; deps && k < n; ++k)
                if (deps[k]->aheadAt == -1) {
                    if (!todo.addVal(deps[k])) return;
                    deps[k]->aheadAt = -2;
                }
        }
    }
    long long n = a->names.size();
    if (n < 512) return;
    a->times.reset(new (std::nothrow) std::atomic<long long>[n]);
    if (!a->times) return;
    for (long long i = 0; i < n; ++i)
        a->times[i].store(-1, std::memory_order_relaxed);
    try {
        a->helper = std::thread(readTimesAhead, a.get());
    } catch (std::system_error const&) {
        return;
    }
    readTimesAhead(a.get());
    a->valid = true;
    g_ahead = a.release();
}

void walkReadTimesAheadWait() {
    if (g_ahead && g_ahead->helper.joinable()) g_ahead->helper.join();
}

void walkReadTimesAheadEnd() {
    walkReadTimesAheadWait();
    delete g_ahead;
    g_ahead = nullptr;
}

long long walkTimeReadAhead(GoalSlot const* g) {
    return timeAheadOf(g);
}

bool walkRecipeStarts(GoalRule& r) {
    // From now on files change under the build: each query asks the system.
    fsStatListsUse(false);
    if (g_ahead) g_ahead->valid = false;
    if (r.lazy) {
        r.lazy = false;
        CxStr1p lines;
        if (!g_walkExpand || !g_walkExpand(r.name, lines)) return false;
        r.howCmds.setMove(lines);
    }
    // What the recipe changes can then be told from what was there before.
    if (r.phony || r.keepOnError || conf().dryRun) return true;
    long long t = 0;
    fsaTime(t, goalFile(r));
    BuildState::_p->timesBeforeRecipe.addKV(r.name, t);
    return true;
}

void walkRecipeEnded(GoalRule const* r, bool ok) {
    BuildState& v = *BuildState::_p;
    if (!r) return;
    CxStr1p const& name = r->name;
    if (ok && r->intermediate) v.madeIntermediates.addVal(name);
    if (conf().dryRun || r->phony || r->keepOnError) return;
    long long* before = v.timesBeforeRecipe.find(name);
    if (!before) return;
    // A file the failed recipe wrote or changed may be half-written: newer than
    // its dependencies, it would be trusted by the next run.
    long long t = 0;
    CxStr1p const& file = goalFile(*r);
    if (!ok && fsaIsFile(file) && fsaTime(t, file) && t != *before) {
        logPrint(1, "Deleting file '%s'", file.c_str());
        if (!fsRm(file)) logPrint(2, "Cannot delete file '%s'", file.c_str());
    }
    v.timesBeforeRecipe.delAt(name);
}

long long walkMadeTime(GoalRule const* r) {
    long long now = timeRealNs();
    if (!conf().gnuMake || !r || r->phony || conf().dryRun) return now;
    long long t = 0;
    if (!fsaTime(t, r->name)) return now;
    return t < kGoalTimeMin ? kGoalTimeMin : t;
}

bool walkRemoveIntermediates() {
    BuildState& v = *BuildState::_p;
    CxStr1p line("rm");
    bool any = false;
    // -n names the files it would remove.
    bool dry = conf().dryRun;
    for (CxStr1p const& f : v.madeIntermediates) {
        if (!dry && !fsaExist(f)) continue;
        line += ' ';
        line += f;
        any = true;
        if (!dry && !fsRm(f)) logPrint(2, "Cannot remove intermediate file '%s'", f.c_str());
    }
    v.madeIntermediates.clear();
    if (any && !conf().silent && logGetPassLevel() <= 0) echos(line.c_str());
    return true;
}

bool walkRunRecipe(BuildWalk& w, long long& state, GoalRule& r, CxStr1p const& label) {
    Conf const& c = conf();
    logTraceDbg(c.dbgRules, "one apply Rule: %s", label.c_str());
    int rc = 0;
    CxStr1p errCmd;
    if (!walkRecipeStarts(r)) {
        // A Makefile's $(error) in a recipe stops the whole run.
        w.stop = true;
        walkSetState(w, state, r.name, kGoalFailed);
        return false;
    }
    bool ok = g_walkRunRecipe(rc, r.name, r.howCmds, &errCmd);
    walkRecipeEnded(&r, ok);
    if (ok) return walkSetState(w, state, r.name, walkMadeTime(&r));
    // The interpreter says nothing of a failing command: name it.
    logCommandFailed(rc, errCmd);
    if (!w.stop)
        logTraceDbg(c.dbgRules, "Cannot build Rule: %s | cwd: %s", r.name.c_str(), fsCwd().c_str());
    walkSetState(w, state, r.name, kGoalFailed);
    return false;
}

bool walkGoalDone(BuildWalk& w, CxStr1p const& goal, bool ok) {
    BuildState& v = *BuildState::_p;
    Conf const& c = conf();
    if (c.dbgTrack) {
        CxStr1p names;
        for (CxStr1p const& n : v.goalStackTrack) {
            names += n;
            names += ' ';
        }
        logTraceDbg(true, "Goal-Stack-Track: %s| %s", names.c_str(), "_buildJobsGoal");
    }
    if (!ok || w.stop) {
        if (RunInfo::_p->topLevel || logGetPassLevel() < 0)
            logPrint(2, "Build failed for Goal: %s", goal.c_str());
        return false;
    }
    logTraceDbg(c.dbgGoals, "Fs Use %lli | Goal: %s", w.fsUse, goal.c_str());
    return true;
}

bool walkGoalsOrDefault() {
    BuildState& v = *BuildState::_p;
    if (!v.goals.isEmpty()) return true;
    CxStr1p const& defaultGoal = GraphState::_p->defaultGoal;
    if (defaultGoal.isEmpty()) {
        logPrint(2, "No default goal to use");
        return false;
    }
    logTraceDbg(conf().dbgGoals, "Using default Goal: %s", defaultGoal.c_str());
    return v.goals.addVal(defaultGoal);
}
