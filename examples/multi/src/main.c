#include "numbers.h"
#include "report.h"

#include <stdio.h>

int main(int argc, char **argv)
{
    long v[MAX_NUMBERS];
    struct summary s;
    int n;

    if (argc < 2) {
        fprintf(stderr, "usage: %s INTEGER...\n", argv[0]);
        return 2;
    }
    n = parse_numbers(argc, argv, v);
    if (n < 0)
        return 2;
    summarise(v, n, &s);
    report("n", s.count, 0);
    report("sum", s.sum, 0);
    report("min", s.min, 0);
    report("max", s.max, 0);
    report("gcd", s.gcd, 0);
    report("lcm", s.lcm, 1);
    return 0;
}
