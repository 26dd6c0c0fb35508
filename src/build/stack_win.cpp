#include "build/stack_sys.h"

#include <windows.h>

namespace {
struct Call {
    void (*fn)(void*);
    void* arg;
};
DWORD WINAPI trampoline(LPVOID p) {
    Call* c = static_cast<Call*>(p);
    c->fn(c->arg);
    return 0;
}
} // namespace

// The size is reserved address space; pages are committed as the stack grows.
bool hostRunOnThread(void (*fn)(void*), void* arg, long long bytes) {
    Call call{fn, arg};
    HANDLE h = CreateThread(nullptr, (SIZE_T)bytes, trampoline, &call,
                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!h) return false;
    bool ok = WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ok;
}
