#!/usr/bin/env bash
# Configures and builds one flavour into build/<flavour>: release, test (sanitizers), tsan, bench.
#   bash scripts/build.sh <flavour> [target...]   (no targets: everything)
set -euo pipefail
cd "$(dirname "$0")/.."
flavour="${1:-release}"
shift || true
case "$flavour" in
  release) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIVECT_TESTS=OFF) ;;
  test)    opts=(-DCMAKE_BUILD_TYPE=Debug -DRIVECT_SANITIZE=ON) ;;
  tsan)    opts=(-DCMAKE_BUILD_TYPE=Debug -DRIVECT_TSAN=ON) ;;
  bench)   opts=(-DCMAKE_BUILD_TYPE=Release -DRIVECT_TESTS=OFF -DRIVECT_BENCH=ON) ;;
  *) echo "build.sh: unknown flavour '$flavour' (release, test, tsan, bench)" >&2; exit 2 ;;
esac
cmake -S . -B "build/$flavour" -G Ninja "${opts[@]}" >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "build/$flavour" -j "$(nproc)" "${targets[@]}"
