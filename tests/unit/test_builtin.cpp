#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "scratch.h"
#include "app/log.h"
#include "app/vars.h"
#include "base/fs.h"
#include "base/tokens.h"
#include "exec/builtin.h"

namespace fs = std::filesystem;

namespace {

class BuiltinTest : public ScratchCwdTest {
  protected:
    std::string out, err; // console output of the last run

    void SetUp() override {
        ScratchCwdTest::SetUp();
        logInitTimeNone("t");
    }
    void TearDown() override {
        logConfPassLevel(0);
        ScratchCwdTest::TearDown();
    }
    // 'D' declined, 'T' handled and succeeded, 'F' handled and failed.
    char run(char const* line) {
        CxStr1p name, args;
        splitCmdArgs(name, args, CxStr1p(line));
        bool ok = true;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        bool handled = redirCmdExtern(ok, name, args);
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(handled || !ok) << "a declined command stays failed: " << line;
        return !handled ? 'D' : ok ? 'T' : 'F';
    }
    bool errHas(char const* text) const { return err.find(text) != std::string::npos; }
    static bool isNew(char const* rel) {
        return fsaTime(CxStr1p(rel)) > timeRealNs() - 60000000000LL;
    }
};

} // namespace

// Every one of these needs a shell and must leave the files alone.
TEST_F(BuiltinTest, DeclinesWhatNeedsTheShell) {
    put("a", "A");
    put("b", "B");
    put("plain", "P");
    fs::create_directory(dir + "/sub");
    std::istringstream lines(
        "echo a >\necho a > f > g\necho -n a\necho -- a\necho $HOME\necho %P%\n"
        "echo a*\necho (a)\necho a | tr a b\necho `b`\necho a < f\necho a > $F\n"
        "echo 'open\necho a >f\necho a>f\ncp a b plain\ncp -r a sub\ncp -af a f\ncp a\n"
        "cp -t sub\ncp -t sub -t sub a\ncp -a a sub\ncp ? sub\ncp -- a $F\n"
        "cprec a sub\ncprec -t sub -d sub a\nmkdir\nmkdir -p -p f\nrmdir\nrmdir -r f\n"
        "rm -rf f\nrm f*\nrm -- f*\nrmrec -r f\ntouch -c f\nsleep\nsleep 1x\nsleep s\n"
        "sleep 1.2.3\nsleep -1\ncat a > f\nls a\nECHO a\nCp a f\n\n");
    std::string line;
    while (std::getline(lines, line))
        EXPECT_EQ(run(line.c_str()), 'D') << line;
    EXPECT_FALSE(has("f") || has("g"));
    EXPECT_EQ(get("plain"), "P");
}

// How a token reads to each interpreter: the built-ins take it only where
// they read it the same way. nullptr: the line goes to the interpreter.
// cmd's mkdir makes a and b of a;b, its echo prints a;b; sh's echo may read
// the escape in 'a\nb'; sh removes inner quotes too.
TEST(BuiltinWords, ReadAsTheInterpreterReadsThem) {
    struct Row {
        char const *raw, *posix, *cmdName, *cmdEcho;
    } const rows[] = {
        {"a", "a", "a", "a"},
        {"\"a;b\"", "a;b", "a;b", "a;b"},
        {"a;b", nullptr, nullptr, "a;b"},
        {"a,b", "a,b", nullptr, "a,b"},
        {"x=1", "x=1", nullptr, "x=1"},
        {"'a b'", "a b", "a b", "a b"},
        {"#x", nullptr, "#x", "#x"},
        {"a#b", "a#b", "a#b", "a#b"},
        {"\"#x\"", "#x", "#x", "#x"},
        {"~/f", nullptr, "~/f", "~/f"},
        {"a~", "a~", "a~", "a~"},
        {"a\\b", nullptr, "a\\b", "a\\b"},
        {"'a\\nb'", nullptr, "a\\nb", "a\\nb"},
        {"a^b", "a^b", nullptr, nullptr},
        {"hi!", "hi!", nullptr, nullptr},
        {"\"%P%\"", "%P%", nullptr, nullptr},
        {"\"$X\"", nullptr, "$X", "$X"},
        {"\"`x`\"", nullptr, "`x`", "`x`"},
        {"'$X'", "$X", "$X", "$X"},
        {"\"a'b\"", "a'b", "a'b", "a'b"},
        {"'a\"b'", "a\"b", "a\"b", "a\"b"},
        {"a\"b\"", nullptr, "a\"b\"", "a\"b\""},
        {"\"a\"\"b\"", nullptr, "a\"\"b", "a\"\"b"},
        {"'a'b'c'", nullptr, "a'b'c", "a'b'c"},
        {"a*", nullptr, nullptr, nullptr},
        {"\"a*|b\"", "a*|b", "a*|b", "a*|b"},
    };
    struct Col {
        char const* Row::*want;
        ShellWords const& sh;
        bool name;
    } const cols[] = {{&Row::posix, kShellWordsPosix, true},
                      {&Row::posix, kShellWordsPosix, false},
                      {&Row::cmdName, kShellWordsCmd, true},
                      {&Row::cmdEcho, kShellWordsCmd, false}};
    for (Row const& r : rows)
        for (Col const& c : cols) {
            CxStr1p out;
            bool took = builtinWord(out, CxStr1p(r.raw), c.sh, c.name);
            char const* want = r.*c.want;
            EXPECT_EQ(took, want != nullptr) << r.raw << (c.name ? " name " : " word ")
                                             << (&c.sh == &kShellWordsPosix ? "sh" : "cmd");
            if (took && want) {
                EXPECT_EQ(out, want) << r.raw;
            }
        }
}

// Quiet mode swallows an echo, and export takes its text, only when the
// interpreter would do nothing more with the words: 'P' for both
// interpreters, 'S' only for sh, 'C' only for cmd, '-' for neither.
TEST(BuiltinWords, ArgsThatAreOnlyWords) {
    struct Row {
        char const* args;
        char both;
    } const rows[] = {
        {"a b", 'P'},         {"$HOME %P%", 'P'},      {"a; rm x", 'C'},    {"\"a; rm x\"", 'P'},
        {"'a && rm x'", 'S'}, {"a && b", '-'},         {"a > f", '-'},      {"a | tr a b", '-'},
        {"$(rm x)", 'C'},     {"\"`rm x`\"", 'C'},     {"'$(x) `y`'", 'P'}, {"\\\"; rm x", 'C'},
        {"^\"& del x", 'S'},  {"C:\\dir 'a\\b'", 'C'}, {"'a\\b'", 'P'},
    };
    for (Row const& r : rows) {
        CxStr1p args(r.args);
        EXPECT_EQ(shellArgsOnlyWords(args, kShellWordsPosix), r.both == 'P' || r.both == 'S')
            << r.args;
        EXPECT_EQ(shellArgsOnlyWords(args, kShellWordsCmd), r.both == 'P' || r.both == 'C')
            << r.args;
    }
}

// Lines whose program starts directly: 'P' under sh only, 'C' under cmd.exe
// only, 'B' both, '-' neither (the interpreter has something to do).
TEST(BuiltinWords, LinesThatStartTheirProgramDirectly) {
    struct Row {
        char const* line;
        char both;
    } const rows[] = {
        {"cc -c -o a.o a.c", 'B'},
        {"  gcc\t-O2  x.c ", 'B'},
        {"cc -DX=1 a.c", 'B'},
        {"X=1 cc a.c", '-'},
        {"cc a.c > log", '-'},
        {"cc a.c && ld", '-'},
        {"cc $CFLAGS", '-'},
        {"cc %CFLAGS%", '-'},
        {"cc *.c", '-'},
        {"cc \"a b.c\"", '-'},
        {"cc 'a.c'", 'C'},
        {"cc a\\b.c", 'C'},
        {"cd sub", '-'},
        {"echo hi", '-'},
        {"exec cc", 'C'},
        {"ECHO. hi", 'P'},
        {"copy a b", 'P'},
        {"dir/w", 'P'},
        {"test -f x", 'C'},
        {"if", '-'},
        {"cc ~/a.c", 'C'},
        {"cc #x", 'C'},
        {"cc a^b", 'P'},
        {"cc a,b", 'B'},
        {"cc;x", '-'},
        {"cc,x", 'P'},
        {"", '-'},
        {"cc a\nb", '-'},
    };
    for (Row const& r : rows) {
        CxStr1p line(r.line);
        EXPECT_EQ(shellLineDirect(line, kShellWordsPosix), r.both == 'B' || r.both == 'P')
            << r.line;
        EXPECT_EQ(shellLineDirect(line, kShellWordsCmd), r.both == 'B' || r.both == 'C') << r.line;
    }
}

TEST_F(BuiltinTest, CopyRules) {
    put("a", "A");
    put("b", "B");
    ASSERT_TRUE(fsaTouch("a", 1000000000000000000LL));
    EXPECT_EQ(run("cp a c"), 'T');
    EXPECT_TRUE(get("c") == "A" && isNew("c")) << "a plain copy looks new";
    EXPECT_EQ(run("cp -a a d"), 'T');
    EXPECT_FALSE(isNew("d")) << "-a keeps the source's time";
    fs::create_directory(dir + "/s");
    EXPECT_EQ(run("cp a b s"), 'T');
    EXPECT_EQ(run("cprec -d s 'c'"), 'T');
    EXPECT_EQ(get("s/a") + get("s/b") + get("s/c"), "ABA");
    // A failed copy leaves no empty target that would pass for up to date,
    // and the other sources are still copied.
    EXPECT_EQ(run("cp nope e"), 'F');
    EXPECT_FALSE(has("e"));
    EXPECT_TRUE(errHas("Cannot copy 'nope' to 'e' | cwd: ")) << err;
    fs::create_directory(dir + "/t");
    EXPECT_EQ(run("cp -t t nope b"), 'F');
    EXPECT_EQ(get("t/b"), "B");
    EXPECT_EQ(run("cp -t nodir b"), 'F');
    EXPECT_FALSE(has("nodir"));
}
