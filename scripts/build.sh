#!/usr/bin/env bash
# Configures and builds Korvane with Ninja.
# Usage: scripts/build.sh [--sanitize] [--bench] [--target TARGET] [BUILD_DIR]
# Default build folder: build (build-asan with --sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
bench=OFF
dir=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitize) sanitize=ON ;;
    --bench) bench=ON ;;
    --target) targets+=(--target "$2"); shift ;;
    *) dir="$1" ;;
  esac
  shift
done
[ -n "$dir" ] || { [ "$sanitize" = ON ] && dir=build-asan || dir=build; }
# A build in the source folder would scatter CMake files among the sources.
[ "$(cd "$dir" 2>/dev/null && pwd)" != "$(pwd)" ] || { echo "build.sh: give a build folder other than the source folder" >&2; exit 2; }

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVANE_SANITIZE="$sanitize" -DKORVANE_BUILD_BENCH="$bench" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
