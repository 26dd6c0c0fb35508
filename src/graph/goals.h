// The goal table: one record per goal with its dependencies in written
// order, its recipe text and its phony / heavy / usual flags. The rules
// evaluator fills it through the callbacks below.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "graph/nameindex.h"

struct GoalRule {
    bool phony = false;
    bool heavy = false; // a recipe line runs a build tool (recursive invocation)
    bool usual = false; // a recipe line runs an outside command
    // keepOnError: kept when its recipe fails or is interrupted (a Makefile's
    // precious file; every other file goal is deleted then). intermediate:
    // removed at the end of the run once made.
    bool keepOnError = false, intermediate = false;
    bool force = false; // out of date whatever the times say (a grouped target is missing)
    bool lazy = false;  // howCmds as written, expanded just before they run
    CxStr1p timeOf;     // the file whose time is the goal's (a Makefile's "::" rule); else name
    CxStr1p name;
    Vect1p_Vobj<CxStr1p> depsUsual;
    Vect1p_Vobj<CxStr1p> depsExistOnly;
    CxStr1p howCmds; // every recipe line followed by "\n"

    GoalRule() = default;
    GoalRule(GoalRule const&) = default;
    GoalRule& operator=(GoalRule const&) = default;
    // A move leaves the source with its flags false and everything empty.
    GoalRule(GoalRule&& o) noexcept { takeFrom(o); }
    GoalRule& operator=(GoalRule&& o) noexcept {
        if (this != &o) takeFrom(o);
        return *this;
    }

    // Goals are the same when their names are.
    bool operator==(GoalRule const& o) const { return name == o.name; }
    bool operator!=(GoalRule const& o) const { return !(name == o.name); }

    // 'H' heavy, else 'L' usual, else '_'.
    char typeLetter() const { return heavy ? 'H' : (usual ? 'L' : '_'); }

  private:
    void takeFrom(GoalRule& o) noexcept {
        phony = o.phony;
        heavy = o.heavy;
        usual = o.usual;
        keepOnError = o.keepOnError;
        intermediate = o.intermediate;
        force = o.force;
        lazy = o.lazy;
        timeOf.clear();
        timeOf.swap(o.timeOf);
        o.phony = o.heavy = o.usual = o.keepOnError = o.intermediate = o.force = o.lazy = false;
        name.clear();
        name.swap(o.name);
        depsUsual.clear();
        depsUsual.swap(o.depsUsual);
        depsExistOnly.clear();
        depsExistOnly.swap(o.depsExistOnly);
        howCmds.clear();
        howCmds.swap(o.howCmds);
    }
};

typedef Map_Kobj2Vobj<CxStr1p, GoalRule> GoalRuleMap;

// What filling the table keeps beside it: a hash index over its names and
// every dependency as written, in reading order (which goal named which
// dependency first is found from it once the table is complete).
struct DepEdge {
    GoalRule* goal;
    bool existOnly;
    long long at;
};
struct GoalLoadIndex {
    NameIndex names;
    Vect1p_Vobj<GoalRule*> rules;
    Vect1p_Vobj<DepEdge> edges;
};

// Counts the changes of the goal table (goals, dependencies, recipes), so that
// an index of it knows when it is out of date.
long long goalTableChanges();

// Rule line callback: ".PHONY" (any case) marks the goals phony, "default"
// (any case) sets the default goal, anything else is a rule for the goal text
// with usual dependencies, then exist-only ones after a lone "|".
bool addGoalDeps(CxStr1p const& goals, CxStr1p const& deps);
// The same for one goal without the special names and without choosing the
// default goal.
bool addGoalDepsPlain(CxStr1p const& goal, CxStr1p const& deps);
// Recipe line callback: appends the line and classifies its command word.
bool addGoalHowCmd(CxStr1p const& goal, CxStr1p const& line);
// ".DEFAULT_GOAL" callback: each token becomes the default goal in turn.
bool setGoalDefault(CxStr1p const& list);
bool addPhonyGoals(CxStr1p const& list);
// A Makefile's marks of one goal: 'k' kept on error, 'i' intermediate, 'f'
// force, 'l' lazy.
bool setGoalMarks(CxStr1p const& goal, char const* marks);
bool setGoalTimeOf(CxStr1p const& goal, CxStr1p const& file);
// The file whose time is the goal's.
inline CxStr1p const& goalFile(GoalRule const& r) {
    return r.timeOf.isEmpty() ? r.name : r.timeOf;
}
// Forgets every goal and dependency, for a Makefile read again.
void goalTableReset();
// Once the table is complete: with maps, the dependency maps (each goal's
// dependencies, sorted, once each); and for the goals whose recipes run
// commands, the first goal that named each. False when memory ran out.
bool goalDepsPrepare(bool maps = true);
// The goals on a cycle of both dependency kinds together, in key order, each
// followed by sep; false when memory ran out.
bool goalsCircularAdd(CxStr1p& out, char sep);
