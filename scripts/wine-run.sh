#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quietly:
#
#   wine-run.sh [--prefix DIR] [--live] program.exe [arguments...]
#
# The Wine prefix is DIR (default: $WINEPREFIX, else build/wineprefix beside
# this script's tree). It is created on first use with `wineboot -i` and
# reused afterwards; a lock keeps parallel test runs from creating it twice.
# The prefix's wineserver stays up for a minute after the last program.
# The program's exit code is passed through. Its output is passed on when it
# has ended, or as it comes with --live (for a caller that reads it while the
# program runs, and does not read it to its end).
set -euo pipefail

prefix="${WINEPREFIX:-}"
if [ "${1:-}" = "--prefix" ]; then
  prefix=$2
  shift 2
fi
live=
if [ "${1:-}" = "--live" ]; then
  live=1
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: wine-run.sh [--prefix DIR] [--live] program.exe [arguments...]" >&2
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
# by a minute lets the next test suite start at once. The services keep the
# display they were started with, so a program that wants another one (a
# suite under a virtual X display after the console suites) stops the
# running server and starts its own. Such suites run alone: no other program
# is using the server stopped here.
display_file="$prefix.server-display"
wanted_display="${DISPLAY:-none}"
exec 9>"$prefix.lock"
flock 9
if wineserver -p60 >/dev/null 2>&1 9>&-; then  # 0: started, 2: one is running
  echo "$wanted_display" >"$display_file"
elif [ "$(cat "$display_file" 2>/dev/null)" != "$wanted_display" ]; then
  wineserver -k 9>&- 2>/dev/null || true
  wineserver -w 9>&- 2>/dev/null || true
  wineserver -p60 9>&- 2>/dev/null || true
  echo "$wanted_display" >"$display_file"
fi
exec 9>&-

# Wine starts helpers on demand (its services, the desktop) that inherit the
# output of the program that needed them and live as long as the server. A
# caller reading that output to its end (CTest) would wait for the server
# too, so the program writes into files, passed on once it has ended.
[ -n "$live" ] && exec "$wine_bin" "$@"
output=$(mktemp -d)
trap 'cat "$output/out"; cat "$output/err" >&2; rm -rf "$output"' EXIT
trap 'exit 143' TERM INT
status=0
"$wine_bin" "$@" >"$output/out" 2>"$output/err" || status=$?
exit "$status"
