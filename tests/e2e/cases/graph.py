# The goal table and the dependency graph: .PHONY, default goals, exist-only
# dependencies, heavy and usual recipes, cycles and the "--DC" letters.
from e2elib import Case, done_err, done_ok, error, eval_failed, info, listing


def prd(text, lines, args=(), stderr=None, **counts):
    return dict(args=["--prd"] + list(args), files={"vorn.vorn": text},
                stdout=listing(lines, **counts), stderr=stderr or done_ok())


def cycle(text, names, args=()):
    return dict(args=["--prd"] + list(args), files={"vorn.vorn": text}, exit=2,
                stderr=[error("Circular dependencies: " + names), error("deps expand"),
                        error("Eval deps in 'vorn.vorn'")] + done_err(3))


CASES = [
    # The keyword in any case.
    Case("phony", **prd(".PHONY: all\n.phony: t\nall: a\na:\n",
                        ["(_) a :", "PHONY (_) all : (_) a", "PHONY (_) t :"], rules=3,
                        deps_usual=1)),
    Case("exist-only after a lone bar", **prd(
        "all: a b | c d\n", ["(_) all : (?) a (?) b | (?) c (?) d"], rules=1, deps_usual=2,
        deps_exist=2)),
    Case("bar inside a word", **prd("all: a|b\n", ["(_) all : (?) a|b"], rules=1,
                                    deps_usual=1)),
    Case("repeated dependencies stay in order", **prd(
        "x: a\nx: b a\n", ["(_) x : (?) a (?) b (?) a"], rules=1, deps_usual=3)),
    Case("rule with two targets is passed over", **prd("a b: c\n", [])),
    Case("default goal list needs quotes", ["--prd"],
         files={"vorn.vorn": ".DEFAULT_GOAL := a b\n"},
         stderr=eval_failed(["Parse(make) failed >.DEFAULT_GOAL := a b<"]), exit=2),
    Case("built-in commands are usual with --sys", **prd(
        "all:\n\techo hi\n\ttouch x\n", ["(L) all :"], args=["--sys"], rules=1, usual=(1, 1),
        with_cmds=1, cmds=2)),

    # Default goal: first rule, then "default:" and ".DEFAULT_GOAL".
    Case("default goal traces", ["--prd", "-D", "r"], files={
        "vorn.vorn": "all: a\nb:\ndefault: y z\n.DEFAULT_GOAL := w\n"},
        stdout=listing(["(_) all : (?) a", "(_) b :", "(_) w :", "(_) y :", "(_) z :"],
                       rules=5, deps_usual=1),
        stderr=[info("rules set DEFAULT goal | all"), info("rules add G:D | all : a"),
                info("rules add G:D | b :"), info("rules set DEFAULT goal | y z"),
                info("rules set DEFAULT goal | w")] + done_ok()),
    Case("quoted default goal list", **prd(".DEFAULT_GOAL := 'a b'\n", ["(_) a :", "(_) b :"],
                                          rules=2)),

    # Recipe classification and the one-step adjustment.
    Case("heavy and usual", ["--prd", "-D", "r"], files={"vorn.vorn": (
        "all: app sub\napp: x.o\n\t@gcc -o app x.o\nx.o:\n\t-gcc -c x.c\n"
        "sub:\n\tmake -C sub\nout:\n\tmkdir out\n")},
        stdout=listing(["(H) all : (L) app (H) sub", "(L) app : (L) x.o", "(_) out :",
                        "(H) sub :", "(L) x.o :"], rules=5, heavy=(1, 2), usual=(2, 3),
                       with_cmds=4, cmds=4, deps_usual=3),
        stderr=[info("rules set DEFAULT goal | all"), info("rules add G:D | all : app sub"),
                info("rules add G:D | app : x.o"), info("rules set (u) | app"),
                info("rules add G:D | x.o :"), info("rules set (u) | x.o"),
                info("rules add G:D | sub :"), info("rules set (H) | sub"),
                info("rules add G:D | out :"),
                info("rules adj (u) | all : app"), info("rules adj (H) | all : sub")]
        + done_ok()),
    Case("cat is usual without -D cat", **prd("all:\n\tcat f\n", ["(L) all :"], rules=1,
                                              usual=(1, 1), with_cmds=1, cmds=1)),
    Case("cat is in-process with -D cat", **prd("all:\n\tcat f\n", ["(_) all :"],
                                                 args=["-D", "cat"], rules=1, with_cmds=1,
                                                 cmds=1)),
    Case("this program is heavy", **prd("all:\n\tvorn -C sub\n\txvorn\n", ["(H) all :"],
                                        rules=1, heavy=(1, 1), with_cmds=1, cmds=2)),

    # Cycles.
    Case("cycle with a tail", **cycle("x: a\na: b\nb: c\nc: a\nd: x\n", "a b c")),
    Case("exist-only cycle", **cycle("a: | b\nb: | a\n", "a b")),
    Case("self dependency", **cycle("a: a f.c\n", "a")),
    Case("cycle check kept with --DC e", **cycle("a: b\nb: a\n", "a b", args=["--DC", "e"])),
    Case("no cycle check with --DC c", **prd("a: b\nb: a\n", ["(_) a : (_) b", "(_) b : (_) a"],
                                             args=["--DC", "c"], rules=2, deps_usual=2)),

    # The deps trace shows the maps before and after the closure (log lines lose
    # their trailing blanks).
    Case("deps trace", ["--prd", "-D", "d"], files={"vorn.vorn": "a: b\nb: c\nc:\n"},
         stdout=listing(["(_) a : (_) b", "(_) b : (_) c", "(_) c :"], rules=3, deps_usual=2),
         stderr=[info("deps add U | a : b"), info("deps add U | b : c"),
                 "", info("Usual deps list was | (1) a : b"),
                 info("Usual deps list was | (2) b : c"), "",
                 "", info("Usual deps list now | (1) a : b c"),
                 info("Usual deps list now | (2) b : c"), "",
                 info("Usual deps exp count | was 2 / 2 now"),
                 "", info("ExistOnly deps list now | (-)"), "",
                 info("ExistOnly deps exp count | was 0 / 0 now")] + done_ok()),
]
