#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quietly:
#
#   wine-run.sh [--prefix DIR] program.exe [arguments...]
#
# The Wine prefix is DIR (default: $WINEPREFIX, else build/wineprefix beside
# this script's tree). It is created on first use with `wineboot -i` and
# reused afterwards; a lock keeps parallel test runs from creating it twice.
# The prefix's wineserver stays up for a minute after the last program.
# The program's exit code is passed through.
set -euo pipefail

prefix="${WINEPREFIX:-}"
if [ "${1:-}" = "--prefix" ]; then
  prefix=$2
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: wine-run.sh [--prefix DIR] program.exe [arguments...]" >&2
  exit 2
fi
[ -n "$prefix" ] || prefix="$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix"
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac  # Wine wants it absolute

wine_bin=$(command -v wine || true)
if [ -z "$wine_bin" ]; then
  echo "wine-run.sh: Wine is not installed (apt-get install wine wine64, or run scripts/windows-deps.sh)" >&2
  exit 127
fi

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installer prompts; the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# Console programs need no display; without one Wine uses its null driver.
[ -n "${QV_WINE_DISPLAY:-}" ] && export DISPLAY="$QV_WINE_DISPLAY" || unset DISPLAY

if [ ! -f "$prefix/.qv-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$prefix/.qv-ready" ]; then
    rm -rf "$prefix"
    if ! "$wine_bin" wineboot -i >"$prefix.log" 2>&1; then
      echo "wine-run.sh: creating the Wine prefix $prefix failed; see $prefix.log" >&2
      exit 1
    fi
    wineserver -w 2>/dev/null || true
    touch "$prefix/.qv-ready"
  fi
  exec 9>&-
fi

# Starting Wine's services costs seconds; a server that outlives one program
# by a minute lets the next test suite start at once. Exit code 2 means one
# is already running.
wineserver -p60 2>/dev/null || true

exec "$wine_bin" "$@"
