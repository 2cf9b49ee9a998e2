#!/usr/bin/env bash
# Fetches the full dictionary from Debian's `edict` package, the names
# dictionary from its `enamdict` package and the kanji dictionary from its
# `kanjidic` package into DIR (default: dict/ in the
# repository, which git ignores), beside our kanarom.cnv and deinflect.txt,
# and builds and checks their indexes with `dodevuz index`.
#
#   scripts/get-full-dictionary.sh [DIR]
#
# Only the dictionary file itself is taken out of each package. Neither may
# ever be committed, nor anything made from them.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/dict}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Takes the one dictionary file FILE out of Debian's package PACKAGE into
# $dir/FILE: apt-get download writes into the working directory, and the
# package holds more than the dictionary.
fetch() {
  local package="$1" file="$2"
  cd "$work"
  if ! apt-get download "$package" >/dev/null 2>&1; then
    echo "Updating the package lists..."
    apt-get update -qq
    apt-get download "$package" >/dev/null
  fi
  local deb member
  deb="$(ls "$work"/"$package"_*.deb)"
  member="$(dpkg-deb -c "$deb" | awk '{print $NF}' | grep -E "^\./usr/share/edict/$file\$" || true)"
  if [ -z "$member" ]; then
    echo "The package $package holds no ./usr/share/edict/$file:" >&2
    dpkg-deb -c "$deb" >&2
    exit 1
  fi
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" "$member"

  # The program reads EUC-JP. Convert only if the package ever ships another
  # encoding (UTF-8 is the one other encoding it could plausibly use).
  if iconv -f EUC-JP -t EUC-JP "$work/$member" >/dev/null 2>&1; then
    cp "$work/$member" "$dir/$file"
  elif iconv -f UTF-8 -t UTF-8 "$work/$member" >/dev/null 2>&1; then
    echo "$file is UTF-8; converting it to EUC-JP."
    iconv -f UTF-8 -t EUC-JP "$work/$member" >"$dir/$file"
  else
    echo "$file is neither EUC-JP nor UTF-8; left as it is." >&2
    cp "$work/$member" "$dir/$file"
  fi
  # Every line, the last one included, must end with a line end.
  if [ -n "$(tail -c 1 "$dir/$file")" ]; then printf '\n' >>"$dir/$file"; fi
  echo "$dir/$file: $(wc -l <"$dir/$file") lines, $(wc -c <"$dir/$file") bytes"
}

# The main dictionary, and the names dictionary (people, places, companies)
# that the program opens beside it.
fetch edict edict
fetch enamdict enamdict
# The kanji dictionary of "Kanji Details" and `dodevuz kanji` (looked up by
# kanji, so it needs no index).
fetch kanjidic kanjidic

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
  echo "No build/dodevuz program yet; the indexes in $dir were not built."
  exit 0
fi
build/dodevuz index -C "$dir"
build/dodevuz index -C "$dir" --check
echo "The indexes in $dir built and checked."
