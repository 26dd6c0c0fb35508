#!/usr/bin/env python3
"""Build benchmark: vorn against GNU make, ninja and a floor program.

Generates six workloads in a temporary directory, each with one rules text
written as `vorn.vorn` and `Makefile` (explicit rules only, one rule per goal,
a first rule `all:` naming every goal) and an equivalent `build.ninja`:

    a  2,000 file copies with cp recipes (src/fNNNN.txt -> out/fNNNN.txt, the
       directory out made first by its own rule); full build, then a no-op
    b  2,000 goals whose recipes touch them
    c  a 1,000-goal chain, every recipe touching its goal
    d  200 goals each running an external command (touch by its full path,
       so no tool can treat it as a built-in)
    e  100 small C files compiled with gcc, then linked
    f  a no-op over 20,000 goals that are up to date

Every tool builds sequentially: `vorn --bg1`, `make -r -j1`, `ninja -j1`. The
floor (bench/floor.c, compiled here with gcc -O2) does the least work any
tool must do: one stat per file for a no-op, all copies or touches in one
process, one /bin/sh -c per external command, one gcc per file and one link.

Outputs are deleted before every full build. After every build the outputs
are checked (copies equal their sources, the chain is built in order, the
linked program prints the expected sum, a no-op changed no file), for every
tool. A vorn run that fails or times out is reported as failed, not as a
crash, and vorn is then skipped for the rest of that workload.

    python3 bench/build_bench.py [build-rel/vorn] [-n 3] [-w a,b,f] [--keep]
"""

import argparse
import filecmp
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = ("floor", "make", "ninja", "vorn")

# Runs one command and reports its wall time and rusage, as in graph_bench.py:
# a small process of its own, so the child's max RSS does not include pages
# of this script. The child's output goes to the log file named first.
LAUNCHER = r"""
import os, sys, time
log, argv = sys.argv[1], sys.argv[2:]
fd = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
t0 = time.perf_counter()
pid = os.fork()
if pid == 0:
    os.dup2(fd, 1)
    os.dup2(fd, 2)
    try:
        os.execvp(argv[0], argv)
    finally:
        os._exit(127)
_, status, usage = os.wait4(pid, 0)
wall = time.perf_counter() - t0
sys.stderr.write("%d %.6f %d\n" % (os.waitstatus_to_exitcode(status), wall, usage.ru_maxrss))
"""


def child_env():
    """The environment without settings that would change how make or vorn run."""
    env = dict(os.environ)
    for name in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "MAKEFILES", "GNUMAKEFLAGS", "VORN_ARGS",
                 "VORN_E_LEVEL", "VORN_E_LEVEL_HDR", "NINJA_STATUS"):
        env.pop(name, None)
    return env


def run_once(argv, cwd, log, timeout, env):
    """Runs argv; returns (exit code, wall seconds, max RSS in MB, timed out)."""
    proc = subprocess.Popen([sys.executable, "-S", "-E", "-c", LAUNCHER, log] + argv, cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, start_new_session=True, env=env)
    try:
        _, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return None, float(timeout), 0.0, True
    fields = err.decode(errors="replace").split()
    if proc.returncode != 0 or len(fields) != 3:
        sys.exit("build_bench: launcher failed for %s: %s" % (argv, err.decode(errors="replace")))
    return int(fields[0]), float(fields[1]), int(fields[2]) / 1024.0, False


def log_tail(log, lines=5):
    try:
        with open(log, "r", errors="replace") as f:
            return [l for l in f.read().splitlines() if l.strip()][-lines:]
    except OSError:
        return []


class Workload:
    """One generated project: its rules, its floor plans, its reset and checks."""

    def __init__(self, key, title, kinds):
        self.key = key
        self.title = title
        self.kinds = kinds  # ("full",), ("full", "noop") or ("noop",)
        self.rules = []  # (goal, deps, exist-only deps, recipe line)
        self.outputs = []  # files a full build creates
        self.out_dirs = []  # directories a full build creates
        self.plan_full = []
        self.plan_noop = []
        self.checks = []  # functions(wdir) -> list of problems, after a full build

    def rule(self, goal, deps, cmd, order=()):
        self.rules.append((goal, list(deps), list(order), cmd))

    def rules_text(self):
        out = ["all: " + " ".join(r[0] for r in self.rules) + "\n"]
        for goal, deps, order, cmd in self.rules:
            line = goal + ":"
            if deps:
                line += " " + " ".join(deps)
            if order:
                line += " | " + " ".join(order)
            out.append(line + "\n\t" + cmd + "\n")
        return "".join(out)

    def ninja_text(self):
        out = ["rule r\n  command = $cmd\n  description = $out\n"]
        for goal, deps, order, cmd in self.rules:
            line = "build %s: r" % goal
            if deps:
                line += " " + " ".join(deps)
            if order:
                line += " || " + " ".join(order)
            out.append(line + "\n  cmd = " + cmd.replace("$", "$$") + "\n")
        out.append("build all: phony " + " ".join(r[0] for r in self.rules) + "\n")
        out.append("default all\n")
        return "".join(out)

    def write(self, wdir):
        text = self.rules_text()
        for name in ("vorn.vorn", "Makefile"):
            with open(os.path.join(wdir, name), "w") as f:
                f.write(text)
        with open(os.path.join(wdir, "build.ninja"), "w") as f:
            f.write(self.ninja_text())
        for kind, plan in (("full", self.plan_full), ("noop", self.plan_noop)):
            with open(os.path.join(wdir, "floor-%s.plan" % kind), "w") as f:
                f.write("".join(step + "\n" for step in plan))

    def reset(self, wdir):
        """Deletes everything a build made, so the next full build really builds."""
        for name in self.outputs + [".ninja_log", ".ninja_deps"]:
            try:
                os.unlink(os.path.join(wdir, name))
            except FileNotFoundError:
                pass
        for d in self.out_dirs:
            shutil.rmtree(os.path.join(wdir, d), ignore_errors=True)

    def check_full(self, wdir):
        problems = []
        missing = [p for p in self.outputs if not os.path.isfile(os.path.join(wdir, p))]
        if missing:
            problems.append("%d of %d outputs missing (first: %s)" %
                            (len(missing), len(self.outputs), missing[0]))
            return problems
        for check in self.checks:
            problems += check(wdir)
        return problems


def mtimes(wdir, names):
    out = {}
    for n in names:
        try:
            out[n] = os.stat(os.path.join(wdir, n)).st_mtime_ns
        except FileNotFoundError:
            out[n] = None
    return out


def write_file(path, text, mtime=None):
    with open(path, "w") as f:
        f.write(text)
    if mtime is not None:
        os.utime(path, ns=(mtime, mtime))


def gen_copies(wdir, count):
    w = Workload("a", "%d cp" % count, ("full", "noop"))
    os.makedirs(os.path.join(wdir, "src"))
    w.out_dirs.append("out")
    w.rule("out", [], "mkdir -p out")
    w.plan_full.append("D out")
    for i in range(count):
        src, dst = "src/f%04d.txt" % i, "out/f%04d.txt" % i
        # Contents differ per file, so a copy from the wrong source is noticed.
        write_file(os.path.join(wdir, src), ("line %d of file %d\n" % (i, i)) * (1 + i % 7))
        w.rule(dst, [src], "cp %s %s" % (src, dst), order=["out"])
        w.outputs.append(dst)
        w.plan_full.append("C %s %s" % (src, dst))
        w.plan_noop += ["S " + src, "S " + dst]
    w.plan_noop.insert(0, "S out")

    def same_content(wd):
        bad = [d for d in w.outputs
               if not filecmp.cmp(os.path.join(wd, "src", os.path.basename(d)),
                                  os.path.join(wd, d), shallow=False)]
        return ["%d copies differ from their sources (first: %s)" % (len(bad), bad[0])] if bad else []

    w.checks.append(same_content)
    return w


def gen_touches(wdir, count):
    w = Workload("b", "%d touch" % count, ("full",))
    for i in range(count):
        goal = "t%04d" % i
        w.rule(goal, [], "touch " + goal)
        w.outputs.append(goal)
        w.plan_full.append("T " + goal)
    return w


def gen_chain(wdir, count):
    w = Workload("c", "%d-chain touch" % count, ("full",))
    names = ["c%04d" % i for i in range(count)]
    for i, goal in enumerate(names):
        w.rule(goal, names[i + 1:i + 2], "touch " + goal)
        w.outputs.append(goal)
    w.plan_full = ["T " + g for g in reversed(names)]

    def in_order(wd):
        # Each goal was touched after its dependency: never older than it.
        t = mtimes(wd, names)
        bad = [names[i] for i in range(count - 1) if t[names[i]] < t[names[i + 1]]]
        return ["%d goals older than their dependency (first: %s)" % (len(bad), bad[0])] if bad else []

    w.checks.append(in_order)
    return w


def gen_external(wdir, count):
    touch = shutil.which("touch") or "/usr/bin/touch"
    w = Workload("d", "%d external" % count, ("full",))
    for i in range(count):
        goal = "d%03d" % i
        cmd = "%s %s" % (touch, goal)
        w.rule(goal, [], cmd)
        w.outputs.append(goal)
        w.plan_full.append("X " + cmd)
    return w


def gen_compile(wdir, count):
    w = Workload("e", "%d gcc + link" % count, ("full",))
    objs = []
    expected = 0
    for i in range(count):
        src, obj = "c%03d.c" % i, "c%03d.o" % i
        k = 3 * i + 1
        expected += k
        text = "int f%03d(int x) { return x + %d; }\n" % (i, k)
        if i == 0:
            text = ("#include <stdio.h>\n" +
                    "".join("int f%03d(int);\n" % j for j in range(count)) + text +
                    "int main(void) {\n    long s = 0;\n" +
                    "".join("    s += f%03d(0);\n" % j for j in range(count)) +
                    "    printf(\"%ld\\n\", s);\n    return 0;\n}\n")
        write_file(os.path.join(wdir, src), text)
        cmd = "gcc -c -O0 -o %s %s" % (obj, src)
        w.rule(obj, [src], cmd)
        w.outputs.append(obj)
        w.plan_full.append("X " + cmd)
        objs.append(obj)
    link = "gcc -o prog " + " ".join(objs)
    w.rule("prog", objs, link)
    w.outputs.append("prog")
    w.plan_full.append("X " + link)

    def runs(wd):
        try:
            out = subprocess.run([os.path.join(wd, "prog")], capture_output=True, text=True,
                                 timeout=30).stdout.strip()
        except (OSError, subprocess.SubprocessError) as e:
            return ["prog does not run: %s" % e]
        return [] if out == str(expected) else ["prog printed %r, want %d" % (out, expected)]

    w.checks.append(runs)
    return w


def gen_uptodate(wdir, count):
    w = Workload("f", "%d up to date" % count, ("noop",))
    os.makedirs(os.path.join(wdir, "s"))
    os.makedirs(os.path.join(wdir, "o"))
    # Explicit times: every output clearly newer than its source.
    now = time.time_ns()
    t_src, t_out = now - 200 * 10**9, now - 100 * 10**9
    for i in range(count):
        src, out = "s/s%05d" % i, "o/o%05d" % i
        write_file(os.path.join(wdir, src), "%d\n" % i, t_src)
        write_file(os.path.join(wdir, out), "%d\n" % i, t_out)
        w.rule(out, [src], "touch " + out)
        w.plan_noop += ["S " + src, "S " + out]
    w.noop_files = [r[0] for r in w.rules]
    return w


GENERATORS = {
    "a": (gen_copies, 2000),
    "b": (gen_touches, 2000),
    "c": (gen_chain, 1000),
    "d": (gen_external, 200),
    "e": (gen_compile, 100),
    "f": (gen_uptodate, 20000),
}


def build_floor(workdir):
    exe = os.path.join(workdir, "floor")
    r = subprocess.run(["gcc", "-O2", "-o", exe, os.path.join(HERE, "floor.c")],
                       capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("build_bench: cannot compile floor.c:\n" + r.stderr)
    return exe


class Bench:
    def __init__(self, args, tools, workdir):
        self.args = args
        self.tools = tools  # name -> argv for a full build or a no-op
        self.workdir = workdir
        self.env = child_env()
        self.results = {}  # (key, kind, tool) -> list of (wall, rss)
        self.status = {}  # (key, kind, tool) -> "ok" or a failure word
        self.problems = []

    def argv(self, tool, kind):
        if tool == "floor":
            return self.tools["floor"] + ["floor-%s.plan" % kind]
        return self.tools[tool]

    def timed(self, w, wdir, kind, tool):
        """One timed run; records it and returns True when the tool succeeded."""
        log = os.path.join(self.workdir, "logs", "%s-%s-%s.log" % (w.key, kind, tool))
        rc, wall, rss, timed_out = run_once(self.argv(tool, kind), wdir, log, self.args.timeout,
                                            self.env)
        slot = (w.key, kind, tool)
        if timed_out or rc != 0:
            why = "timeout" if timed_out else "failed"
            self.status[slot] = why
            self.problems.append("%s %s %s: %s%s" % (w.key, kind, tool, why,
                                                     "" if timed_out else " (exit code %d)" % rc))
            self.problems += ["    " + line for line in log_tail(log)]
            return False
        self.results.setdefault(slot, []).append((wall, rss))
        self.status.setdefault(slot, "ok")
        return True

    def mark_wrong(self, w, kind, tool, problems):
        self.status[(w.key, kind, tool)] = "WRONG"
        self.problems += ["%s %s %s: %s" % (w.key, kind, tool, p) for p in problems]

    def run_workload(self, w, wdir):
        names = [t for t in TOOLS if t in self.tools]
        given_up = set()
        if "noop" in w.kinds and "full" not in w.kinds:
            watched = w.noop_files
            # An untimed first run per tool: ninja has no log yet and would
            # rebuild everything once; make and vorn should do nothing here.
            for tool in names:
                if tool == "floor":
                    continue
                argv = self.tools[tool] if tool != "ninja" else ["ninja", "-j4"]
                log = os.path.join(self.workdir, "logs", "%s-warmup-%s.log" % (w.key, tool))
                before = mtimes(wdir, watched)
                rc, _, _, timed_out = run_once(argv, wdir, log, self.args.timeout, self.env)
                after = mtimes(wdir, watched)
                changed = [n for n in watched if before[n] != after[n]]
                if tool != "ninja" and changed and not timed_out and rc == 0:
                    self.mark_wrong(w, "noop", tool, ["first run rebuilt %d up-to-date files"
                                                      " (first: %s)" % (len(changed), changed[0])])
                if timed_out or rc != 0:
                    self.status[(w.key, "noop", tool)] = "timeout" if timed_out else "failed"
                    self.problems.append("%s warm-up %s: %s" % (w.key, tool, "timeout" if timed_out
                                                               else "exit code %d" % rc))
                    self.problems += ["    " + line for line in log_tail(log)]
                    given_up.add(tool)
        for _ in range(self.args.reps):
            for tool in names:
                if tool in given_up:
                    continue
                if "full" in w.kinds:
                    w.reset(wdir)
                    if not self.timed(w, wdir, "full", tool):
                        given_up.add(tool)
                        continue
                    bad = w.check_full(wdir)
                    if bad:
                        # Incomplete outputs make a no-op meaningless: skip it.
                        self.mark_wrong(w, "full", tool, bad)
                        continue
                    watched = w.outputs
                if "noop" in w.kinds:
                    before = mtimes(wdir, watched)
                    if not self.timed(w, wdir, "noop", tool):
                        given_up.add(tool)
                        continue
                    after = mtimes(wdir, watched)
                    changed = [n for n in watched if before[n] != after[n]]
                    if changed:
                        self.mark_wrong(w, "noop", tool, ["no-op changed %d files (first: %s)" %
                                                          (len(changed), changed[0])])

    def median(self, key, kind, tool):
        runs = self.results.get((key, kind, tool))
        if not runs or self.status.get((key, kind, tool)) != "ok":
            return None
        return statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs)


def ratio(a, b):
    return "%7.2f" % (a[0] / b[0]) if a and b and b[0] > 0 else "%7s" % "-"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("vorn", nargs="?", default="build-rel/vorn", help="vorn executable")
    ap.add_argument("-n", "--reps", type=int, default=3, help="repetitions (median taken)")
    ap.add_argument("-w", "--workloads", default="a,b,c,d,e,f",
                    help="comma-separated subset of a,b,c,d,e,f")
    ap.add_argument("--timeout", type=int, default=120, help="seconds per run")
    ap.add_argument("--keep", action="store_true", help="keep the work directory")
    args = ap.parse_args()

    keys = [k.strip() for k in args.workloads.split(",") if k.strip()]
    unknown = [k for k in keys if k not in GENERATORS]
    if unknown or not keys or args.reps < 1:
        sys.exit("build_bench: workloads are a,b,c,d,e,f; got %r; repetitions >= 1" % args.workloads)
    if not shutil.which("gcc"):
        sys.exit("build_bench: gcc is needed for the floor program and workload e")

    workdir = tempfile.mkdtemp(prefix="vorn-build-bench-")
    try:
        os.makedirs(os.path.join(workdir, "logs"))
        tools = {"floor": [build_floor(workdir)]}
        for exe, argv in (("make", ["make", "-r", "-j1", "-f", "Makefile"]),
                          ("ninja", ["ninja", "-j1"])):
            if shutil.which(exe):
                tools[exe] = argv
            else:
                print("build_bench: %s not found, skipped (apt-get install -y make ninja-build)" %
                      exe, file=sys.stderr)
        vorn = os.path.abspath(args.vorn)
        if os.access(vorn, os.X_OK):
            tools["vorn"] = [vorn, "--bg1"]
        else:
            print("build_bench: no vorn executable at %s, vorn skipped" % vorn, file=sys.stderr)

        bench = Bench(args, tools, workdir)
        workloads = []
        t_all = time.perf_counter()
        for key in keys:
            gen, count = GENERATORS[key]
            wdir = os.path.join(workdir, key)
            os.makedirs(wdir)
            w = gen(wdir, count)
            w.write(wdir)
            t0 = time.perf_counter()
            bench.run_workload(w, wdir)
            print("workload %s (%s): %.1f s" % (key, w.title, time.perf_counter() - t0),
                  file=sys.stderr)
            workloads.append(w)

        print()
        print("%-26s %-6s %9s %9s %9s %8s  %s" %
              ("workload", "tool", "median s", "min s", "max s", "RSS MB", "check"))
        for w in workloads:
            for kind in w.kinds:
                label = "%s %s %s" % (w.key, w.title, "full" if kind == "full" else "no-op")
                for tool in TOOLS:
                    if tool not in tools:
                        continue
                    slot = (w.key, kind, tool)
                    runs = bench.results.get(slot)
                    st = bench.status.get(slot, "skipped")
                    if st in ("failed", "timeout") or not runs:
                        print("%-26s %-6s %9s" % (label, tool, st))
                    else:
                        walls = [r[0] for r in runs]
                        print("%-26s %-6s %9.3f %9.3f %9.3f %8.1f  %s" %
                              (label, tool, statistics.median(walls), min(walls), max(walls),
                               statistics.median(r[1] for r in runs), st))
                    label = ""

        print()
        print("%-26s %7s %7s %7s   %7s %7s" %
              ("median time ratios", "v/floor", "v/make", "v/ninja", "m/floor", "n/floor"))
        for w in workloads:
            for kind in w.kinds:
                med = {t: bench.median(w.key, kind, t) for t in TOOLS}
                print("%-26s %s %s %s   %s %s" %
                      ("%s %s %s" % (w.key, w.title, "full" if kind == "full" else "no-op"),
                       ratio(med["vorn"], med["floor"]), ratio(med["vorn"], med["make"]),
                       ratio(med["vorn"], med["ninja"]), ratio(med["make"], med["floor"]),
                       ratio(med["ninja"], med["floor"])))
        print("(%d runs each, sequential builds: vorn --bg1, make -r -j1, ninja -j1; medians;"
              " total %.0f s)" % (args.reps, time.perf_counter() - t_all))

        vorn_ok = "vorn" in tools and all(
            bench.status.get((w.key, kind, "vorn")) == "ok" for w in workloads for kind in w.kinds)
        if bench.problems:
            print()
            for p in bench.problems:
                print("PROBLEM: " + p)
        if "vorn" in tools:
            print("vorn builds and checks: %s" % ("all passed" if vorn_ok else "NOT all passed"))
        others_ok = all(bench.status.get((w.key, kind, t)) == "ok" for w in workloads
                        for kind in w.kinds for t in tools if t != "vorn")
        return 0 if others_ok and ("vorn" not in tools or vorn_ok) else 1
    finally:
        if args.keep:
            print("work directory kept: %s" % workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
