#!/usr/bin/env bash
# The product's main job: builds the updater, installs the demo patch
# (demo/patch) into a sandbox game installation that this script creates,
# and prints what changed.
#
#   scripts/demo.sh             Linux build, terminal front end
#   scripts/demo.sh --windows   Windows build under Wine: its real window
#                               when a display is there, else the script
#                               front end's transcript
#   scripts/demo.sh --qvpatch   the patch is made by qvpatch from two builds
#                               of the game instead of by hand (combines
#                               with --windows)
#
# Everything happens below build/demo/: patch/ (the patch folder the user
# would start the updater from), game/SkyLantern/ (the installed game) and
# appdata/ (the all-users application-data folder with the game's install
# record); old/ keeps the game as it was before the update; with --qvpatch,
# build-1.1/ and build-1.2/ are the two builds the patch is made from.
# QV_UI_LANGUAGE=1033 or 1041 picks English or Japanese.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

way=linux
make_patch=no
for option in "$@"; do
  case "$option" in
    --windows) way=windows ;;
    --qvpatch) make_patch=yes ;;
    *) echo "usage: scripts/demo.sh [--windows] [--qvpatch]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh
echo "== building the updater and the demo generator"
cmake --preset linux >/dev/null
cmake --build --preset linux --target updater qv_demogen qvpatch -- --no-print-directory -s
if [ "$way" = windows ]; then
  scripts/windows-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target updater -- --no-print-directory -s
fi

run="$root/build/demo"
game="$run/game/SkyLantern"
rm -rf "$run"
mkdir -p "$run" "$game"
cp -r demo/patch "$run/patch"
build/linux/tools/demogen/qv_demogen "$run/patch" "$game"

# The path the updater sees: a Linux path, or Wine's Z: drive.
as_seen() {
  if [ "$way" = windows ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi
}
game_seen=$(as_seen "$game")

echo "== creating the sandbox installation in $game"
crlf() { printf '%s\r\n' "$@"; }
crlf "Sky Lantern 1.0 - read me" > "$game/readme_old.txt"
crlf "Sky Lantern 1.1" "" "The first release." > "$game/readme.txt"
mkdir -p "$game/cache/thumbs" "$game/scenario" "$game/save" "$game/system"
printf 'thumbnail' > "$game/cache/thumbs/001.bmp"
printf 'index' > "$game/cache/index.dat"
crlf "; prologue" "@bg hill" > "$game/scenario/prologue.txt"
crlf "; prologue, beta" > "$game/scenario/prologue_beta.txt"
crlf "[system]" "version=1.0" > "$game/system/config.ini"
printf 'player save data' > "$game/save/slot01.dat"
crlf "\"$game_seen\\game.exe\"" "\"$game_seen\\scenario\\prologue.txt\"" "\"$game_seen\\system\\config.ini\"" \
  > "$game/install.log"
mkdir -p "$run/appdata/QvDemo"
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<install>\r\n  <path>%s</path>\r\n  <version>1.1</version>\r\n</install>\r\n' \
  "$game_seen" > "$run/appdata/QvDemo/SkyLantern.xml"

snapshot() { (cd "$game" && find . -type f -print0 | sort -z | xargs -0 sha1sum | sed 's#  \./#  #'); }
snapshot > "$run/before.txt"
# The game as it was, for qvpatch (README, "Making a patch").
cp -a "$game" "$run/old"

if [ "$make_patch" = yes ]; then
  # Build 1.1 is the game as installed, without what the installer and the
  # player made; build 1.2 has the hand-made patch's files and lacks what
  # its description deletes.
  echo "== making the patch with qvpatch from $run/build-1.1 and $run/build-1.2"
  cp -a "$run/old" "$run/build-1.1"
  rm -r "$run/build-1.1/install.log" "$run/build-1.1/save"
  cp -a "$run/build-1.1" "$run/build-1.2"
  cp -r "$run/patch/data/." "$run/build-1.2/"
  sed -n 's:.*<p[0-9]*>\(.*\)</p[0-9]*>.*:\1:p' demo/patch/updateinfo.xml | tr '\\' / |
    while IFS= read -r gone; do rm -r "$run/build-1.2/$gone"; done
  build/linux/tools/qvpatch/qvpatch make --from "$run/build-1.1" --to "$run/build-1.2" \
    --template demo/patch/updateinfo.xml --background "$run/patch/updatebg.hg3" \
    --out "$run/made" | sed 's/^/  /'
  rm -r "$run/patch"
  mv "$run/made" "$run/patch"
fi

echo "== running the updater in $run/patch"
cd "$run/patch"
status=0
if [ "$way" = linux ]; then
  updater() { QV_UI=${QV_UI:-terminal} QV_COMMON_APPDATA="$run/appdata" "$root/build/linux/app/updater/updater"; }
  # The terminal front end takes only a clear answer, and the end of the
  # input as Cancel: without a terminal the demo answers OK itself.
  if [ -t 0 ]; then updater || status=$?; else printf 'ok\n' | updater || status=$?; fi
else
  cp "$root/build/windows/app/updater/updater.exe" .
  # The updater makes no sound; without a sound card Wine's ALSA driver
  # would only complain.
  export WINEDLLOVERRIDES="winealsa.drv=d" QV_COMMON_APPDATA
  QV_COMMON_APPDATA=$(as_seen "$run/appdata")
  if [ -n "${DISPLAY:-}" ]; then
    echo "(the updater's window opens on $DISPLAY; answer its boxes there)"
    "$root/scripts/wine-fonts.sh" --prefix "$root/build/wineprefix-demo"
    QV_WINE_DISPLAY="$DISPLAY" "$root/scripts/wine-run.sh" --prefix "$root/build/wineprefix-demo" ./updater.exe || status=$?
  else
    echo "(no display: the Windows build runs with the script front end)"
    QV_UI=script "$root/scripts/wine-run.sh" --prefix "$root/build/wineprefix-demo" ./updater.exe </dev/null || status=$?
  fi
fi
cd "$root"
snapshot > "$run/after.txt"

echo
echo "== what changed in $game"
join -j 2 -a 1 -a 2 -e - -o 0,1.1,2.1 <(sort -k2 "$run/before.txt") <(sort -k2 "$run/after.txt") |
  awk '{
    if ($2 == "-") printf "  added     %s\n", $1;
    else if ($3 == "-") printf "  deleted   %s\n", $1;
    else if ($2 != $3) printf "  replaced  %s\n", $1;
    else printf "  unchanged %s\n", $1;
  }'
echo
echo "== install.log"
sed 's/\r$//; s/^/  /' "$game/install.log"
echo
echo "engine.dll 2.0 was newer than the patch's 1.1, so it stays unchanged; the"
echo "save data is not the patch's business and stays too."
if [ "$make_patch" = yes ]; then
  echo
  echo "== qvpatch verify: the game against the patch's manifest"
  build/linux/tools/qvpatch/qvpatch verify --game "$game" --manifest "$run/patch/patch-manifest.json" |
    sed 's/^/  /' || true
fi
exit $status
