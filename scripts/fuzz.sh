#!/usr/bin/env bash
# Builds the PCD loading fuzzer with clang's libFuzzer, AddressSanitizer and UBSan in
# build-fuzz/ and runs it for the given number of seconds (default 120).
# Exit status: 0 when the fuzzer found nothing; 1 when it found a failing input (kept in
# build-fuzz/artifacts/); 2 when the fuzzer could not be built or did not run.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-120}"
build="$root/build-fuzz"
setup_failed() { echo "fuzz.sh: $1; the fuzzer did not run" >&2; exit 2; }
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev || setup_failed "cannot install clang"
# See test.sh: Eigen must free point vectors the way PCL's libraries allocate them.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_BUILD_FUZZER=ON -DQUORVANE_BUILD_TESTS=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -DEIGEN_MALLOC_ALREADY_ALIGNED=1" >/dev/null ||
  setup_failed "cmake failed"
cmake --build "$build" -j "$(nproc)" --target pcd_loading_fuzzer || setup_failed "the build failed"
mkdir -p "$build/corpus" "$build/artifacts"
cd "$build" || setup_failed "no $build"
./pcd_loading_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=8192 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 -error_exitcode=77 -timeout_exitcode=77 \
  corpus "$root/fuzz/seeds" "$root/data/clouds" > "$build/fuzz.log" 2>&1
status=$?
grep -v -E '^#[0-9]+.*(REDUCE|NEW|pulse)' "$build/fuzz.log"
if [ "$status" -eq 77 ]; then
  echo "fuzz.sh: the fuzzer found a failing input; see $build/artifacts/" >&2
  exit 1
fi
[ "$status" -eq 0 ] || setup_failed "the fuzzer ended with exit status $status"
