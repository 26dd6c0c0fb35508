#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "base/fs.h"
#include "base/timenum.h"
#include "gnu/gexpand.h"
#include "printers.h"
#include "scratch.h"

namespace {

// $(shell) without a shell: the commands the tables use, with the output
// the real commands give. Counts its calls so laziness can be seen.
int g_shellCalls = 0;

bool fakeShell(CxStr1p& out, int& status, CxStr1p const& cmd) {
    ++g_shellCalls;
    status = 0;
    std::string c = cmd.c_str();
    if (c == "printf 'a\\tb\\n\\n c  '")
        out = "a\tb\n\n c  ";
    else if (c == "printf 'x'")
        out = "x";
    else if (c == "lines")
        out = "a\n\nb\r\nc\rd\n\n";
    else if (c == "exit 3")
        status = 3;
    else if (c == "count")
        out = "counted";
    else
        return false; // could not start
    return true;
}

// $(eval) without a reader: "NAME=value" lines become recursive variables.
bool fakeEval(void* reader, CxStr1p const& text, GmExpandCtx& ctx) {
    ++*(int*)reader;
    std::string t = text.c_str();
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        ctx.err = "missing separator";
        return false;
    }
    return ctx.global->set(t.substr(0, eq).c_str(), t.substr(eq + 1).c_str(), GmFlavor::Recursive,
                           GmOrigin::File) != nullptr;
}

std::string trimLeft(std::string const& s) {
    size_t i = s.find_first_not_of(" \t");
    return i == std::string::npos ? "" : s.substr(i);
}

struct Env {
    GmVars global;
    GmExpandCtx ctx;
    int evals = 0;

    Env() {
        ctx.global = &global;
        ctx.shell = fakeShell;
        ctx.eval = fakeEval;
        ctx.reader = &evals;
        ctx.where = "Makefile:7";
    }

    // "N = v" and "N := v" lines, as the reader would store them.
    void define(std::string const& defs) {
        size_t pos = 0;
        while (pos <= defs.size()) {
            size_t nl = defs.find('\n', pos);
            std::string line =
                defs.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
            pos = nl == std::string::npos ? defs.size() + 1 : nl + 1;
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            bool simple = eq > 0 && line[eq - 1] == ':';
            std::string name = line.substr(0, simple ? eq - 1 : eq);
            name = name.substr(0, name.find_last_not_of(" \t") + 1);
            CxStr1p value(trimLeft(line.substr(eq + 1)).c_str());
            if (simple) {
                CxStr1p x;
                ASSERT_TRUE(gmExpand(x, value, ctx)) << ctx.err.c_str();
                value = x;
            }
            global.set(name.c_str(), value, simple ? GmFlavor::Simple : GmFlavor::Recursive,
                       GmOrigin::File);
        }
    }

    std::string expand(char const* text) {
        CxStr1p out;
        ctx.err.clear();
        if (!gmExpand(out, text, ctx)) return std::string("ERR:") + ctx.err.c_str();
        return out.c_str();
    }
};

struct Case {
    char const* group;
    char const* defs;
    char const* expr;
    char const* want;
};

// Expected values come from GNU make 4.3: for each row,
//   printf '%s\nR := %s\n$(info <<$(R)>>)\nall:;@:\n' "$defs" "$expr" | make -s -f -
// and the text between << and >> pasted here. LiveMakeAgrees re-checks them.
Case const kCases[] = {
    {"ref", "X = x", "$(X)${X}$X|$$X|$$$$|a$", "xxx|$X|$$|a$"},
    {"ref", "V = A\nA_flags = -O\nN = V", "$($(V)_flags)|$($($(N))_flags)|${$(V)_flags}",
     "-O|-O|-O"},
    {"ref", "X = x\nX2 = y", "$( X)|$(X )|$X2|$(X$(Y))", "||x2|x"},
    {"ref", "X = 1", "[$($(X)] tail", "["},
    {"ref", "X = 1", "[$(X $(Y)] tail", "["},
    {"ref", "E =", "[$(foo bar)][$(E)][$(info)][$(words)][$ X][$(X:)]", "[][][][][X][]"},
    {"flavor", "A = $(B)\nS := $(B)\nB = 1\nT := $(A)\nB = 2", "$(A)|$(S)|$(T)", "2||1"},
    {"flavor", "D := $$(B)\nR = $$(B)\nB = 1", "$(D)|$(R)|$(value R)", "$(B)|$(B)|$$(B)"},
    {"subref", "B = a.c  b.c   x.cc .c",
     "[$(B:.c=.o)][$(B:%.c=o/%.o)][$(B:.c=)][$(B:%=[%])][$(B:=-)]",
     "[a.o b.o x.cc .o][o/a.o o/b.o x.cc o/.o][a b x.cc ][[a.c] [b.c] [x.cc] [.c]][a.c- b.c- x.cc- "
     ".c-]"},
    {"subref", "A = a\nB = a.c b.c\nP = .c\nQ = .o",
     "[$(A:a=b:c)][$(A:a=b=c)][$(A:b)][$(B:.c=%.o)][$(B:$(P)=$(Q))][$(B:%.c=\\%%)]",
     "[b:c][b=c][][a%.o b%.o][a.o b.o][%a %b]"},
    {"subref", "N = B\nB = x.c y.c", "$($(N):.c=.h)|$(B:x%=%)|$(U:a=b)", "x.h y.h|.c y.c|"},
    {"patsubst", "",
     "[$(patsubst a,b,  a   a  c )][$(patsubst %.c,%,.c a)][$(patsubst %.c,,x.c a)][$(patsubst "
     ",x,)][$(patsubst ,x, a b )]",
     "[  b   b  c ][ a][a][x][ a b x]"},
    {"patsubst", "",
     "[$(patsubst %.c,%.o,a.c  b.h   c.c)][$(patsubst a%z,<%>,az abz a)][$(patsubst \\%%,x%,%a "
     "b)][$(patsubst %,%%,a)]",
     "[a.o b.h c.o][<> <b> a][xa b][a%]"},
    {"subst", "",
     "[$(subst ,x,abc)][$(subst a,,banana)][$(subst an,AN, banana )][$(subst aa,b,aaaaa)][$(subst "
     "x,y,)]",
     "[abcx][bnn][ bANANa ][bba][]"},
    {"text", "T := $(shell printf 'a\\tb\\n\\n c  ')",
     "[$(strip  a   b\tc  )][$(strip $(T))][$(words a b   c )][$(words $(T))][$(words "
     ")][$(firstword  )][$(lastword a b c )][$(firstword x y)]",
     "[a b c][a b c][3][3][0][][c][x]"},
    {"word", "",
     "[$(word 2, a b c)][$(word 4,a b c)][$(word  2 ,a b c)][$(word 1,)][$(word "
     "99999999999999999999,a)]",
     "[b][][b][][]"},
    {"word", "",
     "[$(wordlist 1,2,a   b c)][$(wordlist 2,1,a b c)][$(wordlist 3,9,a b c d)][$(wordlist 4,9,a b "
     "c)][$(wordlist 2,2,a b c)][$(wordlist 1,0,a)]",
     "[a   b][][c d][][b][]"},
    {"sort", "",
     "[$(sort b a  c a b)][$(sort )][$(sort B a A b_ b)][$(findstring a,cat)][$(findstring "
     "x,cat)][$(findstring ,cat)][$(findstring at c,cat cat)]",
     "[a b c][][A B a b b_][a][][][at c]"},
    {"filter", "",
     "[$(filter %.c a%,a.c b.c ab x.h)][$(filter-out %.c a%,a.c b.c ab x.h)][$(filter a a,a a "
     "b)][$(filter %,a b)][$(filter b c a,a b c d a)][$(filter-out ,a)][$(filter \\%x,%x x)]",
     "[a.c b.c ab][x.h][a a][a b][a b c a][a][%x]"},
    {"join", "", "[$(join a b c,1 2)][$(join a,1 2 3)][$(join ,)][$(join  a  b , 1 )]",
     "[a1 b2 c][a1 2 3][][a1 b]"},
    {"files", "",
     "[$(dir a/b/c /x x a/ . a//b)][$(notdir a/b/c /x x a/ .)][$(suffix a.b/c a. a.b.c .x "
     "x)][$(basename a.b/c a. a.b.c .x x /a.b/)]",
     "[a/b/ / ./ a/ ./ a//][c x x  .][. .c .x][a.b/c a a.b  x /a.b/]"},
    {"files", "",
     "[$(addsuffix .c,a b)][$(addprefix p/,a  b)][$(addsuffix .c,)][$(addprefix ,a b)][$(notdir a/ "
     "b)][$(suffix a b.c)]",
     "[a.c b.c][p/a p/b][][a b][ b][.c]"},
    {"if", "sp := $(empty) $(empty)",
     "[$(if  , a, b )][$(if x, a, b )][$(if ,a)][$(if x,a,b,c)][$(if ,a,b,c)][$(if "
     "$(sp),T,F)][$(if $(empty),T,F)]",
     "[ b ][ a][][a][b,c][T][F]"},
    {"if", "",
     "[$(or , ,b,c)][$(or ,)][$(or  x ,y)][$(and a,b, c)][$(and a,,c)][$(and a, b )][$(if "
     "a,(b,c))][$(if a,{b,c})][${if a,{b,c}}]",
     "[b][][x][c][][b][(b,c)][{b][{b,c}]"},
    {"foreach", "f = <$(1)>",
     "[$(foreach x,a b,)][$(foreach x, a b ,<$(x)>)][$(foreach x y,a b,$(x)$(y))][$(foreach x,a "
     "b,$(call f,$(x)))][$(foreach ,a b,x)]",
     "[ ][<a> <b>][a b][<a> <b>][x x]"},
    {"foreach", "x = outer",
     "[$(foreach x,1 2,$(foreach y,a b,$(x)$(y)))][$(x)][$(foreach x,a,$(origin x) $(flavor x))]",
     "[1a 1b 2a 2b][outer][automatic simple]"},
    {"call", "f = <$(0)|$(1)|$(2)|$(3)>\ng = $(call f,x)\nh = $(call f,p,q,r)[$(call g)]",
     "[$(call f)][$(call f,a,b)][$(call  f ,a,b,c,d)][$(call h,1,2,3,4)]",
     "[<f|||>][<f|a|b|>][<f|a|b|c>][<f|p|q|r>[<f|x||>]]"},
    {"call", "f2 = $(origin 1) $(flavor 1) $(origin 0)",
     "[$(call subst,a,b,banana)][$(call if,,x,y)][$(call  )][$(call undefined,a)][$(call "
     "f2)][$(call f2,a)]",
     "[bbnbnb][y][][][undefined undefined automatic][automatic simple automatic]"},
    {"call",
     "rev = $(if $(1),$(call rev,$(wordlist 2,$(words $(1)),$(1))) $(firstword $(1)))\ns := $$(1)",
     "[$(strip $(call rev,a b c d))][$(call s,x)]", "[d c b a][$(1)]"},
    {"origin", "f = x\nCR := $(shell printf 'x')",
     "[$(origin f)][$(origin undefined)][$(origin @)][$(origin @D)][$(flavor f)][$(flavor "
     "CR)][$(flavor nope)][$(flavor @D)][$(flavor @)]",
     "[file][undefined][undefined][automatic][recursive][simple][undefined][recursive][undefined]"},
    {"value", "f = <$(0)|$(1)>",
     "[$(value f)][$(value  f )][$(value f )][$(value @D)][$(value @F)][$(value nope)]",
     "[<$(0)|$(1)>][][][$(patsubst %/,%,$(dir $@))][$(notdir $@)][]"},
};

// Fatal errors, message as GNU make 4.3 prints it between "*** " and ".  Stop.".
Case const kErrors[] = {
    {"self", "X = $(X)", "$(X)", "Recursive variable 'X' references itself (eventually)"},
    {"self", "X = $(Y)\nY = a$(X)", "$(Y)",
     "Recursive variable 'Y' references itself (eventually)"},
    {"self", "X = $(subst a,b,$(X))", "$(X:a=b)",
     "Recursive variable 'X' references itself (eventually)"},
    {"word", "", "$(word x,a)", "non-numeric first argument to 'word' function: 'x'"},
    {"word", "", "$(word 0,a)", "first argument to 'word' function must be greater than 0"},
    {"word", "", "$(word -1,a)", "non-numeric first argument to 'word' function: '-1'"},
    {"word", "", "$(word 2 3,a b c)", "non-numeric first argument to 'word' function: '2 3'"},
    {"word", "", "$(wordlist 0,1,a)", "invalid first argument to 'wordlist' function: '0'"},
    {"word", "", "$(wordlist a,1,a)", "non-numeric first argument to 'wordlist' function: 'a'"},
    {"word", "", "$(wordlist 1,b,a)", "non-numeric second argument to 'wordlist' function: 'b'"},
    {"args", "", "$(subst a,b)", "insufficient number of arguments (2) to function 'subst'"},
    {"args", "", "$(if a)", "insufficient number of arguments (1) to function 'if'"},
    {"args", "", "$(call patsubst,a)",
     "insufficient number of arguments (1) to function 'patsubst'"},
    {"syntax", "", "$(info", "unterminated call to function 'info': missing ')'"},
    {"syntax", "", "${info", "unterminated call to function 'info': missing '}'"},
    {"syntax", "", "$(X", "unterminated variable reference"},
    {"error", "", "a$(error  boom, x )b", "boom, x "},
    {"error", "M = bad", "$(if $(error $(M) value),x)", "bad value"},
};

} // namespace

TEST(GmExpandTable, MatchesGnuMake) {
    for (Case const& c : kCases) {
        Env env;
        env.define(c.defs);
        EXPECT_EQ(env.expand(c.expr), c.want) << c.group << ": " << c.expr;
    }
}

TEST(GmExpandTable, FatalErrorsMatchGnuMake) {
    for (Case const& c : kErrors) {
        Env env;
        env.define(c.defs);
        EXPECT_EQ(env.expand(c.expr), std::string("ERR:") + c.want) << c.group << ": " << c.expr;
        // No variable stays marked as being expanded after the failure.
        for (auto const& n : env.global.map)
            EXPECT_FALSE(n.val.busy) << n.key.c_str();
    }
}

// Runs the tables through the real GNU make where it is installed, so a
// hand edit of an expected value cannot go unnoticed.
class GmLiveMake : public ScratchDirTest {};

// What GNU make prints reading the Makefile mk (standard error too).
std::string makeOutput(std::string const& mk) {
    std::string got;
    FILE* p = popen(("make -s -f '" + mk + "' 2>&1").c_str(), "r");
    if (!p) return "(make did not start)";
    char buf[4096];
    while (fgets(buf, sizeof buf, p))
        got += buf;
    pclose(p);
    return got;
}

TEST_F(GmLiveMake, TableAgreesWithGnuMake) {
    FILE* v = popen("make --version 2>&1", "r");
    std::string ver;
    if (v) {
        char buf[256];
        while (fgets(buf, sizeof buf, v))
            ver += buf;
        pclose(v);
    }
    if (ver.find("GNU Make 4.3") == std::string::npos) GTEST_SKIP() << "GNU make 4.3 not available";
    for (Case const& c : kCases) {
        if (std::string(c.defs).find("printf") != std::string::npos)
            continue; // needs a POSIX shell
        std::string mk = dir + "/Makefile";
        std::ofstream(mk) << c.defs << "\nR := " << c.expr << "\n$(info <<$(R)>>)\nall:;@:\n";
        std::string got = makeOutput(mk);
        EXPECT_EQ(got, std::string("<<") + c.want + ">>\n") << c.expr;
    }
    for (Case const& c : kErrors) {
        std::string mk = dir + "/Makefile";
        std::ofstream(mk) << c.defs << "\nR := " << c.expr << "\nall:;@:\n";
        std::string got = makeOutput(mk);
        EXPECT_NE(got.find(std::string("*** ") + c.want + ".  Stop."), std::string::npos) << got;
    }
}

TEST(GmExpandAuto, RecipeVariablesAndTheirDirAndFileForms) {
    // From GNU make 4.3 running the recipe
    //   x/y/t.o: b/q.c /p b/q.c ; @echo '[$@][$<]...'
    // with b/q.c and /p phony.
    Env env;
    GmAuto a;
    a.at = "x/y/t.o";
    a.first = "b/q.c";
    a.all = "b/q.c /p";
    a.allDup = "b/q.c /p b/q.c";
    a.newer = "b/q.c /p";
    env.ctx.autos = &a;
    EXPECT_EQ(env.expand("[$@][$<][$^][$+][$(@D)][$(@F)][$(<D)][$(^D)][$(^F)][$(+F)][$(origin @)]"
                         "[$(flavor <)][$(^:.c=.o)][$(value <)][$(value ^D)][$(?D)]"),
              "[x/y/t.o][b/q.c][b/q.c /p][b/q.c /p b/q.c][x/y][t.o][b][b ][q.c p][q.c p q.c]"
              "[automatic][simple][b/q.o /p][b/q.c][$(patsubst %/,%,$(dir $^))][b ]");
    a.at = "/t";
    EXPECT_EQ(env.expand("[$(@D)][$(@F)][${@D}][$(*F)][$|]"), "[][t][][][]");
    // Outside a recipe they are empty, whatever the variables hold.
    env.ctx.autos = nullptr;
    env.define("@ = no");
    EXPECT_EQ(env.expand("[$@][$(@D)][$(<F)]"), "[][][]");
}

TEST(GmExpandScope, TargetScopeChainsToGlobal) {
    Env env;
    env.define("A = global\nB = $(A)-b");
    GmVars target;
    target.parent = &env.global;
    target.set("A", "target", GmFlavor::Simple, GmOrigin::File);
    env.ctx.scope = &target;
    EXPECT_EQ(env.expand("$(B)|$(origin A)|$(flavor A)"), "target-b|file|simple");
    // foreach and call scopes stack in front of the target's and go away after.
    EXPECT_EQ(env.expand("$(foreach A,x,$(B))|$(B)"), "x-b|target-b");
    env.ctx.scope = nullptr;
    EXPECT_EQ(env.expand("$(B)"), "global-b");
}

TEST(GmExpandShell, OutputFoldedAndStatusKept) {
    Env env;
    EXPECT_EQ(env.expand("[$(shell lines)][$(.SHELLSTATUS)]"), "[a  b c\rd][0]");
    EXPECT_EQ(env.expand("[$(shell exit 3)][$(.SHELLSTATUS)][$(origin .SHELLSTATUS)]"),
              "[][3][override]");
    EXPECT_EQ(env.expand("[$(shell no such)][$(.SHELLSTATUS)]"), "[][127]");
    env.ctx.shell = nullptr;
    EXPECT_EQ(env.expand("$(shell lines)").rfind("ERR:", 0), 0u);
}

TEST(GmExpandLazy, BranchesNotTakenAreNotExpanded) {
    struct Row {
        char const* expr;
        char const* want;
        int calls;
    } const rows[] = {
        {"$(if x,a,$(shell count)$(error no))", "a", 0},
        {"$(if ,$(shell count)$(error no),b)", "b", 0},
        {"$(if ,$(shell count))", "", 0},
        {"$(if $(shell count),T,$(error no))", "T", 1},
        {"$(or a,$(shell count)$(error no))", "a", 0},
        {"$(or ,$(shell count),$(error no))", "counted", 1},
        {"$(and ,$(shell count)$(error no))", "", 0},
        {"$(and a,$(shell count),z)", "z", 1},
        {"$(foreach x,,$(shell count))", "", 0},
        {"$(call f,$(shell count))", "", 1}, // call's arguments expand even for an empty function
    };
    for (Row const& r : rows) {
        Env env;
        g_shellCalls = 0;
        EXPECT_EQ(env.expand(r.expr), r.want) << r.expr;
        EXPECT_EQ(g_shellCalls, r.calls) << r.expr;
    }
}

TEST(GmExpandMessages, InfoToStdoutWarningToStderrWithPlace) {
    Env env;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::string r = env.expand("a$(info  one, two )b$(warning  w, x )c$(info )");
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, "abc");
    EXPECT_EQ(out, "one, two \n\n");
    EXPECT_EQ(err, "Makefile:7: w, x \n");
}

TEST(GmExpandEval, DefinesThroughTheReaderCallback) {
    Env env;
    EXPECT_EQ(env.expand("$(eval X=1)[$(X)]$(foreach v,a b,$(eval V_$(v)=$(v)$(v)))[$(V_a)$(V_b)]"),
              "[1] [aabb]");
    EXPECT_EQ(env.evals, 3);
    // A variable redefined by an eval inside its own expansion.
    env.define("S = $(eval S=new)old");
    EXPECT_EQ(env.expand("$(S)|$(S)"), "old|new");
    EXPECT_EQ(env.expand("$(eval bad)x"), "ERR:missing separator");
    env.ctx.eval = nullptr;
    EXPECT_EQ(env.expand("$(eval X=2)").rfind("ERR:", 0), 0u);
}

TEST(GmExpandDepth, RunawayRecursionIsAnErrorNotACrash) {
    Env env;
    env.define("f = x$(call f)\ng = $(foreach v,1,$(g))\nh = $(call h,$(1)a)");
    for (char const* e : {"$(call f)", "$(call h)"}) {
        std::string r = env.expand(e);
        EXPECT_EQ(r.rfind("ERR:", 0), 0u) << e;
        EXPECT_EQ(env.ctx.depth, 0);
    }
    EXPECT_EQ(env.expand("$(g)"), "ERR:Recursive variable 'g' references itself (eventually)");
    // Deep but finite recursion still works.
    env.define("count = $(if $(word $(2),$(1)),$(words $(1)),$(call count,$(1) x,$(2)))");
    EXPECT_EQ(env.expand("$(call count,x,150)"), "150");
}

TEST(GmExpandScale, LinearInTheText) {
    Env env;
    env.define("CC = cc\nFLAGS = -O2 $(W)\nW = -Wall");
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "$(CC) $(FLAGS) -c s" + std::to_string(i) + ".c -o $(patsubst %.c,%.o,s.c)\n";
    long long t0 = timeBootNs();
    std::string r = env.expand(text.c_str());
    long long ms = (timeBootNs() - t0) / 1000000;
    EXPECT_EQ(r.size(), text.size() - 20000 * (strlen("$(CC) $(FLAGS)") - strlen("cc -O2 -Wall") +
                                               strlen("$(patsubst %.c,%.o,s.c)") - strlen("s.o")));
    EXPECT_LT(ms, 2000);
}

class GmWildcard : public ScratchCwdTest {
  protected:
    void SetUp() override {
        ScratchCwdTest::SetUp();
        for (char const* d : {"d1/s", "d2", ".h"})
            ASSERT_TRUE(fsMkDirRec(d));
        for (char const* f :
             {"b.c", "a.c", "c.h", "d1/x.c", "d2/y.c", ".hid.c", "q[1].c", "d1/s/z.c"})
            std::ofstream(f) << "x";
    }
};

TEST_F(GmWildcard, PatternsAsGnuMakeGlobsThem) {
    // GNU make 4.3 in a directory with the same files: each pattern's matches
    // sorted, patterns in order, repeats kept.
    Env env;
    Case const rows[] = {
        {"", "", "$(wildcard *.c)", "a.c b.c q[1].c"},
        {"", "", "$(wildcard b.c a.c a.c)", "b.c a.c a.c"},
        {"", "", "$(wildcard c.h *.c *.h nothere *.none)", "c.h a.c b.c q[1].c c.h"},
        {"", "",
         "$(wildcard */*.c)|$(wildcard d?/*.c)|$(wildcard d[12]/*)|$(wildcard d[!1]/*)|$(wildcard "
         "d[^1]/*)",
         "d1/x.c d2/y.c|d1/x.c d2/y.c|d1/s d1/x.c d2/y.c|d2/y.c|d2/y.c"},
        {"", "", "$(wildcard */)|$(wildcard d1/)|$(wildcard ./*.h)|$(wildcard .*)|$(wildcard *)",
         "d1/ d2/|d1/|./c.h|. .. .h .hid.c|a.c b.c c.h d1 d2 q[1].c"},
        {"", "",
         "$(wildcard q\\[1\\].c)|$(wildcard q[1].c)|$(wildcard d1//x.c)|$(wildcard "
         "*/*/*.c)|$(wildcard d1/s/../x.c)",
         "q[1].c||d1//x.c|d1/s/z.c|d1/s/../x.c"},
        {"", "", "$(wildcard d1/*/)|$(wildcard *.c d*/*.c)|$(wildcard d*/s)",
         "d1/s/|a.c b.c q[1].c d1/x.c d2/y.c|d1/s"},
    };
    for (Case const& c : rows)
        EXPECT_EQ(env.expand(c.expr), c.want) << c.expr;
    std::string abs = dir + "/a*";
    EXPECT_EQ(env.expand(("$(wildcard " + abs + ")").c_str()), dir + "/a.c");
}

TEST_F(GmWildcard, RealpathAndAbspath) {
    Env env;
    CxStr1p cwd, real;
    ASSERT_TRUE(fsCwdSet(cwd));
    ASSERT_TRUE(fsRealPath(real, "."));
    std::string c = cwd.c_str(), r = real.c_str();
    EXPECT_EQ(env.expand("[$(realpath d1/s/../x.c nope .)]"), "[" + r + "/d1/x.c " + r + "]");
    EXPECT_EQ(env.expand("[$(abspath a/../b ./c/ /x/../.. //a/./b)][$(abspath )]"),
              "[" + c + "/b " + c + "/c / /a/b][]");
}
