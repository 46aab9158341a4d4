#!/usr/bin/env bash
# Builds the one Release build in build/ that the test suite and every script share: the two
# programs, the test suite and the benchmark tools.
#   scripts/build.sh [TARGET...]   (default: everything)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_WERROR=ON >/dev/null
targets=()
for target in "$@"; do
  targets+=(--target "$target")
done
cmake --build "$build" -j "$(nproc)" "${targets[@]}" >/dev/null
