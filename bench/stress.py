#!/usr/bin/env python3
"""Stress runs of vorn, on demand (not in CI): interrupts, load, failures,
two runs at once and bad input. Linux only. Prints one figure block per part.

    python3 bench/stress.py BIN [--part NAME ...] [--runs 200] [--seed 1]

Parts:
  interrupts   --runs builds of 400 goals at -j 4 (built-in and outside
               commands and a nested run, each goal written in two steps),
               each stopped by SIGINT or SIGTERM at a random moment, in turn
               with every job variant. Counts processes left behind, batch
               files left in the temporary directory, goal files left
               half-written, half-written files trusted by the next complete
               run, and runs that did not end with exit code 2.
  load         5,000 goals at -j 64 with every job variant: all built, every
               output line once and whole; peak memory and time.
  failures     one failing job among 1,000 at -j 8: jobs started after it
               ended, started jobs not waited for, the failed goal's file,
               the exit code.
  concurrency  two runs at once in the same tree.
  badinput     a 100 MB rules file, a 10 MB line, 100,000 includes of one
               file, a recipe printing 1 MB per variant, a working directory
               longer than the path limit.
"""

import argparse
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
VARIANTS = ("bgt", "bgf", "bgp", "bgc")


def run(bin_, args, cwd, env=None, stdout=subprocess.DEVNULL):
    """Runs vorn; returns (exit code, seconds, peak RSS in MB of vorn itself, output)."""
    t0 = time.monotonic()
    p = subprocess.Popen([bin_] + args, cwd=cwd, env=env, stdout=stdout,
                         stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    out = p.stdout.read() if stdout == subprocess.PIPE else b""
    _, status, ru = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.stdout:
        p.stdout.close()
    return p.returncode, time.monotonic() - t0, ru.ru_maxrss / 1024, out


def tagged_processes(tag):
    """Processes whose environment holds the tag: anything a run left behind."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if tag.encode() in f.read():
                    found.append(int(pid))
        except OSError:
            pass
    return found


def kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


BIN_DIR = ""


def env_for(tmp, tag):
    env = {k: v for k, v in os.environ.items() if not k.startswith("VORN") and k != "MAKEFLAGS"}
    # The nested run's "vorn" is found on the path.
    env.update(TMP=tmp, TEMP=tmp, TMPDIR=tmp, STRESS_TAG=tag,
               PATH=BIN_DIR + os.pathsep + os.environ.get("PATH", ""))
    return env


# ---- interrupts -----------------------------------------------------------

FULL = "start\nend\n"


def two_step(name, outside):
    """A recipe that writes its goal in two steps with a pause between."""
    if outside:
        return "\tsh -c 'echo start > %s; sleep 0.01; echo end >> %s'\n" % (name, name)
    return "\techo start > %s\n\tsleep 0.01\n\techo end >> %s\n" % (name, name)


def write_tree(root, rng, n=400, nested=20):
    os.makedirs(os.path.join(root, "sub"))
    names = ["g%d" % i for i in range(n)]
    lines = ["all: " + " ".join(names) + " nest\n"]
    for i, g in enumerate(names):
        deps = sorted(set(rng.sample(names[:i], min(i, 2)))) if i else []
        lines.append("%s: %s\n" % (g, " ".join(deps)) + two_step(g, i % 3 == 2))
    lines.append("nest:\n\tvorn -j 2 -C sub\n\ttouch nest\n")
    with open(os.path.join(root, "vorn.vorn"), "w") as f:
        f.write("".join(lines))
    sub = ["s%d" % i for i in range(nested)]
    with open(os.path.join(root, "sub", "vorn.vorn"), "w") as f:
        f.write("all: " + " ".join(sub) + "\n")
        for s in sub:
            f.write("%s:\n" % s + two_step(s, False))
    return names, sub


def goal_files(root, names, sub):
    for g in names:
        yield os.path.join(root, g)
    for s in sub:
        yield os.path.join(root, "sub", s)


def half_written(root, names, sub):
    n = 0
    for path in goal_files(root, names, sub):
        try:
            with open(path) as f:
                if f.read() != FULL:
                    n += 1
        except FileNotFoundError:
            pass
    return n


def part_interrupts(bin_, args, rng, work):
    counts = dict(runs=0, left_processes=0, batch_files=0, temp_files=0, half_written=0, trusted=0,
                  not_exit2=0, no_exit=0)
    by_variant = {}
    for i in range(args.runs):
        variant = VARIANTS[i % len(VARIANTS)]
        sig = signal.SIGINT if rng.random() < 0.5 else signal.SIGTERM
        root = os.path.join(work, "int%d" % i)
        tmp = os.path.join(work, "tmp%d" % i)
        os.makedirs(tmp)
        names, sub = write_tree(root, rng)
        tag = uuid.uuid4().hex
        env = env_for(tmp, tag)
        p = subprocess.Popen([bin_, "-j", "4", "--" + variant], cwd=root, env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             stdin=subprocess.DEVNULL, start_new_session=True)
        time.sleep(rng.uniform(0.05, 1.5))
        os.kill(p.pid, sig)
        try:
            rc = p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            counts["no_exit"] += 1
            os.killpg(p.pid, signal.SIGKILL)
            rc = p.wait()
        time.sleep(0.3)
        left = tagged_processes(tag)
        kill_all(left)
        half = half_written(root, names, sub)
        batches = len(os.listdir(tmp))
        temps = sum(".vorn-tmp-" in f for _, _, fs in os.walk(root) for f in fs)
        # The next complete run must rebuild whatever was left half-written.
        rc2, _, _, _ = run(bin_, ["-j", "4", "--" + variant], root, env=env_for(tmp, tag))
        trusted = half_written(root, names, sub)
        kill_all(tagged_processes(tag))
        counts["runs"] += 1
        counts["left_processes"] += len(left)
        counts["batch_files"] += batches
        counts["temp_files"] += temps
        counts["half_written"] += half
        counts["trusted"] += trusted
        counts["not_exit2"] += rc != 2
        v = by_variant.setdefault(variant, [0, 0])
        v[0] += 1
        fault = rc != 2 or left or batches or temps or trusted or rc2 != 0
        v[1] += bool(fault)
        if fault:
            print("  run %d --%s %s: exit %d, left %d, batch files %d, temporary files %d, "
                  "half %d, trusted %d, next run exit %d"
                  % (i, variant, signal.Signals(sig).name, rc, len(left), batches, temps, half,
                     trusted, rc2))
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(tmp, ignore_errors=True)
    print("interrupts: %(runs)d runs; processes left %(left_processes)d, batch files left "
          "%(batch_files)d, temporary files of the built-in writers left %(temp_files)d, goal files half-written after the run %(half_written)d, "
          "half-written and trusted by the next run %(trusted)d, exit code not 2 %(not_exit2)d, "
          "no exit within 30 s %(no_exit)d" % counts)
    print("  per variant (runs, runs with a fault): %s" % by_variant)
    return counts["left_processes"] + counts["batch_files"] + counts["temp_files"] + \
        counts["trusted"] + \
        counts["not_exit2"] + counts["no_exit"] == 0


# ---- load -----------------------------------------------------------------

def part_load(bin_, args, rng, work):
    n = 5000
    root = os.path.join(work, "load")
    os.makedirs(root)
    lines = ["all: " + " ".join("g%d" % i for i in range(n)) + "\n"]
    for i in range(n):
        dep = " g%d" % rng.randrange(i) if i and rng.random() < 0.5 else ""
        # Three output lines per goal, one long: a torn line would not match.
        lines.append("g%d:%s\n\techo line-%d-a\n\techo line-%d-%s\n\techo line-%d-c > g%d\n"
                     % (i, dep, i, i, "b" * 200, i, i))
    with open(os.path.join(root, "vorn.vorn"), "w") as f:
        f.write("".join(lines))
    want = sorted(["line-%d-a" % i for i in range(n)] + ["line-%d-%s" % (i, "b" * 200)
                                                          for i in range(n)])
    ok = True
    for variant in VARIANTS:
        for i in range(n):
            try:
                os.remove(os.path.join(root, "g%d" % i))
            except FileNotFoundError:
                pass
        rc, secs, rss, out = run(bin_, ["-j", "64", "--" + variant], root,
                                 env=env_for(work, uuid.uuid4().hex), stdout=subprocess.PIPE)
        got = sorted(ln for ln in out.decode(errors="replace").splitlines()
                     if ln.startswith("line-"))
        built = sum(os.path.exists(os.path.join(root, "g%d" % i)) for i in range(n))
        good = rc == 0 and got == want and built == n
        ok = ok and good
        print("load --%s -j 64: exit %d, %d of %d goals built, output lines %s, %.2f s, "
              "peak %.0f MB" % (variant, rc, built, n, "all whole, once" if got == want else
                                "WRONG (%d of %d)" % (len(set(got) & set(want)), len(want)),
                                secs, rss))
    shutil.rmtree(root, ignore_errors=True)
    return ok


# ---- failures -------------------------------------------------------------

def part_failures(bin_, args, rng, work):
    n, bad = 1000, 500
    ok = True
    for variant in VARIANTS:
        root = os.path.join(work, "fail-" + variant)
        os.makedirs(root)
        lines = ["all: " + " ".join("g%d" % i for i in range(n)) + "\n"]
        for i in range(n):
            if i == bad:
                # Writes its file, then fails; the end is logged just before.
                lines.append("g%d:\n\tsh -c 'echo partial > g%d; sleep 0.05; "
                             "echo \"fail $(date +%%s.%%N)\" >> log; exit 3'\n" % (i, i))
            else:
                lines.append("g%d:\n\tsh -c 'echo \"start %d $(date +%%s.%%N)\" >> log; "
                             "sleep 0.02; echo \"done %d\" >> log; echo x > g%d'\n" % (i, i, i, i))
        with open(os.path.join(root, "vorn.vorn"), "w") as f:
            f.write("".join(lines))
        tag = uuid.uuid4().hex
        rc, secs, _, _ = run(bin_, ["-j", "8", "--" + variant], root, env=env_for(work, tag))
        left = tagged_processes(tag)
        kill_all(left)
        with open(os.path.join(root, "log")) as f:
            log = f.read().split("\n")
        fail_t = [float(ln.split()[1]) for ln in log if ln.startswith("fail ")]
        starts = {ln.split()[1]: float(ln.split()[2]) for ln in log if ln.startswith("start ")}
        dones = {ln.split()[1] for ln in log if ln.startswith("done ")}
        # A job handed over before the run saw the failure may log its start
        # after the failed job's end: at most one running and one handed
        # ahead per job slot. More than that would be new starts.
        after = sorted(t - fail_t[0] for t in starts.values() if fail_t and t > fail_t[0])
        bound = 2 * 8
        unwaited = [g for g in starts if g not in dones]
        gone = not os.path.exists(os.path.join(root, "g%d" % bad))
        good = rc == 2 and len(after) <= bound and not unwaited and gone and not left
        ok = ok and good
        print("failures --%s -j 8: exit %d, %d jobs started, %d logged their start after the "
              "failed job's end (at most %d may: handed over already; latest %.0f ms after), "
              "%d started and not waited for, failed goal's file %s, processes left %d, %.2f s"
              % (variant, rc, len(starts), len(after), bound, 1000 * max(after, default=0),
                 len(unwaited), "deleted" if gone else "KEPT", len(left), secs))
        shutil.rmtree(root, ignore_errors=True)
    return ok


# ---- concurrency ----------------------------------------------------------

def part_concurrency(bin_, args, rng, work):
    ok = True
    for variant in ("bg1",) + VARIANTS:
        root = os.path.join(work, "two-" + variant)
        names, sub = write_tree(root, rng)
        tag = uuid.uuid4().hex
        env = env_for(work, tag)
        a = ["-j", "4", "--" + variant] if variant != "bg1" else ["--bg1"]
        t0 = time.monotonic()
        ps = [subprocess.Popen([bin_] + a, cwd=root, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL) for _ in range(2)]
        outs = [p.communicate(timeout=300)[1].decode(errors="replace") for p in ps]
        secs = time.monotonic() - t0
        rcs = [p.returncode for p in ps]
        half = half_written(root, names, sub)
        crashed = any(rc < 0 or rc not in (0, 2) for rc in rcs)
        ok = ok and not crashed
        errs = [next((ln for ln in o.splitlines() if ln.startswith("!!")), "") for o in outs]
        rc3, _, _, _ = run(bin_, a, root, env=env)
        after = half_written(root, names, sub)
        print("concurrency --%s: exit codes %s, %.2f s, goal files not whole at the end %d, "
              "after one more run %d (exit %d)%s" % (variant, rcs, secs, half, after, rc3,
                                                     "; first errors: %s" % errs if any(errs)
                                                     else ""))
        kill_all(tagged_processes(tag))
        shutil.rmtree(root, ignore_errors=True)
    return ok


# ---- bad input ------------------------------------------------------------

def part_badinput(bin_, args, rng, work):
    ok = True
    root = os.path.join(work, "bad")
    os.makedirs(root)
    env = env_for(work, uuid.uuid4().hex)

    big = os.path.join(root, "big.vorn")
    subprocess.run([sys.executable, os.path.join(HERE, "gen_rules.py"), big, "--mb", "100"],
                   check=True, stdout=subprocess.DEVNULL)
    size = os.path.getsize(big)
    rc, secs, rss, _ = run(bin_, ["-f", big, "idle"], root, env=env)
    print("badinput 100 MB rules file: exit %d, %.1f s, peak %.0f MB = %.1f bytes per byte read"
          % (rc, secs, rss, rss * 2**20 / size))
    ok = ok and rc == 0
    os.remove(big)

    line = "X = " + "v" * (10 * 2**20) + "\nall:\n\techo ${X} > /dev/null\n"
    with open(os.path.join(root, "vorn.vorn"), "w") as f:
        f.write(line)
    rc, secs, rss, _ = run(bin_, ["--bg1"], root, env=env)
    print("badinput 10 MB line (and a recipe of that length): exit %d, %.2f s, peak %.0f MB"
          % (rc, secs, rss))
    ok = ok and rc in (0, 2)

    with open(os.path.join(root, "inc.vorn"), "w") as f:
        f.write("N = 1\n")
    with open(os.path.join(root, "vorn.vorn"), "w") as f:
        f.write("include inc.vorn\n" * 100000 + "all:\n")
    rc, secs, rss, _ = run(bin_, [], root, env=env)
    print("badinput 100,000 includes of one file: exit %d, %.2f s, peak %.0f MB"
          % (rc, secs, rss))
    ok = ok and rc == 0

    with open(os.path.join(root, "one_mb.txt"), "w") as f:
        for i in range(16384):
            f.write("%063d\n" % i)
    with open(os.path.join(root, "vorn.vorn"), "w") as f:
        f.write("all: a b\na:\n\tcat one_mb.txt\nb:\n\tsh -c 'cat one_mb.txt'\n")
    want = open(os.path.join(root, "one_mb.txt"), "rb").read()
    want_lines = sorted(want.split(b"\n")[:-1] * 2)
    for variant in ("bg1",) + VARIANTS:
        a = ["--bg1"] if variant == "bg1" else ["-j", "2", "--" + variant]
        rc, secs, rss, out = run(bin_, a, root, env=env, stdout=subprocess.PIPE)
        whole = out.count(want)
        lines_ok = sorted(ln for ln in out.split(b"\n") if ln) == want_lines
        # Only the one-at-a-time build and --bgp keep a job's output together;
        # elsewhere jobs write to the console as they go, whole lines each.
        together = variant in ("bg1", "bgp")
        print("badinput recipes printing 1 MB each, --%s: exit %d, every line whole and once "
              "per job: %s, %d of 2 outputs in one piece%s, %.2f s, peak %.0f MB"
              % (variant, rc, "yes" if lines_ok else "NO", whole,
                 " (required)" if together else "", secs, rss))
        ok = ok and rc == 0 and lines_ok and (whole == 2 or not together)

    # A working directory whose path is longer than the system's limit: made
    # and entered one step at a time, as only relative steps still work there.
    step, levels = "d" * 200, 30
    fd = os.open(root, os.O_RDONLY)
    for _ in range(levels):
        os.mkdir(step, dir_fd=fd)
        nfd = os.open(step, os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = nfd
    os.close(fd)

    def enter():
        os.chdir(root)
        for _ in range(levels):
            os.chdir(step)
        with open("vorn.vorn", "w") as f:
            f.write("all:\n")

    p = subprocess.run([bin_], preexec_fn=enter, env=env, capture_output=True, text=True)
    msg = p.stderr.strip().splitlines()
    print("badinput working directory of %d bytes: exit %d, message: %s"
          % (len(root) + levels * 201, p.returncode, msg[0] if msg else "NONE"))
    ok = ok and p.returncode == 2 and "working directory" in p.stderr
    shutil.rmtree(root, ignore_errors=True)
    return ok


PARTS = dict(interrupts=part_interrupts, load=part_load, failures=part_failures,
             concurrency=part_concurrency, badinput=part_badinput)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("bin")
    ap.add_argument("--part", action="append", choices=sorted(PARTS))
    ap.add_argument("--runs", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    bin_ = os.path.abspath(args.bin)
    global BIN_DIR
    BIN_DIR = os.path.dirname(bin_)
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="vorn-stress-")
    ok = True
    try:
        for name in args.part or list(PARTS):
            ok = PARTS[name](bin_, args, rng, work) and ok
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("stress: %s" % ("all figures as required" if ok else "SOME FIGURES FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
