#!/usr/bin/env bash
# Installs the Debian 12 packages Korvane needs to build, run and test.
#   scripts/install-deps.sh          what the program needs
#   scripts/install-deps.sh --tests  also what the tests need (mail servers, X,
#                                    the desktop entry and AppStream validators)
#   scripts/install-deps.sh --package  also what building the Debian package
#                                    needs (scripts/package.sh)
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev qt6-translations-l10n libgl-dev
          libcurl4-openssl-dev libssl-dev libgmime-3.0-dev fonts-ipafont-gothic
          qtkeychain-qt6-dev)
for arg in "$@"; do
  case $arg in
    --tests)
      packages+=(dovecot-core dovecot-pop3d python3-aiosmtpd openssl mpop
                 xvfb openbox xdotool imagemagick x11-utils
                 desktop-file-utils appstream clang libclang-rt-14-dev
                 dbus gnome-keyring) ;;
    --package)
      packages+=(dpkg-dev file lintian) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO=sudo
  else
    echo "Korvane needs these Debian packages. Install them as root with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
# dovecot's package starts a system-wide server; the tests run their own.
if [[ " ${missing[*]} " == *" dovecot-core "* ]]; then
  $SUDO systemctl disable --now dovecot >/dev/null 2>&1 || $SUDO service dovecot stop >/dev/null 2>&1 || true
fi
