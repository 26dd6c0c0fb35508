#include <gtest/gtest.h>

#include <atomic>

#include "base/timenum.h"
#include "jobs/threads.h"

namespace {

long long msSince(long long t0) {
    return (timeBootNs() - t0) / 1000000LL;
}

// Waits (bounded) until the flag is set; the tests never hang on a fault.
bool waitFor(std::atomic<bool> const& flag, long long ms) {
    long long t0 = timeBootNs();
    while (!flag.load()) {
        if (msSince(t0) > ms) return false;
        sleepUs(200);
    }
    return true;
}

std::atomic<bool> g_gate{false};
std::atomic<bool> g_inside{false};
std::atomic<int> g_calls{0};
Mutex* g_shared = nullptr;

// Single-shot body: runs until the gate opens, then reports its data.
bool gatedFn(TrdInfo& t) {
    g_inside.store(true);
    while (!g_gate.load())
        sleepUs(100);
    return t.data.load() != nullptr;
}

bool lockingFn(TrdInfo&) {
    if (!g_shared->lock()) return false;
    g_inside.store(true);
    g_shared->unlock();
    return true;
}

// Looping body: fails once on its third call.
bool countingFn(TrdInfo&) {
    int n = ++g_calls;
    sleepUs(100);
    return n != 3;
}

} // namespace

TEST(TrdMutex, LocksOnlyOnceInitialisedAndExcludesOtherThreads) {
    Mutex m;
    long long t0 = timeBootNs();
    EXPECT_FALSE(m.lock() || m.unlock()) << "never initialised";
    EXPECT_LT(msSince(t0), 100) << "a lock on a missing mutex must not block";

    ASSERT_TRUE(m.init());
    EXPECT_TRUE(m.init()) << "a second init changes nothing";
    ASSERT_TRUE(m.lock());
    EXPECT_TRUE(m.lock()) << "recursive: the owner locks again";

    g_shared = &m;
    g_inside.store(false);
    TrdInfo t;
    ASSERT_TRUE(trdStart(t, lockingFn, nullptr, false));
    sleepMs(30);
    EXPECT_FALSE(g_inside.load()) << "another thread got a held mutex";
    m.unlock();
    sleepMs(10);
    EXPECT_FALSE(g_inside.load()) << "still held once";
    m.unlock();
    EXPECT_TRUE(trdAskWaitExit(t, 2000) && g_inside.load());
    EXPECT_TRUE(trdJoin(t) && t.result.load());

    EXPECT_TRUE(m.destroy());
    EXPECT_FALSE(m.lock()) << "a destroyed mutex is not initialised";
    g_shared = nullptr;
}

TEST(TrdThreads, SingleShotReportsItsEndAndIsJoinedOnce) {
    int before = trdAllCount();
    g_gate.store(false);
    g_inside.store(false);
    int data = 7;
    TrdInfo t;
    ASSERT_TRUE(trdStart(t, gatedFn, &data, false));
    EXPECT_TRUE(t.started.load() && t.id.load() != 0 && !trdIsEqId(t.id.load(), trdSelfId()));
    ASSERT_TRUE(waitFor(g_inside, 2000));
    EXPECT_EQ(trdAllCount(), before + 1);

    g_gate.store(true);
    EXPECT_TRUE(trdAskWaitExit(t, 2000));
    EXPECT_TRUE(t.result.load()) << "the data pointer reached the body";
    EXPECT_TRUE(trdJoin(t) && t.joined.load());
    EXPECT_TRUE(trdJoin(t)) << "joining again is no error";
    EXPECT_FALSE(trdDetach(t)) << "a joined thread cannot be detached";
    EXPECT_EQ(trdAllCount(), before);
}

TEST(TrdThreads, LoopRunsUntilAskedAndKeepsEveryResult) {
    g_calls.store(0);
    TrdInfo t;
    ASSERT_TRUE(trdStart(t, countingFn, nullptr, true));
    long long t0 = timeBootNs();
    while (g_calls.load() < 5 && msSince(t0) < 2000)
        sleepUs(200);
    EXPECT_GE(g_calls.load(), 5) << "the body is called again and again";
    EXPECT_FALSE(t.exited.load());
    EXPECT_TRUE(trdAskWaitExit(t, 2000));
    EXPECT_FALSE(t.result.load()) << "one failed call fails the loop";
    int calls = g_calls.load();
    sleepMs(5);
    EXPECT_EQ(g_calls.load(), calls) << "no call after the end";
    EXPECT_TRUE(trdJoin(t));

    // The process-wide request ends a loop as well.
    TrdInfo idle;
    ASSERT_TRUE(trdStart(idle, nullptr, nullptr, true));
    sleepMs(5);
    EXPECT_FALSE(idle.exited.load());
    trdAllAskExit(true);
    EXPECT_TRUE(trdAllIsExitRequest());
    long long waited = timeBootNs();
    while (!idle.exited.load() && msSince(waited) < 2000)
        sleepUs(200);
    trdAllAskExit(false);
    EXPECT_TRUE(idle.exited.load() && !idle.result.load());
    EXPECT_TRUE(trdJoin(idle));
}
