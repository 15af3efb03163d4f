#!/usr/bin/env bash
# Two builds of the program side by side on the same input: the stiff sphere
# of radius 0.5 at M intervals, run alternately (A, B, A, B, ...) so that both
# see the same machine load, with wall time, peak memory and iterations from
# /usr/bin/time -v. Prints one line per run, then medians, the ratio B/A and
# how far the two builds' results (result.json) differ. CPU seconds (user +
# system) are printed beside wall seconds: on one thread they show the work
# when other processes share the machine.
# Usage: bench/compare_builds.sh BUILD_A BUILD_B [M] [REPEATS]
#   (after cmake --build BUILD --target bench in both; M defaults to 128,
#   REPEATS to 3). FFTW wisdom goes to a cache directory of the benchmark's
#   own, warmed by one untimed run of each build: the timed runs plan as a
#   user's second run does. OMP_NUM_THREADS passes through.
set -euo pipefail
a=$(realpath "$1")
b=$(realpath "$2")
M=${3:-128}
repeats=${4:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/compare-builds.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$a/bench_sphere_input" "$work/input" "$M"
export XDG_CACHE_HOME="$work/cache"

# run LABEL BUILD: one run in a fresh directory; prints "wall_s rss_mib iterations cpu_s"
run() {
  local dir="$work/run-$1"
  rm -rf "$dir"
  mkdir -p "$dir/results"
  cp "$work/input/input.txt" "$dir/"
  (cd "$dir" && /usr/bin/time -v "$2/contribution_solver" > console.txt 2> time.txt)
  local wall rss iterations cpu
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$dir/time.txt" |
         awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = 60 * s + $i; print s }')
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
  iterations=$(grep -c '^ *[0-9]\+ \+[0-9.E+-]\+$' "$dir/console.txt" || true)
  cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$dir/time.txt")
  echo "$wall $((rss / 1024)) $iterations $cpu"
}

run warm-a "$a" > /dev/null
run warm-b "$b" > /dev/null
: > "$work/a.txt"
: > "$work/b.txt"
for ((i = 1; i <= repeats; ++i)); do
  read -r wall rss it cpu < <(run a "$a")
  echo "$wall $rss $it $cpu" >> "$work/a.txt"
  echo "run $i A wall_s=$wall cpu_s=$cpu peak_rss_mib=$rss iterations=$it load=$(cut -d' ' -f1 /proc/loadavg)"
  read -r wall rss it cpu < <(run b "$b")
  echo "$wall $rss $it $cpu" >> "$work/b.txt"
  echo "run $i B wall_s=$wall cpu_s=$cpu peak_rss_mib=$rss iterations=$it load=$(cut -d' ' -f1 /proc/loadavg)"
done
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
wa=$(cut -d' ' -f1 "$work/a.txt" | median)
wb=$(cut -d' ' -f1 "$work/b.txt" | median)
ra=$(cut -d' ' -f2 "$work/a.txt" | median)
rb=$(cut -d' ' -f2 "$work/b.txt" | median)
ca=$(cut -d' ' -f4 "$work/a.txt" | median)
cb=$(cut -d' ' -f4 "$work/b.txt" | median)
difference=$(/usr/bin/python3 - "$work/run-a/result.json" "$work/run-b/result.json" <<'PY'
import json, sys
a, b = (json.load(open(f)) for f in sys.argv[1:3])
worst = 0.0
for key in ("H_tensor", "N_tensor"):
    scale = max(abs(v) for row in a[key] for v in row)
    for ra, rb in zip(a[key], b[key]):
        for x, y in zip(ra, rb):
            worst = max(worst, abs(x - y) / scale)
print("%.1e" % worst)
PY
)
echo "sphere M=$M threads=${OMP_NUM_THREADS:-all} repeats=$repeats median_wall_s A=$wa B=$wb ratio=$(awk -v a="$wa" -v b="$wb" 'BEGIN { printf "%.3f", b / a }') median_cpu_s A=$ca B=$cb median_peak_rss_mib A=$ra B=$rb tensors_differ_by=$difference"
