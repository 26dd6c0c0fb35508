CC = gcc
CFLAGS := -O2 -Wall
CFLAGS += -g
OBJS = main.o util.o
PROG ?= app

all: $(PROG)

$(PROG): $(OBJS)
	$(CC) $(CFLAGS) -o $@ $^

main.o: main.c util.h
	$(CC) $(CFLAGS) -c $< -o $@

util.o: util.c | util.h
	@echo compiling $*
	-$(CC) -c $<

.PHONY: all clean
clean:
	rm -f $(OBJS) $(PROG)
