#!/usr/bin/env bash
# What --metrics costs: seconds of quorvane-eval with and without it on one pair, on one thread
# and on every thread, for a synthetic scan through the default medium-resolution profile, with
# the original's normals in its (binary) file, from pcl_normal_estimation -k 12, and without,
# when quorvane-eval estimates them; then the high-resolution profile with normals (every
# decoded point distinct), and that profile on the scan shuffled, its normals estimated (the
# case whose time and memory per point must not grow with the size: run it at 10^7 beside 10^6;
# beyond 10^6 points it runs a second time on a square grown to keep 10^6's density).
# With PC_ERROR=/path/to/pc_error, MPEG's pc_error too, on one thread,
# given binary PLY files with the original's normals and the same peak: the ratio of --metrics
# to pc_error is the measure of the metrics' cost. quorvane-metrics runs with pc_error's command
# line (-a -b -n --color=1 --hausdorff=1 --resolution=PEAK) on the same PLY files.
#   [PC_ERROR=...] scripts/bench-metrics.sh [POINTS (default 1000000)] [RUNS (default 5)]
# Prints a markdown table and writes it to bench/results/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-1000000}"
runs="${2:-5}"
"$root/scripts/install-deps.sh" time pcl-tools
"$root/scripts/build.sh" quorvane-eval quorvane-dataset quorvane-metrics bench_make_clouds bench_pcd_to_ply \
  bench_warm_memory
build="$root/build"
eval_binary="${QUORVANE_EVAL:-$build/quorvane-eval}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
# shellcheck source=scripts/bench-common.sh
source "$root/scripts/bench-common.sh"
contenders=(eval1 metrics1 metricsN qmetrics1 qmetricsN)
warm_for "$points"
[ -z "${PC_ERROR:-}" ] || contenders+=(pcerror)

table="| points | pair | files MiB | plain 1 thread s | --metrics 1 thread s | --metrics $cores threads s | quorvane-metrics 1 thread s | quorvane-metrics $cores threads s | pc_error 1 thread s | --metrics1 / pc_error | --metrics$cores / pc_error | quorvane-metrics1 / pc_error | quorvane-metrics$cores / pc_error | --metrics1 / plain | peak RSS plain / --metrics / quorvane-metrics / pc_error MiB | --metrics peak / files |
|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
add_row() { # label pair-directory [PLY file of the original's normals, for pc_error]
  local pair="$2" original="$2/quorvane/pcd_binary_original/cloud_00000.pcd"
  (cd "$pair" && "$eval_binary" --metrics >/dev/null 2>&1) || true
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "peak") c = i } NR == 2 { print $c }' \
    "$pair/metrics.csv" > "$pair/peak"
  "$build/bench_pcd_to_ply" "$original" "$pair/original.ply" >/dev/null
  "$build/bench_pcd_to_ply" "$pair/quorvane/octree_uncompressed/cloud_00000.pcd" "$pair/decoded.ply" >/dev/null
  cp "${3:-$pair/original.ply}" "$pair/normals.ply"
  seconds[pcerror]=nan rss[pcerror]=nan
  time_pair "$pair" "$runs" "${contenders[@]}"
  local row files
  files=$(du -cb "$original" "$pair/quorvane/octree_uncompressed/cloud_00000.pcd" | tail -n 1 | cut -f 1)
  row=$(awk -v p="$points" -v l="$1" -v a="${seconds[eval1]}" -v b="${seconds[metrics1]}" -v f="$files" \
    -v c="${seconds[metricsN]}" -v e="${seconds[pcerror]}" -v r="${rss[eval1]}" \
    -v s="${rss[metrics1]}" -v t="${rss[pcerror]}" -v q="${seconds[qmetrics1]}" \
    -v qn="${seconds[qmetricsN]}" -v qr="${rss[qmetrics1]}" \
    'BEGIN { printf "| %d | %s | %.1f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f | %.2f | %.2f | %.0f / %.0f / %.0f / %.0f | %.2f |",
             p, l, f / 1048576, a, b, c, q, qn, e, b / e, c / e, q / e, qn / e, b / a, r / 1024, s / 1024, qr / 1024, t / 1024, s * 1024 / f }')
  echo "$row" >&2
  table+=$'\n'"$row"
}
# The original with its normals in its file, as binary PCD.
with_normals() { # pair-directory
  local cloud="$1/quorvane/pcd_binary_original/cloud_00000.pcd"
  pcl_normal_estimation "$cloud" "$work/normals.pcd" -k 12 >/dev/null
  pcl_convert_pcd_ascii_binary "$work/normals.pcd" "$cloud" 1 >/dev/null
}

"$build/bench_make_clouds" --points "$points" --order scan --output "$work/in"
"$build/quorvane-dataset" --output "$work/medium" "$work/in" >/dev/null
cp -r "$work/medium" "$work/medium-normals"
with_normals "$work/medium-normals"
add_row "scan order, med-offline-color, normals in the original's file" "$work/medium-normals"
add_row "scan order, med-offline-color, normals estimated" "$work/medium" \
  "$work/medium-normals/original.ply"
"$build/quorvane-dataset" --profile high-offline-color --output "$work/high" "$work/in" >/dev/null
with_normals "$work/high"
add_row "scan order, high-offline-color, normals in the original's file" "$work/high"
rm -rf "$work/in" "$work/medium" "$work/medium-normals" "$work/high"

# The shuffled scan through the high-resolution profile, its normals estimated by quorvane-eval
# and, for pc_error, by pcl_normal_estimation.
add_shuffled_row() { # label [side of the generated square, metres]
  rm -rf "$work/in" "$work/shuffled"
  "$build/bench_make_clouds" --points "$points" --extent "${2:-2}" --order shuffled --output "$work/in"
  "$build/quorvane-dataset" --profile high-offline-color --output "$work/shuffled" "$work/in" >/dev/null
  cp -r "$work/shuffled" "$work/shuffled-normals"
  with_normals "$work/shuffled-normals"
  "$build/bench_pcd_to_ply" "$work/shuffled-normals/quorvane/pcd_binary_original/cloud_00000.pcd" \
    "$work/shuffled-normals.ply" >/dev/null
  rm -rf "$work/shuffled-normals"
  add_row "$1" "$work/shuffled" "$work/shuffled-normals.ply"
}
add_shuffled_row "shuffled order, high-offline-color, normals estimated"
# On the same 2 m square, more points make a denser cloud, whose decoded points tie more often
# at the high profile's precision; beyond 10^6 the pair is also run at the density of 10^6
# points, so that the growth with the size alone shows.
if [ "$points" -gt 1000000 ]; then
  side=$(awk -v p="$points" 'BEGIN { printf "%.6f", 2 * sqrt(p / 1000000) }')
  add_shuffled_row "shuffled order, high-offline-color, normals estimated, 10^6's density ($side m square)" "$side"
fi

mkdir -p "$root/bench/results"
result="$root/bench/results/metrics-$(date +%Y%m%d-%H%M%S)-$points.md"
{
  echo "quorvane-eval --metrics cost, $eval_binary, $(date -u +%Y-%m-%dT%H:%MZ), $cores cores, interleaved runs, medians of $runs; pc_error ${PC_ERROR:-not run} on one thread; $warm_mib MiB of huge-page memory warmed before each run"
  echo
  echo "$table"
} | tee "$result"
