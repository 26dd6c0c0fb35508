#include "jobs/quepipe.h"

#include <cstdio>
#include <cstring>

#include "exec/signals.h"
#include "app/syserr.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "jobs/quecore.h"
#include "rules/envmap.h"

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

// A worker's output is kept, slot for slot and stream by stream, until it has
// ended, so that it reaches the console in one piece; reading it while the
// worker runs keeps a worker with much output from stalling on a full pipe.
// Beyond kSpoolAbove bytes it goes on to a temporary file, so a worker
// printing a lot costs no more memory than that.
long long const kSpoolAbove = 1 << 20;
long long const kCopyPiece = 1 << 16;

struct Spool {
    CxStr1p text; // what came after the file's part
    FILE* file = nullptr;
    CxStr1p path;
    bool inMemory = false; // the file failed: the rest stays here
};
Vect1p_Vobj<Spool> g_out, g_err;
// Never reset, so names stay unique for the life of the process.
long long g_spoolCount = 0;

CxStr1p spoolPath() {
    CxStr1p dir = envTmpDirOwn();
    CxStr1p name("vorn-out-");
    name += strFromInt(getPid());
    name += '-';
    name += strFromInt(++g_spoolCount);
    return pathJoin(dir, name);
}

void spoolDiscard(Spool& s) {
    if (s.file) {
        fclose(s.file);
        fsRm(s.path);
    }
    s.file = nullptr;
    s.path.clear();
    s.text.destroy();
    s.inMemory = false;
}

// Moves what is kept to the file once it is large.
void spoolSpill(Spool& s) {
    if (s.text.length() < kSpoolAbove || s.inMemory) return;
    if (!s.file) {
        s.path = spoolPath();
        s.file = fsFopen(s.path.c_str(), "w+b");
        if (!s.file) {
            s.path.clear();
            s.inMemory = true;
            return;
        }
    }
    size_t n = fwrite(s.text.c_str(), 1, (size_t)s.text.length(), s.file);
    if ((long long)n < s.text.length()) {
        // Whatever the file took stays there, in order, ahead of the rest.
        s.inMemory = true;
        if (n > 0) s.text.delSpan(0, (long long)n);
        return;
    }
    s.text.clear();
}

// Writes the file's part, then the rest, to fd; removes the file.
void spoolFlushTo(int fd, Spool& s) {
    if (s.file && fflush(s.file) == 0 && fseek(s.file, 0, SEEK_SET) == 0) {
        CxStr1p piece;
        if (piece.reserve(kCopyPiece + 1)) {
            for (;;) {
                size_t n = fread(piece.data, 1, (size_t)kCopyPiece, s.file);
                if (n == 0) break;
                fdWriteAll(fd, piece.data, (long long)n);
            }
        }
    }
    fdWriteAll(fd, s.text.c_str(), s.text.length());
    spoolDiscard(s);
}

long long slotIndex(RunCapRIO const& r) {
    return &r - g_pipe.slots.begin();
}

void spillSlot(RunCapRIO const& r) {
    long long i = slotIndex(r);
    if (i < 0 || i >= g_out.size()) return;
    spoolSpill(g_out[i]);
    spoolSpill(g_err[i]);
}

bool PipeV::onInit(long long n) {
    if (!g_out.reserve(n) || !g_err.reserve(n)) {
        onDestroy();
        return false;
    }
    for (long long i = 0; i < n; ++i) {
        g_out.addVal(Spool());
        g_err.addVal(Spool());
    }
    return true;
}

void PipeV::onDestroy() {
    for (Spool& s : g_out)
        spoolDiscard(s);
    for (Spool& s : g_err)
        spoolDiscard(s);
    g_out.destroy();
    g_err.destroy();
}

bool PipeV::start(Rec& r) {
    long long i = slotIndex(r);
    if (i < 0 || i >= g_out.size()) return false;
    // Nothing of a worker whose start failed reaches the next one's output.
    spoolDiscard(g_out[i]);
    spoolDiscard(g_err[i]);
    r.txData = r.app.cmds;
    if (!r.txData.addCstr(kBatchEndMarker)) return false;
    r.nonBlock = true;
    r.rxLoopWait = true;
    r.rxOut.init(&g_out[i].text);
    r.rxErr.init(&g_err[i].text);
    // The worker is the child itself, so stopping the child stops it: started
    // directly when it can be (no interpreter start, and on Windows no
    // cmd.exe that may fail to find it), otherwise the interpreter becomes it.
    bool direct = runLineIsPlainWords(r.app.cmd);
    CxStr1p cmd(direct ? "" : runShellExecPrefix());
    cmd += r.app.cmd;
    if (!runCapStart(r, cmd, direct)) return false;
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
    for (long long i = 0; i < kRxPerLook && runCapRxOnce(r); ++i)
        spillSlot(r);
    return runCapPeekExit(r);
}

bool PipeV::reap(Rec& r) {
    runCapWaitExit(r);
    // What is left after the exit; a descendant that keeps the pipe open
    // does not hold us up.
    while (runCapRxOnce(r))
        spillSlot(r);
    long long i = slotIndex(r);
    fflush(stdout);
    fflush(stderr);
    if (i >= 0 && i < g_out.size()) {
        spoolFlushTo(1, g_out[i]);
        spoolFlushTo(2, g_err[i]);
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
