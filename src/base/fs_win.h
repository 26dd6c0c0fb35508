// Windows helpers shared by the Windows files: handles behind descriptors.
#pragma once

#include <windows.h>

#include <io.h>

#include <cstdint>
#include <shared_mutex>

inline bool winHandleValid(void* h) {
    return h != nullptr && h != (void*)INVALID_HANDLE_VALUE;
}

// The handle behind a descriptor; null when there is none.
inline void* winHandleOfFd(int fd) {
    if (fd < 0) return nullptr;
    intptr_t h = _get_osfhandle(fd);
    if (h == -1 || h == -2) return nullptr;
    return (void*)h;
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
