#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs the test suite.
#   scripts/test.sh              the normal build
#   scripts/test.sh --sanitize   the same tests built with AddressSanitizer and UBSan in build-sanitize/
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build"
options=(-DCMAKE_BUILD_TYPE=Release)
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-sanitize"
  # Eigen stops trusting malloc's alignment under AddressSanitizer, but PCL's libraries were built
  # trusting it; both sides must free point vectors the same way.
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer -DEIGEN_MALLOC_ALREADY_ALIGNED=1"
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined,float-cast-overflow")
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
fi
cmake -S "$root" -B "$build" "${options[@]}"
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)"
