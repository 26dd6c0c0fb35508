#!/usr/bin/env bash
# Builds vorn in build/ (installing the compiler and build tools when this
# machine lacks them) and runs it on the bundled example.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bash .ci/install-deps build
cmake -S . -B build -G Ninja
ninja -C build -j "${VORN_JOBS:-2}" vorn
build/vorn -V
# Build the example (its two compiles run in parallel), run it, then build
# again: the second run finds nothing to do.
build/vorn -C examples/hello
examples/hello/out/hello
build/vorn -C examples/hello -D r
# An ordinary GNU Makefile project, read as GNU make reads it.
build/vorn --gm -C examples/calc
examples/calc/calc '2 * (3 + 4) / 7'
build/vorn --gm -C examples/calc clean
# A two-directory project: a pattern rule into obj/, header dependencies from
# -MMD -MP, and a static library built by a nested run; four jobs.
build/vorn --gm -C examples/multi -j4
examples/multi/app 12 18 30
build/vorn --gm -C examples/multi clean
