#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, and runs every test under Xvfb,
# first in a plain build, then with AddressSanitizer + UndefinedBehaviorSanitizer.
# Usage: scripts/test.sh [--plain-only | --sanitize-only] [ctest arguments, e.g. -L gpu]
set -euo pipefail
cd "$(dirname "$0")/.."

modes=(plain sanitize)
ctest_args=()
for a in "$@"; do
  case "$a" in
    --plain-only) modes=(plain) ;;
    --sanitize-only) modes=(sanitize) ;;
    *) ctest_args+=("$a") ;;
  esac
done

phase_start=$SECONDS
phase() { echo "== phase '$1' took $((SECONDS - phase_start)) s"; phase_start=$SECONDS; }

bash scripts/install-deps.sh
phase install

run_suite() {
  local dir=$1
  # One X server for the whole suite; -a picks a free display number.
  xvfb-run -a -s "-screen 0 1920x1080x24 +extension GLX" \
    ctest --test-dir "$dir" --output-on-failure "${ctest_args[@]}"
}

for mode in "${modes[@]}"; do
  if [ "$mode" = plain ]; then
    bash scripts/build.sh build
    phase build
    run_suite build
    phase test
  else
    bash scripts/build.sh --sanitize build-asan
    phase "sanitizer build"
    run_suite build-asan
    phase "sanitizer test"
  fi
done
