// Listings of the goal table: dependencies ("D") and rules ("R").
#pragma once

#include "base/str.h"
#include "graph/goals.h"

// One goal: a line for mode 'D' (or 0), else a multi-line form. Adds the
// goal's dependency counts to GraphState::printDepsUsual / printDepsExistOnly.
CxStr1p strGoalDeps(GoalRule const& rule, char mode);
bool echoGoalsDeps(char mode);
