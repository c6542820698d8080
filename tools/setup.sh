#!/usr/bin/env bash
# Installs Kipo's build dependencies from Debian's packages (idempotent; run as root on Debian 12),
# then configures and builds into build/ (or $KIPO_BUILD_DIR).
# Options: --sanitize builds with AddressSanitizer and UndefinedBehaviorSanitizer.
#          --fuzz also installs clang and its libFuzzer, and builds the fuzz targets of tests/fuzz
#          with both sanitizers into build-fuzz/ (or $KIPO_BUILD_DIR); tools/fuzz.sh runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev libxml2-dev libssl-dev libcurl4-openssl-dev
          libpng-dev libfreetype-dev fonts-dejavu-core)
# libFuzzer and the sanitizer runtimes of clang 14 (Debian 12's clang) are in libclang-rt-14-dev.
[ "${1:-}" = "--fuzz" ] && packages+=(clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "${1:-}" = "--fuzz" ]; then
  build="${KIPO_BUILD_DIR:-build-fuzz}"
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DKIPO_FUZZ=ON >/dev/null
  cmake --build "$build" -j"$(nproc)" --target fuzz_targets
  exit 0
fi

build="${KIPO_BUILD_DIR:-build}"
sanitize=OFF
[ "${1:-}" = "--sanitize" ] && sanitize=ON
cmake -S . -B "$build" -DKIPO_SANITIZE="$sanitize" >/dev/null
cmake --build "$build" -j"$(nproc)"
