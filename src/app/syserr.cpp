#include "app/syserr.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/syserr_sys.h"
#include "base/fs.h"

int errnrGet() {
    return errno;
}

unsigned long errnrGetLastError() {
    return hostLastError();
}

void errnrClear() {
    errno = 0;
    hostLastErrorClear();
}

bool fdWriteAll(int fd, char const* buf, long long n) {
    long long done = 0;
    int err = 0;
    return cbufWriteFd(fd, buf, n, done, err);
}

static bool ctxIs(char const* context, char const* tag) {
    return context && std::strcmp(context, tag) == 0;
}

// Both platforms report a closed or empty pipe through different pairs of
// errno and system code; the pipe code only looks at the adapted errno.
int errnrAdapt(int e, unsigned long w, char const* context) {
    bool pr = ctxIs(context, "pr");
    bool pw = ctxIs(context, "pw");
    if (e == 22 && w == 232) {
        if (pr) return 11;
        if (pw) return 32;
    }
    if (e == 9) {
        if (pr) return 32;
        if (w == 183 && pw) return 32;
        return 9;
    }
    if (e == 0 && w == 5) return pr ? 9 : 0;
    if ((e == 22 || e == 0) && (w == 232 || w == 6) && pw) return 32;
    if (w == 109 && (e == 22 || e == 0) && context && std::strchr(context, 'p')) return 32;
    return e;
}

int errnrGetAdapt(char const* context) {
    int e = errno;
    unsigned long w = errnrGetLastError();
    return errnrAdapt(e, w, context);
}

bool errIsReadAgain(int e) {
    return e == 22 || e == 11 || e == 4;
}
bool errIsReadAgainX0(int e) {
    return e == 0 || errIsReadAgain(e);
}
bool errIsWriteAgain(int e) {
    return e == 11 || e == 4 || e == 16 || e == 2;
}
bool errIsWriteAgainX0(int e) {
    return e == 0 || errIsWriteAgain(e);
}
bool errIsWriteEmpty(int e) {
    return e == 2;
}
bool errIsWriteEmptyX0(int e) {
    return e == 2 || e == 0;
}
bool errIsPipeRead(int e) {
    return e == 1;
}
bool errIsPipeWrite(int e) {
    return e == 32;
}
bool errIsPipeWriteX0(int e) {
    return e == 32 || e == 0;
}
bool errIsDiskIO(int e) {
    return e == 5 || e == 6 || e == 13 || e == 27 || e == 28 || e == 29 || e == 30;
}

bool errnrPrint(int e, char const* text) {
    std::printf("./?: errno %i // %s\n", e, text ? text : "");
    std::fflush(nullptr);
    return e == 0;
}
