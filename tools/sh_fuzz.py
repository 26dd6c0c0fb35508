#!/usr/bin/env python3
"""Random differential check of the in-process sh runner against GNU make.

    python3 tools/sh_fuzz.py PATH/TO/vorn [-n 200] [--seed 1]
    python3 tools/sh_fuzz.py PATH/TO/vorn.exe --wrapper wine   # files and exit codes

Makes N recipe lines by joining one to five commands from a pool (file
commands, tests, redirections, globs, cd, exit) with "&&", "||" and ";", and
runs each, with the differential suite's harness, by GNU make (/bin/sh) and
by `vorn --gm`, which must run it in-process: files, stdout and exit codes
must be the same. Error messages count where a line redirects them.
"""

import argparse
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "gm"))
import run as R  # noqa: E402

POOL = [
    "touch a", "touch d/x", "touch 'sp ace'", "touch d/e/x", "touch f && cp f d/e",
    "rm a", "rm -f a", "rm -r d", "rm -rf d", "rm d", "rm -f *", "rm -rf d/*", "rm -f d/*/x",
    "rm -r d/e", "rm -rf ./d", "mkdir d", "mkdir -p d/e", "mkdir d/e/f", "mkdir -p d/e && rmdir d/e",
    "rmdir d", "rmdir d/e", "test -f a", "test -d d", "test -s f", "test a = b", "[ -e d/x ]",
    "[ ! -s f ]", "[ -x f ]", "[ 1 -lt 2 ]", "[ -z \"\" ]", "false", "true", ":", "exit 3", "exit 0",
    "echo x > f", "echo y >> f", "echo z >&2", "echo *", "echo d/*", "echo d/*/x", "echo a\\ b",
    "echo 'a  b' \"c  d\"", "printf '%s-%d\\n' q 1 r", "cat f", "cat f a", "cat < f", "cat f f > f",
    "cat missing 2> err", "cat missing 2>&1", "cat f > f2 2>&1", "cp f g", "cp -r d d2", "cp a d",
    "cp d e", "cp -r d f", "cp -p f d/", "cp d/e/x .", "mv f h", "mv h d", "mv nothere x", "mv d d2",
    "mv f d/e", "mv f d/", "cd d", "cd ..", "cd nope", "cd d/e", "cd d && touch x", "ln -sf a l",
    "ls -1 > lst",
]
OPS = [" && ", " || ", "; "]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("-n", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--wrapper", default="", help="e.g. wine, for vorn.exe")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    win = a.exe.lower().endswith(".exe")
    # Links, execute bits and ls are POSIX's.
    pool = [c for c in POOL if not (win and c in ("ln -sf a l", "[ -x f ]", "ls -1 > lst"))]
    wrapper = a.wrapper.split()
    sides = [R.Side("make", ["make"], [], True),
             R.Side("vorn", wrapper + [os.path.abspath(a.exe), "--gm"], wrapper, False)]
    bad = 0
    for i in range(a.n):
        line = rnd.choice(pool)
        for _ in range(rnd.randint(0, 4)):
            line += rnd.choice(OPS) + rnd.choice(pool)
        case = R.Case("%d: %s" % (i, line), "all:\n\t@%s\n\t@echo end\n" % line,
                      files={"f": "F\n", "d/": None}, inproc=True, rc=True)
        case["pending"] = None
        env = R.clean_env(case, ["/usr/bin", "/bin"])
        problems, _ = R.run_case(case, sides, env, win, False)
        if problems:
            bad += 1
            print("FAIL " + case["name"])
            for p in problems[:4]:
                print("    " + p.replace("\n", "\n    "))
    print("%d passed, %d failed" % (a.n - bad, bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
