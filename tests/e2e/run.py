#!/usr/bin/env python3
"""End-to-end test runner for vorn.

    python3 tests/e2e/run.py PATH/TO/vorn [-k SUBSTRING] [-j N] [--keep]

Runs every case of tests/e2e/cases/*.py (each module has a list CASES made
with e2elib.Case) against the real executable, each in a fresh temporary
working directory with a controlled environment, and checks the exit code,
standard output, standard error and files. The environment variable
VORN_E2E_WRAPPER names a command put in front of the executable (e.g. "wine").
Prints PASS/FAIL per case, details for failures, and "N passed, M failed".
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from testlib import decode, is_wine  # noqa: E402
import testlib  # noqa: E402


def program_path(path, wine):
    """A path as the program under test sees it."""
    path = path.replace(os.sep, "/")
    return "Z:" + path if wine else path


def run_interrupted(cmd, cwd, env, case, timeout):
    """Starts the program, sends it a signal after a delay, and collects it."""
    delay, sig = case["interrupt"]
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(delay)
    proc.send_signal(sig)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, err = proc.communicate()
        return None, decode(out), decode(err)
    return proc.returncode, decode(out), decode(err)


def prepare(case, exe, wrapper, tmp):
    """Writes the case's files into a fresh working directory under tmp.
    Returns the directory, the placeholder values and the environment."""
    cwd = os.path.join(tmp, case["cwd"])
    os.makedirs(cwd)
    wine = is_wine(wrapper)
    ctx = {"cwd": program_path(cwd, wine), "tmp": program_path(tmp, wine)}
    testlib.write_files(cwd, case["files"])
    now = time.time()
    for rel, offset in case["times"].items():
        full = os.path.normpath(os.path.join(cwd, rel))
        os.utime(full, (now + offset, now + offset))
    env = {k: v for k, v in os.environ.items() if not k.startswith("VORN")}
    # Recipes that call vorn (or make, rewritten) find this executable.
    exe_dir = os.path.dirname(exe)
    env["PATH"] = exe_dir + os.pathsep + env.get("PATH", "")
    if wine:
        env["WINEPATH"] = program_path(exe_dir, True).replace("/", "\\")
    for k, v in case["env"].items():
        if v is None:
            env.pop(k, None)
        else:
            env[k] = v.replace("@CWD@", ctx["cwd"]).replace("@TMP@", ctx["tmp"])
    return cwd, ctx, env


def execute(case, cmd, cwd, env, wrapper, problems):
    """Runs the program once (again when Wine failed to start it).
    Returns the exit code (None after a time-out), stdout, stderr, seconds."""
    wine = is_wine(wrapper)
    timeout = case["timeout"] or (120 if wrapper else 60)
    for attempt in (1, 2):
        started = time.monotonic()
        if case["interrupt"]:
            code, out, err = run_interrupted(cmd, cwd, env, case, timeout)
        else:
            code, out, err = testlib.run(cmd, cwd, env, timeout, case["stdin"])
        if code is None:
            problems.append("timed out after %s s" % timeout)
        if attempt == 2 or not testlib.wine_start_failed(wine, code, out, err):
            break
        print("NOTE %s: Wine start failed silently, run again" % case["name"])
    return code, out, err, time.monotonic() - started


def tree(base):
    """Every path below base with its kind and (compared) content."""
    out = {}
    for root, dirs, files in os.walk(base):
        for d in dirs:
            out[os.path.relpath(os.path.join(root, d), base)] = "dir"
        for f in files:
            full = os.path.join(root, f)
            with open(full, "rb") as fh:
                out[os.path.relpath(full, base)] = testlib.same_text(decode(fh.read()))
    return out


def compare_twin(case, exe, wrapper, tmp, code, out, cwd, problems):
    """Runs the case again with the twin arguments in a fresh directory; the
    exit code, standard output and files must come out the same."""
    twin_tmp = os.path.join(tmp, "twin")
    os.makedirs(twin_tmp)
    twin_cwd, _, env = prepare(case, exe, wrapper, twin_tmp)
    cmd = wrapper + [exe] + case["args"] + case["twin"]
    code2, out2, err2, _ = execute(case, cmd, twin_cwd, env, wrapper, problems)
    label = "with %s" % " ".join(case["twin"])
    if code != code2:
        problems.append("exit code %s, %s %s" % (code, label, code2))
    if testlib.same_text(out) != testlib.same_text(out2):
        problems.append("stdout %r, %s %r" % (out, label, out2))
    t1, t2 = tree(cwd), tree(twin_cwd)
    for rel in sorted(set(t1) | set(t2)):
        if t1.get(rel) != t2.get(rel):
            problems.append("file %s: %r, %s %r" % (rel, t1.get(rel), label, t2.get(rel)))
    if problems:
        problems.append("stderr %s was:\n%s" % (label, err2.rstrip("\n")))


def run_case(case, exe, wrapper, keep):
    tmp = os.path.realpath(tempfile.mkdtemp(prefix="vorn-e2e-"))
    problems = []
    try:
        cwd, ctx, env = prepare(case, exe, wrapper, tmp)
        cmd = wrapper + [exe] + case["args"]
        code, out, err, elapsed = execute(case, cmd, cwd, env, wrapper, problems)
        if case["max_seconds"] is not None and code is not None \
                and elapsed > case["max_seconds"]:
            problems.append("took %.2f s, at most %s s expected" % (elapsed, case["max_seconds"]))
        if case["settle"]:
            # Anything the run left behind would act within this time.
            time.sleep(case["settle"])
        if code is not None and case["exit"] is not None and code != case["exit"]:
            problems.append("exit code %s, expected %s" % (code, case["exit"]))
        for stream, text in (("stdout", out), ("stderr", err)):
            m = case[stream]
            if m is None:
                continue
            why = m.check(text, ctx)
            if why is not None:
                problems.append("%s differs:\n%s" % (stream, why.rstrip("\n")))
        for rel, m in case["expect_files"].items():
            full = os.path.normpath(os.path.join(cwd, rel))
            if m is None:
                if os.path.lexists(full):
                    problems.append("file %s must not exist" % rel)
                continue
            if not os.path.isfile(full):
                problems.append("file %s is missing" % rel)
                continue
            with open(full, "rb") as f:
                why = m.check(decode(f.read()), ctx)
            if why is not None:
                problems.append("file %s differs:\n%s" % (rel, why.rstrip("\n")))
        for rel in case["empty_dirs"]:
            full = os.path.normpath(os.path.join(cwd, rel))
            if not os.path.isdir(full):
                problems.append("directory %s is missing" % rel)
            elif os.listdir(full):
                problems.append("directory %s must be empty, has: %s" % (
                    rel, " ".join(sorted(os.listdir(full)))))
        if case["twin"] and code is not None:
            compare_twin(case, exe, wrapper, tmp, code, out, cwd, problems)
        if problems:
            problems.insert(0, "command: (cd %s && %s)" % (shlex.quote(cwd), shlex.join(cmd)))
            if not any(p.startswith("stderr") for p in problems) and err:
                problems.append("stderr was:\n" + err.rstrip("\n"))
    finally:
        if keep and problems:
            problems.append("kept: " + tmp)
        else:
            shutil.rmtree(tmp, ignore_errors=True)
    return problems, None


def main():
    ap = argparse.ArgumentParser(description="vorn end-to-end tests")
    ap.add_argument("exe", help="the vorn executable to test")
    ap.add_argument("-k", dest="filter", default="", help="run only cases whose name contains this")
    ap.add_argument("-j", dest="jobs", type=int, default=1, help="cases run at the same time")
    ap.add_argument("--keep", action="store_true", help="keep the directories of failed cases")
    a = ap.parse_args()

    exe = os.path.abspath(a.exe)
    if testlib.missing_exe(exe):
        return 1
    wrapper = shlex.split(os.environ.get("VORN_E2E_WRAPPER", ""))
    platform = "win" if exe.lower().endswith(".exe") else "posix"
    cases = [c for c in testlib.load_cases(os.path.join(HERE, "cases"), a.filter)
             if c["only"] in (None, platform)]

    results = testlib.run_cases(cases, a.jobs, lambda c: run_case(c, exe, wrapper, a.keep),
                                is_wine(wrapper))
    passed = sum(testlib.report(c["name"], problems) for c, problems, _ in results)
    failed = len(cases) - passed
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
