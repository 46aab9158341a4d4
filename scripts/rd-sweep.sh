#!/usr/bin/env bash
# Rate-distortion sweep: every codec profile of quorvane-dataset (PCL's octree codec and Draco)
# over the clouds of INPUT_DIR, one dataset per profile in OUTPUT_DIR/PROFILE, each evaluated
# with quorvane-eval --metrics. As MPEG's common test conditions report, each item (a cloud, or
# with --sequences a folder of frames coded as one stream) is measured on its own. Writes
#   OUTPUT_DIR/rd.csv  a row per profile and item: its bits per point (all, geometry, colour),
#                      PSNRs (a sequence's: the mean of its frames'), the codec's seconds and
#                      the profile's family (its rate-distortion curve)
#   OUTPUT_DIR/bd.csv  quorvane-bd: BD-rate and BD-PSNR of every family against the anchor,
#                      per item on the metric's own rate (geometry bits for D1 and D2, colour
#                      bits for Y), and their average over the items
#   OUTPUT_DIR/rd.png  D1, D2 and Y PSNR against bits per point, the mean over the items of
#                      every family's profiles, the average BD-rate against the anchor in the
#                      legend
# With --pooled, rd.csv, bd.csv and the plot take the dataset's pooled row ("all" of
# metrics.csv) instead, on all bits, as this script did before.
#   scripts/rd-sweep.sh [--anchor FAMILY] [--sequences] [--pooled] INPUT_DIR OUTPUT_DIR
# The anchor defaults to octree-offline-color, PCL's octree codec with colour.
set -euo pipefail
usage() {
  echo "usage: scripts/rd-sweep.sh [--anchor FAMILY] [--sequences] [--pooled] INPUT_DIR OUTPUT_DIR" >&2
  exit 2
}
anchor=octree-offline-color
sequences=()
pooled_rows=false
while [ $# -gt 0 ]; do
  case "$1" in
  --anchor)
    [ $# -ge 2 ] || usage
    anchor="$2"
    shift 2
    ;;
  --sequences) sequences=(--sequences); shift ;;
  --pooled) pooled_rows=true; shift ;;
  -*) usage ;;
  *) break ;;
  esac
done
[ $# -eq 2 ] || usage
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
# The clouds that quorvane-dataset lists: *.pcd and *.ply files, or links to files, at any depth.
[ -n "$(find "$input" \( -name '*.pcd' -o -name '*.ply' \) -xtype f -print -quit)" ] ||
  fail "$1 holds no clouds (*.pcd or *.ply)"
mkdir -p "$output"
trap 'rm -f "$output"/rd-*.dat "$output/rd.csv.partial" "$output/rd-curves.csv"' EXIT
"$root/scripts/install-deps.sh" gnuplot-nox
"$root/scripts/build.sh" quorvane-eval quorvane-dataset quorvane-bd
dataset="$root/build/quorvane-dataset"
evaluate="$root/build/quorvane-eval"
started=$(date +%s)

# The value of a named column in the pooled "all" row of a metrics.csv, the last row of a
# finished run; empty when there is no such row.
pooled() { # metrics.csv column-name
  [ -f "$1" ] || return 0
  awk -F, -v name="$2" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) column = i }
                        { last = $0 } END { split(last, f, ","); if (f[1] == "all") print f[column] }' "$1"
}
# A profile's family, its name without its rate point: low-, med-, high- for PCL's fixed
# profiles (family fixed-...), -dN or -qN for the ladders.
family_of() {
  case "$1" in
  low-* | med-* | high-*) echo "fixed-${1#*-}" ;;
  *-d[0-9]* | *-q[0-9]*) echo "${1%-*}" ;;
  *) echo "$1" ;;
  esac
}

status=0
rd="$output/rd.csv"
if $pooled_rows; then
  echo "profile,bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,decode_seconds,family" > "$rd.partial"
else
  echo "profile,item,bpp,geometry_bpp,colour_bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,decode_seconds,family" > "$rd.partial"
fi
for profile in $("$dataset" --list-profiles); do
  folder="$output/$profile"
  rm -rf "$folder"
  mkdir -p "$folder"
  echo "== $profile" >&2
  "$dataset" "${sequences[@]}" --profile "$profile" --output "$folder" "$input" > "$folder/dataset.log" || status=1
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
  m="$folder/metrics.csv"
  if $pooled_rows; then
    echo "$profile,$(pooled "$m" bpp),$(pooled "$m" d1_psnr),$(pooled "$m" d2_psnr),$(pooled "$m" y_psnr),$encode,$decode,$(family_of "$profile")" >> "$rd.partial"
  else
    items="$m"
    [ ${#sequences[@]} -eq 0 ] || items="$folder/sequences.csv"
    [ ! -f "$items" ] || python3 "$root/scripts/rd_table.py" items "$profile" "$(family_of "$profile")" \
      "$encode" "$decode" "$items" >> "$rd.partial"
  fi
done
mv "$rd.partial" "$rd"
"$root/build/quorvane-bd" --anchor "$anchor" "$rd" > "$output/bd.csv" || fail "no BD table (rd.csv: $rd)"
# The curves drawn: the pooled rows, or each profile's mean over the items.
curves="$output/rd-curves.csv"
if $pooled_rows; then
  cp "$rd" "$curves"
else
  { echo "$(head -n 1 "$rd" | cut -d, -f1,3,6-),geometry_bpp,colour_bpp"
    python3 "$root/scripts/rd_table.py" means "$rd"; } > "$curves"
fi

# Each family's points, lowest rate first. A PSNR that is infinite (nothing lost) cannot be
# drawn; the panel's title names it.
families=$(awk -F, 'NR > 1 && !seen[$8]++ { print $8 }' "$curves")
for family in $families; do
  awk -F, -v OFS=, -v f="$family" 'NR > 1 && $8 == f {
      for (i = 2; i <= 5; i++) if ($i == "inf") $i = ""; print }' "$curves" | sort -t, -k2,2g > "$output/rd-$family.dat"
done
# The families with an infinite PSNR (nothing lost), which a curve cannot show: pooled, that
# point is not drawn; per item, the item is left out of that point's mean.
infinite() { # curve-column name
  local column="$1" found
  $pooled_rows || column=$((column + 3))
  found=$(awk -F, -v c="$column" 'NR > 1 && $c == "inf" && !seen[$NF]++ { printf "%s%s", sep, $NF; sep = ", " }' "$rd")
  [ -z "$found" ] && return
  if $pooled_rows; then
    echo "\\n($2 infinite, not drawn: $found)"
  else
    echo "\\n(infinite $2 of items left out: $found)"
  fi
}
if ! awk -F, 'NR > 1 && $2 != "" && ($3 != "" && $3 != "inf" || $5 != "" && $5 != "inf") { found = 1 }
              END { exit !found }' "$curves"; then
  column -s, -t "$curves"
  fail "no profile has a value to plot; rd.png is not drawn (rd.csv: $rd)"
fi
# A family's BD-rate on a metric against the anchor, for the legend: the average over the items
# (or the pooled one).
bd_rate() { # family metric
  [ "$1" != "$anchor" ] || { echo "anchor"; return; }
  awk -F, -v f="$1" -v m="$2" 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i }
      NR > 1 && $c["family"] == f && $c["metric"] == m && (!("item" in c) || $c["item"] == "average") {
      if ($c["bd_rate_percent"] == "") print "BD-rate n/a"; else printf "BD-rate %+.1f %%\n", $c["bd_rate_percent"] }' "$output/bd.csv"
}
# The rate a panel is drawn against: all bits pooled; per item, the metric's own (geometry bits
# for D1 and D2, colour bits for Y), as bd.csv takes it.
rate_column() { # column
  if $pooled_rows; then echo 2; elif [ "$1" = 5 ]; then echo 10; else echo 9; fi
}
rate_label() { # column
  if $pooled_rows; then
    echo "bits per point (8 x compressed bytes / original points)"
  elif [ "$1" = 5 ]; then
    echo "colour bits per point (the codec's count of its colour bytes), mean over the items"
  else
    echo "geometry bits per point (all bits but the colour's), mean over the items"
  fi
}
series_plot() { # column metric
  local column="$1" plots="" family style=0
  for family in $families; do
    style=$((style + 1))
    # Clouds compressed without colour have no Y PSNR.
    [ "$column" != 5 ] || [[ "$family" != *nocolor ]] || continue
    local dash=1
    [[ "$family" != fixed-* ]] || dash=2
    plots+="\"$output/rd-$family.dat\" using $(rate_column "$column"):$column with linespoints lc $style dt $dash pt $style ps 1.1 title \"$family ($(bd_rate "$family" "$2"))\", "
  done
  echo "${plots%, }"
}
# A panel's plot command; a panel without a finite value to draw (clouds without colour have
# no Y PSNR) says so, since gnuplot cannot scale an empty plot.
panel() { # column name metric
  if awk -F, -v c="$1" 'NR > 1 && $2 != "" && $c != "" && $c != "inf" && (c != 5 || $8 !~ /nocolor$/) { found = 1 }
                        END { exit !found }' "$curves"; then
    echo "plot $(series_plot "$1" "$3")"
  else
    echo "set xrange [1:10]; set yrange [0:1]; set label 1 \"no finite $2 to draw\" at graph 0.5, 0.5 center"
    echo "plot 1/0 notitle; unset label 1; set autoscale"
  fi
}
gnuplot <<PLOT
set terminal pngcairo size 1800,820 font "DejaVu Sans,10" noenhanced
set output "$output/rd.png"
set datafile separator ","
set datafile missing ""
set logscale x
set grid
set key outside below horizontal maxcols 2 width -4 font ",9"
set offsets 0, 0, 2, 2
set multiplot layout 1,3 title "PCL's octree codec and Draco over $(basename "$input"), $($pooled_rows && echo "pooled over the dataset" || echo "mean over the items"); BD-rate (PCHIP$($pooled_rows || echo ", average over the items")) against $anchor"
set title "Geometry, point to point$(infinite 3 "D1 PSNR")"
set ylabel "D1 PSNR, dB (as pc_error, peak: largest side of the box)"
set xlabel "$(rate_label 3)"
$(panel 3 "D1 PSNR" d1_psnr)
set title "Geometry, point to plane$(infinite 4 "D2 PSNR")"
set ylabel "D2 PSNR, dB (as pc_error, the original's normals)"
set xlabel "$(rate_label 4)"
$(panel 4 "D2 PSNR" d2_psnr)
set title "Colour$(infinite 5 "Y PSNR")"
set ylabel "Y PSNR, dB (BT.709 luma as pc_error computes it)"
set xlabel "$(rate_label 5)"
$(panel 5 "Y PSNR" y_psnr)
unset multiplot
PLOT
column -s, -t "$curves"
echo
column -s, -t "$output/bd.csv" | cut -c1-160
echo "rd.csv: $rd"
echo "bd.csv: $output/bd.csv"
echo "plot:   $output/rd.png"
echo "sweep:  $(($(date +%s) - started)) s"
exit "$status"
