#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "printers.h"
#include "scratch.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "exec/runner.h"
#include "rules/envmap.h"

namespace {

class RunnerTest : public ScratchCwdTest {
  protected:
    void SetUp() override {
        ScratchCwdTest::SetUp();
        logInitTimeImportant("t");
    }
    void TearDown() override {
        logConfPassLevel(0);
        ScratchCwdTest::TearDown();
    }
};

} // namespace

TEST_F(RunnerTest, StopsAtTheFirstFailingLine) {
    Vars v;
    int rc = -1;
    CxStr1p err("stale");
    EXPECT_TRUE(runTxtCmds(rc, " \n\t\n\r\n", redirCmdAny, &err));
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(err.isEmpty());

    EXPECT_FALSE(runTxtCmds(rc, "echo a > f1\n@ exit 4\necho c > f3\n", nullptr, &err));
    EXPECT_EQ(rc, 4);
    EXPECT_EQ(err, "@ exit 4") << "the failing line as written, marks included";
    EXPECT_TRUE(fsaIsFile(P("f1")));
    EXPECT_FALSE(fsaIsFile(P("f3")));
}

// Quiet mode silences console output only: an echo into a file or followed by
// another command still does that, and an export still sets its variable.
TEST_F(RunnerTest, QuietModeKeepsFilesAndExports) {
    Vars v;
    logConfPassLevel(1);
    int rc = -1;
    EXPECT_TRUE(runTxtCmds(
        rc, "echo hidden\necho kept > out.txt\nexport RUNNER_Q=7\necho && mkdir chained\n",
        redirCmdAny));
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(fsaIsFile(P("out.txt")));
    EXPECT_TRUE(fsaIsDir(P("chained")));
    EXPECT_EQ(v.envMap.varGet("RUNNER_Q"), "7");
    envVarSetExport("RUNNER_Q", "");
}

// With --sys the built-in commands go to the interpreter; export stays
// in-process.
TEST_F(RunnerTest, SysCallsLeaveOnlyExportInProcess) {
    Vars v;
    v.conf.sysCalls = true;
    bool ok = false;
    CxStr1p cmd("export RUNNER_S=1");
    EXPECT_TRUE(redirCmdAny(ok, cmd));
    EXPECT_TRUE(ok);
    cmd = "export RUNNER_S && mkdir lost";
    EXPECT_TRUE(redirCmdAny(ok, cmd));
    EXPECT_FALSE(ok) << "fails rather than drop the second command";
    envVarSetExport("RUNNER_S", "");
}

// Worker threads export at the same time: the store and the environment are
// shared, and every value must arrive.
TEST_F(RunnerTest, ConcurrentExportsAllArrive) {
    Vars v;
    int const kThreads = 4, kVars = 3000;
    std::vector<std::thread> threads;
    std::atomic<int> failed{0}, ready{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failed, &ready] {
            CxStr1p text;
            for (int i = 0; i < kVars; ++i) {
                char line[64];
                snprintf(line, sizeof line, "export CEX_%d_%d='v%d'\n", t, i, i);
                text += line;
            }
            // All start together, so the exports really overlap.
            ++ready;
            while (ready.load() < kThreads)
                std::this_thread::yield();
            int rc = 0;
            if (!runTxtCmds(rc, text, redirCmdAny, nullptr)) ++failed;
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failed.load(), 0);
    int missing = 0;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kVars; ++i) {
            char name[32], want[16];
            snprintf(name, sizeof name, "CEX_%d_%d", t, i);
            snprintf(want, sizeof want, "v%d", i);
            CxStr1p got;
            char const* env = getenv(name);
            if (!v.envMap.varGet(name, got) || got != want || !env || strcmp(env, want) != 0)
                ++missing;
            envVarSetExport(name, CxStr1p());
        }
    }
    EXPECT_EQ(missing, 0);
}
