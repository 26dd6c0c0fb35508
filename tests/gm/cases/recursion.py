# Recursive make: $(MAKE) -C at depth and in parallel, what reaches the
# sub-make (command-line variables, flags, MAKELEVEL, exports) and the
# directory lines.
from run import Case

SUB_FAILS = {"sub/Makefile": "all: a b.txt\na: ; @echo in a; false\nb.txt: ; @echo b > b.txt\n"}

# Each tool names itself in its directory lines: the program name before
# "[N]:" becomes M so that the lines themselves are compared.
SED_NAME = r"sed 's/^[^ []*\[\([0-9]*\)\]:/M[\1]:/'"
SUB_ECHO = {"sub/Makefile": "all: ; @echo in sub\n"}

CASES = [
    # Two levels below two parallel sub-makes; the top reads what they made.
    Case("sub-makes two levels deep in parallel", """\
all: a b ; @cat a/deep/out.txt b/deep/out.txt a/y.txt
a b: ; @$(MAKE) -C $@
.PHONY: a b
""", files={
        "a/Makefile": "all: x y\nx: ; @$(MAKE) -C deep\ny: ; @echo y > y.txt\n",
        "b/Makefile": "all: ; @$(MAKE) -C deep\n",
        "a/deep/Makefile": "all: ; @echo deep a > out.txt\n",
        "b/deep/Makefile": "all: ; @echo deep b > out.txt\n"},
        args=["-j4", "--no-print-directory"]),
    Case("command-line variables reach every level", """\
all: ; @$(MAKE) -s -C sub Y=2
""", files={
        "sub/Makefile": "X = sub\nall:\n\t@echo 'sub [$(X)] $(origin X) [$(Y)]'\n"
                        "\t@$(MAKE) -C deep\n",
        "sub/deep/Makefile": "all: ; @echo 'deep [$(X)] [$(Y)] $(origin Y)'\n"},
        args=["X=1"]),
    Case("keep going reaches the sub-make", "all: ; @$(MAKE) -C sub\n",
         files=SUB_FAILS, args=["-k", "--no-print-directory"]),
    Case("keep going past a failed sub-make", """\
all: sub other
sub: ; @$(MAKE) -C sub
other: ; @echo other > other.txt
.PHONY: sub
""", files=SUB_FAILS, args=["-k", "--no-print-directory"]),
    # A plain command, so the line prints the same in both tools: the sub-make
    # learns of -n from MAKEFLAGS in its environment alone.
    Case("dry run reaches a sub-make through the environment", """\
export SUBMAKE := $(MAKE)
all:
\t+$$SUBMAKE --no-print-directory -C sub
\ttouch top.txt
""", files={"sub/Makefile": "all: ; echo sub > sub.txt\n"}, args=["-n"]),
    Case("silent reaches the sub-make", "all: ; @$(MAKE) -C sub\n",
         files={"sub/Makefile": "all:\n\techo sub line\n\t@echo quiet\n"}, args=["-s"]),
    Case("make level at each depth", """\
all:
\t@echo top $(MAKELEVEL) $$MAKELEVEL
\t@cd sub && $(MAKE) -s
""", files={
        "sub/Makefile": "all:\n\t@echo sub $(MAKELEVEL) $$MAKELEVEL\n\t@$(MAKE) -s -C deep\n",
        "sub/deep/Makefile": "all: ; @echo deep $(MAKELEVEL)\n"}),
    Case("failing sub-make fails the recipe", """\
all:
\t@$(MAKE) -s -C sub
\t@echo never > never.txt
""", files=SUB_FAILS),

    Case("change directory on the command line", "all: ; @echo top\n", files={
        "sub/Makefile": "all: ; @echo '$(CURDIR)' > where.txt\n"}, args=["-C", "sub"]),
    Case("print directory at the top", "all: ; @echo top\n", args=["-w"]),
    Case("directory lines of a sub-make", "all: ; @$(MAKE) -C sub 2>/dev/null | " + SED_NAME + "\n",
         files=SUB_ECHO),
    Case("directory lines two levels down", """\
all: ; @$(MAKE) -C sub 2>/dev/null | SED
""".replace("SED", SED_NAME), files={"sub/Makefile": "all: ; @$(MAKE) -C deep\n",
                                     "sub/deep/Makefile": "all: ; @echo deep\n"}),
    Case("no directory lines when asked", "all: ; @$(MAKE) --no-print-directory -C sub 2>/dev/null | "
         + SED_NAME + "\n", files=SUB_ECHO),

    Case("exported variables reach the sub-make", """\
export V = top
W = not exported
X = later
export X
all: ; @$(MAKE) -s -C sub
""", files={"sub/Makefile": "all: ; @echo '[$(V)] [$(W)] [$(X)]' [$$V]\n"}),
    Case("unexport keeps a variable from the sub-make", """\
unexport FROMENV
export V = top
unexport V
all: ; @$(MAKE) -s -C sub
""", files={"sub/Makefile": "all: ; @echo '[$(FROMENV)] [$(V)] [$(KEPT)]'\n"},
        env={"FROMENV": "env", "KEPT": "kept"}),
    Case("export all variables reaches the sub-make", """\
.EXPORT_ALL_VARIABLES:
V = top
all: ; @$(MAKE) -s -C sub
""", files={"sub/Makefile": "all: ; @echo '[$(V)]'\n"}),
]
