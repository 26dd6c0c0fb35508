#include <process.h>

#include "exec/signals_sys.h"

static long long osGetPid() {
    return (long long)_getpid();
}

// Every child runs in a job of its own; stopping it ends the whole tree, this
// run included, so there is nothing to ask for here.
static bool osEndWithParent() {
    return true;
}

SigSys const& sigSys() {
    static constexpr SigSys kSys = {osGetPid, osEndWithParent};
    return kSys;
}
