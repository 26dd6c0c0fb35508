// The goal table: one record per goal with its dependencies in written
// order, its recipe text and its phony / heavy / usual flags. The rules
// evaluator fills it through the callbacks below.
#pragma once

#include "base/containers.h"
#include "base/str.h"

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
    // GoalKindSet marks: heavy / usual by the goal's own recipe.
    unsigned char ownKinds = 0;
    CxStr1p timeOf; // the file whose time is the goal's (a Makefile's "::" rule); else name
    CxStr1p name;
    StrVect depsUsual;
    StrVect depsExistOnly;
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
        ownKinds = o.ownKinds;
        o.ownKinds = 0;
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

// The goal table. Records sit in blocks that never move (the builds keep
// pointers to them), are found by name through a hash and are listed in key
// order, sorted when first asked for after a change: a tree would cost a
// node, a copy of the name and a search per goal.
class GoalTable {
  public:
    struct Node {
        GoalRule val; // its name is the key
    };

    GoalTable() = default;
    GoalTable(GoalTable const&) = delete;
    GoalTable& operator=(GoalTable const&) = delete;
    ~GoalTable() { clear(); }

    long long size() const { return count; }
    bool isEmpty() const { return count < 1; }
    // The goal's number (the order in which goals were entered); -1 for none.
    long long idOf(CxStr1p const& name) const;
    Node& node(long long id) const { return blocks.data[id >> kShift][id & kMask]; }
    GoalRule* find(CxStr1p const& name) const {
        long long id = idOf(name);
        return id >= 0 ? &node(id).val : nullptr;
    }
    // An absent name yields an empty record.
    GoalRule& at(CxStr1p const& name);
    // Enters a goal whose name is a view of the n bytes at text, which the
    // caller keeps for the table's life; a name already there keeps its
    // record (added false). Null when memory ran out.
    GoalRule* add(char const* text, long long n, bool& added);
    void clear();

    // Goal numbers in key order; null when memory ran out for the sorting.
    int const* ordered() const;

    struct Iter {
        GoalTable const* t;
        long long i;
        Node& operator*() const { return t->node(t->order.data[i]); }
        Node* operator->() const { return &**this; }
        Iter& operator++() {
            ++i;
            return *this;
        }
        bool operator!=(Iter const& o) const { return i != o.i; }
    };
    // In key order.
    Iter begin() const { return Iter{this, ordered() ? 0 : count}; }
    Iter end() const { return Iter{this, count}; }

  private:
    static int const kShift = 12;
    static long long const kMask = (1 << kShift) - 1;
    struct Slot {
        unsigned hash;
        int id; // -1: free
    };
    Vect1p_Vobj<Node*> blocks;
    long long count = 0;
    Vect1p_Vobj<Slot> slots;
    mutable Vect1p_Vobj<int> order;
    mutable bool sorted = true;
    GoalRule spare;

    bool grow();
};
typedef GoalTable GoalRuleMap;

// The goals of one kind, told by a mark on each goal rather than a set of
// names beside the table (a tree node and a copy of the name per goal):
// heavy or usual by the goal's own recipe, or by the flag, which the
// graph preparation also raises for goals that lead to such a goal.
class GoalKindSet {
  public:
    enum Kind { OwnHeavy = 1, OwnUsual = 2, Heavy = 4, Usual = 8 };
    explicit GoalKindSet(Kind k) : kind(k) {}
    // Marks the goal (and, for an own kind, only the mark); false when it
    // was marked already.
    bool mark(GoalRule& g);
    bool hasIdx(CxStr1p const& goal) const;
    long long size() const { return count; }
    bool isEmpty() const { return count < 1; }
    // The marks go with the goals; only the count is kept here.
    void clear() { count = 0; }

  private:
    Kind kind;
    long long count = 0;
};

// What filling the table keeps beside it: every dependency as written, in
// reading order (which goal named which dependency first is found from it
// once the table is complete).
struct DepEdge {
    int goal; // its number in the table
    int at;   // place in its list, times two, plus one for an exist-only one
};
struct GoalLoadIndex {
    Vect1p_Vobj<DepEdge> edges; // those not yet taken into firstNamers
    // By goal number: the goal that named it first as a dependency; -1 for none.
    Vect1p_Vobj<int> firstNamers;
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
// dependencies, sorted, once each); and the first goal that named each goal
// (goalFirstNamersFind). False when memory ran out.
bool goalDepsPrepare(bool maps = true);
// Takes the dependencies written since the last call into the first namers,
// and keeps only those that name no goal yet. False when memory ran out.
bool goalFirstNamersFind();
// After goalFirstNamersFind: the goal that named the goal dep first, when
// dep's recipe runs commands; null otherwise.
GoalRule* goalFirstNamer(CxStr1p const& dep);
// Raises heavy / usual of the first namer of each goal whose recipe runs
// commands, the goals taken in key order. False when memory ran out.
bool goalKindsAdjust();
// The goals on a cycle of both dependency kinds together, in key order, each
// followed by sep; false when memory ran out.
bool goalsCircularAdd(CxStr1p& out, char sep);
