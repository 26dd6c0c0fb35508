#include <gtest/gtest.h>

#include <vector>

#include "printers.h"
#include "app/args.h"
#include "app/log.h"
#include "app/vars.h"

namespace {

CxStr1p expandMain(std::initializer_list<char const*> args) {
    std::vector<char const*> v{"vorn"};
    v.insert(v.end(), args.begin(), args.end());
    CxStr1p out;
    EXPECT_TRUE(initArgsTextFromMain(out, 1, (int)v.size(), v.data(), ""));
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
    // Failures are e2e cases (options.py); from the command line the shell already removed quotes:
    // keep what is given.
    EXPECT_EQ(expandMain({"'x'"}), "'x'\n");

    CxStr1p out;
    EXPECT_TRUE(initArgsTextFromList(out, "x", "A"));
    EXPECT_TRUE(initArgsTextFromList(out, "y", "A"));
    EXPECT_EQ(out, "x\ny\n") << "flag A appends";
    EXPECT_TRUE(initArgsTextFromList(out, "-v make -v all", "C"));
    EXPECT_EQ(out, "-v\nmake\n-v\nall\n") << "a command word ends option expansion";
}

// What the options set, as one text.
static std::string confText(char const* args) {
    QuietLog quiet;
    Vars v;
    CxStr1p list;
    EXPECT_TRUE(initArgsTextFromList(list, args, ""));
    EXPECT_TRUE(args2Conf(list));
    Conf const& c = v.conf;
    auto n = [](long long x) { return std::to_string(x); };
    return "pass " + n(c.passLevel) + ", jobs " + n(c.jobs) + " '" + c.jobsArgs.c_str() +
           "', waits " + n(c.waitBeginMs) + " " + n(c.waitHangMs) + " " + n(c.waitEndMs) + ", " +
           c.bgOption.c_str() + " -f '" + c.rulesFile.c_str() + "', debug '" + c.debugArgs.c_str() +
           "'" + (c.dbgVars ? " vars" : "") + (c.printRules && c.printOnly ? " print" : "") +
           (c.sysCalls ? " sys" : "") + (c.stop ? " stop" : "") + ", goals '" +
           c.goalsText.c_str() + "'";
}

// "-v" after "-D" is its value; of -v and -q the last wins; "-j12" is one job
// and the goal 2.
TEST(ArgsConf, OptionsSetConf) {
    EXPECT_EQ(confText("-Dv -j4 --bgf -D R -f r.vorn --sys goal1 -- -v"),
              "pass 0, jobs 4 '-j 4', waits -1 -1 -1, --bgf -f 'r.vorn', debug '-D -v -D R --sys' "
              "vars print sys, goals 'goal1\n-v\n'");
    EXPECT_EQ(confText("-vq -j12 --jwb 5 --jn --jweh 70"),
              "pass 3, jobs 1 '--jweh 70', waits 5 70 -1,  -f '', debug '', goals '2\n'");
}
