// Child processes started through the command interpreter, the registry of
// live children with the stop sequence, anonymous pipes to and from a child,
// and the thin layer over descriptors and stdio streams used by the rest.
#pragma once

#include <cstdio>
#include <mutex>

#include "base/containers.h"
#include "base/str.h"

// Platform handle; 0 means none.
typedef void* RunHandle;

// What the platform returns for a started process (handles unused on POSIX).
struct RunProcInfo {
    RunHandle hProcess = nullptr;
    RunHandle hThread = nullptr;
    unsigned long dwProcessId = 0;
    unsigned long dwThreadId = 0;
};

struct RunAppInfo {
    bool started = false;
    // Handed to a busy worker ahead of time, then dropped unstarted after a failure.
    bool notRun = false;
    long long pid = 0;
    bool exited = false;
    int retCode = 2;
    CxStr1p cmd;
    CxStr1p cmds;
    CxStr1p label;
    RunProcInfo procInfo;
};
bool operator==(RunAppInfo const& a, RunAppInfo const& b);
bool operator!=(RunAppInfo const& a, RunAppInfo const& b);

struct RunRxChn {
    bool on = false;
    CxStr1p* pStr = nullptr;
    int fd = -1;
    CxStr1p fdBuf;
    int fdErrNo = 0;
    FILE* fs = nullptr;
    CxStr1p fsBuf;
    int fsErrNo = 0;

    void init(CxStr1p* str, int fdOut = -1, FILE* fsOut = nullptr);
    void updRxFlag();
};
bool rxChnPut(RunRxChn& chn, CxStr1p const& text);

struct RunPipe {
    bool open = false;
    FILE* fs = nullptr;
    int fdRead = -1;
    int fdWrite = -1;
    RunHandle hRead = nullptr;
    RunHandle hWrite = nullptr;
    int errNo = 0;
};

struct RunCapRIO {
    bool useFs = false;
    long long usSleepAfterStart = 1;
    bool nonBlock = true;
    CxStr1p txData;
    bool rxLoopWait = true;
    bool errToOut = false;
    bool crlf2lf = false;
    long long usSleepPoll = 1;
    RunRxChn rxOut;
    RunRxChn rxErr;
    RunRxChn rxAll;
    RunAppInfo app;
    bool txOn = false;
    RunPipe pipeIn;
    bool rxOutOn = false;
    bool rxErrOn = false;
    RunPipe pipeOut;
    RunPipe pipeErr;
    CxStr1p rxBuf;
};

// Scratch record of one start: the command line buffer (allocated on first use).
struct _RunAppStart {
    static constexpr long long kBufSize = 32767;
    static constexpr long long kPrefixLen = 11;
    char const* cmdLine = nullptr;
    long long cmdLen = 0;
    bool direct = false; // the line's first word is started as the program itself
    alignas(8) unsigned char startupInfo[104] = {};
    char* buf = nullptr;

    _RunAppStart() = default;
    _RunAppStart(_RunAppStart const&) = delete;
    _RunAppStart& operator=(_RunAppStart const&) = delete;
    ~_RunAppStart() { destroy(); }
    void destroy();
    bool initAppCmdLine(char const* text, long long n, bool viaShell);
};
// The interpreter prefix put before every command ("cmd.exe /c " on Windows;
// empty on POSIX, where /bin/sh -c receives the command as one argument).
char const* runShellPrefix();
// Put before a command the interpreter should become rather than start
// ("exec " on POSIX), so stopping the child stops that command; empty on
// Windows.
char const* runShellExecPrefix();

// ---- fork-style start (console shared)
bool spawnChildFork(_RunAppStart& st, RunAppInfo& app);
// direct: the line needs nothing from the interpreter (shellLineDirect); its
// program is started itself. False when it cannot be (not found, for one):
// then the interpreter should be asked.
bool runFork(RunAppInfo& app, CxStr1p const& cmd, bool direct = false);
// A line of plain words (no quote): it can be started as its program itself.
bool runLineIsPlainWords(CxStr1p const& cmd);
// Starts argv[0] as sh would (a name with a '/' is a path from dir, others
// are looked up in PATH; on Windows "prog" also finds "prog.exe") in dir
// (empty: ours), with descriptors fds[0..2] as its standard ones (-1: ours),
// as a registered child. 0 when started, else sh's status: 127 when it is not
// found, 126 when it cannot be started.
int runProgram(RunAppInfo& app, StrVect const& argv, CxStr1p const& dir, int const* fds);
bool runForkWaitStart(RunAppInfo& app, int ms);
bool runAppPeekExit(RunAppInfo& app);
bool runAppWaitExit(RunAppInfo& app);
bool runAppWasExit(RunAppInfo const& app);
int runAppGetRetCode(RunAppInfo const& app);
long long runAppGetPid(RunAppInfo const& app);
void runAppResetAtStart(RunAppInfo& app);
// Waits until one of the started children ends or ms have passed, whichever
// comes first; true when one has ended (or cannot be waited for). With fds,
// it also returns when one of them has something to read (Windows looks at
// the children only, and then waits at most a few milliseconds).
bool runAppWaitAnyExit(RunAppInfo* const* apps, long long n, long long ms, int const* fds = nullptr,
                       long long nfds = 0);
void runAppCloseProcStat(RunAppInfo& app);
int retCodeSimplify(int code);

// ---- captured start (pipes)
void runCapResetAtStart(RunCapRIO& r);
bool runCapPrepToStart(RunCapRIO& r);
bool spawnChildPipes(_RunAppStart& st, RunCapRIO& r);
// direct: as for runFork; a direct start that fails is not retried here.
bool runCapStart(RunCapRIO& r, CxStr1p const& cmd, bool direct = false);
bool runCapTxOnce(RunCapRIO& r);
bool runCapTxLoop(RunCapRIO& r);
bool runCapRxPipeOnce(RunCapRIO& r, RunPipe& p, RunRxChn& own);
bool runCapRxOnce(RunCapRIO& r);
bool runCapRxLoop(RunCapRIO& r);
// Reads what the pipes nobody listens to hold and passes it to descriptors 1
// and 2, so a child writing more than a pipe holds cannot stall while we wait.
bool runCapDrainUnread(RunCapRIO& r);
bool runCapPeekExit(RunCapRIO& r);
bool runCapWaitExit(RunCapRIO& r);
bool runCapClosePipe2In(RunCapRIO& r);
bool runCapClosePipeOutErr(RunCapRIO& r);
bool runCapCloseAll(RunCapRIO& r);
bool runCapWaitExitClose(RunCapRIO& r);
bool runCapLoopWaitExitClose(RunCapRIO& r);
bool runCap(RunCapRIO& r, CxStr1p const& cmd);
long long runCapGetPid(RunCapRIO const& r);
int runCapGetRetCode(RunCapRIO const& r);
bool runCapWasExit(RunCapRIO const& r);
int runCapGetErrNoTx2In(RunCapRIO const& r);
int runCapGetErrNoRxOut(RunCapRIO const& r);
int runCapGetErrNoRxErr(RunCapRIO const& r);
// Closes every descriptor, stream and handle of one pipe and resets it.
void runPipeClose(RunPipe& p);

// ---- registry and stopping
// The registry's lock; platform code that keeps exit states of children it
// reaped itself takes it too.
std::recursive_mutex& pidListMutex();
bool pidListAdd(long long pid);
bool pidListDel(long long pid);
bool pidListHas(long long pid);
long long pidListCount();
long long pidListCapacity();
void pidListDestroy();
bool pidListAskStopAll();
bool pidListForceStopAll(long long waitMs);
bool pidSigAskStop(long long pid);
bool pidSigForceStop(long long pid);
bool pidIsActive(long long pid);
bool pidSigToChild(long long pid, int sig);

// ---- descriptors and streams
bool fsInitStdFdSave();
int fsStdFdGetSaved(int n);
bool dup2Force(int a, int b);
bool fdErrRedir2FD(int fd);
bool fdErrRestore();
int fdPeekNextFree();
bool fsInitSigPipeIgnore();
bool fsSigPipeRestore();
bool fdSetBlocking(int fd, bool blocking, RunHandle h = nullptr);
bool fsSetBlocking(FILE* fs, bool blocking, RunHandle h = nullptr);
bool fdSetBinaryMode(int fd);
bool fsInitStd012Binary();
bool fsInitStd12BufferedLine();
bool fsSetBufferedMode(FILE* fs, int mode, char* buf);
bool fsSetStdinUnBuffered();
bool fsSetStdin1xBuffered();
bool fsSetStdinLineBuffered();
int fdOpen(CxStr1p const& path, char const* mode);
FILE* fsOpen(CxStr1p const& path, char const* mode);
bool fdClose(int fd);
bool fsClose(FILE* fs);
FILE* fsOpenFd(int fd, char const* mode);
int fsGetFD(FILE* fs);
bool fsFlush(FILE* fs);
bool fsIsEOF(FILE* fs);
bool fsIsError(FILE* fs);
bool strReadFd(int fd, CxStr1p& s, int& errNo, long long limit = 0);
bool strReadAllFd(int fd, CxStr1p& s, int& errNo, long long limit = 0);
bool strWriteMoveFd(int fd, CxStr1p& s, int& errNo);
bool strWriteCopyFd(int fd, CxStr1p const& s, int& errNo);

// ---- pipe reads and writes
bool cbufPipePeekFd(int fd, int& errNo, RunHandle h);
bool cbufPipeRead1xFd(int fd, char* buf, long long& n, int& errNo, RunHandle h = nullptr);
bool cbufPipeRead1xFs(FILE* fs, char* buf, long long& n, int& errNo);
bool cbufPipeWriteMoveFd(int fd, char* buf, long long& n, int& errNo);
bool cbufPipeWriteMoveFs(FILE* fs, char* buf, long long& n, int& errNo);
bool strPipeRead1xFd(int fd, CxStr1p& s, int& errNo, RunHandle h = nullptr, long long limit = 0);
bool strPipeRead1xFs(FILE* fs, CxStr1p& s, int& errNo, long long limit = 0);
bool strPipeReadAllFd(int fd, CxStr1p& s, int& errNo, RunHandle h = nullptr, long long limit = 0);
bool strPipeReadAllFs(FILE* fs, CxStr1p& s, int& errNo, long long limit = 0);
bool strPipeWriteMoveFd(int fd, CxStr1p& s, int& errNo);
bool strPipeWriteMoveFs(FILE* fs, CxStr1p& s, int& errNo);
long long cbufPipeGetSizeFd(int fd, RunHandle h = nullptr);
long long cbufPipeDetectSizeFd(int fd, RunHandle h = nullptr);

// ---- platform handles
bool runHandleClose(RunHandle h);
// An exit status the registry collected while stopping a child: handed to the
// child's record on its next exit check (POSIX; nothing to do on Windows).
bool runTakeReapedExit(long long pid, int& code);
