#!/bin/sh
# Runs a test program on a private session bus with a GNOME keyring of its
# own, unlocked with a known password, in a temporary home: the user's own
# keyring is never touched. Exits 77 (skipped) where no keyring can start.
skip() { echo "SKIP: $1"; exit 77; }
command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null ||
  skip "dbus-run-session or gnome-keyring-daemon is missing (packages dbus, gnome-keyring)"
if [ "${KORVANE_IN_KEYRING_SESSION:-}" != 1 ]; then
  export KORVANE_IN_KEYRING_SESSION=1
  exec dbus-run-session -- "$0" "$@"
fi
home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
printf '%s' korvane-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null ||
  skip "gnome-keyring-daemon could not start"
# The keyring's name appears on the bus once the daemon is ready.
for _ in $(seq 50); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames 2>/dev/null |
    grep -q org.freedesktop.secrets && { "$@"; exit $?; }
  sleep 0.1
done
skip "the keyring did not appear on the session bus"
