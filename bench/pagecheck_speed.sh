#!/usr/bin/env bash
# Times pagesmith and pagecheck on the same image: a random input of SIZE
# MiB is converted once; then RUNS interleaved rounds each time pagesmith
# making the image (trace to /dev/null), pagecheck checking it, and pagecheck
# checking it and writing the recovered input.  Prints the median seconds
# and the throughput per image byte.
#
#   bench/pagecheck_speed.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
set -euo pipefail

build=${1:-build}
size_mib=${2:-256}
runs=${3:-5}
pagesmith=$build/pagesmith
pagecheck=$build/pagecheck
for tool in "$pagesmith" "$pagecheck"; do
  [[ -x $tool ]] || { echo "no $tool: build first (make build)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pagecheck_speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/input"
"$pagesmith" "$work/input" "$work/image" > /dev/null 2>&1
"$pagecheck" -q "$work/image" > /dev/null
image_bytes=$(stat -c %s "$work/image")

# Seconds taken by the command, to the nanosecond.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }' 
}

# Median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: > "$work/make.times"; : > "$work/check.times"; : > "$work/unpack.times"
for ((i = 0; i < runs; i++)); do
  seconds "$pagesmith" "$work/input" "$work/image2" >> "$work/make.times"
  seconds "$pagecheck" -q "$work/image" >> "$work/check.times"
  seconds "$pagecheck" -q -o "$work/output" "$work/image" >> "$work/unpack.times"
done

printf 'image: %d bytes (%d MiB input), %d runs, medians:\n' "$image_bytes" "$size_mib" "$runs"
for name in make check unpack; do
  case $name in
    make) label="pagesmith INPUT IMAGE";;
    check) label="pagecheck -q IMAGE";;
    unpack) label="pagecheck -q -o OUT IMAGE";;
  esac
  t=$(median < "$work/$name.times")
  printf '  %-26s %8.3f s  %8.1f MiB/s of image\n' "$label" "$t" \
    "$(awk -v n="$image_bytes" -v t="$t" 'BEGIN { print n / 1048576 / t }')"
done
