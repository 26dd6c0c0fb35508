#include <gtest/gtest.h>

#include "printers.h"
#include "scratch.h"
#include "app/app.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "app/rulesfile.h"
#include "rules/load.h"

namespace {

class LoadTest : public ScratchCwdTest {
  protected:
    void SetUp() override {
        ScratchCwdTest::SetUp();
        logInitTimeImportant("t");
        logConfPassLevel(3);
    }
    void TearDown() override {
        logConfPassLevel(0);
        ScratchCwdTest::TearDown();
    }
    void write(char const* rel, char const* text) {
        FILE* f = fopen(P(rel).c_str(), "wb");
        ASSERT_TRUE(f);
        fputs(text, f);
        fclose(f);
    }
};

} // namespace

TEST_F(LoadTest, FindsTheFirstNameOfTheSearchList) {
    Vars v;
    CxStr1p tried;
    EXPECT_FALSE(findConfRulesFile(tried));
    EXPECT_EQ(tried, "vorn.vorn Vorn.vorn Makefile makefile");
    EXPECT_TRUE(v.rulesFileUsed.isEmpty());

    write("makefile", "");
    tried.clear();
    EXPECT_TRUE(findConfRulesFile(tried));
    // Names compare without letter case on Windows, where "Makefile" finds it.
    EXPECT_TRUE(fsIsSameFile(v.rulesFileUsed, P("makefile")));

    // "-f" is taken as given: a directory is refused and no search follows.
    ASSERT_TRUE(fsMkDir(P("sub")));
    v.conf.rulesFile = "sub";
    tried.clear();
    EXPECT_FALSE(findConfRulesFile(tried));
    EXPECT_TRUE(tried.isEmpty());
}

TEST_F(LoadTest, ReadsOnceAndRecordsEveryEvaluatedFile) {
    Vars v;
    write("vorn.vorn", "include inc.vorn\nall: a\n");
    write("inc.vorn", "X = 1\n");
    ASSERT_TRUE(confFindRead());
    EXPECT_EQ(v.defaultGoal, "all");
    EXPECT_EQ(v.envMap.varGet("X"), "1");
    EXPECT_TRUE(v.rulesFilesStat.find("vorn.vorn") != nullptr);
    EXPECT_TRUE(v.rulesFilesStat.find("inc.vorn") != nullptr);
    EXPECT_GT(v.elDepsTotal, 0);
    EXPECT_FALSE(confFindRead()) << "the same rules file is not read twice";
}

// Values kept by single quotes are expanded once, in name order, after the file.
TEST_F(LoadTest, LateExpansionRunsOnceInNameOrder) {
    Vars v;
    write("vorn.vorn", "A = '${B}'\nB = '${Z}'\nZ = x\nC = \\$Z\n");
    ASSERT_TRUE(confFindRead());
    EXPECT_EQ(v.envMap.varGet("A"), "${B}");
    ASSERT_TRUE(varsAfterConfEvalLoop());
    EXPECT_EQ(v.envMap.varGet("A"), "${Z}");
    EXPECT_EQ(v.envMap.varGet("B"), "x");
    EXPECT_EQ(v.envMap.varGet("C"), "x");
    EXPECT_EQ(v.envMap.varGet("Z"), "x");
}

// A new VORN_ARGS from the rules file is applied as options; "-C" moves the
// run and rebuilds the log header.
TEST_F(LoadTest, TakesOverVornArgs) {
    Vars v;
    v.exeName = "vorn";
    v.topLevel = true;
    ASSERT_TRUE(fsMkDir(P("sub")));
    write("vorn.vorn", "VORN = my-vorn\nVORN_ARGS = -j 3 -C sub\n");
    ASSERT_TRUE(confFindRead());
    ASSERT_TRUE(varsAfterConfReuseMkDirs());
    EXPECT_EQ(v.selfCmd, "my-vorn");
    EXPECT_EQ(v.argsEnv, "-j 3 -C sub");
    EXPECT_EQ(v.conf.jobs, 3);
    EXPECT_FALSE(v.conf.cdDone);
    EXPECT_TRUE(fsIsSameFile(fsCwd(), P("sub")));
    EXPECT_EQ(v.logHeader, "vorn | sub");
    EXPECT_TRUE(varsAfterConfReuseMkDirs()) << "an unchanged value is not applied again";
    EXPECT_TRUE(fsIsSameFile(fsCwd(), P("sub")));
}
