#!/bin/sh
# Runs clang-tidy (.clang-tidy's checks) over the product code, two files at
# a time, using the compile commands of a configured build directory
# (default build/). Any finding fails.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
if ! command -v clang-tidy >/dev/null 2>&1; then
    echo "check-tidy: FAIL: clang-tidy is not installed (./scripts/setup.sh installs it)" >&2
    exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "check-tidy: FAIL: $build/compile_commands.json is missing; configure $build first" >&2
    exit 1
fi
# Every C++ source of the product: all but the tests, benchmarks and fuzzers.
git ls-files '*.cpp' ':!:tests/' ':!:bench/' ':!:fuzz/' \
    | xargs -r -n 4 -P 2 clang-tidy -p "$build" --quiet
echo "check-tidy: clean"
