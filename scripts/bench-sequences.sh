#!/usr/bin/env bash
# What coding a sequence as one stream costs: quorvane-dataset with and without --sequences on
# FRAMES frames of POINTS points (a shipped scan turning and moving, scripts/make-sequence.py),
# the medium online profile, interleaved runs: the codec's encoding and decoding seconds (its
# "total:" line), the wall time and the compressed bytes.
#   scripts/bench-sequences.sh [FRAMES (default 100)] [POINTS (default 100000)] [RUNS (default 3)]
# Prints a markdown table and writes it to bench/results/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
frames="${1:-100}"
points="${2:-100000}"
runs="${3:-3}"
"$root/scripts/build.sh" quorvane-dataset quorvane_python
build="$root/build"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python=$(awk -F= '/^Python3_EXECUTABLE:/ { print $2 }' "$build/CMakeCache.txt")
PYTHONPATH="$build/python" "$python" "$root/scripts/make-sequence.py" \
  "$root/data/clouds/table_scene_mug_stereo_textured.pcd" "$work/in/scene" "$frames" "$points"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for ((run = 1; run <= runs; run++)); do
  for mode in frames stream; do
    flag=()
    [ "$mode" = frames ] || flag=(--sequences)
    rm -rf "$work/out"
    start=$(date +%s%N)
    "$build/quorvane-dataset" "${flag[@]}" --profile med-online-color --output "$work/out" "$work/in" > "$work/log"
    end=$(date +%s%N)
    awk -v ns=$((end - start)) '/^total: / { printf "%.3f %s %s\n", ns / 1e9, $6, $10 }' "$work/log" >> "$work/$mode.times"
    du -sb "$work/out/quorvane/octree_compressed" | awk '{ print $1 }' > "$work/$mode.bytes"
  done
done
table="| mode | frames x points | wall s | encoding s | decoding s | compressed MB |
|---|---|---:|---:|---:|---:|"
for mode in frames stream; do
  label="each frame alone"
  [ "$mode" = frames ] || label="--sequences (one stream)"
  table+=$'\n'"| $label | $frames x $points | $(awk '{ print $1 }' "$work/$mode.times" | median) | $(awk '{ print $2 }' "$work/$mode.times" | median) | $(awk '{ print $3 }' "$work/$mode.times" | median) | $(awk '{ printf "%.2f", $1 / 1e6 }' "$work/$mode.bytes") |"
done
mkdir -p "$root/bench/results"
result="$root/bench/results/sequences-$(date +%Y%m%d-%H%M%S)-$frames-$points.md"
{
  echo "quorvane-dataset with and without --sequences, med-online-color, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, interleaved runs, medians of $runs"
  echo
  echo "$table"
} | tee "$result"
