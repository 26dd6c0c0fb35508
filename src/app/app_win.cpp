#include <winsock2.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>

#include "app/app.h"

// Text mode would turn "\n" into "\r\n" and stop reads at Ctrl-Z.
bool initStdBinary_OnWin() {
    bool ok = _setmode(0, _O_BINARY) != -1;
    ok = _setmode(1, _O_BINARY) != -1 && ok;
    ok = _setmode(2, _O_BINARY) != -1 && ok;
    return ok;
}

// There is no broken-pipe signal here.
bool initSigPipeIgnore_OnWin() {
    return true;
}

// Large pages need a privilege a user rarely holds; the heap stays as the
// system gives it.
void initHeap_OnWin() {}
void initHeap() {
    initHeap_OnWin();
}

long long getPid_OnWin() {
    return (long long)_getpid();
}

bool initStdBinary() {
    return initStdBinary_OnWin();
}
bool initSigPipeIgnore() {
    return initSigPipeIgnore_OnWin();
}
long long getPid() {
    return getPid_OnWin();
}

// Every child runs in a job of its own; stopping it ends the whole tree, this
// run included, so there is nothing to ask for here.
bool endWithParent_OnWin() {
    return true;
}
bool endWithParent() {
    return endWithParent_OnWin();
}

bool hostNameSet_OnWin(CxStr1p& out) {
    static char name[257];
    static bool done = false;
    if (!done) {
        WSADATA wsa;
        name[0] = 0;
        if (WSAStartup(MAKEWORD(2, 2), &wsa) == 0) {
            if (gethostname(name, 256) != 0) name[0] = 0;
            WSACleanup();
        }
        name[256] = 0;
        done = true;
    }
    return out.setCstr(name) && !out.isEmpty();
}
bool hostNameSet(CxStr1p& out) {
    return hostNameSet_OnWin(out);
}

void writeFd2(char const* buf, int n) {
    while (n > 0) {
        int w = _write(2, buf, (unsigned)n);
        if (w <= 0) return;
        buf += w;
        n -= w;
    }
}
