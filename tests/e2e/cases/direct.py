# A recipe line that needs nothing from the interpreter starts its program
# directly; "-D X" names how each line starts. Everything else, a program not
# found that way and every line under "--sys" are the interpreter's.
import signal

from e2elib import All, Case, Has, HasRe

TRACE = ["-D", "X", "--bg1"]


def start(how, line, args=(), only="posix", **kw):
    kw.setdefault("stdout", None)
    stderr = kw.pop("stderr", None)
    want = Has("Start %s: %s" % (how, line))
    return Case("%s: %s%s" % (how, line, " " + " ".join(args) if args else ""),
                TRACE + list(args), files=dict({"vorn.vorn": "all:\n\t%s\n" % line},
                                               **kw.pop("files", {})),
                stderr=All(want, stderr) if stderr else want, only=only, **kw)


CASES = [
    start("direct", "ls vorn.vorn", stdout="vorn.vorn\n"),
    # Each kind of thing the interpreter does: a wildcard, a redirection, an
    # assignment, a substitution, a quote, a chain, its own command.
    start("interpreter", "ls *.vorn", stdout="vorn.vorn\n"),
    start("interpreter", "ls vorn.vorn > out.txt", expect_files={"out.txt": "vorn.vorn\n"}),
    start("interpreter", "X=1 ls vorn.vorn", stdout="vorn.vorn\n"),
    start("interpreter", "ls `echo vorn.vorn`", stdout="vorn.vorn\n"),
    start("interpreter", "ls 'vorn.vorn'", stdout="vorn.vorn\n"),
    start("interpreter", "ls vorn.vorn && ls vorn.vorn", stdout="vorn.vorn\nvorn.vorn\n"),
    start("interpreter", "test -f vorn.vorn"),
    # Not found directly: the interpreter says so and fails as before.
    start("interpreter", "no-such-program-x a", exit=2,
          stderr=Has("Command failed with code 127: no-such-program-x a")),
    start("interpreter", "ls vorn.vorn", args=["--sys"], stdout="vorn.vorn\n"),
    # The program's own exit code, and an interrupt stops it at once.
    start("direct", "/bin/false", exit=2, stderr=Has("Command failed with code 1: /bin/false")),
    start("direct", "/bin/sleep 5", exit=2, interrupt=(0.5, signal.SIGINT), max_seconds=3),
    # cmd.exe: an .exe found through PATH starts directly, a .bat is cmd.exe's.
    start("direct", "hostname", only="win"),
    start("interpreter", "greet", only="win", files={"greet.bat": "@echo from bat\r\n"},
          stdout="from bat\r\n"),
    # A Makefile's line written for sh, in-process on Windows too: "./tool" is
    # tool.exe in the list's directory, "greet" a batch file there, both
    # writing where the list redirects them.
    Case("gm: ./prog and a batch file in the list's directory", ["--gm", "-D", "X"],
         files={"Makefile": "all:\n\t@mkdir -p sub && cp C:/windows/system32/hostname.exe"
                            " sub/tool.exe\n\t@cd sub && ./tool > out.txt && greet >> out.txt\n"
                            "\t@hostname 2>&1 > host.txt\n",
                "sub/greet.bat": "@echo from bat\r\n"},
         stdout="", stderr=All(Has("Start program: ./tool"), Has("Start program: greet")),
         expect_files={"sub/out.txt": Has("from bat"), "host.txt": HasRe(r"\w")}, only="win"),
]
