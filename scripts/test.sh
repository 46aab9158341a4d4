#!/usr/bin/env bash
# Installs what is missing, builds and runs the test suite.
#   scripts/test.sh              the shared Release build in build/ (scripts/build.sh)
#   scripts/test.sh --sanitize   the same tests built with clang, AddressSanitizer and UBSan in
#                                build-sanitize/, which also builds the fuzzer (scripts/fuzz.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ "${1:-}" = "--sanitize" ]; then
  build="$("$root/scripts/sanitize-build.sh")"
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
else
  "$root/scripts/build.sh"
  build="$root/build"
fi
cd "$build"
ctest --output-on-failure -j "$(nproc)"
