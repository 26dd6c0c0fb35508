A = x
B = $(A)$(A)
C = $(B)$(B)
D = $(C)$(C)
E = $(D)$(D)
F = $(E)$(E)
G := $(F)$(F)
all: ; @echo $(words $(G))
