# A recipe line means the same whether a built-in command carries it out or
# the platform's interpreter does: every line runs once as usual and once with
# "--sys", on the same files, and both runs must end with the same exit code,
# output and files.
from e2elib import Case

FILES = {"x": "X\n", "keep.txt": "K\n", "a": "A\n", "b": "B\n", "-x": "", "d/e": "",
         "sub/": "", "home/": ""}


def same(name, line, args=("--bg1",), only="posix"):
    return Case(name, list(args), files=dict(FILES, **{"vorn.vorn": "all:\n\t%s\n" % line}),
                env={"HOME": "@CWD@/home"}, stdout=None, stderr=None, exit=None,
                twin=["--sys"], only=only)


POSIX = [
    # Read as several commands, a comment or an escape by /bin/sh.
    ("; ends a command", "rm x; touch keep.txt"),
    ("; after mkdir -p", "mkdir -p out; touch x"),
    ("; then a path inside", "mkdir d1; touch d1/x"),
    ("; between echoes", "echo a; echo b"),
    ("# starts a comment", "echo one # comment"),
    ("backslash escapes", "echo don\\'t"),
    ("backslash in a word", "echo a\\b"),
    ("~ is the home directory", "touch ~/f"),
    ("inner quotes are removed", 'touch a"b"'),
    ("quoted option", 'echo "-n" x'),
    ("quoted option letters", 'rm "-r" d'),
    ("assignment before a command", "X=1 touch f"),
    # Quoted or plain in both readings: stays in-process.
    ("quoted ;", 'echo "a;b"'),
    ("quoted #", "echo 'a # b' \"c  d\""),
    ("quotes of the other kind", "echo \"it's\" 'say \"hi\"'"),
    ("! ~ = # inside words", "echo a !b c=~ d~ e#f"),
    ("tab between words", "echo a\tb \"c\td\""),
    ("quoted file name", 'echo x > "out file"'),
    ("words after the file", "echo a > f b"),
    ("append", "echo x >> keep.txt"),
    ("no file after >", "echo a >"),
    ("copy into a directory", "cp a b sub"),
    ("copy of several into a file", "cp a b keep.txt"),
    ("name after --", "rm -- -x"),
    ("rmdir of a file", "rmdir keep.txt"),
    ("mkdir without operands", "mkdir"),
    ("touch # inside", "touch a#b"),
    ("sleep with a unit", "sleep 0.05s"),
    ("sleep with an unknown unit", "sleep 1x"),
]

# cmd.exe: '^' escapes, '%' expands inside quotes, and mkdir and redirections
# split names at ';', ',' and '=', which its echo prints.
CMD = [
    ("^ escapes", "echo a^b"),
    ("% inside quotes", 'echo "%OS%"'),
    ("mkdir splits at ;", "mkdir out;x"),
    ("mkdir splits at ,", "mkdir a,b"),
    ("redirection ends at ;", "echo x > f;g"),
    ("echo prints ; , =", "echo a;b c,d=e"),
    ("echo prints # ~ !", "echo #x ~y hi!"),
    ("echo into a file", "echo x > f"),
]

CASES = [same(n, ln) for n, ln in POSIX] + [same("cmd " + n, ln, only="win") for n, ln in CMD]
# The same in every job variant and in the worker processes.
for _v in ("--bgt", "--bgc", "--bgf", "--bgp"):
    for _n, _ln in (("; ends a command", "rm x; touch keep.txt"), ("quoted ;", 'echo "a;b"')):
        CASES.append(same("%s %s" % (_v, _n), _ln, args=[_v]))
    CASES.append(same("%s cmd mkdir splits at ;" % _v, "mkdir out;x", args=[_v], only="win"))
