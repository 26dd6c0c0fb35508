# Option application and argument expansion: wrong and unfinished options,
# one-dash groups, numbers, "--".
from e2elib import (VERBOSE_DONE, VERSION, WRONG_APP, Case, Re, args_trace, done_ok,
                    unfinished, wrong)

CASES = [
    # Each wrong option is reported, parsing goes on, no summary, exit 2.
    Case("wrong and unfinished", ["--bgx", "-f"],
         stderr=[wrong("--bgx"), unfinished("-f"), WRONG_APP], exit=2),
    Case("several wrong options, parsing goes on", ["-x", "--nope", "-V", "-5"],
         stdout=VERSION, stderr=[wrong("-x"), wrong("--nope"), wrong("-5"), WRONG_APP], exit=2),
    # Options match exactly and case-sensitively.
    Case("options are case-sensitive", ["--HELP", "--Verbose", "--bg"],
         stderr=[wrong("--HELP"), wrong("--Verbose"), wrong("--bg")] + [WRONG_APP], exit=2),
    Case("unknown one-dash letters", ["-yz"], stderr=[wrong("-y"), wrong("-z"), WRONG_APP], exit=2),
    Case("unfinished -j", ["-j"], stderr=[unfinished("-j"), WRONG_APP], exit=2),
    Case("unfinished -C", ["-V", "-C"], stdout=VERSION,
         stderr=[unfinished("-C"), WRONG_APP], exit=2),
    Case("unfinished -D", ["--debug"], stderr=[unfinished("--debug"), WRONG_APP], exit=2),
    # Without its batch file name, --jxbgf is no worker start but an option
    # waiting for its value.
    Case("jxbgf alone is unfinished", ["--jxbgf"],
         stderr=[unfinished("--jxbgf"), WRONG_APP], exit=2),
    # An invalid number fails the run without a message of its own; -V after it
    # still prints at once.
    Case("invalid job count", ["-j", "x", "-V"], stdout=VERSION, stderr=[WRONG_APP], exit=2),
    Case("invalid wait value", ["--jwb", "zz", "-V"], stdout=VERSION, stderr=[WRONG_APP], exit=2),
    # A one-dash number stays whole and is then a wrong option (above); with a
    # non-digit in it the expansion fails and nothing else is said.
    Case("number with a letter fails expansion", ["-5x"], stderr=[WRONG_APP], exit=2),
    Case("at sign not last in group", ["-@x"], stderr=[WRONG_APP], exit=2),
    Case("unbalanced double quote", ['"abc'], stderr=[WRONG_APP], exit=2),
    Case("unbalanced single quote", ["'abc\""], stderr=[WRONG_APP], exit=2),
    # One-dash groups, seen through the verbose argument trace.
    Case("group -qv ends verbose", ["-qv", "-V"], stdout=VERSION,
         stderr=args_trace(" -q -v -V ") + VERBOSE_DONE),
    # The last of -v and -q wins: quiet, nothing on stderr at all.
    Case("group -vq ends quiet", ["-vq", "-V"], stdout=VERSION, stderr=""),
    # "-D" takes "-v" as its value: not verbose.
    Case("-D takes a dash value", ["-D", "-v", "-V"], stdout=VERSION, stderr=done_ok()),
    Case("unknown debug letter is no error", ["-D", "nothing", "-V"], stdout=VERSION,
         stderr=done_ok()),
    # After "--" every argument is a goal, and "--" stays in the argument text.
    Case("double dash makes options goals", ["-V", "-v", "--", "-x", "-h"], stdout=VERSION,
         stderr=args_trace(" -V -v -- -x -h ") + VERBOSE_DONE),
    Case("options with values", ["--jwb", "5", "--jwe", "6", "--jweh", "7", "--jn", "--jd",
                                 "--sys", "--bg1", "--bgt", "--bgc", "--bgf", "--bgp",
                                 "--jxbgp", "--DC", "ce", "-f", "x.vorn", "--pr", "--prd",
                                 "-V"],
         stdout=VERSION, stderr=done_ok()),
    Case("double dash as the last argument", ["-V", "--"], stdout=VERSION, stderr=done_ok()),
    # Help is printed at once, the wrong option after it still fails the run.
    Case("help then wrong option", ["-h", "--bgx"], stdout=None,
         stderr=[wrong("--bgx"), WRONG_APP], exit=2),
    # A log line is cut to 4094 bytes and keeps its line end.
    Case("overlong option in a log line", ["--" + "x" * 5000],
         stderr=[("!! vorn | proj | Wrong option arg '--" + "x" * 5000)[:4094], WRONG_APP],
         exit=2),
    # A quoted argument keeps its blank in the argument text.
    Case("quoted goal in argument text", ["-v", "-V", "a b", '"c d"'], stdout=VERSION,
         stderr=args_trace(' -v -V "a b" "c d" ') + VERBOSE_DONE),
]

# make's flags act in this language's builds too: -k goes on with goals that do
# not need the failed one, -n prints instead of running, -B makes all.
REBUILD = "a: b\n\techo x > out.txt\n"
KEEP = "all: a b c\na:\n\texit 3\nb: a\n\techo b > b.txt\nc:\n\techo c > c.txt\n"
CASES += [
    Case("-k makes what does not need the failed goal", ["-k"], files={"vorn.vorn": KEEP},
         exit=2, stderr=None, expect_files={"b.txt": None, "c.txt": Re(r"c ?\r?\n")}),
    Case("without -k the first failure stops", ["--bg1"], files={"vorn.vorn": KEEP},
         exit=2, stderr=None, expect_files={"b.txt": None, "c.txt": None}),
    Case("-n prints the lines and runs none", ["-n"], files={"vorn.vorn": REBUILD, "b": ""},
         stdout="echo x > out.txt\n", stderr=done_ok(), expect_files={"out.txt": None}),
    Case("-B makes an up-to-date goal", ["-B", "--bg1"],
         files={"vorn.vorn": REBUILD, "a": "", "b": ""}, times={"a": -10, "b": -100},
         stderr=done_ok(), expect_files={"out.txt": Re(r"x ?\r?\n")}),
]
