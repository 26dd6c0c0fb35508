#include "exec/signals.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/timenum.h"
#include "base/fs.h"
#include "exec/signals_sys.h"

long long getPid() {
    return sigSys().getPid();
}

bool endWithParent() {
    return sigSys().endWithParent();
}

// The raw write is a single system call: safe in a signal handler.
void writeFd2(char const* buf, int n) {
    while (n > 0) {
        long long w = fdWriteRaw(2, buf, n);
        if (w <= 0) return;
        buf += w;
        n -= (int)w;
    }
}

// ---- interrupt handling ----

namespace {
std::atomic<bool> g_sigInstalled{false};
SigHandlerFn g_prevInt = SIG_DFL;
SigHandlerFn g_prevTerm = SIG_DFL;
std::atomic<void (*)()> g_stopChildren{nullptr};
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_sigHold{false};
// How often the watcher looks for a recorded signal.
long long const kWatchMs = 20;

// Only records: stopping children takes the registry's lock and waits, which
// a handler may not do. The watcher thread does it from normal code.
void onSignal(int sig) {
    SigHandlerFn prev = sig == SIGINT ? g_prevInt : (sig == SIGTERM ? g_prevTerm : SIG_DFL);
    sigEcho2Fd(sig, (void const*)prev);
    if (sig != SIGINT && sig != SIGTERM) return;
    g_interrupted.store(true);
    signal(sig, SIG_IGN);
    if (prev != SIG_DFL && prev != SIG_IGN && prev != SIG_ERR && prev != onSignal) prev(sig);
}

// Also after the first stop: a child registered a moment after it is
// stopped on the next pass.
void watchInterrupts() {
    for (;;) {
        sleepMs(kWatchMs);
        if (!g_interrupted.load()) continue;
        if (void (*fn)() = g_stopChildren.load()) fn();
    }
}
} // namespace

bool appInterrupted() {
    return g_interrupted.load();
}

void appInterruptedClear() {
    g_interrupted.store(false);
}

void runSetStopChildrenFn(void (*fn)()) {
    g_stopChildren.store(fn);
}

bool runInitSigHandler() {
    static std::once_flag watcher;
    std::call_once(watcher, [] { std::thread(watchInterrupts).detach(); });
    bool expected = false;
    if (!g_sigInstalled.compare_exchange_strong(expected, true)) return true;
    bool ok = trapSignal(SIGINT, onSignal, &g_prevInt);
    ok = trapSignal(SIGTERM, onSignal, &g_prevTerm) && ok;
    return ok;
}

void runHoldSigHandler(bool on) {
    g_sigHold.store(on);
    if (on) runInitSigHandler();
}

bool runDoneSigHandler() {
    if (g_sigHold.load()) return true;
    if (!g_sigInstalled.exchange(false)) return true;
    bool ok = signal(SIGINT, g_prevInt) != SIG_ERR;
    ok = signal(SIGTERM, g_prevTerm) != SIG_ERR && ok;
    return ok;
}

bool trapSignal(int sig, SigHandlerFn handler, SigHandlerFn* previous) {
    SigHandlerFn p = signal(sig, handler);
    if (p == SIG_ERR) return false;
    if (previous) *previous = p;
    return true;
}

bool untrapSignal(int sig) {
    return signal(sig, SIG_DFL) != SIG_ERR;
}
bool raiseSig(int sig) {
    return raise(sig) == 0;
}
bool raiseInt() {
    return raiseSig(SIGINT);
}
bool raiseAbort() {
    return raiseSig(SIGABRT);
}

namespace {
// Runs inside a signal handler: no formatted output, no allocation.
struct SigText {
    char buf[80];
    int n = 0;
    void add(char const* s) {
        while (*s && n < (int)sizeof buf - 1)
            buf[n++] = *s++;
    }
    void addNum(unsigned long long v, unsigned base) {
        char d[24];
        int k = 0;
        do {
            d[k++] = "0123456789abcdef"[v % base];
            v /= base;
        } while (v);
        while (k > 0 && n < (int)sizeof buf - 1)
            buf[n++] = d[--k];
    }
    void addInt(long long v) {
        if (v < 0) add("-");
        addNum(v < 0 ? 0ULL - (unsigned long long)v : (unsigned long long)v, 10);
    }
};

} // namespace

int sigFormat(char* buf, int cap, int sig, void const* previous) {
    SigText t;
    t.add("\nSIG ");
    t.addInt(sig);
    t.add(" pid ");
    t.addInt(getPid());
    t.add(" psh ");
    if (previous) {
        t.add("0x");
        t.addNum((unsigned long long)(uintptr_t)previous, 16);
    } else {
        t.add("(nil)");
    }
    t.add("\n\n");
    int n = t.n < cap ? t.n : cap - 1;
    memcpy(buf, t.buf, (size_t)n);
    return n;
}

void sigEcho2Fd(int sig, void const* previous) {
    char buf[80];
    int n = sigFormat(buf, sizeof buf, sig, previous);
    writeFd2(buf, n);
}

void sigEcho2Fs(int sig, void const* previous) {
    char buf[80];
    int n = sigFormat(buf, sizeof buf, sig, previous);
    fwrite(buf, 1, (size_t)n, stderr);
    fflush(stderr);
}
