#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// Test batches are "<ms> <code>": the worker sleeps, then ends with the code.
void readBatch(CxStr1p const& text, int& ms, int& rc) {
    ms = 0;
    rc = 0;
    sscanf(text.c_str(), "%d %d", &ms, &rc);
}

std::atomic<int> g_runs{0};

int workerRun(RunAppInfo& r, bool whole, CxStr1p const& text) {
    ++g_runs;
    int ms = 0, rc = 2;
    if (whole) readBatch(text, ms, rc);
    if (ms > 0) sleepMs(ms);
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
};

} // namespace

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
    ASSERT_TRUE(bad >= 0 && ahead >= 0);
    EXPECT_TRUE(done[bad].retCode == 3 && !done[bad].notRun && done[ahead].notRun);
}

TEST_F(QueTest, InMemoryPullsTakeExactlyOneMarker) {
    CxStr1p text("stale");
    EXPECT_TRUE(queCmds2TrdPull(text, CxStr1p("a\r\nb\r\n//$\r\n")));
    EXPECT_EQ(text, "a\nb") << "CR LF read as LF, marker included";
    EXPECT_TRUE(queCmds2CbFnPull(text, CxStr1p("x\n//$\n//$\n")));
    EXPECT_EQ(text, "x\n//$") << "a batch ending in the marker line keeps it";
    EXPECT_TRUE(queCmds2TrdPull(text, CxStr1p("\n//$\n")) && text.isEmpty());
    EXPECT_FALSE(queCmds2TrdPull(text, CxStr1p("echo a\n//$")) ||
                 queCmds2CbFnPull(text, CxStr1p("//$\n")) || queCmds2CbFnPull(text, CxStr1p("")));
}

// The worker's read of its input: the marker may arrive split between two
// reads. Input that ends before the marker is an e2e case (build_par.py).
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

    EXPECT_FALSE(queCmds2PipePull(text, -1, false, 1, 100) ||
                 queCmds2PipePull(text, 0, false, -1, 100) ||
                 queCmds2PipePull(text, 0, false, 1, -1));
}
