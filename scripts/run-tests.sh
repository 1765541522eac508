#!/bin/bash
# Sets up, checks the formatting, builds, runs clang-tidy over the product
# code and runs every test. The widget tests run headless. Then a short soak
# of the console without a window (scripts/soak.sh 20), then
# the .deb is built and checked, the same suite runs again built with
# AddressSanitizer and UBSan (build-asan/), and each fuzz target runs for a
# short time (build-fuzz/, clang). Ends with one summary line.
# With --no-sanitizers, stops after the .deb check (no sanitized suite, no
# fuzzers): what scripts/check-on-debian.sh runs in a fresh Debian root.
set -euo pipefail
cd "$(dirname "$0")/.."
reliability=yes
case "${1:-}" in
"") ;;
--no-sanitizers) reliability=no ;;
*)
    echo "usage: $0 [--no-sanitizers]" >&2
    exit 2
    ;;
esac
./scripts/setup.sh
./scripts/check-style.sh
./scripts/build.sh -DCAMCONSOLE_WERROR=ON
./scripts/check-tidy.sh build

results=$(mktemp)
trap 'rm -f "$results"' EXIT
ctest --test-dir build --output-on-failure -j2 | tee -a "$results"
# A short soak of the console without a window: no failed run, no memory
# growth, no leaked descriptor.
./scripts/soak.sh 20 build
# The .deb: built from build/ and checked in a scratch root.
./scripts/check-package.sh build
# Reliability: the sanitized suite, then the fuzz targets.
if [ "$reliability" = yes ]; then
    ./scripts/run-sanitized-tests.sh | tee -a "$results"
    ./scripts/run-fuzzers.sh
fi

# Every ctest run above ended in "N% tests passed, F tests failed out of T".
awk '/tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
     END { printf "camconsole: %d passed, %d failed\n", total - failed, failed }' "$results"
