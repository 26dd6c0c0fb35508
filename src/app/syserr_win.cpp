#include <windows.h>
#include <cerrno>
#include <io.h>

#include "app/syserr.h"

unsigned long errnrGetLastError_OnWin() {
    return (unsigned long)GetLastError();
}
unsigned long errnrGetLastError() {
    return errnrGetLastError_OnWin();
}

bool fdWriteAll_OnWin(int fd, char const* buf, long long n) {
    while (n > 0) {
        unsigned chunk = n > (1 << 30) ? (1u << 30) : (unsigned)n;
        int w = _write(fd, buf, chunk);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        buf += w;
        n -= w;
    }
    return true;
}
bool fdWriteAll(int fd, char const* buf, long long n) {
    return fdWriteAll_OnWin(fd, buf, n);
}
