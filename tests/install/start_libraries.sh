#!/bin/sh
# The program links none of the libraries it opens at their first use, and
# exports none of their functions (an exported one would stand in for the
# library's calls of its own).   start_libraries.sh PROGRAM
set -eu
program=$1
late='lib(curl|gmime|gobject|gio|crypto)[-.]'
if readelf -d "$program" | grep NEEDED | grep -E "$late"; then
    echo "the program links at start what it opens at first use (above)" >&2
    exit 1
fi
if nm -D --defined-only "$program" | grep -E ' (curl_|g_mime_|g_object_|g_type_|EVP_)'; then
    echo "the program exports library functions (above)" >&2
    exit 1
fi
