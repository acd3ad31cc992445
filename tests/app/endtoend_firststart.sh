#!/usr/bin/env bash
# First start of the built program in an empty program folder, under a
# private X server with a window manager: the main window and the server
# settings window both appear; the servers typed into the settings window,
# APOP ticked and "設定" pressed give the four lines of pelnix.ini; closing
# the main window ends the program.
#
#   endtoend_firststart.sh <korvane executable> <data folder>
# Exit 77 (skipped) when the X tools are missing.
set -euo pipefail

exe=$1
data=$2
source "$(dirname "$0")/../../scripts/xsession.sh"
skip_unless_installed Xvfb openbox xdotool xprop

fail() {
  echo "FAIL: $*" >&2
  save_screen korvane-endtoend-failure
  if [[ -s ${work:-}/korvane.log ]]; then
    echo "the program wrote:" >&2
    cat "$work/korvane.log" >&2
  fi
  exit 1
}

# A program folder of its own, with no settings file, and a home of its own
# so the per-user settings store starts empty.
prog=$work/program
mkdir -p "$prog" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$exe" "$prog/korvane"
cp -r "$data"/. "$prog/"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
unset QT_QPA_PLATFORM
# Window names are matched as UTF-8 text.
export LC_ALL=C.UTF-8

start_x || fail "no X server"

"$prog/korvane" >"$work/korvane.log" 2>&1 &
korvane=$!
pids+=($korvane)

window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
has_window() { [[ -n "$(window "$1")" ]]; }
no_window() { [[ -z "$(window "$1")" ]]; }
wait_for 30 has_window '^Korvane\(ハルモ）$' || fail "the main window did not appear"
wait_for 30 has_window '^サーバー設定$' || fail "the server settings window did not appear"
main=$(window '^Korvane\(ハルモ）$')
options=$(window '^サーバー設定$')

# Tab order of the settings window, as it reads: SMTP, POP3, mail address,
# APOP, 設定, 中止.
xdotool windowactivate --sync "$options"
wait_for 10 sh -c "test \"\$(xdotool getactivewindow)\" = $options" || fail "settings window not active"
sleep 0.3
xdotool type --delay 15 'smtp.example.test'
xdotool key Tab
xdotool type --delay 15 'pop3.example.test'
xdotool key Tab
xdotool type --delay 15 'pilgrim@example.test'
xdotool key Tab space Tab space

printf 'SMTP=smtp.example.test\r\nPOP3=pop3.example.test\r\nMAIL=pilgrim@example.test\r\nAPOP=1\r\n' >"$work/expected.ini"
ini_is_written() { cmp -s "$prog/pelnix.ini" "$work/expected.ini"; }
wait_for 20 ini_is_written || {
  echo "pelnix.ini holds:" >&2
  od -c "$prog/pelnix.ini" >&2 || true
  fail "pelnix.ini does not hold the four lines"
}
wait_for 10 no_window '^サーバー設定$' || fail "the settings window stayed open"

# Closing the main window ends the program.
kill -0 "$korvane" || fail "the program ended early"
xdotool windowactivate --sync "$main" key --clearmodifiers alt+F4
wait_for 20 sh -c "! kill -0 $korvane" || fail "the program did not end when its main window closed"
wait "$korvane" || fail "the program ended with status $?"
echo "PASS"
