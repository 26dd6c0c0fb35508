# include, -include and sinclude: several files, wildcards, missing files,
# makefiles that are generated and read again, and compiler .d files.
from run import Case

# main.c and util.c include a.h; util.c and other.c include b.h.
DEPS_MK = """\
OBJS = main.o util.o other.o
prog: $(OBJS) ; $(CC) -o $@ $^
%.o: %.c ; $(CC) -MMD -MP -c -o $@ $<
-include $(OBJS:.o=.d)
"""
DEPS_FILES = {
    "a.h": "#define A 1\n",
    "b.h": "#define B 2\n",
    "main.c": '#include "a.h"\nint util(void);\nint other(void);\n'
              "int main(void) { return util() + other() - A - 3; }\n",
    "util.c": '#include "a.h"\n#include "b.h"\nint util(void) { return A + B; }\n',
    "other.c": '#include "b.h"\nint other(void) { return B - 2; }\n',
}

CASES = [
    Case("several files in one include", """\
include a.mk b.mk
all: ; @echo '$(A) $(B)'
""", files={"a.mk": "A = a\nB = from-a\n", "b.mk": "B := $(B)+b\n"}),
    Case("include of a wildcard function", """\
include $(wildcard inc/*.mk)
all: ; @echo '$(sort $(NAMES))'
""", files={"inc/one.mk": "NAMES += one\n", "inc/two.mk": "NAMES += two\n",
            "inc/skip.txt": "NAMES += skip\n"}),
    Case("include with a glob", """\
include inc/*.mk
all: ; @echo '$(sort $(NAMES))'
""", files={"inc/one.mk": "NAMES += one\n", "inc/two.mk": "NAMES += two\n"}),
    Case("nested include and MAKEFILE_LIST", """\
include a.mk
all: ; @echo $(MAKEFILE_LIST) '[$(IN_B)]'
""", files={"a.mk": "include sub/b.mk\n", "sub/b.mk": "IN_B := $(lastword $(MAKEFILE_LIST))\n"}),
    Case("first rule of an included file is the default goal", """\
include rules.mk
all: ; @echo all
""", files={"rules.mk": "inc: ; @echo from included\n"}),
    Case("dash include of a missing file", """\
-include missing.mk other/missing.mk
sinclude gone.mk
all: ; @echo fine
"""),
    Case("include of a missing file fails", """\
include here.mk missing.mk
all: ; @echo never
""", files={"here.mk": "X = 1\n"}),

    # A makefile that a rule can make is made, then everything is read again.
    Case("generated include is read again", """\
all: ; @echo '[$(X)]'
include gen.mk
gen.mk: ; echo 'X = 1' > $@
""", runs=2),
    Case("config made from a template", """\
all: ; @echo 'value $(VALUE)'
include config.mk
config.mk: config.in
\tsed 's/@VALUE@/42/' config.in > $@
""", files={"config.in": "VALUE = @VALUE@\n"}, runs=2,
        between={"config.in": "VALUE = @VALUE@-changed\n"}),
    Case("included makefile made by a pattern rule", """\
include x.mk
%.mk: %.def ; cp $< $@
all: ; @echo '$(DEF)'
""", files={"x.def": "DEF = defined\n"}),

    # Real compiler dependency files: touching a header remakes exactly the
    # objects that include it.
    Case("dependency files rebuild what includes a header", DEPS_MK, files=DEPS_FILES,
         runs=2, between={"a.h": "#define A 1 /* changed */\n"}),
    Case("dependency files after a header is removed", DEPS_MK, files=DEPS_FILES,
         runs=2, between={"b.h": None,
                          "util.c": '#include "a.h"\nint util(void) { return A + 2; }\n',
                          "other.c": "int other(void) { return 0; }\n"}),
    # Without -MP the removed header has no rule: an error.
    Case("dependency files without phony headers", DEPS_MK.replace("-MP ", ""),
         files=DEPS_FILES, runs=2, between={"b.h": None}),
]
