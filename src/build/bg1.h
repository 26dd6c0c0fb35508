// The sequential build: depth-first from each requested goal, one recipe
// at a time in the calling thread's walk.
#pragma once

#include "base/containers.h"
#include "base/str.h"

// Goal state values (Vars::goalState): 0 or below not visited or missing,
// 1 visit under way, 2 failed, 7 an existing directory, 3 and above a time.
enum : long long { kGoalVisiting = 1, kGoalFailed = 2, kGoalDir = 7, kGoalTimeMin = 3 };

bool buildBg1GoalArgs();
bool buildVisitGoal(CxStr1p const& name, bool isDep);
long long buildGoalTime(CxStr1p const& name, bool isDep, bool phony);
bool buildVisitDeps(CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                    Vect1p_Vobj<CxStr1p> const& deps, bool compareTimes);
bool buildSetGoalState(CxStr1p const& name, long long value);

// Shared with the parallel build.
// A file's time (0 when missing, kGoalDir for a directory), counting queries.
long long goalTimeCounted(long long& fsUse, CxStr1p const& name, bool isDep, bool phony);
// The state entry of a name, made (0, not visited) when absent. Tree nodes
// never move, so the pointer stays good while other names are added.
long long* stateSlot(CxStr1p const& name);
struct GoalRule;
GoalRule* ruleOf(CxStr1p const& name);
CxStr1p dateText(long long t);
