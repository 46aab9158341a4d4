# The timing helpers of the benchmark scripts, sourced by them after they set root, build,
# eval_binary, work and cores.

# Mebibytes of huge-page memory touched before each timed run, so that no contender pays for
# memory the virtual machine has handed back to its host (bench/warm_memory.cpp); 0 for none.
# The scripts size it to the pair; WARM_MIB overrides them.
warm_mib=0
warm_for() { # points
  warm_mib="${WARM_MIB:-$(($1 < 250000 ? 64 : $1 / 1000000 * 256 + 64))}"
}

# Prints "seconds peak-RSS-KiB" for one run of the command.
measure() {
  local start end
  [ "$warm_mib" -eq 0 ] || "$build/bench_warm_memory" "$warm_mib"
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/rss" "$@" >/dev/null 2>&1 || true
  end=$(date +%s%N)
  echo "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }') $(tail -n 1 "$work/rss")"
}

run_contender() { # name pair-directory
  local pair="$2" original="$2/quorvane/pcd_binary_original/cloud_00000.pcd"
  local decoded="$2/quorvane/octree_uncompressed/cloud_00000.pcd"
  case "$1" in
  eval1) (cd "$pair" && measure "$eval_binary" --threads 1) ;;
  evalN) (cd "$pair" && measure "$eval_binary" --threads "$cores") ;;
  metrics1) (cd "$pair" && measure "$eval_binary" --threads 1 --metrics) ;;
  metricsN) (cd "$pair" && measure "$eval_binary" --threads "$cores" --metrics) ;;
  floor) measure "$build/bench_pcl_flann_floor" "$original" "$decoded" ;;
  limit1) measure "$build/bench_search_only_limit" "$original" "$decoded" 1 ;;
  limitN) measure "$build/bench_search_only_limit" "$original" "$decoded" "$cores" ;;
  pcl) OMP_NUM_THREADS=1 measure pcl_compute_cloud_error "$original" "$decoded" "$work/out.pcd" -correspondence nn ;;
  # pc_error as a paper runs it, given binary PLY files, the original's normals and the peak.
  pcerror) OMP_NUM_THREADS=1 measure "$PC_ERROR" -a "$pair/original.ply" -b "$pair/decoded.ply" \
    -n "$pair/normals.ply" --color=1 --hausdorff=1 --resolution="$(cat "$pair/peak")" ;;
  # quorvane-metrics with pc_error's very command line.
  qmetrics1) measure "$build/quorvane-metrics" -a "$pair/original.ply" -b "$pair/decoded.ply" \
    -n "$pair/normals.ply" --color=1 --hausdorff=1 --resolution="$(cat "$pair/peak")" --nbThreads=1 ;;
  qmetricsN) measure "$build/quorvane-metrics" -a "$pair/original.ply" -b "$pair/decoded.ply" \
    -n "$pair/normals.ply" --color=1 --hausdorff=1 --resolution="$(cat "$pair/peak")" --nbThreads="$cores" ;;
  cc) measure CloudCompare -SILENT -AUTO_SAVE OFF -O "$pair/original.ply" -O "$pair/decoded.ply" -C2C_DIST -MAX_TCOUNT 1 ;;
  esac
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Interleaved runs of the contenders on one pair; sets seconds[] and rss[] to the medians.
declare -A seconds rss
time_pair() { # pair-directory runs contender...
  local pair="$1" count="$2" contender run
  shift 2
  for ((run = 1; run <= count; run++)); do
    for contender in "$@"; do
      run_contender "$contender" "$pair" >> "$pair/$contender.times"
    done
  done
  for contender in "$@"; do
    seconds[$contender]=$(awk '{ print $1 }' "$pair/$contender.times" | median)
    rss[$contender]=$(awk '{ print $2 }' "$pair/$contender.times" | median)
  done
}

# A pair from the clouds in a folder, through PCL's octree codec.
make_pair() { # input-folder pair-directory
  "$build/quorvane-dataset" --profile high-offline-color --output "$2" "$1" >/dev/null
  pcl_pcd2ply "$2/quorvane/pcd_binary_original/cloud_00000.pcd" "$2/original.ply" >/dev/null
  pcl_pcd2ply "$2/quorvane/octree_uncompressed/cloud_00000.pcd" "$2/decoded.ply" >/dev/null
}

