#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs the tests labelled "sanitized" there (every test: each
# drives our own buffers, parsers or object lifetimes). Any sanitizer report
# fails the test it happens in.
set -eu
cd "$(dirname "$0")/.."

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAMCONSOLE_SANITIZE=ON \
    -DCAMCONSOLE_BENCHMARKS=OFF -DCAMCONSOLE_WERROR=ON
cmake --build build-asan -j2

# The only leaks LeakSanitizer reports are fontconfig's: Qt loads the font
# configuration once per process and never frees it (seen in every widget
# test). They are the system library's, not the console's, and suppressed by
# library name only, so a leak in our code still fails its test.
suppressions="$PWD/build-asan/lsan.supp"
printf '%s\n' 'leak:libfontconfig.so' >"$suppressions"
LSAN_OPTIONS="suppressions=$suppressions${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# abort_on_error: a report ends the process with a failing status, which is
# what ctest sees; UBSan findings already abort (-fno-sanitize-recover).
ASAN_OPTIONS="abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
ctest --test-dir build-asan --output-on-failure -j2 -L sanitized
