#!/usr/bin/env bash
# End-to-end throughput and memory of the converter against a plain copy.
#
#   bench/throughput.sh [BUILD_DIR] [SIZE_MIB] [RUNS] [FOLDER] [OTHER_PAGESMITH]
#
# Times `pagesmith IN OUT -b` (trace to /dev/null) against `dd bs=128K`
# copying the same random input of SIZE_MIB MiB (default 256), with the
# files in FOLDER (default $TMPDIR or /tmp; give a tmpfs such as /dev/shm so
# that no disk's writeback decides).  The runs are interleaved: RUNS rounds
# (default 11) after one warm-up round, each round running every command
# once with hyperfine, after a `sync`.  OTHER_PAGESMITH, another build of
# the converter, joins the rounds as a baseline.  Prints the median wall
# time and CPU time (user + system) of each command and their ratios to
# dd's, and the median of each round's own ratio to dd (bench/rounds.sh);
# hyperfine's results go to BUILD_DIR/throughput/.  Then prints the peak
# resident memory of the converter for a 1 MiB and a SIZE_MIB input (GNU
# time).
set -euo pipefail

build=${1:-build}
size_mib=${2:-256}
runs=${3:-11}
folder=${4:-${TMPDIR:-/tmp}}
other=${5:-}
[[ -x $build/pagesmith ]] || { echo "no $build/pagesmith: build first (make tools)" >&2; exit 2; }
[[ -z $other || -x $other ]] || { echo "no $other" >&2; exit 2; }
for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" > /dev/null ||
    { echo "no $tool: sudo apt-get install hyperfine time python3" >&2; exit 2; }
done

. "$(dirname "$0")/rounds.sh"
work=$(mktemp -d "$folder/pagesmith-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
results=$build/throughput
rm -rf "$results"
mkdir -p "$results"
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/in"
head -c $((1024 * 1024)) /dev/urandom > "$work/small"

names=("dd bs=128K" "pagesmith -b")
commands=("dd if='$work/in' of='$work/copy' bs=128K status=none"
          "'$build/pagesmith' '$work/in' '$work/out' -b")
if [[ -n $other ]]; then
  names+=("other pagesmith -b")
  commands+=("'$other' '$work/in' '$work/other' -b")
fi

echo "input: $size_mib MiB in $folder; $runs interleaved rounds; load: $(uptime)"
run_rounds "$runs"
summarize_rounds "$runs"

peak_kib() {
  /usr/bin/time -f %M "$build/pagesmith" "$1" "$work/out" -b 2>&1 > /dev/null | tail -n 1
}
echo "peak RSS of pagesmith -b: $(peak_kib "$work/small") KiB (1 MiB input)," \
     "$(peak_kib "$work/in") KiB ($size_mib MiB input)"
