#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/syserr.h"
#include "base/containers.h"
#include "base/envlock.h"
#include "base/timenum.h"
#include "exec/run_sys.h"

extern char** environ;

namespace {
// Marks a child whose exit state can still be collected with waitpid.
RunHandle const kWaitable = (RunHandle)1;

int decodeStatus(int st) {
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
    return 2;
}

// Exit states of children the registry reaped while stopping them, kept until
// the child's own record asks; oldest entries are overwritten.
constexpr int kReapedCap = 256;
struct Reaped {
    long long pid;
    int code;
};
Reaped g_reaped[kReapedCap];
int g_reapedNext = 0;

void keepReaped(long long pid, int code) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    g_reaped[g_reapedNext] = Reaped{pid, code};
    g_reapedNext = (g_reapedNext + 1) % kReapedCap;
}

// Spawns /bin/sh -c line, or with direct the line's words as a program and
// its arguments (found through PATH); with fds, the child gets them as 0, 1, 2.
// Signals we ignore (SIGPIPE, and SIGINT/SIGTERM while stopping) must not
// stay ignored in the child, and no signal stays blocked there.
bool initAttr(posix_spawnattr_t& attr) {
    if (posix_spawnattr_init(&attr) != 0) return false;
    sigset_t def, none;
    sigemptyset(&def);
    sigaddset(&def, SIGPIPE);
    sigaddset(&def, SIGINT);
    sigaddset(&def, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    return true;
}

bool spawnShell(char const* line, int const* fds, pid_t& pid, bool direct = false) {
    posix_spawnattr_t attr;
    if (!initAttr(attr)) return false;
    posix_spawn_file_actions_t fa;
    bool haveFa = false;
    if (fds) {
        if (posix_spawn_file_actions_init(&fa) != 0) {
            posix_spawnattr_destroy(&attr);
            return false;
        }
        haveFa = true;
        for (int i = 0; i < 3; ++i)
            posix_spawn_file_actions_adddup2(&fa, fds[i], i);
    }
    char* shArgv[] = {(char*)"sh", (char*)"-c", (char*)line, nullptr};
    // The words, split at blanks in a copy (the line holds no quote or escape).
    Vect1p_Vobj<char*> words;
    CxStr1p copy;
    if (direct) {
        copy = line;
        for (char* p = copy.data; p && *p;) {
            while (*p == ' ' || *p == '\t')
                *p++ = 0;
            if (!*p) break;
            words.addVal(p);
            while (*p && *p != ' ' && *p != '\t')
                ++p;
        }
        words.addVal(nullptr);
    }
    int rc = direct && words.size() < 2 ? ENOENT : 0;
    if (rc == 0) {
        // Worker threads may export while this copies the environment.
        std::shared_lock<std::shared_mutex> lk(envLock());
        rc = direct ? posix_spawnp(&pid, words[0], haveFa ? &fa : nullptr, &attr, words.begin(),
                                   environ)
                    : posix_spawn(&pid, "/bin/sh", haveFa ? &fa : nullptr, &attr, shArgv, environ);
    }
    if (haveFa) posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) errno = rc;
    return rc == 0;
}

void closeFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}
} // namespace

static char const* osRunShellPrefix() {
    return "";
}

static bool osSpawnChildFork(_RunAppStart& st, RunAppInfo& app) {
    app.started = true;
    pid_t pid = 0;
    if (!spawnShell(st.cmdLine, nullptr, pid, st.direct)) return false;
    app.pid = pid;
    app.procInfo.dwProcessId = (unsigned long)pid;
    app.procInfo.hProcess = kWaitable;
    return true;
}

static int osSpawnProgram(RunAppInfo& app, StrVect const& argv, CxStr1p const& dir,
                          int const* fds) {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t fa;
    if (!initAttr(attr)) return 126;
    if (posix_spawn_file_actions_init(&fa) != 0) {
        posix_spawnattr_destroy(&attr);
        return 126;
    }
    // Copies above 2 first: "2>&1 >f" hands the child our 1 as its 2, and a
    // dup2 onto 1 before that one would change what it copies.
    int copies[3] = {-1, -1, -1};
    for (int i = 0; i < 3; ++i) {
        if (fds[i] < 0 || fds[i] == i) continue;
        copies[i] = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
        if (copies[i] >= 0) posix_spawn_file_actions_adddup2(&fa, copies[i], i);
    }
    if (!dir.isEmpty()) posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    Vect1p_Vobj<char*> words;
    for (long long i = 0; i < argv.size(); ++i)
        words.addVal(argv[i].data ? argv[i].data : (char*)"");
    words.addVal(nullptr);
    pid_t pid = 0;
    int rc;
    {
        std::shared_lock<std::shared_mutex> lk(envLock());
        rc = posix_spawnp(&pid, words[0], &fa, &attr, words.begin(), environ);
    }
    for (int c : copies)
        if (c >= 0) close(c);
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return rc == ENOENT || rc == ENOTDIR ? 127 : 126;
    app.started = true;
    app.pid = pid;
    app.procInfo.dwProcessId = (unsigned long)pid;
    app.procInfo.hProcess = kWaitable;
    return 0;
}

static bool osSpawnChildPipes(_RunAppStart& st, RunCapRIO& r) {
    r.app.started = true;
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    bool pipes = r.txOn || r.rxOutOn || r.rxErrOn;
    bool ok = true;
    if (pipes) {
        ok = pipe2(in, O_CLOEXEC) == 0 && pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0;
    }
    pid_t pid = 0;
    if (ok) {
        int fds[3] = {in[0], out[1], r.errToOut ? out[1] : err[1]};
        ok = spawnShell(st.cmdLine, pipes ? fds : nullptr, pid, st.direct);
    }
    if (ok) {
        r.app.pid = pid;
        r.app.procInfo.dwProcessId = (unsigned long)pid;
        r.app.procInfo.hProcess = kWaitable;
    }
    closeFd(in[0]);
    closeFd(out[1]);
    closeFd(err[1]);
    if (ok && pipes && r.nonBlock) {
        ok = fdSetBlocking(in[1], false) && fdSetBlocking(out[0], false) &&
             fdSetBlocking(err[0], false);
    }
    if (!ok) {
        closeFd(in[1]);
        closeFd(out[0]);
        closeFd(err[0]);
        r.pipeIn = RunPipe();
        r.pipeOut = RunPipe();
        r.pipeErr = RunPipe();
        return false;
    }
    if (pipes) {
        r.pipeIn.fdWrite = in[1];
        r.pipeIn.open = true;
        r.pipeOut.fdRead = out[0];
        r.pipeOut.open = true;
        r.pipeErr.fdRead = err[0];
        r.pipeErr.open = true;
    }
    return true;
}

static bool osRunAppPeekExit(RunAppInfo& app) {
    if (app.pid != 0 && !app.exited && app.procInfo.hProcess) {
        int st = 0;
        pid_t w = waitpid((pid_t)app.pid, &st, WNOHANG);
        if (w == (pid_t)app.pid) {
            app.exited = true;
            app.retCode = retCodeSimplify(decodeStatus(st));
            pidListDel(app.pid);
        } else if (w < 0 && errno == ECHILD) {
            int code = 0;
            if (runTakeReapedExit(app.pid, code)) {
                app.exited = true;
                app.retCode = retCodeSimplify(code);
                pidListDel(app.pid);
            } else {
                // Reaped by someone else: its code is lost, but waiting on
                // for an exit we can never see would hang our caller.
                app.exited = true;
                app.retCode = 2;
                pidListDel(app.pid);
            }
        }
    }
    if (app.exited) runAppCloseProcStat(app);
    return app.exited;
}

static bool osRunAppWaitExit(RunAppInfo& app) {
    if (app.pid > 0 && !app.exited && app.procInfo.hProcess) {
        int st = 0;
        pid_t w;
        do {
            w = waitpid((pid_t)app.pid, &st, 0);
        } while (w < 0 && errno == EINTR);
        if (w == (pid_t)app.pid) {
            app.exited = true;
            app.retCode = retCodeSimplify(decodeStatus(st));
            pidListDel(app.pid);
        }
    }
    runAppPeekExit(app);
    runAppCloseProcStat(app);
    return app.exited;
}

static char const* osRunShellExecPrefix() {
    return "exec ";
}

static bool osRunAppWaitAnyExit(RunAppInfo* const* apps, long long n, long long ms,
                                int const* extra, long long nExtra) {
    if (ms < 0) ms = 0;
    struct pollfd fds[128];
    nfds_t k = 0;
    bool done = false, polling = true;
    for (long long i = 0; i < n && k < 64 && !done; ++i) {
        RunAppInfo const& a = *apps[i];
        if (a.exited || a.pid <= 0 || !a.procInfo.hProcess) {
            done = true;
            break;
        }
        int fd = (int)syscall(SYS_pidfd_open, (pid_t)a.pid, 0);
        if (fd >= 0) {
            fds[k].fd = fd;
            fds[k].events = POLLIN;
            fds[k].revents = 0;
            ++k;
        } else if (errno == ESRCH) {
            done = true; // already gone
        } else {
            polling = false; // no process descriptors here
        }
    }
    nfds_t kProc = k;
    for (long long i = 0; i < nExtra && k < 128; ++i) {
        if (extra[i] < 0) continue;
        fds[k].fd = extra[i];
        fds[k].events = POLLIN;
        fds[k].revents = 0;
        ++k;
    }
    // An interrupted poll returns early; the caller looks again.
    if (!done && polling && k > 0) done = poll(fds, k, (int)ms) > 0;
    for (nfds_t i = 0; i < kProc; ++i)
        close(fds[i].fd);
    if (done || polling) return done;
    // Without process descriptors: look again every 200 us until the pause ends.
    long long end = timeBootNs() + ms * 1000000LL;
    for (;;) {
        for (long long i = 0; i < n; ++i) {
            siginfo_t si;
            memset(&si, 0, sizeof si);
            if (waitid(P_PID, (id_t)apps[i]->pid, &si, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                si.si_pid != 0)
                return true;
        }
        if (timeBootNs() >= end) return false;
        sleepUs(200);
    }
}

static void osRunAppCloseProcStat(RunAppInfo& app) {
    app.procInfo.hProcess = nullptr;
    app.procInfo.hThread = nullptr;
}

static bool osRunTakeReapedExit(long long pid, int& code) {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    for (auto& e : g_reaped) {
        if (e.pid != pid || pid == 0) continue;
        code = e.code;
        e.pid = 0;
        return true;
    }
    return false;
}

static bool osPidSigAskStop(long long pid) {
    return pid > 0 && kill((pid_t)pid, SIGTERM) == 0;
}

static bool osPidSigForceStop(long long pid) {
    if (pid <= 0) return false;
    bool ok = kill((pid_t)pid, SIGKILL) == 0;
    // Reap it when it goes within the millisecond, so no zombie stays behind;
    // its record learns the exit state later.
    long long until = timeBootNs() + 1000000;
    do {
        int st = 0;
        pid_t w = waitpid((pid_t)pid, &st, WNOHANG);
        if (w == (pid_t)pid) {
            keepReaped(pid, decodeStatus(st));
            break;
        }
        if (w < 0) break;
        sleepUs(50);
    } while (timeBootNs() < until);
    return ok;
}

static bool osPidIsActive(long long pid) {
    return pid > 0 && kill((pid_t)pid, 0) == 0;
}
static bool osPidSigToChild(long long pid, int sig) {
    return pid > 0 && kill((pid_t)pid, sig) == 0;
}

namespace {
struct sigaction g_prevPipe;
bool g_pipeIgnored = false;
} // namespace

static bool osFsInitSigPipeIgnore() {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    if (g_pipeIgnored) return true;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    if (sigaction(SIGPIPE, &sa, &g_prevPipe) != 0) return false;
    g_pipeIgnored = true;
    return true;
}

static bool osFsSigPipeRestore() {
    std::lock_guard<std::recursive_mutex> lk(pidListMutex());
    if (!g_pipeIgnored) return true;
    g_pipeIgnored = false;
    return sigaction(SIGPIPE, &g_prevPipe, nullptr) == 0;
}

static bool osFdSetBlocking(int fd, bool blocking, RunHandle) {
    if (fd < 0) return false;
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0) return false;
    fl = blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK);
    return fcntl(fd, F_SETFL, fl) == 0;
}

static bool osFdSetBinaryMode(int fd) {
    return fd >= 0;
}

static bool osCbufPipePeekFd(int, int&, RunHandle) {
    return true;
}

static long long osCbufPipeGetSizeFd(int fd, RunHandle) {
    int n = fd >= 0 ? fcntl(fd, F_GETPIPE_SZ) : -1;
    return n > 0 ? n : 1000;
}

static bool osRunHandleClose(RunHandle h) {
    return h != nullptr && h != (RunHandle)-1;
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
