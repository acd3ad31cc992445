#!/usr/bin/env bash
# Builds the Debian package of Korvane, korvane_<version>_<arch>.deb, into
# the top of the source folder, and checks it with lintian.
#   scripts/package.sh [build folder]     (default: build-package/)
# Install it with: sudo apt-get install ./korvane_<version>_<arch>.deb
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build-package}

"$source_dir/scripts/install-deps.sh" --package

# Debian's own build flags (hardening, optimisation, reproducible paths) on
# top of what the project's CMake sets for every optimised build.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
         "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
         "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
         "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$source_dir" -B "$build" "${options[@]}"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/korvane_*.deb
(cd "$build" && cpack -G DEB)

deb=$(cd "$build" && ls korvane_*.deb)
cp "$build/$deb" "$source_dir/$deb"
echo "built $source_dir/$deb"
# Errors fail the build; warnings are shown.
lintian --fail-on error "$source_dir/$deb"
echo "install it with: sudo apt-get install ./$deb"
