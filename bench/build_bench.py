#!/usr/bin/env python3
"""Build benchmark: vorn against GNU make, ninja and a floor program.

Generates nine workloads in a temporary directory, each with one rules text
written as `vorn.vorn` and `Makefile` (explicit rules only, one rule per goal,
a first rule `all:` naming every goal, `.PHONY: all`) and an equivalent
`build.ninja` (h and i write a Makefile of their own, see below):

    a  2,000 file copies with cp recipes (src/fNNNN.txt -> out/fNNNN.txt, the
       directory out made first by its own rule); full build, then a no-op
    b  2,000 goals whose recipes touch them
    c  a 1,000-goal chain, every recipe touching its goal
    d  200 goals each running an external command (touch by its full path,
       so no tool can treat it as a built-in)
    e  100 small C files compiled with gcc, then linked
    f  a no-op over 20,000 goals that are up to date
    g  uneven: 50 goals u00..u49 that sleep 0.1 s and one, u50, that sleeps
       2 s, each feeding a goal v_i that sleeps 0.1 s; `all` names the u goals
       first. A tool that builds in waves (all of one level, then the next)
       leaves a job slot idle while u50 runs; one that starts v goals as soon
       as their u is done does not. Only at 2 or more jobs.
    h  a no-op over 5,000 up-to-date objects s/fNNNN.o of s/fNNNN.c, all
       named by the goal prog: `Makefile` has one pattern rule `%.o: %.c`,
       `explicit.mk` is the same text with 5,000 explicit rules instead. Run
       by `vorn --gm -r` on both (gm, gmx), `vorn --gm` (gmb, built-in rules
       on), `make -r`, `make` (make b), ninja and vorn --bg1, with the ratios
       gm/gmx (pattern against explicit), gm/make, gmb/make b, gm/ninja.
    i  h's pattern Makefile with `-include $(OBJS:.o=.d)` and 5,000 .d files
       as gcc -MMD -MP writes them, two of 50 headers each: gm, gmb, make and
       make b, with the ratios gm/make and gmb/make b.
       h and i run only at 1 job.

Every workload runs at each job count of -j (default 1 and 2). At 1 job:
`vorn --bg1`, `make -r -j1`, `ninja -j1`, `floor -j 1`. At N jobs: `vorn -j N`
(the default variant, shown as "vorn t"), `make -r -jN`, `ninja -jN`,
`floor -j N`, and on a, d, e and f also vorn's other variants, `vorn -j N
--bgc`, `--bgf`, `--bgp` (--variants picks them). At 1 job, on a and f (the
workloads with a no-op), also `vorn --gm -r -f Makefile`, vorn reading the
Makefile as GNU make does, shown as "vorn gm" beside `vorn --bg1` (vorn.vorn),
make and ninja with the ratios gm/vorn, gm/make and gm/ninja of wall time and
peak RSS; `--gm` without `-j` runs one recipe at a time. The floor (bench/floor.c,
compiled here with gcc -O2) does the least work any tool must do: one stat per
file for a no-op, all copies or touches in one process, one /bin/sh -c per
external command (up to N at once), one gcc per file and one link. For g the
floor is not run but computed: the ideal schedule on N slots, the longer of
the critical path and the total work divided by N.

Outputs are deleted before every full build. After every build the outputs
are checked (copies equal their sources, the chain is built in order, the
linked program prints the expected sum, every v goal is at least 0.1 s newer
than its u goal and the build took no less than the ideal schedule, a no-op
changed no file), for every tool and variant. A tool or variant that fails or
times out is reported as failed, not as a crash, and is then skipped for the
rest of that workload.

    python3 bench/build_bench.py [build-rel/vorn] [-n 3] [-w a,b,g] [-j 1,2]
                                 [--variants t,c,f,p] [--keep]
    python3 bench/build_bench.py --self-test
"""

import argparse
import contextlib
import filecmp
import io
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BASE_TOOLS = ("floor", "make", "ninja")
VARIANTS = ("t", "c", "f", "p")
# Workloads on which vorn's non-default variants run too (enough to see what
# a worker process costs per job, on copies, commands, compiles and no-ops).
VARIANT_WORKLOADS = ("a", "d", "e", "f")
# Workloads with a no-op, where vorn also reads the Makefile (--gm) at 1 job:
# what the GNU make reader costs against vorn's own, on the same text.
GM_WORKLOADS = ("a", "f")
# No-op workloads of the GNU make reader alone: their tools, in running order,
# and the ratios shown (first over second).
GM_NOOP = {
    "h": (("floor", "vorn", "vorn-gm", "vorn-gmx", "vorn-gmb", "make", "make-b", "ninja"),
          (("vorn-gm", "vorn-gmx"), ("vorn-gm", "make"), ("vorn-gmb", "make-b"),
           ("vorn-gm", "ninja"))),
    "i": (("floor", "vorn-gm", "vorn-gmb", "make", "make-b"),
          (("vorn-gm", "make"), ("vorn-gmb", "make-b"))),
}
# A v goal's recipe sleeps 0.1 s after its u goal was touched; file times on
# a loaded machine may be coarse by a few ms.
ORDER_SLACK_S = 0.02

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
        self.rules = []  # (goal, deps, exist-only deps, recipe lines)
        self.outputs = []  # files a full build creates
        self.out_dirs = []  # directories a full build creates
        self.plan_full = []
        self.plan_noop = []
        self.checks = []  # functions(wdir) -> list of problems, after a full build
        self.seconds = {}  # goal -> seconds its recipe sleeps; set: floor is computed
        self.min_jobs = 1
        self.max_jobs = 64
        self.files = {}  # name -> text written besides (or instead of) the generated ones

    def rule(self, goal, deps, cmd, order=(), seconds=None):
        lines = [cmd] if isinstance(cmd, str) else list(cmd)
        self.rules.append((goal, list(deps), list(order), lines))
        if seconds is not None:
            self.seconds[goal] = seconds

    def rules_text(self):
        out = [".PHONY: all\n", "all: " + " ".join(r[0] for r in self.rules) + "\n"]
        for goal, deps, order, lines in self.rules:
            line = goal + ":"
            if deps:
                line += " " + " ".join(deps)
            if order:
                line += " | " + " ".join(order)
            out.append(line + "\n" + "".join("\t" + l + "\n" for l in lines))
        return "".join(out)

    def ninja_text(self):
        out = ["rule r\n  command = $cmd\n  description = $out\n"]
        for goal, deps, order, lines in self.rules:
            line = "build %s: r" % goal
            if deps:
                line += " " + " ".join(deps)
            if order:
                line += " || " + " ".join(order)
            out.append(line + "\n  cmd = " + " && ".join(lines).replace("$", "$$") + "\n")
        out.append("build all: phony " + " ".join(r[0] for r in self.rules) + "\n")
        out.append("default all\n")
        return "".join(out)

    def ideal_seconds(self, jobs):
        """The shortest possible build on `jobs` slots: no schedule beats the
        longest dependency path, nor the total work spread evenly."""
        deps = {r[0]: [d for d in r[1] + r[2] if d in self.seconds] for r in self.rules}
        finish = {}

        def path(goal):
            # Iterative: a long chain must not hit Python's recursion limit.
            todo = [goal]
            while todo:
                g = todo[-1]
                waiting = [d for d in deps.get(g, []) if d not in finish]
                if waiting:
                    todo += waiting
                    continue
                todo.pop()
                finish[g] = self.seconds[g] + max([finish[d] for d in deps.get(g, [])] or [0.0])
            return finish[goal]

        critical = max([path(g) for g in self.seconds] or [0.0])
        return max(critical, sum(self.seconds.values()) / jobs)

    def write(self, wdir):
        text = self.rules_text()
        for name in ("vorn.vorn", "Makefile"):
            with open(os.path.join(wdir, name), "w") as f:
                f.write(text)
        with open(os.path.join(wdir, "build.ninja"), "w") as f:
            f.write(self.ninja_text())
        for name, text in self.files.items():
            write_file(os.path.join(wdir, name), text)
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
    w.plan_full.append("W")
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


def gen_uneven(wdir, count):
    w = Workload("g", "%d+1 uneven" % count, ("full",))
    w.min_jobs = 2
    pairs = []
    for i in range(count + 1):
        # The long job comes last, so the others of its level are done early.
        pairs.append(("u%02d" % i, "v%02d" % i, 2.0 if i == count else 0.1))
    for u, _, secs in pairs:
        w.rule(u, [], ["sleep %g" % secs, "touch " + u], seconds=secs)
        w.outputs.append(u)
    for u, v, _ in pairs:
        w.rule(v, [u], ["sleep 0.1", "touch " + v], seconds=0.1)
        w.outputs.append(v)

    def after_their_level_one(wd):
        t = mtimes(wd, w.outputs)
        bad = [v for u, v, _ in pairs if t[v] - t[u] < (0.1 - ORDER_SLACK_S) * 1e9]
        return ["%d v goals less than 0.1 s newer than their u goal (first: %s)" %
                (len(bad), bad[0])] if bad else []

    w.checks.append(after_their_level_one)
    return w


def gen_objects(wdir, count, depfiles=False):
    w = Workload("i" if depfiles else "h",
                 "%d %s" % (count, "-include .d" if depfiles else "%.o: %.c"), ("noop",))
    w.max_jobs = 1
    os.makedirs(os.path.join(wdir, "s"))
    now = time.time_ns()
    t_src, t_obj, t_prog = (now - k * 10**9 for k in (300, 200, 100))
    headers = ["h/h%02d.h" % k for k in range(50)]
    if depfiles:
        os.makedirs(os.path.join(wdir, "h"))
        for h in headers:
            write_file(os.path.join(wdir, h), "", t_src)
    objs = []
    for i in range(count):
        src, obj = "s/f%04d.c" % i, "s/f%04d.o" % i
        write_file(os.path.join(wdir, src), "int f%04d;\n" % i, t_src)
        write_file(os.path.join(wdir, obj), "", t_obj)
        w.rule(obj, [src], "cp %s %s" % (src, obj))
        w.plan_noop += ["S " + src, "S " + obj]
        if depfiles:
            # As gcc -MMD -MP writes it: a continued line, an empty rule per header.
            hs = (headers[i % 50], headers[(i * 7 + 3) % 50])
            write_file(os.path.join(wdir, obj[:-1] + "d"), "%s: %s %s \\\n %s\n%s:\n%s:\n" %
                       ((obj, src) + hs + hs), t_obj)
            w.plan_noop += ["S " + h for h in hs]
        objs.append(obj)
    write_file(os.path.join(wdir, "prog"), "", t_prog)
    w.rule("prog", objs, "touch prog")
    w.plan_noop.append("S prog")
    w.noop_files = objs + ["prog"]
    head = ".PHONY: all\nall: prog\nOBJS = %s\nprog: $(OBJS)\n\ttouch $@\n" % " ".join(objs)
    w.files["Makefile"] = head + "%.o: %.c\n\tcp $< $@\n"
    if depfiles:
        w.files["Makefile"] += "-include $(OBJS:.o=.d)\n"
    else:
        w.files["explicit.mk"] = head + "".join("%s: %s\n\tcp $< $@\n" % (o, o[:-1] + "c")
                                                for o in objs)
    return w


GENERATORS = {
    "a": (gen_copies, 2000),
    "b": (gen_touches, 2000),
    "c": (gen_chain, 1000),
    "d": (gen_external, 200),
    "e": (gen_compile, 100),
    "f": (gen_uptodate, 20000),
    "g": (gen_uneven, 50),
    "h": (gen_objects, 5000),
    "i": (lambda wdir, count: gen_objects(wdir, count, True), 5000),
}


def build_floor(workdir):
    exe = os.path.join(workdir, "floor")
    r = subprocess.run(["gcc", "-O2", "-o", exe, os.path.join(HERE, "floor.c")],
                       capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit("build_bench: cannot compile floor.c:\n" + r.stderr)
    return exe


def vorn_tool(variant):
    return "vorn" if variant == "t" else "vorn-" + variant


def tool_label(tool, jobs):
    """Column and line name: the default vorn is --bg1 at 1 job, 't' above."""
    if tool == "vorn":
        return "vorn" if jobs == 1 else "vorn t"
    return tool.replace("-", " ")


def parse_list(text, allowed, what):
    items = [k.strip() for k in text.split(",") if k.strip()]
    bad = [k for k in items if k not in allowed]
    if bad or not items:
        sys.exit("build_bench: %s are %s; got %r" % (what, ",".join(allowed), text))
    return items


def parse_jobs(text):
    try:
        jobs = [int(k) for k in text.split(",") if k.strip()]
    except ValueError:
        jobs = []
    if not jobs or any(j < 1 or j > 64 for j in jobs):
        sys.exit("build_bench: -j wants job counts from 1 to 64, such as 1,2; got %r" % text)
    return sorted(set(jobs))


class Bench:
    def __init__(self, args, tools, workdir):
        self.args = args
        self.tools = tools  # name -> base argv ("vorn" also stands for its variants)
        self.variants = [v for v in args.variants if "vorn" in tools]
        self.workdir = workdir
        self.env = child_env()
        self.results = {}  # (key, kind, jobs, tool) -> list of (wall, rss)
        self.status = {}  # (key, kind, jobs, tool) -> "ok" or a failure word
        self.problems = []

    def tools_for(self, w, jobs):
        """The tools run for workload w at a job count, in running order."""
        if w.key in GM_NOOP:
            return [t for t in GM_NOOP[w.key][0] if t.split("-")[0] in self.tools]
        names = [t for t in BASE_TOOLS if t in self.tools and not (t == "floor" and w.seconds)]
        if "vorn" in self.tools:
            if jobs == 1:
                names.append("vorn")
                if w.key in GM_WORKLOADS:
                    names.append("vorn-gm")
            else:
                names += [vorn_tool(v) for v in self.variants
                          if v == "t" or w.key in VARIANT_WORKLOADS]
        return names

    def argv(self, tool, jobs, kind):
        if tool == "floor":
            return self.tools["floor"] + ["-j", str(jobs), "floor-%s.plan" % kind]
        if tool.startswith("make"):
            return ["make"] + (["-r"] if tool == "make" else []) + ["-j%d" % jobs, "-f", "Makefile"]
        if tool == "ninja":
            return ["ninja", "-j%d" % jobs]
        vorn = self.tools["vorn"]
        if tool.startswith("vorn-gm"):
            # No -j: sequential, as make without -j. gmb keeps the built-in rules.
            return [vorn, "--gm"] + ([] if tool == "vorn-gmb" else ["-r"]) + [
                "-f", "explicit.mk" if tool == "vorn-gmx" else "Makefile"]
        if jobs == 1:
            return [vorn, "--bg1"]
        variant = tool[len("vorn-"):] if tool.startswith("vorn-") else None
        return [vorn, "-j", str(jobs)] + (["--bg" + variant] if variant else [])

    def name(self, w, kind, jobs, tool):
        return "%s %s -j%d %s" % (w.key, kind, jobs, tool_label(tool, jobs))

    def timed(self, w, wdir, kind, jobs, tool):
        """One timed run; records it and returns the wall time, or None when
        the tool failed."""
        log = os.path.join(self.workdir, "logs",
                           "%s-%s-j%d-%s.log" % (w.key, kind, jobs, tool))
        # What the previous run left to write back (2,000 files, deleted
        # outputs) is written now, not charged to the next tool.
        os.sync()
        rc, wall, rss, timed_out = run_once(self.argv(tool, jobs, kind), wdir, log,
                                            self.args.timeout, self.env)
        slot = (w.key, kind, jobs, tool)
        if timed_out or rc != 0:
            why = "timeout" if timed_out else "failed"
            self.status[slot] = why
            self.problems.append("%s: %s%s" % (self.name(w, kind, jobs, tool), why,
                                               "" if timed_out else " (exit code %d)" % rc))
            self.problems += ["    " + line for line in log_tail(log)]
            return None
        self.results.setdefault(slot, []).append((wall, rss))
        self.status.setdefault(slot, "ok")
        return wall

    def mark_wrong(self, w, kind, jobs, tool, problems):
        self.status[(w.key, kind, jobs, tool)] = "WRONG"
        self.problems += ["%s: %s" % (self.name(w, kind, jobs, tool), p) for p in problems]

    def warm_up(self, w, wdir, job_counts, given_up):
        """An untimed first run per tool before a no-op-only workload: ninja has
        no log yet and rebuilds everything once; make and vorn must do nothing."""
        watched = w.noop_files
        ninja_warm = False
        for jobs in job_counts:
            for tool in self.tools_for(w, jobs):
                if tool == "floor" or (tool == "ninja" and ninja_warm):
                    continue
                argv = self.argv(tool, jobs, "noop") if tool != "ninja" else ["ninja", "-j4"]
                ninja_warm = ninja_warm or tool == "ninja"
                log = os.path.join(self.workdir, "logs",
                                   "%s-warmup-j%d-%s.log" % (w.key, jobs, tool))
                before = mtimes(wdir, watched)
                rc, _, _, timed_out = run_once(argv, wdir, log, self.args.timeout, self.env)
                after = mtimes(wdir, watched)
                changed = [n for n in watched if before[n] != after[n]]
                if tool != "ninja" and changed and not timed_out and rc == 0:
                    self.mark_wrong(w, "noop", jobs, tool,
                                    ["first run rebuilt %d up-to-date files (first: %s)" %
                                     (len(changed), changed[0])])
                if timed_out or rc != 0:
                    self.status[(w.key, "noop", jobs, tool)] = "timeout" if timed_out else "failed"
                    self.problems.append("%s warm-up: %s" % (
                        self.name(w, "noop", jobs, tool),
                        "timeout" if timed_out else "exit code %d" % rc))
                    self.problems += ["    " + line for line in log_tail(log)]
                    given_up.add((jobs, tool))

    def run_workload(self, w, wdir, job_counts):
        job_counts = [j for j in job_counts if w.min_jobs <= j <= w.max_jobs]
        given_up = set()  # (jobs, tool)
        if "noop" in w.kinds and "full" not in w.kinds:
            self.warm_up(w, wdir, job_counts, given_up)
        for _ in range(self.args.reps):
            for jobs in job_counts:
                for tool in self.tools_for(w, jobs):
                    if (jobs, tool) not in given_up:
                        self.run_tool(w, wdir, jobs, tool, given_up)
        return job_counts

    def run_tool(self, w, wdir, jobs, tool, given_up):
        watched = getattr(w, "noop_files", None)
        if "full" in w.kinds:
            w.reset(wdir)
            wall = self.timed(w, wdir, "full", jobs, tool)
            if wall is None:
                given_up.add((jobs, tool))
                return
            bad = w.check_full(wdir)
            if w.seconds:
                ideal = w.ideal_seconds(jobs)
                if wall < ideal - ORDER_SLACK_S:
                    bad.append("took %.3f s, less than the sleeps allow (%.3f s)" %
                               (wall, ideal))
            if bad:
                # Incomplete outputs make a no-op meaningless: skip it.
                self.mark_wrong(w, "full", jobs, tool, bad)
                return
            watched = w.outputs
        if "noop" in w.kinds:
            before = mtimes(wdir, watched)
            if self.timed(w, wdir, "noop", jobs, tool) is None:
                given_up.add((jobs, tool))
                return
            after = mtimes(wdir, watched)
            changed = [n for n in watched if before[n] != after[n]]
            if changed:
                self.mark_wrong(w, "noop", jobs, tool, ["no-op changed %d files (first: %s)" %
                                                        (len(changed), changed[0])])

    def median(self, w, kind, jobs, tool):
        """(wall, rss) medians of a tool's good runs; for a computed floor the
        ideal schedule; None when there is nothing sound to show."""
        if tool == "floor" and w.seconds:
            return w.ideal_seconds(jobs), 0.0
        runs = self.results.get((w.key, kind, jobs, tool))
        if not runs or self.status.get((w.key, kind, jobs, tool)) != "ok":
            return None
        return statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs)

    def cell(self, w, kind, jobs, tool, width=8):
        med = self.median(w, kind, jobs, tool)
        if med:
            return "%*s" % (width, seconds_text(med[0]))
        st = self.status.get((w.key, kind, jobs, tool))
        return "%*s" % (width, st if st and st != "ok" else "-")


def seconds_text(s):
    return "%.3f" % s if s < 1 else "%.2f" % s


def ratio(a, b, i=0):
    """a/b of two medians, wall time (i=0) or RSS (i=1)."""
    return "%7.2f" % (a[i] / b[i]) if a and b and b[i] > 0 else "%7s" % "-"


def label(w, kind):
    return "%s %s %s" % (w.key, w.title, "full" if kind == "full" else "no-op")


def print_runs(bench, done):
    """Every tool's runs: median, spread, memory and the check result."""
    print("%-26s %-3s %-7s %9s %9s %9s %8s  %s" %
          ("workload", "-j", "tool", "median s", "min s", "max s", "RSS MB", "check"))
    for w, job_counts in done:
        for kind in w.kinds:
            name = label(w, kind)
            for jobs in job_counts:
                for tool in bench.tools_for(w, jobs):
                    slot = (w.key, kind, jobs, tool)
                    runs = bench.results.get(slot)
                    st = bench.status.get(slot, "skipped")
                    head = "%-26s %-3d %-7s" % (name, jobs, tool_label(tool, jobs))
                    if tool == "floor" and w.seconds:
                        print("%s %9.3f %29s  ideal schedule" % (head, w.ideal_seconds(jobs), ""))
                    elif st in ("failed", "timeout") or not runs:
                        print("%s %9s" % (head, st))
                    else:
                        walls = [r[0] for r in runs]
                        print("%s %9.3f %9.3f %9.3f %8.1f  %s" %
                              (head, statistics.median(walls), min(walls), max(walls),
                               statistics.median(r[1] for r in runs), st))
                    name = ""


def print_tables(bench, done, job_counts):
    """One table per job count: median seconds per tool, then vorn's ratios."""
    for jobs in job_counts:
        rows = [(w, kind) for w, counts in done if jobs in counts and w.key not in GM_NOOP
                for kind in w.kinds]
        if not rows:
            continue
        vorns = ["vorn"] if jobs == 1 else [vorn_tool(v) for v in bench.variants]
        vorns = [t for t in vorns if "vorn" in bench.tools]
        cols = vorns + ["make", "ninja", "floor"]
        print()
        print("-j %d: median wall seconds (%s)" % (
            jobs, "vorn --bg1, make -r -j1, ninja -j1, floor -j 1" if jobs == 1 else
            "vorn -j %d [--bgc|--bgf|--bgp], make -r -j%d, ninja -j%d, floor -j %d" %
            (jobs, jobs, jobs, jobs)))
        print("%-26s%s   %7s %7s %7s   %7s %7s" %
              ("workload", "".join("%8s" % tool_label(t, jobs) for t in cols),
               "v/floor", "v/make", "v/ninja", "m/floor", "n/floor"))
        for w, kind in rows:
            med = {t: bench.median(w, kind, jobs, t) for t in ("vorn", "make", "ninja", "floor")}
            print("%-26s%s   %s %s %s   %s %s" %
                  (label(w, kind), "".join(bench.cell(w, kind, jobs, t) for t in cols),
                   ratio(med["vorn"], med["floor"]), ratio(med["vorn"], med["make"]),
                   ratio(med["vorn"], med["ninja"]), ratio(med["make"], med["floor"]),
                   ratio(med["ninja"], med["floor"])))


def print_gm(bench, done):
    """vorn --gm reading the Makefile beside vorn --bg1 reading vorn.vorn, make
    and ninja at 1 job: median wall seconds and peak RSS, with gm's ratios."""
    rows = [(w, kind) for w, counts in done if 1 in counts and w.key in GM_WORKLOADS
            for kind in w.kinds]
    if not rows:
        return
    tools = ("vorn", "vorn-gm", "make", "ninja")
    print()
    print("-j 1: vorn --gm -r -f Makefile beside vorn --bg1 (vorn.vorn), make -r -j1, ninja -j1")
    print("%-26s%s   %7s %7s %8s  |%s   %7s %7s %8s" %
          ("workload", "".join("%8s" % tool_label(t, 1) for t in tools),
           "gm/vorn", "gm/make", "gm/ninja", "".join("%8s" % tool_label(t, 1) for t in tools),
           "gm/vorn", "gm/make", "gm/ninja"))
    print("%-26s%32s%28s  |%32s" % ("", "median wall s", "", "max RSS MB"))
    for w, kind in rows:
        med = {t: bench.median(w, kind, 1, t) for t in tools}
        rss = "".join("%8.1f" % med[t][1] if med[t] else bench.cell(w, kind, 1, t)
                      for t in tools)
        gm = med["vorn-gm"]
        print("%-26s%s   %s %s %8s  |%s   %s %s %8s" %
              (label(w, kind), "".join(bench.cell(w, kind, 1, t) for t in tools),
               ratio(gm, med["vorn"]), ratio(gm, med["make"]), ratio(gm, med["ninja"]).strip(),
               rss, ratio(gm, med["vorn"], 1), ratio(gm, med["make"], 1),
               ratio(gm, med["ninja"], 1).strip()))


def print_gm_noop(bench, done):
    """h and i: each tool's command, then the ratios of median wall time and
    peak RSS."""
    for w, counts in done:
        if w.key not in GM_NOOP or 1 not in counts:
            continue
        print()
        print("%s at -j 1:" % label(w, "noop"))
        for t in bench.tools_for(w, 1):
            argv = bench.argv(t, 1, "noop")
            print("    %-9s %s" % (tool_label(t, 1), " ".join([os.path.basename(argv[0])] +
                                                              argv[1:])))
        for a, b in GM_NOOP[w.key][1]:
            ma, mb = bench.median(w, "noop", 1, a), bench.median(w, "noop", 1, b)
            print("    %-19s time %s  RSS %s" % ("%s / %s" % (tool_label(a, 1), tool_label(b, 1)),
                                                 ratio(ma, mb).strip(), ratio(ma, mb, 1).strip()))


def print_overheads(bench, done):
    """What a worker process costs per job, against worker threads, on d."""
    for w, job_counts in done:
        if w.key != "d":
            continue
        for jobs in job_counts:
            if jobs < 2:
                continue
            base = bench.median(w, "full", jobs, "vorn")
            parts = []
            for v in ("f", "p"):
                if v not in bench.variants:
                    continue
                med = bench.median(w, "full", jobs, vorn_tool(v))
                if base and med:
                    parts.append("--bg%s %+.2f ms" % (v, (med[0] - base[0]) / len(w.rules) * 1e3))
                else:
                    parts.append("--bg%s -" % v)
            if parts:
                print("overhead per job against --bgt on d (%d jobs, -j %d): %s" %
                      (len(w.rules), jobs, ", ".join(parts)))


class SelfTest(unittest.TestCase):
    """Checks of the parts that decide what the numbers mean: the computed
    floor, the floor program's job slots and the output checks."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorn-build-bench-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def floor_run(self, plan, jobs):
        exe = os.path.join(self.dir, "floor")
        if not os.path.exists(exe):
            build_floor(self.dir)
        with open(os.path.join(self.dir, "p.plan"), "w") as f:
            f.write("".join(step + "\n" for step in plan))
        t0 = time.perf_counter()
        r = subprocess.run([exe, "-j", str(jobs), "p.plan"], cwd=self.dir,
                           capture_output=True, text=True, timeout=30)
        return r.returncode, time.perf_counter() - t0, r.stderr

    def test_ideal_schedule(self):
        w = gen_uneven(self.dir, 50)
        # 50 x 0.1 + 2 on level one, 51 x 0.1 on level two; path 2 + 0.1.
        self.assertAlmostEqual(w.ideal_seconds(1), 12.1)
        self.assertAlmostEqual(w.ideal_seconds(2), 6.05)
        self.assertAlmostEqual(w.ideal_seconds(8), 2.1)
        chain = Workload("z", "chain", ("full",))
        for i in range(3000):  # deeper than Python's recursion limit
            chain.rule("c%d" % i, ["c%d" % (i + 1)] if i < 2999 else [], "x", seconds=0.5)
        self.assertAlmostEqual(chain.ideal_seconds(2), 1500.0)

    def test_uneven_rules(self):
        w = gen_uneven(self.dir, 3)
        text = w.rules_text()
        self.assertTrue(text.startswith(".PHONY: all\nall: u00 u01 u02 u03 v00 "))
        self.assertIn("u03:\n\tsleep 2\n\ttouch u03\n", text)
        self.assertIn("v01: u01\n\tsleep 0.1\n\ttouch v01\n", text)
        self.assertIn("build v01: r u01\n  cmd = sleep 0.1 && touch v01\n", w.ninja_text())

    def test_uneven_check(self):
        w = gen_uneven(self.dir, 1)
        now = time.time_ns()
        for name, age in (("u00", 3.0), ("v00", 2.5), ("u01", 2.0), ("v01", 1.95)):
            write_file(os.path.join(self.dir, name), "", now - int(age * 1e9))
        problems = w.check_full(self.dir)
        self.assertEqual(len(problems), 1)
        self.assertIn("first: v01", problems[0])
        os.unlink(os.path.join(self.dir, "v00"))
        self.assertIn("1 of 4 outputs missing", w.check_full(self.dir)[0])

    def fake_bench(self, script, variants):
        exe = os.path.join(self.dir, "fake-vorn")
        write_file(exe, "#!/bin/sh\necho \"$*\" >> %s/calls\n%s" % (self.dir, script))
        os.chmod(exe, 0o755)
        os.makedirs(os.path.join(self.dir, "logs"))
        args = argparse.Namespace(reps=2, timeout=20, variants=list(variants))
        return Bench(args, {"floor": [build_floor(self.dir)], "vorn": exe}, self.dir)

    def test_command_lines(self):
        bench = self.fake_bench("", ("t", "p"))
        # Two digits stay one word: vorn reads -j12 as 1 job and a goal 2.
        self.assertEqual(bench.argv("vorn", 12, "full")[1:], ["-j", "12"])
        self.assertEqual(bench.argv("vorn-p", 2, "full")[1:], ["-j", "2", "--bgp"])
        self.assertEqual(bench.argv("vorn", 1, "full")[1:], ["--bg1"])
        self.assertEqual(bench.argv("make", 2, "full"), ["make", "-r", "-j2", "-f", "Makefile"])
        self.assertEqual(bench.argv("floor", 2, "noop")[1:], ["-j", "2", "floor-noop.plan"])
        d, b, g = (gen(self.dir, 1) for gen in (gen_external, gen_touches, gen_uneven))
        self.assertEqual(bench.tools_for(d, 1), ["floor", "vorn"])
        self.assertEqual(bench.tools_for(d, 2), ["floor", "vorn", "vorn-p"])
        self.assertEqual(bench.tools_for(b, 2), ["floor", "vorn"])
        self.assertEqual(bench.tools_for(g, 2), ["vorn"])  # its floor is computed
        # --gm reads the Makefile, one recipe at a time whatever the job count.
        self.assertEqual(bench.argv("vorn-gm", 1, "noop")[1:], ["--gm", "-r", "-f", "Makefile"])
        da, df = os.path.join(self.dir, "a"), os.path.join(self.dir, "f")
        os.makedirs(da)
        os.makedirs(df)
        a, f = gen_copies(da, 1), gen_uptodate(df, 1)
        self.assertEqual(bench.tools_for(f, 1), ["floor", "vorn", "vorn-gm"])
        self.assertEqual(bench.tools_for(a, 1), ["floor", "vorn", "vorn-gm"])
        self.assertNotIn("vorn-gm", bench.tools_for(f, 2))

    def test_object_workloads(self):
        bench = self.fake_bench("", ("t",))
        dirs = {k: os.path.join(self.dir, k) for k in "hi"}
        for d in dirs.values():
            os.makedirs(d)
        h, i = gen_objects(dirs["h"], 12), gen_objects(dirs["i"], 12, True)
        for w in (h, i):
            w.write(dirs[w.key])
        self.assertEqual(bench.tools_for(h, 1),
                         ["floor", "vorn", "vorn-gm", "vorn-gmx", "vorn-gmb"])
        self.assertEqual(bench.argv("vorn-gmx", 1, "noop")[1:], ["--gm", "-r", "-f", "explicit.mk"])
        self.assertEqual(bench.argv("vorn-gmb", 1, "noop")[1:], ["--gm", "-f", "Makefile"])
        self.assertEqual(bench.argv("make-b", 1, "noop"), ["make", "-j1", "-f", "Makefile"])
        # The two texts differ only in how the objects are made.
        pattern, explicit = h.files["Makefile"], h.files["explicit.mk"]
        self.assertEqual(pattern.count("%"), 2)
        self.assertNotIn("%", explicit)
        self.assertEqual(pattern.split("%")[0], explicit.split("s/f0000.o: s/f0000.c")[0])
        with open(os.path.join(dirs["i"], "s", "f0011.d")) as f:
            self.assertEqual(f.read(), "s/f0011.o: s/f0011.c h/h11.h \\\n h/h30.h\n"
                                       "h/h11.h:\nh/h30.h:\n")
        if not shutil.which("make"):
            self.skipTest("make not found")
        # make -q: up to date as generated, with and without the built-in rules;
        # out of date once a header named only by f0011.d is newer.
        for d, f, r in ((dirs["h"], "Makefile", ["-r"]), (dirs["h"], "explicit.mk", ["-r"]),
                        (dirs["i"], "Makefile", ["-r"]), (dirs["i"], "Makefile", [])):
            q = subprocess.run(["make", "-q", "-f", f] + r, cwd=d)
            self.assertEqual(q.returncode, 0, (d, f, r))
        os.utime(os.path.join(dirs["i"], "h", "h30.h"))
        for obj, rc in (("s/f0011.o", 1), ("s/f0010.o", 0)):
            self.assertEqual(subprocess.run(["make", "-q", "-r", obj], cwd=dirs["i"]).returncode,
                             rc, obj)

    def test_failures_are_reported_and_skipped(self):
        # Fails with --bgf; otherwise succeeds without building anything.
        bench = self.fake_bench('case "$*" in *--bgf*) exit 2;; esac\n', ("t", "f"))
        wdir = os.path.join(self.dir, "d")
        os.makedirs(wdir)
        w = gen_external(wdir, 3)
        w.write(wdir)
        self.assertEqual(bench.run_workload(w, wdir, [1, 2]), [1, 2])
        st = {k[2:]: v for k, v in bench.status.items()}
        self.assertEqual(st, {(1, "floor"): "ok", (2, "floor"): "ok", (1, "vorn"): "WRONG",
                              (2, "vorn"): "WRONG", (2, "vorn-f"): "failed"})
        with open(os.path.join(self.dir, "calls")) as f:
            calls = f.read().splitlines()
        self.assertEqual(calls.count("-j 2 --bgf"), 1)  # given up after its failure
        self.assertEqual(calls.count("-j 2"), 2)
        self.assertIsNone(bench.median(w, "full", 2, "vorn"))
        self.assertEqual(bench.cell(w, "full", 2, "vorn-f").strip(), "failed")
        self.assertTrue(any("3 of 3 outputs missing" in p for p in bench.problems))

    def test_gm_noop_is_checked(self):
        # Only the --gm run touches an up-to-date output.
        bench = self.fake_bench('case "$*" in *--gm*) touch o/o00001;; esac\n', ("t",))
        wdir = os.path.join(self.dir, "f")
        os.makedirs(wdir)
        w = gen_uptodate(wdir, 3)
        w.write(wdir)
        self.assertEqual(bench.run_workload(w, wdir, [1]), [1])
        st = {k[2:]: v for k, v in bench.status.items()}
        self.assertEqual(st, {(1, "floor"): "ok", (1, "vorn"): "ok", (1, "vorn-gm"): "WRONG"})
        with open(os.path.join(self.dir, "calls")) as f:
            calls = f.read().splitlines()
        self.assertEqual(calls.count("--gm -r -f Makefile"), 3)  # warm-up and 2 timed runs
        self.assertEqual(calls.count("--bg1"), 3)
        self.assertTrue(any("o/o00001" in p for p in bench.problems))
        self.assertTrue(any("vorn gm: first run rebuilt" in p for p in bench.problems))
        self.assertIsNone(bench.median(w, "noop", 1, "vorn-gm"))

    def test_gm_table(self):
        bench = self.fake_bench("", ("t",))
        bench.tools.update(make=["make"], ninja=["ninja"])
        a, f = Workload("a", "x", ("full", "noop")), Workload("f", "y", ("noop",))
        runs = {"vorn": [(0.2, 30.0), (0.9, 90.0), (0.19, 29.0)],
                "vorn-gm": [(0.23, 36.0), (0.22, 35.0), (0.5, 99.0)],
                "make": [(0.1, 12.0)], "ninja": [(0.46, 24.0)]}
        for tool, r in runs.items():
            bench.results[("f", "noop", 1, tool)] = r
            bench.status[("f", "noop", 1, tool)] = "ok"
            bench.results[("a", "noop", 1, tool)] = r
            bench.status[("a", "noop", 1, tool)] = "ok"
        bench.status[("a", "noop", 1, "vorn-gm")] = "WRONG"
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            print_gm(bench, [(a, [1]), (f, [1, 2]), (gen_chain(self.dir, 2), [1])])
        rows = {l[:26].strip(): l[26:].split() for l in out.getvalue().splitlines()[4:]}
        self.assertEqual(sorted(rows), ["a x full", "a x no-op", "f y no-op"])  # c: no --gm
        # Medians, not means or first runs.
        self.assertEqual(rows["f y no-op"],
                         ["0.200", "0.230", "0.100", "0.460", "1.15", "2.30", "0.50",
                          "|", "30.0", "36.0", "12.0", "24.0", "1.20", "3.00", "1.50"])
        # A wrong run shows no number and no ratio.
        self.assertEqual(rows["a x no-op"][1], "WRONG")
        self.assertEqual(rows["a x no-op"][4:7], ["-", "-", "-"])

    def test_floor_runs_commands_side_by_side(self):
        plan = ["X sleep 0.4; touch a", "X sleep 0.4; touch b", "W",
                "X test -f a && test -f b && touch c"]
        rc, wall, _ = self.floor_run(plan, 2)
        self.assertEqual(rc, 0)
        self.assertLess(wall, 0.75)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "c")))
        for name in "abc":
            os.unlink(os.path.join(self.dir, name))
        rc, wall, _ = self.floor_run(plan, 1)
        self.assertEqual(rc, 0)
        self.assertGreaterEqual(wall, 0.8)

    def test_floor_steps_wait_for_commands(self):
        # T and S are not commands: they must see what the commands made.
        rc, _, err = self.floor_run(["D d", "X sleep 0.2; touch d/x", "C d/x d/y"], 2)
        self.assertEqual((rc, err), (0, ""))
        self.assertTrue(os.path.exists(os.path.join(self.dir, "d", "y")))

    def test_floor_failure(self):
        plan = ["X sleep 0.3; touch slow", "X exit 3", "X touch never", "X touch never2"]
        rc, _, err = self.floor_run(plan, 2)
        self.assertEqual(rc, 1)
        self.assertIn("command failed", err)
        # The running command was waited for; nothing started after the failure.
        self.assertTrue(os.path.exists(os.path.join(self.dir, "slow")))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "never2")))
        for args in (["-j", "0", "p.plan"], ["-j", "2x", "p.plan"], ["p.plan", "q"]):
            r = subprocess.run([os.path.join(self.dir, "floor")] + args, cwd=self.dir,
                               capture_output=True, text=True)
            self.assertEqual(r.returncode, 2, args)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("vorn", nargs="?", default="build-rel/vorn", help="vorn executable")
    ap.add_argument("-n", "--reps", type=int, default=3, help="repetitions (median taken)")
    ap.add_argument("-w", "--workloads", default="a,b,c,d,e,f,g,h,i",
                    help="comma-separated subset of a,b,c,d,e,f,g,h,i")
    ap.add_argument("-j", "--jobs", default="1,2", help="job counts, such as 1,2")
    ap.add_argument("--variants", default="t,c,f,p",
                    help="vorn variants at 2 or more jobs: t (default), c, f, p")
    ap.add_argument("--timeout", type=int, default=60, help="seconds per run")
    ap.add_argument("--keep", action="store_true", help="keep the work directory")
    ap.add_argument("--self-test", action="store_true", help="test this script and floor.c")
    args = ap.parse_args()

    if args.self_test:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(SelfTest)
        return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1
    keys = parse_list(args.workloads, sorted(GENERATORS), "workloads")
    args.variants = parse_list(args.variants, VARIANTS, "variants")
    job_counts = parse_jobs(args.jobs)
    if args.reps < 1:
        sys.exit("build_bench: repetitions >= 1")
    if not shutil.which("gcc"):
        sys.exit("build_bench: gcc is needed for the floor program and workload e")

    workdir = tempfile.mkdtemp(prefix="vorn-build-bench-")
    try:
        os.makedirs(os.path.join(workdir, "logs"))
        tools = {"floor": [build_floor(workdir)]}
        for exe in ("make", "ninja"):
            if shutil.which(exe):
                tools[exe] = [exe]
            else:
                print("build_bench: %s not found, skipped (apt-get install -y make ninja-build)" %
                      exe, file=sys.stderr)
        vorn = os.path.abspath(args.vorn)
        if os.access(vorn, os.X_OK):
            tools["vorn"] = vorn
        else:
            print("build_bench: no vorn executable at %s, vorn skipped" % vorn, file=sys.stderr)

        bench = Bench(args, tools, workdir)
        done = []  # (workload, the job counts it ran at)
        t_all = time.perf_counter()
        for key in keys:
            gen, count = GENERATORS[key]
            wdir = os.path.join(workdir, key)
            os.makedirs(wdir)
            w = gen(wdir, count)
            if not any(w.min_jobs <= j <= w.max_jobs for j in job_counts):
                need = ("-j %d only" if w.max_jobs == w.min_jobs else "-j %d or more") % w.min_jobs
                print("workload %s (%s): needs %s, skipped" % (key, w.title, need), file=sys.stderr)
                continue
            w.write(wdir)
            t0 = time.perf_counter()
            ran = bench.run_workload(w, wdir, job_counts)
            print("workload %s (%s): %.1f s" % (key, w.title, time.perf_counter() - t0),
                  file=sys.stderr)
            done.append((w, ran))

        print()
        print_runs(bench, done)
        print_tables(bench, done, job_counts)
        print_gm(bench, done)
        print_gm_noop(bench, done)
        print()
        print_overheads(bench, done)
        print("(%d runs each, medians; floor of g: the ideal schedule; total %.0f s)" %
              (args.reps, time.perf_counter() - t_all))

        if bench.problems:
            print()
            for p in bench.problems:
                print("PROBLEM: " + p)
        vorn_ok = True
        if "vorn" in tools:
            slots = {}
            for w, counts in done:
                for jobs in counts:
                    for tool in bench.tools_for(w, jobs):
                        if tool.startswith("vorn"):
                            for kind in w.kinds:
                                st = bench.status.get((w.key, kind, jobs, tool), "skipped")
                                slots.setdefault((jobs, tool), []).append((w.key, kind, st))
            for (jobs, tool), seen in sorted(slots.items()):
                bad = ["%s %s %s" % (k, kind, st) for k, kind, st in seen if st != "ok"]
                vorn_ok = vorn_ok and not bad
                print("vorn %s: builds and checks %s" % (
                    " ".join(bench.argv(tool, jobs, "full")[1:]),
                    "all passed" if not bad else "NOT all passed (%s)" % ", ".join(bad)))
        others_ok = all(bench.status.get((w.key, kind, jobs, t)) == "ok"
                        for w, counts in done for kind in w.kinds for jobs in counts
                        for t in bench.tools_for(w, jobs)
                        if not t.startswith("vorn") and not (t == "floor" and w.seconds))
        return 0 if others_ok and vorn_ok else 1
    finally:
        if args.keep:
            print("work directory kept: %s" % workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
