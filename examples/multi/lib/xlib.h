#ifndef XLIB_H
#define XLIB_H

/* Greatest common divisor and least common multiple; both ignore signs,
   xgcd(0, 0) and xlcm(0, n) are 0. */
long xgcd(long a, long b);
long xlcm(long a, long b);

/* Writes n with a comma between groups of three digits ("-1,234,567") into
   buf, which must hold 28 bytes; returns buf. */
char *xgroup(long n, char *buf);

#endif
