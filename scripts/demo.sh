#!/usr/bin/env bash
# Builds the tools, makes a dataset from the shipped scans in demo/ and evaluates it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quorvane-eval quorvane-dataset >/dev/null

demo="$root/demo"
rm -rf "$demo/quorvane" "$demo/errors.csv"
mkdir -p "$demo"
echo "== quorvane-dataset: octree round trip of the scans in data/clouds"
"$root/build/quorvane-dataset" --output "$demo" "$root/data/clouds"
echo
echo "== quorvane-eval in demo/"
status=0
(cd "$demo" && "$root/build/quorvane-eval") || status=$?
echo
echo "== demo/errors.csv as a table"
"$root/scripts/report-table.sh" "$demo/errors.csv"
exit "$status"
