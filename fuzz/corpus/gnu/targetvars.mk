CFLAGS = -O2
all: prog
prog: CFLAGS += -g
prog: override LDFLAGS := -s
prog: lib.o
	@echo $(CFLAGS) $(LDFLAGS)
lib.o: export V = 1
lib.o:
	@echo $(CFLAGS) $V
%.o: X ?= pat
