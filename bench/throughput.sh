#!/usr/bin/env bash
# End-to-end throughput and memory of the converter against a plain copy.
#
#   bench/throughput.sh [PAGESMITH] [SIZE_MIB] [RUNS]
#
# Converts a random input of SIZE_MIB MiB (default 256) with
# `pagesmith IN OUT -b > /dev/null` and copies it with `dd bs=128K`,
# interleaved RUNS times (default 5), and prints the median wall time of each
# and their ratio.  Then prints the peak resident memory of the converter for
# a 1 MiB and a SIZE_MIB input.
set -euo pipefail

tool=${1:-build/pagesmith}
size_mib=${2:-256}
runs=${3:-5}
[ -x "$tool" ] || { echo "throughput.sh: no executable at $tool (build first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pagesmith-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/in"
head -c $((1024 * 1024)) /dev/urandom > "$work/small"

# Wall time of one command in seconds, from bash's clock.  Each run starts
# with the dirty pages of the runs before it written back (sync), so that no
# run is slowed by another's writeback; without this the timings swing by a
# factor of two on a busy disk.
seconds() {
  sync
  local start=$EPOCHREALTIME
  "$@" > /dev/null 2>&1
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Warm the page cache and the files once.
dd if="$work/in" of="$work/copy" bs=128K status=none
"$tool" "$work/in" "$work/out" -b > /dev/null 2>&1

: > "$work/dd.times"
: > "$work/tool.times"
for ((i = 0; i < runs; i++)); do
  seconds dd if="$work/in" of="$work/copy" bs=128K >> "$work/dd.times"
  seconds "$tool" "$work/in" "$work/out" -b >> "$work/tool.times"
done
dd_median=$(median < "$work/dd.times")
tool_median=$(median < "$work/tool.times")
printf 'input          %d MiB, %d interleaved runs, median wall time\n' "$size_mib" "$runs"
printf 'dd bs=128K     %.3f s\n' "$dd_median"
printf 'pagesmith -b   %.3f s\n' "$tool_median"
printf 'ratio          %s\n' "$(awk -v a="$tool_median" -v b="$dd_median" 'BEGIN { printf "%.3f", a / b }')"

peak_kib() {
  /usr/bin/time -f %M "$tool" "$1" "$work/out" -b 2>&1 > /dev/null | tail -n 1
}
printf 'peak RSS       %s KiB (1 MiB input), %s KiB (%d MiB input)\n' \
  "$(peak_kib "$work/small")" "$(peak_kib "$work/in")" "$size_mib"
