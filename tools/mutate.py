#!/usr/bin/env python3
"""Mutation check: do the tests notice small faults in the engine?

    python3 tools/mutate.py BUILD_DIR [--e2e] [-k SUBSTRING]

Applies each fault below on its own (one source line changed), rebuilds vorn
and vorn_unit in BUILD_DIR, runs the unit tests and, with --e2e, the e2e
suite, then puts the file back. Prints one row per fault: the unit tests that
failed and whether e2e failed. A fault whose text is no longer in its file
stops the run: the list must follow the code. The sources are restored and
rebuilt at the end, also after an error or Ctrl-C.
"""

import argparse
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name, file, exact old text, new text)
FAULTS = [
    ("walk rebuilds on equal times", "src/build/walk.cpp",
     "compareTimes && s >= kGoalTimeMin && goalTime < s)",
     "compareTimes && s >= kGoalTimeMin && goalTime <= s)"),
    ("heavy jobs not pushed first", "src/build/build_par.cpp",
     "(r->heavy ? v.todoHeavy : v.todoUsual).addVal(r)",
     "(r->heavy ? v.todoUsual : v.todoHeavy).addVal(r)"),
    ("missing goal taken as up to date", "src/build/walk.cpp",
     "if (t >= kGoalTimeMin && !outOfDate && !r.phony && !force) {",
     "if (t >= 0 && !outOfDate && !r.phony && !force) {"),
    ("exist-only deps made after the others", "src/build/build_seq.cpp",
     "bool usualFirst = conf().gnuMake;",
     "bool usualFirst = !conf().gnuMake;"),
    ("missing dep never visited", "src/build/walk.cpp",
     "if (s <= 0) {\n            if (dbgDeps)",
     "if (s < 0) {\n            if (dbgDeps)"),
    ("CR LF at text end split in two", "src/base/tokens.cpp",
     "if (i < textLen && text[i] == '\\n') ++i;",
     "if (i + 1 < textLen && text[i] == '\\n') ++i;"),
    ("expansion drops an escape", "src/rules/expand.cpp",
     "            i += 2;\n        } else {\n            long long len = lenVarAt(",
     "            i += 1;\n        } else {\n            long long len = lenVarAt("),
    ("escaped # starts a comment", "src/rules/lineparse.cpp",
     "i += text[i + 1] ? 2 : 1;",
     "i += 1;"),
    ("path join keeps the second separator", "src/base/path.cpp",
     "long long bFrom = nb > 0 && isSep(sb[0]) ? 1 : 0;",
     "long long bFrom = 0;"),
    ("trim leaves one leading blank", "src/base/textedit.cpp",
     "    if (e < text.len) text.forceLen(e);\n    if (s > 0) text.delSpan(0, s);",
     "    if (e < text.len) text.forceLen(e);\n    if (s > 1) text.delSpan(0, s);"),
]


def run(cmd, timeout):
    try:
        p = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, errors="replace", timeout=timeout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout if isinstance(e.stdout, str) else (e.stdout or b"").decode(errors="replace")
        return -1, out + "\n(timed out)\n"


def build(build_dir):
    return run(["ninja", "-C", build_dir, "-j2", "vorn", "vorn_unit"], 1800)


def failed_unit_tests(build_dir):
    rc, out = run([os.path.join(build_dir, "vorn_unit")], 600)
    names = sorted(set(re.findall(r"^\[  FAILED  \] (\S+?)(?:,| \(|$)", out, re.M)))
    if rc != 0 and not names:
        names = ["(vorn_unit exit %d)" % rc]
    return names


def e2e_fails(build_dir):
    rc, out = run([sys.executable, "tests/e2e/run.py", os.path.join(build_dir, "vorn"), "-j", "2"],
                  3600)
    m = re.search(r"(\d+) passed, (\d+) failed", out)
    if m:
        return int(m.group(2))
    return -1 if rc != 0 else 0


def main():
    ap = argparse.ArgumentParser(description="vorn mutation check")
    ap.add_argument("build_dir")
    ap.add_argument("--e2e", action="store_true", help="also run the e2e suite per fault")
    ap.add_argument("-k", dest="filter", default="", help="only faults whose name has this")
    args = ap.parse_args()
    build_dir = os.path.abspath(args.build_dir)

    faults = [f for f in FAULTS if args.filter in f[0]]
    # Every text is checked before anything changes.
    for name, path, old, _ in faults:
        with open(os.path.join(ROOT, path), encoding="utf-8") as fh:
            n = fh.read().count(old)
        if n != 1:
            sys.exit("fault '%s': the text is found %d times in %s" % (name, n, path))

    rows = []
    try:
        for name, path, old, new in faults:
            full = os.path.join(ROOT, path)
            with open(full, encoding="utf-8") as fh:
                original = fh.read()
            try:
                with open(full, "w", encoding="utf-8") as fh:
                    fh.write(original.replace(old, new, 1))
                print("== %s (%s)" % (name, path), flush=True)
                rc, out = build(build_dir)
                if rc != 0:
                    rows.append((name, ["(does not build)"], None))
                    print(out[-2000:])
                    continue
                unit = failed_unit_tests(build_dir)
                e2e = e2e_fails(build_dir) if args.e2e else None
                rows.append((name, unit, e2e))
                print("   unit: %s%s" % (", ".join(unit) or "-",
                                      "" if e2e is None else " | e2e failures: %d" % e2e),
                      flush=True)
            finally:
                with open(full, "w", encoding="utf-8") as fh:
                    fh.write(original)
    finally:
        rc, out = build(build_dir)
        if rc != 0:
            print(out[-2000:])
            print("rebuild after restoring failed", file=sys.stderr)

    print()
    print("%-38s | %-5s | %s" % ("fault", "e2e", "unit tests failing"))
    print("-" * 100)
    missed = 0
    for name, unit, e2e in rows:
        e2e_text = "-" if e2e is None else ("yes" if e2e != 0 else "NO")
        print("%-38s | %-5s | %s" % (name, e2e_text, ", ".join(unit) or "NONE"))
        missed += not unit
    print("%d of %d faults caught by unit tests" % (len(rows) - missed, len(rows)))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
