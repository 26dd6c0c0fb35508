# Argument files named with "-@": read in place, split like a command line,
# expanded recursively; quoted arguments lose one enclosing pair of quotes.
from e2elib import VERSION, WRONG_APP, Case, Re, done_ok, info, wrong

D_LIST = info("'-D' args: ? o c v f x X j g r d t R D cat ?")
# A file that names itself, directly or through others, fails with error lines only.
CYCLE_FAIL = Re(r"(!! vorn \| proj \| [^\n]+\n)+")

# A chain of argument files, each naming the next, is no cycle (the shell
# bounds the depth at 32 to keep the stack small).
CHAIN = {"c%d.args" % i: "-@ c%d.args" % (i + 1) for i in range(20)}
CHAIN["c20.args"] = "-V"
# Many arguments from one file.
MANY = " ".join("g%d" % i for i in range(20000)) + " -V\n"

CASES = [
    # Blanks, tabs and line ends all separate arguments.
    Case("separators", ["-@", "a.args"], files={"a.args": "\n  -D\t\r\n?  \n\n"},
         stderr=[D_LIST] + done_ok()),
    Case("nested files", ["-@", "a.args"],
         files={"a.args": "-@ sub/b.args\n", "sub/b.args": "-V"},
         stdout=VERSION, stderr=done_ok()),
    Case("chain of 20 files", ["-@", "c0.args"], files=CHAIN, stdout=VERSION, stderr=done_ok()),
    Case("twenty thousand arguments", ["-@", "many.args"], files={"many.args": MANY},
         stdout=VERSION, stderr=done_ok()),
    # The same file twice in a row is no cycle.
    Case("same file twice", ["-@", "d.args", "-@", "d.args"], files={"d.args": "-D ?"},
         stderr=[D_LIST, D_LIST] + done_ok()),
    Case("file read twice from another", ["-@", "a.args"],
         files={"a.args": "-@ d.args -@ d.args", "d.args": "-D ?"},
         stderr=[D_LIST, D_LIST] + done_ok()),
    # "-q@" is "-q" and "-@": quiet, then the file's -V.
    Case("group ending in at sign", ["-q@", "v.args"], files={"v.args": "-V"},
         stdout=VERSION, stderr=""),
    Case("group ending in at sign inside a file", ["-@", "a.args"],
         files={"a.args": "-q@ v.args", "v.args": "-V"}, stdout=VERSION, stderr=""),
    # One-dash groups in a file are expanded too.
    Case("one-dash group in a file", ["-@", "a.args"], files={"a.args": "-Vq"},
         stdout=VERSION, stderr=""),
    # "--" in a file holds for the arguments after the file: -x is a goal.
    Case("double dash carries out of the file", ["-@", "a.args", "-x"],
         files={"a.args": "-V --"}, stdout=VERSION, stderr=done_ok()),
    Case("wrong option in a file", ["-@", "a.args"], files={"a.args": "--bgx"},
         stderr=[wrong("--bgx"), WRONG_APP], exit=2),
    Case("missing file", ["-@", "nofile"], stderr=[WRONG_APP], exit=2),
    Case("missing nested file", ["-@", "a.args"], files={"a.args": "-V -@ nofile"},
         stderr=[WRONG_APP], exit=2),
    Case("at sign without file", ["-@"], stderr=[WRONG_APP], exit=2),
    Case("at sign without file inside a file", ["-@", "a.args"], files={"a.args": "-D ? -@"},
         stderr=[WRONG_APP], exit=2),
    Case("file names itself", ["-@", "self.args"], files={"self.args": "-@ self.args\n"},
         stderr=CYCLE_FAIL, exit=2),
    Case("file names itself in a group", ["-@", "self.args"], files={"self.args": "-q@ self.args"},
         stderr=Re(r"(!! vorn \| proj \| [^\n]+\n)*"), exit=2),
    Case("files name each other", ["-@", "a.args"],
         files={"a.args": "-@ b.args", "b.args": "-V -@ a.args"}, stderr=CYCLE_FAIL, exit=2),
    Case("file names itself by another path", ["-@", "a.args"],
         files={"a.args": "-@ ./sub/../a.args", "sub/": ""}, stderr=CYCLE_FAIL, exit=2),
    # Quoted arguments keep their blank and lose the enclosing pair of quotes
    # only; inner quotes of the other kind stay.
    Case("inner quotes stay", ["-@", "q.args"],
         files={"a 'b' c/": "", "q.args": "-C \"a 'b' c\" -V\n"},
         stdout=VERSION, stderr=done_ok(hdr="vorn | a 'b' c")),
    Case("unbalanced quote in a file", ["-@", "q.args"], files={"q.args": '"abc -V'},
         stderr=[WRONG_APP], exit=2),
]
