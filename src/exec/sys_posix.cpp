#include <cstdlib>
#include <sys/wait.h>

#include "exec/sys.h"

int sysRunCmd_OnPosix(CxStr1p const& cmd) {
    int st = system(cmd.c_str());
    if (st == -1) return 2;
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
    return 2;
}

int sysSystem(CxStr1p const& cmd) {
    return sysRunCmd_OnPosix(cmd);
}
