#include <windows.h>

#include "jobs/cores_sys.h"

int hostCpuCores() {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors > 0 ? (int)si.dwNumberOfProcessors : 1;
}
