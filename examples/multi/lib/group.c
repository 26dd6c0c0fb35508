#include "xlib.h"

char *xgroup(long n, char *buf)
{
    char digits[24];
    unsigned long m = n < 0 ? 0UL - (unsigned long)n : (unsigned long)n;
    int len = 0, i, out = 0;

    do {
        digits[len++] = (char)('0' + m % 10);
        m /= 10;
    } while (m);
    if (n < 0)
        buf[out++] = '-';
    for (i = len - 1; i >= 0; i--) {
        buf[out++] = digits[i];
        if (i > 0 && i % 3 == 0)
            buf[out++] = ',';
    }
    buf[out] = '\0';
    return buf;
}
