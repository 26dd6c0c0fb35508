#include <windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "app/errnr.h"
#include "exec/run.h"

static_assert(sizeof(STARTUPINFOA) == 104, "start-up record size");

namespace {
HANDLE hh(RunHandle h) {
    return (HANDLE)h;
}

void closeH(HANDLE& h) {
    if (isValidHH_OnWin((RunHandle)h)) CloseHandle(h);
    h = nullptr;
}

STARTUPINFOA& startupOf(_RunAppStart& st) {
    return *reinterpret_cast<STARTUPINFOA*>(st.startupInfo);
}

void takeProcInfo(RunAppInfo& app, PROCESS_INFORMATION const& pi) {
    app.procInfo.hProcess = (RunHandle)pi.hProcess;
    app.procInfo.hThread = (RunHandle)pi.hThread;
    app.procInfo.dwProcessId = pi.dwProcessId;
    app.procInfo.dwThreadId = pi.dwThreadId;
    app.pid = (long long)pi.dwProcessId;
}
} // namespace

char const* runShellPrefix() {
    return "cmd.exe /c ";
}

bool spawnChildFork(_RunAppStart& st, RunAppInfo& app) {
    runAppResetAtStart(app);
    if (!st.cmdLine) return false;
    app.started = true;
    STARTUPINFOA& si = startupOf(st);
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.hStdInput = si.hStdOutput = si.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (!CreateProcessA(nullptr, st.buf, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        closeH(pi.hProcess);
        closeH(pi.hThread);
        return false;
    }
    takeProcInfo(app, pi);
    return true;
}

bool spawnChildPipes(_RunAppStart& st, RunCapRIO& r) {
    runAppResetAtStart(r.app);
    if (!st.cmdLine) return false;
    r.app.started = true;
    HANDLE inR = nullptr, inW = nullptr, outR = nullptr, outW = nullptr, errR = nullptr,
           errW = nullptr;
    bool pipes = r.txOn || r.rxOutOn || r.rxErrOn;
    bool ok = true;
    STARTUPINFOA& si = startupOf(st);
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (pipes) {
        SECURITY_ATTRIBUTES sa;
        sa.nLength = sizeof sa;
        sa.lpSecurityDescriptor = nullptr;
        sa.bInheritHandle = TRUE;
        ok = CreatePipe(&inR, &inW, &sa, 0) && CreatePipe(&outR, &outW, &sa, 0) &&
             CreatePipe(&errR, &errW, &sa, 0);
        // The child's ends are inherited, ours are not.
        ok = ok && SetHandleInformation(inW, HANDLE_FLAG_INHERIT, 0) &&
             SetHandleInformation(outR, HANDLE_FLAG_INHERIT, 0) &&
             SetHandleInformation(errR, HANDLE_FLAG_INHERIT, 0) &&
             SetHandleInformation(inR, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
             SetHandleInformation(outW, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
             SetHandleInformation(errW, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = inR;
        si.hStdOutput = outW;
        si.hStdError = r.errToOut ? outW : errW;
    }
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (ok) {
        ok = CreateProcessA(nullptr, st.buf, nullptr, nullptr, pipes ? TRUE : FALSE, 0, nullptr,
                            nullptr, &si, &pi) != 0;
        if (ok) takeProcInfo(r.app, pi);
    }
    closeH(inR);
    closeH(outW);
    closeH(errW);
    int fdIn = -1, fdOut = -1, fdErr = -1;
    if (ok && pipes) {
        fdIn = fdOpenHH_OnWin((RunHandle)inW, "w");
        if (fdIn >= 0) inW = nullptr; // the descriptor owns it now
        fdOut = fdOpenHH_OnWin((RunHandle)outR, "r");
        if (fdOut >= 0) outR = nullptr;
        fdErr = fdOpenHH_OnWin((RunHandle)errR, "r");
        if (fdErr >= 0) errR = nullptr;
        ok = fdIn >= 0 && fdOut >= 0 && fdErr >= 0;
        // The pipes keep their blocking mode here: the no-wait mode can reach
        // the child's end of the same pipe (the child then takes an empty pipe
        // for the end of its input, or loses writes to a full one) and the
        // runtime's stream reads fail on it. Our reads never block anyway:
        // each one checks first that the pipe holds bytes.
    }
    if (!ok) {
        runAppCloseProcStat(r.app);
        for (int* fd : {&fdIn, &fdOut, &fdErr})
            if (*fd >= 0) _close(*fd);
        closeH(inW);
        closeH(outR);
        closeH(errR);
        r.pipeIn = RunPipe();
        r.pipeOut = RunPipe();
        r.pipeErr = RunPipe();
        return false;
    }
    if (pipes) {
        r.pipeIn.fdWrite = fdIn;
        r.pipeIn.hWrite = getHH_OnWin(fdIn);
        r.pipeIn.open = true;
        r.pipeOut.fdRead = fdOut;
        r.pipeOut.hRead = getHH_OnWin(fdOut);
        r.pipeOut.open = true;
        r.pipeErr.fdRead = fdErr;
        r.pipeErr.hRead = getHH_OnWin(fdErr);
        r.pipeErr.open = true;
    }
    return true;
}

bool runAppPeekExit(RunAppInfo& app) {
    if (app.pid != 0 && !app.exited && isValidHH_OnWin(app.procInfo.hProcess)) {
        DWORD code = 0;
        if (GetExitCodeProcess(hh(app.procInfo.hProcess), &code) && code != STILL_ACTIVE) {
            app.exited = true;
            app.retCode = retCodeSimplify((int)code);
            pidListDel(app.pid);
        }
    }
    if (app.exited) runAppCloseProcStat(app);
    return app.exited;
}

bool runAppWaitExit(RunAppInfo& app) {
    if (!app.exited && isValidHH_OnWin(app.procInfo.hProcess))
        WaitForSingleObject(hh(app.procInfo.hProcess), INFINITE);
    runAppPeekExit(app);
    runAppCloseProcStat(app);
    return app.exited;
}

char const* runShellExecPrefix() {
    return "";
}

bool runAppWaitAnyExit(RunAppInfo* const* apps, long long n, long long ms, int const*,
                       long long nExtra) {
    if (ms < 0) ms = 0;
    // Anonymous pipes cannot be waited on: look at them again soon.
    if (nExtra > 0 && ms > 2) ms = 2;
    HANDLE hs[MAXIMUM_WAIT_OBJECTS];
    DWORD k = 0;
    for (long long i = 0; i < n && k < MAXIMUM_WAIT_OBJECTS; ++i) {
        RunAppInfo const& a = *apps[i];
        if (a.exited || !isValidHH_OnWin(a.procInfo.hProcess)) return true;
        hs[k++] = hh(a.procInfo.hProcess);
    }
    if (k == 0) return false;
    DWORD r = WaitForMultipleObjects(k, hs, FALSE, (DWORD)ms);
    return r < WAIT_OBJECT_0 + k;
}

void runAppCloseProcStat(RunAppInfo& app) {
    if (isValidHH_OnWin(app.procInfo.hProcess)) CloseHandle(hh(app.procInfo.hProcess));
    if (isValidHH_OnWin(app.procInfo.hThread)) CloseHandle(hh(app.procInfo.hThread));
    app.procInfo.hProcess = nullptr;
    app.procInfo.hThread = nullptr;
}

bool runTakeReapedExit(long long, int&) {
    return false; // exit codes stay readable through the process handle
}

namespace {
bool terminatePid(long long pid, UINT code, DWORD waitMs) {
    if (pid <= 0) return false;
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, (DWORD)pid);
    if (!h) return false;
    bool ok = TerminateProcess(h, code) != 0;
    if (waitMs) WaitForSingleObject(h, waitMs);
    CloseHandle(h);
    return ok;
}
} // namespace

bool pidSigAskStop(long long pid) {
    return terminatePid(pid, 15, 0);
}
bool pidSigForceStop(long long pid) {
    return terminatePid(pid, 9, 1);
}
bool pidIsActive(long long) {
    return false;
}
bool pidSigToChild(long long, int) {
    return false;
}

bool fsInitSigPipeIgnore() {
    return true;
}
bool fsSigPipeRestore() {
    return true;
}

bool isValidHH_OnWin(RunHandle h) {
    return h != nullptr && h != (RunHandle)INVALID_HANDLE_VALUE;
}

RunHandle getHH_OnWin(int fd) {
    if (fd < 0) return nullptr;
    intptr_t h = _get_osfhandle(fd);
    if (h == -1 || h == -2) return nullptr;
    return (RunHandle)h;
}

int fdOpenHH_OnWin(RunHandle h, char const* mode) {
    if (!isValidHH_OnWin(h) || !mode) return -1;
    int flags = (strchr(mode, 'w') || strchr(mode, 'a')) ? _O_APPEND : 0;
    // Binary, so received bytes pass unchanged (no CR LF folding, no ^Z end).
    return _open_osfhandle((intptr_t)h, flags | _O_BINARY);
}

bool closeHH_OnWin(RunHandle h) {
    if (!isValidHH_OnWin(h)) return false;
    return CloseHandle(hh(h)) != 0;
}
bool runHandleClose(RunHandle h) {
    return closeHH_OnWin(h);
}

bool fdSetBlocking(int fd, bool blocking, RunHandle h) {
    HANDLE p = hh(isValidHH_OnWin(h) ? h : getHH_OnWin(fd));
    if (!isValidHH_OnWin((RunHandle)p)) return false;
    DWORD mode = 0;
    if (!GetNamedPipeHandleStateA(p, &mode, nullptr, nullptr, nullptr, nullptr, 0)) return false;
    mode = blocking ? (mode & ~(DWORD)PIPE_NOWAIT) : (mode | PIPE_NOWAIT);
    return SetNamedPipeHandleState(p, &mode, nullptr, nullptr) != 0;
}

bool fdSetBinaryMode(int fd) {
    return fd >= 0 && _setmode(fd, 0x8000) != -1;
}

bool cbufPipePeekFd(int fd, int& errNo, RunHandle h) {
    if (fd < 0) {
        errNo = EBADF;
        return false;
    }
    // Without a handle given, the descriptor's own is checked when it is a pipe.
    if (!isValidHH_OnWin(h)) {
        h = getHH_OnWin(fd);
        if (!isValidHH_OnWin(h) || GetFileType(hh(h)) != FILE_TYPE_PIPE) return true;
    }
    errClearSys();
    DWORD avail = 0;
    if (!PeekNamedPipe(hh(h), nullptr, 0, nullptr, &avail, nullptr)) {
        errNo = errnrGetAdapt("pr");
        if (errNo == 0) errNo = EPIPE;
        return false;
    }
    // Empty but open: never block in the read, whatever the pipe's mode.
    if (avail == 0) {
        errNo = EAGAIN;
        return false;
    }
    return true;
}

long long cbufPipeGetSizeFd(int fd, RunHandle h) {
    HANDLE p = hh(isValidHH_OnWin(h) ? h : getHH_OnWin(fd));
    DWORD outSize = 0, inSize = 0;
    if (isValidHH_OnWin((RunHandle)p) && GetNamedPipeInfo(p, nullptr, &outSize, &inSize, nullptr)) {
        if (inSize > 0) return inSize;
        if (outSize > 0) return outSize;
    }
    return 1000;
}

long long fdReadSys(int fd, char* buf, long long n) {
    int r = _read(fd, buf, (unsigned)n);
    if (r == 0) errno = EPIPE; // end of data: the writer has gone
    return r;
}
long long fdWriteSys(int fd, char const* buf, long long n) {
    return _write(fd, buf, (unsigned)n);
}
int fdDupSys(int fd) {
    return _dup(fd);
}
int fdDup2Sys(int a, int b) {
    return _dup2(a, b);
}
int fdCloseSys(int fd) {
    return _close(fd);
}
int fdOpenSys(char const* path, int flags) {
    return _open(path, flags, _S_IREAD | _S_IWRITE);
}
int fdOpenFlags(char const* mode) {
    int fl = _O_RDONLY;
    if (strchr(mode, 'w')) fl |= _O_WRONLY | _O_CREAT | _O_TRUNC;
    if (strchr(mode, 'a')) fl |= _O_WRONLY | _O_CREAT | _O_APPEND;
    if (strchr(mode, 't')) fl |= _O_WRONLY | _O_CREAT;
    if (strchr(mode, 'b')) fl |= _O_BINARY;
    return fl;
}
FILE* fsFdOpenSys(int fd, char const* mode) {
    return _fdopen(fd, mode);
}
int fsFilenoSys(FILE* fs) {
    return _fileno(fs);
}
char const* fdNullPath() {
    return "nul";
}
void errClearSys() {
    errno = 0;
    SetLastError(0);
}
