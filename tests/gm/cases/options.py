# GNU make's own options: keep going, dry runs, forced and assumed times,
# silent and ignore modes, no built-ins, environment overrides, several
# makefiles, include directories and command-line variables.
from run import Case

# a and b fail independently, c is fine, top needs a.
FAILING = """\
all: a b c.txt top
a: ; false
b: ; exit 1
c.txt: ; echo c > c.txt
top: a ; echo top > top.txt
"""

# One file built from a source, both up to date.
BUILT = """\
out.txt: in.txt
\techo built > out.txt
\t@echo quiet line
"""
BUILT_FILES = {"in.txt": "", "out.txt": "old"}
BUILT_TIMES = {"out.txt": 10}

# prog from a.o and b.o, everything up to date.
PROG = """\
prog: a.o b.o ; @echo link $^ > $@
a.o: a.c ; @echo compile $< > $@
b.o: b.c ; @echo compile $< > $@
"""
PROG_FILES = {"a.c": "", "b.c": "", "a.o": "", "b.o": "", "prog": ""}
PROG_TIMES = {"a.o": 10, "b.o": 10, "prog": 20}

DRY = """\
all: out.txt
\t@echo at-line
out.txt:
\techo hi > $@
\ttouch other.txt
"""

CASES = [
    Case("keep going past independent failures", FAILING, args=["-k"]),
    Case("keep going with goals on the command line", FAILING, args=["--keep-going", "top", "b", "c.txt"]),

    Case("dry run prints and creates nothing", DRY, args=["-n"]),
    Case("dry run long forms", DRY, args=["--dry-run", "--just-print", "--recon"]),
    Case("dry run still runs plus lines", """\
all:
\t+echo plus > plus.txt
\t@+echo quiet-plus > quiet.txt
\techo never > never.txt
""", args=["-n"]),
    # $(MAKE) prints differently in each tool: the dry run is nested and its
    # program path replaced; the sub-make must still run under -n.
    Case("dry run runs a make line", """\
all: ; @$(MAKE) -s -n -f inner.mk | sed 's|^/.* -C sub$$|MAKE -C sub|'
""", files={"inner.mk": "all: ; $(MAKE) --no-print-directory -C sub\n",
            "sub/Makefile": "all: ; echo sub > sub.txt\n"}),

    Case("always make rebuilds up-to-date files", BUILT, args=["-B"],
         files=BUILT_FILES, times=BUILT_TIMES, win_ok=True),
    Case("silent long form", DRY, args=["--silent"]),
    Case("ignore errors goes on", """\
all: a b
a:
\tfalse
\t@echo after false
b: ; exit 3
\t@echo after exit
""", args=["-i"]),
    Case("ignore errors long form", FAILING, args=["--ignore-errors"]),

    Case("no built-in rules", """\
all: first x.o
first: ; @echo first
""", files={"x.c": ""}, args=["-r"]),
    Case("no built-in variables", """\
all: ; @echo '[$(CC)] [$(CXX)] [$(RM)] [$(origin CC)]'
""", args=["-R"]),
    Case("no built-in variables also drops the rules", """\
all: first x.o
first: ; @echo first
""", files={"x.c": ""}, args=["--no-builtin-variables"]),

    Case("environment overrides the file", """\
X = file
Y = file
override Z = file
all: ; @echo '$(X) $(origin X) $(Y) $(Z)'
""", args=["-e"], env={"X": "env", "Z": "env"}),
    Case("environment override loses to the command line", """\
X = file
all: ; @echo '$(X) $(origin X)'
""", args=["--environment-overrides", "X=cmd"], env={"X": "env"}),

    # -W: the file counts as new, so what depends on it is remade.
    Case("what if with dry run", PROG, args=["-n", "-W", "a.c"], files=PROG_FILES, times=PROG_TIMES),
    Case("what if rebuilds", PROG, args=["--what-if=b.c"], files=PROG_FILES, times=PROG_TIMES, win_ok=True),
    # -o: the file is not remade and does not make others out of date.
    Case("old file is not remade", PROG, args=["-o", "a.o"], files=PROG_FILES,
         times=dict(PROG_TIMES, **{"a.c": 30}), win_ok=True),
    Case("old file beside a changed one", PROG, args=["--old-file=a.o"], files=PROG_FILES,
         times=dict(PROG_TIMES, **{"a.c": 30, "b.c": 30}), win_ok=True),

    Case("load average accepted", BUILT, args=["-l", "4", "-B"], files=BUILT_FILES, win_ok=True),
    Case("warn undefined variables", """\
X = $(UNSET)
all: ; @echo '[$(X)] [$(ALSO_UNSET)]' > out.txt
""", args=["--warn-undefined-variables"]),

    Case("two makefiles read in order", None, files={
        "a.mk": "X = from-a\nfirst: ; @echo first $(X) $(Y)\n",
        "b.mk": "Y = from-b\nX += then-b\nsecond: ; @echo second\n"},
        args=["-f", "a.mk", "-f", "b.mk"]),
    Case("two makefiles and a goal from the second", None, files={
        "a.mk": "first: ; @echo first\n",
        "b.mk": "second: ; @echo second\n"},
        args=["--file=a.mk", "--makefile", "b.mk", "second", "first"]),
    Case("include directory", """\
include common.mk
-include other.mk
all: ; @echo '$(C) $(O)'
""", files={"incdir/common.mk": "C = common\n", "more/other.mk": "O = other\n"},
        args=["-I", "incdir", "--include-dir=more"]),

    Case("variables between goals", """\
a: ; @echo 'a [$(X)] [$(Y)]'
b: ; @echo 'b [$(X)] [$(Y)]'
""", args=["b", "X=one two", "a", "Y:=$(X)"]),
    Case("combined flags with dry run", FAILING, args=["-kn", "top"]),
]
