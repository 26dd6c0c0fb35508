#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "app/syserr.h"
#include "base/fs.h"
#include "base/fs_win.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/tokens.h"
#include "exec/run_sys.h"

static_assert(sizeof(STARTUPINFOA) == 104, "start-up record size");

namespace {
HANDLE hh(RunHandle h) {
    return (HANDLE)h;
}

int fdOfHandle(RunHandle h, char const* mode) {
    if (!winHandleValid(h) || !mode) return -1;
    int flags = (strchr(mode, 'w') || strchr(mode, 'a')) ? _O_APPEND : 0;
    // Binary, so received bytes pass unchanged (no CR LF folding, no ^Z end);
    // never in the descriptor table the runtime hands to its own children.
    return _open_osfhandle((intptr_t)h, flags | _O_BINARY | _O_NOINHERIT);
}

bool closeHandle(RunHandle h) {
    if (!winHandleValid(h)) return false;
    return CloseHandle(hh(h)) != 0;
}

void closeH(HANDLE& h) {
    if (winHandleValid((RunHandle)h)) CloseHandle(h);
    h = nullptr;
}

STARTUPINFOA& startupOf(_RunAppStart& st) {
    return *reinterpret_cast<STARTUPINFOA*>(st.startupInfo);
}

// Each child runs in a job of its own, so that stopping it stops what it
// started as well (cmd.exe, then the program it runs). Kept by process id
// until the child's exit is seen.
constexpr int kJobCap = 256;
struct JobOfPid {
    long long pid;
    HANDLE job;
};
JobOfPid g_jobs[kJobCap];

void jobKeep(long long pid, HANDLE job) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (JobOfPid& e : g_jobs) {
        if (e.job) continue;
        e = JobOfPid{pid, job};
        return;
    }
    CloseHandle(job); // no room: the child is stopped on its own
}

HANDLE jobFind(long long pid) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (JobOfPid& e : g_jobs)
        if (e.job && e.pid == pid) return e.job;
    return nullptr;
}

void jobForget(long long pid) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (JobOfPid& e : g_jobs) {
        if (!e.job || e.pid != pid) continue;
        // No kill-on-close: what the child left running in the background stays.
        CloseHandle(e.job);
        e = JobOfPid{0, nullptr};
    }
}

// A child made suspended joins its own job, then runs. Without a job (the
// system refuses one) it runs all the same and is stopped alone.
bool jobAttachResume(PROCESS_INFORMATION const& pi) {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job) {
        // Programs that start helpers outside any job must still be able to.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION lim;
        memset(&lim, 0, sizeof lim);
        lim.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &lim, sizeof lim);
        if (AssignProcessToJobObject(job, pi.hProcess)) {
            jobKeep((long long)pi.dwProcessId, job);
        } else {
            CloseHandle(job);
        }
    }
    if (ResumeThread(pi.hThread) != (DWORD)-1) return true;
    TerminateProcess(pi.hProcess, 2);
    jobForget((long long)pi.dwProcessId);
    return false;
}

void setInherit(HANDLE const* hs, int n, bool on) {
    for (int i = 0; i < n; ++i)
        SetHandleInformation(hs[i], HANDLE_FLAG_INHERIT, on ? HANDLE_FLAG_INHERIT : 0);
}

// The handles are inheritable only while the child is made.
bool createInheriting(char const* app, char* cmdLine, STARTUPINFOA* si, DWORD flags,
                      HANDLE const* hs, int n, PROCESS_INFORMATION& pi, char const* dir) {
    memset(&pi, 0, sizeof pi);
    setInherit(hs, n, true);
    bool ok = CreateProcessA(app, cmdLine, nullptr, nullptr, TRUE, flags | CREATE_SUSPENDED,
                             nullptr, dir, si, &pi) != 0;
    DWORD err = GetLastError();
    setInherit(hs, n, false);
    SetLastError(err);
    return ok;
}

// Starts the command line with exactly these standard handles (ours, not
// inheritable) and no other handle inherited: a pipe end that leaks into an
// unrelated child keeps that pipe open.
bool createWithStd(char* cmdLine, HANDLE in, HANDLE out, HANDLE err, PROCESS_INFORMATION& pi,
                   char const* app = nullptr, char const* dir = nullptr) {
    STARTUPINFOEXA six;
    memset(&six, 0, sizeof six);
    six.StartupInfo.cb = sizeof six;
    six.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    six.StartupInfo.hStdInput = in;
    six.StartupInfo.hStdOutput = out;
    six.StartupInfo.hStdError = err;
    HANDLE list[3];
    int n = 0;
    for (HANDLE h : {in, out, err}) {
        bool seen = false;
        for (int i = 0; i < n; ++i)
            seen = seen || list[i] == h;
        if (!seen) list[n++] = h;
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    void* mem = size > 0 ? malloc(size) : nullptr;
    auto attrs = (LPPROC_THREAD_ATTRIBUTE_LIST)mem;
    bool haveList = attrs && InitializeProcThreadAttributeList(attrs, 1, 0, &size);
    bool listed = haveList && UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                        list, n * sizeof(HANDLE), nullptr, nullptr);
    bool ok = false, fallback = !listed;
    if (listed) {
        six.lpAttributeList = attrs;
        std::shared_lock<std::shared_mutex> lk(inheritLock());
        ok = createInheriting(app, cmdLine, &six.StartupInfo, EXTENDED_STARTUPINFO_PRESENT, list, n,
                              pi, dir);
        // Older systems refuse console handles in the list.
        fallback = !ok && GetLastError() == ERROR_INVALID_PARAMETER;
    }
    if (fallback) {
        // Without a list the child takes every inheritable handle; holding the
        // lock alone, no other start has any made so meanwhile.
        six.StartupInfo.cb = sizeof(STARTUPINFOA);
        six.lpAttributeList = nullptr;
        std::unique_lock<std::shared_mutex> lk(inheritLock());
        ok = createInheriting(app, cmdLine, &six.StartupInfo, 0, list, n, pi, dir);
    }
    if (haveList) DeleteProcThreadAttributeList(attrs);
    free(mem);
    if (!ok) return false;
    if (jobAttachResume(pi)) return true;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    memset(&pi, 0, sizeof pi);
    return false;
}

// Starts the command line with no handle passed on: the child takes the
// console's standard handles.
bool createPlain(_RunAppStart& st, PROCESS_INFORMATION& pi, char const* app = nullptr) {
    STARTUPINFOA& si = startupOf(st);
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    memset(&pi, 0, sizeof pi);
    if (!CreateProcessA(app, st.buf, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &si, &pi))
        return false;
    if (jobAttachResume(pi)) return true;
    closeH(pi.hProcess);
    closeH(pi.hThread);
    return false;
}

// A copy of the handle behind descriptor fd (the standard one when the
// descriptor has none) for one child; null when there is nothing to pass on.
// A copy of its own per start: concurrent starts each mark theirs inheritable.
HANDLE stdCopy(int fd, DWORD which) {
    HANDLE h = (HANDLE)winHandleOfFd(fd);
    if (!winHandleValid((RunHandle)h)) h = GetStdHandle(which);
    if (!winHandleValid((RunHandle)h)) return nullptr;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

bool isProgramFile(CxStr1p const& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The program a line's first word names, found as cmd.exe finds it (the
// working directory, then PATH; each directory tried with PATHEXT's
// extensions in order). Only an .exe or .com is started directly: false when
// cmd.exe would find something else first (a .bat or .cmd) or nothing.
bool findProgram(CxStr1p& path, char const* line) {
    char const* e = line;
    while (*e && *e != ' ' && *e != '\t')
        ++e;
    CxStr1p word(line, e - line);
    long long dot = -1, sep = -1;
    for (long long i = 0; i < word.length(); ++i) {
        char c = word.c_str()[i];
        if (c == '.') dot = i;
        if (c == '\\' || c == '/' || c == ':') sep = i, dot = -1;
    }
    auto direct = [](char const* ext) {
        return _stricmp(ext, ".exe") == 0 || _stricmp(ext, ".com") == 0;
    };
    char const* pe = getenv("PATHEXT");
    CxStr1p exts(pe && *pe ? pe : ".COM;.EXE;.BAT;.CMD");
    // 1: found and direct, 0: found, not direct, -1: not in this directory.
    auto in = [&](CxStr1p const& dir) {
        CxStr1p base(dir);
        if (!base.isEmpty() && base.last() != '\\' && base.last() != '/') base += '\\';
        base += word;
        if (dot >= 0) {
            path = base;
            if (!isProgramFile(path)) return -1;
            return direct(word.c_str() + dot) ? 1 : 0;
        }
        CxStr1p ext;
        for (long long pos = 0; strToken(ext, pos, exts, ";");) {
            path = base;
            path += ext;
            if (isProgramFile(path)) return direct(ext.c_str()) ? 1 : 0;
        }
        return -1;
    };
    if (sep >= 0) return in(CxStr1p()) == 1;
    int found = in(CxStr1p("."));
    char const* pv = getenv("PATH");
    CxStr1p dirs(pv ? pv : ""), d;
    for (long long pos = 0; found < 0 && strToken(d, pos, dirs, ";");) {
        // PATH entries may be quoted.
        strDelQuoteSet(d, '"');
        if (!d.isEmpty()) found = in(d);
    }
    return found == 1;
}

// A program named as sh names it: with a separator, a path from dir; else
// looked up in PATH, then (as cmd.exe would) in dir. "prog" also finds
// prog.exe, prog.com, prog.bat and prog.cmd. 1: an .exe or .com, 2: a batch
// file for cmd.exe, 0: found but not startable, -1: not found.
int findProgramSh(CxStr1p& path, CxStr1p const& word, CxStr1p const& dir) {
    auto in = [&](CxStr1p const& base) {
        for (char const* ext : {"", ".exe", ".com", ".bat", ".cmd"}) {
            path = base;
            path += ext;
            if (!isProgramFile(path)) continue;
            CxStr1p e = pathExtPart(path); // without its dot
            if (strIsEqIcaseAlt(e, "exe|com")) return 1;
            return strIsEqIcaseAlt(e, "bat|cmd") ? 2 : 0;
        }
        return -1;
    };
    CxStr1p here = dir.isEmpty() ? CxStr1p(".") : dir;
    bool sep = strHas(word, '/') || strHas(word, '\\');
    if (sep) return in(pathIsAbsolute(word) ? word : pathJoin(here, word));
    char const* pv = getenv("PATH");
    CxStr1p dirs(pv ? pv : ""), d;
    int found = -1;
    for (long long pos = 0; found < 0 && strToken(d, pos, dirs, ";");) {
        strDelQuoteSet(d, '"');
        if (!d.isEmpty()) found = in(pathJoin(d, word));
    }
    return found < 0 ? in(pathJoin(here, word)) : found;
}

// One argument as the C runtime splits a command line back into words.
void addArgQuoted(CxStr1p& line, CxStr1p const& arg) {
    if (!line.isEmpty()) line += ' ';
    bool plain = !arg.isEmpty();
    for (long long i = 0; plain && i < arg.length(); ++i)
        plain = !strchr(" \t\"", arg.c_str()[i]);
    if (plain) {
        line += arg;
        return;
    }
    line += '"';
    long long slashes = 0;
    for (long long i = 0; i < arg.length(); ++i) {
        char c = arg.c_str()[i];
        if (c == '\\') {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        for (long long k = 0; k < (c == '"' ? 2 * slashes + 1 : slashes); ++k)
            line += '\\';
        slashes = 0;
        line += c;
    }
    for (long long k = 0; k < 2 * slashes; ++k)
        line += '\\';
    line += '"';
}

void takeProcInfo(RunAppInfo& app, PROCESS_INFORMATION const& pi) {
    app.procInfo.hProcess = (RunHandle)pi.hProcess;
    app.procInfo.hThread = (RunHandle)pi.hThread;
    app.procInfo.dwProcessId = pi.dwProcessId;
    app.procInfo.dwThreadId = pi.dwThreadId;
    app.pid = (long long)pi.dwProcessId;
}
} // namespace

static char const* osRunShellPrefix() {
    return "cmd.exe /c ";
}

static bool osSpawnChildFork(_RunAppStart& st, RunAppInfo& app) {
    CxStr1p program;
    if (st.direct && !findProgram(program, st.cmdLine)) return false;
    char const* appName = st.direct ? program.c_str() : nullptr;
    app.started = true;
    // The child writes where we write now (descriptors 1 and 2 may have been
    // redirected), whether those are a console, a file or a pipe.
    HANDLE in = stdCopy(0, STD_INPUT_HANDLE);
    HANDLE out = stdCopy(1, STD_OUTPUT_HANDLE);
    HANDLE err = stdCopy(2, STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    bool ok;
    // Without standard handles of our own the child takes the console's.
    if (in && out && err)
        ok = createWithStd(st.buf, in, out, err, pi, appName);
    else
        ok = createPlain(st, pi, appName);
    closeH(in);
    closeH(out);
    closeH(err);
    if (!ok) return false;
    takeProcInfo(app, pi);
    return true;
}

static int osSpawnProgram(RunAppInfo& app, StrVect const& argv, CxStr1p const& dir,
                          int const* fds) {
    CxStr1p program, line;
    int found = findProgramSh(program, argv[0], dir);
    if (found < 0) return 127;
    if (found == 0) return 126;
    // Both absolute: which of them a relative program name would be read
    // against once the directory is given is not to be left to chance.
    if (!pathIsAbsolute(program)) program = pathJoin(fsCwd(), program);
    program = pathToBackSlash(program);
    // A batch file is cmd.exe's: "cmd.exe /c" drops the outer quotes.
    if (found == 2) line = "cmd.exe /c \"";
    addArgQuoted(line, program);
    for (long long i = 1; i < argv.size(); ++i)
        addArgQuoted(line, argv[i]);
    if (found == 2) line += '"';
    if (line.length() >= 32767) return 126;
    DWORD const which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE std[3];
    for (int i = 0; i < 3; ++i) {
        std[i] = stdCopy(fds[i] >= 0 ? fds[i] : i, which[i]);
        // None of ours to pass on (no console, a closed stream): the null device.
        if (!std[i])
            std[i] =
                CreateFileA("NUL", i == 0 ? GENERIC_READ : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (std[i] == INVALID_HANDLE_VALUE) std[i] = nullptr;
    }
    CxStr1p winDir =
        dir.isEmpty() ? dir : pathToBackSlash(pathIsAbsolute(dir) ? dir : pathJoin(fsCwd(), dir));
    PROCESS_INFORMATION pi;
    bool ok =
        std[0] && std[1] && std[2] &&
        createWithStd(line.data, std[0], std[1], std[2], pi, found == 2 ? nullptr : program.c_str(),
                      winDir.isEmpty() ? nullptr : winDir.c_str());
    for (HANDLE& h : std)
        closeH(h);
    if (!ok) return 126;
    app.started = true;
    takeProcInfo(app, pi);
    return 0;
}

static bool osSpawnChildPipes(_RunAppStart& st, RunCapRIO& r) {
    r.app.started = true;
    HANDLE inR = nullptr, inW = nullptr, outR = nullptr, outW = nullptr, errR = nullptr,
           errW = nullptr;
    bool pipes = r.txOn || r.rxOutOn || r.rxErrOn;
    bool ok = true;
    if (pipes) {
        // Pipes cannot be waited on here, so we look at them every few
        // milliseconds: a buffer as large as a POSIX pipe's keeps a child that
        // writes much from stopping at each small fill in between.
        DWORD const size = 65536;
        // Not inheritable: the child's ends become so only while it is made.
        ok = CreatePipe(&inR, &inW, nullptr, size) && CreatePipe(&outR, &outW, nullptr, size) &&
             CreatePipe(&errR, &errW, nullptr, size);
    }
    CxStr1p program;
    if (ok && st.direct) ok = findProgram(program, st.cmdLine);
    char const* appName = st.direct ? program.c_str() : nullptr;
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof pi);
    if (ok) {
        ok = pipes ? createWithStd(st.buf, inR, outW, r.errToOut ? outW : errW, pi, appName)
                   : createPlain(st, pi, appName);
        if (ok) takeProcInfo(r.app, pi);
    }
    closeH(inR);
    closeH(outW);
    closeH(errW);
    int fdIn = -1, fdOut = -1, fdErr = -1;
    if (ok && pipes) {
        fdIn = fdOfHandle((RunHandle)inW, "w");
        if (fdIn >= 0) inW = nullptr; // the descriptor owns it now
        fdOut = fdOfHandle((RunHandle)outR, "r");
        if (fdOut >= 0) outR = nullptr;
        fdErr = fdOfHandle((RunHandle)errR, "r");
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
        r.pipeIn.hWrite = winHandleOfFd(fdIn);
        r.pipeIn.open = true;
        r.pipeOut.fdRead = fdOut;
        r.pipeOut.hRead = winHandleOfFd(fdOut);
        r.pipeOut.open = true;
        r.pipeErr.fdRead = fdErr;
        r.pipeErr.hRead = winHandleOfFd(fdErr);
        r.pipeErr.open = true;
    }
    return true;
}

static bool osRunAppPeekExit(RunAppInfo& app) {
    if (app.pid != 0 && !app.exited && winHandleValid(app.procInfo.hProcess)) {
        DWORD code = 0;
        if (GetExitCodeProcess(hh(app.procInfo.hProcess), &code) && code != STILL_ACTIVE) {
            app.exited = true;
            app.retCode = retCodeSimplify((int)code);
            pidListDel(app.pid);
            jobForget(app.pid);
        }
    }
    if (app.exited) runAppCloseProcStat(app);
    return app.exited;
}

static bool osRunAppWaitExit(RunAppInfo& app) {
    if (!app.exited && winHandleValid(app.procInfo.hProcess))
        WaitForSingleObject(hh(app.procInfo.hProcess), INFINITE);
    runAppPeekExit(app);
    runAppCloseProcStat(app);
    return app.exited;
}

static char const* osRunShellExecPrefix() {
    return "";
}

static bool osRunAppWaitAnyExit(RunAppInfo* const* apps, long long n, long long ms, int const*,
                                long long nExtra) {
    if (ms < 0) ms = 0;
    // Anonymous pipes cannot be waited on: look at them again soon.
    if (nExtra > 0 && ms > 2) ms = 2;
    HANDLE hs[MAXIMUM_WAIT_OBJECTS];
    DWORD k = 0;
    for (long long i = 0; i < n && k < MAXIMUM_WAIT_OBJECTS; ++i) {
        RunAppInfo const& a = *apps[i];
        if (a.exited || !winHandleValid(a.procInfo.hProcess)) return true;
        hs[k++] = hh(a.procInfo.hProcess);
    }
    if (k == 0) return false;
    DWORD r = WaitForMultipleObjects(k, hs, FALSE, (DWORD)ms);
    return r < WAIT_OBJECT_0 + k;
}

static void osRunAppCloseProcStat(RunAppInfo& app) {
    if (winHandleValid(app.procInfo.hProcess)) CloseHandle(hh(app.procInfo.hProcess));
    if (winHandleValid(app.procInfo.hThread)) CloseHandle(hh(app.procInfo.hThread));
    app.procInfo.hProcess = nullptr;
    app.procInfo.hThread = nullptr;
}

static bool osRunTakeReapedExit(long long, int&) {
    return false; // exit codes stay readable through the process handle
}

namespace {
bool terminatePid(long long pid, UINT code, DWORD waitMs) {
    if (pid <= 0) return false;
    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, (DWORD)pid);
    if (!h) return false;
    // The whole tree the child started, when it has a job.
    HANDLE job = jobFind(pid);
    bool ok = job && TerminateJobObject(job, code);
    if (!ok) ok = TerminateProcess(h, code) != 0;
    if (waitMs) WaitForSingleObject(h, waitMs);
    CloseHandle(h);
    return ok;
}
} // namespace

static bool osPidSigAskStop(long long pid) {
    return terminatePid(pid, 15, 0);
}
static bool osPidSigForceStop(long long pid) {
    return terminatePid(pid, 9, 1);
}
static bool osPidIsActive(long long) {
    return false;
}
static bool osPidSigToChild(long long, int) {
    return false;
}

static bool osFsInitSigPipeIgnore() {
    return true;
}
static bool osFsSigPipeRestore() {
    return true;
}

static bool osRunHandleClose(RunHandle h) {
    return closeHandle(h);
}

static bool osFdSetBlocking(int fd, bool blocking, RunHandle h) {
    HANDLE p = hh(winHandleValid(h) ? h : winHandleOfFd(fd));
    if (!winHandleValid((RunHandle)p)) return false;
    DWORD mode = 0;
    if (!GetNamedPipeHandleStateA(p, &mode, nullptr, nullptr, nullptr, nullptr, 0)) return false;
    mode = blocking ? (mode & ~(DWORD)PIPE_NOWAIT) : (mode | PIPE_NOWAIT);
    return SetNamedPipeHandleState(p, &mode, nullptr, nullptr) != 0;
}

static bool osFdSetBinaryMode(int fd) {
    return fd >= 0 && _setmode(fd, 0x8000) != -1;
}

static bool osCbufPipePeekFd(int fd, int& errNo, RunHandle h) {
    // Without a handle given, the descriptor's own is checked when it is a pipe.
    if (!winHandleValid(h)) {
        h = winHandleOfFd(fd);
        if (!winHandleValid(h) || GetFileType(hh(h)) != FILE_TYPE_PIPE) return true;
    }
    errnrClear();
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

static long long osCbufPipeGetSizeFd(int fd, RunHandle h) {
    HANDLE p = hh(winHandleValid(h) ? h : winHandleOfFd(fd));
    DWORD outSize = 0, inSize = 0;
    if (winHandleValid((RunHandle)p) && GetNamedPipeInfo(p, nullptr, &outSize, &inSize, nullptr)) {
        if (inSize > 0) return inSize;
        if (outSize > 0) return outSize;
    }
    return 1000;
}

RunSys const& runSys() {
    static constexpr RunSys kSys = {
        osRunShellPrefix,      osRunShellExecPrefix, osSpawnChildFork,      osSpawnProgram,
        osSpawnChildPipes,     osRunAppPeekExit,     osRunAppWaitExit,      osRunAppWaitAnyExit,
        osRunAppCloseProcStat, osRunTakeReapedExit,  osPidSigAskStop,       osPidSigForceStop,
        osPidIsActive,         osPidSigToChild,      osFsInitSigPipeIgnore, osFsSigPipeRestore,
        osFdSetBlocking,       osFdSetBinaryMode,    osCbufPipePeekFd,      osCbufPipeGetSizeFd,
        osRunHandleClose,
    };
    return kSys;
}
