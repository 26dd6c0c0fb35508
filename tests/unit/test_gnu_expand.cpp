#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/fs.h"
#include "base/timenum.h"
#include "gnu/gexpand.h"
#include "printers.h"
#include "scratch.h"

namespace {

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

struct Env {
    GmVars global;
    GmExpandCtx ctx;
    int evals = 0;

    Env() {
        ctx.global = &global;
        ctx.eval = fakeEval;
        ctx.reader = &evals;
        ctx.where = "Makefile:7";
    }

    // "N = v" and "N := v" lines, as the reader would store them.
    void define(std::string const& defs) {
        std::istringstream in(defs);
        for (std::string line; std::getline(in, line);) {
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            bool simple = line[eq - 1] == ':';
            std::string name = line.substr(0, line.find_first_of(" :="));
            CxStr1p value(
                line.substr(std::min(line.find_first_not_of(' ', eq + 1), line.size())).c_str());
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
// and the text between << and >> pasted here.
// The plain uses of each function are differential cases (tests/gm/cases):
// these rows are the blanks, empty arguments and odd forms.
Case const kCases[] = {
    {"ref", "X = x", "[$( X)][$(X )][$(X$(Y))][$(info)][$(words)][$ X][$(U:)]a$",
     "[][][x][][][X][]a$"},
    {"ref", "X = 1", "[$(X $(Y)] tail", "["},
    {"subref", "B = a.c  b.c   x.cc .c", "[$(B:.c=)][$(B:%=[%])][$(B:=-)]",
     "[a b x.cc ][[a.c] [b.c] [x.cc] [.c]][a.c- b.c- x.cc- .c-]"},
    {"subref", "A = a\nB = a.c b.c\nP = .c\nQ = .o\nN = B",
     "[$(A:a=b:c)][$(A:a=b=c)][$(A:b)][$(B:.c=%.o)][$(B:$(P)=$(Q))][$(B:%.c=\\%%)]"
     "[$($(N):.c=.h)][$(B:a%=%)]",
     "[b:c][b=c][][a%.o b%.o][a.o b.o][%a %b][a.h b.h][.c b.c]"},
    {"patsubst", "",
     "[$(patsubst a,b,  a   a  c )][$(patsubst %.c,%,.c a)][$(patsubst %.c,,x.c a)][$(patsubst "
     ",x,)][$(patsubst ,x, a b )][$(patsubst a%z,<%>,az abz a)][$(patsubst %,%%,a)]",
     "[  b   b  c ][ a][a][x][ a b x][<> <b> a][a%]"},
    {"text", "",
     "[$(subst an,AN, banana )][$(subst aa,b,aaaaa)][$(strip  a   b\tc  )][$(words a\tb   c )]"
     "[$(words )][$(sort B a A b_ b)][$(findstring ,cat)][$(findstring at c,cat cat)]",
     "[ bANANa ][bba][a b c][3][0][A B a b b_][][at c]"},
    {"text", "",
     "[$(filter a a,a a b)][$(filter-out ,a)][$(filter \\%x,%x x)][$(join ,)][$(join  a  b , 1 )]",
     "[a a][a][%x][][a1 b]"},
    {"word", "",
     "[$(word  2 , a b c)][$(word 1,)][$(word 99999999999999999999,a)][$(wordlist 1,2,a   b "
     "c)][$(wordlist 1,0,a)]",
     "[b][][][a   b][]"},
    {"files", "",
     "[$(dir . a//b /x)][$(notdir a/ b .)][$(suffix a.b/c a. a.b.c)][$(basename .x a. a.b.c "
     "/a.b/)][$(addsuffix .c,)]",
     "[./ a// /][ b .][. .c][ a a.b /a.b/][]"},
    {"if", "sp := $(empty) $(empty)",
     "[$(if  , a, b )][$(if x, a, b )][$(if x,a,b,c)][$(if ,a,b,c)][$(if $(sp),T,F)]",
     "[ b ][ a][a][b,c][T]"},
    {"if", "", "[$(or , ,b,c)][$(or  x ,y)][$(and a, b )][$(if a,{b,c})][${if a,{b,c}}]",
     "[b][x][b][{b][{b,c}]"},
    {"foreach", "", "[$(foreach x,a b,)][$(foreach x y,a b,$(x)$(y))][$(foreach ,a b,x)]",
     "[ ][a b][x x]"},
    {"foreach", "x = outer",
     "[$(foreach x,1 2,$(foreach y,a b,$(x)$(y)))][$(x)][$(foreach x,a,$(origin x) $(flavor x))]",
     "[1a 1b 2a 2b][outer][automatic simple]"},
    {"call", "f = <$(0)|$(1)|$(2)|$(3)>\ng = $(call f,x)\nh = $(call f,p,q,r)[$(call g)]",
     "[$(call f)][$(call  f ,a,b,c,d)][$(call h,1,2,3,4)]",
     "[<f|||>][<f|a|b|c>][<f|p|q|r>[<f|x||>]]"},
    {"call", "f2 = $(origin 1) $(flavor 1) $(origin 0)\ns := $$(1)",
     "[$(call subst,a,b,banana)][$(call if,,x,y)][$(call  )][$(call undefined,a)][$(call "
     "f2)][$(call f2,a)][$(call s,x)]",
     "[bbnbnb][y][][][undefined undefined automatic][automatic simple automatic][$(1)]"},
    {"origin", "f = x",
     "[$(origin @D)][$(flavor @D)][$(flavor @)][$(value  f )][$(value @D)][$(value @F)]",
     "[automatic][recursive][undefined][][$(patsubst %/,%,$(dir $@))][$(notdir $@)]"},
};

// Fatal errors, message as GNU make 4.3 prints it between "*** " and ".  Stop.".
Case const kErrors[] = {
    {"self", "X = $(Y)\nY = a$(X)", "$(Y)",
     "Recursive variable 'Y' references itself (eventually)"},
    {"self", "X = $(subst a,b,$(X))", "$(X:a=b)",
     "Recursive variable 'X' references itself (eventually)"},
    {"word", "", "$(word 0,a)", "first argument to 'word' function must be greater than 0"},
    {"word", "", "$(word -1,a)", "non-numeric first argument to 'word' function: '-1'"},
    {"word", "", "$(word 2 3,a b c)", "non-numeric first argument to 'word' function: '2 3'"},
    {"word", "", "$(wordlist 0,1,a)", "invalid first argument to 'wordlist' function: '0'"},
    {"word", "", "$(wordlist a,1,a)", "non-numeric first argument to 'wordlist' function: 'a'"},
    {"word", "", "$(wordlist 1,b,a)", "non-numeric second argument to 'wordlist' function: 'b'"},
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
    // The plain forms are differential cases; these are the odd ones.
    EXPECT_EQ(env.expand("[$(+F)][$(origin @)][$(flavor <)][$(^:.c=.o)][$(value <)][$(value ^D)]"
                         "[$(?D)]"),
              "[q.c p q.c][automatic][simple][b/q.o /p][b/q.c][$(patsubst %/,%,$(dir $^))][b ]");
    a.at = "/t";
    EXPECT_EQ(env.expand("[$(@D)][$(@F)][${@D}][$(*F)][$|]"), "[][t][][][]");
    // Outside a recipe they are empty, whatever the variables hold.
    env.ctx.autos = nullptr;
    env.define("@ = no");
    EXPECT_EQ(env.expand("[$@][$(@D)][$(<F)]"), "[][][]");
}

TEST(GmExpandEval, ReaderErrorsStopTheExpansion) {
    Env env;
    EXPECT_EQ(env.expand("$(eval bad)x"), "ERR:missing separator");
    env.ctx.eval = nullptr;
    EXPECT_EQ(env.expand("$(eval X=2)").rfind("ERR:", 0), 0u);
}

TEST(GmExpandDepth, RunawayRecursionIsAnErrorNotACrash) {
    Env env;
    env.define("f = x$(call f)\ng = $(foreach v,1,$(g))\nh = $(call h,$(1)a)");
    for (char const* e : {"$(call f)", "$(call h)"}) {
        EXPECT_EQ(env.expand(e).rfind("ERR:", 0), 0u) << e;
        EXPECT_EQ(env.ctx.depth, 0);
    }
    EXPECT_EQ(env.expand("$(g)"), "ERR:Recursive variable 'g' references itself (eventually)");
    // Deep but finite recursion still works.
    env.define("count = $(if $(word $(2),$(1)),$(words $(1)),$(call count,$(1) x,$(2)))");
    EXPECT_EQ(env.expand("$(call count,x,150)"), "150");
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
        {"", "",
         "$(wildcard b.c a.c a.c c.h *.h nothere *.none)|$(wildcard d1/*/)|$(wildcard d*/s)",
         "b.c a.c a.c c.h c.h|d1/s/|d1/s"},
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
    };
    for (Case const& c : rows)
        EXPECT_EQ(env.expand(c.expr), c.want) << c.expr;
    std::string abs = dir + "/a*";
    EXPECT_EQ(env.expand(("$(wildcard " + abs + ")").c_str()), dir + "/a.c");
}
