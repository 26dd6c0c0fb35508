#include "build/stack.h"

#include "build/stack_sys.h"

bool runOnLargeStack(void (*fn)(void*), void* arg, long long bytes) {
    return hostRunOnThread(fn, arg, bytes);
}
