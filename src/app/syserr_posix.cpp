#include <cerrno>
#include <unistd.h>

#include "app/syserr.h"

// No separate system error code here; errno says it all.
unsigned long errnrGetLastError_OnPosix() {
    return 0;
}
unsigned long errnrGetLastError() {
    return errnrGetLastError_OnPosix();
}

bool fdWriteAll_OnPosix(int fd, char const* buf, long long n) {
    while (n > 0) {
        ssize_t w = write(fd, buf, (size_t)n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        buf += w;
        n -= (long long)w;
    }
    return true;
}
bool fdWriteAll(int fd, char const* buf, long long n) {
    return fdWriteAll_OnPosix(fd, buf, n);
}
