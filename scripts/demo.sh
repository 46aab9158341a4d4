#!/usr/bin/env bash
# Builds the tools, makes a dataset from the shipped scans in demo/ and evaluates it with the
# codec metrics, then sweeps every codec profile over the scans and draws the rate-distortion
# plot.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" quorvane-eval quorvane-dataset

demo="$root/demo"
rm -rf "$demo/quorvane" "$demo/errors.csv" "$demo/metrics.csv" "$demo/rd"
mkdir -p "$demo"
echo "== quorvane-dataset: octree round trip of the scans in data/clouds"
"$root/build/quorvane-dataset" --output "$demo" "$root/data/clouds"
echo
echo "== quorvane-eval in demo/"
status=0
(cd "$demo" && "$root/build/quorvane-eval" --metrics) || status=$?
echo
echo "== demo/errors.csv as a table"
"$root/scripts/report-table.sh" "$demo/errors.csv"
echo
echo "== demo/metrics.csv, some of its columns"
cut -d, -f1-5,8-10,13,16,17,18 "$demo/metrics.csv" | column -s, -t
echo
echo "== rate-distortion sweep over every profile of both codecs, BD-rate against the octree codec"
"$root/scripts/rd-sweep.sh" "$root/data/clouds" "$demo/rd" 2>/dev/null || status=$?
exit "$status"
