// Process-wide run state: the configuration record filled from options and the
// holder of everything a run owns. Reached through three static pointers that
// are valid only while appMain runs.
#pragma once

#include "base/containers.h"
#include "base/str.h"
#include "build/fsstat.h"
#include "exec/run.h"
#include "graph/deps.h"
#include "graph/goals.h"
#include "rules/envmap.h"

struct Conf {
    bool stop = false;
    int passLevel = 0;
    bool cdDone = false;
    CxStr1p argsText;
    CxStr1p goalsText;
    CxStr1p rulesFile;
    CxStr1p debugArgs;
    CxStr1p jobsArgs;
    CxStr1p bgOption;
    char bgType = 0;
    int jobs = 0;
    long long waitBeginMs = -1;
    long long waitEndMs = -1;
    long long waitHangMs = -1;
    bool sysCalls = false;
    bool gnuMake = false;             // the rules file is a GNU Makefile
    bool noBuiltinRules = false;      // -r: a Makefile gets no built-in implicit rules
    bool noBuiltinVars = false;       // -R: nor the built-in variables
    bool envOverrides = false;        // -e: the environment wins over a Makefile's assignments
    bool warnUndefined = false;       // --warn-undefined-variables
    int printDir = 0;                 // -w 1, --no-print-directory -1, else as GNU make decides
    bool cdGiven = false;             // -C
    bool keepGoing = false;           // -k: other goals go on after a failure
    bool dryRun = false;              // -n: recipe lines are printed, not run
    bool alwaysMake = false;          // -B: every goal with a recipe is out of date
    bool silent = false;              // -s: recipe lines are not shown
    bool ignoreErrors = false;        // -i
    Vect1p_Vobj<CxStr1p> rulesFiles;  // every -f, in order (a Makefile reads them all)
    Vect1p_Vobj<CxStr1p> includeDirs; // -I
    Set_Kobj<CxStr1p> whatIf;         // -W: taken as changed just now
    Set_Kobj<CxStr1p> oldFiles;       // -o: never remade, never newer
    CxStr1p dcLetters;
    bool dbgOpt = false, dbgConf = false, dbgGoals = false, dbgRules = false, dbgDeps = false,
         dbgTrack = false, dbgExec = false, dbgExecAll = false, dbgFn = false, dbgJobs = false,
         dbgVars = false, dbgCat = false;
    bool printDeps = false, printRules = false, printOnly = false;
};

// How far the dependency visits of a goal have got in the parallel build:
// phase 1 exist-only dependencies complete, 2 all complete (then outOfDate
// tells the finding); time is its file time, read on the first visit
// (timeKnown). A pending goal waits for `waits` others (dependencies that
// were pending) or for its own job; the goals waiting for this one are a
// list in the build's wait edges starting at firstWaiter.
struct DepsPhase {
    int phase = 0;
    bool outOfDate = false;
    bool timeKnown = false;
    bool pending = false;
    // Counts and places of goals and edges, which number less than 2^31: ints
    // keep the goal index's entry small.
    int waits = 0;
    int firstWaiter = -1;
    long long time = 0;
};

class Vars {
  public:
    int retCode = 0;
    bool failed = false;
    Conf conf;
    EnvMap envMap;
    bool topLevel = false;
    CxStr1p exeName;
    CxStr1p bgWorkerCmd;
    CxStr1p cwdName;
    CxStr1p selfCmd;
    CxStr1p argsEnv;
    CxStr1p levelText;
    CxStr1p logHeader;
    CxStr1p tmpDir;
    int jobsMax = 0;
    Vect1p_Vobj<CxStr1p> goals;

    // Rules file.
    CxStr1p rulesFileUsed;
    FsStatBag rulesFilesStat;

    // Goal table and dependency graph.
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

    // Build state of the current requested goal.
    Map_Kobj2Vobj<CxStr1p, long long> goalState;
    Vect1p_Vobj<CxStr1p> goalStackTrack;

    // Parallel build of the current requested goal.
    Map_Kobj2Vobj<CxStr1p, DepsPhase> goalDepsPhase; // goals outside the graph's index
    Vect1p_Vobj<GoalRule*> goalStack;                // pending goals whose waits have ended
    Set_Kobj<CxStr1p> jobsScheduled;                 // made jobs, not yet finished
    Vect1p_Vobj<GoalRule*> todoHeavy, todoUsual;     // ready jobs not yet pushed
    long long todoHeavyHead = 0, todoUsualHead = 0;
    Set_Kobj<CxStr1p> submittedHeavy, submittedUsual;
    Vect1p_Vobj<RunAppInfo> jobsDoneInfo;
    // Makefile goals: file times before their recipes ran (.DELETE_ON_ERROR),
    // intermediate files made by this run.
    Map_Kobj2Vobj<CxStr1p, long long> timesBeforeRecipe;
    Map_Kobj2Vobj<CxStr1p, long long> timesOfTargets; // of "::" rules' targets, read once
    Vect1p_Vobj<CxStr1p> madeIntermediates;
    double hangTimeoutSec = 0;
    long long hangTimeoutNs = 0;
    long long lastProgressNs = 0;

    static Vars* _pVars;
    static Conf* _pConf;
    static EnvMap* _pEnvMap;

    Vars();
    ~Vars();
    Vars(Vars const&) = delete;
    Vars& operator=(Vars const&) = delete;
};

// True in a process started as a background worker.
extern bool workerMode;
