# Runs that get past the options into the rules, graph and build stages.
# Without a rules file such a run ends with one error about it; with an empty
# one, the default parallel build ends with one error: no goal to build.
from e2elib import All, Case, HasRe, L, Lines, Not, Re, done_err, info

# The error line about reading rules files, whatever its exact words.
RULES_ERR = L(r"!! vorn \| proj \| .*rules.*")
NESTED_RULES_ERR = L(r"!! vorn 2 \| proj \| .*rules.*")
BUILD_ERR = L(r"!! vorn \| proj \| No default goal to use")

CASES = [
    Case("top level", [], stderr=[RULES_ERR] + done_err(1), exit=2),
    # "--" makes -v a goal: the run is not verbose.
    Case("double dash then -v", ["--", "-v"], stderr=[RULES_ERR] + done_err(1), exit=2),
    Case("quiet", ["-q"], stderr="", exit=2),
    # A nested run leaves the summary to verbose mode.
    Case("nested", [], env={"VORN_E_LEVEL": "1"}, stderr=[NESTED_RULES_ERR], exit=2),
    # The start-up variables come before the rules: the VORN trace is a level-0
    # line with the debug letter v.
    Case("debug vars", ["-Dv"], stderr=[info("env exe VORN='vorn'"), RULES_ERR] + done_err(1),
         exit=2),
    Case("debug vars inherited VORN", ["-D", "vars"], env={"VORN": "my vorn -x"},
         stderr=[info("env exe VORN='my vorn -x'"), RULES_ERR] + done_err(1), exit=2),
    Case("debug vars empty VORN", ["-D", "vars"], env={"VORN": ""},
         stderr=[info("env exe VORN=''"), RULES_ERR] + done_err(1), exit=2),
    Case("nested verbose", ["-v"], env={"VORN_E_LEVEL": "1"}, stderr=All(
        HasRe(r"\n" + NESTED_RULES_ERR.pattern + r"\n"),
        Re(r"[\s\S]*\n~_ vorn 2 \| proj @T@ \| Errors 1 \| Time @T@ sec \|(?: [^|\n]*\|)?"
           r" error: 2 \| cwd: @CWD@\n")), exit=2),
    # Debug letters from VORN_ARGS stay set after the command line's options.
    Case("debug vars from VORN_ARGS", ["-D", "c", "all"], env={"VORN_ARGS": "-D v"},
         stderr=[info("env exe VORN='vorn'"), RULES_ERR] + done_err(1), exit=2),
    # Verbose: the summary carries the working directory.
    Case("verbose", ["-v"], stderr=All(
        HasRe(r"\n" + RULES_ERR.pattern + r"\n"),
        Re(r"[\s\S]*\n" + done_err(1, extra2=" | cwd: @CWD@")[1].pattern + r"\n")), exit=2),
    # The file named by a quoted "-f" has no quotes in it.
    Case("quoted rules file from VORN_ARGS", [], env={"VORN_ARGS": '-f "my rules.vorn"'},
         files={"my rules.vorn": ""},
         stderr=All(Lines(BUILD_ERR, *done_err(1)), Not(HasRe(r"\"my rules"))), exit=2),
    Case("quoted rules file from a file", ["-@", "f.args"],
         files={"my rules.vorn": "", "f.args": "-f 'my rules.vorn'"},
         stderr=All(Lines(BUILD_ERR, *done_err(1)), Not(HasRe(r"'my rules"))), exit=2),
]

