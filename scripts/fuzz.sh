#!/usr/bin/env bash
# Builds the PCD loading fuzzer with clang's libFuzzer, AddressSanitizer and UBSan in
# build-fuzz/ and runs it for the given number of seconds (default 120).
# Crashing inputs land in build-fuzz/artifacts/; the exit status is then non-zero.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-120}"
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev
build="$root/build-fuzz"
# See test.sh: Eigen must free point vectors the way PCL's libraries allocate them.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_BUILD_FUZZER=ON -DQUORVANE_BUILD_TESTS=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -DEIGEN_MALLOC_ALREADY_ALIGNED=1" >/dev/null
cmake --build "$build" -j "$(nproc)" --target pcd_loading_fuzzer
mkdir -p "$build/corpus" "$build/artifacts"
cd "$build"
./pcd_loading_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=8192 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 \
  corpus "$root/fuzz/seeds" "$root/data/clouds" 2>&1 | grep -v -E '^#[0-9]+.*(REDUCE|NEW|pulse)' || {
  echo "fuzzer found a failing input; see $build/artifacts/" >&2
  exit 1
}
