#!/bin/sh
# Runs a test program on a private session bus with a GNOME keyring of its
# own, unlocked with a known password, in a temporary home: the user's own
# keyring is never touched. Exits 77 (skipped) where no keyring can start.
set -u
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
  echo "SKIP: dbus-run-session or gnome-keyring-daemon is missing (packages dbus, gnome-keyring)"
  exit 77
fi
if [ "${KORVANE_IN_KEYRING_SESSION:-}" != 1 ]; then
  export KORVANE_IN_KEYRING_SESSION=1
  exec dbus-run-session -- "$0" "$@"
fi
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
if ! printf '%s' korvane-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
  echo "SKIP: gnome-keyring-daemon could not start"
  exit 77
fi
# The keyring's name on the bus comes once the daemon is ready.
tries=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames 2>/dev/null \
    | grep -q org.freedesktop.secrets; do
  tries=$((tries + 1))
  if [ $tries -gt 50 ]; then
    echo "SKIP: the keyring did not appear on the session bus"
    exit 77
  fi
  sleep 0.1
done
"$@"
