// The parallel build: walks the goal graph once, hands every ready recipe to
// the job queue as a job when a slot is free, and visits a goal that waited
// again as soon as the last goal it waited for is decided.
#pragma once

#include "base/containers.h"
#include "base/str.h"

struct GoalRule;

bool buildBgjGoalArgs();
void buildBgjJobsDestroy();

struct GoalSlot;

bool bgjVisitGoal(bool& pending, CxStr1p const& name, bool isDep, GoalSlot* known = nullptr);
bool bgjVisitDeps(bool& pending, CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                  StrVect const& deps, bool compareTimes, GoalSlot* const* slots = nullptr);
long long bgjGoalTime(CxStr1p const& name, bool isDep, bool phony);
bool bgjSetGoalState(CxStr1p const& name, long long value);
// Pushes up to free jobs of todo from head on, moving both; every pushed goal
// goes into submitted. False (and the stop flag) when the queue refused one.
bool bgjSubmitJobs(Vect1p_Vobj<GoalRule*>& todo, long long& head, long long& free,
                   StrSet& submitted);
// Hands a job to the queue; tests put their own in to see the order of pushes.
typedef bool (*BgjPushJobFn)(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label);
extern BgjPushJobFn g_bgjPushJob;
