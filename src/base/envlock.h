// The lock of the process environment: worker threads export variables while
// others start children, which copy the environment.
#pragma once

#include <mutex>

inline std::recursive_mutex& envLock() {
    static std::recursive_mutex m;
    return m;
}
