// The walk state of the sequential and the parallel build: owned by the run
// driver, reached through BuildState::_p, valid only while appMain runs.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "exec/run.h"
#include "graph/goalindex.h"
#include "graph/goals.h"

struct BuildState {
    int jobsMax = 0;
    CxStr1p bgWorkerCmd; // starts a worker process (--bgp / --bgf)
    StrVect goals;       // the requested goals, in order

    // Build state of the current requested goal.
    StrNumMap goalState;
    StrVect goalStackTrack;

    // Parallel build of the current requested goal.
    Map_Kobj2Vobj<CxStr1p, DepsPhase> goalDepsPhase; // goals outside the graph's index
    Vect1p_Vobj<GoalRule*> goalStack;                // pending goals whose waits have ended
    StrSet jobsScheduled;                            // made jobs, not yet finished
    Vect1p_Vobj<GoalRule*> todoHeavy, todoUsual;     // ready jobs not yet pushed
    long long todoHeavyHead = 0, todoUsualHead = 0;
    StrSet submittedHeavy, submittedUsual;
    Vect1p_Vobj<RunAppInfo> jobsDoneInfo;
    // Makefile goals: file times before their recipes ran (.DELETE_ON_ERROR),
    // intermediate files made by this run.
    StrNumMap timesBeforeRecipe;
    StrNumMap timesOfTargets; // of "::" rules' targets, read once
    StrVect madeIntermediates;
    double hangTimeoutSec = 0;
    long long hangTimeoutNs = 0;
    long long lastProgressNs = 0;

    // Goal states and file times name goals of the table: cleared with it.
    void clearGoalStates() {
        goalState.clear();
        timesBeforeRecipe.clear();
        timesOfTargets.clear();
    }

    static BuildState* _p;
};
