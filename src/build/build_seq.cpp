#include "build/build_seq.h"

#include "exec/signals.h"
#include "app/log.h"
#include "app/conf.h"
#include "build/buildstate.h"
#include "graph/goalindex.h"
#include "build/stack.h"

namespace {

BuildWalk g_walk;

bool visitAny(bool*, CxStr1p const& name, bool isDep, GoalSlot* known) {
    return buildVisitGoal(name, isDep, known);
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
    return walkSetGoalState(g_walk, name, value);
}

long long buildGoalTime(CxStr1p const& name, bool isDep, bool phony) {
    return walkGoalTime(g_walk, name, isDep, phony);
}

bool buildVisitDeps(CxStr1p const& goal, long long& goalTime, bool& outOfDate, StrVect const& deps,
                    bool compareTimes, GoalSlot* const* slots) {
    return walkVisitDeps(g_walk, visitAny, nullptr, goal, goalTime, outOfDate, deps, compareTimes,
                         slots);
}

bool buildVisitGoal(CxStr1p const& name, bool isDep, GoalSlot* known) {
    long long* slot = nullptr;
    GoalSlot* slotG = nullptr;
    int entry = walkVisitEntry(g_walk, name, slot, &slotG, known);
    if (entry != 0) return entry > 0;
    BuildState& v = *BuildState::_p;
    Conf const& c = conf();
    long long& state = *slot;
    if (c.dbgTrack) v.goalStackTrack.addVal(name);
    if (c.dbgGoals)
        logTraceDbg(true, "Visit Goal: %s | %lli | %s", name.c_str(), state,
                    dateText(state).c_str());

    GoalRule* r = slotG ? slotG->rule : ruleOf(name);
    if (!r) return walkNoRule(g_walk, state, name, isDep);

    // The rule's name is the goal's: its state was read above.
    if (g_walk.stop) return false;
    long long t = walkRuleTime(g_walk, *r, isDep);
    CxStr1p label = walkTraceRule(*r, t);
    state = kGoalVisiting;
    // Exist-only dependencies never make the goal out of date. A Makefile's
    // order-only prerequisites come after the others, as GNU make takes them.
    bool outOfDate = false, existOnly = false;
    bool usualFirst = conf().gnuMake;
    for (int pass = 0; pass < 2; ++pass) {
        bool usual = (pass == 0) == usualFirst;
        StrVect const& deps = usual ? r->depsUsual : r->depsExistOnly;
        if (!deps.isEmpty() && !buildVisitDeps(r->name, t, usual ? outOfDate : existOnly, deps,
                                               usual, goalDepSlots(slotG, !usual))) {
            walkSetState(g_walk, state, r->name, kGoalFailed);
            return false;
        }
    }
    if (walkDecide(g_walk, state, *r, label, t, outOfDate)) return true;
    return walkRunRecipe(g_walk, state, *r, label);
}

bool buildBg1GoalArgs() {
    BuildState& v = *BuildState::_p;
    Conf const& c = conf();
    // An interrupt during the build stops it with the summary, not mid-way.
    runHoldSigHandler(true);
    GoalIndexScope index;
    if (!walkGoalsOrDefault()) return false;
    TimesAheadScope ahead(v.goals);
    bool ok = true;
    for (long long i = 0; i < v.goals.size(); ++i) {
        CxStr1p const& g = v.goals[i];
        logTraceDbg(c.dbgGoals, "%s", "");
        logTraceDbg(c.dbgGoals, "Now at Goal: %s", g.c_str());
        // A Makefile's goals are made once per run, whichever requested goal needs them.
        if (!c.gnuMake || i == 0) {
            v.goalState.clear();
            goalIndexClearStates();
        }
        v.goalStackTrack.clear();
        g_walk = BuildWalk();
        Walk w;
        w.goal = g;
        if (!runOnLargeStack(walkOne, &w, kWalkStackBytes)) walkOne(&w);
        if (walkGoalDone(g_walk, g, w.ok)) continue;
        // -k: the next requested goal is still made.
        ok = false;
        if (!c.keepGoing || g_walk.stop) return false;
    }
    return ok;
}
