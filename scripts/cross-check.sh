#!/usr/bin/env bash
# Cross-checks quorvane-eval --metrics against PCL's own tools on a folder of clouds (default:
# the shipped scans), through the datasets of two codec profiles, one with colour (whose
# decoded clouds hold duplicate points) and one without:
#   - pcl_compute_cloud_error -correspondence nn: its RMSE against sqrt(d1_mse_ab). PCL divides
#     by every point of the file, NaN ones included, so it is given the originals without them
#     (pcl_passthrough_filter);
#   - pcl_compute_cloud_error -correspondence nnplane, on decoded clouds that carry the normals
#     of pcl_normal_estimation -k 12: its RMSE against sqrt(d2_mse_ab) of the same files. Where
#     the normals have a NaN (12 neighbours at one position, as duplicates in a decoded cloud
#     give), PCL's RMSE is NaN; quorvane-eval takes the whole distance there;
#   - d2_mse_ab with quorvane-eval's own normal estimation against d2_mse_ab with PCL's normals
#     from the files: the same estimation gives the same number.
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

# The value of a column in the row of a file in a metrics.csv.
value() { # metrics.csv file column-name
  awk -F, -v file="$2" -v name="$3" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i }
                                     $1 == file { print $c }' "$1"
}
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
echo "| profile | cloud | PCL nn RMSE | sqrt(d1_mse_ab) | rel. diff | PCL nnplane RMSE | sqrt(d2_mse_ab), PCL's normals | rel. diff | d2_mse_ab, own normals | d2_mse_ab, PCL's normals | rel. diff |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for profile in med-offline-color med-offline-nocolor; do
  rm -rf "$work/estimated" "$work/filenormals"
  "$root/build/quorvane-dataset" --profile "$profile" --output "$work/estimated" "$input" >/dev/null
  cp -r "$work/estimated" "$work/filenormals"
  decoded="$work/filenormals/quorvane/octree_uncompressed"
  find "$decoded" -name '*.pcd' | while read -r cloud; do
    pcl_normal_estimation "$cloud" "$cloud.normals.pcd" -k 12 >/dev/null
    mv "$cloud.normals.pcd" "$cloud"
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
    plane=$(rmse nnplane "$work/finite.pcd" "$decoded/$name")
    d1=$(awk -v v="$(value "$estimated_csv" "$name" d1_mse_ab)" 'BEGIN { printf "%.6g", sqrt(v) }')
    d2file=$(value "$file_csv" "$name" d2_mse_ab)
    d2own=$(value "$estimated_csv" "$name" d2_mse_ab)
    d2root=$(awk -v v="$d2file" 'BEGIN { printf "%.6g", sqrt(v) }')
    r1=$(compare "$d1" "$nn") || status=1
    if [[ "$plane" == *nan* ]]; then
      r2="PCL: NaN normals"
    else
      r2=$(compare "$d2root" "$plane") || status=1
    fi
    r3=$(compare "$d2own" "$d2file") || status=1
    echo "| $profile | $name | $nn | $d1 | $r1 | $plane | $d2root | $r2 | $d2own | $d2file | $r3 |"
  done
done
exit "$status"
