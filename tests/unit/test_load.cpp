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
};

} // namespace

TEST_F(LoadTest, ReadsOnceAndRecordsEveryEvaluatedFile) {
    Vars v;
    put("vorn.vorn", "include inc.vorn\nall: a\n");
    put("inc.vorn", "X = 1\n");
    ASSERT_TRUE(confFindRead());
    EXPECT_TRUE(v.rulesFilesStat.find("vorn.vorn") != nullptr);
    EXPECT_TRUE(v.rulesFilesStat.find("inc.vorn") != nullptr);
    EXPECT_GT(v.elDepsTotal, 0);
    EXPECT_FALSE(confFindRead()) << "the same rules file is not read twice";
}
