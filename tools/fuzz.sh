#!/usr/bin/env bash
# Runs the libFuzzer targets built by `tools/setup.sh --fuzz` for a while each, starting from the
# seed corpus; new inputs go to build-fuzz/fuzz-corpus/<name>/, crashes to build-fuzz/fuzz-crashes/.
#   tools/fuzz.sh                  every target, 60 seconds each
#   tools/fuzz.sh image 600        one target (image, key_dump, resource, ...) for 10 minutes
# A crash's input, once fixed, belongs in tests/fuzz/corpus/<name>/ so the test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${KIPO_BUILD_DIR:-build-fuzz}"
target="${1:-all}"
seconds="${2:-60}"
if [ ! -d "$build/tests/fuzz" ]; then
  echo "fuzz.sh: no fuzz build in $build (run tools/setup.sh --fuzz)" >&2
  exit 2
fi
names=()
if [ "$target" = "all" ]; then
  for f in tests/fuzz/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    names+=("$n")
  done
else
  names=("$target")
fi
status=0
for n in "${names[@]}"; do
  program="$build/tests/fuzz/fuzz_$n"
  if [ ! -x "$program" ]; then
    echo "fuzz.sh: no target $n ($program)" >&2
    exit 2
  fi
  corpus="$build/fuzz-corpus/$n"
  crashes="$build/fuzz-crashes/$n"
  mkdir -p "$corpus" "$crashes"
  echo "== $n: $seconds s"
  UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
    "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=65536 \
    -artifact_prefix="$crashes/" "$corpus" "tests/fuzz/corpus/$n" || status=1
done
exit $status
