#!/usr/bin/env bash
# Times pagesmith and pagecheck on the same image against a plain copy.
#
#   bench/pagecheck_speed.sh [BUILD_DIR] [SIZE_MIB] [RUNS] [BASELINE_DIR]
#
# A random input of SIZE_MIB MiB (default 256) is converted once.  Then one
# hyperfine run times, RUNS runs each (default 10) after one warm-up run,
# without a shell and each after a `sync`: `dd bs=128K` copying the image,
# pagesmith making it again (trace to /dev/null), `pagecheck -q` checking
# it and `pagecheck -q -o` checking it and writing the recovered input.  The
# results go to BUILD_DIR/pagecheck_speed.json.  With BASELINE_DIR, the
# `pagecheck -q` built there is timed in the same run, for a before-and-after
# comparison.  PAGESMITH_OPTIONS (default none) are the converter options the
# image is made with, for example "-h -b -B 3 -f"; PAGECHECK_OPTIONS (default
# none) are given to every pagecheck, for example "-H -B 3" for a baseline
# that cannot read the layout by itself.
set -euo pipefail

build=${1:-build}
size_mib=${2:-256}
runs=${3:-10}
baseline=${4:-}
read -r -a make_options <<< "${PAGESMITH_OPTIONS:-}"
check_options=${PAGECHECK_OPTIONS:-}
for tool in "$build/pagesmith" "$build/pagecheck"; do
  [[ -x $tool ]] || { echo "no $tool: build first (make tools)" >&2; exit 2; }
done
command -v hyperfine > /dev/null || { echo "no hyperfine: make bench installs it (Debian package hyperfine)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pagecheck-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/input"
"$build/pagesmith" "$work/input" "$work/image" "${make_options[@]}" > /dev/null 2>&1
"$build/pagecheck" -q $check_options "$work/image" > /dev/null

echo "image: $(stat -c %s "$work/image") bytes ($size_mib MiB input)"
extra=()
if [[ -n $baseline ]]; then
  [[ -x $baseline/pagecheck ]] || { echo "no $baseline/pagecheck" >&2; exit 2; }
  extra=(-n "baseline pagecheck -q" "'$baseline/pagecheck' -q $check_options '$work/image'")
fi
hyperfine -N --warmup 1 --runs "$runs" --prepare sync --export-json "$build/pagecheck_speed.json" \
  "${extra[@]}" \
  -n "dd bs=128K" "dd if='$work/image' of='$work/copy' bs=128K status=none" \
  -n "pagesmith" "'$build/pagesmith' '$work/input' '$work/image2'" \
  -n "pagecheck -q" "'$build/pagecheck' -q $check_options '$work/image'" \
  -n "pagecheck -q -o" "'$build/pagecheck' -q $check_options -o '$work/output' '$work/image'"
