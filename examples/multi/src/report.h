#ifndef REPORT_H
#define REPORT_H

/* Prints "name=value" with the value's digits grouped, blank-separated; the
   last one ends the line. */
void report(const char *name, long value, int last);

#endif
