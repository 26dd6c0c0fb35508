"""What the end-to-end runner and the gm differential runner share: loading
the cases, writing a case's files, running a program (also under Wine) and
running the cases on a pool of threads with the PASS/FAIL report."""

import concurrent.futures
import glob
import os
import runpy
import shutil
import subprocess
import sys


def load_cases(case_dir, filter_text):
    """The CASES of every case_dir/*.py (not _*.py), named "module/name".
    A module may define PENDING = {"case name": "why"}: each case gets its
    reason, or None, as "pending"."""
    cases = []
    seen = set()
    for path in sorted(glob.glob(os.path.join(case_dir, "*.py"))):
        if os.path.basename(path).startswith("_"):
            continue
        group = os.path.splitext(os.path.basename(path))[0]
        mod = runpy.run_path(path)
        pending = mod.get("PENDING", {})
        names = set()
        for c in mod["CASES"]:
            names.add(c["name"])
            c = dict(c, name=group + "/" + c["name"], pending=pending.get(c["name"]))
            if c["name"] in seen:
                raise SystemExit("duplicate case name: " + c["name"])
            seen.add(c["name"])
            if filter_text and filter_text not in c["name"]:
                continue
            cases.append(c)
        for stale in sorted(set(pending) - names):
            raise SystemExit("%s: PENDING names no case: %s" % (path, stale))
    return cases


def decode(data):
    return data.decode("utf-8", errors="surrogateescape")


def write_files(base, files):
    """path -> str/bytes written below base; a path ending in "/" makes a
    directory, None removes the path; a script ("#!") becomes executable."""
    for rel, content in files.items():
        full = os.path.normpath(os.path.join(base, rel))
        if rel.endswith("/"):
            os.makedirs(full, exist_ok=True)
            continue
        if content is None:
            if os.path.isdir(full):
                shutil.rmtree(full)
            elif os.path.lexists(full):
                os.remove(full)
            continue
        os.makedirs(os.path.dirname(full), exist_ok=True)
        if isinstance(content, str):
            content = content.encode("utf-8")
        with open(full, "wb") as f:
            f.write(content)
        if content.startswith(b"#!"):
            os.chmod(full, 0o755)


def same_text(text):
    """Text as compared with a run under Windows: cmd.exe's echo ends lines
    with CR LF and keeps the blank before a redirection."""
    return "\n".join(line.rstrip(" \r") for line in text.split("\n"))


def is_wine(wrapper):
    return bool(wrapper) and os.path.basename(wrapper[0]).startswith("wine")


def run(cmd, cwd, env, timeout, stdin=None):
    """Runs cmd with stdin (bytes; None: no standard input at all).
    Returns the exit code (None after a time-out), stdout and stderr."""
    try:
        proc = subprocess.run(cmd, cwd=cwd, env=env, input=stdin,
                              stdin=subprocess.DEVNULL if stdin is None else None,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired as e:
        return None, decode(e.stdout or b""), decode(e.stderr or b"")
    return proc.returncode, decode(proc.stdout), decode(proc.stderr)


def wine_start_failed(wine, code, out, err):
    """vorn itself only ends with 0 or 2; a silent 1 is Wine failing to start
    the program, which happens rarely on a loaded machine."""
    return wine and code == 1 and not out and not err


def run_cases(cases, jobs, run_case, wine):
    """run_case(case) -> (problems, details) for every case on jobs threads;
    yields (case, problems, details) in the order of cases."""
    def once_more(case):
        problems, details = run_case(case)
        # The Wine server's own fault, not the program's: the case runs once more.
        if wine and problems and "wine client error" in repr((problems, details)):
            problems, details = run_case(case)
        return problems, details

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        futures = [pool.submit(once_more, c) for c in cases]
        for c, fut in zip(cases, futures):
            yield (c,) + fut.result()
            sys.stdout.flush()


def show(problems):
    for p in problems:
        print("    " + p.replace("\n", "\n    "))


def report(name, problems):
    """Prints PASS, or FAIL and the problems; True when the case passed."""
    if problems:
        print("FAIL " + name)
        show(problems)
        return False
    print("PASS " + name)
    return True


def missing_exe(exe):
    """Reports an executable that is not there as one failure."""
    if os.path.isfile(exe):
        return False
    print("no such executable: " + exe)
    print("0 passed, 1 failed")
    return True
