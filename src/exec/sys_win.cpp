#include <cstdlib>

#include "exec/sys.h"

// The runtime's system() already yields the exit code of cmd.exe.
int sysRunCmd_OnWin(CxStr1p const& cmd) {
    int rc = system(cmd.c_str());
    return rc == -1 ? 2 : rc;
}

int sysSystem(CxStr1p const& cmd) {
    return sysRunCmd_OnWin(cmd);
}
