#!/usr/bin/env bash
# scripts/deps against stand-ins for dpkg-query, apt-cache, apt-get, sudo and
# id, on a PATH that holds nothing else but the few tools the script uses.
# Each row: targets; installed packages; packages the lists know ("all" for
# every one); user id; the stand-in taken away ("-" for none); NO_INSTALL;
# expected status; expected standard output and commands run (lines
# separated by ";"); a piece of the expected error stream.
set -uo pipefail
script=$(cd "$(dirname "$0")/.." && pwd)/scripts/deps
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

demo="g++ cmake make nlohmann-json3-dev"
install="apt-get install -y --no-install-recommends"
rows=(
  "demo|$demo|all|0|sudo||0|||"
  "demo|g++ cmake make|all|0|sudo||0|$install nlohmann-json3-dev|$install nlohmann-json3-dev|"
  "test|$demo|all|1000|-||0|sudo $install libgtest-dev|sudo $install libgtest-dev|"
  "test|$demo||0|sudo||0|apt-get update;$install libgtest-dev|apt-get update;$install libgtest-dev|"
  "test|$demo||1000|-||0|sudo apt-get update;sudo $install libgtest-dev|sudo apt-get update;sudo $install libgtest-dev|"
  "test|g++ cmake make||0|sudo||0|apt-get update;$install nlohmann-json3-dev libgtest-dev|apt-get update;$install nlohmann-json3-dev libgtest-dev|"
  "demo test|make|all|0|sudo||0|$install g++ cmake nlohmann-json3-dev libgtest-dev|$install g++ cmake nlohmann-json3-dev libgtest-dev|"
  "bench|$demo|all|0|sudo|1|1|||run: $install libbenchmark-dev hyperfine time"
  "bench|$demo|all|1000|-|1|1|||run: sudo $install libbenchmark-dev hyperfine time"
  "test|$demo|all|1000|sudo||1|||as root, run: $install libgtest-dev"
  "fuzz lint|cmake make nlohmann-json3-dev clang|all|0|sudo||0|$install libclang-rt-14-dev mandoc|$install libclang-rt-14-dev mandoc|"
  "demo|||0|dpkg-query||0|||make sure these (Debian's names) are installed: $demo"
  "nosuch|$demo|all|0|sudo||2|||no target 'nosuch'"
  "||all|0|sudo||2|||usage:"
)

# The stand-ins: dpkg-query and apt-cache answer from FAKE_INSTALLED and
# FAKE_LISTED; apt-get, and sudo before it, log their arguments to FAKE_LOG.
bin=$work/bin
mkdir -p "$bin"
for tool in bash sed cat paste grep mv; do
  ln -s "$(command -v "$tool")" "$bin/$tool"
done
cat > "$bin/dpkg-query" <<'EOF'
#!/bin/bash
p=${!#}
[[ " $FAKE_INSTALLED " == *" $p "* ]] && printf 'install ok installed' || exit 1
EOF
cat > "$bin/apt-cache" <<'EOF'
#!/bin/bash
[[ $FAKE_LISTED == all ]] && echo "$2:" && echo "  Candidate: 1.0" && exit 0
echo "$2:" && echo "  Candidate: (none)"
EOF
cat > "$bin/apt-get" <<'EOF'
#!/bin/bash
echo "${FAKE_PREFIX:-}apt-get $*" >> "$FAKE_LOG"
EOF
cat > "$bin/sudo" <<'EOF'
#!/bin/bash
FAKE_PREFIX="sudo " "$@"
EOF
cat > "$bin/id" <<'EOF'
#!/bin/bash
echo "$FAKE_UID"
EOF
chmod +x "$bin"/*

failed=0
passed=0
for row in "${rows[@]}"; do
  IFS='|' read -r targets installed listed uid hidden no_install status out log err <<< "$row"
  [[ $hidden == - ]] || mv "$bin/$hidden" "$work/hidden"
  : > "$work/log"
  # shellcheck disable=SC2086
  got_out=$(PATH=$bin FAKE_INSTALLED=$installed FAKE_LISTED=$listed FAKE_UID=$uid \
            FAKE_LOG=$work/log NO_INSTALL=$no_install "$bin/bash" "$script" $targets \
            2> "$work/err" < /dev/null)
  got_status=$?
  [[ $hidden == - ]] || mv "$work/hidden" "$bin/$hidden"
  got_log=$(paste -sd ';' "$work/log")
  want_out=${out//;/$'\n'}
  if [[ $got_status == "$status" && $got_out == "$want_out" && $got_log == "$log" ]] &&
     { [[ -z $err ]] || grep -qF -- "$err" "$work/err"; }; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: scripts/deps $targets (installed: $installed; uid $uid; without $hidden;" \
         "NO_INSTALL=$no_install)"
    echo "  status $got_status, want $status"
    echo "  output: $got_out"
    echo "  want:   $want_out"
    echo "  ran: $got_log"
    echo "  want: $log"
    sed 's/^/  stderr: /' "$work/err"
  fi
done
echo "$passed passed, $failed failed"
((failed == 0))
