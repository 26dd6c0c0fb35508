#include "jobs/quefork.h"

#include "exec/signals.h"
#include "base/fs.h"
#include "base/textedit.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "jobs/quecore.h"

namespace {

// Up to this many children are waited for at once.
long long const kWaitMax = 64;

template <class Q> void waitProcs(Q& q, long long ms) {
    RunAppInfo* apps[kWaitMax];
    long long n = 0;
    for (RunAppInfo& r : q.slots)
        if (r.started && !r.exited && n < kWaitMax) apps[n++] = &r;
    runAppWaitAnyExit(apps, n, ms);
}

struct ProcV : QueVariantBase {
    using Rec = RunAppInfo;
    static RunAppInfo& app(Rec& r) { return r; }
    static bool finished(Rec& r) { return runAppPeekExit(r); }
    static bool reap(Rec& r) {
        runAppWaitExit(r);
        return r.exited && r.retCode == 0;
    }
};

struct ForkV : ProcV {
    static bool onInit(long long n);
    static void onDestroy();
    static bool start(Rec& r);
    static bool reap(Rec& r);
    static void waitAny(QueCore<ForkV>& q, long long ms) { waitProcs(q, ms); }
};

struct Cmd1V : ProcV {
    static bool start(Rec& r) { return runFork(r, r.cmd); }
    static void waitAny(QueCore<Cmd1V>& q, long long ms) { waitProcs(q, ms); }
};

QueCore<ForkV> g_fork;
QueCore<Cmd1V> g_cmd1;
CxStr1p g_prefix;
long long g_prefixPid = 0;
// Never reset, so names stay unique for the life of the process.
long long g_batchCount = 0;
// Each slot's batch file: a worker that ended before reading it (not found,
// killed) must not leave it behind.
StrVect g_slotFile;

long long forkSlot(RunAppInfo const& r) {
    long long i = &r - g_fork.slots.begin();
    return i >= 0 && i < g_slotFile.size() ? i : -1;
}

CxStr1p batchFileName(long long n) {
    CxStr1p name(g_prefix);
    name += '-';
    name += strFromInt(g_prefixPid);
    name += '-';
    name += strFromInt(n);
    return name;
}

bool ForkV::onInit(long long n) {
    for (long long i = 0; i < n; ++i) {
        if (!g_slotFile.addVal(CxStr1p())) {
            onDestroy();
            return false;
        }
    }
    return true;
}

void ForkV::onDestroy() {
    g_slotFile.destroy();
}

bool ForkV::reap(Rec& r) {
    bool ok = ProcV::reap(r);
    long long i = forkSlot(r);
    if (i >= 0 && !g_slotFile[i].isEmpty()) {
        fsRm(g_slotFile[i]);
        g_slotFile[i].clear();
    }
    return ok;
}

bool ForkV::start(Rec& r) {
    CxStr1p file = batchFileName(++g_batchCount);
    long long slot = forkSlot(r);
    if (slot >= 0) g_slotFile[slot] = file;
    CxStr1p text(r.cmds);
    if (!text.addCstr(kBatchEndMarker)) return false;
    if (!strFileSaveFd(file, text)) {
        fsRm(file); // a partial batch must not stay behind
        return false;
    }
    // Quoted when the temporary directory holds blanks.
    if (!strSepAdd(r.cmd, strArgQuoteByCtx(file), ' ')) {
        fsRm(file);
        return false;
    }
    bool direct = runLineIsPlainWords(r.cmd);
    CxStr1p line(direct ? "" : runShellExecPrefix());
    line += r.cmd;
    if (runFork(r, line, direct)) return true;
    // Nobody will read it: a failed start leaves no file behind.
    fsRm(file);
    return false;
}

} // namespace

QUE_DEFINE_OPS(queCmds2Fork, g_fork)
QUE_DEFINE_OPS(queCmd1Fork, g_cmd1)

bool queCmds2ForkPushAdvance(CxStr1p const& cmd, CxStr1p const& cmds, CxStr1p const& label) {
    RunAppInfo r;
    r.cmd = cmd;
    r.cmds = cmds;
    r.label = label;
    return g_fork.pushAdvance(std::move(r));
}

bool queCmd1ForkPushAdvance(CxStr1p const& cmd, CxStr1p const& label) {
    RunAppInfo r;
    r.cmd = cmd;
    r.label = label;
    return g_cmd1.pushAdvance(std::move(r));
}

bool queCmds2ForkInitPathPrefix(CxStr1p const& prefix) {
    g_prefix = prefix;
    g_prefixPid = prefix.isEmpty() ? 0 : getPid();
    return true;
}

CxStr1p queCmds2ForkNextFileName() {
    return batchFileName(g_batchCount + 1);
}

bool queCmds2ForkPull(CxStr1p& text, CxStr1p const& file) {
    text.clear();
    if (file.isEmpty()) return false;
    bool loaded = strFileLoadFd(file, text);
    fsRm(file);
    if (!loaded) {
        text.clear();
        return false;
    }
    if (queBatchCutMarker(text)) return true;
    text.clear();
    return false;
}
