#!/usr/bin/env bash
# scripts/readme-examples on small Markdown files: each row is a file (lines
# separated by "\n"), the expected status, and a piece of what the runner
# must say (empty for nothing in particular), separated by "~".
set -uo pipefail
runner=$(cd "$(dirname "$0")/.." && pwd)/scripts/readme-examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

f='```'
rows=(
  "${f}sh\ntrue\n$f~0~1 examples ran"
  "${f}sh\nfalse\n$f~1~line 2 ended with status 1"
  "text\n\n${f}sh\nfalse\ntrue\n$f~1~line 4 ended with status 1"
  "${f}sh\nfalse | cat\n$f~1~ended with status 1"
  "${f}sh\nx=5\n$f\n\n${f}sh\ntest \"\$x\" = 5\n$f~0~2 examples ran"
  "${f}sh\ncd \"\$(mktemp -d)\"\n$f\n\n${f}sh\ntest -z \"\$(ls -A)\"\n$f~0~"
  "${f}sh\ncat > got\n$f\n\n${f}sh\ntest ! -s got\n$f~0~"
  "<!-- status 3 -->\n${f}sh\n(exit 3)\n$f~0~"
  "<!-- status 1 -->\n${f}sh\ntrue\n$f~1~status 0, not 1"
  "<!-- status 1 -->\n\n${f}sh\nfalse\n$f~0~"
  "<!-- status 1 -->\n${f}sh\nfalse\nfalse\n$f~2~one command"
  "<!-- not run: slow -->\n${f}sh\nfalse\n$f\n\n${f}sh\ntrue\n$f~0~1 examples ran"
  "<!-- not run: slow -->\ntext between\n${f}sh\nfalse\n$f~1~ended with status 1"
  "${f}sh\necho one; echo two >&2\n$f\n\n<!-- output -->\n${f}text\ntwo\n\none\n$f~0~"
  "${f}sh\necho one two\n$f\n\n<!-- output -->\n${f}text\none\n$f~1~lacks the line: one"
  "${f}sh\necho a\n$f\n\n${f}sh\necho b\n$f\n\n<!-- output -->\n${f}text\na\n$f~1~lacks the line: a"
  "${f}text\nnot a command\n$f\n\n${f}sh\ntrue\n$f~0~1 examples ran"
  "text\n\n    false\n~2~indented code block"
  "- item\n\n    continued item\n\n${f}sh\ntrue\n$f~0~"
  "${f}\nfalse\n$f~2~names its language"
  "<!-- output -->\n${f}sh\ntrue\n$f~2~does not fit"
  "${f}sh\ntrue\n~2~not closed"
  "no examples~2~no example"
)

failed=0
passed=0
for row in "${rows[@]}"; do
  IFS='~' read -r text status said <<< "$row"
  mkdir -p "$work/case"
  printf '%b\n' "$text" > "$work/case/README.md"
  got=$(bash "$runner" "$work/case/README.md" 2>&1)
  got_status=$?
  if [[ $got_status == "$status" && $got == *"$said"* ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %b\n  status %s, want %s; output:\n%s\n  want a piece: %s\n' \
      "$text" "$got_status" "$status" "$got" "$said"
  fi
  rm -rf "$work/case"
done
echo "$passed passed, $failed failed"
((failed == 0))
