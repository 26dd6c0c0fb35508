// The parallel build: walks the goal graph in waves, hands every ready recipe
// to the job queue as a job, and walks again from what was pending once the
// wave has finished.
#pragma once

#include "base/containers.h"
#include "base/str.h"

bool buildBgjGoalArgs();
void buildBgjJobsDestroy();

bool bgjVisitGoal(bool& pending, CxStr1p const& name, bool isDep);
bool bgjVisitDeps(bool& pending, CxStr1p const& goal, long long& goalTime, bool& outOfDate,
                  Vect1p_Vobj<CxStr1p> const& deps, bool compareTimes);
long long bgjGoalTime(CxStr1p const& name, bool isDep, bool phony);
bool bgjSetGoalState(CxStr1p const& name, long long value);
bool bgjSubmitJobs(Vect1p_Vobj<CxStr1p>& todo, Set_Kobj<CxStr1p>& submitted);
