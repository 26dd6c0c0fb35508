// What the sequential and the parallel build share: the goal states, the
// entry checks of a visit, the dependency loop, file times and running a
// recipe in the walk's own thread. Each build keeps its own BuildWalk.
#pragma once

#include "base/containers.h"
#include "base/str.h"

struct GoalRule;
struct GoalSlot;

// Goal state values (BuildState::goalState): 0 or below not visited or missing,
// 1 visit under way, 2 failed, 7 an existing directory, 3 and above a time.
enum : long long { kGoalVisiting = 1, kGoalFailed = 2, kGoalDir = 7, kGoalTimeMin = 3 };

struct BuildWalk {
    bool stop = false;
    long long fsUse = 0; // file queries of the current requested goal
};

// Visits one goal; with pending (parallel build) a goal waiting for a job
// sets it instead of failing. known: the name's entry in the graph's index
// when the caller has it.
typedef bool (*WalkVisitFn)(bool* pending, CxStr1p const& name, bool isDep, GoalSlot* known);

CxStr1p dateText(long long t);
// The state entry of a name, made (0, not visited) when absent; it stays
// where it is while other names are added.
long long* stateSlot(CxStr1p const& name);
GoalRule* ruleOf(CxStr1p const& name);
// A file's time (0 when missing, kGoalDir for a directory), counting queries.
long long walkGoalTime(BuildWalk& w, CxStr1p const& name, bool isDep, bool phony);
// Reads the times of the files the goals reach, on two threads, for the
// walk's time queries until the first recipe starts; does nothing where that
// does not pay (few files, one core, Windows's listings). The helper thread
// may still be reading when it returns: End waits for it and frees the times.
void walkReadTimesAhead(StrVect const& goals);
void walkReadTimesAheadEnd();
// Waits for the helper thread; the times stay.
void walkReadTimesAheadWait();
// The time read ahead for the entry, or -1.
long long walkTimeReadAhead(GoalSlot const* g);
struct TimesAheadScope {
    explicit TimesAheadScope(StrVect const& goals) { walkReadTimesAhead(goals); }
    ~TimesAheadScope() { walkReadTimesAheadEnd(); }
    TimesAheadScope(TimesAheadScope const&) = delete;
    TimesAheadScope& operator=(TimesAheadScope const&) = delete;
};
// The time of the rule's goal: its file's, or for a Makefile's "::" rule its
// target's as it was before the first of them ran.
long long walkRuleTime(BuildWalk& w, GoalRule const& r, bool isDep);
bool walkSetState(BuildWalk& w, long long& slot, CxStr1p const& name, long long value);
bool walkSetGoalState(BuildWalk& w, CxStr1p const& name, long long value);

// The checks every visit starts with. 1: already decided (the visit is
// true); 0: go on, slot is the goal's state and g, when asked for, its
// entry in the graph's index (null for a name outside the graph; known
// when the caller has it); -1: the visit fails.
int walkVisitEntry(BuildWalk& w, CxStr1p const& name, long long*& slot, GoalSlot** g = nullptr,
                   GoalSlot* known = nullptr);
// The rule's name in the traces ("-D d" adds its dependencies), traced with
// its time as visited.
CxStr1p walkTraceRule(GoalRule const& r, long long t);
// A name without rule: its file time, or "Cannot build Goal" when missing.
bool walkNoRule(BuildWalk& w, long long& state, CxStr1p const& name, bool isDep);
// slots: the dependencies' entries in the graph's index (goalDepSlots), or null.
bool walkVisitDeps(BuildWalk& w, WalkVisitFn visit, bool* pending, CxStr1p const& goal,
                   long long& goalTime, bool& outOfDate, StrVect const& deps, bool compareTimes,
                   GoalSlot* const* slots);
// The decision once the dependencies are known: 1 decided without a recipe
// to run (up to date, or an empty recipe), 0 the recipe must run.
int walkDecide(BuildWalk& w, long long& state, GoalRule const& r, CxStr1p const& label, long long t,
               bool outOfDate);
// Runs the recipe here and now; the failing command is named.
bool walkRunRecipe(BuildWalk& w, long long& state, GoalRule& r, CxStr1p const& label);
// What the walk asks of the system, replaceable so that tests can drive the
// walk without files or commands: a file's time (0 missing, kGoalDir a
// directory; listed: a directory listing may answer) and running a recipe's
// lines in the walk's thread.
typedef long long (*WalkFileTimeFn)(CxStr1p const& name, bool listed);
extern WalkFileTimeFn g_walkFileTime;
typedef bool (*WalkRunRecipeFn)(int& rc, CxStr1p const& goal, CxStr1p const& lines,
                                CxStr1p* errCmd);
extern WalkRunRecipeFn g_walkRunRecipe;
// Expands a lazy goal's recipe (a Makefile's) into its lines; false after a
// fatal error, which it has reported. Installed by the run driver.
typedef bool (*WalkExpandFn)(CxStr1p const& goal, CxStr1p& lines);
extern WalkExpandFn g_walkExpand;

// Before a recipe starts: a lazy recipe is expanded (false when that failed);
// the goal's file time is noted for a Makefile's .DELETE_ON_ERROR. After it
// ended: a failed recipe's changed file is removed when the goal asks for it;
// a made intermediate file is noted for removal.
bool walkRecipeStarts(GoalRule& r);
void walkRecipeEnded(GoalRule const* r, bool ok);
// A Makefile's intermediate files made by this run are removed ("rm a b").
bool walkRemoveIntermediates();
// The state of a goal whose recipe has just run: now; for a Makefile's file
// goal its time as the recipe left it, so that a recipe that did not change
// the file does not make the goals above it out of date.
long long walkMadeTime(GoalRule const* r);
// "Goal-Stack-Track" and the result line of one requested goal.
bool walkGoalDone(BuildWalk& w, CxStr1p const& goal, bool ok);
// The requested goals, or the default goal when none was named.
bool walkGoalsOrDefault();

// The walk recurses once per graph level; 100,000 levels fit well in this.
long long const kWalkStackBytes = 1LL << 30;
