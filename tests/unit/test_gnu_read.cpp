#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "gnu/greader.h"

namespace {

// What the reader handed on, in one text: "goal: deps\n\tline\n" per goal in
// the order the goals came, then "default: NAME".
struct Sink {
    std::map<std::string, std::string> deps, cmds;
    std::vector<std::string> order;
    std::string phony, def;
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
bool addPhony(CxStr1p const& list) {
    g_sink->phony += std::string(list.c_str()) + " ";
    return true;
}
bool setDefault(CxStr1p const& goal) {
    g_sink->def = goal.c_str();
    return true;
}

struct Result {
    bool ok;
    std::string dump, err;
};

Result read(char const* makefile, std::vector<char const*> args = {}) {
    Sink sink;
    g_sink = &sink;
    GmReadIn in;
    in.file = "Makefile";
    in.text = makefile;
    in.makeCmd = "vorn --gm";
    in.curDir = "/x";
    for (char const* a : args)
        in.args.addVal(a);
    GmHooks hooks;
    hooks.addDeps = addDeps;
    hooks.addCmd = addCmd;
    hooks.addPhony = addPhony;
    hooks.setDefault = setDefault;
    Vect1p_Vobj<CxStr1p> goals;
    CxStr1p err;
    Result r;
    r.ok = gmReadMakefile(in, hooks, goals, err);
    r.err = err.c_str();
    for (std::string const& g : sink.order) {
        r.dump += g + ":" + (sink.deps[g].empty() ? "" : " " + sink.deps[g]) + "\n";
        r.dump += sink.cmds[g];
    }
    r.dump += "default: " + sink.def;
    if (!sink.phony.empty()) r.dump += "\nphony: " + sink.phony;
    for (CxStr1p const& g : goals)
        r.dump += std::string("\ngoal: ") + g.c_str();
    g_sink = nullptr;
    return r;
}

} // namespace

// Each Makefile as GNU make reads it: the goals, prerequisites and expanded
// recipe lines the reader hands on.
TEST(GmRead, LinesRulesAndRecipes) {
    struct Case {
        char const *name, *makefile, *dump;
    } const cases[] = {
        {"comments and continuations", "# don't\nA = 1 \\\n    2 # c\nall: ; @echo $(A) \\# x\n",
         "all:\n\t@echo 1 2  # x\ndefault: all"}, // the blank before "#" stays
        {"a '#' inside a reference is no comment", "X = $(subst #,a,b#c)\nall:\n\techo $(X)\n",
         "all:\n\techo bac\ndefault: all"},
        {"'$$' starts no reference: the '#' after it is a comment",
         "X = $$(a # b)\nall:\n\techo '$(X)'\n", "all:\n\techo '$(a '\ndefault: all"},
        {"recipe lines keep '#' and blank lines do not end the recipe",
         "all: a\n\techo 1\n\n# note\n\t# to the shell\n\techo 2\n",
         "all: a\n\techo 1\n\t# to the shell\n\techo 2\ndefault: all"},
        {"a continued recipe line keeps its backslash-newline, not the next tab",
         "all:\n\techo a \\\n\tb\n", "all:\n\techo a \\\x1e" "b\ndefault: all"},
        {"several goals on one line, the first is the default", "a b: c\n\techo $@ from $<\n",
         "a: c\n\techo a from c\nb: c\n\techo b from c\ndefault: a"},
        {"goals starting with '.' are not the default", ".hidden: ;\nreal: ;\n",
         "real:\n.hidden:\ndefault: real"},
        {"order-only prerequisites and the automatic variables",
         "t: b a b | o\n\t@echo $@ $< [$^] [$+] [$|]\n",
         "t: b a b | o\n\t@echo t b [b a] [b a b] [o]\ndefault: t"},
        {"$(@D) and $(@F)", "d/f.o: s/x.c\n\techo $(@D) $(@F) $(<D) $(<F) $*\n",
         "d/f.o: s/x.c\n\techo d f.o s x.c d/f\ndefault: d/f.o"},
        {"prefixes @ - + in any order, each kept once", "all:\n\t@-echo a\n\t+@echo b\n\t- + echo c\n",
         "all:\n\t@-echo a\n\t+@echo b\n\t-+echo c\ndefault: all"},
        {"prerequisites of several rules add up, a later recipe wins",
         "x: a\n\techo one\nx: b\n\techo two\n", "x: a b\n\techo two\ndefault: x"},
        {".PHONY and .DEFAULT_GOAL",
         ".PHONY: all clean\n.DEFAULT_GOAL := clean\nall: ;\nclean: ;\n",
         "clean:\nall:\ndefault: clean\nphony: all clean "},
        {"a recipe defined by define becomes several lines",
         "define TWO\necho 1\necho 2\nendef\nall:\n\t@$(TWO)\n",
         "all:\n\t@echo 1\n\t@echo 2\ndefault: all"},
        {".RECIPEPREFIX", ".RECIPEPREFIX = >\nall:\n> echo hi\n", "all:\n\techo hi\ndefault: all"},
    };
    for (Case const& c : cases) {
        Result r = read(c.makefile);
        EXPECT_TRUE(r.ok) << c.name << ": " << r.err;
        EXPECT_EQ(r.dump, c.dump) << c.name;
    }
}

TEST(GmRead, VariablesAndConditionals) {
    struct Case {
        char const *name, *makefile, *dump;
        std::vector<char const*> args;
    } const cases[] = {
        {"recursive against simple, += keeps the flavour",
         "A = $(B)\nS := [$(B)]\nB = 1\nA += x\nS += $(B)\nall:\n\techo $(A) $(S)\n",
         "all:\n\techo 1 x [] 1\ndefault: all",
         {}},
        {"?= only when undefined; an empty value is defined",
         "E =\nE ?= no\nN ?= yes\nall:\n\techo [$(E)] $(N)\n",
         "all:\n\techo [] yes\ndefault: all",
         {}},
        {"ifeq forms, else ifeq, nesting",
         "X = b\nifeq ($(X),a)\nR = 1\nelse ifeq '$(X)' \"b\"\nR = 2\nifdef X\nR += d\nendif\n"
         "else\nR = 3\nendif\nall:\n\techo $(R)\n",
         "all:\n\techo 2 d\ndefault: all",
         {}},
        {"ifdef does not expand: X = $(EMPTY) is defined",
         "X = $(EMPTY)\nifdef X\nR = def\nendif\nifndef Y\nR += undef\nendif\nall:\n\techo $(R)\n",
         "all:\n\techo def undef\ndefault: all",
         {}},
        {"the command line wins unless override",
         "CC = gcc\noverride O = file\nall:\n\techo $(CC) $(O)\n",
         "all:\n\techo clang file\ndefault: all\ngoal: all",
         {"CC=clang", "O=cmd", "all"}},
        {"target-specific values reach the prerequisites",
         "V = g\nall: V = t\nall: sub\n\techo all $(V)\nsub:\n\techo sub $(V)\nother:\n\techo "
         "$(V)\n",
         "sub:\n\techo sub t\nall: sub\n\techo all t\nother:\n\techo g\ndefault: all",
         {}},
        {"target-specific += on a global simple value",
         "F := -O\nt: F += -g\nt:\n\techo $(F)\n",
         "t:\n\techo -O -g\ndefault: t",
         {}},
        {"undefine and default variables",
         "RM = del\nundefine RM\nall:\n\techo [$(RM)] $(CC) $(AR) $(ARFLAGS)\n",
         "all:\n\techo [] cc ar rv\ndefault: all",
         {}},
    };
    for (Case const& c : cases) {
        Result r = read(c.makefile, c.args);
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
        {"X = $(X) more\nall: ; echo $(X)\n",
         "Makefile:2: *** Recursive variable 'X' references itself (eventually).  Stop."},
    };
    for (Case const& c : cases) {
        Result r = read(c.makefile);
        EXPECT_FALSE(r.ok) << c.makefile;
        EXPECT_EQ(r.err, c.err) << c.makefile;
    }
}
