#!/usr/bin/env bash
# Runs quorvane-eval on a dataset of many small clouds and on one a tenth its size and checks
# that the peak resident memory does not grow with the number of clouds.
#   scripts/stress.sh [CLOUDS (default 3000)] [POINTS PER CLOUD (default 300)]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
clouds="${1:-3000}"
points="${2:-300}"
"$root/scripts/install-deps.sh" time
"$root/scripts/build.sh" quorvane-eval quorvane-dataset bench_make_clouds
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

peak_rss_kb() { # dataset size
  local dir="$work/$1"
  "$root/build/bench_make_clouds" --points "$points" --count "$1" --output "$dir/in"
  "$root/build/quorvane-dataset" --output "$dir" "$dir/in" >/dev/null
  (cd "$dir" && /usr/bin/time -f "%M" -o "$dir/rss" "$root/build/quorvane-eval" >/dev/null)
  [ "$(wc -l < "$dir/errors.csv")" -eq $(($1 + 1)) ] || { echo "incomplete report for $1 clouds" >&2; exit 1; }
  cat "$dir/rss"
}

small=$(peak_rss_kb $((clouds / 10)))
large=$(peak_rss_kb "$clouds")
printf '| clouds | points each | peak RSS (KiB) |\n|---:|---:|---:|\n| %d | %d | %d |\n| %d | %d | %d |\n' \
  $((clouds / 10)) "$points" "$small" "$clouds" "$points" "$large"
# The lists of paths grow with the dataset; anything kept per cloud would grow far faster.
limit=$((small * 5 / 4 + 2048))
if [ "$large" -gt "$limit" ]; then
  echo "peak RSS grew from $small KiB to $large KiB (limit $limit KiB)" >&2
  exit 1
fi
echo "peak RSS stays flat: $large KiB for $clouds clouds against $small KiB for $((clouds / 10))"
