# The sequential build ("--bg1"): up-to-date decisions by file times, phony
# goals, exist-only and directory dependencies, failures and the prefixes.
from e2elib import Case, Re, done_err, done_ok, error

BG1 = ["--bg1"]
WROTE = Re(r"x ?\r?\n")  # the built-in echo writes "x\n"; a shell may add a blank


def seq(name, rules, args=(), files=None, times=None, built=True, out="out.txt", **kw):
    f = {"vorn.vorn": rules}
    f.update(files or {})
    kw.setdefault("stderr", done_ok())
    return Case(name, BG1 + list(args), files=f, times=times,
                expect_files={out: WROTE if built else None}, **kw)


def failed(goal, *lines):
    return [error(ln) for ln in lines] + [error("Build failed for Goal: " + goal)] + \
        done_err(len(lines) + 1)


REBUILD = "a: b\n\techo x > out.txt\n"

CASES = [
    seq("dependency newer", REBUILD, files={"a": "", "b": ""}, times={"a": -100, "b": -10}),
    seq("dependency older", REBUILD, files={"a": "", "b": ""}, times={"a": -10, "b": -100},
        built=False),
    seq("same times", REBUILD, files={"a": "", "b": ""}, times={"a": -50, "b": -50},
        built=False),
    seq("goal missing", REBUILD, files={"b": ""}),
    seq("phony always runs", ".PHONY: a\n" + REBUILD, files={"a": "", "b": ""},
        times={"a": -10, "b": -100}),
    seq("missing file without rule", REBUILD, built=False, exit=2,
        stderr=failed("a", "Cannot build Goal: b | cwd: @CWD@")),
    seq("exist-only never makes out of date", "a: | c\n\techo x > out.txt\n",
        files={"a": "", "c": ""}, times={"a": -100, "c": -10}, built=False),
    seq("exist-only must exist", "a: | c\n\techo x > out.txt\n", files={"a": ""},
        built=False, exit=2, stderr=failed("a", "Cannot build Goal: c | cwd: @CWD@")),
    seq("directory is old", "a: d\n\techo x > out.txt\n", files={"a": "", "d/f": ""},
        times={"a": -100, "d/f": -10, "d": -10}, built=False),
    seq("directory contents count with /.", "a: d/.\n\techo x > out.txt\n",
        files={"a": "", "d/f": ""}, times={"a": -100, "d/f": -10}),
    seq("directory contents older", "a: d/.\n\techo x > out.txt\n",
        files={"a": "", "d/f": ""}, times={"a": -10, "d/f": -100}, built=False),
    # b has no file: its empty recipe gives it the current time.
    seq("empty recipe makes dependents out of date", "a: b\n\techo x > out.txt\nb:\n",
        files={"a": ""}, times={"a": -10}),
    seq("empty recipe of an existing file", "a: b\n\techo x > out.txt\nb:\n",
        files={"a": "", "b": ""}, times={"a": -10, "b": -100}, built=False),
    seq("requested goals judged separately", "x:\n\techo x > out.txt\ny:\n\techo x > out2.txt\n",
        args=["y", "x"], out="out2.txt"),
    seq("no default goal", "", built=False, exit=2,
        stderr=[error("No default goal to use")] + done_err(1)),
    seq("failing recipe", "all:\n\texit 3\n\techo x > out.txt\n", built=False, exit=2,
        stderr=failed("all", "Command failed with code 3: exit 3")),
    seq("minus prefix ignores a failure", "all:\n\t-exit 3\n\t@echo x > out.txt\n"),
    seq("attributes in any order", "all:\n\t@ - exit 3\n\t- @ echo x > out.txt\n"),
    seq("cycle with --DC c", "a: b\nb: a\n\techo x > out.txt\n", args=["--DC", "c"],
        built=False, exit=2, stderr=failed("a", "Circular dependency at Goal: a | cwd: @CWD@")),
    seq("long chain", "".join("g%d: g%d\n" % (i, i + 1) for i in range(100000))
        + "g100000: f\n\techo x > out.txt\n", files={"f": ""}, timeout=300),
]
