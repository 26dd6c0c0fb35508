#include "exec/run.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/syserr.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "exec/run_sys.h"
#include "exec/signals.h"

namespace {

// End of data means the writer has gone.
long long pipeReadRaw(int fd, char* buf, long long n) {
    long long r = fdReadRaw(fd, buf, n);
    if (r == 0) errno = EPIPE;
    return r;
}

} // namespace

// ---- Through the platform table; checks both platforms share are made here.
char const* runShellPrefix() {
    return runSys().runShellPrefix();
}
char const* runShellExecPrefix() {
    return runSys().runShellExecPrefix();
}
bool spawnChildFork(_RunAppStart& st, RunAppInfo& app) {
    runAppResetAtStart(app);
    if (!st.cmdLine) return false;
    return runSys().spawnChildFork(st, app);
}
bool spawnChildPipes(_RunAppStart& st, RunCapRIO& r) {
    runAppResetAtStart(r.app);
    if (!st.cmdLine) return false;
    return runSys().spawnChildPipes(st, r);
}
bool runAppPeekExit(RunAppInfo& app) {
    return runSys().runAppPeekExit(app);
}
bool runAppWaitExit(RunAppInfo& app) {
    return runSys().runAppWaitExit(app);
}
bool runAppWaitAnyExit(RunAppInfo* const* apps, long long n, long long ms, int const* fds,
                       long long nfds) {
    return runSys().runAppWaitAnyExit(apps, n, ms, fds, nfds);
}
void runAppCloseProcStat(RunAppInfo& app) {
    runSys().runAppCloseProcStat(app);
}
bool runTakeReapedExit(long long pid, int& code) {
    return runSys().runTakeReapedExit(pid, code);
}
bool pidSigAskStop(long long pid) {
    return runSys().pidSigAskStop(pid);
}
bool pidSigForceStop(long long pid) {
    return runSys().pidSigForceStop(pid);
}
bool pidIsActive(long long pid) {
    return runSys().pidIsActive(pid);
}
bool pidSigToChild(long long pid, int sig) {
    return runSys().pidSigToChild(pid, sig);
}
bool fsInitSigPipeIgnore() {
    return runSys().fsInitSigPipeIgnore();
}
bool fsSigPipeRestore() {
    return runSys().fsSigPipeRestore();
}
bool fdSetBlocking(int fd, bool blocking, RunHandle h) {
    return runSys().fdSetBlocking(fd, blocking, h);
}
bool fdSetBinaryMode(int fd) {
    return runSys().fdSetBinaryMode(fd);
}
bool cbufPipePeekFd(int fd, int& errNo, RunHandle h) {
    if (fd < 0) {
        errNo = EBADF;
        return false;
    }
    return runSys().cbufPipePeekFd(fd, errNo, h);
}
long long cbufPipeGetSizeFd(int fd, RunHandle h) {
    return runSys().cbufPipeGetSizeFd(fd, h);
}
bool runHandleClose(RunHandle h) {
    return runSys().runHandleClose(h);
}

namespace {
constexpr long long kFdChunk = 1000;
constexpr long long kFsChunk = 4000;
constexpr long long kFileChunk = 4096;
constexpr long long kStrLimit = LLONG_MAX - 1; // text never grows past 2^63 - 2
constexpr int kWriteRetries = 5;

bool isStdPath(CxStr1p const& path, int& n) {
    if (path == "/dev/stdin")
        n = 0;
    else if (path == "/dev/stdout")
        n = 1;
    else if (path == "/dev/stderr")
        n = 2;
    else
        return false;
    return true;
}
} // namespace

// ---- records

bool operator==(RunAppInfo const& a, RunAppInfo const& b) {
    return a.pid == b.pid;
}
bool operator!=(RunAppInfo const& a, RunAppInfo const& b) {
    return a.pid != b.pid;
}

void RunRxChn::init(CxStr1p* str, int fdOut, FILE* fsOut) {
    pStr = str;
    fd = fdOut;
    fs = fsOut;
    updRxFlag();
}
void RunRxChn::updRxFlag() {
    on = pStr != nullptr || fd >= 0 || fs != nullptr;
}

bool rxChnPut(RunRxChn& chn, CxStr1p const& text) {
    if (text.len < 1 || !chn.on) return true;
    bool ok = true;
    if (chn.pStr) ok = chn.pStr->addCstr(text.c_str(), text.len) && ok;
    if (chn.fd >= 0) {
        ok = chn.fdBuf.addCstr(text.c_str(), text.len) && ok;
        ok = strPipeWriteMoveFd(chn.fd, chn.fdBuf, chn.fdErrNo) && ok;
    }
    if (chn.fs) {
        ok = chn.fsBuf.addCstr(text.c_str(), text.len) && ok;
        ok = strPipeWriteMoveFs(chn.fs, chn.fsBuf, chn.fsErrNo) && ok;
    }
    return ok;
}

void _RunAppStart::destroy() {
    free(buf);
    buf = nullptr;
    cmdLine = nullptr;
    cmdLen = 0;
}

bool _RunAppStart::initAppCmdLine(char const* text, long long n, bool viaShell) {
    if (!text || n < 0) return false;
    // The limit counts the interpreter prefix on every platform so a command
    // is accepted or refused alike everywhere.
    long long pre = viaShell ? kPrefixLen : 0;
    if (n + pre > kBufSize - 1) return false;
    if (!buf) {
        buf = (char*)malloc((size_t)kBufSize);
        if (!buf) return false;
    }
    char const* prefix = viaShell ? runShellPrefix() : "";
    long long pl = (long long)strlen(prefix);
    memcpy(buf, prefix, (size_t)pl);
    if (n > kBufSize - 1 - pl) n = kBufSize - 1 - pl;
    memcpy(buf + pl, text, (size_t)n);
    buf[pl + n] = 0;
    cmdLine = buf;
    cmdLen = pl + n;
    return true;
}

// ---- fork-style start

bool runFork(RunAppInfo& app, CxStr1p const& cmd, bool direct) {
    _RunAppStart st;
    if (&cmd != &app.cmd) app.cmd = cmd;
    st.direct = direct;
    if (!st.initAppCmdLine(app.cmd.c_str(), app.cmd.len, !direct)) {
        runAppResetAtStart(app);
        return false;
    }
    if (!spawnChildFork(st, app)) return false;
    return pidListAdd(app.pid);
}

bool runLineIsPlainWords(CxStr1p const& cmd) {
    return !strHas(cmd, '"') && !strHas(cmd, '\'') && !strHas(cmd, '\n');
}

int runProgram(RunAppInfo& app, StrVect const& argv, CxStr1p const& dir, int const* fds) {
    runAppResetAtStart(app);
    if (argv.isEmpty()) return 127;
    fflush(stdout);
    fflush(stderr);
    int rc = runSys().spawnProgram(app, argv, dir, fds);
    // Registered so an interrupt stops it; it runs and is waited for either way.
    if (rc == 0) pidListAdd(app.pid);
    return rc;
}

bool runForkWaitStart(RunAppInfo& app, int) {
    return app.pid > 0;
}
bool runAppWasExit(RunAppInfo const& app) {
    return app.exited;
}
int runAppGetRetCode(RunAppInfo const& app) {
    return app.retCode;
}
long long runAppGetPid(RunAppInfo const& app) {
    return app.pid;
}
int retCodeSimplify(int code) {
    return code;
}

void runAppResetAtStart(RunAppInfo& app) {
    app.started = false;
    app.pid = 0;
    app.exited = false;
    app.retCode = 2;
    app.procInfo = RunProcInfo();
}

// ---- captured start

void runCapResetAtStart(RunCapRIO& r) {
    r.txOn = r.rxOutOn = r.rxErrOn = false;
    runAppResetAtStart(r.app);
    r.rxBuf.clear();
    r.pipeIn = RunPipe();
    r.pipeOut = RunPipe();
    r.pipeErr = RunPipe();
    if (r.rxOut.pStr) r.rxOut.pStr->clear();
    if (r.rxErr.pStr) r.rxErr.pStr->clear();
    if (r.rxAll.pStr) r.rxAll.pStr->clear();
}

bool runCapPrepToStart(RunCapRIO& r) {
    r.txOn = r.txData.len > 0;
    // A lone 0x01 asks for an input pipe without anything to send yet.
    if (r.txData.len == 1 && r.txData.data[0] == 1) r.txData.clear();
    r.rxOut.updRxFlag();
    r.rxErr.updRxFlag();
    r.rxAll.updRxFlag();
    r.rxOutOn = r.rxOut.on || r.rxAll.on;
    r.rxErrOn = (r.rxErr.on || r.rxAll.on) && !r.errToOut;
    return true;
}

bool runCapStart(RunCapRIO& r, CxStr1p const& cmd, bool direct) {
    CxStr1p keep(cmd); // cmd may be the record's own text
    runCapResetAtStart(r);
    r.app.cmd = keep;
    _RunAppStart st;
    st.direct = direct;
    if (!st.initAppCmdLine(r.app.cmd.c_str(), r.app.cmd.len, !direct)) return false;
    runCapPrepToStart(r);
    // A child that leaves before reading its input must give us EPIPE, not end us.
    if (r.txOn) fsInitSigPipeIgnore();
    if (!spawnChildPipes(st, r)) return false;
    if (!pidListAdd(r.app.pid)) return false;
    bool ok = true;
    if (r.useFs) {
        struct {
            RunPipe* p;
            int fd;
            char const* mode;
        } ends[3] = {{&r.pipeIn, r.pipeIn.fdWrite, "wb"},
                     {&r.pipeOut, r.pipeOut.fdRead, "rb"},
                     {&r.pipeErr, r.pipeErr.fdRead, "rb"}};
        for (auto& e : ends) {
            if (e.fd < 0) continue;
            e.p->fs = fsOpenFd(e.fd, e.mode);
            if (!e.p->fs) ok = false;
            // Unbuffered, so what the pipe check sees is what a read gets.
            else
                setvbuf(e.p->fs, nullptr, _IONBF, 0);
        }
    }
    if (r.usSleepAfterStart > 0) sleepUs(r.usSleepAfterStart);
    return ok;
}

bool runCapTxOnce(RunCapRIO& r) {
    if (!r.txOn || r.app.pid <= 0 || r.app.exited || !r.pipeIn.open) return false;
    if (r.useFs) return strPipeWriteMoveFs(r.pipeIn.fs, r.txData, r.pipeIn.errNo);
    return strPipeWriteMoveFd(r.pipeIn.fdWrite, r.txData, r.pipeIn.errNo);
}

namespace {
// One read from one pipe into rxBuf; true when bytes came.
bool capReadOnce(RunCapRIO& r, RunPipe& p) {
    if (!p.open) return false;
    r.rxBuf.clear();
    bool ok = r.useFs ? strPipeRead1xFs(p.fs, r.rxBuf, p.errNo)
                      : strPipeRead1xFd(p.fdRead, r.rxBuf, p.errNo, p.hRead);
    return ok && r.rxBuf.len > 0;
}

// One chunk to the pipe's channels; reports separately whether bytes came, so
// a destination that is slow to take them does not end the reading.
bool capRxPipe(RunCapRIO& r, RunPipe& p, RunRxChn& own, bool& came) {
    came = capReadOnce(r, p);
    if (!came) return false;
    if (r.crlf2lf) strReplaceNL2LF(r.rxBuf);
    bool a = rxChnPut(own, r.rxBuf);
    bool b = rxChnPut(r.rxAll, r.rxBuf);
    return a && b;
}

bool capPassThrough(RunCapRIO& r, RunPipe& p, int fdTo) {
    if (!capReadOnce(r, p)) return false;
    fdWriteAll(fdTo, r.rxBuf.c_str(), r.rxBuf.len);
    return true;
}

// One pass over every output pipe; true when anything was read.
bool capPass(RunCapRIO& r) {
    bool came = false, c = false;
    if (r.rxOutOn) {
        capRxPipe(r, r.pipeOut, r.rxOut, c);
        came = came || c;
    }
    if (r.rxErrOn) {
        capRxPipe(r, r.pipeErr, r.rxErr, c);
        came = came || c;
    }
    return runCapDrainUnread(r) || came;
}

bool capPipeWaiting(RunCapRIO const& r) {
    return (r.rxOutOn && r.pipeOut.open && errIsReadAgain(r.pipeOut.errNo)) ||
           (r.rxErrOn && r.pipeErr.open && errIsReadAgain(r.pipeErr.errNo));
}

bool capAnyOutOpen(RunCapRIO const& r) {
    return r.pipeOut.open || r.pipeErr.open;
}

// Back-off for waiting loops: starts at the record's poll pause, grows to 1 ms.
void capBackoff(long long& us, long long base) {
    sleepUs(us);
    us = us * 2 > 1000 ? 1000 : us * 2;
    if (us < base) us = base;
}
} // namespace

bool runCapTxLoop(RunCapRIO& r) {
    if (r.txData.len < 1) return true;
    long long pause = r.usSleepPoll > 0 ? r.usSleepPoll : 1;
    while (r.txData.len > 0) {
        long long before = r.txData.len;
        if (!runCapTxOnce(r)) {
            if (!r.txOn || r.app.pid <= 0 || r.app.exited || !r.pipeIn.open) break;
            if (!errIsWriteAgain(r.pipeIn.errNo)) break;
        }
        // While the input pipe is full the child may be blocked on its own
        // output: keep reading it, or neither side moves again.
        bool moved = capPass(r) || r.txData.len < before;
        if (r.txData.len < 1) break;
        if (runAppPeekExit(r.app)) break;
        if (moved)
            pause = r.usSleepPoll > 0 ? r.usSleepPoll : 1;
        else
            capBackoff(pause, r.usSleepPoll);
    }
    return r.txData.len < 1;
}

bool runCapRxPipeOnce(RunCapRIO& r, RunPipe& p, RunRxChn& own) {
    bool came = false;
    return capRxPipe(r, p, own, came);
}

bool runCapRxOnce(RunCapRIO& r) {
    bool any = false;
    if (r.rxOutOn) any = runCapRxPipeOnce(r, r.pipeOut, r.rxOut) || any;
    if (r.rxErrOn) any = runCapRxPipeOnce(r, r.pipeErr, r.rxErr) || any;
    return any;
}

bool runCapDrainUnread(RunCapRIO& r) {
    bool any = false;
    if (!r.rxOutOn && r.pipeOut.open) any = capPassThrough(r, r.pipeOut, 1) || any;
    if (!r.rxErrOn && r.pipeErr.open) any = capPassThrough(r, r.pipeErr, 2) || any;
    return any;
}

bool runCapRxLoop(RunCapRIO& r) {
    if (!r.rxOutOn && !r.rxErrOn) return false;
    bool result = false;
    for (;;) {
        if (capPass(r)) {
            result = true;
            continue;
        }
        if (!(r.rxLoopWait && !r.app.cmd.isEmpty() && !r.app.exited)) break;
        if (!capPipeWaiting(r)) break;
        if (!runAppPeekExit(r.app)) sleepUs(r.usSleepPoll);
    }
    return result;
}

bool runCapPeekExit(RunCapRIO& r) {
    return runAppPeekExit(r.app);
}

bool runCapWaitExit(RunCapRIO& r) {
    if (!capAnyOutOpen(r)) return runAppWaitExit(r.app);
    // Reading on while waiting: a child that fills a pipe nobody empties
    // would never exit.
    long long pause = r.usSleepPoll > 0 ? r.usSleepPoll : 1;
    while (!runAppPeekExit(r.app)) {
        if (!r.app.procInfo.hProcess) break; // exit state cannot be read
        if (capPass(r))
            pause = r.usSleepPoll > 0 ? r.usSleepPoll : 1;
        else
            capBackoff(pause, r.usSleepPoll);
    }
    return runAppWaitExit(r.app);
}

void runPipeClose(RunPipe& p) {
    if (p.fs) {
        fclose(p.fs); // closes the descriptor under it as well
    } else {
        if (p.fdRead >= 0) fdCloseRaw(p.fdRead);
        if (p.fdWrite >= 0) fdCloseRaw(p.fdWrite);
        // A descriptor owns its handle; a bare handle is closed on its own.
        if (p.fdRead < 0 && p.hRead) runHandleClose(p.hRead);
        if (p.fdWrite < 0 && p.hWrite) runHandleClose(p.hWrite);
    }
    p = RunPipe();
}

bool runCapClosePipe2In(RunCapRIO& r) {
    runPipeClose(r.pipeIn);
    r.txOn = false;
    return true;
}

bool runCapClosePipeOutErr(RunCapRIO& r) {
    struct {
        bool on;
        RunPipe* p;
        int to;
    } outs[2] = {{r.rxOutOn, &r.pipeOut, 1}, {r.rxErrOn, &r.pipeErr, 2}};
    for (auto& o : outs) {
        if (o.on || (o.p->fdRead < 0 && !o.p->fs)) continue;
        r.rxBuf.clear();
        if (r.useFs)
            strPipeReadAllFs(o.p->fs, r.rxBuf, o.p->errNo);
        else
            strPipeReadAllFd(o.p->fdRead, r.rxBuf, o.p->errNo, o.p->hRead);
        if (r.rxBuf.len > 0) fdWriteAll(o.to, r.rxBuf.c_str(), r.rxBuf.len);
    }
    runPipeClose(r.pipeOut);
    runPipeClose(r.pipeErr);
    r.rxOutOn = r.rxErrOn = false;
    return true;
}

bool runCapCloseAll(RunCapRIO& r) {
    runCapClosePipe2In(r);
    return runCapClosePipeOutErr(r);
}

bool runCapWaitExitClose(RunCapRIO& r) {
    runCapClosePipe2In(r);
    runCapWaitExit(r);
    runCapClosePipeOutErr(r);
    return r.app.exited && r.app.retCode == 0;
}

bool runCapLoopWaitExitClose(RunCapRIO& r) {
    runCapClosePipe2In(r);
    runCapRxLoop(r);
    runCapWaitExit(r);
    runCapRxLoop(r);
    runCapClosePipeOutErr(r);
    return r.app.exited && r.app.retCode == 0;
}

bool runCap(RunCapRIO& r, CxStr1p const& cmd) {
    if (!runCapStart(r, cmd)) {
        if (r.app.pid > 0)
            runCapWaitExitClose(r);
        else
            runCapCloseAll(r);
        return false;
    }
    bool sent = runCapTxLoop(r);
    bool done = runCapLoopWaitExitClose(r);
    return sent && done;
}

long long runCapGetPid(RunCapRIO const& r) {
    return r.app.pid;
}
int runCapGetRetCode(RunCapRIO const& r) {
    return r.app.retCode;
}
bool runCapWasExit(RunCapRIO const& r) {
    return r.app.exited;
}
int runCapGetErrNoTx2In(RunCapRIO const& r) {
    return r.pipeIn.errNo;
}
int runCapGetErrNoRxOut(RunCapRIO const& r) {
    return r.pipeOut.errNo;
}
int runCapGetErrNoRxErr(RunCapRIO const& r) {
    return r.pipeErr.errNo;
}

// ---- registry

namespace {
constexpr long long kPidCap = 1000;
long long g_pids[kPidCap];
long long g_pidCount = 0;

void stopChildrenOnSignal() {
    pidListForceStopAll(0);
}
} // namespace

std::recursive_mutex& pidListMutex() {
    static std::recursive_mutex m;
    return m;
}
// Made before main so the first use from a signal handler finds it ready.
[[maybe_unused]] static std::recursive_mutex& g_pidMutexInit = pidListMutex();

bool pidListAdd(long long pid) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    if (g_pidCount >= kPidCap) return false;
    for (long long i = 0; i < g_pidCount; ++i)
        if (g_pids[i] == pid) return false;
    g_pids[g_pidCount++] = pid;
    if (g_pidCount == 1) {
        runSetStopChildrenFn(stopChildrenOnSignal);
        runInitSigHandler();
    }
    return true;
}

bool pidListDel(long long pid) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (long long i = 0; i < g_pidCount; ++i) {
        if (g_pids[i] != pid) continue;
        memmove(&g_pids[i], &g_pids[i + 1], (size_t)(g_pidCount - i - 1) * sizeof(long long));
        if (--g_pidCount == 0) runDoneSigHandler();
        break;
    }
    return true;
}

bool pidListHas(long long pid) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (long long i = 0; i < g_pidCount; ++i)
        if (g_pids[i] == pid) return true;
    return false;
}

long long pidListCount() {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    return g_pidCount;
}
long long pidListCapacity() {
    return kPidCap;
}

void pidListDestroy() {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    g_pidCount = 0;
    runDoneSigHandler();
}

bool pidListAskStopAll() {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    bool ok = true;
    for (long long i = 0; i < g_pidCount; ++i)
        ok = pidSigAskStop(g_pids[i]) && ok;
    return ok;
}

bool pidListForceStopAll(long long waitMs) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    if (g_pidCount == 0) return true;
    bool ok = true;
    for (long long i = 0; i < g_pidCount; ++i)
        ok = pidSigAskStop(g_pids[i]) && ok;
    if (waitMs == 0) waitMs = 100;
    if (waitMs > 0) sleepMs(waitMs);
    for (long long i = 0; i < g_pidCount; ++i)
        pidSigForceStop(g_pids[i]);
    g_pidCount = 0;
    runDoneSigHandler();
    return ok;
}

// ---- descriptors and streams

namespace {
int g_savedStd[3] = {-1, -1, -1};
bool g_savedStdDone = false;
} // namespace

bool fsInitStdFdSave() {
    if (g_savedStdDone) return true;
    g_savedStdDone = true;
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        g_savedStd[i] = fdDupRaw(i);
        ok = g_savedStd[i] >= 0 && ok;
    }
    return ok;
}

int fsStdFdGetSaved(int n) {
    return n >= 0 && n < 3 ? g_savedStd[n] : -1;
}

bool dup2Force(int a, int b) {
    for (;;) {
        if (fdDup2Raw(a, b) >= 0) return true;
        if (errno != EBUSY && errno != EINTR) return false;
    }
}

bool fdErrRedir2FD(int fd) {
    fsInitStdFdSave();
    fflush(stdout);
    fflush(stderr);
    clearerr(stdout);
    clearerr(stderr);
    return dup2Force(fd, 2);
}

bool fdErrRestore() {
    fflush(stdout);
    fflush(stderr);
    clearerr(stdout);
    clearerr(stderr);
    int saved = fsStdFdGetSaved(2);
    return saved >= 0 && dup2Force(saved, 2);
}

int fdPeekNextFree() {
    int d = fdDupRaw(2);
    if (d >= 0) fdCloseRaw(d);
    return d;
}

bool fsSetBlocking(FILE* fs, bool blocking, RunHandle h) {
    return fdSetBlocking(fsGetFD(fs), blocking, h);
}

bool fsInitStd012Binary() {
    fflush(stdout);
    fflush(stderr);
    bool ok = fdSetBinaryMode(0);
    ok = fdSetBinaryMode(1) && ok;
    return fdSetBinaryMode(2) && ok;
}

bool fsInitStd12BufferedLine() {
    static char b1[512], b2[512];
    bool ok = setvbuf(stdout, b1, _IOLBF, sizeof b1) == 0;
    return setvbuf(stderr, b2, _IOLBF, sizeof b2) == 0 && ok;
}

bool fsSetBufferedMode(FILE* fs, int mode, char* buf) {
    if (!fs) return false;
    int m = mode == 0 ? _IOFBF : mode == 1 ? _IOLBF : mode == 2 ? _IONBF : mode;
    return setvbuf(fs, buf, m, 512) == 0;
}

bool fsSetStdinUnBuffered() {
    return setvbuf(stdin, nullptr, _IONBF, 0) == 0;
}
bool fsSetStdin1xBuffered() {
    static char b[2];
    return setvbuf(stdin, b, _IOFBF, sizeof b) == 0;
}
bool fsSetStdinLineBuffered() {
    static char b[512];
    return setvbuf(stdin, b, _IOLBF, sizeof b) == 0;
}

int fdOpen(CxStr1p const& path, char const* mode) {
    if (path.isEmpty() || !mode) return -1;
    int n = -1;
    if (isStdPath(path, n)) return n;
    char const* p = path == "/dev/null" ? fdNullPath() : path.c_str();
    return fdOpenRaw(p, fdOpenFlags(mode));
}

FILE* fsOpen(CxStr1p const& path, char const* mode) {
    if (path.isEmpty() || !mode) return nullptr;
    int n = -1;
    if (isStdPath(path, n)) return n == 0 ? stdin : n == 1 ? stdout : stderr;
    char const* p = path == "/dev/null" ? fdNullPath() : path.c_str();
    return fsFopen(p, mode);
}

bool fdClose(int fd) {
    if (fd < 3) return true;
    return fdCloseRaw(fd) == 0;
}

bool fsClose(FILE* fs) {
    if (!fs || fs == stdin || fs == stdout || fs == stderr) return true;
    return fclose(fs) == 0;
}

FILE* fsOpenFd(int fd, char const* mode) {
    if (fd < 0 || !mode) return nullptr;
    if (fd >= 3) return fdStreamRaw(fd, mode);
    // A standard descriptor is wrapped through a duplicate so closing the
    // stream leaves it open.
    int d = fdDupRaw(fd);
    if (d < 0) return nullptr;
    FILE* f = fdStreamRaw(d, mode);
    if (!f) fdCloseRaw(d);
    return f;
}

int fsGetFD(FILE* fs) {
    return fs ? fdOfStreamRaw(fs) : -1;
}
bool fsFlush(FILE* fs) {
    return fflush(fs) == 0;
}
bool fsIsEOF(FILE* fs) {
    return !fs || feof(fs) != 0;
}
bool fsIsError(FILE* fs) {
    return !fs || ferror(fs) != 0;
}

// ---- reads and writes

namespace {
// One read into buf (room for n plus a terminator); the pipe check only for pipes.
bool fdRead1x(int fd, char* buf, long long& n, int& errNo, RunHandle h, long long chunk,
              bool pipe) {
    if (fd < 0) {
        n = 0;
        errNo = EBADF;
        return false;
    }
    long long want = n < chunk ? n : chunk;
    n = 0;
    if (want < 1) return false;
    if (pipe && !cbufPipePeekFd(fd, errNo, h)) return false;
    errnrClear();
    long long got = pipeReadRaw(fd, buf, want);
    if (got <= 0) {
        errNo = errnrGetAdapt("pr");
        if (errNo == 0) errNo = EPIPE;
        return false;
    }
    errNo = 0;
    n = got;
    buf[got] = 0;
    return true;
}

bool fdWriteMove(int fd, char* buf, long long& n, int& errNo, long long chunk) {
    if (fd < 0) {
        errNo = EBADF;
        return false;
    }
    if (n <= 0) {
        n = 0;
        errNo = ENOENT; // nothing to write
        return true;
    }
    int again = kWriteRetries;
    long long done = 0;
    while (done < n) {
        long long want = n - done < chunk ? n - done : chunk;
        errnrClear();
        long long w = fdWriteRaw(fd, buf + done, want);
        if (w > 0) {
            done += w;
            again = kWriteRetries;
            errNo = 0;
            continue;
        }
        errNo = errnrGetAdapt("pw");
        if (errNo == 0) errNo = EAGAIN;
        if (errIsWriteAgain(errNo) && --again > 0) continue;
        break;
    }
    if (done > 0) memmove(buf, buf + done, (size_t)(n - done));
    n -= done;
    buf[n] = 0;
    return n == 0;
}

bool fsReadChunk(FILE* fs, char* buf, long long& n, int& errNo) {
    if (!fs) {
        n = 0;
        errNo = EBADF;
        return false;
    }
    long long want = n < kFsChunk ? n : kFsChunk;
    n = 0;
    if (want < 1) return false;
    if (!cbufPipePeekFd(fdOfStreamRaw(fs), errNo, nullptr)) return false;
    errnrClear();
    size_t got = fread(buf, 1, (size_t)want, fs);
    if (got == 0) {
        errNo = feof(fs) ? EPIPE : errnrGetAdapt("pr");
        if (errNo == 0) errNo = EAGAIN;
        clearerr(fs); // a non-blocking stream must stay readable
        return false;
    }
    errNo = 0;
    n = (long long)got;
    buf[got] = 0;
    return true;
}

// Makes room for one chunk at the end of s, growing geometrically.
bool strRoomFor(CxStr1p& s, long long& chunk, int& errNo, long long limit) {
    if (limit > 0) {
        if (s.len >= limit) {
            chunk = 0;
            return true;
        }
        if (limit - s.len < chunk) chunk = limit - s.len;
    }
    if (s.len > kStrLimit - chunk) {
        errNo = ENOMEM;
        return false;
    }
    long long need = s.len + chunk + 1;
    if (s.cap >= need && s.data) return true;
    long long want = s.cap > LLONG_MAX / 2 ? need : s.cap * 2;
    if (want < need) want = need;
    if (!s.reserve(want) && !s.reserve(need)) {
        errNo = ENOMEM;
        return false;
    }
    return true;
}

enum class Src { Pipe, File };

bool strRead1x(int fd, CxStr1p& s, int& errNo, RunHandle h, long long limit, Src src) {
    if (fd < 0) {
        errNo = EBADF;
        return false;
    }
    long long chunk = src == Src::Pipe ? kFdChunk : kFileChunk;
    if (!strRoomFor(s, chunk, errNo, limit)) return false;
    if (chunk < 1) return false;
    long long n = chunk;
    if (!fdRead1x(fd, s.data + s.len, n, errNo, h, chunk, src == Src::Pipe)) {
        s.data[s.len] = 0;
        return false;
    }
    s.len += n;
    return true;
}

bool strReadAll(int fd, CxStr1p& s, int& errNo, RunHandle h, long long limit, Src src) {
    bool any = false, last = false;
    for (;;) {
        long long before = s.len;
        last = strRead1x(fd, s, errNo, h, limit, src);
        if (!last || s.len == before) break;
        any = true;
        if (limit > 0 && s.len >= limit) break;
    }
    return any || last;
}
} // namespace

bool cbufPipeRead1xFd(int fd, char* buf, long long& n, int& errNo, RunHandle h) {
    return fdRead1x(fd, buf, n, errNo, h, kFdChunk, true);
}
bool cbufPipeRead1xFs(FILE* fs, char* buf, long long& n, int& errNo) {
    return fsReadChunk(fs, buf, n, errNo);
}
bool cbufPipeWriteMoveFd(int fd, char* buf, long long& n, int& errNo) {
    return fdWriteMove(fd, buf, n, errNo, kFdChunk);
}

bool cbufPipeWriteMoveFs(FILE* fs, char* buf, long long& n, int& errNo) {
    if (!fs) {
        errNo = EBADF;
        return false;
    }
    if (n <= 0) {
        n = 0;
        errNo = ENOENT;
        return true;
    }
    int again = kWriteRetries;
    long long done = 0;
    while (done < n) {
        long long want = n - done < kFsChunk ? n - done : kFsChunk;
        errnrClear();
        size_t w = fwrite(buf + done, 1, (size_t)want, fs);
        if (w > 0 && fflush(fs) == 0) {
            done += (long long)w;
            again = kWriteRetries;
            errNo = 0;
            continue;
        }
        done += (long long)w; // bytes the stream took stay taken
        errNo = errnrGetAdapt("pw");
        if (errNo == 0) errNo = EAGAIN;
        clearerr(fs);
        if (errIsWriteAgain(errNo) && --again > 0) continue;
        break;
    }
    if (done > 0) memmove(buf, buf + done, (size_t)(n - done));
    n -= done;
    buf[n] = 0;
    return n == 0;
}

bool strPipeRead1xFd(int fd, CxStr1p& s, int& errNo, RunHandle h, long long limit) {
    return strRead1x(fd, s, errNo, h, limit, Src::Pipe);
}

bool strPipeRead1xFs(FILE* fs, CxStr1p& s, int& errNo, long long limit) {
    if (!fs) {
        errNo = EBADF;
        return false;
    }
    long long chunk = kFsChunk;
    if (!strRoomFor(s, chunk, errNo, limit)) return false;
    if (chunk < 1) return false;
    long long n = chunk;
    if (!fsReadChunk(fs, s.data + s.len, n, errNo)) {
        s.data[s.len] = 0;
        return false;
    }
    s.len += n;
    return true;
}

bool strPipeReadAllFd(int fd, CxStr1p& s, int& errNo, RunHandle h, long long limit) {
    return strReadAll(fd, s, errNo, h, limit, Src::Pipe);
}

bool strPipeReadAllFs(FILE* fs, CxStr1p& s, int& errNo, long long limit) {
    bool any = false, last = false;
    for (;;) {
        long long before = s.len;
        last = strPipeRead1xFs(fs, s, errNo, limit);
        if (!last || s.len == before) break;
        any = true;
        if (limit > 0 && s.len >= limit) break;
    }
    return any || last;
}

bool strPipeWriteMoveFd(int fd, CxStr1p& s, int& errNo) {
    long long n = s.len;
    if (n < 1) return cbufPipeWriteMoveFd(fd, nullptr, n, errNo);
    bool ok = cbufPipeWriteMoveFd(fd, s.data, n, errNo);
    s.len = n;
    return ok;
}

bool strPipeWriteMoveFs(FILE* fs, CxStr1p& s, int& errNo) {
    long long n = s.len;
    if (n < 1) return cbufPipeWriteMoveFs(fs, nullptr, n, errNo);
    bool ok = cbufPipeWriteMoveFs(fs, s.data, n, errNo);
    s.len = n;
    return ok;
}

bool strReadFd(int fd, CxStr1p& s, int& errNo, long long limit) {
    return strRead1x(fd, s, errNo, nullptr, limit, Src::File);
}
bool strReadAllFd(int fd, CxStr1p& s, int& errNo, long long limit) {
    return strReadAll(fd, s, errNo, nullptr, limit, Src::File);
}

bool strWriteMoveFd(int fd, CxStr1p& s, int& errNo) {
    long long n = s.len;
    if (n < 1) return fdWriteMove(fd, nullptr, n, errNo, kFileChunk);
    bool ok = fdWriteMove(fd, s.data, n, errNo, kFileChunk);
    s.len = n;
    return ok;
}

bool strWriteCopyFd(int fd, CxStr1p const& s, int& errNo) {
    CxStr1p copy;
    if (s.len > 0 && !copy.addCstr(s.c_str(), s.len)) {
        errNo = ENOMEM;
        return false;
    }
    return strWriteMoveFd(fd, copy, errNo);
}

long long cbufPipeDetectSizeFd(int fd, RunHandle h) {
    return cbufPipeGetSizeFd(fd, h);
}
