#include "numbers.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

int parse_numbers(int argc, char **argv, long *out)
{
    int i;

    if (argc - 1 > MAX_NUMBERS) {
        fprintf(stderr, "app: at most %d numbers\n", MAX_NUMBERS);
        return -1;
    }
    for (i = 1; i < argc; i++) {
        char *end;

        errno = 0;
        out[i - 1] = strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || errno == ERANGE) {
            fprintf(stderr, "app: not an integer: '%s'\n", argv[i]);
            return -1;
        }
    }
    return argc - 1;
}
