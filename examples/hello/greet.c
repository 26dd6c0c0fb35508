#include "greet.h"

#include <stdio.h>

void greet(char const* who) {
    printf("Hello, %s!\n", who);
}
