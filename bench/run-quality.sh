#!/usr/bin/env bash
# `make quality`: the quality report of the listing with the full dictionary,
# classic and in the "Dictionary forms" mode, against MeCab's segmentation and
# base forms of the 1 MB corpus of manual pages (bench/quality.py).
#
#   bench/run-quality.sh
#
# Environment: QUALITY_BUILD (build folder, default build-bench), QUALITY_DICT
# (default dict/), QUALITY_CORPUS (default corpus/corpus-1m.euc), QUALITY_OUT
# (the report, default docs/quality.md). The dictionary and the corpus are made
# when missing (never committed); MeCab and its IPA dictionary are installed
# from Debian when missing: they are the report's oracle, not a part of the
# program.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUALITY_BUILD:-$root/build-bench}"
dict="${QUALITY_DICT:-$root/dict}"
corpus="${QUALITY_CORPUS:-$root/corpus/corpus-1m.euc}"
report="${QUALITY_OUT:-$root/docs/quality.md}"

missing=()
for p in mecab mecab-ipadic-utf8 python3; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" = 0 ] || sudo="sudo"
  echo "Installing ${missing[*]} for the report..."
  if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; then
    $sudo apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDODEVUZ_BENCH=ON >/dev/null
cmake --build "$build" --target dodevuz dodevuz-quality-items -j 2 >/dev/null

if [ ! -f "$dict/edict" ] || [ ! -f "$dict/edict.jdx" ]; then
  "$root/scripts/get-full-dictionary.sh" "$dict"
fi
[ -f "$dict/kanarom.cnv" ] || cp "$root/data/kanarom.cnv" "$dict/"
if [ ! -f "$corpus" ]; then
  "$root/scripts/make-corpus.sh" "$(dirname "$corpus")"
fi

python3 "$root/bench/quality.py" "$build/bench/dodevuz-quality-items" "$dict" "$corpus" "$report"
