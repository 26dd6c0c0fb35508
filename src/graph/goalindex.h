// Per-run index of every name of the goal graph, so the cycle check and the
// builds look up a goal's state, rule and dependency phase by hashing instead
// of searching ordered trees once per visit and edge.
#pragma once

#include "base/str.h"
#include "graph/goals.h"

// How far the dependency visits of a goal have got in the parallel build:
// phase 1 exist-only dependencies complete, 2 all complete (then outOfDate
// tells the finding); time is its file time, read on the first visit
// (timeKnown). A pending goal waits for `waits` others (dependencies that
// were pending) or for its own job; the goals waiting for this one are a
// list in the build's wait edges starting at firstWaiter.
struct DepsPhase {
    int phase = 0;
    bool outOfDate = false;
    bool timeKnown = false;
    bool pending = false;
    // Counts and places of goals and edges, which number less than 2^31: ints
    // keep the goal index's entry small.
    int waits = 0;
    int firstWaiter = -1;
    long long time = 0;
};

struct GoalSlot {
    long long state = 0;
    GoalRule* rule = nullptr;
    CxStr1p const* name = nullptr;
    DepsPhase phase;
    // Where the build's read-ahead keeps the file's time; -1 when it has none.
    int aheadAt = -1;
    // Where the entries of the rule's dependencies start in the index's list,
    // the usual ones, then the exist-only ones; -1 without rule.
    int depsAt = -1;
};

// Indexes the goal table's names and dependencies; the table must not change
// while the index is used. An index made for the table as it is now is kept,
// with every state back to "not visited".
bool goalIndexInit();
// True while an index made for the table as it is now exists.
bool goalIndexCurrent();
void goalIndexDestroy();
// The entry of a name of the graph; nullptr for any other name.
GoalSlot* goalSlotOf(CxStr1p const& name);
// The entry of the goal with this number in the goal table; null without index.
GoalSlot* goalSlotOfGoal(long long tableId);
// The entries of the dependencies of g's rule in its list's order, so that a
// walk does not look each name up again; null for null g or without index.
GoalSlot* const* goalDepSlots(GoalSlot const* g, bool existOnly);
// Every state and phase back to "not visited".
void goalIndexClearStates();
// The goals have the first numbers, in the table's (key) order; every other
// name of the graph comes after them.
long long goalIndexGoals();
// Goals and the other names of the graph.
long long goalIndexNames();
GoalSlot* goalSlotAt(long long id);
long long goalSlotId(GoalSlot const* g);

// The index lives for one build: it points into the goal table.
struct GoalIndexScope {
    GoalIndexScope() { goalIndexInit(); }
    ~GoalIndexScope() { goalIndexDestroy(); }
    GoalIndexScope(GoalIndexScope const&) = delete;
    GoalIndexScope& operator=(GoalIndexScope const&) = delete;
};
