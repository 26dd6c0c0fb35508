// The goal table and dependency graph of a run: owned by the run driver,
// reached through GraphState::_p, valid only while appMain runs.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "graph/deps.h"
#include "graph/goals.h"

struct GraphState {
    CxStr1p defaultGoal;
    // Names, dependencies and one-line recipes of the goal table are views
    // of texts kept here; they stay until the run ends.
    TextStore goalTexts;
    GoalRuleMap goalRules;
    GoalLoadIndex goalLoad;
    DepsMap depsMapUsual;
    DepsMap depsMapExistOnly;
    long long rulesWithCmds = 0;
    long long cmdsAll = 0;
    GoalKindSet rulesHeavy{GoalKindSet::OwnHeavy}, rulesUsual{GoalKindSet::OwnUsual};
    GoalKindSet rulesHeavyAdj{GoalKindSet::Heavy}, rulesUsualAdj{GoalKindSet::Usual};
    long long elDepsExpand = 0; // ns; 0 = not measured
    long long elDepsAdapt = 0;
    long long elDepsTotal = 0;
    long long printDepsUsual = 0;
    long long printDepsExistOnly = 0;

    static GraphState* _p;
};
