#include "xlib.h"

static unsigned long magnitude(long n)
{
    /* Through unsigned, so LONG_MIN does not overflow. */
    return n < 0 ? 0UL - (unsigned long)n : (unsigned long)n;
}

long xgcd(long a, long b)
{
    unsigned long x = magnitude(a), y = magnitude(b);

    while (y) {
        unsigned long r = x % y;
        x = y;
        y = r;
    }
    return (long)x;
}

long xlcm(long a, long b)
{
    long g = xgcd(a, b);

    if (g == 0)
        return 0;
    return (long)(magnitude(a) / (unsigned long)g * magnitude(b));
}
