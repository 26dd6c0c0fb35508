#include "exec/runner.h"

#include "exec/sys.h"

// cmd.exe through the runtime's system(); its result is the exit code.
bool runShell_OnWin(int& rc, CxStr1p const& cmd) {
    rc = sysRunCmd(cmd);
    return rc == 0;
}

bool runShell(int& rc, CxStr1p const& cmd) {
    return runShell_OnWin(rc, cmd);
}
