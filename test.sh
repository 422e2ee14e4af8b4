#!/usr/bin/env bash
# Builds everything (Release) on a Debian machine, installing what is
# missing, and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")"

bash .ci/install-deps
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
