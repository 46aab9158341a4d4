#!/usr/bin/env bash
# Runs MPEG's pc_error, as a codec paper would, on the datasets of the shipped scans (or of
# INPUT_DIR) through three codec profiles, and prints what it reports as CSV, one row a pair:
# the reference data that tests/pc_error_reference_test.cpp compares metrics.csv with.
#   scripts/pc-error-reference.sh PC_ERROR [INPUT_DIR] > tests/data/pc-error/shipped-scans.csv
# For each pair: the original and decoded clouds' finite points as PLY (bench_pcd_to_ply), the
# normals of pcl_normal_estimation -k 12 on an unorganised copy of the original, and
#   pc_error -a ORIGINAL.ply -b DECODED.ply -n NORMALS.ply --color=1 --hausdorff=1
#            --resolution=PEAK
# with PEAK the peak that quorvane-eval --metrics uses (the largest side of the original's
# bounding box). pc_error's other settings keep their defaults. Hausdorff values are pc_error's,
# squared distances. nan_normals counts the normals that PCL could not estimate (NaN): pc_error
# adds an unsquared sum to D2 for each point matched to one, where metrics.csv adds the squared
# distance, so D2 is compared only where it is 0.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
pc_error="$(realpath "$1")"
input="$(cd "${2:-$root/data/clouds}" && pwd)"
"$root/scripts/install-deps.sh" pcl-tools >&2
"$root/scripts/build.sh" quorvane-eval quorvane-dataset bench_pcd_to_ply >&2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shellcheck source=scripts/metrics-columns.sh
source "$root/scripts/metrics-columns.sh"
# The number pc_error prints after a label, in a block of its output.
reported() { # log block label
  awk -v block="$2" -v label="$3" 'index($0, block) { inside = 1; next }
    inside && /^[0-9]\. / { inside = 0 }
    inside && index($0, label) { sub(/.*: */, ""); print; exit }' "$1"
}

echo "profile,file,peak,nan_normals,d1_mse_ab,d1_mse_ba,d1_mse,d1_psnr,hausdorff_squared,hausdorff_psnr,d2_mse_ab,d2_mse_ba,d2_mse,d2_psnr,d2_hausdorff_squared,d2_hausdorff_psnr,y_psnr,cb_psnr,cr_psnr"
for profile in low-online-color med-offline-color high-offline-nocolor; do
  dataset="$work/$profile"
  "$root/build/quorvane-dataset" --profile "$profile" --output "$dataset" "$input" >/dev/null
  (cd "$dataset" && "$root/build/quorvane-eval" --metrics >/dev/null 2>&1) || true
  for original in "$dataset"/quorvane/pcd_binary_original/*.pcd; do
    name="$(basename "$original")"
    decoded="$dataset/quorvane/octree_uncompressed/$name"
    peak="$(value "$dataset/metrics.csv" "$name" peak)"
    pcl_passthrough_filter "$original" "$work/finite.pcd" -field z -min -1e38 -max 1e38 -keep 0 >/dev/null
    pcl_normal_estimation "$work/finite.pcd" "$work/normals.pcd" -k 12 >/dev/null
    "$root/build/bench_pcd_to_ply" "$original" "$work/a.ply" >/dev/null
    "$root/build/bench_pcd_to_ply" "$decoded" "$work/b.ply" >/dev/null
    nan_normals=$("$root/build/bench_pcd_to_ply" "$work/normals.pcd" "$work/n.ply" | awk '{ print $1 }')
    "$pc_error" -a "$work/a.ply" -b "$work/b.ply" -n "$work/n.ply" --color=1 --hausdorff=1 \
      --resolution="$peak" > "$work/log" 2>&1
    A="1. Use infile1" B="2. Use infile2" F="3. Final"
    row="$profile,$name,$peak,$nan_normals"
    for field in "$A|mse1      (p2point)" "$B|mse2      (p2point)" "$F|mseF      (p2point)" \
      "$F|mseF,PSNR (p2point)" "$F|h.        (p2point)" "$F|h.,PSNR   (p2point)" \
      "$A|mse1      (p2plane)" "$B|mse2      (p2plane)" "$F|mseF      (p2plane)" \
      "$F|mseF,PSNR (p2plane)" "$F|h.        (p2plane)" "$F|h.,PSNR   (p2plane)" \
      "$F|c[0],PSNRF" "$F|c[1],PSNRF" "$F|c[2],PSNRF"; do
      row+=",$(reported "$work/log" "${field%%|*}" "${field#*|}")"
    done
    echo "$row"
  done
done
