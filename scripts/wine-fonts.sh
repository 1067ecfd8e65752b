#!/usr/bin/env bash
# Lets Wine show the updater's Japanese texts: the progress dialog's font,
# "MS UI Gothic", is taken from IPA P Gothic (Debian's fonts-ipafont-gothic),
# and with it the Japanese characters of message boxes, which Wine's
# default font link for Tahoma finds under that name.
#
#   wine-fonts.sh [--prefix DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-run.sh" "$@" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
  /v 'MS UI Gothic' /d 'IPAPGothic' /f >/dev/null
