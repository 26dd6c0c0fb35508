#!/usr/bin/env python3
"""Differential suite for the GNU make dialect: vorn --gm against GNU make.

    python3 tests/gm/run.py PATH/TO/vorn [-k SUBSTRING] [-j N] [--keep] [-v]
    python3 tests/gm/run.py PATH/TO/vorn --make-only     # both sides GNU make

Every case of tests/gm/cases/*.py (a list CASES made with Case below) is
written into two fresh directories; GNU make runs in one, `vorn --gm` in the
other, with the same arguments and a cleaned environment. The suite compares
the exit status (zero or not), the files each run created, changed (content
or time) or removed, and standard output line by line. Standard error is
shown for failures but not compared, except for two checks a case asks for:
rc=True compares the exit codes of the failing recipe commands, as each tool
reports them, and inproc=True runs vorn with `-D X` and fails if its log
shows a recipe line given to the interpreter (vorn must run it itself).

For vorn.exe (a name ending in ".exe") the reference is still the Linux
`make`, vorn.exe runs through the wrapper named by VORN_GM_WRAPPER (else
VORN_E2E_WRAPPER, e.g. "wine"), only cases marked win_ok run, and only exit
status and files are compared (and rc/inproc): cmd.exe's echo prints
differently.

A case module may define PENDING = {"case name": "why"} for behaviour the
dialect does not have yet: such a case reports PEND while it fails and FIXED
(a failure, so that the list is kept up to date) once it passes.
The last lines are "K pending" and "N passed, M failed".
"""

import argparse
import difflib
import os
import re
import shlex
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)
if os.path.dirname(HERE) not in sys.path:
    sys.path.insert(0, os.path.dirname(HERE))

from testlib import decode, is_wine  # noqa: E402
import testlib  # noqa: E402

# Seconds before "now" given to every file of a case before the run, so that
# anything a run touches gets a visibly newer time.
AGE = 1000


def Case(name, mk, args=(), files=None, sh=False, win_ok=False, runs=1, between=None,
         times=None, env=None, rc=False, inproc=False):
    """One differential case.

    mk        text of ./Makefile (None: no Makefile; give one in files)
    args      goals and VAR=value assignments, the same for both tools
    files     path -> str/bytes written before the run; "dir/" makes a directory
    sh        the recipes need a POSIX shell (skipped on Windows)
    win_ok    recipes use only `echo word > file`-like commands that mean the
              same in cmd.exe: the case also runs on Windows (files and exit
              status compared)
    runs      2: run each tool twice in its directory and compare both runs
    between   path -> content (None removes) written before the second run;
              every older file is first made 100 s older
    times     path -> seconds added to the file's time (all files start AGE
              seconds in the past), e.g. {"out": 10} for a newer target
    env       extra environment variables for both tools
    rc        also compare the exit codes of failing recipe commands (ignored
              ones too), in order
    inproc    vorn must run every recipe line without the interpreter: it
              runs with -D X and no "Start interpreter:" line may appear
    """
    return dict(name=name, mk=mk, args=list(args), files=dict(files or {}), sh=sh,
                win_ok=win_ok, runs=runs, between=dict(between or {}), times=dict(times or {}),
                env=dict(env or {}), rc=rc, inproc=inproc)


# GNU make writes its own messages ("make: Nothing to be done for 'all'.",
# "make: 'x' is up to date.") to standard output, vorn writes its log to
# standard error: such lines are dropped from make's standard output before
# comparing. Both print "Entering/Leaving directory" lines, compared without
# the program's name.
MAKE_MESSAGE = re.compile(r"^make(\[\d+\])?: ")
DIR_LINE = re.compile(r"^(?:make|vorn)((?:\[\d+\])?: (?:Entering|Leaving) directory )")
# How each tool reports a failed recipe command on standard error, with its
# exit code; vorn's log lines carry a prefix.
# make also names the failures it ignored ("-" lines); vorn does not.
MAKE_FAILED = re.compile(r"^make(?:\[\d+\])?: \*\*\* \[.*\] Error (\d+)$")
VORN_FAILED = re.compile(r"Command failed with code (\d+): ")
VORN_SHELL_LINE = "Start interpreter:"


def set_times(base, case):
    """All files and directories AGE seconds old, then the case's offsets."""
    t = time.time() - AGE
    for root, dirs, files in os.walk(base):
        for n in dirs + files:
            os.utime(os.path.join(root, n), (t, t))
    for rel, off in case["times"].items():
        os.utime(os.path.join(base, rel), (t + off, t + off))
    os.utime(base, (t, t))


def age_tree(base, seconds):
    """Makes everything older by the same amount, keeping the order of times."""
    for root, dirs, files in os.walk(base):
        for n in dirs + files:
            full = os.path.join(root, n)
            st = os.lstat(full)
            os.utime(full, ns=(st.st_atime_ns - seconds * 10**9,
                               st.st_mtime_ns - seconds * 10**9), follow_symlinks=False)


def snapshot(base):
    """path -> (kind, content, mtime) for everything below base."""
    out = {}
    for root, dirs, files in os.walk(base):
        for d in dirs:
            full = os.path.join(root, d)
            # os.walk lists a link to a directory among the directories.
            if os.path.islink(full):
                out[os.path.relpath(full, base)] = ("link", os.readlink(full), None)
            else:
                out[os.path.relpath(full, base)] = ("dir", None, None)
        for f in files:
            full = os.path.join(root, f)
            rel = os.path.relpath(full, base)
            if os.path.islink(full):
                out[rel] = ("link", os.readlink(full), None)
                continue
            with open(full, "rb") as fh:
                out[rel] = ("file", fh.read(), os.stat(full).st_mtime_ns)
    return out


def norm_text(text, cwd, win):
    """A text as compared: LF line ends and the run's own directory as @CWD@;
    on Windows also no blanks before a line end (cmd.exe's echo keeps the
    blank before a redirection)."""
    text = text.replace("\r\n", "\n").replace(cwd, "@CWD@")
    return testlib.same_text(text) if win else text


def changes(before, after, cwd, win):
    """What a run did to the tree: path -> description."""
    out = {}
    for rel in sorted(set(before) | set(after)):
        b, a = before.get(rel), after.get(rel)
        if a is None:
            out[rel] = "removed"
        elif b is None or b[0] != a[0]:
            content = a[1]
            if a[0] == "file":
                content = norm_text(decode(content), cwd, win)
            out[rel] = "created %s %r" % (a[0], content)
        elif a[0] == "file" and a[1] != b[1]:
            out[rel] = "changed to %r" % norm_text(decode(a[1]), cwd, win)
        elif a[0] == "file" and a[2] != b[2]:
            out[rel] = "touched"
        elif a[0] == "link" and a[1] != b[1]:
            out[rel] = "link changed to %r" % a[1]
    return out


class Side:
    """One of the two tools: how to start it and how to read its output."""

    def __init__(self, label, cmd, wrapper, is_make):
        self.label, self.cmd, self.wrapper, self.is_make = label, cmd, wrapper, is_make

    def argv(self, case):
        debug = ["-D", "X"] if case["inproc"] and not self.is_make else []
        return self.cmd + debug + case["args"]

    def failed_codes(self, err):
        """Exit codes of the failed recipe commands, in the order reported."""
        pattern = MAKE_FAILED if self.is_make else VORN_FAILED
        return [int(m.group(1)) for m in map(pattern.search, err.splitlines()) if m]


def clean_env(case, path_dirs):
    """Only what the tools need: no MAKEFLAGS/MAKELEVEL/MFLAGS, no VORN*, a
    fixed PATH, the C locale (make's messages), and Wine's own settings."""
    keep = ("HOME", "USER", "LOGNAME", "TMPDIR")
    env = {k: v for k, v in os.environ.items()
           if k in keep or (k.startswith("WINE") and k != "WINEPATH")}
    env["PATH"] = os.pathsep.join(path_dirs)
    env["LC_ALL"] = "C"
    env.update(case["env"])
    return env


def execute(side, case, cwd, env):
    """Runs one tool once. Returns exit code (None on time-out), stdout, stderr."""
    timeout = 120 if side.wrapper else 30
    for attempt in (1, 2):
        code, out, err = testlib.run(side.argv(case), cwd, env, timeout)
        if code is None:
            err += "\n[timed out after %s s]" % timeout
        if attempt == 2 or not testlib.wine_start_failed(is_wine(side.wrapper), code, out, err):
            break
    return code, out, err


def stdout_lines(side, text, cwd):
    lines = norm_text(text, cwd, False).split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    lines = [DIR_LINE.sub(r"M\1", ln) for ln in lines]
    if side.is_make:
        lines = [ln for ln in lines if not MAKE_MESSAGE.match(ln)]
    return lines


def run_case(case, sides, env, win, keep):
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="vorn-gm-"))
    problems = []
    results = []
    try:
        dirs = []
        for i, side in enumerate(sides):
            cwd = os.path.join(tmp, "ab"[i], "proj")
            os.makedirs(cwd)
            files = dict(case["files"])
            if case["mk"] is not None:
                files["Makefile"] = case["mk"]
            testlib.write_files(cwd, files)
            set_times(cwd, case)
            dirs.append(cwd)
        for run in range(case["runs"]):
            results = []
            for side, cwd in zip(sides, dirs):
                if run > 0:
                    age_tree(cwd, 100)
                    testlib.write_files(cwd, case["between"])
                before = snapshot(cwd)
                code, out, err = execute(side, case, cwd, env)
                results.append((code, out, err, changes(before, snapshot(cwd), cwd, win)))
            tag = "run %d: " % (run + 1) if case["runs"] > 1 else ""
            (c1, o1, e1, f1), (c2, o2, e2, f2) = results
            a, b = sides
            if c1 is None or c2 is None or (c1 == 0) != (c2 == 0):
                problems.append("%sexit status: %s %s, %s %s" % (tag, a.label, c1, b.label, c2))
            if case["rc"]:
                k1, k2 = a.failed_codes(e1), b.failed_codes(e2)
                if k1 != k2:
                    problems.append("%sfailed command codes: %s %s, %s %s" % (
                        tag, a.label, k1, b.label, k2))
            for side, err in ((a, e1), (b, e2)):
                if case["inproc"] and not side.is_make:
                    shelled = [ln for ln in err.splitlines() if VORN_SHELL_LINE in ln]
                    if shelled:
                        problems.append("%s%s gave lines to the interpreter:\n%s" % (
                            tag, side.label, "\n".join(shelled)))
            if not win:
                l1, l2 = stdout_lines(a, o1, dirs[0]), stdout_lines(b, o2, dirs[1])
                if l1 != l2:
                    diff = difflib.unified_diff(l1, l2, a.label, b.label, lineterm="")
                    problems.append("%sstdout differs:\n%s" % (tag, "\n".join(diff)))
            for rel in sorted(set(f1) | set(f2)):
                if f1.get(rel) != f2.get(rel):
                    problems.append("%sfile %s: %s %s, %s %s" % (
                        tag, rel, a.label, f1.get(rel, "unchanged"),
                        b.label, f2.get(rel, "unchanged")))
            if problems:
                for side, (code, out, err, _), cwd in zip(sides, results, dirs):
                    problems.append("%s: (cd %s && %s) -> exit %s" % (
                        side.label, shlex.quote(cwd), shlex.join(side.argv(case)), code))
                    problems.append("  stdout:\n" + out.rstrip("\n"))
                    problems.append("  stderr:\n" + err.rstrip("\n"))
                break
    finally:
        if keep and problems:
            problems.append("kept: " + tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)
    return problems, results


def main():
    ap = argparse.ArgumentParser(description="vorn --gm against GNU make")
    ap.add_argument("exe", help="the vorn executable to test")
    ap.add_argument("-k", dest="filter", default="", help="run only cases whose name contains this")
    ap.add_argument("-j", dest="jobs", type=int, default=1, help="cases run at the same time")
    ap.add_argument("--keep", action="store_true", help="keep the directories of failed cases")
    ap.add_argument("--make-only", action="store_true",
                    help="run GNU make on both sides (checks the cases and the harness)")
    ap.add_argument("-v", dest="verbose", action="store_true",
                    help="show GNU make's output for every case, details for pending ones")
    a = ap.parse_args()

    make = shutil.which("make")
    if not make:
        print("SKIP gm suite: GNU make not found")
        print("0 pending")
        print("0 passed, 0 failed")
        return 0

    exe = os.path.abspath(a.exe)
    if not a.make_only and testlib.missing_exe(exe):
        return 1
    win = exe.lower().endswith(".exe")
    wrapper = shlex.split(os.environ.get("VORN_GM_WRAPPER",
                                         os.environ.get("VORN_E2E_WRAPPER", "")))
    if wrapper and shutil.which(wrapper[0]):
        wrapper[0] = shutil.which(wrapper[0])

    # Fixed PATH: vorn's directory, the wrapper's, the compiler's, the system's.
    path_dirs = [os.path.dirname(exe)]
    for tool in ([wrapper[0]] if wrapper else []) + ["cc", "make"]:
        found = shutil.which(tool)
        if found:
            path_dirs.append(os.path.dirname(found))
    for d in ("/usr/local/bin", "/usr/bin", "/bin"):
        if d not in path_dirs:
            path_dirs.append(d)

    make_side = Side("make", [make], [], True)
    if a.make_only:
        sides = [make_side, Side("make(2)", [make], [], True)]
    else:
        sides = [make_side, Side("vorn", wrapper + [exe, "--gm"], wrapper, False)]

    cases = [c for c in testlib.load_cases(os.path.join(HERE, "cases"), a.filter)
             if not win or (c["win_ok"] and not c["sh"])]
    passed = failed = pending = 0
    wine = any(is_wine(s.wrapper) for s in sides)
    for c, problems, results in testlib.run_cases(
            cases, a.jobs, lambda c: run_case(c, sides, clean_env(c, path_dirs), win, a.keep),
            wine):
        why = None if a.make_only else c["pending"]
        if why is not None and problems:
            pending += 1
            print("PEND %s (%s)" % (c["name"], why))
            if a.verbose:
                testlib.show(problems)
        elif why is not None:
            failed += 1
            print("FIXED %s: passes now, remove it from PENDING" % c["name"])
        elif testlib.report(c["name"], problems):
            passed += 1
        else:
            failed += 1
        if a.verbose and results:
            code, out, _, files = results[0]
            print("    make exit %s; stdout:" % code)
            for line in out.rstrip("\n").split("\n"):
                print("    | " + line)
            for rel, what in sorted(files.items()):
                print("    file %s %s" % (rel, what))
    print("%d pending" % pending)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
