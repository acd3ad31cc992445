#!/usr/bin/env bash
# Runs the start-up benchmark on a private X server with a window manager,
# then offscreen.   bench/startup/run.sh [build folder] [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-15}
bench=$build/bin/bench_startup
[[ -x $bench ]] || { echo "build the bench_startup target first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if command -v Xvfb >/dev/null && command -v openbox >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
  export DISPLAY=:$(head -n1 "$work/display")
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  echo "== Xvfb with openbox"
  env -u QT_QPA_PLATFORM "$bench" "$runs"
fi
echo "== offscreen"
QT_QPA_PLATFORM=offscreen "$bench" "$runs"
