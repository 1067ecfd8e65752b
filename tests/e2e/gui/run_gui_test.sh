#!/usr/bin/env bash
# The Windows build's real window under Wine and Xvfb: installs the demo
# patch into a sandbox, answering the boxes with xdotool, checks the
# installed files and saves a screenshot of the window with its background
# picture, comparing a few pixels with the flattened picture.
#
#   run_gui_test.sh UPDATER.EXE DEMOGEN.EXE WINE-RUN.SH SOURCE-DIR WORK-DIR
set -euo pipefail
updater=$1 demogen=$2 wine_run=$3 source=$4 work=$5

display=:${QV_GUI_DISPLAY_NUMBER:-87}
screen_w=1280 screen_h=1024
prefix="$work/wineprefix-gui"
run="$work/gui"
game="$run/game"
rm -rf "$run"
mkdir -p "$run" "$game" "$run/appdata/QvDemo"

Xvfb "$display" -screen 0 ${screen_w}x${screen_h}x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
export WINEDLLOVERRIDES="winealsa.drv=d"  # no sound card under test

wine_path() { printf 'Z:%s' "${1//\//\\}"; }
wine() { QV_WINE_DISPLAY=$display "$wine_run" --prefix "$prefix" "$@"; }

# Japanese text needs a font: IPAGothic stands in for the system font and
# for "MS UI Gothic".
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'ipag.ttf,IPAGothic' /f >/dev/null
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAGothic /f >/dev/null

cp -r "$source/demo/patch" "$run/patch"
wine "$demogen" "$(wine_path "$run/patch")" "$(wine_path "$game")" "$(wine_path "$run/shown.ppm")"
cp "$updater" "$run/patch/updater.exe"
printf '<install><path>%s</path></install>' "$(wine_path "$game")" > "$run/appdata/QvDemo/SkyLantern.xml"
printf 'old' > "$game/readme_old.txt"

# At least N of the updater's windows on the screen (window, dialog, boxes).
windows_at_least() { [ "$(xdotool search --onlyvisible --class updater.exe 2>/dev/null | wc -l)" -ge "$1" ]; }
wait_for() {  # wait_for DESCRIPTION COMMAND...: up to 120 s
  local what=$1; shift
  for _ in $(seq 1200); do "$@" && return 0; sleep 0.1; done
  echo "gui test: timed out waiting for $what" >&2
  exit 1
}

(cd "$run/patch" && QV_UI_LANGUAGE=1041 QV_COMMON_APPDATA="$(wine_path "$run/appdata")" \
  wine ./updater.exe) &
app=$!

# The window and the confirmation box over it.
wait_for "the confirmation box" windows_at_least 2
sleep 1
xdotool key Return
# The copy is done and the success box stands over the window.
wait_for "the copy" cmp -s "$run/patch/data/readme.txt" "$game/readme.txt"
wait_for "the success box" windows_at_least 2
sleep 1
xwd -root -silent -display "$display" > "$run/screen.xwd"
left=$(( (screen_w - 640) / 2 )) top=$(( (screen_h - 480) / 2 ))
status=0
python3 "$source/tests/e2e/gui/screenshot.py" "$run/screen.xwd" "$work/gui-screenshot.png" \
  "$run/shown.ppm" "$left" "$top" || status=1
xdotool key Return
wait_for "the updater to end" bash -c "! kill -0 $app 2>/dev/null"
app=

# The files afterwards.
for f in readme.txt scenario/chapter07.txt system/config.ini game.exe; do
  cmp -s "$run/patch/data/$f" "$game/$f" || { echo "gui test: $f not installed" >&2; status=1; }
done
cmp -s "$run/patch/data/engine.dll" "$game/engine.dll" && { echo "gui test: newer engine.dll replaced" >&2; status=1; }
[ -e "$game/readme_old.txt" ] && { echo "gui test: readme_old.txt not deleted" >&2; status=1; }
grep -q 'chapter07.txt' "$game/install.log" || { echo "gui test: install.log incomplete" >&2; status=1; }
echo "gui test: screenshot in $work/gui-screenshot.png"
exit $status
