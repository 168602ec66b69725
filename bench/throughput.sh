#!/usr/bin/env bash
# End-to-end throughput and memory of the converter against a plain copy.
#
#   bench/throughput.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
#
# With hyperfine, times `pagesmith IN OUT -b` (trace to /dev/null) against
# `dd bs=128K` copying the same random input of SIZE_MIB MiB (default 256),
# RUNS runs each (default 10) after one warm-up run, without a shell; every
# run starts after a `sync`, so that none pays for another's writeback.  The
# results go to BUILD_DIR/throughput.json.  Then prints the peak resident
# memory of the converter for a 1 MiB and a SIZE_MIB input (GNU time).
set -euo pipefail

build=${1:-build}
size_mib=${2:-256}
runs=${3:-10}
[[ -x $build/pagesmith ]] || { echo "no $build/pagesmith: build first (make tools)" >&2; exit 2; }
for tool in hyperfine /usr/bin/time; do
  command -v "$tool" > /dev/null ||
    { echo "no $tool: sudo apt-get install hyperfine time" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pagesmith-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/in"
head -c $((1024 * 1024)) /dev/urandom > "$work/small"

echo "input: $size_mib MiB"
hyperfine -N --warmup 1 --runs "$runs" --prepare sync --export-json "$build/throughput.json" \
  -n "dd bs=128K" "dd if='$work/in' of='$work/copy' bs=128K status=none" \
  -n "pagesmith -b" "'$build/pagesmith' '$work/in' '$work/out' -b"

peak_kib() {
  /usr/bin/time -f %M "$build/pagesmith" "$1" "$work/out" -b 2>&1 > /dev/null | tail -n 1
}
echo "peak RSS of pagesmith -b: $(peak_kib "$work/small") KiB (1 MiB input)," \
     "$(peak_kib "$work/in") KiB ($size_mib MiB input)"
