#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "app/app.h"

// Streams are binary on this platform already.
bool initStdBinary_OnPosix() {
    return true;
}

bool initSigPipeIgnore_OnPosix() {
    return signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

long long getPid_OnPosix() {
    return (long long)getpid();
}

bool initStdBinary() {
    return initStdBinary_OnPosix();
}
bool initSigPipeIgnore() {
    return initSigPipeIgnore_OnPosix();
}
long long getPid() {
    return getPid_OnPosix();
}

bool endWithParent_OnPosix() {
    return prctl(PR_SET_PDEATHSIG, SIGTERM) == 0;
}
bool endWithParent() {
    return endWithParent_OnPosix();
}

static int g_savedFd[3] = {-1, -1, -1};

bool initSaveFdStd_OnPosix() {
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        // Not inherited: a command left running in the background would
        // otherwise hold our output open after we have ended.
        if (g_savedFd[i] < 0) g_savedFd[i] = fcntl(i, F_DUPFD_CLOEXEC, 0);
        ok = g_savedFd[i] >= 0 && ok;
    }
    return ok;
}
bool initSaveFdStd() {
    return initSaveFdStd_OnPosix();
}

bool hostNameSet_OnPosix(CxStr1p& out) {
    static char name[257];
    static bool done = false;
    if (!done) {
        if (gethostname(name, 256) != 0) name[0] = 0;
        name[256] = 0;
        done = true;
    }
    return out.setCstr(name) && !out.isEmpty();
}
bool hostNameSet(CxStr1p& out) {
    return hostNameSet_OnPosix(out);
}

void writeFd2(char const* buf, int n) {
    while (n > 0) {
        ssize_t w = write(2, buf, (size_t)n);
        if (w <= 0) return;
        buf += w;
        n -= (int)w;
    }
}
