#!/bin/sh
# Runs clang-tidy (.clang-tidy's checks) over the product code, two files at
# a time, using the compile commands of a configured build directory
# (default build/). Any finding fails.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
git ls-files 'console/*.cpp' 'link/*.cpp' 'decode/*.cpp' 'driver/*.cpp' 'platform/*.cpp' \
    'tarqis/*.cpp' 'sim/*.cpp' 'frames/*.cpp' 'inspector/*.cpp' 'ports/*.cpp' 'common/*.cpp' 'cli/*.cpp' \
    'procedures/*.cpp' 'qt_io/*.cpp' 'image/*.cpp' 'headless/*.cpp' 'app/*.cpp' \
    | xargs -r -n 4 -P 2 clang-tidy -p "$build" --quiet
echo "check-tidy: clean"
