#include "build/stack_sys.h"

#include <pthread.h>

namespace {
struct Call {
    void (*fn)(void*);
    void* arg;
};
void* trampoline(void* p) {
    Call* c = static_cast<Call*>(p);
    c->fn(c->arg);
    return nullptr;
}
} // namespace

bool hostRunOnThread(void (*fn)(void*), void* arg, long long bytes) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    Call call{fn, arg};
    pthread_t t;
    bool ok = pthread_attr_setstacksize(&attr, (size_t)bytes) == 0 &&
              pthread_create(&t, &attr, trampoline, &call) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) return false;
    return pthread_join(t, nullptr) == 0;
}
