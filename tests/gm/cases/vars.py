# Variable flavours, assignment operators, define, override, export, scopes.
from run import Case

CASES = [
    Case("recursive sees later value, simple takes it now", """\
y = early
r = $(y)
s := $(y)
d ::= $(y)
y = later
all: ; @echo '[$(r)] [$(s)] [$(d)] $(flavor d)'
"""),
    Case("conditional assignment", """\
a = set
a ?= other
b ?= fresh
c ?= $(d)
d = late
e =
e ?= notused
all: ; @echo '[$(a)] [$(b)] [$(c)] $(flavor c) [$(e)]'
"""),
    # Recursive stays deferred, simple expands now, undefined becomes
    # recursive, empty gets no blank.
    Case("append", """\
y = early
r = a $(y)
r += b $(y)
s := a $(y)
s += b $(y)
u += a $(y)
e =
e += word
y = late
all: ; @echo '[$(r)] $(flavor r) [$(s)] $(flavor s) [$(u)] $(flavor u) [$(e)]'
"""),
    Case("shell assignment", """\
x != echo one; echo two
y != printf 'a\\nb\\n\\n'
all: ; @echo '[$(x)] [$(y)] $(flavor x)'
""", sh=True),
    Case("define recursive", """\
define body
first $(v)
second
endef
v = late
$(info [$(body)])
all: ; @:
"""),
    Case("define simple", """\
v = early
define body :=
got $(v)
endef
v = late
all: ; @echo '$(body)' $(flavor body)
"""),
    Case("define append and conditional", """\
base = one
define base +=
two
endef
define fresh ?=
three
endef
define base ?=
ignored
endef
all: ; @echo '$(base)' '$(fresh)'
"""),
    Case("define as recipe", """\
define steps
@echo step one
@echo step two
endef
define plain
echo 1
echo 2
endef
all:
\t$(steps)
\t@$(plain)
"""),
    Case("nested define", """\
define outer
define inner
deep
endef
endef
$(eval $(outer))
all: ; @echo '[$(inner)]'
"""),
    Case("command line beats file", """\
x = file
y := file
z += file
all: ; @echo '[$(x)] [$(y)] $(origin x) [$(z)]'
""", args=["x=cmd", "y=cmd", "z=cmd"]),
    Case("override beats command line", """\
override x = file
override y += more
all: ; @echo '[$(x)] [$(y)] $(origin x)'
""", args=["x=cmd", "y=cmd"]),
    Case("command line simple assignment", """\
v = file
all: ; @echo '[$(x)] $(flavor x)'
""", args=["v=cmd", "x:=$(v)"]),
    Case("environment loses to file", """\
FROMENV = file
all: ; @echo '[$(FROMENV)] $(origin FROMENV) [$(OTHER)] $(origin OTHER)'
""", env={"FROMENV": "env", "OTHER": "envonly"}),
    Case("export to recipe", """\
export A = exported
B = plain
export B
C = hidden
all: ; @echo [$$A] [$$B] [$$C]
""", sh=True),
    Case("export expands value", """\
export A = $(B)
B = late
all: ; @printenv A
""", sh=True),
    Case("unexport environment", """\
unexport KEEPOUT
all: ; @echo [$$KEEPOUT] [$$PASSED]
""", env={"KEEPOUT": "x", "PASSED": "y"}, sh=True),
    Case("export alone exports all", """\
export
A = one
all: ; @echo [$$A]
""", sh=True),
    Case("command line variable exported", """\
all: ; @echo [$$CL]
""", args=["CL=value"], sh=True),
    Case("undefine", """\
x = set
undefine x
y := $(origin x)
all: ; @echo '[$(x)] $(y) $(origin x)'
"""),
    Case("target specific value", """\
x = global
all: a b
a: x = for-a
a b: ; @echo '$@ [$(x)]'
"""),
    Case("target specific inherited by prerequisites", """\
x = global
all: x = from-all
all: a
\t@echo 'all [$(x)]'
a: ; @echo 'a [$(x)]'
"""),
    # A target's value goes in front of the global ones, and a foreach
    # variable in front of the target's.
    Case("target specific append", """\
x = base
s := -O
b = $(x)-b
a: x += more
a: s += -g
a: ; @echo '[$(x)] [$(s)] [$(b)] [$(foreach x,y,$(b))] [$(b)] $(origin x) $(origin s)'
""", args=["a"]),
    Case("target specific simple sees global", """\
y = one
a: x := $(y)
y = two
a: ; @echo '[$(x)] [$(y)]'
""", args=["a"]),
    Case("target specific does not leak", """\
all: a b
a: x = only-a
a: ; @echo 'a [$(x)]'
b: ; @echo 'b [$(x)]'
"""),
    Case("pattern specific value", """\
x = global
%.out: x = pattern
all: f.out g.txt
f.out g.txt: ; @echo '$@ [$(x)]'
"""),
    # Expanded when used: $@ is the target's, a later value counts, and the
    # simple value's own '$' stays as it reads.
    Case("target specific append to a global simple one is recursive", """\
s := -O $$$$x
a: s += -g $@ $(L)
a: ; @echo '$(flavor s) [$(s)]'
b: t := 1
b: t += $$$$y $@
b: ; @echo '$(flavor t) [$(t)]'
L = late
""", args=["a", "b"]),
    Case("target specific override of command line", """\
a: override x = target
a: ; @echo '[$(x)]'
""", args=["a", "x=cmd"]),
    Case("value written to file", """\
a = one
b := $(a) two
a += three
all:
\techo $(a) > a.txt
\techo $(b) > b.txt
""", win_ok=True),
    Case("command line assignment to file", """\
x = file
all:
\techo $(x) > out.txt
""", args=["x=cmd"], win_ok=True),
    Case("target specific value to file", """\
x = global
all: a.txt b.txt
a.txt: x = for-a
a.txt b.txt:
\techo $(x) > $@
""", win_ok=True),
    Case("self reference error", """\
x = $(x) more
all: ; @echo '[$(x)]'
"""),
    Case("variable names with odd characters", """\
a.b = dot
c-d = dash
e/f = slash
all: ; @echo '$(a.b) $(c-d) $(e/f)'
"""),
    Case("blanks around assignments", """\
x   =   spaced   
y=tight
all: ; @echo '[$(x)]' '[$(y)]'
"""),
    Case("default variables", """\
all: ; @echo '$(CC)' '$(RM)' '$(AR)' '$(ARFLAGS)' '$(CXX)' '$(origin CC)'
"""),
    Case("default variables overridden", """\
CC = mycc
all: ; @echo '$(CC) $(origin CC) $(flavor CC)'
"""),
    Case("what a Makefile tests to learn its make", """\
ifeq ($(filter 4.%,$(MAKE_VERSION)),)
$(error too old)
endif
MINE := 1
all: ; @echo '$(filter grouped-target order-only,$(.FEATURES))' '$(sort $(filter MINE CC,$(.VARIABLES)))' \
  '$(words $(SUFFIXES))' '$(.LIBPATTERNS)' '$(MAKE_HOST)'
"""),
    Case("SUFFIXES is empty with -r", """\
all: ; @echo '[$(SUFFIXES)]'
""", args=["-r"]),
]

# Behaviour the dialect does not have yet; remove an entry once it passes.
PENDING = {
}
