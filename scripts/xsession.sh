# Shared by the scripts that run Korvane on a private X server (sourced, not
# run): a work folder removed at exit together with every process started
# into `pids`, a poll with a deadline, an X server with a window manager, and
# what the tests on it share (skipping without the tools, the screen of a
# failure).
#
#   source scripts/xsession.sh
#   start_x || { echo "no X" >&2; exit 1; }     # sets DISPLAY

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# skip_unless_installed <tool...>: a test that needs them ends as skipped
# (exit 77) when one is missing.
skip_unless_installed() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
  done
}

# save_screen <name>: the whole screen as ${TMPDIR:-/tmp}/<name>.png, for a
# test that failed, where a screen and `import` are at hand.
save_screen() {
  local file="${TMPDIR:-/tmp}/$1.png"
  if [[ -n "${DISPLAY:-}" ]] && command -v import >/dev/null; then
    import -window root "$file" 2>/dev/null && echo "screen saved as $file" >&2
  fi
  return 0
}

# wait_for <seconds> <command...>: polls the command until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Xvfb on a display number it picks itself, then openbox (xdotool needs a
# window manager). Sets DISPLAY; says what failed and returns 1 otherwise.
start_x() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  wait_for 20 test -s "$work/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=:$(head -n1 "$work/display")
  openbox >/dev/null 2>&1 &
  pids+=($!)
  wait_for 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
    { echo "no window manager" >&2; return 1; }
}
