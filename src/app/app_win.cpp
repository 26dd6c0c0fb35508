#include <winsock2.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>

#include "app/app_sys.h"

// Text mode would turn "\n" into "\r\n" and stop reads at Ctrl-Z.
static bool osInitStdBinary() {
    bool ok = _setmode(0, _O_BINARY) != -1;
    ok = _setmode(1, _O_BINARY) != -1 && ok;
    ok = _setmode(2, _O_BINARY) != -1 && ok;
    return ok;
}

// There is no broken-pipe signal here.
static bool osInitSigPipeIgnore() {
    return true;
}

// Large pages need a privilege a user rarely holds; the heap stays as the
// system gives it.
static void osInitHeap() {}

static bool osHostNameSet(CxStr1p& out) {
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

AppSys const& appSys() {
    static constexpr AppSys kSys = {osInitStdBinary, osInitSigPipeIgnore, osInitHeap,
                                    osHostNameSet};
    return kSys;
}
