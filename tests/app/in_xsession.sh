#!/usr/bin/env bash
# Runs a test program on a private X server with a window manager, where
# nobody owns the clipboard yet.
#
#   in_xsession.sh <program> [arguments...]
# Exit 77 (skipped) when the X tools are missing.
set -uo pipefail
source "$(dirname "$0")/../../scripts/xsession.sh"
skip_unless_installed Xvfb openbox xprop
start_x || exit 1
export QT_QPA_PLATFORM=xcb
"$@"
