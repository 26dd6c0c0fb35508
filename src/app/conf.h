// The options record and the few run-wide values that several layers read.
// Both are owned by the run driver and reached through static pointers that
// are valid only while appMain runs.
#pragma once

#include "base/containers.h"
#include "base/str.h"

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
    bool gnuMake = false;        // the rules file is a GNU Makefile
    bool shForeign = false;      // its SHELL is no POSIX shell: recipe lines are all its
    bool noBuiltinRules = false; // -r: a Makefile gets no built-in implicit rules
    bool noBuiltinVars = false;  // -R: nor the built-in variables
    bool envOverrides = false;   // -e: the environment wins over a Makefile's assignments
    bool warnUndefined = false;  // --warn-undefined-variables
    int printDir = 0;            // -w 1, --no-print-directory -1, else as GNU make decides
    bool cdGiven = false;        // -C
    bool keepGoing = false;      // -k: other goals go on after a failure
    bool dryRun = false;         // -n: recipe lines are printed, not run
    bool alwaysMake = false;     // -B: every goal with a recipe is out of date
    bool silent = false;         // -s: recipe lines are not shown
    bool ignoreErrors = false;   // -i
    StrVect rulesFiles;          // every -f, in order (a Makefile reads them all)
    StrVect includeDirs;         // -I
    StrSet whatIf;               // -W: taken as changed just now
    StrSet oldFiles;             // -o: never remade, never newer
    CxStr1p dcLetters;
    bool dbgOpt = false, dbgConf = false, dbgGoals = false, dbgRules = false, dbgDeps = false,
         dbgTrack = false, dbgExec = false, dbgExecAll = false, dbgFn = false, dbgJobs = false,
         dbgVars = false, dbgCat = false;
    bool printDeps = false, printRules = false, printOnly = false;

    // The run's record; valid only while appMain runs.
    static Conf* _p;
};

// The run's options; only while appMain runs.
Conf const& conf();

// Names and outcome of the run, set by the driver. failed is also set by the
// job queues when waiting for a job goes wrong.
struct RunInfo {
    bool topLevel = false;
    bool failed = false;
    CxStr1p exeName;
    CxStr1p selfCmd;   // the command that starts this program ("VORN")
    CxStr1p cwdName;   // last part of the working directory
    CxStr1p logHeader; // the log's application text

    static RunInfo* _p;
};
