// The run driver's state: the options record, the variable store and the
// state of each layer, which the driver owns for one run and hands to the
// layers through their static pointers (valid only while appMain runs).
#pragma once

#include "app/conf.h"
#include "base/containers.h"
#include "base/str.h"
#include "build/buildstate.h"
#include "build/fsstat.h"
#include "graph/graphstate.h"
#include "rules/envmap.h"

class Vars : public RunInfo, public GraphState, public BuildState {
  public:
    int retCode = 0;
    Conf conf;
    EnvMap envMap;
    CxStr1p argsEnv;
    CxStr1p levelText;

    // Rules file.
    CxStr1p rulesFileUsed;
    FsStatBag rulesFilesStat;

    static Vars* _pVars;

    Vars();
    ~Vars();
    Vars(Vars const&) = delete;
    Vars& operator=(Vars const&) = delete;
};

// True in a process started as a background worker.
extern bool workerMode;
