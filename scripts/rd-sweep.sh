#!/usr/bin/env bash
# Rate-distortion sweep: every codec profile of quorvane-dataset over the clouds of INPUT_DIR,
# one dataset per profile in OUTPUT_DIR/PROFILE, each evaluated with quorvane-eval --metrics.
# Writes OUTPUT_DIR/rd.csv (the dataset's pooled row of each profile and the codec's seconds)
# and draws OUTPUT_DIR/rd.png: D1 PSNR and Y PSNR against bits per point.
#   scripts/rd-sweep.sh INPUT_DIR OUTPUT_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: scripts/rd-sweep.sh INPUT_DIR OUTPUT_DIR" >&2
  exit 2
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
fail() { echo "rd-sweep.sh: $1" >&2; exit 1; }
[ -d "$1" ] || fail "$1 is not a folder"
input="$(realpath -e "$1")"
output="$(realpath -m "$2")"
# Each profile's folder is emptied before it is filled: neither folder may hold the other.
inside() { [ "$1" = "$2" ] || [[ "$1" == "$2"/* ]] || [ "$2" = / ]; }
if inside "$input" "$output"; then
  fail "the input $1 lies inside the output $2, whose profile folders are removed; choose another output"
fi
if inside "$output" "$input"; then
  fail "the output $2 lies inside the input $1; choose another output"
fi
# The clouds that quorvane-dataset lists: *.pcd files, or links to files, at any depth.
[ -n "$(find "$input" -name '*.pcd' -xtype f -print -quit)" ] || fail "$1 holds no clouds (*.pcd)"
mkdir -p "$output"
trap 'rm -f "$output"/rd-*.dat "$output/rd.csv.partial"' EXIT
"$root/scripts/install-deps.sh" gnuplot-nox
"$root/scripts/build.sh" quorvane-eval quorvane-dataset
dataset="$root/build/quorvane-dataset"
evaluate="$root/build/quorvane-eval"

# The value of a named column in the pooled "all" row of a metrics.csv, the last row of a
# finished run; empty when there is no such row.
pooled() { # metrics.csv column-name
  [ -f "$1" ] || return 0
  awk -F, -v name="$2" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) column = i }
                        { last = $0 } END { split(last, f, ","); if (f[1] == "all") print f[column] }' "$1"
}

status=0
rd="$output/rd.csv"
echo "profile,bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,decode_seconds" > "$rd.partial"
for profile in $("$dataset" --list-profiles); do
  folder="$output/$profile"
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "== $profile" >&2
  "$dataset" --profile "$profile" --output "$folder" "$input" > "$folder/dataset.log" || status=1
  # "total: N clouds encoded in X s, decoded in Y s"
  read -r encode decode < <(awk '/^total: / { print $6, $10 }' "$folder/dataset.log") || true
  (cd "$folder" && "$evaluate" --metrics > eval.log 2>&1) || {
    echo "quorvane-eval found problems with $profile; see $folder/eval.log" >&2
    status=1
  }
  if [ ! -f "$folder/metrics.csv" ] || [ "$(tail -n 1 "$folder/metrics.csv" | cut -d, -f1)" != all ]; then
    echo "$profile: metrics.csv has no row 'all'; its values are left empty" >&2
    status=1
  fi
  echo "$profile,$(pooled "$folder/metrics.csv" bpp),$(pooled "$folder/metrics.csv" d1_psnr),$(pooled "$folder/metrics.csv" d2_psnr),$(pooled "$folder/metrics.csv" y_psnr),$encode,$decode" >> "$rd.partial"
done
mv "$rd.partial" "$rd"

# One series for each of online and offline, with and without colour, from low to high
# resolution. A PSNR that is infinite (nothing lost) cannot be drawn; the title names it.
for series in online-color offline-color online-nocolor offline-nocolor; do
  awk -F, -v OFS=, -v s="$series" 'NR > 1 && $1 ~ "-" s "$" {
      split($1, name, "-"); $1 = name[1]; for (i = 2; i <= 5; i++) if ($i == "inf") $i = ""; print }' \
    "$rd" > "$output/rd-$series.dat"
done
# The profiles whose PSNR in a column is infinite, for a panel's title.
infinite() { # column name
  local profiles
  profiles=$(awk -F, -v c="$1" 'NR > 1 && $c == "inf" { printf "%s%s", sep, $1; sep = ", " }' "$rd")
  [ -z "$profiles" ] || echo "\\n($2 infinite, not drawn: $profiles)"
}
if ! awk -F, 'NR > 1 && $2 != "" && ($3 != "" && $3 != "inf" || $5 != "" && $5 != "inf") { found = 1 }
              END { exit !found }' "$rd"; then
  column -s, -t "$rd"
  fail "no profile has a value to plot; rd.png is not drawn (rd.csv: $rd)"
fi
series_plot() { # column
  local column="$1" plots="" series point=6
  for series in online-color offline-color online-nocolor offline-nocolor; do
    point=$((point + 1))
    [ "$column" != 5 ] || [[ "$series" != *nocolor ]] || continue
    plots+="\"$output/rd-$series.dat\" using 2:$column with linespoints pt $point ps 1.3 title \"$series\", "
    plots+="\"$output/rd-$series.dat\" using 2:$column:1 with labels offset 0,0.9 font \",8\" notitle, "
  done
  echo "${plots%, }"
}
# A panel's plot command; a panel without a finite value to draw (clouds without colour have
# no Y PSNR) says so, since gnuplot cannot scale an empty plot.
panel() { # column name
  if awk -F, -v c="$1" 'NR > 1 && $2 != "" && $c != "" && $c != "inf" && (c != 5 || $1 !~ /nocolor$/) { found = 1 }
                        END { exit !found }' "$rd"; then
    echo "plot $(series_plot "$1")"
  else
    echo "set xrange [1:10]; set yrange [0:1]; set label 1 \"no finite $2 to draw\" at graph 0.5, 0.5 center"
    echo "plot 1/0 notitle; unset label 1; set autoscale"
  fi
}
gnuplot <<PLOT
set terminal pngcairo size 1200,520 font "DejaVu Sans,10"
set output "$output/rd.png"
set datafile separator ","
set datafile missing ""
set logscale x
set grid
set key bottom right
set offsets 0, 0, 2, 2
set xlabel "bits per point (8 x compressed bytes / original points)"
set multiplot layout 1,2 title "PCL's octree codec over $(basename "$input"): one point per profile (low, med, high resolution)"
set title "Geometry$(infinite 3 "D1 PSNR")"
set ylabel "D1 PSNR, dB (point to point as pc_error, peak: largest side of the box)"
$(panel 3 "D1 PSNR")
set title "Colour$(infinite 5 "Y PSNR")"
set ylabel "Y PSNR, dB (BT.709 luma as pc_error computes it)"
$(panel 5 "Y PSNR")
unset multiplot
PLOT
column -s, -t "$rd"
echo "rd.csv: $rd"
echo "plot:   $output/rd.png"
exit "$status"
