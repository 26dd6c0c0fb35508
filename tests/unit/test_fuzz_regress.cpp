// Replays inputs through the same calls the fuzz targets make (fuzz/), and
// checks that those calls keep an input from running commands, moving the
// process or growing its environment, which the fuzz runs rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "../../fuzz/fuzz_harness.h"
#include "base/fs.h"
#include "gnu/gfuncs.h"
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
        std::ofstream(dir + "/a.mk", std::ios::binary) << fuzzGnuIncludeA();
        std::ofstream(dir + "/b.mk", std::ios::binary) << fuzzGnuIncludeB();
        std::ofstream(dir + "/loop.mk", std::ios::binary) << fuzzGnuIncludeLoop();
        ASSERT_TRUE(fsMkDir(P("sub")));
        savedLevel = logGetPassLevel();
        logConfPassLevel(3);
        savedMax = gmMaxExpand;
        savedRefs = gmMaxRefs;
        fuzzGnuLimits();
    }
    void TearDown() override {
        gmMaxExpand = savedMax;
        gmMaxRefs = savedRefs;
        logConfPassLevel(savedLevel);
        ScratchCwdTest::TearDown();
    }
    // The listings go to standard output; keep them out of the test log.
    template <typename R> R quiet(R (*fn)(CxStr1p const&), std::string const& text) {
        ::testing::internal::CaptureStdout();
        R r = fn(CxStr1p(text.c_str()));
        listing = ::testing::internal::GetCapturedStdout();
        return r;
    }
    FuzzRulesResult rules(std::string const& text) { return quiet(fuzzRunRules, text); }
    FuzzArgsResult args(std::string const& text) { return quiet(fuzzRunArgs, text); }
    FuzzGnuResult gnu(std::string const& text) { return quiet(fuzzRunGnu, text); }
    // The fatal error of a read that must fail.
    std::string gnuErr(std::string const& text) {
        FuzzGnuResult r = gnu(text);
        EXPECT_FALSE(r.ok) << text;
        return r.err.c_str();
    }

    int savedLevel = 0;
    long long savedMax = 0;
    long long savedRefs = 0;
    std::string listing;
};

TEST_F(FuzzReplay, CommandsThatLeaveTheEvaluationAreHeldBack) {
    CxStr1p here = fsCwd();
    FuzzRulesResult r = rules("run echo x > ran1\nrunOk echo x > ran2\ncd sub\nchdir sub\n"
                              "export VORNT_FUZZ_X=1\nenvVarsClearExcept VORNT_NONE\nall: x\n");
    EXPECT_TRUE(r.evalOk && r.depsOk) << r.err.c_str();
    EXPECT_FALSE(fsaExist(P("ran1")) || fsaExist(P("ran2")));
    EXPECT_EQ(fsCwd(), here);
    EXPECT_EQ(std::getenv("VORNT_FUZZ_X"), nullptr);
    // The environment was not cleared: PATH is still there.
    EXPECT_NE(std::getenv("PATH"), nullptr);
    EXPECT_EQ(r.goals, 1);
}

TEST_F(FuzzReplay, RulesRunsIncludesGraphOptionsAndListings) {
    FuzzRulesResult r = rules("include a.vorn\nall: a b\n");
    EXPECT_TRUE(r.evalOk && r.depsOk && r.listedD && r.listedR) << r.err.c_str();
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
    EXPECT_TRUE(!r.evalOk && !r.depsOk && !r.err.isEmpty());
    EXPECT_EQ(r.goals, 1);
}

TEST_F(FuzzReplay, ArgsApplyToAFreshConfiguration) {
    FuzzArgsResult r = args("-j 3 --bgt goal -- -v");
    EXPECT_TRUE(r.expandOk && r.applyOk);
    EXPECT_TRUE(r.count == 6 && r.conf.jobs == 3 && r.conf.passLevel == 0);
    EXPECT_EQ(r.conf.bgOption + "|" + r.conf.goalsText, "--bgt|goal\n-v\n");

    // Nothing of the last input is left in the next one.
    r = args("-5x");
    EXPECT_TRUE(!r.expandOk && r.conf.jobs == 0 && r.conf.goalsText.isEmpty());

    // "-C" moves the process; the fuzz target moves back after every input.
    r = args("-C sub");
    EXPECT_TRUE(r.applyOk && r.conf.cdDone);
}

TEST_F(FuzzReplay, GnuShellRunsNothingAndIncludesReadTheScratchFiles) {
    EXPECT_EQ(gnuErr("X := $(shell echo hi > ran1)\nY != echo hi > ran2\n"
                     "$(error [$(X)][$(Y)][$(.SHELLSTATUS)])\n"),
              "Makefile:3: *** [][][0].  Stop.");
    EXPECT_FALSE(fsaExist(P("ran1")) || fsaExist(P("ran2")));
    // a.mk includes b.mk, which names the default goal.
    EXPECT_EQ(gnuErr("include a.mk\n$(error $(V)|$(B)|$(MAKEFILE_LIST))\n"),
              "Makefile:2: *** a 1|1 x|Makefile a.mk b.mk.  Stop.");
    FuzzGnuResult r = gnu("#: V=cmd g1 g2 g1\ninclude a.mk\n");
    EXPECT_TRUE(r.ok) << r.err.c_str();
    EXPECT_EQ(r.goals, 2);
    // Missing Makefiles are left to the caller, which may remake them.
    EXPECT_EQ(gnuErr("-include nope.mk\ninclude nope2.mk\n"), "*** No targets.  Stop.");
}

// Inputs that once overflowed the stack: a file that includes itself and a
// function whose $(eval) text calls it again.
TEST_F(FuzzReplay, GnuNestedIncludesAndEvalsStop) {
    EXPECT_EQ(gnuErr("include loop.mk\n"),
              "loop.mk:2: *** include nested too deeply (includes itself?).  Stop.");
    std::string e = gnuErr("f = $$(eval $$(call f))\n$(eval $(call f))\n");
    EXPECT_NE(e.find("*** $(eval) nested too deeply"), std::string::npos) << e;
    // Fewer levels are fine.
    FuzzGnuResult r = gnu("define f\nifneq ($$(words $$(N)),20)\nN += x\n$$(eval $$(f))\n"
                          "endif\nendef\n$(eval $(f))\n$(if $(word 20,$(N)),,$(error $(N)))\n"
                          "all:;\n");
    EXPECT_TRUE(r.ok) << r.err.c_str();
    EXPECT_EQ(gnuErr("X = a $(Y)\nY = $(X)\nall: ; $(X)\n"),
              "Makefile:3: *** Recursive variable 'X' references itself (eventually).  Stop.");
}

// Expansions that grew until memory ran out now stop at the limit, named by
// the outermost reference.
TEST_F(FuzzReplay, GnuExpansionsStopAtTheSizeLimit) {
    std::string eight = "$(A)$(A)$(A)$(A)$(A)$(A)$(A)$(A)";
    std::string text = "A = xxxxxxxxxxxxxxxx\n";
    for (char v : std::string("BCDEFG")) {
        text += std::string(1, v) + " = " + eight + "\n";
        for (char& c : eight)
            if (c == (v == 'B' ? 'A' : v - 1)) c = v;
    }
    EXPECT_EQ(gnuErr(text + "X := $(G)\n"),
              "Makefile:8: *** expansion of 'G' is too large.  Stop.");
    // 16 * 8^6 bytes are 4 MiB; twice 16 * 8^5 is just the limit.
    FuzzGnuResult r = gnu(text + "X := $(F)$(F)\nall:;\n");
    EXPECT_TRUE(r.ok) << r.err.c_str();

    struct Case {
        char const* text;
        char const* what;
    } const cases[] = {
        {"A := $(A)x\nA := $(A)$(A)", "A"},
        {"A := $(subst x,$(A),$(A))", "subst"},
        {"A := $(patsubst %,% %,$(A))", "patsubst"},
        {"A := $(A:%=% %)", "A"},
        {"A := $(A:x=$(A))", "A"},
        {"A := $(addprefix $(A),$(A))", "addprefix"},
        {"A := $(addsuffix $(A),$(A))", "addsuffix"},
        {"A := $(foreach i,$(A),$i $i)", "foreach"},
        {"A := $(foreach i,$(A),$i $(A))", "foreach"},
        {"A := $(abspath $(A))$(abspath $(A))", "abspath"},
        {"A := $(join $(A),$(A))", "join"},
        {"A += $(A)", "A"},
        {"$(eval A := $$(A) $$(A))", "eval"},
    };
    for (Case const& c : cases) {
        // Words of 16 letters (or single letters), grown by the line again and again.
        std::string t = "A := xxxxxxxxxxxxxxxx\n";
        for (int i = 0; i < 24; ++i)
            t += std::string(c.text) + "\n";
        std::string err = gnuErr(t);
        EXPECT_NE(err.find(std::string("*** expansion of '") + c.what + "' is too large"),
                  std::string::npos)
            << c.text << "\n"
            << err;
    }
    // An expansion that takes exponential time but makes nothing ends too.
    std::string chain = "V0 = $(if ,)\n";
    for (int i = 1; i <= 30; ++i)
        chain += "V" + std::to_string(i) + " = $(V" + std::to_string(i - 1) + ")$(V" +
                 std::to_string(i - 1) + ")\n";
    EXPECT_EQ(gnuErr(chain + "X := $(V30)\n"),
              "Makefile:32: *** expansion makes too many references (endless recursion?).  Stop.");
    r = gnu(chain + "X := $(V10)\nall:;\n");
    EXPECT_TRUE(r.ok) << r.err.c_str();

    // Huge counts are no sizes.
    EXPECT_EQ(gnuErr("$(error [$(wordlist 2,99999999999999999999999,a b c)]"
                     "[$(word 99999999999999999999,a)])\n"),
              "Makefile:1: *** [b c][].  Stop.");
}

} // namespace
