#!/usr/bin/env bash
# The long form of the crash and drive-pull fault runner (the test run holds its short form):
# builds the runner and what it drives, then runs hundreds of sessions with a kill or a drive pull
# in them, three at once, each on a host of its own, and prints the report (runs, kill points
# covered and reached, the failures by cause, every failure with the seed and the command that
# repeats it). A failing run's host and drive are kept under the work folder; a passing run's are
# removed. Do not rebuild kipo_faults while it runs: each run starts the binary anew.
#
#   ./tools/faults.sh [--seed N] [--runs N] [--jobs 1-3] [--mode mixed|crash|pull] [--keep]
#   ./tools/faults.sh --repeat SEED --mode crash|pull --point CALL:N|ms:N   one reported run again
#
# Defaults: a seed from the clock, 200 runs, 3 at once, both modes. --no-build uses the build as
# it is (KIPO_BUILD_DIR, default build). The work folder is <build>/faults-<seed> unless --work.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${KIPO_BUILD_DIR:-build}"
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
seed="$(date +%s)"
runs=200
work=""
build_first=1
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --repeat) seed="$2"; args+=(--repeat "$2"); shift 2 ;;
    --no-build) build_first=0; shift ;;
    --jobs|--mode|--point) args+=("$1" "$2"); shift 2 ;;
    --keep) args+=(--keep); shift ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "faults.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
if [ "$build_first" = 1 ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}" CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  cmake --build "$build" -j4 --target kipo_faults >/dev/null
fi
work="${work:-$build/faults-$seed}"
exec "$build/tests/faults/kipo_faults" --seed "$seed" --runs "$runs" --work "$work" "${args[@]}"
