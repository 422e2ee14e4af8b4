#!/usr/bin/env bash
# Builds the engine (Release) on a Debian machine, installing what is missing,
# then starts it; arguments are passed on. Build messages go to standard
# error so that standard output carries only the engine's protocol.
set -euo pipefail
cd "$(dirname "$0")"

bash .ci/install-deps
bash .ci/build-release --target tarnock >&2
exec build/tarnock "$@"
