#!/usr/bin/env bash
# Builds everything (Release) on a Debian machine, installing what is
# missing, and runs the test suite.
set -euo pipefail
cd "$(dirname "$0")"

bash .ci/install-deps
bash .ci/build-release
ctest --test-dir build --output-on-failure -j2
