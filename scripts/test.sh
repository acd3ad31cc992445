#!/usr/bin/env bash
# Installs what is missing, builds Korvane with its tests and runs every test.
# The tests start and stop their own private mail servers on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
scripts/build.sh
cd build
ctest --output-on-failure -j2 --timeout 600
