#!/usr/bin/env bash
# Runs MPEG's pc_error on the shipped scans through med-offline-color with a matrix of its
# options and keeps what it prints: the reference data that tests/programs/quorvane_metrics_test.cpp
# holds quorvane-metrics's report against, line by line.
#   scripts/pc-error-outputs.sh PC_ERROR [OUTPUT_DIR (default tests/data/pc-error/outputs)]
# Each pair's clouds go to pc_error as PLY files of their finite points (bench_pcd_to_ply), the
# original's normals as those of pcl_normal_estimation -k 12 (PLY). The test gives
# quorvane-metrics the dataset's PCD files and normals of its own, which are PCL's.
# Files are named PAIR.SET.txt, SET as in the table below. The LiDAR-like pair of
# tests/data/pc-error/lidar (scripts/make-lidar-pair.py: uint16 reflectance, no colour) goes
# through the reflectance sets as lidar.SET.txt; the voxelized pair of tests/data/pc-error/voxel
# (scripts/make-voxel-pair.py on the table scene, 8 bits: ties everywhere) through the sets whose
# values depend on which tied neighbour is taken, as voxel.SET.txt.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
pc_error="$(realpath "$1")"
output="${2:-$root/tests/data/pc-error/outputs}"
"$root/scripts/install-deps.sh" pcl-tools >&2
"$root/scripts/build.sh" quorvane-dataset bench_pcd_to_ply >&2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$output"

# name|options; NORMALS stands for the normals file.
sets=(
  "colour-hausdorff-1023|-c 1 -d 1 -r 1023"
  "hausdorff|-d 1"
  "colour-single|-c 1 -s 1"
  "normals-colour-hausdorff|-n NORMALS -c 1 -d 1"
  "normals-single-1023|-n NORMALS -s 1 -r 1023"
  "rgb-colour|-c 1 --mseSpace=0"
  "ycgco-colour-hausdorff|-c 1 -d 1 --mseSpace=8"
  "weighted-colour|-c 1 --neighborsProc=2"
  "closest-colour|-c 1 --neighborsProc=3"
  "dropped-duplicates|-c 1 -d 1 --dropdups=1"
)
"$root/build/quorvane-dataset" --profile med-offline-color --output "$work/ds" \
  "$root/data/clouds" >/dev/null
for pair in milk_color colored_cloud cturtle; do
  original="$work/ds/quorvane/pcd_binary_original/$pair.pcd"
  decoded="$work/ds/quorvane/octree_uncompressed/$pair.pcd"
  "$root/build/bench_pcd_to_ply" "$original" "$work/a.ply" >/dev/null
  "$root/build/bench_pcd_to_ply" "$decoded" "$work/b.ply" >/dev/null
  pcl_passthrough_filter "$original" "$work/finite.pcd" -field z -min -1e38 -max 1e38 -keep 0 >/dev/null
  pcl_normal_estimation "$work/finite.pcd" "$work/normals.pcd" -k 12 >/dev/null
  "$root/build/bench_pcd_to_ply" "$work/normals.pcd" "$work/n.ply" >/dev/null
  for set in "${sets[@]}"; do
    name="${set%%|*}"
    options="${set#*|}"
    # shellcheck disable=SC2086
    (cd "$work" && "$pc_error" -a a.ply -b b.ply ${options/NORMALS/n.ply}) 2>/dev/null |
      sed -n '/^infile1:/,$p' > "$output/$pair.$name.txt"
  done
done
lidar_sets=(
  "lidar-hausdorff-30000|-l 1 -d 1 -r 30000"
  "lidar-nearest|-l 1 --neighborsProc=0"
  "lidar-single|-l 1 -s 1 -d 1"
  "lidar-dropped-duplicates|-l 1 -d 1 --dropdups=1"
  "lidar-colour|-l 1 -c 1"
  "lidar-kept-duplicates|-l 1 -d 1 --dropdups=0"
)
# pc_error's report of the pair in tests/data/pc-error/PAIR for each set, as PAIR.SET.txt.
keep_reports() { # pair set...
  local pair="$1" set name options
  shift
  for set in "$@"; do
    name="${set%%|*}"
    options="${set#*|}"
    # shellcheck disable=SC2086
    (cd "$root/tests/data/pc-error/$pair" && "$pc_error" -a original.ply -b decoded.ply $options) 2>/dev/null |
      sed -n '/^infile1:/,$p' > "$output/$pair.$name.txt"
  done
}
keep_reports lidar "${lidar_sets[@]}"
voxel_sets=(
  "nearest|-c 1 --neighborsProc=0"
  "closest|-c 1 --neighborsProc=3"
  "nearest-normal|-n original.ply --averageNormals=0 -c 1 -d 1"
  "weighted-dropped|-c 1 --neighborsProc=2 --dropdups=1"
  "colour-hausdorff|-c 1 -d 1"
  "kept-duplicates|--dropdups=0 -c 1 -d 1 --neighborsProc=0"
  "kept-duplicates-normals|--dropdups=0 -n original.ply -c 1 -d 1"
)
keep_reports voxel "${voxel_sets[@]}"
ls "$output"
