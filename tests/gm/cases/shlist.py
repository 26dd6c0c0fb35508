# Recipe lines written for /bin/sh as real Makefiles write them: lists,
# quoting, globs, redirections and the common file commands, which vorn runs
# itself (inproc), and a few lines that still need the shell.
from run import Case


def rule(*lines, head="all:"):
    """A Makefile of one rule; lines are recipe lines, written raw."""
    return head + "\n" + "".join("\t" + ln + "\n" for ln in lines)


def sh(name, mk, win_ok=True, **kw):
    """Lines vorn runs itself, also under wine unless told; the exit codes of
    failing commands are compared."""
    return Case(name, mk, inproc=True, rc=True, win_ok=win_ok, **kw)


def shell(name, mk, **kw):
    """Lines that still go to /bin/sh."""
    return Case(name, mk, sh=True, rc=True, **kw)


TREE = {"build/a.o": "a", "build/sub/b.o": "b", "build/.dep": "d"}
SRCS = {"a.c": "A\n", "b.c": "B\n", "c.c": "C\n", "x.h": "H\n", ".hidden.c": ""}
SUB = {"sub/keep.txt": "k\n"}
ASSETS = {"assets/img/logo.png": "png", "assets/site.css": "css", "assets/.keep": ""}

CASES = [
    # Cleaning.
    sh("rm -rf build", rule("rm -rf build"), files=TREE),
    sh("rm -f by glob", rule("rm -f *.o", "@echo cleaned"),
       files={"a.o": "", "b.o": "", "a.c": "", "o": ""}),
    sh("rm -f glob matching nothing", rule("rm -f *.tmp", "@echo done"), files={"a.c": ""}),
    sh("rm -fr and -R mixed", rule("rm -fr build nothere", "rm -R out"),
       files=dict(TREE, **{"out/x": ""})),
    sh("rm -rf glob inside a directory", rule("rm -rf build/*"), files=TREE),
    sh("rm of a missing file", rule("rm nothere", "@echo never")),
    sh("rm of a directory without -r", rule("rm -f build || echo kept", "rm build", "@echo never"),
       files=TREE),
    sh("rm -r of a missing file", rule("rm -r nothere a.o"), files={"a.o": ""}),

    # Directories.
    sh("mkdir -p nested", rule("mkdir -p obj/sub obj/other/", "mkdir -p obj/sub")),
    sh("mkdir -p over a file", rule("mkdir -p a.c/x"), files=SRCS),
    sh("mkdir of an existing directory", rule("mkdir out", "@echo never"), files={"out/": None}),
    sh("mkdir with a missing parent", rule("mkdir a/b c")),
    sh("test -d or mkdir, missing", rule("[ -d out ] || mkdir out")),
    sh("test -d or mkdir, present", rule("@[ -d out ] || mkdir out", "@echo ok"),
       files={"out/": None}),
    sh("rmdir of empty directories", rule("rmdir e1 e2"), files={"e1/": None, "e2/": None}),
    sh("rmdir of a non-empty directory", rule("rmdir build"), files=TREE),

    # Copy and move.
    sh("cp -r assets dist", rule("cp -r assets dist"), files=ASSETS),
    sh("cp -R into an existing directory", rule("cp -R assets dist"),
       files=dict(ASSETS, **{"dist/": None})),
    sh("cp -rf over an existing copy", rule("cp -rf assets/. dist"),
       files=dict(ASSETS, **{"dist/site.css": "old", "dist/other": "o"})),
    sh("cp of a directory without -r", rule("cp assets dist", "@echo never"), files=ASSETS),
    sh("cp several files into a directory", rule("cp a.c b.c x.h inc"),
       files=dict(SRCS, **{"inc/": None})),
    sh("cp several files to a file", rule("cp a.c b.c x.h"), files=SRCS),
    sh("cp of a missing file", rule("cp nothere out.c")),
    sh("cp -f replaces", rule("cp -f a.c b.c"), files=SRCS),
    sh("cp of a file onto itself", rule("cp a.c a.c"), files=SRCS),
    sh("mv of a file onto itself", rule("mv a.c ./a.c"), files=SRCS),
    # cp -p keeps a.c's old time, so ref (newer than a.c, older than now) stays up to date.
    sh("cp -p keeps the time", rule("cp -p a.c copy.c", "cp a.c plain.c",
                                    "@$(MAKE) -s -f check.mk"),
       files={"a.c": "A\n", "ref": "", "ref2": "", "check.mk":
              "all: ref ref2\nref: copy.c ; @echo stale ref\nref2: plain.c ; @echo stale ref2\n"},
       times={"ref": 500, "ref2": 500}),
    sh("mv a b", rule("mv a.c moved.c", "mv b.c c.c"), files=SRCS),
    sh("mv into a directory", rule("mv a.c b.c dir", "mv build dir"),
       files=dict(SRCS, **TREE, **{"dir/": None})),
    sh("mv of a missing file", rule("mv nothere x", "@echo never")),

    # File contents.
    sh("cat a b > c", rule("cat a.c b.c > c"), files=SRCS),
    sh("input redirection first", rule("< a.c cat > out"), files=SRCS),
    sh("cat of a missing file still creates the output", rule("cat nothere > out")),
    sh("touch stamp", rule("touch stamp"), files={"stamp": "old"}),
    sh("touch creates several", rule("touch new1 a.c new2"), files=SRCS),
    sh("touch in a missing directory", rule("touch nodir/x")),
    sh("printf list of sources", "SRCS = a.c b.c c.c\n" + rule(r"printf '%s\n' $(SRCS) > list")),
    sh("printf reuses its format", rule(r"@printf '%s=%d\n' a 1 b 2 c", r"@printf '%d%%\n' 50")),
    sh("printf tab and backslash",
       rule(r"printf 'a\tb\\c\n' > out", r'''@printf '[%s]\n' '' a ""''')),
    sh("echo -n", rule("@echo -n abc > f", "@echo def >> f", "@echo -n", "@echo -- x -n")),
    shell("printf with a bad number", rule(r"@printf '%d|\n' 3x 4", "@echo never")),
    sh("echo CC with automatic variables",
       "all: a.o b.o\n" + rule('@echo "CC $<"', "@touch $@", head="%.o: %.c"), files=SRCS),
    sh("recipe lines echoed or not",
       rule("echo shown", "@echo quiet", "  echo indented", "echo trailing  ")),

    # Tests.
    sh("test -f and cp", rule("test -f a.c && cp a.c y.c"), files=SRCS),
    sh("test -f of a missing file ends the list", rule("test -f nothere && cp nothere y.c")),
    sh("file tests", rule(*[
        "@[ %s %s ] && echo '%s %s' || echo 'not %s %s'" % (op, f, op, f, op, f)
        for op in ("-e", "-f", "-d", "-s", "-r", "-w")
        for f in ("a.c", "empty", "build", "nothere")]), files=dict(TREE, **SRCS, empty="")),
    sh("integer comparisons", rule(*[
        "@test %s %s %s && echo '%s %s %s' || echo 'not %s %s %s'" % ((a, op, b) * 3)
        for op in ("-eq", "-ne", "-lt", "-le", "-gt", "-ge")
        for a, b in (("2", "10"), ("10", "10"), ("-3", "2"))])),
    sh("string tests", rule(*[
        "@[ %s ] && echo 'yes %s' || echo 'no %s'" % (t, t.replace("'", ""), t.replace("'", ""))
        for t in ('! -e nothere', '-z ""', '-n ""', '-z x', 'a = b', 'a = a', 'a != b',
                  '"10" = "10.0"', '! a = b', '"" = ""', '-n', 'x', '""', '! ""', "''",
                  '= = =', '-f = -f', '007 -eq 7')])),
    shell("test without closing bracket", rule("[ a = a", "@echo never")),
    sh("test with a bad number", rule("test a -eq 1")),
    sh("test with no arguments", rule("test")),
    sh("test -x on a script", rule("@[ -x tool.sh ] && echo x", "@[ -x a.c ] || echo no-x"),
       files={"tool.sh": "#!/bin/sh\n", "a.c": ""}, win_ok=False),

    # Lists and exit status.
    sh("true && false", rule("true && false", "@echo never")),
    sh("false || echo recovered", rule("@false || echo recovered")),
    sh("status of the last command after ;", rule("@false; echo after")),
    sh("&& and || from the left", rule("@true || echo no && echo yes",
                                       "@false && echo no || echo yes",
                                       "@false || false && echo no")),
    sh("failure in the middle of a chain", rule("mkdir out && cp nothere out && echo copied")),
    sh("exit 3", rule("exit 3", "@echo never")),
    sh("exit inside a list stops the rest", rule("@echo a; exit 4; echo b", "@echo never")),
    sh("exit 0 ends the line only", rule("@exit 0; echo no", "@echo next")),
    sh("colon and true", rule(": > empty", "@: && true && echo ok")),
    sh("missing program", rule("no-such-program-vorn arg", "@echo never")),
    sh("sleep", rule("@sleep 0 && echo slept")),

    # Prefixes, comments, quoting.
    sh("dash lines ignore errors", rule("-rm nothere", "-@exit 5", "@-false", "@echo after")),
    sh("comments", rule("@echo a # comment", "@echo b#c 'd # e' #f", "@echo g; # h")),
    sh("quotes", rule(r"""@echo 'a  b' "c  d" "it's" 'say "hi"' 'x'"y"z""")),
    sh("backslash escapes", rule(r"touch a\ b", r"@echo a\ b", r'@printf "[%s]\n" "q\"q" \'')),
    sh("cp of quoted names", rule("cp 'a b' \"c d\""), files={"a b": "ab"}),

    # Globs.
    sh("glob is sorted", rule("@echo *.c", "@echo *.[ch]"),
       files=dict(SRCS, **{"D.c": "", "_.c": ""})),
    sh("glob matching nothing stays", rule("@echo *.none x*"), files=SRCS),
    sh("hidden files need a leading dot", rule("@echo * .h*", "@echo */.k*"),
       files=dict(SRCS, **ASSETS)),
    sh("bracket globs", rule("@echo [ab]*.c [!ab]*.c [a-b].c ?.c"), files=SRCS),
    sh("quoted globs are not expanded", rule("""@echo '*.c' "*.c" \\*.c "a"*.c"""), files=SRCS),
    sh("globs over directories", rule("@echo */*.o */*/*.o build/* build/.*p"), files=TREE),
    sh("glob in a directory", rule("mkdir dst && cp assets/*.css dst", "@echo assets/*"),
       files=dict(ASSETS, **SRCS)),

    # cd applies to the rest of its line only.
    sh("cd sub && touch", rule("cd sub && touch x"), files=SUB),
    sh("cd sub; touch", rule("cd sub; touch x", "touch top"), files=SUB),
    sh("cd up and down", rule("cd sub && cd .. && touch y && cd sub && cat keep.txt"), files=SUB),
    sh("cd to a missing directory", rule("cd missing && touch x")),
    sh("cd failing in a ; list goes on", rule("cd missing; touch x")),
    # Words with blanks and quotes reach the nested run as they were.
    sh("sub-make with quoted words",
       rule("""@cd sub && $(MAKE) -s -f 'my rules.mk' 'x=a "b"  c' > got.txt"""),
       files={"sub/my rules.mk": "all:\n\t@echo '[$(x)]' > out.txt\n"}),
    sh("cd sub && $(MAKE)", rule("@cd sub && $(MAKE) -s"),
       files={"sub/Makefile": rule("@echo in sub > made.txt")}),
    sh("cd sub && ../tool.sh", rule("cd sub && ../tool.sh a"), win_ok=False,
       files={"tool.sh": "#!/bin/sh\necho \"$1\" > got.txt\n", "sub/": None}),
    sh("program exit code passes through", rule("sh -c 'exit 6'"), win_ok=False),
    sh("failing script in a directory", rule("cd sub && ../tool.sh", "@echo never"), win_ok=False,
       files={"tool.sh": "#!/bin/sh\ntouch ran\nexit 3\n", "sub/": None}),
    sh("failing sub-make", rule("@cd sub && $(MAKE) -s", "@echo never"),
       files={"sub/Makefile": rule("@touch made", "@exit 4")}),

    # Redirections.
    sh("> truncates and >> appends", rule("echo new > f", "echo more >> f", "echo a > g b"),
       files={"f": "older and longer\n"}),
    # The error text itself is the tool's own: only its presence is compared.
    sh("2> captures the error", rule("rm nothere 2> err || test -s err && echo has-error",
                                     "rm err")),
    sh("2>&1 into the file", rule("@cat nothere > f 2>&1 || test -s f && echo captured", "rm f")),
    sh("to /dev/null", rule("@echo hidden >/dev/null; rm nothere 2>/dev/null || echo gone")),
    sh(">&2 and 1>&2", rule("@echo to-err >&2; echo to-out", "@echo x > f 1>&2")),
    sh("redirection into a missing directory", rule("echo x > nodir/f", "@echo never")),
    sh("input from a missing file", rule("cat < nothere", "@echo never")),
    sh("redirection onto a directory", rule("echo x > build", "@echo never"), files=TREE),
    sh(">> creates", rule("echo x >> new")),

    # .ONESHELL: one line list, status of the last line.
    sh("oneshell cd across lines", ".ONESHELL:\n" + rule("@mkdir -p out", "cd out", "touch made",
                                                         "cat ../a.c > copy"), files=SRCS),
    sh("oneshell status is the last line's", ".ONESHELL:\n" + rule("@false", "echo after")),
    sh("oneshell exit stops", ".ONESHELL:\n" + rule("@echo one", "exit 7", "echo two")),

    # ~ is $HOME, here a relative one (which wine refuses).
    sh("tilde", rule("@test -d ~ && echo home", "@echo ~/x a~ '~'", "touch ~/made"),
       env={"HOME": "home"}, files={"home/": None}, win_ok=False),

    # Links.
    sh("ln -sf target link", rule("ln -sf a.c link", "ln -sf b.c link", "ln -s build dlink"),
       files=dict(SRCS, **TREE), win_ok=False),
    sh("ln -s over an existing file", rule("ln -s a.c b.c"), files=SRCS, win_ok=False),
    # Without -n, a second link to a directory lands inside it.
    sh("ln -sf twice to a directory", rule("ln -s build dlink", "ln -sf build dlink"),
       files=TREE, win_ok=False),
    sh("rm -rf of a link to a directory", rule("ln -s build dlink", "rm -rf dlink"),
       files=TREE, win_ok=False),
    shell("hard link", rule("ln a.c hard.c", "ln -f b.c hard.c"), files=SRCS),

    # Lines that still need the shell.
    shell("pipe", rule(r"@printf 'b\na\n' | sort > sorted")),
    shell("shell variable", rule("@echo $$HOME; X=$$(echo hi); echo $$X"), env={"HOME": "home"}),
    shell("for loop", rule("for f in a b; do touch $$f.out; done")),
    shell("assignment before a command", rule("X=1 sh -c 'echo $$X; exit 3'")),
    shell("subshell", rule("( cd sub && touch x ); touch y"), files=SUB),
    shell("if then else", rule("@if [ -f a.c ]; then echo yes; else echo no; fi"), files=SRCS),
]
