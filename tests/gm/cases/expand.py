# References ($(x) ${x} $x $$, nesting, substitution references) and the
# function table.
from run import Case

CASES = [
    Case("reference forms", """\
x = paren
y = brace
z = single
a = A
ab = AB
all: ; @echo $(x) ${y} $z '$$z-$$$$-ish' '$ab $(ab)'
"""),
    Case("nested reference", """\
which = b
v_b = chosen
name = which
all: ; @echo '$(v_$(which)) $($(name)) $(v_$($(name)))'
"""),
    Case("undefined is empty", """\
all: ; @echo '[$(nothing)] [$(nothing$(either))]'
"""),
    Case("substitution reference", """\
src = a.c b.c dir/c.c x.cc a.c.c b.cx
all: ; @echo '$(src:.c=.o) | $(src:%.c=obj/%.o) | ${src:c=z}'
"""),
    Case("dollar in value", """\
price = $$5
all: ; @echo '$(price)'
"""),
    Case("subst patsubst strip", """\
x = a.c  b.c   c.h
all: ; @echo '[$(subst .c,.o,$(x))] [$(patsubst %.c,%.o,$(x))] [$(strip  $(x) )]'
"""),
    Case("patsubst corners", """\
all: ; @echo '[$(patsubst a%,%,a ab abc b)] [$(patsubst %,x%y,1 2)] [$(patsubst noper,r,noper noperx)] [$(patsubst \\%a%,%,%ab)]'
"""),
    Case("findstring filter filter-out", """\
x = a.c b.o c.h d.c
all: ; @echo '[$(findstring b.o,$(x))] [$(findstring zz,$(x))] [$(filter %.c %.h,$(x))] [$(filter-out %.c,$(x))]'
"""),
    Case("sort removes duplicates", """\
all: ; @echo '[$(sort foo bar lose foo bar B 10 9)] [$(sort )]'
"""),
    Case("word functions", """\
x = one two three four
all: ; @echo '[$(word 2,$(x))] [$(word 9,$(x))] [$(wordlist 2,3,$(x))] [$(wordlist 3,9,$(x))] [$(wordlist 3,2,$(x))] [$(words $(x))] [$(firstword $(x))] [$(lastword $(x))] [$(firstword )]'
"""),
    Case("word zero fails", """\
all: ; @echo '$(word 0,a b)'
"""),
    Case("file name functions", """\
x = src/a.c b.txt /abs/dir/ noext dir.d/file .hidden
all: ; @echo '[$(dir $(x))] [$(notdir $(x))] [$(suffix $(x))] [$(basename $(x))]'
"""),
    Case("addsuffix addprefix join", """\
all: ; @echo '[$(addsuffix .o,a b)] [$(addprefix p/,a b)] [$(join a b c,1 2)] [$(join x,1 2 3)]'
"""),
    Case("wildcard sorted", """\
all: ; @echo '[$(wildcard *.c)] [$(wildcard sub/*.h nope*)] [$(wildcard b.c a.c)]'
""", files={"b.c": "", "a.c": "", "c.c": "", "sub/x.h": "", "sub/a.h": ""}),
    Case("realpath abspath", """\
all: ; @echo '[$(realpath sub/../a.c missing)] [$(abspath ./x/../y z/)] [$(CURDIR)]'
""", files={"a.c": "", "sub/": None}),
    Case("if or and", """\
e =
all: ; @echo '[$(if $(e),yes,no)] [$(if x,yes)] [$(if ,yes)] [$(or ,,b,c)] [$(or )] [$(and a,b,c)] [$(and a,,c)]'
"""),
    # $(info) shows what was expanded, and how often.
    Case("if expands only the taken branch", """\
all: ; @echo '[$(if x,ok,$(error not taken))] [$(and ,$(error not reached))] [$(if ,$(error then),b)] [$(if $(info cond)c,T,$(error else))]'
more: ; @echo '[$(or a,$(error or))] [$(or ,$(info or-ran)c,$(error or2))] [$(and a,$(info and-ran)b,z)] [$(foreach x,,$(error each))] [$(call nofunc,$(info call-arg))]'
""", args=["all", "more"]),
    Case("foreach", """\
dirs = a b
all: ; @echo '[$(foreach d,$(dirs),$(d)/x)] [$(foreach d,,never)] [$(d)]'
"""),
    Case("call", """\
pair = <$(1)|$(2)>
rev = $(2) $(1)
all: ; @echo '[$(call pair,a,b)] [$(call rev,x,y)] [$(call pair,only)] [$(call pair,a,b,c)] [$(0)]'
"""),
    Case("nested call and foreach with call", """\
inner = ($(1))
outer = [$(call inner,$(1)-$(2))]
all: ; @echo '$(call outer,a,b) $(call outer,$(call inner,z),w) $(foreach w,a b c,$(call inner,$(w)))'
"""),
    Case("call recursion", """\
reverse = $(if $(1),$(call reverse,$(wordlist 2,$(words $(1)),$(1))) $(firstword $(1)))
all: ; @echo '[$(strip $(call reverse,a b c d))]'
"""),
    Case("value origin flavor", """\
r = $(s)
s := simple
all: ; @echo '$(value r)' $(origin r) $(origin CC) $(origin nope) $(origin @) $(flavor r) $(flavor s) $(flavor nope)
"""),
    Case("eval defines rules", """\
define rule
$(1).txt: ; @echo making $$@
endef
$(foreach n,a b,$(eval $(call rule,$(n))))
all: a.txt b.txt
"""),
    Case("eval defines variables", """\
$(eval x := made)
$(eval y = $$(x) later)
S = $(eval S=new)old
all: ; @echo '[$(x)] [$(y)] [$(S)|$(S)]'
"""),
    Case("shell function", """\
x := $(shell printf 'a\\nb\\n')
y := $(shell exit 3)
all: ; @echo '[$(x)] [$(y)] $(.SHELLSTATUS)'
""", sh=True),
    Case("shell in recipe context", """\
all: ; @echo '$(shell echo inner)'
"""),
    Case("error stops reading", """\
$(info before)
$(error stop here)
$(info after)
all: ; @echo never
"""),
    Case("error in recipe expansion", """\
all: a b
a: ; @echo a
b: ; @echo '$(error in b)'
"""),
    # A recipe is expanded only when its goal is made: the goals not made
    # neither stop the run nor run their $(shell).
    Case("recipes of goals not made are not expanded", """\
all: ; @echo all
clean: ; $(shell rm -f keep.txt) echo cleaned
check: ; $(error not configured)
""", files={"keep.txt": "kept\n"}),
    Case("shell and eval in a recipe run when it is made", """\
all: a b
a: ; @echo '$(shell echo run > ran.txt)$(eval X = set by a)a'
b: ; @echo 'b [$(X)]'
"""),
    Case("warning and info", """\
$(warning a warning)
$(info an info line)
x := $(info inside)
all: ; @echo '[$(x)]'
"""),
    Case("empty arguments", """\
all: ; @echo '[$(subst a,,banana)] [$(subst ,x,abc)] [$(filter ,a b)] [$(patsubst %,,a b)] [$(addsuffix ,a b)]'
"""),
    Case("commas and parens in arguments", """\
comma := ,
space := $(empty) $(empty)
x = a b c
all: ; @echo '[$(subst $(space),$(comma),$(x))] [$(subst x,y,f(x),g(x))] [$(if x,(a,b))]'
"""),
    Case("functions written to file", """\
objs := $(patsubst %.c,%.o,a.c b.c)
obj = $(1).o
list := $(foreach n,x y,$(call obj,$(n)))
all:
\techo $(words $(objs)) $(lastword $(objs)) > out.txt
\techo $(sort z y $(objs)) > sorted.txt
\techo $(list) $(subst .o,.c,$(list)) > list.txt
""", win_ok=True),
    Case("unknown function is a variable", """\
all: ; @echo '[$(nosuchfunc a,b)]'
"""),
]

# Behaviour the dialect does not have yet; remove an entry once it passes.
PENDING = {
}
