#!/usr/bin/env bash
# Takes the pictures of every window for the user's guide (docs/guide/images)
# on a private X server with a window manager, so they show the windows as a
# user sees them, title bars included.
#
#   scripts/make_screenshots.sh [build folder] [output folder]
#
# Needs Xvfb, openbox and xprop (Debian: xvfb, openbox, x11-utils) and the
# built target korvane_screenshots:
#   cmake --build build --target korvane korvane_screenshots
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
out=${2:-$here/../docs/guide/images}
tool=$build/tests/korvane_screenshots
[[ -x $tool ]] || { echo "build korvane_screenshots first ($tool)" >&2; exit 1; }
for t in Xvfb openbox xprop; do
  command -v "$t" >/dev/null || { echo "$t is not installed" >&2; exit 1; }
done

source "$here/xsession.sh"

mkdir -p "$work/home" "$work/runtime" "$out"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
export LC_ALL=C.UTF-8 LANG=ja_JP.UTF-8
unset QT_QPA_PLATFORM

start_x || exit 1

"$tool" "$out" "$here/../data"
# The README's picture is the main window of the guide.
if [[ $# -lt 2 ]]; then
  cp "$out/main.png" "$here/../docs/screenshot.png"
fi
