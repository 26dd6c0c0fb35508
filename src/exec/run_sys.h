// The platform half of exec/run: starting children and waiting for them,
// stopping them, and pipe details. run.cpp makes the shared checks first.
#pragma once

#include "base/containers.h"
#include "exec/run.h"

struct RunSys {
    char const* (*runShellPrefix)();
    char const* (*runShellExecPrefix)();
    // Called with the record reset and a command line present.
    bool (*spawnChildFork)(_RunAppStart& st, RunAppInfo& app);
    // argv[0] found as sh finds a program, started in dir with fds as its
    // standard descriptors (-1: ours); 0, or 127 not found, 126 not startable.
    int (*spawnProgram)(RunAppInfo& app, StrVect const& argv, CxStr1p const& dir,
                        int const* fds);
    bool (*spawnChildPipes)(_RunAppStart& st, RunCapRIO& r);
    bool (*runAppPeekExit)(RunAppInfo& app);
    bool (*runAppWaitExit)(RunAppInfo& app);
    bool (*runAppWaitAnyExit)(RunAppInfo* const* apps, long long n, long long ms, int const* fds,
                              long long nfds);
    void (*runAppCloseProcStat)(RunAppInfo& app);
    bool (*runTakeReapedExit)(long long pid, int& code);
    bool (*pidSigAskStop)(long long pid);
    bool (*pidSigForceStop)(long long pid);
    bool (*pidIsActive)(long long pid);
    bool (*pidSigToChild)(long long pid, int sig);
    bool (*fsInitSigPipeIgnore)();
    bool (*fsSigPipeRestore)();
    bool (*fdSetBlocking)(int fd, bool blocking, RunHandle h);
    bool (*fdSetBinaryMode)(int fd);
    bool (*cbufPipePeekFd)(int fd, int& errNo, RunHandle h); // fd >= 0
    long long (*cbufPipeGetSizeFd)(int fd, RunHandle h);
    bool (*runHandleClose)(RunHandle h);
};

RunSys const& runSys();
