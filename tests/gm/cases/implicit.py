# Implicit rules: the file's pattern rules, static pattern rules, suffix rules
# and the built-in rules for C, C++ and linking.
from run import Case

MAIN_C = "int f(void);\nint main(void) { return f(); }\n"
F_C = "int f(void) { return 0; }\n"

CASES = [
    Case("a program built by the built-in rules alone", """\
prog: prog.o f.o
""", files={"prog.c": MAIN_C, "f.c": F_C}),
    Case("built-in rules take CFLAGS and the command line's CC", """\
CFLAGS = -O1
prog: prog.o f.o
""", files={"prog.c": MAIN_C, "f.c": F_C}, args=["CC=gcc"]),
    Case("built-in rules again: nothing to do", """\
prog: prog.o f.o
""", files={"prog.c": MAIN_C, "f.c": F_C}, runs=2),
    Case("a changed source rebuilds its object and the program", """\
prog: prog.o f.o
""", files={"prog.c": MAIN_C, "f.c": F_C}, runs=2,
        between={"f.c": "int f(void) { return 0; } /* changed */\n"}),
    Case("an object with a rule of its own keeps it", """\
prog: prog.o f.o
f.o: f.c
\t@echo own rule > $@
""", files={"prog.c": MAIN_C, "f.c": F_C}, args=["f.o"]),
    Case("the file's pattern rule comes before the built-in one", """\
all: x.o
%.o: %.c
\t@echo 'mine $< $@ $*'
""", files={"x.c": ""}),
    Case("pattern rule with a directory in the stem", """\
all: sub/x.out
%.out: %.in
\t@echo '$* $< $@' > $@
""", files={"sub/x.in": ""}),
    Case("pattern rule whose prerequisite is missing does not apply", """\
all: x.out
%.out: %.in
\t@echo made
""", files={}),
    Case("static pattern rule", """\
OBJS = a.res b.res
all: $(OBJS)
$(OBJS): %.res: %.src
\t@echo '$@ from $< stem $*' > $@
""", files={"a.src": "", "b.src": ""}),
    Case("static pattern rule with a target that does not match", """\
all: a.res
a.res c.txt: %.res: %.src
\t@echo $@
""", files={"a.src": ""}),
    Case("suffix rule from the default list", """\
all: x.o
.c.o:
\t@echo 'suffix $< $@'
""", files={"x.c": ""}),
    Case("no built-in rules after an empty .SUFFIXES", """\
.SUFFIXES:
all: x.o
""", files={"x.c": ""}),
    Case("a phony goal searches no implicit rule", """\
.PHONY: x.o
all: x.o
x.o: ; @echo phony
""", files={"x.c": ""}),
    Case("shortest stem wins over file order", """\
all: lib/a.out
%.out: %.x
\t@echo long $*
lib/%.out: lib/%.x
\t@echo short $*
""", files={"lib/a.x": ""}),
    Case("chain through a rule that can make the prerequisite", """\
all: x.c2
%.c2: %.c1
\t@echo 'c2 from $<'
%.c1: %.c0
\t@echo 'c1 from $<'
""", files={"x.c0": ""}),
    # GNU make deletes the intermediate x.c1 afterwards; vorn keeps it.
    Case("chain leaves the intermediate file", """\
all: x.c2
%.c2: %.c1
\t@echo 'c2 from $<' > $@
%.c1: %.c0
\t@echo 'c1 from $<' > $@
""", files={"x.c0": ""}),
]
