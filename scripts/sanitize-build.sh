#!/usr/bin/env bash
# Builds build-sanitize/ with clang, AddressSanitizer, UBSan and libFuzzer's coverage: the test
# suite and the PCD loading fuzzer share it. Prints the build folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-sanitize"
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev >&2
# Eigen stops trusting malloc's alignment under AddressSanitizer, but PCL's libraries were built
# trusting it; both sides must free point vectors the same way. The Python module is left out:
# python3 cannot load a module built with the sanitizers' runtime.
flags="-fsanitize=address,undefined,float-cast-overflow,fuzzer-no-link -fno-sanitize-recover=all"
flags+=" -fno-omit-frame-pointer -DEIGEN_MALLOC_ALREADY_ALIGNED=1"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_BUILD_FUZZER=ON -DQUORVANE_BUILD_PYTHON=OFF -DQUORVANE_WERROR=ON "-DCMAKE_CXX_FLAGS=$flags" \
    "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined,float-cast-overflow" >&2
fi
cmake --build "$build" -j "$(nproc)" >&2
echo "$build"
