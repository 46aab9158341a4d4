#!/usr/bin/env bash
# Builds the tools, makes a dataset from the shipped scans in demo/ and evaluates it with the
# codec metrics, then sweeps every codec profile over the scans and draws the rate-distortion
# plot; then does the same for a small sequence (a scan turning and moving, 24 frames), coded
# as a stream, in demo/sequence/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" quorvane-eval quorvane-dataset quorvane_python

demo="$root/demo"
rm -rf "$demo/quorvane" "$demo/errors.csv" "$demo/metrics.csv" "$demo/sequences.csv" "$demo/rd" \
  "$demo/sequence"
mkdir -p "$demo"
echo "== quorvane-dataset: octree round trip of the scans in data/clouds"
"$root/build/quorvane-dataset" --output "$demo" "$root/data/clouds"
echo
echo "== quorvane-eval in demo/"
status=0
(cd "$demo" && "$root/build/quorvane-eval" --metrics) || status=$?
echo
echo "== demo/errors.csv as a table"
"$root/scripts/report-table.sh" "$demo/errors.csv"
echo
echo "== demo/metrics.csv, some of its columns"
cut -d, -f1-5,8-10,13,16,17,18 "$demo/metrics.csv" | column -s, -t
echo
echo "== rate-distortion sweep over every profile of both codecs, BD-rate against the octree codec"
"$root/scripts/rd-sweep.sh" "$root/data/clouds" "$demo/rd" 2>/dev/null || status=$?
echo
echo "== a sequence: milk_color.pcd turning 3 degrees and moving 1 cm a frame, 24 frames, coded as"
echo "   one stream through the medium online profile"
sequence="$demo/sequence"
python=$(awk -F= '/^Python3_EXECUTABLE:/ { print $2 }' "$root/build/CMakeCache.txt")
PYTHONPATH="$root/build/python" "$python" "$root/scripts/make-sequence.py" \
  "$root/data/clouds/milk_color.pcd" "$sequence/clouds/milk-turning" 24
"$root/build/quorvane-dataset" --sequences --profile med-online-color --output "$sequence" \
  "$sequence/clouds" | tail -n 1
(cd "$sequence" && "$root/build/quorvane-eval" --metrics > /dev/null) || status=$?
column -s, -t "$sequence/sequences.csv"
echo
echo "== its rate-distortion sweep, every profile, per sequence"
"$root/scripts/rd-sweep.sh" --sequences "$sequence/clouds" "$sequence/rd" 2>/dev/null | tail -n 4 ||
  status=$?
exit "$status"
