#!/bin/bash
# Sets up, checks the formatting, builds, runs clang-tidy over the product
# code and runs every test. The widget tests run headless. Then a short soak
# of the console without a window (scripts/soak.sh 20), then
# the .deb is built and checked, the same suite runs again built with
# AddressSanitizer and UBSan (build-asan/), and each fuzz target runs for a
# short time (build-fuzz/, clang).
# A failed step does not stop the others that can still run; the script
# always ends with one summary line, "camconsole: N passed, M failed", with
# ", K skipped" when tests were inconclusive (the machine stalled the
# simulated camera in each try), counting each test and each other step, and
# exits non-zero when anything failed.
# With --no-sanitizers, stops after the .deb check (no sanitized suite, no
# fuzzers): what scripts/check-on-debian.sh runs in a fresh Debian root.
set -uo pipefail
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

results=$(mktemp)
trap 'rm -f "$results"' EXIT
steps_passed=0
steps_skipped=0
failed_steps=""

# step <name> <command...>: runs one step and notes how it ended; status 77
# is a step that could not decide (the machine stalled the camera).
step() {
    name=$1
    shift
    "$@"
    status=$?
    if [ "$status" -eq 0 ]; then
        steps_passed=$((steps_passed + 1))
    elif [ "$status" -eq 77 ]; then
        echo "run-tests: $name was inconclusive: the machine stalled the simulated camera" >&2
        steps_skipped=$((steps_skipped + 1))
    else
        echo "run-tests: $name failed (status $status)" >&2
        failed_steps="$failed_steps $name"
    fi
    return "$status"
}

# tests <name> <command...>: runs a ctest run whose output is counted test by
# test; a run that ends without ctest's closing line counts as a failed step.
tests() {
    name=$1
    shift
    before=$(grep -c "tests passed, [0-9]* tests failed out of" "$results")
    "$@" 2>&1 | tee -a "$results"
    if [ "$(grep -c "tests passed, [0-9]* tests failed out of" "$results")" -eq "$before" ]; then
        echo "run-tests: $name ended without running its tests" >&2
        failed_steps="$failed_steps $name"
    fi
}

summary() {
    # Every ctest run ended in "N% tests passed, F tests failed out of T";
    # CTest shows an inconclusive test as "***Skipped" and counts it passed.
    awk -v steps_passed="$steps_passed" -v steps_skipped="$steps_skipped" -v failed_steps="$failed_steps" '
        /tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
        /\*\*\*Skipped/ { skipped++ }
        END {
            steps_failed = split(failed_steps, names, " ")
            if (steps_failed > 0)
                printf "run-tests: failed steps:%s\n", failed_steps
            passed = total - failed - skipped + steps_passed
            failed += steps_failed
            skipped += steps_skipped
            if (skipped > 0)
                printf "camconsole: %d passed, %d failed, %d skipped\n", passed, failed, skipped
            else
                printf "camconsole: %d passed, %d failed\n", passed, failed
            exit failed > 0 ? 1 : 0
        }' "$results"
}

# Without its packages or a build nothing else can run.
if ! step setup ./scripts/setup.sh; then
    summary
    exit 1
fi
step style ./scripts/check-style.sh
if ! step build ./scripts/build.sh -DCAMCONSOLE_WERROR=ON; then
    summary
    exit 1
fi
step tidy ./scripts/check-tidy.sh build
# Each function of the console in one file: the program and its libraries
# share the layers' libraries instead of carrying copies.
step single-copies ./scripts/check-single-copies.sh build
tests suite ctest --test-dir build --output-on-failure -j2
# A short soak of the console without a window: no failed run, no memory
# growth, no leaked descriptor.
step soak ./scripts/soak.sh 20 build
# The .deb: built from build/ and checked in a scratch root.
step package ./scripts/check-package.sh build
# Reliability: the sanitized suite, then the fuzz targets.
if [ "$reliability" = yes ]; then
    tests sanitized-suite ./scripts/run-sanitized-tests.sh
    step fuzzers ./scripts/run-fuzzers.sh
fi
summary
