#!/usr/bin/env python3
"""Writes a large rules file of small rules, to measure what reading rules costs.

Every rule is a goal with one or two dependencies and a one-line recipe:

    g1a: g1b g2k
    	touch g1a

Goal names are "g" and the index in base 36; a goal depends on goals with a
higher index (acyclic), the last ones on plain files. Two recipes in three
run the built-in touch, the third an outside command, so both kinds of goal
are recorded. A phony goal "idle" with neither dependencies nor recipe comes
first: `vorn -f FILE idle` reads and prepares the whole graph and runs nothing.

    python3 bench/gen_rules.py OUT [--mb 100] [--rules N] [--seed 1]

Stops at --rules rules or at --mb megabytes (10**6 bytes), whichever comes
first; prints the number of rules and bytes written.
"""

import argparse
import random
import sys

DIGITS = "0123456789abcdefghijklmnopqrstuvwxyz"


def b36(i):
    s = ""
    while True:
        i, r = divmod(i, 36)
        s = DIGITS[r] + s
        if i == 0:
            return s


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("out")
    ap.add_argument("--mb", type=float, default=100.0)
    ap.add_argument("--rules", type=int, default=5_000_000)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    limit = int(a.mb * 1e6)
    rng = random.Random(a.seed)
    head = ".PHONY: idle\nidle:\n\n"
    size, n, chunk = len(head), 0, [head]
    with open(a.out, "w", newline="\n") as f:
        while n < a.rules and size < limit:
            name = "g" + b36(n)
            # Near the end the dependencies are files that no rule names.
            if n + 50 < a.rules:
                deps = ["g" + b36(n + 1 + rng.randrange(40))]
                if rng.random() < 0.5:
                    deps.append("g" + b36(n + 1 + rng.randrange(40)))
            else:
                deps = ["s%d.c" % (n % 7)]
            recipe = "cc -c %s.c" % name if n % 3 == 2 else "touch " + name
            rule = "%s: %s\n\t%s\n" % (name, " ".join(deps), recipe)
            chunk.append(rule)
            size += len(rule)
            n += 1
            if len(chunk) >= 10000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))
    print("%d rules, %d bytes" % (n, size))


if __name__ == "__main__":
    sys.exit(main())
