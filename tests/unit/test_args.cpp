#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "printers.h"
#include "scratch.h"
#include "app/app.h"
#include "app/args.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/path.h"
#include "base/tok.h"

namespace {

CxStr1p expandMain(std::initializer_list<char const*> args, bool* ok = nullptr) {
    std::vector<char const*> v{"vorn"};
    v.insert(v.end(), args.begin(), args.end());
    CxStr1p out;
    bool r = initArgsTextFromMain(out, 1, (int)v.size(), v.data(), "");
    if (ok) *ok = r;
    return out;
}

// Runs in a scratch directory, which is the working directory meanwhile.
class ArgsFiles : public ScratchDirTest {
  protected:
    CxStr1p oldCwd;
    void SetUp() override {
        ScratchDirTest::SetUp();
        oldCwd = fsCwd();
        ASSERT_TRUE(fsCd(CxStr1p(dir.c_str()), false));
    }
    void TearDown() override {
        fsCd(oldCwd, false);
        ScratchDirTest::TearDown();
    }
    static void write(char const* name, char const* text) {
        ASSERT_TRUE(strFileSaveFd(CxStr1p(name), CxStr1p(text), ""));
    }
};

// Quiet logger so that expected failures do not clutter the test output.
struct QuietLog {
    QuietLog() {
        logInitTimeImportant("t");
        logConfPassLevel(3);
    }
    ~QuietLog() { logConfPassLevel(0); }
};

} // namespace

TEST(ArgsExpand, OneDashGroupsAndNumbers) {
    EXPECT_EQ(expandMain({"-vq"}), "-v\n-q\n");
    EXPECT_EQ(expandMain({"-Dv"}), "-D\n-v\n");
    EXPECT_EQ(expandMain({"-j4"}), "-j\n4\n");
    EXPECT_EQ(expandMain({"-j12"}), "-j\n1\n2\n");
    EXPECT_EQ(expandMain({"-5"}), "-5\n");
    bool ok = true;
    expandMain({"-5x"}, &ok);
    EXPECT_FALSE(ok);
    expandMain({"-v@x"}, &ok);
    EXPECT_FALSE(ok) << "a character after @ fails";
    EXPECT_EQ(expandMain({"--", "-vq", "-@"}), "--\n-vq\n-@\n");
    EXPECT_EQ(expandMain({"a b", "--long"}), "a b\n--long\n");
}

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

TEST_F(ArgsFiles, ArgumentFilesNestAndFail) {
    write("a.args", "-j 2\nall -@ b.args");
    write("b.args", "-vq \"x y\"");
    CxStr1p out;
    EXPECT_TRUE(initArgsTextFromList(out, "-@ a.args tail", ""));
    EXPECT_EQ(out, "-j\n2\nall\n-v\n-q\nx y\ntail\n");
    EXPECT_TRUE(initArgsTextFromList(out, "-D@ b.args", "")) << "@ closing a group";
    EXPECT_EQ(out, "-D\n-v\n-q\nx y\n");

    QuietLog quiet;
    EXPECT_FALSE(initArgsTextFromList(out, "-@ missing.args", ""));
    write("self.args", "x -@ self.args");
    EXPECT_FALSE(initArgsTextFromList(out, "-@ self.args", "")) << "direct self reference";
    write("p.args", "-@ q.args");
    write("q.args", "-@ ./p.args");
    EXPECT_FALSE(initArgsTextFromList(out, "-@ p.args", "")) << "cycle through another file";
    write("end.args", "x -@");
    EXPECT_FALSE(initArgsTextFromList(out, "-@ end.args", "")) << "-@ at the end of a file";
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

TEST(ArgsConf, WrongOptionsAreEachReportedAndFail) {
    QuietLog quiet;
    Vars v;
    CxStr1p list;
    ASSERT_TRUE(initArgsTextFromList(list, "--bgx -5 all -f", ""));
    EXPECT_FALSE(args2Conf(list));
    EXPECT_EQ(v.conf.goalsText, "all\n") << "parsing goes on after a wrong option";

    ASSERT_TRUE(initArgsTextFromList(list, "-j x", ""));
    EXPECT_FALSE(args2Conf(list)) << "an invalid job count fails";
}

TEST_F(ArgsFiles, ChangeDirectoryIsTakenOutOfArgsText) {
    QuietLog quiet;
    Vars v;
    ASSERT_TRUE(fsMkDir("sub"));
    CxStr1p list;
    ASSERT_TRUE(initArgsTextFromList(list, "-C sub x", ""));
    EXPECT_TRUE(args2Conf(list));
    EXPECT_TRUE(v.conf.cdDone);
    EXPECT_EQ(pathFilePart(fsCwd()), "sub");
    EXPECT_EQ(v.conf.argsText, " x ");

    Vars w;
    ASSERT_TRUE(initArgsTextFromList(list, "-C missing-dir y", ""));
    EXPECT_FALSE(args2Conf(list));
    EXPECT_EQ(w.conf.goalsText, "") << "parsing stops at a failed chdir";
}

TEST(ArgsConf, QuestionListsStop) {
    QuietLog quiet;
    Vars v;
    CxStr1p list;
    ASSERT_TRUE(initArgsTextFromList(list, "--DC ? -D ?", ""));
    EXPECT_TRUE(args2Conf(list));
    EXPECT_TRUE(v.conf.stop);
    EXPECT_EQ(v.conf.dcLetters, "?");
}

TEST(ArgsConf, JobsMaxFromCores) {
    QuietLog quiet;
    Vars v;
    EXPECT_TRUE(adaptJobsMax(3));
    EXPECT_EQ(v.jobsMax, 3);
    EXPECT_TRUE(adaptJobsMax(0));
    EXPECT_EQ(v.jobsMax, infoCpuCoresCount());
    EXPECT_GE(v.jobsMax, 1);
}
