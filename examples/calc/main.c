#include "calc.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* calc 2 '*' '(3 + 4)': the arguments are joined with blanks into one
   expression, so the shell may split it anywhere. */
int main(int argc, char **argv)
{
    size_t len = 1;
    char *text;
    double result;
    const char *err;
    int errpos, i;

    if (argc < 2) {
        fprintf(stderr, "usage: %s EXPRESSION...\n", argv[0]);
        return 2;
    }
    for (i = 1; i < argc; i++)
        len += strlen(argv[i]) + 1;
    text = malloc(len);
    if (!text) {
        fprintf(stderr, "calc: out of memory\n");
        return 2;
    }
    text[0] = '\0';
    for (i = 1; i < argc; i++) {
        if (i > 1)
            strcat(text, " ");
        strcat(text, argv[i]);
    }
    if (!calc_eval(text, &result, &err, &errpos)) {
        fprintf(stderr, "calc: %s\n      %*s^ %s\n", text, errpos, "", err);
        free(text);
        return 1;
    }
    printf("%.15g\n", result);
    free(text);
    return 0;
}
