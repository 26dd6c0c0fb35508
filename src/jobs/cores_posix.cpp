#include <unistd.h>

#include "jobs/threads.h"

int infoCpuCoresCount_OnPosix() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? (int)n : 1;
}

int infoCpuCoresCount() {
    static int cores = 0; // read once
    if (cores < 1) cores = infoCpuCoresCount_OnPosix();
    return cores;
}
