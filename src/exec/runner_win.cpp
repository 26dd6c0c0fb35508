#include "exec/runner.h"

#include <cstdio>
#include <cstdlib>

// cmd.exe through the runtime's system(); its result is the exit code.
bool runShell_OnWin(int& rc, CxStr1p const& cmd) {
    fflush(stdout);
    fflush(stderr);
    rc = system(cmd.c_str());
    if (rc == -1) rc = 2;
    return rc == 0;
}

bool runShell(int& rc, CxStr1p const& cmd) {
    return runShell_OnWin(rc, cmd);
}
