#!/usr/bin/env bash
# Cross-checks quorvane-eval against PCL's own tools on a folder of clouds (default: the shipped
# scans), through the datasets of two codec profiles, one with colour (whose decoded clouds hold
# duplicate points) and one without:
#   - pcl_compute_cloud_error -correspondence nn: its RMSE against the quadratic mean of the
#     distance error in errors.csv, sqrt(mean^2 + variance). PCL divides by every point of the
#     file, NaN ones included, so it is given the originals without them
#     (pcl_passthrough_filter);
#   - metrics.csv's D2 both ways with quorvane-eval's own normals of the originals against D2
#     with the normals of pcl_normal_estimation -k 12 in the originals' files: the same
#     estimation gives the same numbers.
# Prints a markdown table; exits 1 when a pair differs by more than PCL's printed precision and
# its single-precision sum allow (relative 1e-3 or 1e-6 absolute).
#   scripts/cross-check.sh [INPUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
input="$(cd "${1:-$root/data/clouds}" && pwd)"
"$root/scripts/install-deps.sh" pcl-tools
"$root/scripts/build.sh" quorvane-eval quorvane-dataset
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# shellcheck source=scripts/metrics-columns.sh
source "$root/scripts/metrics-columns.sh"
rmse() { # correspondence original decoded
  pcl_compute_cloud_error "$2" "$3" "$work/errors.pcd" -correspondence "$1" 2>&1 |
    sed -n 's/.*RMSE Error: *\([-0-9.eEnaif+]*\).*/\1/p'
}
# Prints the relative difference; fails when it is beyond the tolerance.
compare() { # ours theirs
  awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; r = (b != 0) ? d / b : d;
                                   printf "%.1e", r; exit !(d <= 1e-6 || r <= 1e-3) }'
}

status=0
echo "| profile | cloud | PCL nn RMSE | errors.csv RMS distance | rel. diff | d2_mse_ab, own normals | d2_mse_ab, PCL's normals | rel. diff | d2_mse_ba, own normals | d2_mse_ba, PCL's normals | rel. diff |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for profile in med-offline-color med-offline-nocolor; do
  rm -rf "$work/estimated" "$work/filenormals"
  "$root/build/quorvane-dataset" --profile "$profile" --output "$work/estimated" "$input" >/dev/null
  cp -r "$work/estimated" "$work/filenormals"
  find "$work/filenormals/quorvane/pcd_binary_original" -name '*.pcd' | while read -r cloud; do
    pcl_passthrough_filter "$cloud" "$cloud.finite.pcd" -field z -min -1e38 -max 1e38 -keep 0 >/dev/null
    pcl_normal_estimation "$cloud.finite.pcd" "$cloud" -k 12 >/dev/null
    rm "$cloud.finite.pcd"
  done
  (cd "$work/estimated" && "$root/build/quorvane-eval" --metrics >/dev/null 2>&1) || true
  (cd "$work/filenormals" && "$root/build/quorvane-eval" --metrics >/dev/null 2>&1) || true
  originals="$work/estimated/quorvane/pcd_binary_original"
  for original in "$originals"/*.pcd; do
    name="$(basename "$original")"
    estimated_csv="$work/estimated/metrics.csv"
    file_csv="$work/filenormals/metrics.csv"
    pcl_passthrough_filter "$original" "$work/finite.pcd" -field z -min -1e38 -max 1e38 -keep 0 >/dev/null
    nn=$(rmse nn "$work/finite.pcd" "$work/estimated/quorvane/octree_uncompressed/$name")
    rms=$(awk -F';' -v file="\"quorvane/pcd_binary_original/$name\"" \
      '$1 == file { printf "%.6g", sqrt($3 * $3 + $4) }' "$work/estimated/errors.csv")
    r1=$(compare "$rms" "$nn") || status=1
    row="| $profile | $name | $nn | $rms | $r1"
    for column in d2_mse_ab d2_mse_ba; do
      own=$(value "$estimated_csv" "$name" "$column")
      file=$(value "$file_csv" "$name" "$column")
      r=$(compare "$own" "$file") || status=1
      row+=" | $own | $file | $r"
    done
    echo "$row |"
  done
done
exit "$status"
