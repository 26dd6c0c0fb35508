# Recipe lines: the built-in commands, what they leave to the interpreter,
# quiet mode, and recipes that start vorn or make again.
from e2elib import All, Case, HasRe, Re, done_err, done_ok, error, esc

BG1 = ["--bg1"]


def rec(name, recipe, args=(), files=None, expect=None, stderr=None, exit=0, **kw):
    f = {"vorn.vorn": "all:\n" + "".join("\t%s\n" % ln for ln in recipe)}
    f.update(files or {})
    return Case(name, BG1 + list(args), files=f, expect_files=expect or {},
                stderr=done_ok() if stderr is None else stderr, exit=exit, **kw)


def fails(*lines):
    return [error(ln) for ln in lines] + [error("Build failed for Goal: all")] + \
        done_err(len(lines) + 1)


CASES = [
    rec("echo into files", ['echo a "b  c" > f', "echo more >> f", "echo new > g"],
        files={"g": "old text\n"}, expect={"f": "a b  c\nmore\n", "g": "new\n"}),
    rec("echo to the console", ['echo one "two  three"'], stdout="one two  three\n"),
    rec("echo quiet keeps the file", ["echo hidden", "echo kept > f"], args=["-q"], stderr="",
        expect={"f": "kept\n"}),
    rec("mkdir, touch, cp and sleep", ["mkdir -p d/e", "mkdir out", "touch d/e/t", "cp src.txt out",
                                       "cp src.txt copy.txt", "cprec -t out src.txt src2.txt",
                                       "touchrec n/e/w", "touch -f t", "sleep 0.1", "sleep 0.05s"],
        files={"src.txt": "S\n", "src2.txt": "T\n"},
        expect={"d/e/t": "", "out/src.txt": "S\n", "copy.txt": "S\n", "out/src2.txt": "T\n",
                "n/e/w": "", "t": ""}),
    rec("rm and rmdir", ["rm -f a", "rm -r d", "rmrec e", "rmdir -p f", "rm -- -x", "rm"],
        files={"a": "", "d/x": "", "e/y/z": "", "f/g": "", "-x": ""},
        expect={"a": None, "d/x": None, "e/y/z": None, "f/g": None, "-x": None}),
    rec("rmdir of a file fails", ["rmdir plain"], files={"plain": ""}, exit=2,
        stderr=fails("Not a directory 'plain' | cwd: @CWD@",
                     "Command failed with code 2: rmdir plain")),
    rec("cat with -D cat", ["cat a b > c"], args=["-D", "cat"],
        files={"a": "1\n", "b": "2\n"}, expect={"c": "1\n2\n"}),
    # Declined: the interpreter runs the line unchanged.
    # (Wine's cmd.exe reports the missing operand but exits with 0.)
    rec("mkdir without operands goes to the shell", ["mkdir"], exit=2,
        stderr=HasRe(esc("!! vorn | proj | Command failed with code 1: mkdir\n")),
        only="posix"),
    rec("combined option letters go to the shell", ["rm -rf d"], files={"d/x": ""},
        expect={"d/x": None}, only="posix"),
    rec("cp -r goes to the shell", ["cp -r d e"], files={"d/x": "X"}, expect={"e/x": "X"},
        only="posix"),
    rec("wildcards go to the shell", ["rm *.o"], files={"a.o": "", "b.o": "", "c.c": ""},
        expect={"a.o": None, "b.o": None, "c.c": ""}, only="posix"),
    rec("--sys sends built-ins to the shell", ["mkdir made", "echo x > f"], args=["--sys"],
        expect={"made/.keep": None, "f": Re(r"x ?\r?\n")}),

    # Recipes that start this tool again: a nested run at level 2, whose
    # summary shows only in verbose mode.
    Case("nested make -C", BG1, files={"vorn.vorn": "all:\n\tmake --directory=sub all -k\n",
                                       "sub/vorn.vorn": "all:\n\techo nested > out.txt\n"},
         expect_files={"sub/out.txt": "nested\n"}, stderr=done_ok()),
    Case("nested failure", BG1, files={"vorn.vorn": "all:\n\tmake -C sub\n",
                                       "sub/vorn.vorn": "all: nope\n"},
         exit=2, stderr=[error("Cannot build Goal: nope | cwd: @CWD@/sub", "vorn 2 | sub")]
         + fails("Command failed with code 2: make -C sub")),
    Case("nested summary in verbose mode", BG1 + ["-v"],
         files={"vorn.vorn": "all:\n\tvorn -C sub\n", "sub/vorn.vorn": "all:\n"},
         stderr=All(HasRe(r"~_ vorn 2 \| sub [^\n]*\| Done \| Time [0-9.]+ sec \|"
                          r" ret_code: 0 \| cwd: @CWD@/sub\n"),
                    HasRe(r"vorn \| proj [^\n]*\| Done \| Time"))),
]
