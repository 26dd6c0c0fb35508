#include <io.h>
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

static void osWriteFd2(char const* buf, int n) {
    while (n > 0) {
        int w = _write(2, buf, (unsigned)n);
        if (w <= 0) return;
        buf += w;
        n -= w;
    }
}

SigSys const& sigSys() {
    static constexpr SigSys kSys = {osGetPid, osEndWithParent, osWriteFd2};
    return kSys;
}
