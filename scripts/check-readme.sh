#!/usr/bin/env bash
# Runs the README's quick start as a newcomer would: every command of its
# fenced `sh` blocks, as written, from the top of the checkout, and checks
# that the output `make run` shows in the README is what it prints.
#
#   scripts/check-readme.sh [README]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
readme="${1:-$root/README.md}"
cd "$root"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The section from "## Quick start" to the next "## " heading.
awk '/^## Quick start/ {on = 1; next} on && /^## / {on = 0} on' "$readme" >"$work/section.md"
# Its fenced blocks: the sh ones are commands, the unlabelled one a sample of
# the output of the command it starts with ("$ make run").
awk -v dir="$work" '
  /^```sh$/ {block = "commands"; next}
  /^```$/ && block == "" {block = "sample"; next}
  /^```$/ {block = ""; next}
  block == "commands" {print > (dir "/commands.sh")}
  block == "sample" {print > (dir "/sample.txt")}
' "$work/section.md"
[ -s "$work/commands.sh" ] || { echo "check-readme: no commands in the quick start" >&2; exit 1; }

while IFS= read -r line; do
  case "$line" in "" | "#"*) continue ;; esac
  echo "check-readme: \$ $line"
  bash -c "set -eo pipefail; $line" </dev/null 2>&1 | tee -a "$work/output.txt"
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "check-readme: '$line' failed (status $status)" >&2
    exit 1
  fi
done <"$work/commands.sh"

# Every line of the sample (bar the prompt and the "..." of left-out lines)
# is a line of what the commands printed.
if [ -s "$work/sample.txt" ]; then
  missing=0
  while IFS= read -r line; do
    case "$line" in "" | "..." | '$ '*) continue ;; esac
    if ! grep -qxF -- "$line" "$work/output.txt"; then
      echo "check-readme: the README shows a line the commands do not print: $line" >&2
      missing=$((missing + 1))
    fi
  done <"$work/sample.txt"
  [ "$missing" -eq 0 ] || exit 1
fi
echo "check-readme: the quick start works as written"
