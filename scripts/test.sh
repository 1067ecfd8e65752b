#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test suite three
# ways: native, with AddressSanitizer/UndefinedBehaviorSanitizer, and as the
# Windows build under Wine. Pass a subset of "linux asan windows" to run
# only those.
set -euo pipefail
cd "$(dirname "$0")/.."

ways=("$@")
[ ${#ways[@]} -eq 0 ] && ways=(linux asan windows)

scripts/install-deps.sh

run_preset() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -- --no-print-directory -s
  echo "== $preset: tests"
  ctest --preset "$preset" -j2
}

for way in "${ways[@]}"; do
  case "$way" in
    linux) run_preset linux ;;
    asan) ASAN_OPTIONS=detect_leaks=1 run_preset linux-asan ;;
    windows)
      scripts/windows-deps.sh
      run_preset windows ;;
    *) echo "test.sh: unknown way '$way' (linux, asan, windows)" >&2; exit 2 ;;
  esac
done
