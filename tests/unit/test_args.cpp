#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "printers.h"
#include "scratch.h"
#include "app/app.h"
#include "app/args.h"
#include "jobs/threads.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/tokens.h"

namespace {

CxStr1p expandMain(std::initializer_list<char const*> args, bool* ok = nullptr) {
    std::vector<char const*> v{"vorn"};
    v.insert(v.end(), args.begin(), args.end());
    CxStr1p out;
    bool r = initArgsTextFromMain(out, 1, (int)v.size(), v.data(), "");
    if (ok) *ok = r;
    return out;
}

// Quiet logger so that expected failures do not clutter the test output.
struct QuietLog {
    QuietLog() {
        logInitTimeImportant("t");
        logConfPassLevel(3);
    }
    ~QuietLog() { logConfPassLevel(0); }
};

} // namespace

TEST(ArgsExpand, QuotesAndPendingFile) {
    bool ok = true;
    expandMain({"-@"}, &ok);
    EXPECT_FALSE(ok) << "-@ without a file";
    expandMain({"\"abc"}, &ok);
    EXPECT_FALSE(ok) << "unbalanced quote";
    // From the command line the shell already removed quotes: keep what is given.
    EXPECT_EQ(expandMain({"'x'"}), "'x'\n");

    CxStr1p out;
    EXPECT_TRUE(initArgsTextFromList(out, "-f \"my rules.vorn\" 'a b' c", ""));
    EXPECT_EQ(out, "-f\nmy rules.vorn\na b\nc\n");
    EXPECT_FALSE(initArgsTextFromList(out, "-f \"open", ""));
    EXPECT_TRUE(initArgsTextFromList(out, "x", "A"));
    EXPECT_TRUE(initArgsTextFromList(out, "y", "A"));
    EXPECT_EQ(out, "x\ny\n") << "flag A appends";
    EXPECT_TRUE(initArgsTextFromList(out, "-v make -v all", "C"));
    EXPECT_EQ(out, "-v\nmake\n-v\nall\n") << "a command word ends option expansion";
    EXPECT_EQ(countArgsText(out), 4);
}

TEST(ArgsConf, OptionsSetConf) {
    QuietLog quiet;
    Vars v;
    CxStr1p list;
    ASSERT_TRUE(initArgsTextFromList(list, "-Dv -j4 --bgf -D R -f r.vorn --sys goal1 -- -v", ""));
    EXPECT_TRUE(args2Conf(list));
    Conf& c = v.conf;
    EXPECT_TRUE(c.dbgVars);
    EXPECT_EQ(c.passLevel, 0) << "-v was the value of -D";
    EXPECT_EQ(c.jobs, 4);
    EXPECT_EQ(c.jobsArgs, "-j 4");
    EXPECT_EQ(c.bgOption, "--bgf");
    EXPECT_TRUE(c.printRules && c.printOnly);
    EXPECT_EQ(c.rulesFile, "r.vorn");
    EXPECT_TRUE(c.sysCalls);
    EXPECT_EQ(c.debugArgs, "-D -v -D R --sys");
    EXPECT_EQ(c.goalsText, "goal1\n-v\n");
    EXPECT_FALSE(c.stop);
}

TEST(ArgsConf, LastWinsAndWaits) {
    QuietLog quiet;
    Vars v;
    CxStr1p list;
    ASSERT_TRUE(initArgsTextFromList(list, "-vq -j12 --jwb 5 --jn --jweh 70", ""));
    EXPECT_TRUE(args2Conf(list));
    EXPECT_EQ(v.conf.passLevel, 3);
    EXPECT_EQ(v.conf.jobs, 1);
    EXPECT_EQ(v.conf.goalsText, "2\n");
    EXPECT_EQ(v.conf.waitBeginMs, 5);
    EXPECT_EQ(v.conf.waitHangMs, 70);
    EXPECT_EQ(v.conf.waitEndMs, -1);
    EXPECT_EQ(v.conf.jobsArgs, "--jweh 70");
}
