#include "exec/sys.h"

#include <cstdio>

int sysRunCmd(CxStr1p const& cmd) {
    fflush(stdout);
    fflush(stderr);
    return sysSystem(cmd);
}
