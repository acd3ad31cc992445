#!/usr/bin/env bash
# Fails when the program links any of the given libraries at its start
# (readelf's NEEDED entries): they are to be loaded at their first use.
#   not_needed.sh <executable> <library name prefix>...
set -euo pipefail
program=$1
shift
command -v readelf >/dev/null || { echo "readelf is missing" >&2; exit 77; }
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[[ -n $needed ]] || { echo "FAIL: no NEEDED entries read from $program" >&2; exit 1; }
status=0
for library in "$@"; do
  if grep -q "^$library\.so" <<<"$needed"; then
    echo "FAIL: $program links $library at its start" >&2
    status=1
  fi
done
exit $status
