LONG = one \
  two \
  three
ESC = a\#b # comment
X = $(LONG:o=0) $(ESC)
EMPTY :=
SPACE := $(EMPTY) $(EMPTY)
COMMA := ,
J = $(subst $(SPACE),$(COMMA),$(LONG))
all: ; @echo $J ${X} $$x
