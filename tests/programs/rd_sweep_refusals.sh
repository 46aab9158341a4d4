#!/usr/bin/env bash
# The sweep refuses, before it builds or removes anything, folders that overlap and an input
# without clouds; every refusal exits 1 and leaves the folders as they were.
set -uo pipefail
sweep="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/rd-sweep.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
mkdir -p "$work/in/sub" "$work/out/med-offline-color/in" "$work/empty/sub"
echo "a cloud" > "$work/in/sub/a.pcd"
echo "a cloud" > "$work/out/med-offline-color/in/b.pcd"
echo "not a cloud" > "$work/empty/sub/a.pcd.txt"
before="$(cd "$work" && find . | sort)"

expect_refusal() { # input output message
  local err status
  err="$(bash "$sweep" "$1" "$2" 2>&1 >/dev/null)"
  status=$?
  if [ "$status" -ne 1 ] || [[ "$err" != *"$3"* ]]; then
    echo "FAIL: rd-sweep.sh $1 $2: exit $status, '$err' (wanted '$3')"
    failures=$((failures + 1))
  fi
}
expect_refusal "$work/in" "$work/in" "lies inside the output"
expect_refusal "$work/in" "$work" "lies inside the output"
expect_refusal "$work/out/med-offline-color/in" "$work/out" "lies inside the output"
expect_refusal "$work/in" "$work/in/sub/out" "lies inside the input"
expect_refusal "$work/empty" "$work/elsewhere" "holds no clouds"
expect_refusal "$work/missing" "$work/elsewhere" "is not a folder"
if [ "$(cd "$work" && find . | sort)" != "$before" ]; then
  echo "FAIL: a refused sweep changed the folders"
  failures=$((failures + 1))
fi
echo "$((6 + 1 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
