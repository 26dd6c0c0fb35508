# Logical lines: comments, continuations, recipe prefixes, rule-line recipes.
from run import Case

CASES = [
    # A comment ends a variable value and a rule line, wherever it starts.
    Case("comment after value and rule", """\
x = one # don't keep this
y = 1 \\
    2 # but the blank before it
all: dep # neither this
\t@echo '[$(x)] $^ [$(y)]'
dep: ; @echo dep
"""),
    # After ';' the recipe is the shell's text as written: '#' and "\#" included.
    Case("hash in a semicolon recipe", "all: b c\nall: ; @echo semi \\# x\n"
         "b: ; @echo \"q # r\" # c\nc: ; @echo s \\\\# t $(V)\nV = v#w\n"),
    # Inside a recipe a '#' line is a recipe line and goes to the shell.
    Case("hash line inside recipe", """\
all:
\t@echo before
\t# the shell sees this
\t@echo after
"""),
    Case("comment line between rules", """\
# leading comment
all: a
# a comment with a \\# and a quote ' in it
a:
\t@echo a > a.txt
""", win_ok=True),
    # An escaped '#' is kept in a value.
    Case("escaped hash in value", """\
x = a\\#b
y = $(subst #,a,b#c)
z = $$(a # b)
all:
\t@echo '$(x) $(y) $(z)'
"""),
    # A comment continued with backslash-newline swallows the next line.
    Case("continued comment", """\
# comment \\
x = hidden
all:
\t@echo '[$(x)]'
"""),
    # Outside recipes backslash-newline becomes one blank, leading blanks go.
    Case("continuation in value and rule line", """\
x = one \\
      two\\
three
all: a \\
  b
\t@echo '[$(x)]' $^
a b: ; @echo $@
"""),
    # In a recipe it is kept for the shell; the tab after it is removed.
    Case("continuation in recipe", """\
all:
\t@echo one \\
\ttwo
\techo 'three\\
\tfour'
"""),
    Case("continuation in recipe seen by shell", """\
all:
\t@printf '%s|' a\\
b c; echo
""", sh=True),
    Case("recipeprefix reset to tab", """\
.RECIPEPREFIX = >
a:
>@echo with prefix
>echo line two
.RECIPEPREFIX =
b:
\t@echo b
""", args=["a", "b"]),
    Case("semicolon recipe", """\
all: a b ; @echo all $^
a: ; @echo a
b:;echo b
"""),
    Case("semicolon recipe with more lines", """\
all: ; @echo first
\t@echo second
"""),
    # Blank lines and comment-only lines do not end a recipe.
    Case("blank lines inside recipe and before the next rule", """\
all: b
\t@echo one

\t@echo two
   
\t@echo three

b:
\t@echo b
"""),
    Case("missing separator fails", """\
all:
\t@echo never
this is not a rule
"""),
    Case("recipe before first target fails", """\
\techo orphan
all: ; @echo x
"""),
    Case("windows line ends", "x = v\r\nall:\r\n\t@echo [$(x)]\r\n"),
    Case("no final newline", "all:\n\t@echo last > out.txt", win_ok=True),
    Case("tab indented variable line outside rule", """\
\tx = tabbed
all: ; @echo '[$(x)]'
"""),
]

# Behaviour the dialect does not have yet; remove an entry once it passes.
PENDING = {
}
