# Conditionals: ifeq/ifneq in each quoting form, ifdef/ifndef, else chains.
from run import Case


def show(cond_line, args=()):
    """A conditional that picks one of two values."""
    return """\
a = same
b = same
e =
%s
r = yes
else
r = no
endif
all: ; @echo '[$(r)]'
""" % cond_line


CASES = [
    Case("ifeq parens", show("ifeq ($(a),$(b))")),
    Case("ifeq parens blank after comma", show("ifeq ($(a), $(b))")),
    Case("ifeq parens blanks inside", show("ifeq ( $(a) , $(b) )")),
    Case("ifeq parens trailing blank", show("ifeq ($(a) ,$(b))")),
    Case("ifeq double quotes", show('ifeq "$(a)" "$(b)"')),
    Case("ifeq single quotes", show("ifeq '$(a)' '$(e)'")),
    Case("ifeq mixed quotes", show("ifeq \"$(a)\" 'same'")),
    Case("ifeq empty against empty", show("ifeq ($(e),)")),
    Case("ifneq", show("ifneq ($(a),other)")),
    Case("ifneq quotes equal", show('ifneq "$(a)" "$(b)"')),
    Case("ifeq with function", show("ifeq ($(strip  $(a) ),$(b))")),
    Case("ifdef set", show("ifdef a")),
    Case("ifdef empty", show("ifdef e")),
    Case("ifdef undefined", show("ifdef nope")),
    Case("ifdef empty reference counts as defined", """\
x = $(EMPTY)
ifdef x
r = defined
else
r = undefined
endif
all: ; @echo '[$(r)]'
"""),
    Case("ifdef name from variable", """\
n = target
target = 1
ifdef $(n)
r = yes
endif
all: ; @echo '[$(r)]'
"""),
    Case("ifndef", """\
ifndef missing
r = one
endif
ifndef r
r = two
endif
all: ; @echo '[$(r)]'
"""),
    Case("else ifeq and ifneq chains", """\
v = b
ifeq ($(v),a)
r = A
else ifeq ($(v),b)
r = B
else ifdef v
r = D
else
r = none
endif
ifneq (x,x)
q = 1
else ifndef undefinedvar
q = 2
endif
all: ; @echo '[$(r)] [$(q)]'
"""),
    Case("nested conditionals", """\
a = 1
ifeq ($(a),1)
  ifdef b
    r = inner-b
  else
    ifeq (x,x)
      r = inner-x
    endif
  endif
else
  r = outer
endif
all: ; @echo '[$(r)]'
"""),
    Case("false branch not read", """\
ifeq (a,b)
$(error not here)
this is not a rule
endif
all: ; @echo ok
"""),
    Case("conditional around rules", """\
ifeq ($(MODE),fast)
all: ; @echo fast
else
all: ; @echo slow
endif
""", args=["MODE=fast"]),
    Case("conditional inside recipe", """\
all:
\t@echo start
ifdef X
\t@echo with X
else
\t@echo without X
endif
\t@echo end
""", args=["X=1"]),
    Case("conditional with comment", """\
ifeq (a,a) # a comment
r = yes
else # another
r = no
endif # last
all: ; @echo '[$(r)]'
"""),
    Case("missing endif fails", """\
ifeq (a,a)
r = yes
all: ; @echo '[$(r)]'
"""),
    Case("extra endif fails", """\
endif
all: ; @echo x
"""),
    Case("conditional result to file", """\
ifeq ($(OS_KIND),)
kind = none
else
kind = $(OS_KIND)
endif
all:
\techo $(kind) > kind.txt
""", args=["OS_KIND=lin"], win_ok=True),
]

# Behaviour the dialect does not have yet; remove an entry once it passes.
PENDING = {
}
