"""Building blocks of the end-to-end cases: the case record and the matchers
for standard output, standard error and file contents.

Placeholders, replaced before matching (in literal texts and in patterns):
  @CWD@  the case's working directory as the program sees it (forward slashes;
         "Z:" in front under Wine)
  @TMP@  the parent of that directory, in the same form
  @T@    (patterns only) seconds with three decimals, as in "Time 0.004 sec"
"""

import difflib
import re

T_PATTERN = r"-?[0-9]+\.[0-9]{3}"


def esc(text):
    """re.escape for the metacharacters only, so that patterns stay readable."""
    return re.sub(r"([.^$*+?{}\[\]\\|()])", r"\\\1", text)


def _subst(text, ctx, regex):
    out = []
    pos = 0
    for m in re.finditer(r"@(CWD|TMP|T)@", text):
        part = text[pos:m.start()]
        out.append(part)
        key = m.group(1)
        if key == "T":
            if not regex:
                raise ValueError("@T@ is only allowed in patterns")
            out.append(T_PATTERN)
        else:
            value = ctx[key.lower()]
            out.append(esc(value) if regex else value)
        pos = m.end()
    out.append(text[pos:])
    return "".join(out)


class Matcher:
    def check(self, text, ctx):
        """Returns None when the text matches, else a description of the mismatch."""
        raise NotImplementedError


class Exact(Matcher):
    def __init__(self, text):
        self.text = text

    def check(self, text, ctx):
        want = _subst(self.text, ctx, False)
        if text == want:
            return None
        diff = difflib.unified_diff(want.splitlines(True), text.splitlines(True),
                                    "expected", "actual")
        return "".join(_visible(line) for line in diff)


class Re(Matcher):
    """The whole text matches the pattern (re.fullmatch, no flags)."""

    def __init__(self, pattern):
        self.pattern = pattern

    def check(self, text, ctx):
        pat = _subst(self.pattern, ctx, True)
        if re.fullmatch(pat, text):
            return None
        return "pattern: %r\nactual:  %r" % (pat, text)


class Has(Matcher):
    """The text contains the literal piece."""

    def __init__(self, piece):
        self.piece = piece

    def check(self, text, ctx):
        piece = _subst(self.piece, ctx, False)
        if piece in text:
            return None
        return "missing: %r\nactual:  %r" % (piece, text)


class HasRe(Matcher):
    """The pattern is found somewhere in the text (re.search)."""

    def __init__(self, pattern):
        self.pattern = pattern

    def check(self, text, ctx):
        pat = _subst(self.pattern, ctx, True)
        if re.search(pat, text):
            return None
        return "not found: %r\nactual:    %r" % (pat, text)


class Not(Matcher):
    def __init__(self, matcher):
        self.matcher = as_matcher(matcher)

    def check(self, text, ctx):
        if self.matcher.check(text, ctx) is None:
            return "must not match: %s\nactual: %r" % (_describe(self.matcher), text)
        return None


class All(Matcher):
    def __init__(self, *matchers):
        self.matchers = [as_matcher(m) for m in matchers]

    def check(self, text, ctx):
        for m in self.matchers:
            why = m.check(text, ctx)
            if why is not None:
                return why
        return None


class L:
    """One line of Lines given as a pattern (without its line end)."""

    def __init__(self, pattern):
        self.pattern = pattern


class Lines(Matcher):
    """The text is exactly these lines, each ended by "\\n". An item is a
    literal line (str) or a pattern for one line (L)."""

    def __init__(self, *items):
        self.items = items

    def check(self, text, ctx):
        parts, want = [], []
        for it in self.items:
            if isinstance(it, L):
                pattern = _subst(it.pattern, ctx, True)
                parts.append("(?:" + pattern + ")\n")
                want.append("re: " + pattern + "\n")
            else:
                line = _subst(it, ctx, False)
                parts.append(esc(line) + "\n")
                want.append(line + "\n")
        if re.fullmatch("".join(parts), text):
            return None
        diff = difflib.unified_diff(want, text.splitlines(True), "expected", "actual")
        return "".join(_visible(line) for line in diff)


def _visible(line):
    """A diff line with an invisible line end made visible."""
    body = line.rstrip("\n")
    if body.endswith("\r"):
        body = body[:-1] + "\\r"
    if not line.endswith("\n"):
        return body + "   (no line end)\n"
    return body + "\n"


def _describe(m):
    for attr in ("text", "pattern", "piece"):
        if hasattr(m, attr):
            return "%s %r" % (type(m).__name__, getattr(m, attr))
    return type(m).__name__


def as_matcher(spec):
    if spec is None or isinstance(spec, Matcher):
        return spec
    if isinstance(spec, str):
        return Exact(spec)
    if isinstance(spec, (list, tuple)):
        return Lines(*spec)
    raise TypeError("not a matcher: %r" % (spec,))


def Case(name, args, stderr, stdout="", exit=0, env=None, files=None, expect_files=None,
         cwd="proj", stdin=b"", only=None, timeout=None, times=None, interrupt=None,
         max_seconds=None, settle=0, empty_dirs=(), twin=None):
    """One end-to-end case.

    args          arguments after the executable
    stdout/stderr a str (exact), a list (Lines), a Matcher, or None (not checked)
    exit          expected exit code (None: not checked)
    env           variables to set (a value of None removes the variable); every
                  variable whose name starts with VORN is removed unless set here;
                  @CWD@ and @TMP@ in a value are replaced as in the matchers
    files         path (relative to the working directory) -> str or bytes to
                  write before the run; a path ending in "/" makes a directory
    expect_files  path -> expected content (str/Matcher), or None: must not exist
    cwd           name of the working directory (a fresh one inside a temporary
                  directory)
    only          "posix" or "win" for a platform-specific case
    times         path -> seconds relative to now, set as the file's times after
                  the files are written (e.g. -100 for "older")
    interrupt     (seconds, signal number): send the signal after that delay
    max_seconds   the run (from start to exit) must not take longer than this
    settle        seconds to wait after the run before the files are checked
    empty_dirs    directories that must exist and be empty after the run
    twin          arguments added for a second run in a fresh directory with the
                  same files, whose exit code, stdout and files must be the
                  same (line ends and blanks before them aside)
    """
    return dict(name=name, args=list(args), stdout=as_matcher(stdout),
                stderr=as_matcher(stderr), exit=exit, env=dict(env or {}),
                files=dict(files or {}),
                expect_files={k: as_matcher(v) for k, v in (expect_files or {}).items()},
                cwd=cwd, stdin=stdin, only=only, timeout=timeout, times=dict(times or {}),
                interrupt=interrupt, max_seconds=max_seconds, settle=settle,
                empty_dirs=list(empty_dirs), twin=list(twin or []))


# ---- vorn's own line forms -------------------------------------------------

HDR = "vorn | proj"
ABOUT = ["", "App Info: vorn ( Vorn wants to be ... faster than Make )", "Version : r251222", ""]


def info(msg, hdr=HDR):
    """A level-0 log line."""
    return "~~ %s | %s" % (hdr, msg)


def error(msg, hdr=HDR):
    """A level-2 log line."""
    return "!! %s | %s" % (hdr, msg)


def trace(msg_pattern, hdr=HDR):
    """A verbose (level -1) line, which carries the elapsed time: a pattern."""
    return L(esc("~_ %s " % hdr) + "@T@" + esc(" | ") + msg_pattern)


def done_ok(hdr=HDR, extra1="", extra2="", prefix="~~ "):
    """The two summary lines of a successful run."""
    return ["", L(esc(prefix + hdr + " | Done | Time ") + "@T@ sec" + esc(
        " |%s ret_code: 0%s" % (extra1, extra2)))]


def done_err(nerrors, hdr=HDR, extra2=""):
    """The two summary lines of a failed top-level run. The part between the
    time and "error:" (the job variant and count) is left open, because a run
    that fails before the job queue exists has no settled value for it."""
    return ["", L(esc("!! %s | Errors %d | Time " % (hdr, nerrors)) + "@T@ sec"
                  + r" \|(?: [^|\n]*\|)?" + esc(" error: 2" + extra2))]


VERSION = "\n".join(ABOUT) + "\n"
WRONG_APP = error("Wrong app arguments")


def wrong(opt, hdr=HDR):
    return error("Wrong option arg '%s', try --help" % opt, hdr)


def unfinished(opt, hdr=HDR):
    return error("Unfinished arg '%s'" % opt, hdr)


def args_trace(args_text, hdr=HDR, cwd="@CWD@"):
    """The verbose lines about the applied arguments (with empty lines around)."""
    return ["", trace(esc("exe & args: vorn%s | cwd: " % args_text) + cwd, hdr), ""]


# The summary of a successful verbose top-level run.
VERBOSE_DONE = done_ok(extra2=" | cwd: @CWD@")


def listing(goal_lines, rules=0, heavy=(0, 0), usual=(0, 0), with_cmds=0, cmds=0,
            deps_usual=0, deps_exist=0, mode="D", dirname="proj", hdr=HDR, timings=None):
    """The stdout of one "--prd" (mode "D") or "--pr" (mode "R") listing.
    timings: None, or the pattern lines of the "-D o" timing block."""
    title = "print deps" if mode == "D" else "print rules"
    out = ["", "%s // ---- %s ----" % (dirname, title), ""] + list(goal_lines)
    out += ["",
            "// %3d all rules" % rules,
            "// %3d heavy rules / adj %3d" % heavy,
            "// %3d usual rules / adj %3d" % usual,
            "// %3d rules with commands" % with_cmds,
            "// %3d all commands" % cmds,
            "// %3d deps usual" % deps_usual,
            "// %3d deps exist-only" % deps_exist,
            ""]
    if timings is not None:
        out += list(timings)
    out += ["%s // ---- print done ----" % hdr, ""]
    return out


def eval_failed(lines, rules_file="vorn.vorn", hdr=HDR):
    """stderr of a run whose rules file evaluation left the error lines."""
    out = [""] + [error("(%d) %s" % (i + 1, ln), hdr) for i, ln in enumerate(lines)] + [""]
    out.append(error("Eval rules file '%s'" % rules_file, hdr))
    return out + done_err(len(lines) + 1, hdr)
