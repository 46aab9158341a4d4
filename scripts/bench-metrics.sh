#!/usr/bin/env bash
# What --metrics costs: seconds of quorvane-eval with and without it on one pair, on one thread
# and on every thread, for synthetic scans through the high-resolution colour profile (every
# decoded point distinct, so every point needs a normal) in scanner and in shuffled storage
# order, and through the default medium-resolution profile (decoded points share voxels); then
# the high-resolution pair with normals in its files (from pcl_normal_estimation -k 12), where
# none are estimated.
#   scripts/bench-metrics.sh [POINTS (default 1000000)] [RUNS (default 5)]
# Prints a markdown table and writes it to bench/results/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-1000000}"
runs="${2:-5}"
"$root/scripts/install-deps.sh" time pcl-tools
"$root/scripts/build.sh" quorvane-eval quorvane-dataset bench_make_clouds
build="$root/build"
eval_binary="${QUORVANE_EVAL:-$build/quorvane-eval}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
# shellcheck source=scripts/bench-common.sh
source "$root/scripts/bench-common.sh"

table="| points | pair | plain 1 thread s | --metrics 1 thread s | ratio | plain $cores threads s | --metrics $cores threads s | ratio | peak RSS plain / --metrics MiB |
|---:|---|---:|---:|---:|---:|---:|---:|---:|"
add_row() { # label pair-directory
  time_pair "$2" "$runs" eval1 metrics1 evalN metricsN
  local row
  row=$(awk -v p="$points" -v l="$1" -v a="${seconds[eval1]}" -v b="${seconds[metrics1]}" \
    -v c="${seconds[evalN]}" -v d="${seconds[metricsN]}" -v r="${rss[eval1]}" -v s="${rss[metrics1]}" \
    'BEGIN { printf "| %d | %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.0f / %.0f |",
             p, l, a, b, b / a, c, d, d / c, r / 1024, s / 1024 }')
  echo "$row" >&2
  table+=$'\n'"$row"
}

for order in scan shuffled; do
  pair="$work/$order"
  "$build/bench_make_clouds" --points "$points" --order "$order" --output "$pair/in"
  "$build/quorvane-dataset" --profile high-offline-color --output "$pair" "$pair/in" >/dev/null
  add_row "$order order, high-offline-color" "$pair"
done
pair="$work/medium"
"$build/quorvane-dataset" --output "$pair" "$work/scan/in" >/dev/null
add_row "scan order, med-offline-color" "$pair"
# The scan pair again, with the normals of both clouds in their files.
pair="$work/normals"
cp -r "$work/scan" "$pair"
for cloud in "$pair"/quorvane/pcd_binary_original/*.pcd "$pair"/quorvane/octree_uncompressed/*.pcd; do
  pcl_normal_estimation "$cloud" "$cloud.n.pcd" -k 12 >/dev/null
  mv "$cloud.n.pcd" "$cloud"
done
add_row "scan order, high-offline-color, normals in the files" "$pair"

mkdir -p "$root/bench/results"
result="$root/bench/results/metrics-$(date +%Y%m%d-%H%M%S)-$points.md"
{
  echo "quorvane-eval --metrics cost, $eval_binary, $(date -u +%Y-%m-%dT%H:%MZ), $cores cores, interleaved runs, medians of $runs"
  echo
  echo "$table"
} | tee "$result"
