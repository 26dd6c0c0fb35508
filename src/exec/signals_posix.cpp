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

static void osWriteFd2(char const* buf, int n) {
    while (n > 0) {
        ssize_t w = write(2, buf, (size_t)n);
        if (w <= 0) return;
        buf += w;
        n -= (int)w;
    }
}

SigSys const& sigSys() {
    static constexpr SigSys kSys = {osGetPid, osEndWithParent, osWriteFd2};
    return kSys;
}
