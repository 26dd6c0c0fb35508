#include "jobs/threads.h"

#include <sched.h>

#include <cstring>

#include "base/timenum.h"
#include "jobs/cores_sys.h"

namespace {

struct TrdAll {
    Mutex lock;
    int count = 0;
    std::uint64_t mainId = 0;
    bool mainIdSet = false;
    std::atomic<bool> askExit{false};
    std::atomic<bool> askDetach{false};
    TrdAll() { lock.init(); }
};

// Made before main, so the first thread start finds the lock ready.
TrdAll& all() {
    static TrdAll a;
    return a;
}
[[maybe_unused]] TrdAll& g_allInit = all();

std::uint64_t idOf(pthread_t t) {
    std::uint64_t v = 0;
    memcpy(&v, &t, sizeof(t) < sizeof(v) ? sizeof(t) : sizeof(v));
    return v;
}

pthread_t threadOf(std::uint64_t id) {
    pthread_t t;
    memset(&t, 0, sizeof(t));
    memcpy(&t, &id, sizeof(t) < sizeof(id) ? sizeof(t) : sizeof(id));
    return t;
}

void countAdd(int d) {
    TrdAll& a = all();
    a.lock.lock();
    a.count += d;
    if (a.count < 0) a.count = 0;
    a.lock.unlock();
}

void bodyEnd(TrdInfo& t) {
    t.exited.store(true);
    if (!trdIsEqId(trdSelfId(), trdMainId())) countAdd(-1);
}

void* bodyOnce(void* p) {
    TrdInfo& t = *static_cast<TrdInfo*>(p);
    bool (*fn)(TrdInfo&) = t.fn.load();
    t.result.store(fn ? fn(t) : false);
    bodyEnd(t);
    return nullptr;
}

void* bodyLoop(void* p) {
    TrdInfo& t = *static_cast<TrdInfo*>(p);
    bool (*fn)(TrdInfo&) = t.fn.load();
    bool res = fn != nullptr;
    while (!t.askExit.load() && !trdAllIsExitRequest()) {
        if (fn) res = fn(t) && res;
        if ((t.askDetach.load() || trdAllIsDetachRequest()) && !t.detached.load()) {
            if (pthread_detach(pthread_self()) == 0) t.detached.store(true);
        }
        trdSelfYield();
    }
    t.result.store(res);
    bodyEnd(t);
    return nullptr;
}

} // namespace

// ---- Mutex

bool Mutex::init() {
    if (initDone.load()) return true;
    if (pthread_mutexattr_init(&attr) != 0) return false;
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (pthread_mutex_init(&mtx, &attr) != 0) {
        pthread_mutexattr_destroy(&attr);
        return false;
    }
    initDone.store(1);
    return true;
}

bool Mutex::lock() {
    return initDone.load() && pthread_mutex_lock(&mtx) == 0;
}

bool Mutex::unlock() {
    return initDone.load() && pthread_mutex_unlock(&mtx) == 0;
}

bool Mutex::destroy() {
    if (!initDone.exchange(0)) return true;
    bool ok = pthread_mutex_destroy(&mtx) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// ---- threads

bool trdStart(TrdInfo& t, bool (*fn)(TrdInfo&), void* data, bool loop) {
    TrdAll& a = all();
    a.lock.lock();
    if (!a.mainIdSet && a.count == 0) {
        a.mainId = trdSelfId();
        a.mainIdSet = true;
    }
    a.lock.unlock();
    trdInfoClear(t);
    t.fn.store(fn);
    t.data.store(data);
    t.started.store(true);
    // Counted before the thread runs, so a quick body cannot lower it first.
    countAdd(1);
    pthread_t th;
    if (pthread_create(&th, nullptr, loop ? bodyLoop : bodyOnce, &t) != 0) {
        countAdd(-1);
        t.started.store(false);
        return false;
    }
    t.id.store(idOf(th));
    return true;
}

bool trdJoin(TrdInfo& t) {
    if (t.joined.load()) return true;
    if (!t.started.load() || t.detached.load()) return false;
    if (!stdtrdJoin(t.id.load())) return false;
    t.joined.store(true);
    return true;
}

bool trdDetach(TrdInfo& t) {
    if (t.detached.load()) return true;
    if (!t.started.load() || t.joined.load()) return false;
    if (!stdtrdDetach(t.id.load())) return false;
    t.detached.store(true);
    return true;
}

void trdAskExit(TrdInfo& t) {
    t.askExit.store(true);
}
void trdAskDetach(TrdInfo& t) {
    t.askDetach.store(true);
}
void trdAllAskExit(bool on) {
    all().askExit.store(on);
}
bool trdAllIsExitRequest() {
    return all().askExit.load();
}
void trdAllAskDetach(bool on) {
    all().askDetach.store(on);
}
bool trdAllIsDetachRequest() {
    return all().askDetach.load();
}

bool trdAskWaitExit(TrdInfo& t, int ms) {
    t.askExit.store(true);
    long long limit = (ms < 0 ? 0 : ms) * 1000000LL;
    long long t0 = timeBootNs();
    while (!t.exited.load()) {
        if (timeBootNs() - t0 >= limit) break;
        sleepUs(1);
    }
    return t.exited.load();
}

void trdAllInitCount(int n) {
    TrdAll& a = all();
    a.lock.lock();
    a.count = n;
    a.lock.unlock();
}

int trdAllCount() {
    TrdAll& a = all();
    a.lock.lock();
    int n = a.count;
    a.lock.unlock();
    return n;
}

std::uint64_t trdMainId() {
    TrdAll& a = all();
    a.lock.lock();
    std::uint64_t id = a.mainIdSet ? a.mainId : 0;
    a.lock.unlock();
    return id;
}

void trdMainIdSet(std::uint64_t id) {
    TrdAll& a = all();
    a.lock.lock();
    a.mainId = id;
    a.mainIdSet = true;
    a.lock.unlock();
}

bool trdMainIdInit() {
    TrdAll& a = all();
    a.lock.lock();
    bool ok = true;
    if (!a.mainIdSet) {
        if (a.count == 0) {
            a.mainId = trdSelfId();
            a.mainIdSet = true;
        } else {
            ok = false;
        }
    }
    a.lock.unlock();
    return ok;
}

std::uint64_t trdSelfId() {
    return idOf(pthread_self());
}

bool trdIsEqId(std::uint64_t a, std::uint64_t b) {
    return pthread_equal(threadOf(a), threadOf(b)) != 0;
}

void trdSelfYield() {
    sched_yield();
}

void trdInfoClear(TrdInfo& t) {
    t.started.store(false);
    t.id.store(0);
    t.result.store(false);
    t.askExit.store(false);
    t.exited.store(false);
    t.joined.store(false);
    t.askDetach.store(false);
    t.detached.store(false);
    t.fn.store(nullptr);
    t.data.store(nullptr);
}

bool stdtrdJoin(std::uint64_t id) {
    return pthread_join(threadOf(id), nullptr) == 0;
}

bool stdtrdDetach(std::uint64_t id) {
    return pthread_detach(threadOf(id)) == 0;
}

void stdtrdSelfExit() {
    if (trdIsEqId(trdSelfId(), trdMainId())) return;
    countAdd(-1);
    pthread_exit(nullptr);
}

bool stdtrdDestroy(std::uint64_t id) {
    bool ok = pthread_cancel(threadOf(id)) == 0;
    countAdd(-1);
    return ok;
}

int infoCpuCoresCount() {
    static int cores = 0; // read once
    if (cores < 1) cores = hostCpuCores();
    return cores;
}
