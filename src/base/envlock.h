// The lock of the process environment: worker threads export variables while
// others start children, which copy the environment. Starts share it, so two
// jobs ending together start their next children at once; an export takes it
// alone.
#pragma once

#include <shared_mutex>

inline std::shared_mutex& envLock() {
    static std::shared_mutex m;
    return m;
}
