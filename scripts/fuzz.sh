#!/usr/bin/env bash
# Runs the loading fuzzers (libFuzzer, AddressSanitizer and UBSan, built in build-sanitize/
# with the sanitized test suite): the PCD loader's, then quorvane-dataset's PLY reader's.
#   scripts/fuzz.sh                  CI's run: a fixed seed and a fixed number of inputs from the
#                                    seeds and the regression corpus, so that every run gives the
#                                    same verdict
#   scripts/fuzz.sh --explore [S]    a longer search from a random seed, S seconds in all
#                                    (default 600), two thirds of them on PCD files; run it before
#                                    a submission and add what it finds to
#                                    tests/data/fuzz-regressions/ with the fix
# Exit status: 0 when the fuzzers found nothing; 1 when one found a failing input (kept in
# build-sanitize/artifacts/); 2 when a fuzzer could not be built or did not run.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
explore=false
if [ "${1:-}" = "--explore" ]; then
  explore=true
  seconds="${2:-600}"
elif [ $# -gt 0 ]; then
  echo "usage: scripts/fuzz.sh [--explore [SECONDS]]" >&2
  exit 2
fi
setup_failed() { echo "fuzz.sh: $1; the fuzzer did not run" >&2; exit 2; }
build="$("$root/scripts/sanitize-build.sh")" || setup_failed "the sanitizer build failed"
cd "$build" || setup_failed "no $build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
run_fuzzer() { # name budget seed-folder...; the budget is seconds when exploring, else inputs
  local name="$1" budget="$2" status corpus
  shift 2
  mkdir -p "$build/artifacts"
  if $explore; then
    # Exploring grows a corpus of its own, kept between runs.
    corpus="$build/corpus-$name"
    mkdir -p "$corpus"
    set -- -max_total_time="$budget" "$corpus" "$@"
  else
    # A fresh corpus each time: what earlier runs found must not change the verdict.
    corpus="$work/corpus-$name"
    mkdir -p "$corpus"
    set -- -seed=1 -runs="$budget" "$corpus" "$@"
  fi
  "./$name" -timeout=10 -rss_limit_mb=4096 -max_len=8192 -artifact_prefix="$build/artifacts/" \
    -print_final_stats=1 -error_exitcode=77 -timeout_exitcode=77 "$@" > "$build/$name.log" 2>&1
  status=$?
  grep -v -E '^#[0-9]+.*(REDUCE|NEW|pulse)' "$build/$name.log"
  if [ "$status" -eq 77 ]; then
    echo "fuzz.sh: $name found a failing input; see $build/artifacts/" >&2
    exit 1
  fi
  [ "$status" -eq 0 ] || setup_failed "$name ended with exit status $status"
}
regressions="$root/tests/data/fuzz-regressions"
if $explore; then
  pcd_budget=$((seconds * 2 / 3))
  ply_budget=$((seconds - seconds * 2 / 3))
else
  pcd_budget=60000
  ply_budget=200000
fi
run_fuzzer pcd_loading_fuzzer "$pcd_budget" "$root/fuzz/seeds" "$root/data/clouds" "$regressions"
run_fuzzer ply_loading_fuzzer "$ply_budget" "$root/fuzz/ply-seeds" "$regressions"
