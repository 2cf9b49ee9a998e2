#!/usr/bin/env bash
# Fetches the full dictionary from Debian's `edict` package into DIR (default:
# dict/ in the repository, which git ignores), beside our kanarom.cnv and
# deinflect.txt, and builds and checks its index with `dodevuz index`.
#
#   scripts/get-full-dictionary.sh [DIR]
#
# Only the dictionary file itself is taken out of the package. It must never
# be committed, nor anything made from it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/dict}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# apt-get download writes into the working directory.
cd "$work"
if ! apt-get download edict >/dev/null 2>&1; then
  echo "Updating the package lists..."
  apt-get update -qq
  apt-get download edict >/dev/null
fi
deb="$(ls "$work"/edict_*.deb)"

# The package holds more than the dictionary; take the one file out of it.
member="$(dpkg-deb -c "$deb" | awk '{print $NF}' | grep -E '^\./usr/share/edict/edict$' || true)"
if [ -z "$member" ]; then
  echo "The package holds no ./usr/share/edict/edict:" >&2
  dpkg-deb -c "$deb" >&2
  exit 1
fi
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" "$member"

# The program reads EUC-JP. Convert only if the package ever ships another
# encoding (UTF-8 is the one other encoding it could plausibly use).
if iconv -f EUC-JP -t EUC-JP "$work/$member" >/dev/null 2>&1; then
  cp "$work/$member" "$dir/edict"
elif iconv -f UTF-8 -t UTF-8 "$work/$member" >/dev/null 2>&1; then
  echo "The dictionary is UTF-8; converting it to EUC-JP."
  iconv -f UTF-8 -t EUC-JP "$work/$member" >"$dir/edict"
else
  echo "The dictionary is neither EUC-JP nor UTF-8; left as it is." >&2
  cp "$work/$member" "$dir/edict"
fi
# Every line, the last one included, must end with a line end.
if [ -n "$(tail -c 1 "$dir/edict")" ]; then printf '\n' >>"$dir/edict"; fi
echo "$dir/edict: $(wc -l <"$dir/edict") lines, $(wc -c <"$dir/edict") bytes"

if [ -f "$root/data/kanarom.cnv" ]; then
  cp "$root/data/kanarom.cnv" "$dir/kanarom.cnv"
else
  echo "No data/kanarom.cnv yet; $dir has no romaji table."
fi
# The rules of the "Dictionary forms" mode (get --forms).
cp "$root/data/deinflect.txt" "$dir/deinflect.txt"

cd "$root"
if [ ! -x build/dodevuz ]; then
  make build || echo "The build failed; see above."
fi
if [ ! -x build/dodevuz ]; then
  echo "No build/dodevuz program yet; $dir/edict.jdx was not built."
  exit 0
fi
build/dodevuz index -C "$dir"
build/dodevuz index -C "$dir" --check
echo "$dir/edict.jdx built and checked."
