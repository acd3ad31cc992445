#!/usr/bin/env bash
# An installed Korvane: the build installed into a temporary DESTDIR under
# the prefix /usr, then the installed program started under a private X
# server with an empty XDG_DATA_HOME. The main window and the server settings
# window appear, the program folder is made and seeded under XDG_DATA_HOME,
# the server settings are written there, and nothing is written beside the
# installed program.
#
#   endtoend_installed.sh <build folder> <application id>
# Exit 77 (skipped) when the X tools are missing.
set -euo pipefail

build=$1
app_id=$2
source "$(dirname "$0")/../../scripts/xsession.sh"
skip_unless_installed Xvfb openbox xdotool xprop

fail() {
  echo "FAIL: $*" >&2
  save_screen korvane-installed-failure
  [[ -s "$work/korvane.log" ]] && { echo "the program said:" >&2; cat "$work/korvane.log" >&2; }
  exit 1
}

# Install.
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
share=$root/usr/share
for f in usr/bin/korvane "usr/share/korvane/★MAilData/Plxdata.data" usr/share/korvane/pictures/map.png \
         usr/share/korvane/pictures/map@2x.png usr/share/korvane/pictures/pilgrim@2x.png \
         "usr/share/korvane/顔文字データ/Kao1.txt" "usr/share/applications/$app_id.desktop" \
         "usr/share/metainfo/$app_id.metainfo.xml" "usr/share/icons/hicolor/48x48/apps/$app_id.png" \
         "usr/share/icons/hicolor/256x256/apps/$app_id.png" usr/share/man/man1/korvane.1.gz \
         usr/share/doc/korvane/README.md usr/share/doc/korvane/copyright usr/lib/korvane/korvane_desktop.so; do
  [[ -f "$root/$f" ]] || fail "$f is not installed"
done
[[ -x "$root/usr/bin/korvane" ]] || fail "the program is not executable"
if ls -A "$root/usr/bin" | grep -qv '^korvane$'; then fail "more than the program in bin/: $(ls -A "$root/usr/bin")"; fi
touch "$work/installed"
sleep 0.01

# A user with nothing yet: an empty home, no data home, and no other
# installed data to find.
home=$work/home
mkdir -p "$home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
       XDG_RUNTIME_DIR=$work/runtime
unset QT_QPA_PLATFORM
export LC_ALL=C.UTF-8
prog=$XDG_DATA_HOME/Korvane

start_x || fail "no X server"

# The program must find its data beside itself, not in a Korvane installed
# on this system.
(cd / && XDG_DATA_DIRS=$work/nowhere exec "$root/usr/bin/korvane") >"$work/korvane.log" 2>&1 &
korvane=$!
pids+=($korvane)

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
has_window() { [[ -n "$(window "$1")" ]]; }
no_window() { [[ -z "$(window "$1")" ]]; }
wait_for 30 has_window '^Korvane\(ハルモ）$' || fail "the main window did not appear"
wait_for 30 has_window '^サーバー設定$' || fail "the server settings window did not appear"
main=$(window '^Korvane\(ハルモ）$')
options=$(window '^サーバー設定$')

# The program folder, made for its owner alone and seeded with every
# installed file.
[[ -d "$prog" ]] || fail "no program folder $prog"
[[ $(stat -c %a "$prog") == 700 ]] || fail "the program folder is $(stat -c %a "$prog"), not 700"
(cd "$share/korvane" && find . -type f) | while read -r f; do
  cmp -s "$share/korvane/$f" "$prog/$f" || { echo "not seeded: $f" >&2; exit 1; }
done || fail "the program folder is not seeded with the installed data"

# The installed desktop module is found beside the program's own folder: the
# socket for later starts is opened and its name written down.
wait_for 10 test -s "$prog/korvane.socket" ||
  fail "the running program opened no socket for later starts (its desktop module not found?)"

# The server settings typed in land in the program folder.
xdotool windowactivate --sync "$options"
wait_for 10 sh -c "test \"\$(xdotool getactivewindow)\" = $options" || fail "settings window not active"
sleep 0.3
xdotool type --delay 15 'smtp.example.test'
xdotool key Tab
xdotool type --delay 15 'pop3s://pop3.example.test'
xdotool key Tab
xdotool type --delay 15 'pilgrim@example.test'
xdotool key Tab Tab space
printf 'SMTP=smtp.example.test\r\nPOP3=pop3s://pop3.example.test\r\nMAIL=pilgrim@example.test\r\nAPOP=0\r\n' >"$work/expected.ini"
wait_for 20 cmp -s "$prog/pelnix.ini" "$work/expected.ini" || {
  od -c "$prog/pelnix.ini" >&2 || true
  fail "pelnix.ini in the program folder does not hold the settings"
}
wait_for 10 no_window '^サーバー設定$' || fail "the settings window stayed open"

kill -0 "$korvane" || fail "the program ended early"
xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
wait_for 20 sh -c "! kill -0 $korvane" || fail "the program did not end when its main window closed"
wait "$korvane" || fail "the program ended with status $?"

written=$(find "$root" -newer "$work/installed" -print)
[[ -z "$written" ]] || fail "written beside the installed program: $written"
echo "PASS"
