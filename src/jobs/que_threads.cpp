#include "jobs/que_threads.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "jobs/quecore.h"

namespace {

// ---- thread queue

struct TrdV : QueVariantBase {
    using Rec = RunAppInfo;
    static RunAppInfo& app(Rec& r) { return r; }
    static bool onInit(long long n);
    static void onDestroy();
    static long long aheadSlots(long long n);
    static void onErr(bool on);
    static bool start(Rec& r);
    static bool finished(Rec& r);
    static bool reap(Rec& r);
    static void waitAny(QueCore<TrdV>& q, long long ms);
};

QueCore<TrdV> g_trd;
std::atomic<bool (*)(TrdInfo&)> g_trdFn{nullptr};

// A worker marks its slot ended under this lock and wakes the build's
// thread, which waits at most the queue's pause.
std::mutex g_endMtx;
std::condition_variable g_endCv;
Vect1p_Vobj<unsigned char> g_trdEnded; // per slot

// One thread per worker, made at its first job and kept until the queue is
// destroyed: a thread made and joined per job cost about as much as a short
// job's own process start. With hand-ahead the queue has a slot per worker
// and one more per worker: a record started while every worker is busy waits
// in a list, and the first worker whose job ends starts it itself, without
// waiting for the build's thread, unless a job failed or the queue was
// stopped meanwhile. The fields are guarded by g_endMtx.
struct Worker {
    std::thread th;
    std::condition_variable go;
    TrdInfo info;       // what the worker function is called with
    long long cur = -1; // the slot it runs
    bool quit = false;
};
Vect1p_Vobj<Worker*> g_workers;
Vect1p_Vobj<long long> g_handedAhead; // slots, oldest first
bool g_aheadOn = false;
// Set by a failing job at once and by the queue's error flag; a failure not
// yet reaped keeps it set, so the build's thread cannot clear it unknowingly.
bool g_stopped = false;
long long g_failedUnreaped = 0;

long long slotIndex(RunAppInfo const& r) {
    return &r - g_trd.slots.begin();
}

void workerLoop(long long i) {
    Worker& w = *g_workers[i];
    TrdInfo& t = w.info;
    std::unique_lock<std::mutex> lk(g_endMtx);
    for (;;) {
        w.go.wait(lk, [&w] { return w.cur >= 0 || w.quit; });
        if (w.cur < 0) return;
        RunAppInfo& r = g_trd.slots[w.cur];
        lk.unlock();
        t.data.store(&r);
        bool (*fn)(TrdInfo&) = g_trdFn.load();
        t.result.store(fn ? fn(t) : false);
        lk.lock();
        g_trdEnded[w.cur] = 1;
        if (r.retCode != 0) {
            ++g_failedUnreaped;
            g_stopped = true;
        }
        w.cur = -1;
        if (!g_handedAhead.isEmpty()) {
            if (g_stopped || w.quit) {
                for (long long j : g_handedAhead) {
                    g_trd.slots[j].notRun = true;
                    g_trdEnded[j] = 1;
                }
                g_handedAhead.clear();
            } else {
                w.cur = g_handedAhead[0];
                g_handedAhead.delAt(0);
            }
        }
        // Woken after the unlock, the build's thread does not wait for the lock.
        lk.unlock();
        g_endCv.notify_all();
        lk.lock();
    }
}

bool TrdV::onInit(long long n) {
    g_failedUnreaped = 0;
    if (!g_handedAhead.reserve(g_trd.slots.size())) return false;
    if (!g_trdEnded.reserve(g_trd.slots.size())) return false;
    for (long long i = 0; i < g_trd.slots.size(); ++i)
        g_trdEnded.addVal(0);
    for (long long i = 0; i < n; ++i) {
        Worker* w = new (std::nothrow) Worker;
        if (!w || !g_workers.addVal(w)) {
            delete w;
            onDestroy();
            return false;
        }
    }
    return true;
}

void TrdV::onDestroy() {
    // A worker still running a job finishes it first.
    for (Worker* w : g_workers) {
        {
            std::lock_guard<std::mutex> lk(g_endMtx);
            w->quit = true;
        }
        w->go.notify_one();
        if (w->th.joinable()) w->th.join();
        delete w;
    }
    g_workers.destroy();
    g_handedAhead.destroy();
    g_trdEnded.destroy();
}

long long TrdV::aheadSlots(long long n) {
    return g_aheadOn ? n : 0;
}

void TrdV::onErr(bool on) {
    std::lock_guard<std::mutex> lk(g_endMtx);
    g_stopped = on || g_failedUnreaped > 0;
}

bool TrdV::start(Rec& r) {
    long long j = slotIndex(r);
    if (g_workers.isEmpty() || !g_trdFn.load()) return false;
    if (!r.cmds.addCstr(kBatchEndMarker)) return false;
    r.retCode = 2;
    r.started = true;
    // Choosing an idle worker and handing the record ahead happen under one
    // lock: a worker that goes idle in between would leave it waiting.
    Worker* idle = nullptr;
    long long wi = 0;
    {
        std::lock_guard<std::mutex> lk(g_endMtx);
        g_trdEnded[j] = 0;
        for (; wi < g_workers.size() && !idle; ++wi)
            if (g_workers[wi]->cur < 0) idle = g_workers[wi];
        if (idle)
            idle->cur = j;
        else
            g_handedAhead.addVal(j); // room for every slot was reserved
    }
    if (!idle) return true;
    if (!idle->th.joinable()) {
        try {
            idle->th = std::thread(workerLoop, wi - 1);
        } catch (std::system_error const&) {
            std::lock_guard<std::mutex> lk(g_endMtx);
            idle->cur = -1;
            r.started = false;
            return false;
        }
    }
    idle->go.notify_one();
    return true;
}

bool TrdV::finished(Rec& r) {
    std::lock_guard<std::mutex> lk(g_endMtx);
    return g_trdEnded[slotIndex(r)] != 0;
}

bool TrdV::reap(Rec& r) {
    r.exited = true;
    if (r.notRun) return true;
    if (r.retCode == 0) return true;
    std::lock_guard<std::mutex> lk(g_endMtx);
    --g_failedUnreaped;
    return false;
}

void TrdV::waitAny(QueCore<TrdV>& q, long long ms) {
    std::unique_lock<std::mutex> lk(g_endMtx);
    g_endCv.wait_for(lk, std::chrono::milliseconds(ms), [&q] {
        for (long long i = 0; i < q.slots.size(); ++i)
            if (q.slots[i].started && g_trdEnded[i]) return true;
        return false;
    });
}

// ---- callback queue

struct CbV : QueVariantBase {
    using Rec = RunAppInfo;
    static constexpr long long fixedCapacity = 1;
    static RunAppInfo& app(Rec& r) { return r; }
    static bool start(Rec& r);
    static bool finished(Rec& r) { return r.exited; }
    static bool reap(Rec& r) { return r.retCode == 0; }
    // A callback has ended when its start returns.
    static void waitAny(QueCore<CbV>&, long long) {}
};

QueCore<CbV> g_cb;
bool (*g_cbFn)(RunAppInfo&) = nullptr;

bool CbV::start(Rec& r) {
    if (!g_cbFn) return false;
    if (!r.cmds.addCstr(kBatchEndMarker)) return false;
    r.retCode = 2;
    r.started = true;
    g_cbFn(r);
    r.exited = true;
    return true;
}

bool pullCopy(CxStr1p& text, CxStr1p const& cmds) {
    if (!text.setCstr(cmds.c_str(), cmds.length())) return false;
    return queBatchCutMarker(text);
}

RunAppInfo pushRecord(CxStr1p const& cmds, CxStr1p const& label) {
    RunAppInfo r;
    r.cmds = cmds;
    r.label = label;
    return r;
}

} // namespace

QUE_DEFINE_OPS(queCmds2Trd, g_trd)

void queCmds2TrdInitAhead(bool on) {
    g_aheadOn = on;
}

bool queCmds2TrdPushAdvance(CxStr1p const&, CxStr1p const& cmds, CxStr1p const& label) {
    return g_trd.pushAdvance(pushRecord(cmds, label));
}

bool queCmds2TrdInitFnWorker(void* fn) {
    g_trdFn.store(reinterpret_cast<bool (*)(TrdInfo&)>(fn));
    return fn != nullptr;
}

bool queCmds2TrdPull(CxStr1p& text, CxStr1p const& cmds) {
    return pullCopy(text, cmds);
}

QUE_DEFINE_OPS(queCmds2CbFn, g_cb)

bool queCmds2CbFnPushAdvance(CxStr1p const&, CxStr1p const& cmds, CxStr1p const& label) {
    return g_cb.pushAdvance(pushRecord(cmds, label));
}

bool queCmds2CbFnInitFnWorker(void* fn) {
    g_cbFn = reinterpret_cast<bool (*)(RunAppInfo&)>(fn);
    return fn != nullptr;
}

bool queCmds2CbFnPull(CxStr1p& text, CxStr1p const& cmds) {
    return pullCopy(text, cmds);
}
