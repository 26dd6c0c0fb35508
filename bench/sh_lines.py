#!/usr/bin/env python3
"""Share of Makefile recipe lines that `vorn --gm` runs without an interpreter.

    python3 bench/sh_lines.py PATH/TO/vorn MAKEFILE... [--show]

Recipe lines (tab-led, continuations joined) are taken from each Makefile,
their prefixes (@ - +) dropped and make's references replaced by what they
usually expand to: $(RM) "rm -f", $(MAKE) a path to this tool, $(CC) "cc",
every other reference one plain word, "$$" a "$". The tool itself then says
which of the lines it would run in-process (its --jxshtakes mode). A
reference whose value holds shell syntax is counted as a plain word, so the
share is an estimate for lines built from variables.
"""

import re
import subprocess
import sys

KNOWN = {"RM": "rm -f", "MAKE": "/usr/local/bin/vorn --gm", "CC": "cc", "CXX": "c++",
         "MKDIR": "mkdir", "CP": "cp", "MV": "mv", "INSTALL": "install"}


def expand(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c != "$" or i + 1 >= len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        if n == "$":
            out.append("$")
            i += 2
        elif n in "({":
            close = ")" if n == "(" else "}"
            depth, j = 1, i + 2
            while j < len(text) and depth:
                depth += text[j] == n
                depth -= text[j] == close
                j += 1
            name = text[i + 2:j - 1]
            out.append(KNOWN.get(name, "w"))
            i = j
        else:
            out.append("w")
            i += 2
    return "".join(out)


def recipe_lines(path):
    with open(path, errors="replace") as f:
        raw = f.read().split("\n")
    lines, i = [], 0
    in_define = False
    while i < len(raw):
        line = raw[i]
        if re.match(r"\s*define\b", line):
            in_define = True
        elif re.match(r"\s*endef\b", line):
            in_define = False
        if in_define or not line.startswith("\t"):
            i += 1
            continue
        parts = [line[1:]]
        while parts[-1].endswith("\\") and i + 1 < len(raw):
            i += 1
            nxt = raw[i]
            parts.append(nxt[1:] if nxt.startswith("\t") else nxt)
        i += 1
        text = "\x01".join(parts).lstrip()
        while text[:1] in ("@", "-", "+"):
            text = text[1:].lstrip()
        if text and not text.startswith("#"):
            lines.append(expand(text))
    return lines


def main():
    args = [a for a in sys.argv[1:] if a != "--show"]
    show = "--show" in sys.argv
    exe, files = args[0], args[1:]
    total = taken = 0
    for path in files:
        lines = recipe_lines(path)
        if not lines:
            continue
        res = subprocess.run([exe, "--jxshtakes"], input="\n".join(lines) + "\n",
                             capture_output=True, text=True, check=True).stdout.split()
        t = sum(r == "1" for r in res)
        total += len(lines)
        taken += t
        print("%4d/%-4d %s" % (t, len(lines), path))
        if show:
            for r, line in zip(res, lines):
                print("   %s %s" % ("in " if r == "1" else "sh ", line.replace("\x01", "\\n")))
    share = 100.0 * taken / total if total else 0.0
    print("in-process: %d of %d recipe lines (%.0f%%) in %d Makefiles" %
          (taken, total, share, len(files)))


if __name__ == "__main__":
    main()
