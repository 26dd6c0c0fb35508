# Rules files: discovery, assignments, quotes and late expansion, includes,
# exports, the in-rules commands and the hint for GNU make syntax.
from e2elib import (HDR, Case, HasRe, Re, L, done_err, done_ok, error, esc, eval_failed, info,
                    listing)

EMPTY = listing([])
NO_RULES = error("Cannot find rules file: vorn.vorn Vorn.vorn Makefile makefile")
ALL_NAMES = {"vorn.vorn": "echo vorn.vorn\n", "Vorn.vorn": "echo Vorn.vorn\n",
             "Makefile": "echo Makefile\n", "makefile": "echo makefile\n"}


def gnu_hint(where, what):
    """The level-1 line for a rules file that holds GNU make syntax."""
    return "!_ %s | %s: GNU make syntax (%s); read this file with --gm" % (HDR, where, what)


# A Makefile for GNU make: the rule this language reads still builds; the
# first GNU construct (a recipe not built) gives the only hint.
GNU_MAKEFILE = ("all: out.txt\nout.txt: in.txt\n\tcp in.txt out.txt\n"
                "clean:\n\trm -f $@ out.txt\n"
                "CFLAGS ?= -O2\nifeq ($(CFLAGS),-O2)\nendif\n%.o: %.c\n")


def only(*names):
    return {n: ALL_NAMES[n] for n in names}


def prd(text, out_lines, files=None, listing_lines=EMPTY, args=(), env=None):
    """A rules file run with --prd: its echo output, then the listing."""
    f = {"vorn.vorn": text}
    f.update(files or {})
    return dict(args=["--prd"] + list(args), files=f, stdout=list(out_lines) + listing_lines,
                stderr=done_ok(), env=env)


def fails(text, lines, files=None, args=(), stdout=None):
    f = {"vorn.vorn": text}
    f.update(files or {})
    return dict(args=["--prd"] + list(args), files=f, stderr=eval_failed(lines), exit=2,
                stdout=stdout if stdout is not None else "")


CASES = [
    # ---- discovery
    Case("only makefile", ["--prd"], files=only("makefile"), stdout=["makefile"] + EMPTY,
         stderr=done_ok()),
    Case("vorn.vorn first", ["--prd"], files=ALL_NAMES, stdout=["vorn.vorn"] + EMPTY,
         stderr=done_ok(), only="posix"),
    Case("Makefile before makefile", ["--prd"], files=only("Makefile", "makefile"),
         stdout=["Makefile"] + EMPTY, stderr=done_ok(), only="posix"),
    Case("none found", ["--prd"], stderr=[NO_RULES] + done_err(1), exit=2),
    Case("-f names a file", ["--prd", "-f", "my.rules"],
         files={"my.rules": "echo mine\n", **only("vorn.vorn")}, stdout=["mine"] + EMPTY,
         stderr=done_ok()),
    Case("-f names a directory", ["--prd", "-f", "sub"], files={"sub/": "", **only("vorn.vorn")},
         stderr=[error("Wrong path for rules file: sub")] + done_err(1), exit=2),
    Case("-f names nothing", ["--prd", "-f", "nope.vorn"], files=only("vorn.vorn"),
         stderr=[error("Wrong path for rules file: nope.vorn")] + done_err(1), exit=2),
    Case("verbose names the rules file", ["--prd", "-v"], files=only("Vorn.vorn"),
         stdout=["Vorn.vorn"] + EMPTY, stderr=HasRe(
             esc(" | Rules file: Vorn.vorn | cwd: ") + "@CWD@\n"), only="posix"),
    Case("empty rules file", ["--prd"], files={"vorn.vorn": ""}, stdout=EMPTY,
         stderr=done_ok()),
    Case("empty expansion cannot be parsed", ["--prd"], files={"vorn.vorn": "E =\n$E\n"},
         stderr=eval_failed(["Parse(make) failed ><"]), exit=2),
    Case("NUL byte", ["--prd"], files={"vorn.vorn": b"X = 1\n\0\x01\x02binary\n"},
         stderr=eval_failed(["Not a text file 'vorn.vorn'"]), exit=2),

    # ---- assignments
    Case("operators", **prd(
        "X = a\nY = $X\nY += b\nZ = a\nZ -= b\nW = abca\nW %= a\nP = a\nP /= b\n"
        "Q := ${X}$(X)\necho [$Y] [$Z] [$W] [$P] [$Q]\n",
        ["[ab] [a b] [bc] [a/b] [aa]"])),
    Case("minus-equal blanks", **prd("X = a \nX -= ' b'\necho [$X]\n", ["[a b]"])),
    Case("free text values", **prd("CFLAGS = -O2 -Wall\nCFLAGS += -g\necho $CFLAGS\n",
                                   ["-O2 -Wall-g"])),
    Case("unknown operator", ["--prd"], files={"vorn.vorn": "X = 1\nX *= 2\necho never\n"},
         stderr=eval_failed(["Unknown operator '*='", "vorn.vorn: Eval(make) failed >X *= 2<"]),
         exit=2),
    Case("unfinished quote", ["--prd"], files={"vorn.vorn": "X = 'abc\n"},
         stderr=[error("Eval rules file 'vorn.vorn'")] + done_err(1), exit=2),
    # Single quotes keep references for the late pass, which runs once in name
    # order: A sorts before B and so sees B's stored, unexpanded text.
    Case("late expansion", ["--prd", "-D", "c"], files={"vorn.vorn": (
        "A = '${B}'\nB = '${Z}'\nZ = x\necho [$A] [$B]\nVORN = '$A+$B+$Z'\n")},
        stdout=["[${B}] [${Z}]"] + EMPTY,
        stderr=[info("Read rules file 'vorn.vorn' ..."), info("Read rules file 'vorn.vorn' ... ok"),
                info("New conf value VORN='${Z}+x+x'")] + done_ok()),
    Case("escaped dollar is late", ["--prd", "-D", "c"],
         files={"vorn.vorn": "Y = 1\nVORN = \\$Y\nY = 2\n"}, stdout=EMPTY,
         stderr=[info("Read rules file 'vorn.vorn' ..."), info("Read rules file 'vorn.vorn' ... ok"),
                 info("New conf value VORN='2'")] + done_ok()),

    # ---- includes (a refused include stops at once; the including lines
    # above it add their own messages)
    Case("include, its path from a variable", **prd(
        "X = 0\nD = parts\ninclude $D/inc.vorn\necho X=$X Y=$Y\n", ["in inc", "X=1 Y=2"],
        files={"parts/inc.vorn": "echo in inc\nX = 1\nY = 2"})),
    Case("-include missing", **prd("-include nope.vorn\necho after\n", ["after"])),
    Case("include missing", **fails("include nope.vorn\necho after\n", [
        "Cannot include 'nope.vorn'"])),
    Case("include itself by another spelling", **fails("include ./vorn.vorn\n", [
        "Cannot include already used file './vorn.vorn'"])),
    Case("mutual include by other spellings", ["--prd"], files={
        "vorn.vorn": "include a.vorn\n", "a.vorn": "include ./b.vorn\n",
        "b.vorn": "include sub/../a.vorn\n", "sub/": ""},
        stderr=eval_failed([
            "Cannot include already used file 'sub/../a.vorn'",
            "a.vorn: Eval(make) failed >include ./b.vorn<",
            "vorn.vorn: Eval(make) failed >include a.vorn<"]), exit=2),
    # 100 distinct files nest as deep as allowed; one more is named once as the
    # nesting limit, with no traceback through the 100 levels above it.
    Case("include nesting limit", **fails("include i0.vorn\n", [
        "Cannot include 'i100.vorn': includes nested more than 100 levels deep"
        " (from 'i99.vorn')"],
        files=dict({"i%d.vorn" % i: "include i%d.vorn\n" % (i + 1) for i in range(100)},
                   **{"i100.vorn": "X = 1\n"}))),
    Case("include nesting at the limit", **prd("include i1.vorn\necho $X\n", ["1"], files=dict(
        {"i%d.vorn" % i: "include i%d.vorn\n" % (i + 1) for i in range(1, 100)},
        **{"i100.vorn": "X = 1\n"}))),
    Case("failure inside an include", **fails("include inc.vorn\n", [
        "Unknown operator '*='", "inc.vorn: Eval(make) failed >X *= 1<",
        "vorn.vorn: Eval(make) failed >include inc.vorn<"], files={"inc.vorn": "X *= 1\n"})),
    Case("rule does not continue into an include", **prd(
        "all: a\ninclude inc.vorn\n\techo x\n", [], files={"inc.vorn": "B = 1\n"},
        listing_lines=listing(["(_) all : (?) a"], rules=1, deps_usual=1))),

    # ---- exports (make style) seen in the process environment
    Case("export make style", **prd(
        "export QXA=1 QXB=2\nQXC = c\nQXD = d\nexport QXC QXD\nexport QXE=\"a b\"\n"
        "envVarsDump QX*\n",
        ['>> envVarsDump "QX*" >> ', "  QXA=1 QXB=2", "  QXC=c", "  QXD=d", "  QXE=a b",
         '<< envVarsDump [4] "QX*" <<'])),
    Case("export plus-equal", **prd("QXA = a\nexport QXA += b\nenvVarsDump QXA\n",
                                    ['>> envVarsDump "QXA" >> ', "  QXA=ab",
                                     '<< envVarsDump [1] "QXA" <<'])),
    Case("varsDump", **prd("VA = 1\nVB = 'x y'\nvarsDump VA VB\n",
                           ['>> varsDump "VA VB" >> ', "  VA='1'", "  VB='x y'",
                            '<< varsDump [2] "VA VB" <<'])),

    # ---- GNU make syntax read as this language: one hint, the same outcome
    Case("GNU make syntax hint", ["--bg1"], files={"Makefile": GNU_MAKEFILE, "in.txt": "x"},
         stderr=[gnu_hint("Makefile:5", "'$@' in a recipe")] + done_ok(),
         expect_files={"out.txt": "x"}),
    Case("GNU make syntax hint quiet", ["--bg1", "-q"],
         files={"Makefile": GNU_MAKEFILE, "in.txt": "x"}, stderr="",
         expect_files={"out.txt": "x"}),

    # ---- in-rules commands
    Case("cmd error", **fails("echo before\n__cmd_error__\necho after\n", [
        "Unknown command '__cmd_error__'", "vorn.vorn: Eval(make) failed >__cmd_error__<"],
        stdout=["before"])),
    Case("cd then include and CWD", ["--prd"], files={
        "vorn.vorn": "cd sub\ninclude inc.vorn\necho $X ${CWD}\n", "sub/inc.vorn": "X = 1\n"},
        stdout=["1 @CWD@/sub"] + EMPTY, stderr=done_ok()),
    Case("cd fails", **fails("cd nowhere\n", ["chdir failed 'cd nowhere'",
                                              "vorn.vorn: Eval(make) failed >cd nowhere<"])),
    Case("runOk ignores the exit code", **prd("runOk exit 1\nrun exit 0\necho after\n",
                                              ["after"])),
    Case("run fails on a non-zero exit", **fails("run exit 3\necho after\n", [
        "run failed 'run exit 3'", "vorn.vorn: Eval(make) failed >run exit 3<"])),

    # ---- VORN_ARGS from the rules file
    Case("VORN_ARGS sets options", [], files={"vorn.vorn": "VORN_ARGS = --prd -D c\n"},
         stdout=EMPTY, stderr=done_ok()),
    Case("VORN_ARGS with -C", ["--prd"], files={"vorn.vorn": "VORN_ARGS = -C sub\n", "sub/": ""},
         stdout=listing([], dirname="sub", hdr="vorn | sub"), stderr=done_ok(hdr="vorn | sub")),
    Case("VORN_ARGS with a wrong option", ["--prd"], files={"vorn.vorn": "VORN_ARGS = --nope\n"},
         stderr=[error("Wrong option arg '--nope', try --help"),
                 error("Wrong environment variable options")] + done_err(2), exit=2),
]
