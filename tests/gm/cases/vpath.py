# Directory search: VPATH and the vpath directive, with pattern and explicit
# rules, up-to-date checks through found files, and clearing the search.
from run import Case

OBJ_RULE = """\
all: x.o
%.o: %.c ; @echo '$< -> $@' > $@
"""

CASES = [
    Case("VPATH finds the source of a pattern rule", "VPATH = src\n" + OBJ_RULE,
         files={"src/x.c": ""}),
    Case("found source is up to date on the second run", "VPATH = src\n" + OBJ_RULE,
         files={"src/x.c": ""}, runs=2),
    Case("vpath directives per pattern", """\
vpath %.c src
vpath %.h inc
x.o: x.c x.h ; @echo '$^ [$<]' > $@
""", files={"src/x.c": "", "inc/x.h": "", "src/x.h": ""}),
    Case("a file in the current directory comes first", "VPATH = src\n" + OBJ_RULE,
         files={"src/x.c": "", "x.c": ""}),
    Case("VPATH with colons and blanks", """\
VPATH = one:two  three
all: a.in b.in c.in ; @echo '$^'
""", files={"two/a.in": "", "three/a.in": "", "three/b.in": "", "one/c.in": ""}),
    Case("vpath directories in the order given", """\
vpath %.in one
vpath %.in two:three
vpath %.txt two
all: a.in b.in c.txt ; @echo '$^'
""", files={"two/a.in": "", "three/a.in": "", "three/b.in": "", "two/c.txt": ""}),
    Case("vpath is searched before VPATH", """\
VPATH = late
vpath %.in early
all: a.in b.in ; @echo '$^'
""", files={"late/a.in": "", "early/a.in": "", "late/b.in": ""}),
    Case("vpath for one pattern cleared", """\
vpath %.c src
vpath %.c other
vpath %.h src
vpath %.c
VPATH = fallback
all: x.h x.c ; @echo '$^'
""", files={"src/x.c": "", "src/x.h": "", "other/x.c": "", "fallback/x.c": ""}),
    Case("vpath alone clears every pattern", """\
vpath %.c src
vpath %.h src
vpath
VPATH = other
all: x.h x.c ; @echo '$^'
""", files={"src/x.c": "", "src/x.h": "", "other/x.h": "", "other/x.c": ""}),

    # An up-to-date target found in a directory keeps that path; an
    # out-of-date one is remade here.
    Case("up-to-date target found through VPATH", """\
VPATH = lib
all: out.txt ; @echo '$^'
out.txt: in.txt ; cp $< $@
""", files={"lib/out.txt": "old", "in.txt": ""}, times={"lib/out.txt": 10}),
    Case("out-of-date target found through VPATH is remade here", """\
VPATH = lib
all: out.txt ; @echo '$^'
out.txt: in.txt ; cp $< $@
""", files={"lib/out.txt": "old", "in.txt": "new"}, times={"in.txt": 10}),
    Case("built-in compile rule with VPATH", """\
VPATH = src
all: main.o
""", files={"src/main.c": "int main(void) { return 0; }\n"}),
]
