# Interleaved timing rounds, shared by the timing scripts (sourced).  The
# caller sets the arrays `names` and `commands` and the folder `results`;
# the first command is the one the others are measured against.

# One run of command k, its result saved as round r.
run_once() {
  hyperfine -N --runs 1 --prepare sync --style none --output null \
    --export-json "$results/$1-$2.json" "${commands[$1]}" > /dev/null
}

# A warm-up round, then $1 rounds each running every command once, in turn,
# so that every command meets the same changes in the machine's speed.
run_rounds() {
  local k r
  for k in "${!commands[@]}"; do run_once "$k" warmup; done
  for ((r = 1; r <= $1; r++)); do
    for k in "${!commands[@]}"; do run_once "$k" "$r"; done
  done
}

# Prints, for each command of $1 rounds, the median wall time and CPU time
# (user + system) and their ratios to the first command's; then, for each
# pair "k/j" given after the count (by default each command over the
# first), the median and quartiles of the rounds' own wall-time ratios,
# the steadier figure when the machine's speed drifts during the run.
summarize_rounds() {
  python3 - "$results" "$@" -- "${names[@]}" <<'PYTHON'
import json, statistics, sys
args = sys.argv[1:]
folder, runs = args[0], int(args[1])
split = args.index("--")
pairs, names = args[2:split], args[split + 1:]
walls, cpus, rounds = [], [], []
for k, name in enumerate(names):
    results = [json.load(open(f"{folder}/{k}-{r}.json"))["results"][0]
               for r in range(1, runs + 1)]
    wall = [r["mean"] for r in results]
    cpu = [r["user"] + r["system"] for r in results]
    rounds.append(wall)
    walls.append(statistics.median(wall))
    cpus.append(statistics.median(cpu))
    print(f"{name:24} wall median {walls[k] * 1000:6.1f} ms (min {min(wall) * 1000:.1f}, "
          f"max {max(wall) * 1000:.1f}), ratio {walls[k] / walls[0]:.3f};  "
          f"CPU median {cpus[k] * 1000:6.1f} ms, ratio {cpus[k] / cpus[0]:.3f}")
if not pairs:
    pairs = [f"{k}/0" for k in range(1, len(names))]
for pair in pairs:
    k, j = (int(x) for x in pair.split("/"))
    ratios = sorted(a / b for a, b in zip(rounds[k], rounds[j]))
    print(f"{names[k]} over {names[j]}: median of the rounds' ratios "
          f"{statistics.median(ratios):.3f} (quartiles {ratios[len(ratios) // 4]:.3f} "
          f"to {ratios[(3 * len(ratios)) // 4]:.3f})")
PYTHON
}
