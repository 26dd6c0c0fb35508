#!/usr/bin/env python3
"""Graph benchmark: vorn against GNU make and ninja on one generated graph.

Writes, in a temporary directory, a rules file with 50,000 goals and 200,000
dependency edges (acyclic: a goal depends only on goals with a higher index,
seeded random), among them a 10,000-goal chain g0: g1, g1: g2, ... The same
text is vorn.vorn and Makefile; build.ninja holds the same graph. Then times,
N times each, with medians:

    vorn --prd > /dev/null              (reads, prepares and lists the graph)
    make -pn -f Makefile > /dev/null    (make reads and prints its database)
    ninja -t targets all > /dev/null    (ninja reads and lists its graph)

Peak memory is the child's max RSS (os.wait4). Before timing, vorn's listing
is checked: exit code 0, one line per goal with the written dependencies, and
the counts at its end.

    python3 bench/graph_bench.py [build-rel/vorn] [-n 5] [--keep]
"""

import argparse
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

VORN_TIME_TARGET_S = 1.0
VORN_RSS_TARGET_MB = 300.0


def make_graph(goals, edges, chain, seed):
    """Dependency lists per goal index; acyclic since every edge points up."""
    if goals < 2 or chain > goals or edges < chain - 1:
        sys.exit("graph_bench: need goals >= 2, chain <= goals, edges >= chain - 1")
    max_edges = goals * (goals - 1) // 2
    if edges > max_edges:
        sys.exit("graph_bench: at most %d edges fit %d goals" % (max_edges, goals))
    rng = random.Random(seed)
    deps = [set() for _ in range(goals)]
    for i in range(chain - 1):
        deps[i].add(i + 1)
    count = max(chain - 1, 0)
    while count < edges:
        a = rng.randrange(goals - 1)
        b = rng.randrange(a + 1, goals)
        if b not in deps[a]:
            deps[a].add(b)
            count += 1
    # Written order is random too, so no tool gets sorted input for free.
    out = []
    for d in deps:
        lst = list(d)
        rng.shuffle(lst)
        out.append(lst)
    return out


def write_files(workdir, deps):
    rules = []
    ninja = ["rule r\n", "  command = true\n"]
    for i, lst in enumerate(deps):
        names = " ".join("g%d" % j for j in lst)
        rules.append("g%d: %s\n" % (i, names) if names else "g%d:\n" % i)
        ninja.append("build g%d: r %s\n" % (i, names) if names else "build g%d: r\n" % i)
    text = "".join(rules)
    for name in ("vorn.vorn", "Makefile"):
        with open(os.path.join(workdir, name), "w") as f:
            f.write(text)
    with open(os.path.join(workdir, "build.ninja"), "w") as f:
        f.write("".join(ninja))


# Runs one command and reports its wall time and rusage. It is a small
# process of its own because a child's max RSS counts the pages it had before
# exec, and a fork of this script would carry the whole generated graph.
LAUNCHER = r"""
import os, sys, time
argv = sys.argv[1:]
t0 = time.perf_counter()
pid = os.fork()
if pid == 0:
    fd = os.open(os.devnull, os.O_WRONLY)
    os.dup2(fd, 2)
    try:
        os.execvp(argv[0], argv)
    finally:
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter() - t0
sys.stderr.write("%d %.6f %d\n" % (os.waitstatus_to_exitcode(status), wall, usage.ru_maxrss))
"""


def run_once(argv, cwd, stdout, timeout):
    """Runs argv; returns (exit code, wall seconds, max RSS in MB, timed out)."""
    proc = subprocess.Popen([sys.executable, "-S", "-E", "-c", LAUNCHER] + argv, cwd=cwd,
                            stdout=stdout, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        _, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return None, timeout, 0.0, True
    fields = err.decode(errors="replace").split()
    if proc.returncode != 0 or len(fields) != 3:
        sys.exit("graph_bench: launcher failed for %s: %s" % (argv, err.decode(errors="replace")))
    return int(fields[0]), float(fields[1]), int(fields[2]) / 1024.0, False


GOAL_LINE = re.compile(r"^(?:PHONY )?(?:\([HL_?]\) )?(g\d+) :(.*)$")


def check_vorn_listing(vorn, workdir, deps, timeout):
    """Runs vorn --prd once into a file and checks it; returns a list of problems."""
    out_path = os.path.join(workdir, "vorn-listing.txt")
    with open(out_path, "wb") as f:
        rc, _, _, timed_out = run_once([vorn, "--prd"], workdir, f, timeout)
    if timed_out:
        return ["vorn --prd did not end within %d s" % timeout]
    problems = []
    if rc != 0:
        problems.append("vorn --prd exit code %d" % rc)
    with open(out_path, "r", errors="replace") as f:
        lines = f.read().splitlines()
    seen = {}
    for line in lines:
        m = GOAL_LINE.match(line)
        if m:
            written = [w for w in m.group(2).split() if not re.fullmatch(r"\([HL_?]\)", w)]
            seen[m.group(1)] = written
    goal_lines = sum(1 for line in lines if GOAL_LINE.match(line))
    if goal_lines != len(deps):
        problems.append("listing has %d goal lines, want %d" % (goal_lines, len(deps)))
    wrong = 0
    for i, lst in enumerate(deps):
        want = ["g%d" % j for j in lst]
        if seen.get("g%d" % i) != want:
            wrong += 1
            if wrong <= 3:
                problems.append("goal g%d lists %s, want %s" % (i, seen.get("g%d" % i), want))
    if wrong > 3:
        problems.append("... %d goals listed wrongly in all" % wrong)

    def count(label):
        for line in lines:
            m = re.match(r"^//\s*(\d+) " + label + r"$", line)
            if m:
                return int(m.group(1))
        return None

    edges = sum(len(lst) for lst in deps)
    for label, want in (("all rules", len(deps)), ("deps usual", edges)):
        got = count(label)
        if got != want:
            problems.append("listing count '%s' is %s, want %d" % (label, got, want))
    return problems


def measure(name, argv, workdir, reps, timeout):
    walls, rsss, codes = [], [], set()
    for _ in range(reps):
        with open(os.devnull, "wb") as devnull:
            rc, wall, rss, timed_out = run_once(argv, workdir, devnull, timeout)
        if timed_out:
            print("%s: stopped after %d s" % (name, timeout), file=sys.stderr)
            return None
        codes.add(rc)
        walls.append(wall)
        rsss.append(rss)
    if codes != {0}:
        print("%s: exit codes %s" % (name, sorted(codes)), file=sys.stderr)
    return {"wall": statistics.median(walls), "wmin": min(walls), "wmax": max(walls),
            "rss": statistics.median(rsss), "codes": codes}


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("vorn", nargs="?", default="build-rel/vorn", help="vorn executable")
    ap.add_argument("-n", "--reps", type=int, default=5, help="repetitions (median taken)")
    ap.add_argument("--goals", type=int, default=50000)
    ap.add_argument("--edges", type=int, default=200000)
    ap.add_argument("--chain", type=int, default=10000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=int, default=300, help="seconds per run")
    ap.add_argument("--keep", action="store_true", help="keep the work directory")
    args = ap.parse_args()

    vorn = os.path.abspath(args.vorn)
    if not os.access(vorn, os.X_OK):
        sys.exit("graph_bench: no vorn executable at %s" % vorn)
    tools = [("vorn", [vorn, "--prd"])]
    for exe, argv in (("make", ["make", "-pn", "-f", "Makefile"]),
                      ("ninja", ["ninja", "-t", "targets", "all"])):
        if shutil.which(exe):
            tools.append((exe, argv))
        else:
            print("graph_bench: %s not found, skipped (apt-get install -y make ninja-build)" % exe,
                  file=sys.stderr)

    workdir = tempfile.mkdtemp(prefix="vorn-graph-bench-")
    try:
        t0 = time.perf_counter()
        deps = make_graph(args.goals, args.edges, args.chain, args.seed)
        write_files(workdir, deps)
        print("graph: %d goals, %d edges, %d-goal chain, seed %d (written in %.1f s)" %
              (args.goals, sum(len(d) for d in deps), args.chain, args.seed,
               time.perf_counter() - t0))

        problems = check_vorn_listing(vorn, workdir, deps, args.timeout)
        for p in problems:
            print("CHECK FAILED: " + p)

        results = {}
        for name, argv in tools:
            results[name] = measure(name, argv, workdir, args.reps, args.timeout)

        print()
        print("%-6s %10s %10s %10s %12s" % ("tool", "median s", "min s", "max s", "max RSS MB"))
        for name, _ in tools:
            r = results[name]
            if r is None:
                print("%-6s %10s" % (name, "timeout"))
            else:
                print("%-6s %10.3f %10.3f %10.3f %12.1f" %
                      (name, r["wall"], r["wmin"], r["wmax"], r["rss"]))
        v = results.get("vorn")
        if v:
            for other in ("make", "ninja"):
                o = results.get(other)
                if o:
                    print("vorn/%-5s time %6.2f   memory %6.2f" %
                          (other, v["wall"] / o["wall"], v["rss"] / o["rss"]))
        with open(os.devnull, "wb") as devnull:
            floor = run_once(["true"], workdir, devnull, 30)[2]
        print("(%d runs each; median wall time, median of the peak RSS; the RSS of a"
              " do-nothing `true` is %.1f MB)" % (args.reps, floor))

        ok = not problems and v is not None and v["codes"] == {0}
        if v:
            t_ok = v["wall"] < VORN_TIME_TARGET_S
            m_ok = v["rss"] < VORN_RSS_TARGET_MB
            print("vorn targets: time < %.0f s %s, memory < %.0f MB %s" %
                  (VORN_TIME_TARGET_S, "met" if t_ok else "MISSED",
                   VORN_RSS_TARGET_MB, "met" if m_ok else "MISSED"))
        print("listing check: %s" % ("passed" if not problems else "FAILED"))
        return 0 if ok else 1
    finally:
        if args.keep:
            print("work directory kept: %s" % workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
