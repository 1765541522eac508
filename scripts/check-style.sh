#!/bin/sh
# Checks that every C and C++ source is formatted as .clang-format says.
# With --fix, formats them in place instead.
set -eu
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    echo "check-style: FAIL: clang-format is not installed (./scripts/setup.sh installs it)" >&2
    exit 1
fi
files=$(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--fix" ]; then
    # shellcheck disable=SC2086
    clang-format -i $files
    exit 0
fi
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
echo "check-style: formatting clean"
