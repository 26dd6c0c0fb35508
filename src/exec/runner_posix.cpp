#include "exec/runner.h"

#include <cstdio>

#include "exec/run.h"

// The interpreter as a registered child: an interrupt stops it (system()
// would leave it running), and its exit code is its own (128+N for signal N).
bool runShell_OnPosix(int& rc, CxStr1p const& cmd) {
    fflush(stdout);
    fflush(stderr);
    RunAppInfo app;
    if (!runFork(app, cmd)) {
        rc = 2;
        return false;
    }
    runAppWaitExit(app);
    rc = retCodeSimplify(runAppGetRetCode(app));
    return rc == 0;
}

bool runShell(int& rc, CxStr1p const& cmd) {
    return runShell_OnPosix(rc, cmd);
}
