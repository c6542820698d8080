#!/usr/bin/env bash
# Sets up, builds and runs every test (what CI runs).
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh "$@"
build="${KIPO_BUILD_DIR:-build}"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
