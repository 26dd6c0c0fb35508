#include <gtest/gtest.h>

#include <string>

#include "gnu/greader.h"

namespace {

// The fatal error of a read that must fail, or "" when it passed.
std::string readErr(char const* makefile) {
    GmReadIn in;
    in.file = "Makefile";
    in.text = makefile;
    in.makeCmd = "vorn --gm";
    in.curDir = "/x";
    GmHooks hooks;
    StrVect goals;
    CxStr1p err;
    if (gmReadMakefile(in, hooks, goals, err)) return "";
    return err.c_str();
}

} // namespace

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
    for (Case const& c : cases)
        EXPECT_EQ(readErr(c.makefile), c.err) << c.makefile;
}
