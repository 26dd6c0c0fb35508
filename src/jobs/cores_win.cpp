#include <windows.h>

#include "jobs/threads.h"

int infoCpuCoresCount_OnWin() {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors > 0 ? (int)si.dwNumberOfProcessors : 1;
}

int infoCpuCoresCount() {
    static int cores = 0; // read once
    if (cores < 1) cores = infoCpuCoresCount_OnWin();
    return cores;
}
