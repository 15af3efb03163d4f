#!/usr/bin/env bash
# How a whole run grows with the grid: the stiff sphere of radius 0.5 at
# several M on one and two threads, with wall time, the time of the load
# cases alone (from "System ready!" to the last console line), iterations,
# time per iteration, that time per n^3 log2(2n) for a box of n^3 nodes (the
# cost of one FFT of the padded grid, up to a constant), and peak memory.
# Usage: bench/scaling.sh [BUILD_DIR] [M ...]   (default M: 32 48 64 96 128 160)
set -euo pipefail
build=$(realpath "${1:-build}")
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(32 48 64 96 128 160)
work=$(mktemp -d "${TMPDIR:-/tmp}/scaling.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"
printf '%5s %4s %7s %8s %8s %10s %12s %22s %13s %5s\n' M n threads wall_s solve_s iterations ms_per_iter \
  ns_per_iter_per_n3log2n peak_rss_mib load
for M in "${sizes[@]}"; do
  "$build/bench_sphere_input" "$work/in-$M" "$M"
  for threads in 1 2; do
    dir="$work/run-$M-$threads"
    mkdir -p "$dir/results"
    cp "$work/in-$M/input.txt" "$dir/"
    # One untimed run plans the transforms into the wisdom cache.
    (cd "$dir" && OMP_NUM_THREADS=$threads "$build/contribution_solver" > /dev/null)
    (cd "$dir" && OMP_NUM_THREADS=$threads /usr/bin/time -v "$build/contribution_solver" 2> time.txt |
      while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done > console.txt)
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt" |
           awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = 60 * s + $i; print s }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
    ready=$(awk '/System ready!/ { print $1; exit }' "$dir/console.txt")
    last=$(tail -n 1 "$dir/console.txt" | cut -d' ' -f1)
    iterations=$(grep -c '^[0-9.]* *[0-9]\+ \+[0-9.E+-]\+$' "$dir/console.txt" || true)
    n=$(/usr/bin/python3 -c "import json; print(json.load(open('$dir/result.json'))['box']['extent'][0])")
    awk -v M="$M" -v n="$n" -v t="$threads" -v wall="$wall" -v ready="$ready" -v last="$last" -v it="$iterations" \
        -v rss="$rss" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
      solve = last - ready; per = 1000 * solve / it
      printf "%5d %4d %7d %8.2f %8.2f %10d %12.1f %22.2f %13d %5s\n", M, n, t, wall, solve, it, per,
             1e6 * per / (n * n * n * log(2 * n) / log(2)), rss / 1024, load }'
  done
done
