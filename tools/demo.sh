#!/usr/bin/env bash
# Sets up and builds, creates the bundled demo host and its removable drive E:, and shows them.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh
build="${KIPO_BUILD_DIR:-build}"
tool="$PWD/$build/tools/kipo-host/kipo-host"
demo="${KIPO_DEMO_DIR:-$PWD/demo}"
rm -rf "$demo"
mkdir -p "$demo"
"$tool" create "$demo/host"
export KIPO_HOST="$demo/host"
echo
"$tool" info
