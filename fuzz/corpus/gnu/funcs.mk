SRC = a.c b.c sub/c.c
OBJ = $(SRC:.c=.o)
OBJ2 = $(patsubst %.c,%.o,$(SRC))
D = $(dir $(SRC)) $(notdir $(SRC)) $(basename $(SRC)) $(suffix $(SRC))
W = $(words $(SRC)) $(word 2,$(SRC)) $(wordlist 2,3,$(SRC)) $(firstword $(SRC)) $(lastword $(SRC))
F = $(filter %.c,$(SRC) x.h) $(filter-out a.c,$(SRC)) $(sort c b a b)
S = $(subst .c,.cpp,$(SRC)) $(strip  a   b  ) $(findstring b,abc)
P = $(addprefix obj/,$(OBJ)) $(addsuffix .d,$(OBJ)) $(join a b,1 2 3)
all:
	@echo $(OBJ) $(OBJ2) $D $W $F $S $P
