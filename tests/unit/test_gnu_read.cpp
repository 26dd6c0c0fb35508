#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "gnu/greader.h"

namespace {

// What the reader handed on: "goal: deps\n\tline\n" per goal, in the order
// the goals came.
struct Sink {
    std::map<std::string, std::string> deps, cmds;
    std::vector<std::string> order;
};
Sink* g_sink = nullptr;

bool addDeps(CxStr1p const& goal, CxStr1p const& deps) {
    g_sink->order.push_back(goal.c_str());
    g_sink->deps[goal.c_str()] = deps.c_str();
    return true;
}
bool addCmd(CxStr1p const& goal, CxStr1p const& line) {
    g_sink->cmds[goal.c_str()] += std::string("\t") + line.c_str() + "\n";
    return true;
}

struct Result {
    bool ok;
    std::string dump, err;
};

Result read(char const* makefile) {
    Sink sink;
    g_sink = &sink;
    GmReadIn in;
    in.file = "Makefile";
    in.text = makefile;
    in.makeCmd = "vorn --gm";
    in.curDir = "/x";
    GmHooks hooks;
    hooks.addDeps = addDeps;
    hooks.addCmd = addCmd;
    StrVect goals;
    CxStr1p err;
    Result r;
    r.ok = gmReadMakefile(in, hooks, goals, err);
    r.err = err.c_str();
    for (std::string const& g : sink.order) {
        r.dump += g + ":" + (sink.deps[g].empty() ? "" : " " + sink.deps[g]) + "\n";
        r.dump += sink.cmds[g];
    }
    g_sink = nullptr;
    return r;
}

} // namespace

// What the reader hands on where the differential suite cannot look: the
// recipe lines as stored, and comment corners no case there reaches.
TEST(GmRead, LinesRulesAndRecipes) {
    struct Case {
        char const *name, *makefile, *dump;
    } const cases[] = {
        {"a value keeps the blank before '#'; '\\#' in a ';' recipe loses its backslash",
         "# don't\nA = 1 \\\n    2 # c\nall: ; @echo $(A) \\# x\n", "all:\n\t@echo 1 2  # x\n"},
        {"a '#' inside a reference is no comment", "X = $(subst #,a,b#c)\nall:\n\techo $(X)\n",
         "all:\n\techo bac\n"},
        {"'$$' starts no reference: the '#' after it is a comment",
         "X = $$(a # b)\nall:\n\techo '$(X)'\n", "all:\n\techo '$(a '\n"},
        {"a continued recipe line keeps its backslash-newline, not the next tab",
         "all:\n\techo a \\\n\tb\n",
         "all:\n\techo a \\\x1e"
         "b\n"},
        {"prefixes @ - + in any order, each kept once",
         "all:\n\t@-echo a\n\t+@echo b\n\t- + echo c\n",
         "all:\n\t@-echo a\n\t+@echo b\n\t-+echo c\n"},
        {"a recipe defined by define becomes several lines, each with the prefix",
         "define TWO\necho 1\necho 2\nendef\nall:\n\t@$(TWO)\n", "all:\n\t@echo 1\n\t@echo 2\n"},
        {"target-specific += on a global simple value", "F := -O\nt: F += -g\nt:\n\techo $(F)\n",
         "t:\n\techo -O -g\n"},
    };
    for (Case const& c : cases) {
        Result r = read(c.makefile);
        EXPECT_TRUE(r.ok) << c.name << ": " << r.err;
        EXPECT_EQ(r.dump, c.dump) << c.name;
    }
}

// Fatal errors name the file and line as GNU make does.
TEST(GmRead, ErrorsNameFileAndLine) {
    struct Case {
        char const *makefile, *err;
    } const cases[] = {
        {"all: ;\nthis is wrong\n", "Makefile:2: *** missing separator.  Stop."},
        {"ifeq (a,a)\nX = 1\n", "Makefile:3: *** missing 'endif'.  Stop."},
        {"endif\n", "Makefile:1: *** extraneous 'endif'.  Stop."},
        {"all: ;\nX = 1\n\techo stray\n",
         "Makefile:3: *** recipe commences before first target.  Stop."},
        {"\n.PHONY = all\n",
         "Makefile:2: *** '.PHONY' is a special target: write '.PHONY: ...', not an "
         "assignment.  Stop."},
        {"define X\nnever ends\n",
         "Makefile:1: *** missing 'endef', unterminated 'define'.  Stop."},
        {"X = $(error gone wrong)\n\nall:\n\techo $(X)\n", "Makefile:4: *** gone wrong.  Stop."},
        {"all:\n\techo a \\\n\t$(error on the second line)\n",
         "Makefile:2: *** on the second line.  Stop."}, // where the recipe line starts
        {"a: b: c\n\techo x\n", "Makefile:1: *** target pattern contains no '%'.  Stop."},
        {"X = $(file >o,x)\nall: ; echo $(X)\n",
         "Makefile:2: *** function 'file' is not read yet by this dialect.  Stop."},
        {"load ext.so\n", "Makefile:1: *** 'load' is not read by this dialect (no plug-ins are "
                          "loaded).  Stop."},
        {"all: lib.a(x.o)\n",
         "Makefile:1: *** archive members ('lib.a(x.o)') are not read by this dialect.  Stop."},
        {"X = $(X) more\nall: ; echo $(X)\n",
         "Makefile:2: *** Recursive variable 'X' references itself (eventually).  Stop."},
    };
    for (Case const& c : cases) {
        Result r = read(c.makefile);
        EXPECT_FALSE(r.ok) << c.makefile;
        EXPECT_EQ(r.err, c.err) << c.makefile;
    }
}
