#!/usr/bin/env python3
"""A Unix-style recipe set run in-process against the same through the interpreter.

    python3 bench/sh_recipes.py PATH/TO/vorn[.exe] [--wrapper wine] [-n 200]

Writes a Makefile of N goals, each with one recipe line of the kinds real
Makefiles use (mkdir -p, cp -r, rm -rf, globs, test ... &&, ||, cd ...;,
echo and printf into files, cat, mv), runs `vorn --gm -k` on it twice in
fresh copies: as is (lines in-process) and with --sys (every line through
the platform's interpreter: cmd.exe on Windows), and natively GNU make on
it too. Prints wall time and the number of failing lines for each.
"""

import argparse
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import time

KINDS = [
    "mkdir -p out/{i}/sub && touch out/{i}/sub/x.o",
    "mkdir -p out/{i}; rm -f out/{i}/*.o; touch out/{i}/a.o out/{i}/b.o",
    "[ -d out/{i} ] || mkdir -p out/{i}",
    "test -f src/a.c && cp src/a.c out/{i}.c",
    "cp -r src out/{i}-copy && rm -rf out/{i}-copy",
    "echo \"CC src/a.c\" > out/{i}.log",
    "printf '%s\\n' a.c b.c > out/{i}.list",
    "cat src/a.c src/b.c > out/{i}.all",
    "cd out && touch {i}.stamp; mv out/{i}.stamp out/{i}.done 2>/dev/null || true",
    "rm -rf out/{i}.tmp && mkdir -p out/{i}.tmp && echo ok >> out/{i}.tmp/log",
]


def makefile(n):
    goals = ["g%d" % i for i in range(n)]
    text = [".PHONY: all " + " ".join(goals), "all: " + " ".join(goals)]
    for i, g in enumerate(goals):
        text.append("%s:\n\t@%s" % (g, KINDS[i % len(KINDS)].format(i=i)))
    return "\n".join(text) + "\n"


def run(cmd, cwd):
    start = time.perf_counter()
    p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    took = time.perf_counter() - start
    failed = len(re.findall(rb"Command failed with code", p.stderr))
    return took, failed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("--wrapper", default="")
    ap.add_argument("-n", type=int, default=200)
    a = ap.parse_args()
    base = tempfile.mkdtemp(prefix="vorn-shrec-")
    try:
        results = {}
        runs = [("in-process", []), ("--sys", ["--sys"])]
        # GNU make on the same Makefile, where it runs natively.
        if not a.wrapper and shutil.which("make"):
            runs.append(("make", None))
        for label, extra in runs:
            d = os.path.join(base, label.strip("-"))
            os.makedirs(os.path.join(d, "src"))
            os.makedirs(os.path.join(d, "out"))
            for f in ("a.c", "b.c"):
                with open(os.path.join(d, "src", f), "w") as fh:
                    fh.write("int %s;\n" % f[0])
            with open(os.path.join(d, "Makefile"), "w") as fh:
                fh.write(makefile(a.n))
            cmd = shlex.split(a.wrapper) + [os.path.abspath(a.exe), "--gm", "-k"] + (extra or [])
            if extra is None:
                cmd = ["make", "-k"]
            results[label] = run(cmd, d)
        for label, (took, failed) in results.items():
            print("%-11s %7.2f s  %3d of %d lines failed" % (label, took, failed, a.n))
        t_in, t_sys = results["in-process"][0], results["--sys"][0]
        print("interpreter / in-process time: %.1f" % (t_sys / t_in if t_in else 0))
        if "make" in results:
            print("make / in-process time: %.1f" % (results["make"][0] / t_in if t_in else 0))
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
