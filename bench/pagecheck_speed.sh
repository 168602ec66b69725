#!/usr/bin/env bash
# Times pagesmith and pagecheck on the same image against a plain copy.
#
#   bench/pagecheck_speed.sh [BUILD_DIR] [SIZE_MIB] [RUNS] [BASELINE_DIR]
#
# A random input of SIZE_MIB MiB (default 256) is converted once, in
# $TMPDIR (default /tmp; a tmpfs such as /dev/shm keeps the disk out of it).
# Then RUNS interleaved rounds (default 10) after a warm-up round, each
# running every command once with hyperfine, without a shell and after a
# `sync` (bench/rounds.sh): `dd bs=128K` copying the image, pagesmith
# making it again (trace to /dev/null), `pagecheck -q` checking it and
# `pagecheck -q -o` checking it and writing the recovered input, and
# `pagecheck -q -r` checking it and writing the repaired image, and that
# with three readings (two copies, one byte changed in each).  Prints
# each command's median time and its ratio to dd's, and the medians of the
# rounds' own ratios; hyperfine's results go to BUILD_DIR/pagecheck_speed/.
# With BASELINE_DIR, the `pagecheck -q` and `pagecheck -q -o` built there
# join the rounds, and the rounds' ratios of each to its baseline (and of
# the baseline's -o to dd) are printed too.
# PAGESMITH_OPTIONS (default none) are the converter options the image is
# made with, for example "-h -b -B 3 -f"; PAGECHECK_OPTIONS (default none)
# are given to every pagecheck, for example "-H -B 3" for a baseline that
# cannot read the layout by itself.  Last, a sparse input of 4.4 GB goes
# through both tools by a FIFO: status 0 and the input back, past 4 GiB.
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

. "$(dirname "$0")/rounds.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/pagecheck-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((size_mib * 1024 * 1024)) /dev/urandom > "$work/input"
"$build/pagesmith" "$work/input" "$work/image" "${make_options[@]}" > /dev/null 2>&1
"$build/pagecheck" -q $check_options "$work/image" > /dev/null
# Two more readings of the same chip: copies, each with one bit flipped in
# a data sector a few pages apart.
for k in 2 3; do
  cp "$work/image" "$work/reading$k"
  printf '\x55' | dd of="$work/reading$k" bs=1 seek=$((k * 1000 * 2112 + 100)) conv=notrunc status=none
done

echo "image: $(stat -c %s "$work/image") bytes ($size_mib MiB input); $runs interleaved rounds; load: $(uptime)"
results=$build/pagecheck_speed
rm -rf "$results"
mkdir -p "$results"
names=("dd bs=128K" "pagesmith" "pagecheck -q" "pagecheck -q -o" "pagecheck -q -r"
       "pagecheck -q -r, 3 readings")
commands=("dd if='$work/image' of='$work/copy' bs=128K status=none"
          "'$build/pagesmith' '$work/input' '$work/image2'"
          "'$build/pagecheck' -q $check_options '$work/image'"
          "'$build/pagecheck' -q $check_options -o '$work/output' '$work/image'"
          "'$build/pagecheck' -q $check_options -r '$work/repaired' '$work/image'"
          "'$build/pagecheck' -q $check_options -r '$work/repaired3' '$work/image' '$work/reading2' '$work/reading3'")
pairs=(2/0 3/0 4/0 5/4)
if [[ -n $baseline ]]; then
  [[ -x $baseline/pagecheck ]] || { echo "no $baseline/pagecheck" >&2; exit 2; }
  names+=("baseline pagecheck -q" "baseline pagecheck -q -o")
  commands+=("'$baseline/pagecheck' -q $check_options '$work/image'"
             "'$baseline/pagecheck' -q $check_options -o '$work/output2' '$work/image'")
  pairs+=(2/6 3/7 7/0)
fi
run_rounds "$runs"
summarize_rounds "$runs" "${pairs[@]}"

# Past 4 GiB: a sparse input of 4.4 GB (its header size keeps only the low
# 32 bits), converted with -h -f straight into pagecheck through a FIFO,
# must check with status 0 and give the input back byte for byte.
huge=4400000000
truncate -s "$huge" "$work/huge"
mkfifo "$work/huge.img"
"$build/pagesmith" "$work/huge" "$work/huge.img" -h -f > /dev/null 2>&1 &
started=$(date +%s.%N)
status=0
"$build/pagecheck" -q $check_options -o - "$work/huge.img" 2> "$work/huge.report" |
  cmp - "$work/huge" || status=$?
wait
echo "past 4 GiB: $huge-byte sparse input, -h -f, status $status in" \
     "$(python3 -c "print(f'{$(date +%s.%N) - $started:.1f}')") s:" \
     "$(sed 's/^pagecheck: //' "$work/huge.report")"
[[ $status -eq 0 ]]
