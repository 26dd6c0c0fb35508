// Replays inputs through the same calls the fuzz targets make (fuzz/), and
// checks that those calls keep an input from running commands, moving the
// process or growing its environment, which the fuzz runs rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "../../fuzz/fuzz_harness.h"
#include "base/fs.h"
#include "printers.h"
#include "rules/envmap.h"
#include "scratch.h"

namespace {

class FuzzReplay : public ScratchCwdTest {
  protected:
    void SetUp() override {
        ScratchCwdTest::SetUp();
        std::ofstream(dir + "/a.vorn", std::ios::binary) << fuzzIncludeA();
        std::ofstream(dir + "/b.vorn", std::ios::binary) << fuzzIncludeB();
        ASSERT_TRUE(fsMkDir(P("sub")));
        savedLevel = logGetPassLevel();
        logConfPassLevel(3);
    }
    void TearDown() override {
        logConfPassLevel(savedLevel);
        ScratchCwdTest::TearDown();
    }
    // The listings go to standard output; keep them out of the test log.
    FuzzRulesResult rules(std::string const& text) {
        ::testing::internal::CaptureStdout();
        FuzzRulesResult r = fuzzRunRules(CxStr1p(text.c_str()));
        listing = ::testing::internal::GetCapturedStdout();
        return r;
    }
    FuzzArgsResult args(std::string const& text) {
        ::testing::internal::CaptureStdout();
        FuzzArgsResult r = fuzzRunArgs(CxStr1p(text.c_str()));
        ::testing::internal::GetCapturedStdout();
        return r;
    }

    int savedLevel = 0;
    std::string listing;
};

TEST_F(FuzzReplay, CommandsThatLeaveTheEvaluationAreHeldBack) {
    CxStr1p here = fsCwd();
    FuzzRulesResult r = rules("run echo x > ran1\n"
                              "runOk echo x > ran2\n"
                              "cd sub\n"
                              "chdir sub\n"
                              "export VORNT_FUZZ_X=1\n"
                              "envVarsClearExcept VORNT_NONE\n"
                              "all: x\n");
    EXPECT_TRUE(r.evalOk) << r.err.c_str();
    EXPECT_TRUE(r.depsOk);
    EXPECT_FALSE(fsaExist(P("ran1")));
    EXPECT_FALSE(fsaExist(P("ran2")));
    EXPECT_EQ(fsCwd(), here);
    EXPECT_EQ(std::getenv("VORNT_FUZZ_X"), nullptr);
    // The environment was not cleared: PATH is still there.
    EXPECT_NE(std::getenv("PATH"), nullptr);
    EXPECT_EQ(r.goals, 1);
}

TEST_F(FuzzReplay, RulesRunsIncludesGraphOptionsAndListings) {
    FuzzRulesResult r = rules("include a.vorn\nall: a b\n");
    EXPECT_TRUE(r.evalOk) << r.err.c_str();
    EXPECT_TRUE(r.depsOk);
    EXPECT_TRUE(r.listedD && r.listedR);
    EXPECT_EQ(r.goals, 3); // a and b from the includes, all
    EXPECT_NE(listing.find("all : a b"), std::string::npos) << listing;
    EXPECT_NE(listing.find("print rules"), std::string::npos);

    // A cycle fails the preparation, with or without the closure trace; "c"
    // turns the check off.
    EXPECT_FALSE(rules("a: b\nb: a\n").depsOk);
    EXPECT_FALSE(rules("#d\na: b\nb: a\n").depsOk);
    EXPECT_TRUE(rules("#dc\na: b\nb: a\n").depsOk);

    // A failed evaluation skips the preparation but still lists what was read.
    r = rules("x: y\n__cmd_error__\n");
    EXPECT_FALSE(r.evalOk);
    EXPECT_FALSE(r.depsOk);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(r.goals, 1);
}

TEST_F(FuzzReplay, ArgsApplyToAFreshConfiguration) {
    FuzzArgsResult r = args("-j 3 --bgt goal -- -v");
    EXPECT_TRUE(r.expandOk && r.applyOk);
    EXPECT_EQ(r.count, 6);
    EXPECT_EQ(r.conf.jobs, 3);
    EXPECT_EQ(r.conf.bgOption, "--bgt");
    EXPECT_EQ(r.conf.goalsText, "goal\n-v\n");
    EXPECT_EQ(r.conf.passLevel, 0);

    // Nothing of the last input is left in the next one.
    r = args("-5x");
    EXPECT_FALSE(r.expandOk);
    EXPECT_EQ(r.conf.jobs, 0);
    EXPECT_TRUE(r.conf.goalsText.isEmpty());

    // "-C" moves the process; the fuzz target moves back after every input.
    r = args("-C sub");
    EXPECT_TRUE(r.applyOk);
    EXPECT_TRUE(r.conf.cdDone);
}

} // namespace
