# The "--prd" and "--pr" listings of a small project.
from e2elib import All, Case, HasRe, L, done_ok, esc, listing

RULES = """include config.vorn
.PHONY: all clean
all: app | out
app: main.o util.o
\t$(CC) -o app main.o util.o
main.o: main.c defs.h
\t@$(CC) -c main.c
util.o: util.c
\t-$(CC) -c util.c
out:
\tmkdir out
clean:
\trm -rf out
sub:
\tmake -C sub
"""

FILES = {"vorn.vorn": RULES, "config.vorn": "CC = gcc\n"}

COUNTS = dict(rules=7, heavy=(1, 1), usual=(3, 4), with_cmds=6, cmds=6, deps_usual=6,
              deps_exist=1)

DEPS = ["PHONY (L) all : (L) app | (_) out",
        "(L) app : (L) main.o (L) util.o",
        "PHONY (_) clean :",
        "(L) main.o : (?) main.c (?) defs.h",
        "(_) out :",
        "(H) sub :",
        "(L) util.o : (?) util.c"]


def rules(tag):
    t = (lambda x: "(%s) " % x) if tag else (lambda x: "")
    pad = " " * 8
    return ["PHONY %sall :" % t("L"), pad + t("L") + "app", pad + "|", pad + t("_") + "out",
            "%sapp :" % t("L"), pad + t("L") + "main.o", pad + t("L") + "util.o",
            "    gcc -o app main.o util.o",
            "PHONY %sclean :" % t("_"), "    rm -rf out",
            "%smain.o :" % t("L"), pad + t("?") + "main.c", pad + t("?") + "defs.h",
            "    @gcc -c main.c",
            "%sout :" % t("_"), "    mkdir out",
            "%ssub :" % t("H"), "    make -C sub",
            "%sutil.o :" % t("L"), pad + t("?") + "util.c", "    -gcc -c util.c"]


# The adapt time of so small a table may be too short to measure (0: not shown).
SEC = r"[0-9]+\.[0-9]{6} sec"
TIMINGS = [L(esc("// el rules & deps expand ") + SEC + r"\n"
             + r"(?:// el rules & deps adapt  " + SEC + r"\n)?"
             + esc("// el rules & deps total  ") + SEC), ""]

CASES = [
    Case("deps", ["--prd"], files=FILES, stdout=listing(DEPS, **COUNTS),
         stderr=done_ok()),
    Case("rules", ["--pr"], files=FILES,
         stdout=listing(rules(False), mode="R", **COUNTS), stderr=done_ok()),
    Case("both", ["--prd", "--pr"], files=FILES,
         stdout=listing(DEPS, **COUNTS) + listing(rules(True), mode="R", **COUNTS),
         stderr=done_ok()),
    Case("-D letters", ["-D", "D", "-D", "R"], files=FILES,
         stdout=listing(DEPS, **COUNTS) + listing(rules(True), mode="R", **COUNTS),
         stderr=done_ok()),
    Case("timings with -D o", ["--prd", "-D", "o"], files=FILES,
         stdout=listing(DEPS, timings=TIMINGS, **COUNTS), stderr=done_ok()),
    # Without a print option the run builds instead: out is found to need a
    # job, then the missing source stops the build; nothing is listed.
    Case("no print option builds", [], files=FILES, exit=2, stdout="",
         stderr=All(HasRe(esc("!! vorn | proj | Cannot build Goal: main.c | cwd: ") + "@CWD@\n"),
                    HasRe(esc("!! vorn | proj | Build failed for Goal: all\n")),
                    HasRe(r"\| Errors [0-9]+ \| Time @T@ sec \| bgt-jobs [0-9]+ \| error: 2\n$")),
         empty_dirs=["out"]),
]
