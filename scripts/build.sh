#!/bin/sh
# Configures and builds camconsole into build/ (two parallel jobs).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j2
