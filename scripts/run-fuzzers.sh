#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a short time
# on a scratch copy of its seed corpus. Fails on any crash, leak, sanitizer
# report or timeout; the input that failed is kept in build-fuzz/artifacts/.
#
#   FUZZ_SECONDS=60 ./scripts/run-fuzzers.sh    # longer runs (default 15 s each)
set -eu
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-15}"
targets="frame_stream frame_buffer line_mode dump_reader capture"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCAMCONSOLE_FUZZ=ON -DBUILD_TESTING=OFF -DCAMCONSOLE_BENCHMARKS=OFF
build_targets=""
for name in $targets; do
    build_targets="$build_targets ${name}_fuzz"
done
# shellcheck disable=SC2086
cmake --build build-fuzz -j2 --target $build_targets

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p build-fuzz/artifacts

status=0
for name in $targets; do
    # New inputs go to the scratch copy; the seeds in the repository stay as they are.
    cp -R "fuzz/corpus/$name" "$scratch/$name"
    log="$scratch/$name.log"
    if build-fuzz/fuzz/"${name}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/artifacts/${name}-" "$scratch/$name" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz: ${name}_fuzz: ${runs:-?} runs in ${seconds} s, no crash"
    else
        echo "fuzz: ${name}_fuzz FAILED; last lines of its output:" >&2
        tail -n 40 "$log" >&2
        status=1
    fi
done
exit $status
