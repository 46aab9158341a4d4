#!/usr/bin/env bash
# Runs the loading fuzzers (libFuzzer, AddressSanitizer and UBSan, built in build-sanitize/
# with the sanitized test suite), the PCD loader's and then quorvane-dataset's PLY reader's,
# for the given number of seconds in all (default 120), two thirds of them on PCD files.
# Exit status: 0 when the fuzzers found nothing; 1 when one found a failing input (kept in
# build-sanitize/artifacts/); 2 when a fuzzer could not be built or did not run.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-120}"
setup_failed() { echo "fuzz.sh: $1; the fuzzer did not run" >&2; exit 2; }
build="$("$root/scripts/sanitize-build.sh")" || setup_failed "the sanitizer build failed"
cd "$build" || setup_failed "no $build"
run_fuzzer() { # name seconds seed-folder...
  local name="$1" time="$2" status
  shift 2
  mkdir -p "$build/corpus-$name" "$build/artifacts"
  "./$name" -max_total_time="$time" -timeout=10 -rss_limit_mb=4096 -max_len=8192 \
    -artifact_prefix="$build/artifacts/" -print_final_stats=1 -error_exitcode=77 \
    -timeout_exitcode=77 "corpus-$name" "$@" > "$build/$name.log" 2>&1
  status=$?
  grep -v -E '^#[0-9]+.*(REDUCE|NEW|pulse)' "$build/$name.log"
  if [ "$status" -eq 77 ]; then
    echo "fuzz.sh: $name found a failing input; see $build/artifacts/" >&2
    exit 1
  fi
  [ "$status" -eq 0 ] || setup_failed "$name ended with exit status $status"
}
run_fuzzer pcd_loading_fuzzer $((seconds * 2 / 3)) "$root/fuzz/seeds" "$root/data/clouds"
run_fuzzer ply_loading_fuzzer $((seconds - seconds * 2 / 3)) "$root/fuzz/ply-seeds" \
  "$root/tests/data/fuzz-regressions"
