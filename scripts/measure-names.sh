#!/usr/bin/env bash
# How many common names the listing gives with their common reading: each
# name of docs/common-names.tsv (name, TAB, reading) is listed alone, and the
# first line of its listing must hold "NAME [READING]".
#
#   scripts/measure-names.sh [PROGRAM] [DICTIONARY-FOLDER] [GET-OPTIONS...]
#
# PROGRAM defaults to build/dodevuz, the folder to dict (with enamdict);
# e.g. --forms measures the "Dictionary forms" mode. Prints each miss and
# the share.
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/dodevuz}
folder=${2:-dict}
shift $(($# < 2 ? $# : 2))
total=0
right=0
while IFS=$'\t' read -r name reading; do
  [[ -z $name || $name == \#* ]] && continue
  total=$((total + 1))
  line=$(printf '%s。\n' "$name" | "$program" get --pane listing -C "$folder" "$@" - | head -n 1)
  if [[ $line == *"$name [$reading]"* ]]; then
    right=$((right + 1))
  else
    echo "miss: $name [$reading]: ${line:0:80}"
  fi
done <docs/common-names.tsv
echo "$right of $total names with their common reading ($((100 * right / total)) %)"
