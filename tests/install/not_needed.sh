#!/usr/bin/env bash
# Fails when the program links any of the given libraries at its start
# (readelf's NEEDED entries): they are to be loaded at their first use. With
# --exports, fails too when the program exports a function whose name
# matches: an exported one would stand in for the library's calls of its own.
#   not_needed.sh <executable> [--exports <regex>] <library name prefix>...
set -euo pipefail
program=$1
shift
exports=
if [[ ${1:-} == --exports ]]; then
  exports=$2
  shift 2
fi
command -v readelf >/dev/null || { echo "readelf is missing" >&2; exit 77; }
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ -n $needed ]] || { echo "FAIL: no NEEDED entries read from $program" >&2; exit 1; }
status=0
for library in "$@"; do
  if grep -Eq "^$library[-.]" <<<"$needed"; then
    echo "FAIL: $program links $library at its start" >&2
    status=1
  fi
done
if [[ -n $exports ]] && nm -D --defined-only "$program" | grep -E " ($exports)"; then
  echo "FAIL: $program exports library functions (above)" >&2
  status=1
fi
exit $status
