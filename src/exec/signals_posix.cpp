#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "exec/signals_sys.h"

static long long osGetPid() {
    return (long long)getpid();
}

static bool osEndWithParent() {
    return prctl(PR_SET_PDEATHSIG, SIGTERM) == 0;
}

SigSys const& sigSys() {
    static constexpr SigSys kSys = {osGetPid, osEndWithParent};
    return kSys;
}
