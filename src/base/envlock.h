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

// Handles are made inheritable only for the start that hands them over, and
// that start names them in a list, so starts can share this lock. A start that
// takes every inheritable handle along (the fallback where the system refuses
// a list, the runtime's system()) takes it alone: no other start's handles
// reach its child.
inline std::shared_mutex& inheritLock() {
    static std::shared_mutex m;
    return m;
}
