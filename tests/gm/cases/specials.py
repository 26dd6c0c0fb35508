# Special targets: .DEFAULT, intermediate and secondary files, deletion on
# error, silent/ignore lists, .ONESHELL, .NOTPARALLEL, .POSIX, exports,
# grouped targets and multi-target pattern rules.
from run import Case

# x.c from x.a through the intermediate x.b.
CHAIN = """\
%.b: %.a ; cp $< $@
%.c: %.b ; cp $< $@
"""

CASES = [
    # An existing file with no rule needs nothing, not the .DEFAULT recipe.
    Case("default recipe for what has no rule", """\
all: here.txt gone ; @echo done
.DEFAULT: ; @echo default for $@
""", files={"here.txt": ""}, args=["all", "ghost"]),

    # Intermediate files of a chain are removed at the end ("rm ..." on stdout)
    # and not remade while the final target is newer than the source.
    Case("chain removes the intermediate file", "all: x.c\n" + CHAIN,
         files={"x.a": "A\n"}, runs=2),
    # make lists removed files in its hash table's order: only the files are compared.
    Case("three step chain removes both", "all: x.d\n%.d: %.c ; cp $< $@\n" + CHAIN,
         files={"x.a": "A\n"}, args=["-s"]),
    Case("dry run names the intermediate file it would remove", CHAIN, args=["-n", "x.c"],
         files={"x.a": "A\n"}),
    Case("chain after a changed source", CHAIN, args=["x.c"],
         files={"x.a": "A\n"}, runs=2, between={"x.a": "A2\n"}),
    Case("chain keeps an intermediate that existed", CHAIN, args=["x.c"],
         files={"x.a": "A\n", "x.b": "B\n"}, times={"x.b": 10}),
    Case("precious pattern keeps the intermediate", ".PRECIOUS: %.b\n" + CHAIN,
         args=["x.c"], files={"x.a": "A\n"}),
    Case("secondary file is kept and not remade", ".SECONDARY: x.b\n" + CHAIN,
         args=["x.c"], files={"x.a": "A\n"}, runs=2, between={"x.b": None}),
    Case("secondary without prerequisites covers all", ".SECONDARY:\n" + CHAIN,
         args=["x.c"], files={"x.a": "A\n"}, runs=2),
    Case("intermediate named explicitly", """\
.INTERMEDIATE: x.b
x.c: x.b ; cp $< $@
x.b: x.a ; cp $< $@
""", files={"x.a": "A\n"}, runs=2),

    Case("delete on error removes the written target", """\
.DELETE_ON_ERROR:
out.txt: ; echo partial > $@; false
"""),
    Case("delete on error keeps an untouched old target", """\
.DELETE_ON_ERROR:
out.txt: in.txt ; false
""", files={"in.txt": "", "out.txt": "old"}, times={"in.txt": 10}),

    Case("silent for named targets", """\
.SILENT: a
all: a b
a: ; echo in a
b: ; echo in b
"""),
    Case("ignore for named targets", """\
.IGNORE: a
all: a b
a:
\tfalse
\t@echo a goes on
b:
\tfalse
\t@echo b never
"""),

    Case("oneshell runs the recipe in one shell", """\
.ONESHELL:
all:
\t@cd sub
\techo here > f.txt
\tv=kept; echo $$v > g.txt
""", files={"sub/": None}),
    Case("oneshell echoes the whole recipe", """\
.ONESHELL:
all:
\techo one
\t@echo two
\t-false
\techo three
"""),
    Case("oneshell status is the last command's", """\
.ONESHELL:
all:
\t@false
\techo after > after.txt
\tfalse
"""),

    # b checks that a has finished: only a serial run passes.
    Case("notparallel runs one job at a time", """\
.NOTPARALLEL:
all: a b
a: ; @sleep 0.5; echo a > a.txt
b: ; @test -f a.txt && echo b sees a
""", args=["-j4"]),
    Case("posix makes the shell stop at the first error", """\
.POSIX:
all:
\t@echo before
\t@false; echo after
"""),
    Case("export all variables", """\
.EXPORT_ALL_VARIABLES:
V = value
W := $(V)-w
all: ; @echo [$$V] [$$W]
"""),

    Case("grouped targets run their recipe once", """\
all: a.out b.out
a.out b.out &: src.txt
\techo run >> log.txt
\techo a > a.out
\techo b > b.out
""", files={"src.txt": "1"}, runs=2, between={"src.txt": "2"}, win_ok=True),
    Case("pattern rule with two targets runs once", """\
all: f.x f.y g.y
%.x %.y: %.src
\techo '$@ $*' >> log.txt
\ttouch $*.x $*.y
""", files={"f.src": "", "g.src": ""}, runs=2, between={"g.src": "new"}),
    Case("pattern rule with two targets, second asked first", """\
%.x %.y: %.src
\techo '$@ $*' >> log.txt
\ttouch $*.x $*.y
""", files={"f.src": ""}, args=["f.y", "f.x"]),
]
