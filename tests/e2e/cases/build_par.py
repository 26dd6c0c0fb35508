# The parallel build: ready jobs run at the same time, dependants wait for
# their dependencies and no longer, a failure stops new starts, the job
# variants, the worker processes, the hang report and interrupts.
import os
import random
import runpy
import re

from e2elib import (All, Case, Has, HasRe, Matcher, Not, Re, as_matcher, done_ok, error, esc,
                    info)

J2 = ["-j", "2"]


def extra(variant="bgt", n=2):
    """The jobs part of the summary: variant and queue capacity."""
    return " %s-jobs %d |" % (variant, n)


def ok_summary(variant="bgt", n=2):
    return done_ok(extra1=extra(variant, n))


def in_order(*pieces):
    """The literal lines appear in this order (other lines may come between)."""
    return HasRe(r"(?:^|\n)" + r"\n(?:[^\n]*\n)*?".join(esc(p) for p in pieces) + r"\n")


def failed(*first, goal="all", variant="bgt", n=2):
    """A failed top-level parallel run: the given error lines, the report for
    the requested goal, and the error summary as the last line."""
    lines = [error(ln) for ln in first] + [error("Build failed for Goal: " + goal)]
    return All(in_order(*lines),
               Re(r"[\s\S]*\n!! vorn \| proj \| Errors [0-9]+ \| Time @T@ sec \|"
                  + esc(extra(variant, n)) + r" error: 2\n"))


def rules(text, **more):
    f = {"vorn.vorn": text}
    f.update(more)
    return f


def par(name, text, args=(), files=None, stderr=None, **kw):
    """A default-variant run with two jobs."""
    f = rules(text)
    f.update(files or {})
    return Case(name, J2 + list(args), files=f,
                stderr=ok_summary() if stderr is None else stderr, **kw)


CASES = [
    # ---- the job count (how many run at once: Overlap below) ----
    Case("default job count is the processor count", [], files=rules("all:\n\ttouch t\n"),
         stderr=ok_summary(n=os.cpu_count() or 1), expect_files={"t": ""}),

    # ---- dependencies first (and each job once: RunOrder below), file times ----
    # out1 is newer than its source and stays; out2 is older and is rebuilt,
    # which makes final (newer than src2, but older than out2's new time)
    # out of date too.
    par("file times decide, rebuilt dependencies count as new",
        "all: final out1\n"
        "final: out2\n\techo new > final\n"
        "out1: src1\n\techo new > out1\n"
        "out2: src2\n\techo new > out2\n",
        files={"src1": "", "src2": "", "out1": "old\n", "out2": "old\n", "final": "old\n"},
        times={"src1": -100, "out1": -10, "out2": -100, "src2": -50, "final": -10},
        expect_files={"out1": "old\n", "out2": "new\n", "final": "new\n"}),
    # The walk that meets the missing file fails, so the job it found first is
    # not started.
    par("missing file stops the build before any job starts",
        "all: a nope\na:\n\techo a > a.txt\n",
        exit=2, stderr=failed("Cannot build Goal: nope | cwd: @CWD@"),
        expect_files={"a.txt": None}),

    # Each requested goal is judged afresh, one after the other: the phony p
    # runs for both; a failing one stops the rest.
    par("requested goals one after the other",
        ".PHONY: p\nx: p\n\techo x >> log.txt\ny: p\n\techo y >> log.txt\n"
        "p:\n\tsleep 0.2\n\techo p >> log.txt\n",
        args=["y", "x"], expect_files={"log.txt": "p\ny\np\nx\n"}),
    par("failing requested goal stops the later ones",
        "x:\n\texit 3\ny:\n\techo y > y.txt\n", args=["x", "y"],
        exit=2, stderr=failed(goal="x"), expect_files={"y.txt": None}),

    # Every link of a long chain is also a goal of its own: a waiting goal is
    # visited again only when what it waits for is decided, so the run stays quick.
    par("long chain named in full",
        "all: " + " ".join("c%d" % i for i in range(300)) + "\nc0:\n\ttouch c0\n"
        + "".join("c%d: c%d\n\ttouch c%d\n" % (i, i - 1, i) for i in range(1, 300)),
        expect_files={"c0": "", "c299": ""}, max_seconds=30, timeout=60),

    # A cycle that the graph check was told to skip is met during the walk.
    par("cycle met during the walk",
        "all: a c\na: b\n\ttouch a\nb: c\n\ttouch b\nc: a\n\ttouch c\n",
        args=["--DC", "c"], exit=2, timeout=20,
        stderr=failed("Circular dependency at Goal: a | cwd: @CWD@"),
        expect_files={"a": None, "b": None, "c": None}),

    # ---- a failing job ----
    # (A failing job among others: "stops on a failing job" below.)
    par("failing job with -D x names the command",
        "all:\n\techo one > one.txt\n\texit 3\n\techo two > two.txt\n", args=["-D", "x"],
        exit=2, stderr=All(Has(info("bg run error: 3 | Cmd: exit 3 | cwd: @CWD@")),
                           failed()),
        expect_files={"one.txt": "one\n", "two.txt": None}),

    # Quiet: the jobs' echo lines and every message stay silent, the exit
    # code still tells the failure.
    par("quiet parallel run", "all: a b\na:\n\techo hi\n\ttouch a\nb:\n\tsleep 0.2\n\texit 3\n",
        args=["-q"], stdout="", stderr="", exit=2, expect_files={"a": ""}),

    # ---- inline mode ----
    # Inline mode: every recipe in the main thread, one after the other.
    Case("negative job count runs inline", ["-j", "-1", "-D", "r"],
         files=rules("all: a b\n\techo all >> log.txt\n"
                     "a:\n\tsleep 0.3\n\techo a >> log.txt\nb:\n\techo b >> log.txt\n"),
         stderr=All(in_order(info("one apply Rule: a"), info("one apply Rule: b"),
                             info("one apply Rule: all")),
                    Not(Has("job apply Rule")),
                    Re(r"[\s\S]*\n~~ vorn \| proj \| Done \| Time @T@ sec \|"
                       r"(?: [^|\n]*\|)? ret_code: 0\n")),
         expect_files={"log.txt": "a\nb\nall\n"}),

    Case("inline failure stops at once", ["-j", "-1"],
         files=rules("all: a b\n\techo all > all.txt\na:\n\texit 3\nb:\n\techo b > b.txt\n"),
         exit=2, stderr=All(HasRe(esc(error("Build failed for Goal: all")) + "\n"),
                            HasRe(r"\n!! vorn \| proj \| Errors [0-9]+ \| Time @T@ sec \|"
                                  r"(?: [^|\n]*\|)? error: 2\n$")),
         expect_files={"b.txt": None, "all.txt": None}),

    # ---- the hang report ----
    # It names the jobs, and again every time-out while none ends.
    par("hang report names the waiting jobs",
        "all: a b\na:\n\tsleep 1\nb:\n\tsleep 1\n",
        env={"VORN_JOBS_HANG_TIMEOUT_SEC": "0.3"},
        stderr=All(in_order(info("Waiting for : a b | Timeout 0.300 sec"),
                            info("Waiting for : a b | Timeout 0.300 sec")),
                   Re(r"[\s\S]*" + esc(extra()) + r" ret_code: 0\n"))),
    # Heavy jobs are named first, on a line of their own.
    par("hang report lists heavy jobs first",
        "all: u h\nu:\n\tsleep 1\nh:\n\tvorn -C sub --bg1\n",
        files={"sub/vorn.vorn": "all:\n\tsleep 1\n"},
        env={"VORN_JOBS_HANG_TIMEOUT_SEC": "0.3"},
        stderr=All(Has(info("Waiting for : h | Timeout 0.300 sec") + "\n"
                       + info("Waiting for : u | Timeout 0.300 sec") + "\n"),
                   Re(r"[\s\S]*" + esc(extra()) + r" ret_code: 0\n"))),
    par("hang report off with 0", "all:\n\tsleep 0.5\n",
        env={"VORN_JOBS_HANG_TIMEOUT_SEC": "0"}),
    # A nested run gets -D j too, but only the top level traces it.
    par("hang time-out traced at the top level only", "all:\n\tvorn -C sub\n",
        args=["-D", "j"], files={"sub/vorn.vorn": "all:\n\ttouch u\n"},
        stderr=[info("Job hang timeout 20.250 sec 20250 ms")] + ok_summary(),
        expect_files={"sub/u": ""}),

    # ---- nested runs from parallel recipes ----
    # Each nested run notes its start, waits, and notes its end.
    par("nested runs side by side", "all: s1 s2\ns1:\n\tvorn -C sub1\ns2:\n\tvorn -C sub2\n",
        files={"sub1/vorn.vorn": "all:\n\techo s1 >> ../log.txt\n\tsleep 1\n"
                                 "\techo e1 >> ../log.txt\n",
               "sub2/vorn.vorn": "all:\n\techo s2 >> ../log.txt\n\tsleep 1\n"
                                 "\techo e2 >> ../log.txt\n"},
        expect_files={"log.txt": Re(r"(s1\ns2|s2\ns1)\n(e1\ne2|e2\ne1)\n")}),
    par("nested failure beside a nested success",
        "all: s1 s2\n\techo all > all.txt\ns1:\n\tvorn -C sub1\ns2:\n\tmake -C sub2\n",
        files={"sub1/vorn.vorn": "all:\n\tsleep 0.5\n\techo one > out.txt\n",
               "sub2/vorn.vorn": "all: nope\n"},
        exit=2, stderr=All(Has(error("Cannot build Goal: nope | cwd: @CWD@/sub2",
                                     "vorn 2 | sub2") + "\n"), failed()),
        expect_files={"sub1/out.txt": "one\n", "all.txt": None}),
]

# The time-out as read, with -D j (the default: above): a word reads as 0 (off).
for _value, _shown in (("1.5", "1.500 sec 1500 ms"), ("soon", "0.000 sec 0 ms")):
    CASES.append(par("hang time-out %s" % _value, "all:\n", args=["-D", "j"],
                     env={"VORN_JOBS_HANG_TIMEOUT_SEC": _value},
                     stderr=[info("Job hang timeout " + _shown)] + ok_summary()))

# ---- never more jobs at once than the job count, and that many when possible ----


class Overlap(Matcher):
    """Lines "s NAME" and "e NAME" mark a job's start and end: at most, and at
    some moment exactly, `most` jobs were running."""

    def __init__(self, most):
        self.most = most

    def check(self, text, ctx):
        running, peak = set(), 0
        for line in text.splitlines():
            mark, name = line.split()
            if mark == "s":
                running.add(name)
            else:
                running.discard(name)
            peak = max(peak, len(running))
        if peak != self.most or running:
            return "%d jobs at once (%d expected), left: %s\n%s" % (
                peak, self.most, " ".join(sorted(running)), text)
        return None


def _overlapping(count, pause):
    names = ["g%d" % i for i in range(count)]
    return "all: %s\n" % " ".join(names) + "".join(
        "%s:\n\techo s %s >> log.txt\n\tsleep %s\n\techo e %s >> log.txt\n" % (g, g, pause, g)
        for g in names)


for _v, _n, _pause in (("bgt", 1, "0.3"), ("bgt", 2, "0.3"), ("bgt", 3, "0.3"), ("bgf", 2, "0.6"),
                       ("bgp", 2, "0.6")):
    CASES.append(Case("at most %d jobs at once, --%s" % (_n, _v), ["-j", str(_n), "--" + _v],
                      files=rules(_overlapping(5, _pause)), stderr=ok_summary(_v, _n),
                      expect_files={"log.txt": Overlap(_n)}))

# ---- a random graph: every reachable goal once, after its dependencies ----


class RunOrder(Matcher):
    """The text names every goal of deps once per line, each after all of its
    dependencies."""

    def __init__(self, deps):
        self.deps = deps

    def check(self, text, ctx):
        seen = {}
        for n, name in enumerate(text.split()):
            if name in seen:
                return "%s ran twice" % name
            for d in self.deps.get(name, ()):
                if d not in seen:
                    return "%s ran before its dependency %s" % (name, d)
            seen[name] = n
        missing = sorted(set(self.deps) - set(seen))
        return "never ran: %s" % " ".join(missing) if missing else None


def _random_graph(seed, count):
    rnd = random.Random(seed)
    names = ["g%02d" % i for i in range(count)]
    deps = {g: sorted(rnd.sample(names[i + 1:], min(len(names) - i - 1, rnd.randint(1, 3))))
            for i, g in enumerate(names)}
    reached, todo = set(), names[:8]
    while todo:
        g = todo.pop()
        if g not in reached:
            reached.add(g)
            todo += deps[g]
    text = "all: %s\n" % " ".join(names[:8])
    for g in names:
        text += "%s: %s\n" % (g, " ".join(deps[g]))
        text += "\tsleep 0.0%d\n" % rnd.randint(0, 5) if rnd.random() < 0.3 else ""
        text += "\techo %s >> log.txt\n" % g
    return text, {g: deps[g] for g in reached}


GRAPH, GRAPH_DEPS = _random_graph(11, 40)

# ---- the sequential build's cases again, with the default variant ----
# Same decisions by file times, same files, same outcome.
for _c in runpy.run_path(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                      "build_seq.py"))["CASES"]:
    _c = dict(_c, name="as sequential: " + _c["name"],
              args=J2 + [a for a in _c["args"] if a != "--bg1"],
              stderr=as_matcher(ok_summary()) if _c["exit"] == 0
              else Re(r"[\s\S]*\n!! vorn \| proj \| Errors [0-9]+ \| [^\n]* error: 2\n"))
    CASES.append(_c)

# ---- every variant: up-to-date decisions, order, errors, failures ----
# a and f start (with one slot, a alone), c waits for a slot. f fails while a
# runs: c and all never start, a is waited for and finishes. The failing
# built-in's own message reaches the console under the run's header.
STOPS = rules("all: a f c\n\techo all > all.txt\n"
              "a:\n\tsleep 0.8\n\techo a > a.txt\n"
              "f:\n\tsleep 0.1\n\trmdir plain\n"
              "c:\n\techo c > c.txt\n", plain="")

# Enough files for the times to be read ahead on a second thread: g007 is
# older than its source, g123 missing, the rest up to date. In the sequential
# build g010's recipe also touches s020, which g020 must then see as newer.
BIG = 600
BIG_FILES = {"s%03d" % i: "" for i in range(BIG)}
BIG_FILES.update({"g%03d" % i: "old\n" for i in range(BIG) if i not in (10, 123)})
BIG_TIMES = {"s%03d" % i: -100 for i in range(BIG)}
BIG_TIMES.update({"g%03d" % i: -50 for i in range(BIG) if i not in (10, 123)})
BIG_TIMES["g007"] = -200


def big_rules(side_effect):
    text = "all: " + " ".join("g%03d" % i for i in range(BIG)) + "\n"
    for i in range(BIG):
        text += "g%03d: s%03d\n\techo new > g%03d\n" % (i, i, i)
        if i == 10 and side_effect:
            text += "\ttouch s020\n"
    return rules(text, **BIG_FILES)


for _v, _n in (("bgt", 2), ("bgc", 1), ("bgf", 2), ("bgp", 2), ("bg1", 0)):
    _summary = done_ok() if _v == "bg1" else ok_summary(_v, _n)
    _expect = {"g007": "new\n", "g123": "new\n", "g010": "new\n", "g005": "old\n",
               "g599": "old\n"}
    if _v == "bg1":
        _expect["g020"] = "new\n"
    CASES.append(Case("variant --%s reads times ahead" % _v, J2 + ["--" + _v],
                      files=big_rules(_v == "bg1"), times=BIG_TIMES, stderr=_summary,
                      expect_files=_expect))
    _summary3 = done_ok() if _v == "bg1" else ok_summary(_v, 1 if _v == "bgc" else 3)
    CASES.append(Case("variant --%s on a random graph" % _v, ["-j", "3", "--" + _v],
                      files=rules(GRAPH), stderr=_summary3,
                      expect_files={"log.txt": RunOrder(GRAPH_DEPS)}))
    if _v == "bg1":
        continue
    CASES.append(Case("variant --%s stops on a failing job" % _v, J2 + ["--" + _v],
                      files=STOPS, exit=2,
                      stderr=failed("Not a directory 'plain' | cwd: @CWD@",
                                    "Command failed with code 2: rmdir plain", variant=_v, n=_n),
                      expect_files={"a.txt": "a\n", "c.txt": None, "all.txt": None}))

# A long job holds back only the goals that depend on it: the chain under b
# is built while a sleeps, and all goes last.
LONG = rules("all: a b\n\techo all >> log.txt\n"
             "a:\n\tsleep 1.5\n\techo a >> log.txt\n"
             "b: b1\n\techo b >> log.txt\n"
             "b1: b2\n\techo b1 >> log.txt\n"
             "b2:\n\techo b2 >> log.txt\n")
for _v in ("bgt", "bgf", "bgp"):
    CASES.append(Case("a long job holds back only its dependants, --%s" % _v, J2 + ["--" + _v],
                      files=LONG, stderr=ok_summary(_v),
                      expect_files={"log.txt": "b2\nb1\nb\na\nall\n"}))

class OnePiece(Matcher):
    """Two outputs whole, one after the other in either order."""

    def __init__(self, one, other):
        self.one, self.other = one, other

    def check(self, text, ctx):
        if text in (self.one + self.other, self.other + self.one):
            return None
        return "not the two outputs one after the other: %d bytes, starting %r" % (
            len(text), text[:200])


# 20 MB of numbered lines, so a piece lost, doubled or moved shows; b prints
# while a is still printing.
HUGE_OUT = "".join("%07d\n" % i for i in range(2500000))
HUGE_FILES = {"huge.txt": HUGE_OUT, "tmp/": ""}
HUGE_RULES = ("all: a b\n"
              "a:\n\tcat huge.txt\n\tsleep 0.3\n\texit 3\n"
              "b:\n\tsleep 0.1\n\techo b1\n\tsleep 0.1\n\techo b2\n")

BIG = ("all: a b\na:\n" + "".join("\techo line %05d of job a\n" % i for i in range(6000))
       + "b:\n" + "".join("\techo %05d >> many.txt\n" % i for i in range(4000)))
BIG_OUT = "".join("line %05d of job a\n" % i for i in range(6000))
BIG_FILES = {"many.txt": "".join("%05d\n" % i for i in range(4000))}

# The pauses between looks at the queue end as soon as a job ends: a chain of
# three jobs with pauses of a second each takes nowhere near three seconds.
for _v in ("bgt", "bgf", "bgp"):
    CASES.append(Case("long pauses end with the job, --%s" % _v,
                      J2 + ["--" + _v, "--jwb", "1000", "--jwe", "1000", "--jweh", "1000"],
                      files=rules("all: d\nd: c\n\ttouch d\nc: b\n\ttouch c\nb:\n\ttouch b\n"),
                      stderr=ok_summary(_v), expect_files={"d": ""}, max_seconds=2.9))

CASES += [
    # File-fed workers delete their batch files from TMP, whatever the result.
    # (Wine sets TMP from its own settings, so these are POSIX cases.)
    Case("file workers remove their batch files, with a blank in TMP", J2 + ["--bgf"],
         files=rules("all: a b c\na:\n\ttouch a\nb:\n\ttouch b\nc:\n\ttouch c\n",
                     **{"my tmp/": ""}),
         env={"TMP": "@CWD@/my tmp"}, stderr=ok_summary("bgf"), empty_dirs=["my tmp"],
         only="posix", expect_files={"a": "", "b": "", "c": ""}),
    Case("file workers remove their batch files after a failure", J2 + ["--bgf"],
         files=dict(STOPS, **{"tmp/": ""}), env={"TMP": "@CWD@/tmp"}, exit=2, only="posix",
         stderr=failed(variant="bgf"), empty_dirs=["tmp"], expect_files={"all.txt": None}),
    # The batch files go to TMP: when it does not exist no job can start.
    Case("file workers need TMP", J2 + ["--bgf"], files=rules("all:\n\ttouch t\n"),
         env={"TMP": "@CWD@/nodir"}, exit=2, only="posix",
         stderr=HasRe(esc(error("Build failed for Goal: all"))),
         expect_files={"t": None, "nodir": None}),

    # Worker processes: the output of each arrives whole, after it ended. Output
    # far beyond what a worker's output is held in memory for still comes whole
    # and in one piece, ahead of or after the other job's; the temporary files
    # it went through are gone, also after a failure.
    Case("pipe worker's large output stays whole after a failure",
         J2 + ["--bgp", "-D", "cat"], files=rules(HUGE_RULES, **HUGE_FILES),
         env={"TMP": "@CWD@/tmp"}, exit=2, stdout=OnePiece(HUGE_OUT, "b1\nb2\n"),
         stderr=failed("Command failed with code 3: exit 3", variant="bgp"), empty_dirs=["tmp"]),

    # The worker entries themselves: a batch ends with the marker line.
    # (Wine cannot peek into a pipe made outside it, so the pipe worker fed by
    # this runner is a POSIX case; under Wine --bgp above feeds it.)
    Case("pipe worker exits with the batch's code", ["--jxbgp"],
         stdin=b"echo one > f.txt\nexit 3\necho two > g.txt\n//$\n", exit=3, stderr=None,
         expect_files={"f.txt": "one\n", "g.txt": None}, only="posix"),
    Case("pipe worker without the marker runs nothing", ["--jxbgp"],
         stdin=b"echo one > f.txt\n", exit=2, stderr=None, expect_files={"f.txt": None}),
    Case("pipe worker runs its batch, CR LF line ends too", ["--jxbgp"],
         stdin=b"echo one\r\necho two > f.txt\r\necho 3 >> f.txt\r\n//$\r\n", stdout="one\n",
         stderr=None, expect_files={"f.txt": "two\n3\n"}, only="posix"),
    Case("file worker without the marker runs nothing", ["--jxbgf", "batch"],
         files={"batch": "echo one > f.txt\n"}, exit=2, stderr=None,
         expect_files={"f.txt": None, "batch": None}),
    # It takes the options handed on (-q: no echo), ends with the batch's code
    # and deletes the batch file.
    Case("file worker runs and deletes its batch", ["--jxbgf", "-q", "batch"],
         files={"batch": "echo hidden\necho one > f.txt\nexit 4\n//$\n"}, exit=4, stderr=None,
         expect_files={"f.txt": "one\n", "batch": None}),
]

# Worker processes run lines as the run itself would: quiet stays quiet, and
# with --sys the built-in rm (which takes no operands) is left to the
# interpreter, whose rm wants one. Workers are this very executable, also
# when its directory is not on PATH. A batch larger than a pipe holds, and
# output larger than a pipe holds.
for _v in ("--bgf", "--bgp"):
    CASES += [
        Case("%s workers without the executable on PATH" % _v, J2 + [_v],
             files=rules("all:\n\ttouch t\n"), env={"PATH": "/usr/bin:/bin", "WINEPATH": None},
             stderr=ok_summary(_v[2:]), expect_files={"t": ""}),
        Case("%s workers take large batches and give large output" % _v, J2 + [_v],
             files=rules(BIG), stdout=BIG_OUT, stderr=ok_summary(_v[2:]), expect_files=BIG_FILES),
        Case("quiet %s workers" % _v, J2 + [_v, "-q"], files=rules("all:\n\techo hidden\n"),
             stderr=""),
        Case("--sys reaches %s workers" % _v, J2 + [_v, "--sys"], files=rules("all:\n\trm\n"),
             exit=2, stderr=HasRe(esc(error("Build failed for Goal: all")))),
    ]

# An interrupt stops every job's commands and ends the run soon (its own time
# stays well below the 3 s of the sleeps), with the summary; nothing keeps
# running (the late files would appear after 3 s).
INTERRUPTED = rules("all: a b\n\techo x > f\n"
                    "a:\n\tsleep 3; echo late > late_a.txt\n"
                    "b:\n\tsleep 3; echo late > late_b.txt\n")
for _sig, _sname, _v in ((15, "SIGTERM", "bgt"), (2, "SIGINT", "bgt"), (15, "SIGTERM", "bgf"),
                         (15, "SIGTERM", "bgp")):
    CASES.append(Case("interrupt by %s with --%s" % (_sname, _v), J2 + ["--" + _v],
                      files=INTERRUPTED, interrupt=(1.0, _sig), exit=2, only="posix",
                      timeout=20, settle=3,
                      expect_files={"f": None, "late_a.txt": None, "late_b.txt": None},
                      stderr=All(HasRe(r"SIG %d pid" % _sig),
                                 HasRe(esc(error("Build failed for Goal: all"))),
                                 HasRe(r"\n!! vorn \| proj \| Errors [0-9]+ \| Time [0-2]\.[0-9]{3}"
                                       r" sec \|" + esc(extra(_v)) + r" error: 2\n$"))))

# A nested run started by a job is stopped with its own commands.
CASES.append(par("interrupt stops a nested run",
                 "all: h u\nh:\n\tvorn -C sub\nu:\n\tsleep 3; echo late > late_u.txt\n",
                 files={"sub/vorn.vorn": "all:\n\tsleep 3; echo late > late.txt\n"},
                 interrupt=(1.0, 15), exit=2, only="posix", timeout=20, settle=3,
                 expect_files={"sub/late.txt": None, "late_u.txt": None},
                 stderr=All(HasRe(r"SIG 15 pid"), HasRe(esc(error("Build failed for Goal: all"))),
                            HasRe(r"\n!! vorn \| proj \| Errors [0-9]+ \| Time [0-2]\.[0-9]{3} sec"
                                  r" \|" + esc(extra()) + r" error: 2\n$"))))

# A command left running in the background holds none of the run's output:
# whoever reads it sees the end when the run ends.
CASES.append(par("background command does not hold the output open",
                 "all:\n\tsleep 2 >/dev/null 2>&1 &\n", only="posix", max_seconds=1.5))


class EveryLine(Matcher):
    """count lines, each matching the pattern; a mismatch names the first bad line only."""

    def __init__(self, pattern, count):
        self.pattern, self.count = pattern, count

    def check(self, text, ctx):
        lines = text.split("\n")
        if lines[-1] != "":
            return "the text does not end with a line end"
        lines.pop()
        bad = [(i, ln) for i, ln in enumerate(lines) if not re.fullmatch(self.pattern, ln)]
        if bad:
            return "%d bad lines, the first is line %d: %r" % (len(bad), bad[0][0] + 1, bad[0][1])
        if len(lines) != self.count:
            return "%d lines, %d expected" % (len(lines), self.count)
        return None


# Two jobs print many long lines at the same time: every line stays whole.
_LONG = {"a": "A" * 150, "b": "B" * 150}
CASES.append(par("echo lines of parallel jobs stay whole",
                 "all: a b\n" + "".join(
                     "%s:\n" % g + "".join("\techo %s %05d\n" % (t, i) for i in range(20000))
                     for g, t in sorted(_LONG.items())),
                 stdout=EveryLine(r"(A{150}|B{150}) [0-9]{5}", 40000)))
