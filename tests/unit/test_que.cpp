#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "printers.h"
#include "scratch.h"
#include "app/log.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/timenum.h"
#include "base/tokens.h"
#include "exec/run.h"
#include "jobs/que.h"
#include "jobs/quefork.h"
#include "jobs/quepipe.h"
#include "jobs/que_threads.h"

namespace {

namespace fs = std::filesystem;

long long msSince(long long t0) {
    return (timeBootNs() - t0) / 1000000LL;
}

// Test batches are "<ms> <code>": the worker sleeps, then ends with the code.
void readBatch(CxStr1p const& text, int& ms, int& rc) {
    ms = 0;
    rc = 0;
    sscanf(text.c_str(), "%d %d", &ms, &rc);
}

std::atomic<int> g_active{0};
std::atomic<int> g_peak{0};
std::atomic<int> g_runs{0};

int workerRun(RunAppInfo& r, bool whole, CxStr1p const& text) {
    ++g_runs;
    int now = ++g_active;
    int peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    int ms = 0, rc = 2;
    if (whole) readBatch(text, ms, rc);
    if (ms > 0) sleepMs(ms);
    --g_active;
    r.retCode = rc;
    r.exited = true;
    return rc;
}

bool trdWorker(TrdInfo& t) {
    RunAppInfo* r = static_cast<RunAppInfo*>(t.data.load());
    CxStr1p text;
    bool whole = queCmds2TrdPull(text, r->cmds);
    return workerRun(*r, whole, text) == 0;
}

bool cbWorker(RunAppInfo& r) {
    CxStr1p text;
    bool whole = queCmds2CbFnPull(text, r.cmds);
    return workerRun(r, whole, text) == 0;
}

bool useVariant(char letter) {
    if (!queCmds2AnyInitCb(letter)) return false;
    if (letter == 't') return queCmds2AnyInitFnWorker((void*)trdWorker);
    if (letter == 'c') return queCmds2AnyInitFnWorker((void*)cbWorker);
    return true;
}

bool push(char const* cmds, char const* label, CxStr1p const& cmd = CxStr1p()) {
    return queCmds2AnyPushAdvance(cmd, CxStr1p(cmds), CxStr1p(label));
}

class QueTest : public ScratchCwdTest {
  protected:
    Vect1p_Vobj<RunAppInfo> done;

    void SetUp() override {
        ScratchCwdTest::SetUp();
        logInitTimeImportant("t");
        fsInitSigPipeIgnore();
        g_active.store(0);
        g_peak.store(0);
    }
    void TearDown() override {
        queCmds2AnyAdvanceWaitClear(CxStr1p());
        queCmds2AnyDestroy();
        ScratchCwdTest::TearDown();
    }
    // The queue with n slots, its done list and pauses of the given length.
    void make(char letter, long long n, long long pauseMs = 10) {
        queCmds2AnyDestroy(); // the variant used before, if any
        ASSERT_TRUE(useVariant(letter));
        ASSERT_TRUE(queCmds2AnyInitMax(n));
        queCmds2AnyInitSleep(pauseMs, pauseMs);
        queCmds2AnyInitDoneAppInfo(&done);
        done.clear();
    }
    long long doneIndex(char const* label) {
        for (long long i = 0; i < done.size(); ++i)
            if (done[i].label == label) return i;
        return -1;
    }
    void put(char const* rel, std::string const& text) const {
        std::ofstream(dir + "/" + rel, std::ios::binary) << text;
    }
    std::string get(char const* rel) const {
        std::stringstream s;
        s << std::ifstream(dir + "/" + rel, std::ios::binary).rdbuf();
        return s.str();
    }
    bool has(char const* rel) const { return fs::exists(dir + "/" + rel); }
    // Names in the scratch directory that start with the prefix.
    int countFiles(char const* prefix) const {
        int n = 0;
        for (auto const& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

// The worker processes are this build's vorn executable.
class QueProcTest : public QueTest {
  protected:
    CxStr1p exe;
    void SetUp() override {
        QueTest::SetUp();
        exe = pathJoin(fsExeDir(), CxStr1p("vorn")) + fsExeSuffix();
        if (!fsaIsFile(exe)) GTEST_SKIP() << "no worker executable beside the tests";
    }
    CxStr1p workerCmd(char const* option) const {
        CxStr1p cmd = strArgQuoteByCtx(exe);
        cmd += ' ';
        cmd += option;
        return cmd;
    }
};

} // namespace

// Kept first: it needs the facade before any variant was chosen.
TEST(QueFacade, UnknownLetterLeavesEveryOperationAStub) {
    if (queCmds2AnyLetter() != 0) GTEST_SKIP() << "a variant was chosen earlier in this process";
    EXPECT_FALSE(queCmds2AnyInitCb('x'));
    EXPECT_FALSE(queCmds2AnyInitCb(0));
    EXPECT_TRUE(queCmds2AnyInitCb('1')) << "sequential: accepted, no queue";
    EXPECT_FALSE(queCmds2AnyInitMax(4));
    EXPECT_EQ(queCmds2AnyCapacity(), 0);
    EXPECT_FALSE(queCmds2AnyInitSleep(1, 1));
    EXPECT_FALSE(queCmds2AnyPushAdvance(CxStr1p(), CxStr1p("10 0"), CxStr1p("g")));
    EXPECT_EQ(queCmds2AnyCountWaitStart(), 0);
    EXPECT_EQ(queCmds2AnyCountWaitExit(), 0);
    EXPECT_EQ(queCmds2AnyCountToDo(), 0);
    EXPECT_FALSE(queCmds2AnyAdvance());
    queCmds2AnySetErr(true);
    EXPECT_FALSE(queCmds2AnyWasErr());
    EXPECT_FALSE(queCmds2AnyInitFnWorker((void*)trdWorker));
}

TEST_F(QueTest, CapacityIsAtLeastOneAndFixedForCallbacks) {
    make('t', 0);
    EXPECT_EQ(queCmds2AnyCapacity(), 1);
    ASSERT_TRUE(queCmds2AnyInitMax(-3));
    EXPECT_EQ(queCmds2AnyCapacity(), 1);
    ASSERT_TRUE(queCmds2AnyInitMax(3));
    EXPECT_EQ(queCmds2AnyCapacity(), 3);
    EXPECT_FALSE(queCmds2AnyInitFnWorker(nullptr));

    make('c', 8);
    EXPECT_EQ(queCmds2AnyCapacity(), 1);
    EXPECT_TRUE(push("0 0", "a"));
    EXPECT_TRUE(push("0 0", "b"));
    EXPECT_TRUE(queCmds2AnyAdvanceWaitAll(CxStr1p("cb")));
    EXPECT_EQ(done.size(), 2);
    EXPECT_EQ(g_peak.load(), 1);
    EXPECT_TRUE(queCmds2AnyInitPathPrefix(CxStr1p("ignored")));
}

// Pauses are upper bounds: a push with slots to spare does not wait, a push
// that fills the last slot waits at most the advance pause, less when a job ends.
TEST_F(QueTest, PausesAreUpperBoundsAndOnlyValidOnesAreTaken) {
    make('t', 4, 400);
    long long t0 = timeBootNs();
    EXPECT_TRUE(push("600 0", "a"));
    EXPECT_TRUE(push("600 0", "b"));
    EXPECT_TRUE(push("600 0", "c"));
    EXPECT_LT(msSince(t0), 250) << "pushes into free slots must not pause";
    EXPECT_EQ(queCmds2AnyCountWaitExit(), 3);

    EXPECT_FALSE(queCmds2AnyInitSleep(-1, 5));
    EXPECT_FALSE(queCmds2AnyInitSleep(5, -1));
    t0 = timeBootNs();
    EXPECT_TRUE(push("600 0", "d"));
    EXPECT_GE(msSince(t0), 300) << "the full queue pauses for the advance pause kept from before";
    EXPECT_TRUE(queCmds2AnyAdvanceWaitAll(CxStr1p("pauses")));
}

// Thread slots are kept from job to job: every batch runs once with its own
// record, at most one per worker at a time, also when workers take batches
// handed to them ahead of time; destroying the queue waits for a batch still
// running.
TEST_F(QueTest, ThreadSlotsRunEveryBatchOnceAcrossReinits) {
    for (bool ahead : {false, true})
        for (long long slots : {2, 3}) {
            SCOPED_TRACE(std::to_string(slots) + (ahead ? " ahead" : ""));
            queCmds2TrdInitAhead(ahead);
            make('t', slots, 1);
            EXPECT_EQ(queCmds2AnyCapacity(), slots);
            EXPECT_EQ(queCmds2AnyRoom(), ahead ? 2 * slots : slots);
            g_peak.store(0);
            std::vector<std::string> labels;
            for (int i = 0; i < 24; ++i)
                labels.push_back("j" + std::to_string(i));
            for (int i = 0; i < 24; ++i)
                ASSERT_TRUE(push(i % 5 ? "0 0" : "3 0", labels[i].c_str()));
            EXPECT_TRUE(queCmds2AnyAdvanceWaitAll(CxStr1p("all")));
            ASSERT_EQ(done.size(), 24);
            for (std::string const& l : labels) {
                long long k = doneIndex(l.c_str());
                ASSERT_GE(k, 0) << l;
                EXPECT_EQ(done[k].retCode, 0) << l;
                EXPECT_FALSE(done[k].notRun) << l;
            }
            EXPECT_LE(g_peak.load(), slots);
        }
    queCmds2TrdInitAhead(false);
    make('t', 2, 1);
    ASSERT_TRUE(push("150 0", "slow"));
    sleepMs(20);
    queCmds2AnyDestroy();
    EXPECT_EQ(g_active.load(), 0) << "the running batch ended before the queue went away";
}

// A batch handed ahead to a busy worker never starts once a batch has failed:
// it comes back as not run, and it is no failure of its own.
TEST_F(QueTest, HandedAheadBatchDoesNotStartAfterAFailure) {
    queCmds2TrdInitAhead(true);
    make('t', 1, 1);
    queCmds2TrdInitAhead(false);
    g_runs.store(0);
    ASSERT_TRUE(push("30 3", "bad"));
    ASSERT_TRUE(push("0 0", "ahead"));
    EXPECT_EQ(queCmds2AnyCountWaitExit(), 2) << "the second is handed ahead";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(queCmds2AnyAdvanceWaitAll(CxStr1p("end")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g_runs.load(), 1);
    long long bad = doneIndex("bad"), ahead = doneIndex("ahead");
    ASSERT_GE(bad, 0);
    ASSERT_GE(ahead, 0);
    EXPECT_EQ(done[bad].retCode, 3);
    EXPECT_TRUE(done[ahead].notRun);
    EXPECT_FALSE(done[bad].notRun);
}

TEST_F(QueTest, FailedBatchStopsTheQueueUntilCleared) {
    for (char letter : {'t', 'c'}) {
        SCOPED_TRACE(letter);
        make(letter, 1, 1);
        EXPECT_TRUE(push("20 3", "bad"));
        push("0 0", "next1");
        push("0 0", "next2");
        bool failed = false;
        long long t0 = timeBootNs();
        while (!failed && msSince(t0) < 5000) {
            failed = !queCmds2AnyAdvance();
            sleepMs(1);
        }
        EXPECT_TRUE(failed);
        EXPECT_TRUE(queCmds2AnyWasErr());
        EXPECT_EQ(queCmds2AnyCountWaitStart(), 0) << "the waiting list is dropped";
        EXPECT_FALSE(push("0 0", "late")) << "pushes are refused after a failure";
        EXPECT_FALSE(queCmds2AnyAdvance());
        long long k = doneIndex("bad");
        ASSERT_GE(k, 0);
        EXPECT_EQ(done[k].retCode, 3);
        EXPECT_LT(doneIndex("next2"), 0) << "nothing more starts";
        EXPECT_LT(doneIndex("late"), 0);

        testing::internal::CaptureStderr();
        EXPECT_FALSE(queCmds2AnyAdvanceWaitAll(CxStr1p("the end")));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Jobs Wait failed @ the end"), std::string::npos) << err;
        EXPECT_EQ(err.find("Jobs ToDo"), std::string::npos) << err;

        queCmds2AnySetErr(false);
        EXPECT_TRUE(push("0 0", "again"));
        EXPECT_TRUE(queCmds2AnyAdvanceWaitAll(CxStr1p("again")));
        EXPECT_GE(doneIndex("again"), 0);
    }
}

TEST_F(QueTest, InMemoryPullsTakeExactlyOneMarker) {
    CxStr1p text("stale");
    EXPECT_TRUE(queCmds2TrdPull(text, CxStr1p("a\r\nb\r\n//$\r\n")));
    EXPECT_EQ(text, "a\nb") << "CR LF read as LF, marker included";
    EXPECT_TRUE(queCmds2CbFnPull(text, CxStr1p("x\n//$\n//$\n")));
    EXPECT_EQ(text, "x\n//$") << "a batch ending in the marker line keeps it";
    EXPECT_TRUE(queCmds2TrdPull(text, CxStr1p("\n//$\n")));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(queCmds2TrdPull(text, CxStr1p("echo a\n//$")));
    EXPECT_FALSE(queCmds2CbFnPull(text, CxStr1p("//$\n")));
    EXPECT_FALSE(queCmds2CbFnPull(text, CxStr1p("")));
}

TEST_F(QueTest, FilePullDeletesTheFileAndNeedsTheMarker) {
    put("b1", "echo a\r\n//$\n//$\r\n");
    CxStr1p text;
    EXPECT_TRUE(queCmds2ForkPull(text, P("b1")));
    EXPECT_EQ(text, "echo a\n//$");
    EXPECT_FALSE(has("b1"));

    put("b2", "echo partial\n//");
    EXPECT_FALSE(queCmds2ForkPull(text, P("b2")));
    EXPECT_TRUE(text.isEmpty()) << "an incomplete batch hands out nothing";
    EXPECT_FALSE(has("b2")) << "deleted though not run";

    EXPECT_FALSE(queCmds2ForkPull(text, P("missing")));
    EXPECT_FALSE(queCmds2ForkPull(text, CxStr1p()));
}

// The worker's read of its input: the marker may arrive split between two
// reads; input that ends before the marker fails.
TEST_F(QueTest, PipePullFindsTheMarkerAcrossReads) {
    std::string body(997, 'x');
    body[500] = '\r';
    body[501] = '\n';
    put("split", body + "\n//$\n"); // reads take 1000 bytes: "\n//" then "$\n"
    int fd = fdOpen(P("split"), "rb");
    ASSERT_GE(fd, 0);
    CxStr1p text;
    EXPECT_TRUE(queCmds2PipePull(text, fd, false, 1, 100));
    fdClose(fd);
    std::string want = body.substr(0, 500) + "\n" + body.substr(502);
    EXPECT_EQ(std::string(text.c_str()), want);

    // A line "//$" inside the batch that happens to end a read is no end.
    std::string inner(995, 'y');
    put("inner", inner + "\n//$\n" + "echo b\n//$\n");
    fd = fdOpen(P("inner"), "rb");
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(queCmds2PipePull(text, fd, false, 1, 100));
    fdClose(fd);
    EXPECT_EQ(std::string(text.c_str()), inner + "\n//$\necho b");

    put("short", "echo a\n//$");
    fd = fdOpen(P("short"), "rb");
    ASSERT_GE(fd, 0);
    long long t0 = timeBootNs();
    EXPECT_FALSE(queCmds2PipePull(text, fd, false, 1, 100));
    EXPECT_LT(msSince(t0), 1000);
    fdClose(fd);

    EXPECT_FALSE(queCmds2PipePull(text, -1, false, 1, 100));
    EXPECT_FALSE(queCmds2PipePull(text, 0, false, -1, 100));
    EXPECT_FALSE(queCmds2PipePull(text, 0, false, 1, -1));
}

TEST_F(QueProcTest, FileFedBatchesRunInTurnAndLeaveNoFiles) {
    // Long pauses: every wait must end when the worker ends.
    make('f', 1, 30000);
    ASSERT_TRUE(queCmds2AnyInitPathPrefix(P("vb")));
    std::string first = queCmds2ForkNextFileName().c_str();
    size_t dash = first.rfind('-');
    ASSERT_NE(dash, std::string::npos);
    std::string second = first.substr(0, dash + 1) +
                         std::to_string(strtoll(first.c_str() + dash + 1, nullptr, 10) + 1);
    CxStr1p cmd = workerCmd("--jxbgf");
    long long t0 = timeBootNs();
    EXPECT_TRUE(push("sleep 0.2\necho one >> order.txt", "one", cmd));
    EXPECT_TRUE(push("echo two >> order.txt", "two", cmd));
    while (queCmds2AnyCountToDo() > 0 && msSince(t0) < 10000) {
        EXPECT_LE(queCmds2AnyCountWaitExit(), 1);
        queCmds2AnyAdvance();
        queCmds2AnyWaitAnyExit(5);
    }
    EXPECT_TRUE(queCmds2AnyAdvanceWaitAll(CxStr1p("fork")));
    EXPECT_LT(msSince(t0), 15000) << "a pause outlasted the worker it waited for";
    EXPECT_EQ(get("order.txt"), "one\ntwo\n") << "capacity 1: the second waits for the first";
    ASSERT_EQ(done.size(), 2);
    EXPECT_EQ(done[0].label, "one");
    EXPECT_NE(strstr(done[0].cmd.c_str(), first.c_str()), nullptr) << done[0].cmd.c_str();
    EXPECT_EQ(done[1].label, "two");
    EXPECT_NE(strstr(done[1].cmd.c_str(), second.c_str()), nullptr) << "the next number";
    EXPECT_EQ(countFiles("vb"), 0) << "the workers delete their batch files";

    // A worker that never reads its file: the file goes at reaping.
    queCmds2AnySetErr(false);
    testing::internal::CaptureStderr(); // the interpreter's complaint
    EXPECT_TRUE(push("echo z > z.txt", "lost", CxStr1p("vorn-no-such-program --jxbgf")));
    EXPECT_FALSE(queCmds2AnyAdvanceWaitAll(CxStr1p()));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vorn-no-such-program"), std::string::npos)
        << "the child writes where we do";
    EXPECT_FALSE(has("z.txt"));
    EXPECT_NE(done.lastVal().retCode, 0);
    EXPECT_EQ(countFiles("vb"), 0) << "a batch nobody read is not left behind";
}

// Stopping a worker the registry knows stops the batch it runs, even where
// an interpreter stands between us and the worker.
TEST_F(QueProcTest, StoppedWorkerRunsNoFurther) {
    make('f', 2, 5);
    ASSERT_TRUE(queCmds2AnyInitPathPrefix(P("vs")));
    CxStr1p cmd = workerCmd("--jxbgf");
    bool win = runShellPrefix()[0] != 0;
    // The second worker waits in a command of the interpreter it started.
    std::string viaShell = std::string("echo early > early2.txt\n") +
                           (win ? "ping -n 3 127.0.0.1 >nul" : "sleep 1.5") +
                           " && echo late > late2.txt";
    EXPECT_TRUE(push("echo early > early.txt\nsleep 1.5\necho late > late.txt", "slow", cmd));
    EXPECT_TRUE(push(viaShell.c_str(), "shell", cmd));
    long long t0 = timeBootNs();
    while (!(has("early.txt") && has("early2.txt")) && msSince(t0) < 10000)
        sleepMs(5);
    ASSERT_TRUE(has("early.txt") && has("early2.txt")) << "the workers did not start";
    sleepMs(100); // the second one on its way into the interpreter
    EXPECT_GE(pidListCount(), 2);
    pidListForceStopAll(0);
    EXPECT_FALSE(queCmds2AnyAdvanceWaitAll(CxStr1p()));
    ASSERT_EQ(done.size(), 2);
    EXPECT_NE(done[0].retCode, 0) << "a stopped worker is no success";
    EXPECT_NE(done[1].retCode, 0);
    sleepMs(2500);
    EXPECT_FALSE(has("late.txt")) << "the worker went on after it was stopped";
    EXPECT_FALSE(has("late2.txt")) << "what the worker started went on";
}
