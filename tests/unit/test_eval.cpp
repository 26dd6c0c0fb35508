#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "logcap.h"
#include "app/log.h"
#include "base/fs.h"
#include "exec/runner.h"
#include "printers.h"
#include "rules/envmap.h"
#include "rules/eval.h"
#include "scratch.h"

namespace {

std::string g_calls; // every callback call, one per line

bool recRule(CxStr1p const& t, CxStr1p const& d) {
    g_calls += std::string("rule ") + t.c_str() + " <" + d.c_str() + ">\n";
    return t != "bad";
}
bool recRecipe(CxStr1p const& t, CxStr1p const& l) {
    g_calls += std::string("cmd ") + t.c_str() + " <" + l.c_str() + ">\n";
    return true;
}
bool recGoal(CxStr1p const& g) {
    g_calls += std::string("goal <") + g.c_str() + ">\n";
    return true;
}

// The evaluator's log lines (the GNU make hints) go into a buffer.
class EvalTest : public ScratchCwdTest {
  protected:
    CxStr1p err;
    EnvMap store;
    StrVect stack, files;
    LogCapture log;

    void SetUp() override {
        ScratchCwdTest::SetUp();
        ASSERT_TRUE(evalTextMakeInitFns(recRule, recRecipe, recGoal));
        evalSetRunFn(run); // as the driver does
        g_calls.clear();
    }
    void TearDown() override {
        for (char const* n : {"VORNT_EA", "VORNT_EB", "VORNT_EX", "VORNT_EC"})
            envVarUnset(n);
        ScratchCwdTest::TearDown();
    }
    std::string logTake() {
        std::string s = log.text();
        log.clear();
        return s;
    }
    // A fresh error text, stack and list per top-level file.
    bool ev(std::string const& text, char const* name = "make", char const* file = "t.vorn") {
        err.clear();
        stack.clear();
        files.clear();
        return evalTextMake(CxStr1p(text.c_str()), store, name, nullptr, &err, "", file, &stack,
                            &files);
    }
};

TEST_F(EvalTest, RulesRecipesAndWhatEndsARule) {
    EXPECT_TRUE(ev("\tbefore any rule\n"
                   "D = x y\nall: a $(D) # note\n\tcc -o x  # keep \n \t\n\tafter blank\n"
                   "r2: d\nV = 1\n\tafter assignment\n"
                   "r3:\n# c\n\tafter comment\n"
                   "r4:\n.DEFAULT_GOAL := \"a b\"\n\tafter setting\n"
                   "a b: c\n\tafter a b\nifeq (a,b)\n"));
    EXPECT_EQ(g_calls, "rule all <a x y # note>\ncmd all <cc -o x  # keep>\nrule r2 <d>\n"
                       "rule r3 <>\nrule r4 <>\ngoal <a b>\n");
    EXPECT_EQ(err, "");
    EXPECT_FALSE(ev("bad: x\n"));
    EXPECT_EQ(err, "Cannot add rule line 'bad: x'\n");
}

TEST_F(EvalTest, CommandsAndFailures) {
    err = "stale\n";
    EXPECT_TRUE(evalTextMake("ifeq (a,b)\n", store, "make", nullptr, &err, "", "", 0, 0));
    EXPECT_EQ(err, "");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ev("echo  hi  there \necho\n"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hi  there\n\n");

    evalSetRunFn(nullptr); // no runner: nothing is run, "run" fails and "runOk" does not
    EXPECT_TRUE(ev("runOk exit 0\n"));
    EXPECT_FALSE(ev("run exit 0\n"));
    evalSetRunFn(run);
}

TEST_F(EvalTest, ExportStyles) {
    EXPECT_FALSE(ev("export VORNT_EX-=1\n"));
    EXPECT_EQ(err, "Wrong syntax 'VORNT_EX-=1'\nt.vorn: Eval(make) failed >export VORNT_EX-=1<\n");
    EXPECT_TRUE(ev("export VORNT_EA=1 VORNT_EB=\"x y\" VORNT_EB+=z VORNT_EX\n", "bash"));
    EXPECT_EQ(envVarGet("VORNT_EA") + "|" + envVarGet("VORNT_EB"), "1|x yz");
    err.clear();
    EXPECT_FALSE(evalExportStyleBash("VORNT_EA=2 1x=3", store, &err));
    EXPECT_EQ(err, "Wrong syntax 'VORNT_EA=2 1x=3'\n");
    EXPECT_TRUE(evalExportStyleBash("", store, &err));
}

// What only GNU make reads gets one hint naming file and line; what this
// language reads itself (dollar pairs, single quotes, escapes, its own
// operators and references) gets none.
TEST_F(EvalTest, GnuMakeSyntaxHint) {
    struct Row {
        char const* text;
        int line; // 0: no hint
        char const* what;
    };
    Row const rows[] = {
        {"all:\n\tcc $< $^\n", 2, "'$<' in a recipe"},
        {"a:\n\tcp $$$* x\n", 2, "'$*' in a recipe"},
        {"a:\n\tmkdir -p $(@D)\n", 2, "'$(@D)' in a recipe"},
        {"a:\n\tcp x ${<F}\n", 2, "'${<F}' in a recipe"},
        {"%.o: %.c\n", 1, "'%' in the goal '%.o'"},
        {"# note\n\nifndef X\n", 3, "conditional 'ifndef'"},
        {"CC ?= gcc\n", 1, "'?=' assignment"},
        {"SRCS := $(wildcard *.c)\n", 1, "function '$(wildcard ...)'"},
        {"all: ${filter-out a,b c}\n", 1, "function '${filter-out ...}'"},
        {"X = a \\\n  b $(notdir c)\nY = 1\n", 1, "function '$(notdir ...)'"},
        {"a:\n\techo $(info\tx) $@\n", 2, "function '$(info ...)'"},
        {"$(eval $(call f))\n", 1, "function '$(eval ...)'"}, // before the parse error
        {"CC ?= gcc\n%.o: %.c\n\tcc -c $<\nifdef X\n", 1, "'?=' assignment"},
        {"a:\n\techo '$@ $(shell x)'\n", 0, ""},
        {"X = $@\n", 0, ""},
        {"\techo $@ before any rule\n", 0, ""},
        {"X = $(CC) $(wordx a) $(info) $(dir)\n", 0, ""},
        {"X = $$(shell date) $X$$(sort b a)\n", 0, ""},
        {"a: b%c\n", 0, ""},
        {"iffy x\n", 0, ""},
        {"note a ?= b\n", 0, ""},
    };
    for (Row const& r : rows) {
        logTake();
        g_calls.clear();
        bool ok = ev(r.text, "make", "g.mk");
        std::string const calls = g_calls;
        std::string want;
        if (r.line)
            want = "!_ t | g.mk:" + std::to_string(r.line) + ": GNU make syntax (" + r.what +
                   "); read this file with --gm\n";
        EXPECT_EQ(logTake(), want) << r.text;
        // Reading is the same as without the hint (a text that is no file gets none).
        g_calls.clear();
        EXPECT_EQ(ev(r.text, "make", ""), ok) << r.text;
        EXPECT_EQ(logTake(), "") << r.text;
        EXPECT_EQ(g_calls, calls) << r.text;
    }

    // One hint per file read: the included file has its own.
    put("sub.mk", "D ?= y\nifdef D\n");
    EXPECT_TRUE(ev("ifdef X\ninclude sub.mk\nE ?= z\n", "make", "top.mk"));
    EXPECT_EQ(logTake(), "!_ t | top.mk:1: GNU make syntax (conditional 'ifdef'); read this file "
                         "with --gm\n!_ t | sub.mk:1: GNU make syntax ('?=' assignment); read "
                         "this file with --gm\n");
}

// Texts cut anywhere must fail or pass cleanly; the sanitizer build watches
// the reads.
TEST_F(EvalTest, CutAndRandomTextsStayInBounds) {
    EXPECT_FALSE(ev("X = 'a\n\nb"));
    EXPECT_EQ(err, "");
    EXPECT_EQ(store.varGet("X"), "");
    std::mt19937 rng(7);
    std::string const alphabet = "Xa=+-:%/*$(){}'\"\\\n\t #.";
    for (int n = 0; n < 3000; ++n) {
        std::string t;
        for (int i = rng() % 40; i > 0; --i)
            t += alphabet[rng() % alphabet.size()];
        ev(t);
    }
}

} // namespace
