# Rules: goals, default goal, rule kinds, automatic variables, recipe
# prefixes, failures and up-to-date checks.
from run import Case

CASES = [
    Case("first target is default goal", """\
.hidden: ; @echo hidden
%.o: ; @echo pattern $@
first second: ; @echo $@
"""),
    Case("default goal variable", """\
.DEFAULT_GOAL := b
a: ; @echo a
b: ; @echo b
"""),
    Case("default goal reset", """\
.DEFAULT_GOAL = a
.DEFAULT_GOAL :=
x: ; @echo 'x $(.DEFAULT_GOAL)'
y: ; @echo y
"""),
    Case("several goals on command line, one named twice", """\
a: ; @echo a
b: ; @echo b
c: ; @echo c
""", args=["c", "a", "b", "a"]),
    Case("several targets on one line", """\
all: x y
x y z: ; @echo $@ > $@.txt
""", win_ok=True),
    Case("prerequisites accumulate", """\
all: a
all: b
all: ; @echo $^
a b: ; @echo $@
"""),
    Case("prerequisite built once", """\
all: a b
a: c
b: c
c: ; @echo c
a b: ; @echo $@
"""),
    Case("missing prerequisite fails", """\
all: nothere ; @echo never
"""),
    Case("missing goal fails", """\
a: ; @echo a
""", args=["b"]),
    Case("no makefile no goal fails", None, files={"x.txt": "x"}),
    Case("double colon rules run separately", """\
all:: ; @echo first
all:: ; @echo second
"""),
    Case("double colon with prerequisites", """\
out:: a ; @echo from a >> out
out:: b ; @echo from b >> out
""", files={"a": "", "b": "", "out": ""}, times={"a": 10, "out": 5}),
    Case("double colon rules without prerequisites always run, in order", """\
all: clean
clean:: ; @echo one >> log
clean:: ; @echo two $@ >> log
""", runs=2),
    Case("double colon: a later change runs only its own rule", """\
out:: a ; @echo from a >> out
out:: b ; @echo from b $@ $^ >> out
""", files={"a": "", "b": ""}, runs=2, between={"b": "changed"}),
    Case("order only prerequisites", """\
all: a | b
\t@echo '[$^] [$|]'
a b: ; @echo $@
"""),
    Case("order only does not rebuild", """\
out: in | dir
\t@echo built > out
""", files={"in": "", "out": "old", "dir/": None}, times={"out": 5, "dir": 10}),
    Case("phony always runs", """\
.PHONY: clean
clean: ; @echo cleaning
""", files={"clean": ""}, args=["clean"]),
    Case("file without rule is up to date", """\
out: in ; @echo rebuilt
""", files={"in": "", "out": ""}, times={"out": 5}),
    Case("newer prerequisite rebuilds", """\
out: in ; @echo rebuilt > out
""", files={"in": "", "out": "old"}, times={"in": 5}, win_ok=True),
    Case("second run is up to date", """\
all: out.txt
out.txt: in.txt
\techo made > out.txt
""", files={"in.txt": "x"}, runs=2, win_ok=True),
    Case("changed prerequisite rebuilds on second run", """\
out.txt: a.txt b.txt
\techo rebuilt > out.txt
""", files={"a.txt": "1", "b.txt": "1"}, runs=2, between={"b.txt": "2"}, win_ok=True),
    Case("removed target remade on second run", """\
all: one.txt two.txt
one.txt two.txt:
\techo $@ > $@
""", runs=2, between={"one.txt": None}, win_ok=True),
    Case("automatic variables", """\
out.x: b.in a.in b.in | ord
\t@echo '@=$@ <=$< ^=$^ +=$+ |=$|'
ord: ; @:
""", files={"a.in": "", "b.in": ""}),
    Case("newer prerequisites in dollar question", """\
out: old new ; @echo '[$?]'
""", files={"old": "", "new": "", "out": ""}, times={"new": 10, "out": 5}),
    Case("dir and file forms", """\
all: sub/dir/f.o
sub/dir/f.o: sub/a.c sub/b.c
\t@echo '$(@D) $(@F) $(<D) $(<F) $(^D) $(^F) $(*D)'
""", files={"sub/a.c": "", "sub/b.c": ""}),
    Case("stem in pattern rule", """\
all: out/f.o
out/%.o: src/%.c
\t@echo '$* $(*D) $(*F) $< $@'
""", files={"src/f.c": ""}),
    Case("stem in explicit rule drops known suffix", """\
all: a.c
a.c: ; @echo '[$*]'
"""),
    Case("failing recipe stops", """\
all: a b
a:
\t@echo a
\tfalse
\t@echo never
b: ; @echo b
"""),
    Case("failure leaves no later goal", """\
all: a.txt b.txt
a.txt:
\texit 1
b.txt:
\techo b > b.txt
""", win_ok=True),
    Case("prefixes", """\
all:
\t@echo quiet
\techo loud
\t-false
\t+@echo plus
\t@+echo plus-at
\t@-false
\t-@echo combined
\t- + echo spaced
\t @echo blank-then-at
"""),
    Case("ignore all errors target", """\
.IGNORE:
all:
\tfalse
\t@echo still
"""),
    Case("silent target", """\
.SILENT:
all:
\techo not echoed
"""),
    Case("keep going flag", """\
all: a b
a: ; false
b: ; @echo b
""", args=["-k"]),
    Case("dry run flag", """\
all: ; echo would > f.txt
""", args=["-n"]),
    Case("makefile named with f", None, files={"other.mk": "x: ; @echo from other\n"},
         args=["-f", "other.mk"]),
    Case("lowercase makefile", None, files={"makefile": "x: ; @echo lower\n"}),
    Case("recipe overridden warns and uses last", """\
a: ; @echo first
a: ; @echo second
"""),
    Case("pattern rule builds file", """\
all: a.out b.out
%.out: %.in
\tcat $< > $@
""", files={"a.in": "A\n", "b.in": "B\n"}),
    Case("pattern rule shortest stem wins", """\
all: lib/x.o ; @echo done
%.o: ; @echo generic $*
lib/%.o: ; @echo lib $*
"""),
    Case("suffix rule", """\
.SUFFIXES: .src .dst
all: f.dst
.src.dst:
\t@echo '$< -> $@'
""", files={"f.src": ""}),
    Case("builtin compile rule dry run", """\
all: hello.o
""", files={"hello.c": "int main(void){return 0;}\n"}, args=["-n"]),
    Case("phony skips implicit search", """\
.PHONY: x.o
x.o: ; @echo explicit
""", files={"x.c": ""}),
    Case("recursive make", """\
all: ; @$(MAKE) -s -C sub X=passed
""", files={"sub/Makefile": "all: ; @echo sub [$(X)]\n"}),
]

# Behaviour the dialect does not have yet; remove an entry once it passes.
PENDING = {
}
