#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

#include "printers.h"
#include "app/app.h"
#include "exec/signals.h"
#include "app/log.h"
#include "app/vars.h"

namespace {
std::atomic<int> g_stops{0};
std::atomic<bool> g_stopOnOtherThread{false};
std::thread::id g_testThread;
void countStop() {
    if (std::this_thread::get_id() != g_testThread) g_stopOnOtherThread = true;
    ++g_stops;
}
int g_prevCalls = 0;
void prevHandler(int) {
    ++g_prevCalls;
}
bool waitStops(int atLeast, long long ms) {
    for (long long t = 0; t < ms && g_stops.load() < atLeast; t += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return g_stops.load() >= atLeast;
}
} // namespace

// The interrupt handler records the signal and chains to the handler it
// replaced; the children are stopped soon after from another thread, never
// from the handler. Further signals of that kind are ignored; undoing the
// handler brings the previous one back.
TEST(AppSignals, InterruptStopsChildrenFromNormalCodeAndChains) {
    SigHandlerFn before = nullptr;
    ASSERT_TRUE(trapSignal(SIGINT, prevHandler, &before));
    g_testThread = std::this_thread::get_id();
    runSetStopChildrenFn(countStop);
    ASSERT_TRUE(runInitSigHandler());
    EXPECT_TRUE(runInitSigHandler()) << "a second install is a no-op";
    g_stops = 0;
    g_prevCalls = 0;
    ASSERT_TRUE(raiseInt());
    EXPECT_EQ(g_prevCalls, 1);
    EXPECT_TRUE(appInterrupted());
    EXPECT_TRUE(waitStops(1, 100)) << "children stopped within 100 ms";
    EXPECT_TRUE(g_stopOnOtherThread.load());
    ASSERT_TRUE(raiseInt()) << "the signal is ignored after the first one";
    EXPECT_EQ(g_prevCalls, 1);
    EXPECT_TRUE(runDoneSigHandler());
    ASSERT_TRUE(raiseInt());
    EXPECT_EQ(g_prevCalls, 2) << "the previous handler is back";
    runSetStopChildrenFn(nullptr);
    ASSERT_TRUE(trapSignal(SIGINT, before ? before : SIG_DFL));
    appInterruptedClear(); // the tests after this one are not interrupted
}

// The line the handler writes is made without formatted output.
TEST(AppSignals, SignalLineMatchesFormattedOutput) {
    char got[80], want[80];
    for (void const* prev : {(void const*)nullptr, (void const*)&g_prevCalls}) {
        int n = sigFormat(got, sizeof got, 15, prev);
        char ptr[32];
        if (prev)
            snprintf(ptr, sizeof ptr, "0x%llx", (unsigned long long)(uintptr_t)prev);
        else
            snprintf(ptr, sizeof ptr, "(nil)");
        int m = snprintf(want, sizeof want, "\nSIG 15 pid %lli psh %s\n\n", getPid(), ptr);
        EXPECT_EQ(std::string(got, (size_t)n), std::string(want, (size_t)m));
    }
    EXPECT_EQ(sigFormat(got, 8, 2, nullptr), 7) << "cut to the buffer";
}

// Each layer reaches its part of the run only while the driver's record
// lives: the pointers are set with it and cleared with it.
TEST(AppState, LayerPointersLiveWithTheRun) {
    auto check = [](Vars* v, char const* when) {
        struct Row {
            char const* name;
            void const* got;
            void const* want;
        } const rows[] = {
            {"Conf", Conf::_p, v ? &v->conf : nullptr},
            {"EnvMap", EnvMap::_p, v ? &v->envMap : nullptr},
            {"RunInfo", RunInfo::_p, static_cast<RunInfo*>(v)},
            {"GraphState", GraphState::_p, static_cast<GraphState*>(v)},
            {"BuildState", BuildState::_p, static_cast<BuildState*>(v)},
            {"Vars", Vars::_pVars, v},
        };
        for (Row const& r : rows)
            EXPECT_EQ(r.got, r.want) << r.name << " " << when;
    };
    check(nullptr, "before");
    {
        Vars v;
        check(&v, "during");
        v.conf.dryRun = true;
        EXPECT_TRUE(conf().dryRun) << "conf() reads the driver's record";
    }
    check(nullptr, "after");
}
