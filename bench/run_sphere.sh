#!/usr/bin/env bash
# Whole-run benchmark: the stiff sphere of radius 0.5 at M = 128 (box 65^3),
# end to end, with wall time and peak memory from /usr/bin/time -v.
# Usage: bench/run_sphere.sh [BUILD_DIR] [M]   (after cmake --build BUILD_DIR --target bench)
set -euo pipefail
build=${1:-build}
M=${2:-128}
dir="$build/bench-sphere-$M"
rm -rf "$dir"
"$build/bench_sphere_input" "$dir" "$M"
solver=$(realpath "$build/contribution_solver")
cd "$dir"
/usr/bin/time -v "$solver" > console.txt 2> time.txt
iterations=$(grep -c '^ *[0-9]\+ \+[0-9.E+-]\+$' console.txt || true)
wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' time.txt)
rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
echo "sphere M=$M threads=${OMP_NUM_THREADS:-all} wall=$wall iterations=$iterations peak_rss_mib=$((rss / 1024))"
