#!/usr/bin/env bash
# Seconds per pair of quorvane-eval, on one thread and on every thread, against the limit
# (bench/search_only_limit.cpp: both files read into memory, one tree build and Morton-ordered searches,
# nothing else), the floor (bench/pcl_flann_floor.cpp: PCL's reader, NaN removal and FLANN's kd-tree
# searched directly on one thread) and the peers pcl_compute_cloud_error and CloudCompare's
# cloud-to-cloud distance (one thread), on synthetic scans in scanner and in shuffled storage
# order, with each one's peak memory beside the two files' size; then the cases
# that used to be quadratic: a decoded cloud of one repeated point, a Kinect scan that stores
# invalid pixels as the origin against its NaN twin, and a dataset of many tiny pairs.
#   scripts/bench.sh [MAX_POINTS (default 1000000)] [RUNS (default 3)] [SMALL_PAIRS (default 50000)]
# Prints a markdown table and writes it to bench/results/. QUORVANE_EVAL=/path/to/quorvane-eval
# measures another build (an earlier commit, say) in place of build/quorvane-eval.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
max_points="${1:-1000000}"
runs="${2:-3}"
small_pairs="${3:-50000}"
"$root/scripts/install-deps.sh" time cloudcompare pcl-tools
"$root/scripts/build.sh" quorvane-eval quorvane-dataset bench_make_clouds bench_pcl_flann_floor bench_search_only_limit \
  bench_warm_memory
build="$root/build"
eval_binary="${QUORVANE_EVAL:-$build/quorvane-eval}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
export QT_QPA_PLATFORM=offscreen

# shellcheck source=scripts/bench-common.sh
source "$root/scripts/bench-common.sh"

table="| points | order | limit 1 thread s | eval 1 thread s | floor s | pcl_compute_cloud_error s | CloudCompare s | limit $cores threads s | eval $cores threads s | eval1 / limit1 | eval1 / floor | eval1 / CC | eval$cores / CC | files MiB | peak RSS eval1 MiB | peak RSS eval$cores MiB | peak RSS limit1 MiB | peak RSS floor MiB |
|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for points in 10000 100000 1000000 4000000 10000000; do
  [ "$points" -le "$max_points" ] || continue
  for order in scan shuffled; do
    pair="$work/$points-$order"
    "$build/bench_make_clouds" --points "$points" --order "$order" --output "$pair/in"
    make_pair "$pair/in" "$pair"
    files=$(du -cb "$pair"/quorvane/pcd_binary_original/cloud_00000.pcd \
      "$pair"/quorvane/octree_uncompressed/cloud_00000.pcd | tail -n 1 | cut -f 1)
    warm_for "$points"
    # Small pairs take tens of milliseconds, so more runs steady their medians.
    time_pair "$pair" $((points <= 100000 ? (runs > 15 ? runs : 15) : runs)) \
      limit1 eval1 floor pcl cc limitN evalN
    row=$(awk -v p="$points" -v o="$order" -v l="${seconds[limit1]}" -v e="${seconds[eval1]}" \
      -v f="${seconds[floor]}" -v c="${seconds[pcl]}" -v q="${seconds[cc]}" \
      -v ln="${seconds[limitN]}" -v n="${seconds[evalN]}" -v b="$files" \
      -v re="${rss[eval1]}" -v rn="${rss[evalN]}" -v rl="${rss[limit1]}" -v rf="${rss[floor]}" \
      'BEGIN { printf "| %d | %s | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f | %.2f | %.1f | %.0f | %.0f | %.0f | %.0f |",
               p, o, l, e, f, c, q, ln, n, e / l, e / f, e / q, n / q, b / 1048576,
               re / 1024, rn / 1024, rl / 1024, rf / 1024 }')
    echo "$row" >&2
    table+=$'\n'"$row"
  done
done

# Cases that used to be quadratic; the floor and the peers are left out where FLANN's search
# takes hours.
special="| case | eval 1 thread s | eval $cores threads s | peak RSS eval1 MiB |
|---|---:|---:|---:|"
special_row() { # label pair-directory
  time_pair "$2" "$runs" eval1 evalN
  local row
  row=$(awk -v l="$1" -v e="${seconds[eval1]}" -v n="${seconds[evalN]}" -v r="${rss[eval1]}" \
    'BEGIN { printf "| %s | %.3f | %.3f | %.0f |", l, e, n, r / 1024 }')
  echo "$row" >&2
  special+=$'\n'"$row"
}

pair="$work/identical"
"$build/bench_make_clouds" --points "$max_points" --output "$pair/in"
"$build/bench_make_clouds" --points "$max_points" --kind identical --seed 2 --output "$pair/one"
make_pair "$pair/in" "$pair"
cp "$pair/one/cloud_00000.pcd" "$pair/quorvane/octree_uncompressed/cloud_00000.pcd"
warm_for "$max_points"
special_row "$max_points originals against $max_points identical decoded points" "$pair"

scan="$root/data/clouds/table_scene_mug_stereo_textured.pcd"
for twin in nan zero; do
  pair="$work/scan-$twin"
  mkdir -p "$pair/in"
  if [ "$twin" = nan ]; then cp "$scan" "$pair/in/cloud_00000.pcd"
  else "$build/bench_make_clouds" --nan-to-zero "$scan" --output "$pair/in"; fi
  make_pair "$pair/in" "$pair"
  warm_for 307200
  special_row "Kinect scan (307200 pixels), invalid pixels as $twin" "$pair"
done

pair="$work/small"
"$build/bench_make_clouds" --points 3 --count "$small_pairs" --output "$pair/quorvane/pcd_binary_original"
cp -r "$pair/quorvane/pcd_binary_original" "$pair/quorvane/octree_uncompressed"
mkdir -p "$pair/quorvane/octree_compressed"
for file in "$pair/quorvane/pcd_binary_original"/*.pcd; do
  name="${file##*/}"
  printf 'codec' > "$pair/quorvane/octree_compressed/${name%.pcd}"
done
warm_for 0
special_row "$small_pairs pairs of 3-point clouds" "$pair"

# What the program and its libraries take before any cloud: the peak RSS of --help.
baseline=$(measure "$eval_binary" --help | awk '{ printf "%.0f", $2 / 1024 }')

mkdir -p "$root/bench/results"
result="$root/bench/results/bench-$(date +%Y%m%d-%H%M%S)-max$max_points.md"
{
  echo "quorvane-eval benchmark of $eval_binary, $(date -u +%Y-%m-%dT%H:%MZ), $cores cores, interleaved runs, medians of at least $runs (15 for the small sizes); floor and peers on one thread; before each run, huge-page memory warmed (64 MiB below 250,000 points, else 64 + 256 per 10^6 points; WARM_MIB=${WARM_MIB:-sized to the pair})"
  echo
  echo "$table"
  echo
  echo "quorvane-eval and its libraries take $baseline MiB before any cloud (peak RSS of --help)."
  echo
  echo "$special"
} | tee "$result"
