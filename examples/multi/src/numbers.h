#ifndef NUMBERS_H
#define NUMBERS_H

#define MAX_NUMBERS 64

struct summary {
    int count;
    long sum, min, max, gcd, lcm;
};

/* Reads argv[1..argc-1] as integers into out; returns how many, or -1 after
   a message on stderr. */
int parse_numbers(int argc, char **argv, long *out);

void summarise(const long *v, int n, struct summary *s);

#endif
