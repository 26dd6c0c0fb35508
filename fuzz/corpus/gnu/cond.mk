X = yes
ifeq ($(X),yes)
A = 1
else ifeq ($(X),no)
A = 2
else
A = 3
endif
ifneq "$(A)" "1"
$(error bad)
endif
ifdef X
B = d
endif
ifndef NOPE
C = n
endif
ifeq (,$(filter y,$(X)))
ifeq 'a' "a"
D = q
endif
endif
all: ; @echo $(A)$(B)$(C)$(D)
