#include <gtest/gtest.h>

#include <csignal>

#include "printers.h"
#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"

namespace {
int g_stops = 0;
void countStop() {
    ++g_stops;
}
int g_prevCalls = 0;
void prevHandler(int) {
    ++g_prevCalls;
}
} // namespace

// The interrupt handler stops registered children, chains to the handler it
// replaced, ignores further signals of that kind, and is undone cleanly.
TEST(AppSignals, InterruptStopsChildrenAndChains) {
    SigHandlerFn before = nullptr;
    ASSERT_TRUE(trapSignal(SIGINT, prevHandler, &before));
    runSetStopChildrenFn(countStop);
    ASSERT_TRUE(runInitSigHandler());
    EXPECT_TRUE(runInitSigHandler()) << "a second install is a no-op";
    g_stops = g_prevCalls = 0;
    ASSERT_TRUE(raiseInt());
    EXPECT_EQ(g_stops, 1);
    EXPECT_EQ(g_prevCalls, 1);
    EXPECT_TRUE(appInterrupted());
    ASSERT_TRUE(raiseInt()) << "the signal is ignored after the first one";
    EXPECT_EQ(g_stops, 1);
    EXPECT_TRUE(runDoneSigHandler());
    ASSERT_TRUE(raiseInt());
    EXPECT_EQ(g_prevCalls, 2) << "the previous handler is back";
    runSetStopChildrenFn(nullptr);
    ASSERT_TRUE(trapSignal(SIGINT, before ? before : SIG_DFL));
    appInterruptedClear(); // the tests after this one are not interrupted

}

// The outcome turns any failure into code 2 and keeps a recorded exit code.
TEST(AppOutcome, FailureAlwaysReportsNonZero) {
    logInitTimeImportant("t");
    logConfPassLevel(3);
    {
        Vars v;
        EXPECT_TRUE(appDoneAdaptReturn(true));
        EXPECT_EQ(v.retCode, 0);
        EXPECT_FALSE(appDoneAdaptReturn(false));
        EXPECT_EQ(v.retCode, 2);
    }
    {
        Vars v;
        v.failed = true;
        EXPECT_FALSE(appDoneAdaptReturn(true)) << "a failed command fails the run";
        EXPECT_EQ(v.retCode, 2);
    }
    {
        Vars v;
        v.retCode = 5;
        EXPECT_FALSE(appDoneAdaptReturn(true)) << "a recorded exit code fails the run";
        EXPECT_EQ(v.retCode, 5);
    }
    logConfPassLevel(0);
}
