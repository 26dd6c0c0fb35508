#include "jobs/quepipe.h"

#include <cstdio>
#include <cstring>

#include "app/errnr.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "jobs/quecore.h"

namespace {

// True when the text, read as LF lines, ends with the marker: only its tail
// is looked at, so a large batch is not converted once per chunk.
bool endsWithMarker(CxStr1p const& raw) {
    long long n = raw.length();
    long long from = n > 16 ? n - 16 : 0;
    CxStr1p tail;
    if (!tail.setCstr(raw.c_str() + from, n - from)) return false;
    strReplaceNL2LF(tail);
    long long m = tail.length();
    return m >= kBatchEndMarkerLen &&
           memcmp(tail.c_str() + m - kBatchEndMarkerLen, kBatchEndMarker, kBatchEndMarkerLen) == 0;
}

struct PipeV : QueVariantBase {
    using Rec = RunCapRIO;
    static RunAppInfo& app(Rec& r) { return r.app; }
    static bool onInit(long long n);
    static void onDestroy();
    static bool start(Rec& r);
    static bool finished(Rec& r);
    static bool reap(Rec& r);
    static void waitAny(QueCore<PipeV>& q, long long ms);
};

QueCore<PipeV> g_pipe;
// A worker's output is kept here, slot for slot, until it has ended, so that
// it reaches the console in one piece; reading it while the worker runs keeps
// a worker with much output from stalling on a full pipe.
Vect1p_Vobj<CxStr1p> g_out, g_err;

long long slotIndex(RunCapRIO const& r) {
    return &r - g_pipe.slots.begin();
}

bool PipeV::onInit(long long n) {
    for (long long i = 0; i < n; ++i) {
        if (!g_out.addVal(CxStr1p()) || !g_err.addVal(CxStr1p())) {
            onDestroy();
            return false;
        }
    }
    return true;
}

void PipeV::onDestroy() {
    g_out.destroy();
    g_err.destroy();
}

bool PipeV::start(Rec& r) {
    long long i = slotIndex(r);
    if (i < 0 || i >= g_out.size()) return false;
    r.txData = r.app.cmds;
    if (!r.txData.addCstr(kBatchEndMarker)) return false;
    r.nonBlock = true;
    r.rxLoopWait = true;
    r.rxOut.init(&g_out[i]);
    r.rxErr.init(&g_err[i]);
    // The interpreter becomes the worker, so stopping the child stops it.
    CxStr1p cmd(runShellExecPrefix());
    cmd += r.app.cmd;
    if (!runCapStart(r, cmd)) return false;
    // The writing reads the worker's output too, so a large batch cannot
    // deadlock against a worker that already writes.
    bool sent = runCapTxLoop(r);
    runCapClosePipe2In(r);
    return sent;
}

// Up to this many reads per look: a look takes what the pipes hold (where the
// system cannot wait on pipes, looks come only every few milliseconds), yet
// one busy worker cannot keep us from the others.
long long const kRxPerLook = 256;

bool PipeV::finished(Rec& r) {
    for (long long i = 0; i < kRxPerLook && runCapRxOnce(r); ++i) {
    }
    return runCapPeekExit(r);
}

bool PipeV::reap(Rec& r) {
    runCapWaitExit(r);
    // What is left after the exit; a descendant that keeps the pipe open
    // does not hold us up.
    while (runCapRxOnce(r)) {
    }
    long long i = slotIndex(r);
    fflush(stdout);
    fflush(stderr);
    if (i >= 0 && i < g_out.size()) {
        fdWriteAll(1, g_out[i].c_str(), g_out[i].length());
        fdWriteAll(2, g_err[i].c_str(), g_err[i].length());
        g_out[i].destroy();
        g_err[i].destroy();
    }
    r.rxOut.init(nullptr);
    r.rxErr.init(nullptr);
    r.rxOutOn = r.rxErrOn = false;
    runCapCloseAll(r);
    return r.app.exited && r.app.retCode == 0;
}

void PipeV::waitAny(QueCore<PipeV>& q, long long ms) {
    long long end = timeBootNs() + ms * 1000000LL;
    for (;;) {
        RunAppInfo* apps[64];
        int fds[128];
        long long n = 0, nf = 0;
        for (RunCapRIO& r : q.slots) {
            if (!r.app.started || n >= 64) continue;
            if (r.app.exited) return;
            apps[n++] = &r.app;
            if (r.pipeOut.open) fds[nf++] = r.pipeOut.fdRead;
            if (r.pipeErr.open) fds[nf++] = r.pipeErr.fdRead;
        }
        long long left = (end - timeBootNs()) / 1000000LL;
        if (n == 0 || left <= 0) return;
        runAppWaitAnyExit(apps, n, left, fds, nf);
        bool ended = false;
        for (RunCapRIO& r : q.slots)
            if (r.app.started && finished(r)) ended = true;
        if (ended) return;
    }
}

} // namespace

QUE_DEFINE_OPS(queCmds2Pipe, g_pipe)

bool queCmds2PipePushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label) {
    RunCapRIO r;
    r.app.cmd = cmd;
    r.app.cmds = cmds;
    r.app.label = label;
    return g_pipe.pushAdvance(std::move(r));
}

bool queCmds2PipePull(CxStr1p& text, int fd, bool nonBlock, long long pollMs, long long timeoutMs) {
    text.clear();
    if (fd < 0 || pollMs < 0 || timeoutMs < 0) return false;
    fdSetBlocking(fd, !nonBlock);
    long long last = timeBootNs();
    // A line "//$" inside the batch may happen to end a read: the marker ends
    // the batch only where the input ends (or falls silent) after it.
    bool marked = false;
    for (;;) {
        CxStr1p chunk;
        int err = 0;
        strPipeRead1xFd(fd, chunk, err);
        if (chunk.length() > 0) {
            if (!text.addCstr(chunk.c_str(), chunk.length())) return false;
            marked = endsWithMarker(text);
            last = timeBootNs();
            continue;
        }
        bool silent = timeBootNs() - last >= timeoutMs * 1000000LL;
        if (!errIsReadAgainX0(err) || silent) {
            if (marked) return queBatchCutMarker(text);
            text.clear();
            return false;
        }
        sleepMs(pollMs);
    }
}
