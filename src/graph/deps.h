// Dependency maps: goal name to the ordered set of its dependency names,
// their closure, the cycle check and the preparation run after loading.
#pragma once

#include "base/containers.h"
#include "base/str.h"

typedef StrSet DepsSet;
typedef Map_Kobj2Vobj<CxStr1p, DepsSet> DepsMap;

bool depsAddOne(DepsMap& map, CxStr1p const& goal, CxStr1p const& dep);
bool depsAddSet(DepsMap& map, CxStr1p const& goal, DepsSet const& deps);
// Separators default to "|\r\n \t" when null.
bool depsAddList(DepsMap& map, CxStr1p const& goal, CxStr1p const& text,
                 char const* seps = nullptr);
bool depsHas(DepsMap const& map, CxStr1p const& goal);
bool depsHas(DepsMap const& map, CxStr1p const& goal, CxStr1p const& dep);
// The goal's set, or an empty set for an absent goal.
DepsSet const& depsAt(DepsMap const& map, CxStr1p const& goal);
DepsSet depsGet(DepsMap const& map, CxStr1p const& goal);
CxStr1p depsGoalList(DepsMap const& map);
CxStr1p depsList(DepsMap const& map, CxStr1p const& goal);
// Alternatives are "|"-separated exact names.
CxStr1p depsListAlt(DepsMap const& map, CxStr1p const& goal, CxStr1p const& alts);
CxStr1p depsListAllAlt(DepsMap const& map, CxStr1p const& alts);
// "goal : dep dep\n" per goal.
CxStr1p depsDumpText(DepsMap const& map);
bool depsExpandGoal(DepsMap& map);
// Transitive closure, in passes until nothing changes.
bool depsExpandDeps(DepsMap& map);
// Goals whose own set holds them, in key order, joined by sep.
CxStr1p depsCircDetect(DepsMap const& map, char sep);
bool depsCircDetectAdd(CxStr1p& out, DepsMap const& map, char sep);
// The goals that the closure would mark as circular (on a cycle of goals or
// with a self edge), found in time linear in goals plus edges without
// building the closure; same order and form as depsCircDetect.
CxStr1p depsCircDetectScc(DepsMap const& map, char sep);
// Appending form; false when memory ran out.
bool depsCircDetectSccAdd(CxStr1p& out, DepsMap const& map, char sep);
// The same over the goals and edges of two maps together.
bool depsCircDetectSccJoinAdd(CxStr1p& out, DepsMap const& a, DepsMap const& b, char sep);
bool depsCopyAlt(DepsMap& dst, DepsMap const& src, CxStr1p const& alts);
bool depsJoinProviders(DepsMap& dst, DepsMap const& src, StrMap const& providers);

// Expansion and cycle check of one map; label names it in messages.
bool depsExpandStep(DepsMap& map, char const* label);
// Both maps, then the heavy / usual flag adjustment; times into GraphState.
bool depsAllSteps();
