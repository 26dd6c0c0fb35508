#include "jobs/que.h"

static long long g_queCapacity = 0;

long long queCmds2AnyCapacity() {
    return g_queCapacity;
}
