#include "numbers.h"
#include "xlib.h"

void summarise(const long *v, int n, struct summary *s)
{
    int i;

    s->count = n;
    s->sum = 0;
    s->min = s->max = v[0];
    s->gcd = s->lcm = v[0] < 0 ? -v[0] : v[0];
    for (i = 0; i < n; i++) {
        s->sum += v[i];
        if (v[i] < s->min)
            s->min = v[i];
        if (v[i] > s->max)
            s->max = v[i];
        s->gcd = xgcd(s->gcd, v[i]);
        s->lcm = xlcm(s->lcm, v[i]);
    }
}
