// The sequential build: depth-first from each requested goal, one recipe
// at a time in the calling thread's walk.
#pragma once

#include "build/walk.h"

bool buildBg1GoalArgs();
bool buildVisitGoal(CxStr1p const& name, bool isDep, GoalSlot* known = nullptr);
long long buildGoalTime(CxStr1p const& name, bool isDep, bool phony);
bool buildVisitDeps(CxStr1p const& goal, long long& goalTime, bool& outOfDate, StrVect const& deps,
                    bool compareTimes, GoalSlot* const* slots = nullptr);
bool buildSetGoalState(CxStr1p const& name, long long value);
