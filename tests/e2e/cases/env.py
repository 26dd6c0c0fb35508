# Options from VORN_ARGS (applied before the command line), the nesting level
# from VORN_E_LEVEL with its log header, and "-C".
from e2elib import (VERBOSE_DONE, VERSION, WRONG_APP, Case, args_trace, done_ok, error, esc,
                    info, trace, unfinished, wrong)

D_LIST = "'-D' args: ? o c v f x X j g r d t R D cat ?"
WRONG_ENV = error("Wrong environment variable options")
HDR2 = "vorn 2 | proj"


def env_trace(value):
    return trace(esc("env args VORN_ARGS='%s'" % value))


CASES = [
    Case("VORN_ARGS white space", [], env={"VORN_ARGS": " \t-D\n?  "},
         stderr=[info(D_LIST)] + done_ok()),
    Case("VORN_ARGS empty", ["-V"], env={"VORN_ARGS": ""}, stdout=VERSION, stderr=done_ok()),
    Case("VORN_ARGS then command line", ["-D", "?"], env={"VORN_ARGS": "-V"}, stdout=VERSION,
         stderr=[info(D_LIST)] + done_ok()),
    # The command line comes second and wins: verbose from VORN_ARGS shows the
    # env trace, then -q silences the rest.
    Case("command line quiet wins", ["-q", "-V"], env={"VORN_ARGS": "-v"}, stdout=VERSION,
         stderr=[env_trace("-v")]),
    # Quiet from VORN_ARGS, verbose from the command line. The displayed
    # argument text holds only the command line's arguments.
    Case("command line verbose wins", ["-v", "-V"], env={"VORN_ARGS": "-q"}, stdout=VERSION,
         stderr=args_trace(" -v -V ") + VERBOSE_DONE),
    Case("VORN_ARGS verbose", ["-V"], env={"VORN_ARGS": "-v"}, stdout=VERSION,
         stderr=[env_trace("-v")] + args_trace(" -V ") + VERBOSE_DONE),
    Case("VORN_ARGS wrong option", [], env={"VORN_ARGS": "--bgx"},
         stderr=[wrong("--bgx"), WRONG_ENV, WRONG_APP], exit=2),
    Case("VORN_ARGS unfinished", [], env={"VORN_ARGS": "-j"},
         stderr=[unfinished("-j"), WRONG_ENV, WRONG_APP], exit=2),
    Case("VORN_ARGS expansion fails", [], env={"VORN_ARGS": "-5x"},
         stderr=[WRONG_ENV, WRONG_APP], exit=2),
    Case("VORN_ARGS argument file", [], env={"VORN_ARGS": "-@ e.args"},
         files={"e.args": "-V"}, stdout=VERSION, stderr=done_ok()),
    # Nesting level: an empty value is top level, any other text is nested.
    Case("empty level is top level", ["-V"], env={"VORN_E_LEVEL": ""}, stdout=VERSION,
         stderr=done_ok()),
    Case("inherited header is not used", ["-V"], env={"VORN_E_LEVEL_HDR": "other | x"},
         stdout=VERSION, stderr=done_ok()),
    # A nested run's summary is verbose only.
    Case("nested run has no summary", ["-V"], env={"VORN_E_LEVEL": "1"}, stdout=VERSION,
         stderr=""),
    Case("nested letter list", ["-D", "?"], env={"VORN_E_LEVEL": "1"},
         stderr=[info(D_LIST, HDR2)]),
    Case("nested verbose run", ["-v", "-V"], env={"VORN_E_LEVEL": "1"}, stdout=VERSION,
         stderr=args_trace(" -v -V ", HDR2)
         + ["", trace(r"Done \| Time @T@ sec \| ret_code: 0 \| cwd: @CWD@", HDR2)]),
    # "-C": the header names the new directory.
    Case("chdir long form and up", ["--cd", "../other", "-V"], files={"../other/": ""},
         stdout=VERSION, stderr=done_ok(hdr="vorn | other")),
    Case("chdir with a trailing slash", ["-C", "sub/", "-V"], files={"sub/": ""},
         stdout=VERSION, stderr=done_ok(hdr="vorn | sub")),
    Case("chdir twice", ["-C", "a", "-C", "b", "-V"], files={"a/b/": ""}, stdout=VERSION,
         stderr=done_ok(hdr="vorn | b")),
    # The verbose trace of the change itself is hidden because the pass level
    # reaches the logger after all options are applied; -C and its directory
    # are taken out of the displayed argument text.
    Case("chdir verbose", ["-v", "-C", "sub", "-V"], files={"sub/": ""}, stdout=VERSION,
         stderr=args_trace(" -v -V ", cwd="@CWD@/sub")
         + [trace("reset after chdir", "vorn | sub")]
         + done_ok(hdr="vorn | sub", extra2=" | cwd: @CWD@/sub")),
    # A failed change stops option parsing at once.
    Case("chdir to a missing directory", ["-C", "nodir", "-V"],
         stderr=[error("Cannot chdir to: nodir"), WRONG_APP], exit=2),
    Case("chdir to a file", ["-C", "f.txt", "-h"], files={"f.txt": "x"},
         stderr=[error("Cannot chdir to: f.txt"), WRONG_APP], exit=2),
]

# The header's level is one more than VORN_E_LEVEL; a value that is not a
# number reads as 0, and the run is still nested (no summary).
for _name, _level, _n in (("nested run header", "1", 2), ("deeper level", "7", 8),
                          ("level not a number", "abc", 1), ("negative level", "-4", 1)):
    _hdr = "vorn %d | proj" % _n
    CASES.append(Case(_name, ["-5", "-V"], env={"VORN_E_LEVEL": _level}, stdout=VERSION, exit=2,
                      stderr=[wrong("-5", _hdr), error("Wrong app arguments", _hdr)]))
