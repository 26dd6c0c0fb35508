# Nothing half-written is trusted: a goal file that a failed or interrupted
# recipe wrote or changed is deleted, in every build variant, and the built-in
# writers never leave a partial file behind.
from e2elib import All, Case, Has, HasRe, Not

VARIANTS = (("bg1", ["--bg1"]), ("bgt", ["-j", "2", "--bgt"]), ("bgf", ["-j", "2", "--bgf"]),
            ("bgp", ["-j", "2", "--bgp"]))


def deleting(name):
    return Has("!_ vorn | proj | Deleting file '%s'\n" % name)


# name, rules, files before, expected files, the file named as deleted (or None)
FAILED = [
    ("new file", "f:\n\techo partial > f\n\texit 3\n", {}, {"f": None}, "f"),
    ("changed file", "f: src\n\techo partial >> f\n\texit 3\n", {"f": "old\n", "src": ""},
     {"f": None}, "f"),
    ("unchanged file kept", "f: src\n\texit 3\n", {"f": "old\n", "src": ""}, {"f": "old\n"},
     None),
    ("phony kept", ".PHONY: p\np:\n\techo partial > p\n\texit 3\n", {}, {"p": "partial\n"}, None),
    ("directory kept", "d:\n\tmkdir d\n\techo x > d/x\n\texit 3\n", {}, {"d/x": "x\n"}, None),
]

CASES = []
for _v, _args in VARIANTS:
    for _name, _rules, _files, _expect, _deleted in FAILED:
        _f = {"vorn.vorn": _rules}
        _f.update(_files)
        CASES.append(Case("failed recipe, %s, --%s" % (_name, _v), _args, files=_f,
                          times={"f": -100} if "f" in _f else {}, exit=2, expect_files=_expect,
                          stderr=deleting(_deleted) if _deleted else Not(Has("Deleting"))))
    # Stopped between its two writes, the goal file is not left half-written,
    # and the run ends with the summary.
    _sig = 2 if _v == "bg1" else 15
    CASES.append(Case("interrupted recipe, --%s" % _v, _args, interrupt=(1.0, _sig), exit=2,
                      files={"vorn.vorn": "f:\n\techo start > f\n\tsleep 3\n\techo end >> f\n"},
                      only="posix", timeout=20, settle=0.5, expect_files={"f": None},
                      stderr=All(deleting("f"), HasRe(r"SIG %d pid" % _sig),
                                 Has("!! vorn | proj | Build failed for Goal: f"),
                                 HasRe(r"!! vorn \| proj \| Errors [0-9]+ \| Time"))))

# The GNU make dialect deletes too, also without .DELETE_ON_ERROR (with it:
# the gm suite), and keeps a precious file.
for _name, _mk, _expect, _deleted in (
        ("deleted", "f:\n\techo partial > f\n\texit 3\n", None, "f"),
        ("precious kept", ".PRECIOUS: f\nf:\n\techo partial > f\n\texit 3\n", "partial\n",
         None)):
    CASES.append(Case("GNU make dialect, failed recipe, " + _name, ["--gm"],
                      files={"Makefile": _mk}, exit=2, expect_files={"f": _expect}, stdout=None,
                      stderr=deleting(_deleted) if _deleted else Not(Has("Deleting"))))

# The built-in writers replace a file in one step (through a temporary name
# that never stays) and write through a link as the interpreter would.
_WRITES = "all:\n\techo new > out/a\n\tcp src out/b\n\tcp src out\n\tcat src > out/c\n"
for _v, _args in VARIANTS:
    CASES.append(Case("built-in writers leave no temporary file, --%s" % _v, _args,
                      files={"vorn.vorn": _WRITES + "\tls -A out > names.txt\n", "src": "s\n",
                             "out/a": "old\n", "out/b": "old\n"},
                      only="posix", stderr=None,
                      expect_files={"out/a": "new\n", "out/b": "s\n", "out/src": "s\n",
                                    "out/c": "s\n", "names.txt": "a\nb\nc\nsrc\n"}))
CASES.append(Case("built-in echo writes through a link", ["--bg1"], only="posix", stderr=None,
                  files={"vorn.vorn": "all:\n\tln -s real link\n\techo new > link\n",
                         "real": "old\n"},
                  expect_files={"real": "new\n"}))
