#include <unistd.h>

#include "jobs/cores_sys.h"

int hostCpuCores() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? (int)n : 1;
}
