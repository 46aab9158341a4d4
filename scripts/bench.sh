#!/usr/bin/env bash
# Cost per pair of quorvane-eval against the floor (bench/floor.cpp: only what PCL must do)
# and the peers pcl_compute_cloud_error and CloudCompare's cloud-to-cloud distance, all on
# one thread, on synthetic scans in scanner and in shuffled storage order.
#   scripts/bench.sh [MAX_POINTS (default 4000000)] [RUNS (default 3)]
# Prints a markdown table and writes it to bench/results/. QUORVANE_EVAL=/path/to/quorvane-eval
# measures another build (an earlier commit, say) in place of build/quorvane-eval.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
max_points="${1:-4000000}"
runs="${2:-3}"
"$root/scripts/install-deps.sh" time cloudcompare
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quorvane-eval quorvane-dataset bench_make_clouds bench_floor >/dev/null
build="$root/build"
eval_binary="${QUORVANE_EVAL:-$build/quorvane-eval}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
export OMP_NUM_THREADS=1 QT_QPA_PLATFORM=offscreen

# Prints "seconds peak-RSS-KiB" for one run of the command.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }') $(tail -n 1 "$work/rss")"
}

run_contender() { # name pair-directory
  local pair="$2" original="$2/quorvane/pcd_binary_original/cloud_00000.pcd"
  local decoded="$2/quorvane/octree_uncompressed/cloud_00000.pcd"
  case "$1" in
  eval) (cd "$pair" && measure "$eval_binary") ;;
  floor) measure "$build/bench_floor" "$original" "$decoded" ;;
  pcl) measure pcl_compute_cloud_error "$original" "$decoded" "$work/out.pcd" -correspondence nn ;;
  cc) measure CloudCompare -SILENT -AUTO_SAVE OFF -O "$pair/original.ply" -O "$pair/decoded.ply" -C2C_DIST -MAX_TCOUNT 1 ;;
  esac
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

contenders=(eval floor pcl cc)
table="| points | order | quorvane-eval s | floor s | pcl_compute_cloud_error s | CloudCompare s | eval / floor | eval / pcl | eval / CC | points/s (eval) | peak RSS eval MiB | peak RSS floor MiB |
|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for points in 10000 100000 1000000 4000000; do
  [ "$points" -le "$max_points" ] || continue
  for order in scan shuffled; do
    pair="$work/$points-$order"
    "$build/bench_make_clouds" --points "$points" --order "$order" --output "$pair/in"
    "$build/quorvane-dataset" --output "$pair" "$pair/in" >/dev/null
    pcl_pcd2ply "$pair/quorvane/pcd_binary_original/cloud_00000.pcd" "$pair/original.ply" >/dev/null
    pcl_pcd2ply "$pair/quorvane/octree_uncompressed/cloud_00000.pcd" "$pair/decoded.ply" >/dev/null
    # Small pairs take tens of milliseconds, so more runs steady their medians.
    size_runs=$((points <= 100000 ? (runs > 15 ? runs : 15) : runs))
    for ((run = 1; run <= size_runs; run++)); do
      for contender in "${contenders[@]}"; do
        run_contender "$contender" "$pair" >> "$pair/$contender.times"
      done
    done
    declare -A seconds rss
    for contender in "${contenders[@]}"; do
      seconds[$contender]=$(awk '{ print $1 }' "$pair/$contender.times" | median)
      rss[$contender]=$(awk '{ print $2 }' "$pair/$contender.times" | median)
    done
    row=$(awk -v p="$points" -v o="$order" -v e="${seconds[eval]}" -v f="${seconds[floor]}" \
      -v c="${seconds[pcl]}" -v q="${seconds[cc]}" -v re="${rss[eval]}" -v rf="${rss[floor]}" \
      'BEGIN { printf "| %d | %s | %.3f | %.3f | %.3f | %.3f | %.2f | %.2f | %.2f | %.3g | %.0f | %.0f |",
               p, o, e, f, c, q, e / f, e / c, e / q, p / e, re / 1024, rf / 1024 }')
    echo "$row" >&2
    table+=$'\n'"$row"
  done
done

mkdir -p "$root/bench/results"
result="$root/bench/results/bench-$(date +%Y%m%d-%H%M%S)-max$max_points.md"
{
  echo "quorvane-eval benchmark of $eval_binary, $(date -u +%Y-%m-%dT%H:%MZ), $cores cores, at least $runs runs each (more for the small sizes), medians, one thread"
  echo
  echo "$table"
} | tee "$result"
