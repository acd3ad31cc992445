#!/usr/bin/env bash
# The desktop entry and the AppStream metadata as the desktop's tools read
# them: both validators pass, and the metadata launches the desktop entry.
#   validate_metadata.sh <desktop entry> <metainfo file>
# Exit 77 (skipped) when the validators are missing.
set -euo pipefail
desktop=$1
metainfo=$2
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"
id=$(basename "$desktop")
grep -q "<launchable type=\"desktop-id\">$id</launchable>" "$metainfo" ||
  { echo "FAIL: $metainfo does not launch $id" >&2; exit 1; }
grep -q "^Categories=Network;Email;$" "$desktop" || { echo "FAIL: categories" >&2; exit 1; }
# mailto: links open the compose window: the link is the one argument.
grep -q "^MimeType=x-scheme-handler/mailto;$" "$desktop" || { echo "FAIL: mailto handler" >&2; exit 1; }
grep -q "^Exec=korvane %u$" "$desktop" || { echo "FAIL: Exec does not pass the link" >&2; exit 1; }
echo PASS
