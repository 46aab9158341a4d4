#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs the test suite.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build" -j "$(nproc)"
cd "$root/build"
ctest --output-on-failure -j "$(nproc)"
