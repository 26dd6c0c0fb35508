#include "report.h"
#include "xlib.h"

#include <stdio.h>

void report(const char *name, long value, int last)
{
    char buf[28];

    printf("%s=%s%c", name, xgroup(value, buf), last ? '\n' : ' ');
}
