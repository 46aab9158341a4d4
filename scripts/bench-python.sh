#!/usr/bin/env bash
# What the Python module costs over quorvane-metrics: seconds of quorvane.metrics on a pair held
# as numpy arrays (read before the clock starts) against quorvane-metrics's own measuring time
# (its "Job done!" line, reading excluded), on one thread and on every thread, with pc_error's
# paper command line (-n, --color=1, --hausdorff=1, the peak). The pair is a synthetic scan
# through the medium profile, with normals from pcl_normal_estimation -k 12.
#   scripts/bench-python.sh [POINTS (default 1000000)] [RUNS (default 5)]
# Prints a markdown table and writes it to bench/results/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
points="${1:-1000000}"
runs="${2:-5}"
"$root/scripts/install-deps.sh" pcl-tools
"$root/scripts/build.sh" quorvane-dataset quorvane-metrics quorvane_python bench_make_clouds bench_pcd_to_ply
build="$root/build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cores=$(nproc)
python=$(awk -F= '/^Python3_EXECUTABLE:/ { print $2 }' "$build/CMakeCache.txt")

"$build/bench_make_clouds" --points "$points" --order scan --output "$work/in"
"$build/quorvane-dataset" --output "$work/pair" "$work/in" >/dev/null
pcl_normal_estimation "$work/pair/quorvane/pcd_binary_original/cloud_00000.pcd" "$work/normals.pcd" -k 12 >/dev/null
"$build/bench_pcd_to_ply" "$work/normals.pcd" "$work/original.ply" >/dev/null
"$build/bench_pcd_to_ply" "$work/pair/quorvane/octree_uncompressed/cloud_00000.pcd" "$work/decoded.ply" >/dev/null
peak=1023

quorvane_metrics() { # threads
  "$build/quorvane-metrics" -a "$work/original.ply" -b "$work/decoded.ply" -n "$work/original.ply" \
    --color=1 --hausdorff=1 --resolution=$peak --nbThreads="$1" |
    awk '/^Job done!/ { print $3 }'
}
python_metrics() { # threads
  PYTHONPATH="$build/python" "$python" - "$work" "$1" $peak <<'PY'
import sys, time
import quorvane
work, threads, peak = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
a, b = quorvane.read_cloud(work + "/original.ply"), quorvane.read_cloud(work + "/decoded.ply")
start = time.perf_counter()
quorvane.metrics(a, b, color=True, hausdorff=True, resolution=peak, threads=threads)
print(f"{time.perf_counter() - start:.4f}")
PY
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for ((run = 1; run <= runs; run++)); do
  for threads in 1 "$cores"; do
    quorvane_metrics "$threads" >> "$work/program-$threads"
    python_metrics "$threads" >> "$work/python-$threads"
  done
done
table="| points | threads | quorvane-metrics s | quorvane.metrics from arrays s | ratio |
|---:|---:|---:|---:|---:|"
for threads in 1 "$cores"; do
  program=$(median < "$work/program-$threads")
  module=$(median < "$work/python-$threads")
  table+=$'\n'$(awk -v p="$points" -v t="$threads" -v a="$program" -v b="$module" \
    'BEGIN { printf "| %d | %d | %.3f | %.3f | %.2f |", p, t, a, b, b / a }')
done
mkdir -p "$root/bench/results"
result="$root/bench/results/python-$(date +%Y%m%d-%H%M%S)-$points.md"
{
  echo "quorvane.metrics from numpy arrays against quorvane-metrics, reading excluded, $(date -u +%Y-%m-%dT%H:%MZ), $cores cores, interleaved runs, medians of $runs"
  echo
  echo "$table"
} | tee "$result"
