#!/bin/sh
# Sets up, builds and runs every test. The widget tests run headless. Then
# the same suite built with AddressSanitizer and UBSan (build-asan/) and
# each fuzz target for a short time (build-fuzz/, clang).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh -DCAMCONSOLE_WERROR=ON
ctest --test-dir build --output-on-failure -j2
# The .deb: built from build/ and checked in a scratch root.
./scripts/check-package.sh build
# Reliability: the sanitized suite, then the fuzz targets.
./scripts/run-sanitized-tests.sh
./scripts/run-fuzzers.sh
