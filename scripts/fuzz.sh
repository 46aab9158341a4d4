#!/usr/bin/env bash
# Runs the PCD loading fuzzer (libFuzzer, AddressSanitizer and UBSan, built in build-sanitize/
# with the sanitized test suite) for the given number of seconds (default 120).
# Exit status: 0 when the fuzzer found nothing; 1 when it found a failing input (kept in
# build-sanitize/artifacts/); 2 when the fuzzer could not be built or did not run.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-120}"
setup_failed() { echo "fuzz.sh: $1; the fuzzer did not run" >&2; exit 2; }
build="$("$root/scripts/sanitize-build.sh")" || setup_failed "the sanitizer build failed"
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
