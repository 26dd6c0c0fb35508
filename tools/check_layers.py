#!/usr/bin/env python3
"""Checks that every #include "..." under src/ points to the same layer or a
lower one. Exit 1 and one "file -> header" line per upward include, else 0.

    python3 tools/check_layers.py [--src DIR]
    python3 tools/check_layers.py --self-test
"""

import os
import re
import sys

# Bottom to top. Within app/ the logger, error numbers and options record sit
# low; the rest of app/ is the run driver on top.
FOLDER_LAYERS = {"base": 0, "rules": 2, "graph": 3, "gnu": 3, "exec": 4, "jobs": 5, "build": 6}
LOW_APP_PREFIXES = ("log", "syserr", "conf")
LOW_APP_LAYER = 1
DRIVER_LAYER = 7

INCLUDE_RE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_EXTS = (".h", ".hpp", ".cpp", ".cc", ".c")


def layer_of(path):
    """Layer of a path relative to src/ ("graph/goals.h"); None when unknown."""
    parts = path.replace("\\", "/").split("/")
    if len(parts) < 2:
        return None
    folder, name = parts[0], parts[-1]
    if folder == "app":
        return LOW_APP_LAYER if name.startswith(LOW_APP_PREFIXES) else DRIVER_LAYER
    return FOLDER_LAYERS.get(folder)


def allowed(src, header):
    a, b = layer_of(src), layer_of(header)
    if a is None or b is None:
        return True  # outside the layering (system or generated headers)
    if b > a:
        return False
    if b == a:
        # gnu fills the goal table; the graph knows nothing of gnu.
        fa, fb = src.split("/")[0], header.split("/")[0]
        return not (fa == "graph" and fb == "gnu")
    return True


def offending(includes):
    """The (file, header) pairs of includes that point up, in input order."""
    return [(f, h) for f, h in includes if not allowed(f, h)]


def scan(src_dir):
    out = []
    for root, dirs, files in os.walk(src_dir):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(SOURCE_EXTS):
                continue
            full = os.path.join(root, name)
            rel = os.path.relpath(full, src_dir).replace(os.sep, "/")
            with open(full, encoding="utf-8", errors="replace") as f:
                for line in f:
                    m = INCLUDE_RE.match(line)
                    if m:
                        out.append((rel, m.group(1)))
    return out


def self_test():
    cases = [
        # (file, header, upward)
        ("rules/eval.cpp", "exec/runner.h", True),
        ("graph/goals.cpp", "app/vars.h", True),
        ("base/fs.cpp", "app/log.h", True),
        ("graph/deps.cpp", "gnu/greader.h", True),
        ("app/conf.h", "rules/envmap.h", True),
        ("build/walk.cpp", "jobs/threads.h", False),
        ("gnu/greader.cpp", "graph/goals.h", False),
        ("exec/selfexe.cpp", "app/conf.h", False),
        ("rules/load.cpp", "rules/eval.h", False),
        ("app/app.cpp", "build/walk.h", False),
        ("app/log.cpp", "app/syserr.h", False),
        ("jobs/que.cpp", "windows.h", False),
    ]
    bad = []
    for f, h, upward in cases:
        if bool(offending([(f, h)])) != upward:
            bad.append("%s -> %s: expected %s" % (f, h, "flagged" if upward else "passed"))
    for line in bad:
        print("self-test: " + line)
    print("self-test: %s" % ("FAILED" if bad else "ok"))
    return 1 if bad else 0


def main(argv):
    if "--self-test" in argv:
        return self_test()
    src_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    if "--src" in argv:
        src_dir = argv[argv.index("--src") + 1]
    bad = offending(scan(src_dir))
    for f, h in bad:
        print("%s -> %s" % (f, h))
    if bad:
        print("%d include(s) point up the layering" % len(bad))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
