#!/usr/bin/env bash
# Fails when the program links any of the given libraries at its start
# (readelf's NEEDED entries): they are to be loaded at their first use. With
# --exports, fails too when the program exports a function whose name
# matches: an exported one would stand in for the library's calls of its own.
# With --package, fails when the Debian package's dependencies (CPack's
# configuration) do not name the package holding each library: nothing links
# it, so nothing else would.
#   not_needed.sh <executable> [--exports <regex>] [--package <CPackConfig.cmake>]
#                 <library name prefix>...
set -euo pipefail
program=$1
shift
exports=
package=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --exports) exports=$2 ;;
    --package) package=$2 ;;
  esac
  shift 2
done
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
if [[ -n $package ]] && command -v dpkg-query >/dev/null; then
  depends=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$package")
  for library in "$@"; do
    # awk reads to the end: leaving early would end ldconfig with SIGPIPE,
    # which pipefail turns into a silent failure of the whole script.
    file=$(ldconfig -p | awk -v l="$library" '!found && index($1, l) == 1 { print $NF; found = 1 }')
    [[ -n $file ]] || continue
    owner=$(dpkg-query -S "$(readlink -f "$file")" 2>/dev/null | sed -n '1s/[:,].*//p')
    if [[ -n $owner ]] && ! grep -Eq "(^|, )$owner(,| |$)" <<<"$depends"; then
      echo "FAIL: the package does not depend on $owner, which holds $library" >&2
      status=1
    fi
  done
fi
exit $status
