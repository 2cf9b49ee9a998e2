#!/usr/bin/env bash
# Makes docs/screenshot-qt.png: dodevuz-qt at 1000 x 720 after "Get Dodevuz
# SHIFT" on a passage and "Single Dodevuz" on a word selected in the listing,
# drawn on Qt's offscreen platform (no display needed). With the full
# dictionary in dict/ and real prose in corpus/ (make full-dict, make
# corpus) it shows a passage of the corpus; else the sample passage with the
# sample dictionary.
# Japanese needs a font that has it: Debian's fonts-vlgothic or fonts-noto-cjk.
#   scripts/screenshot-qt.sh [BUILD_DIR] [PNG]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
png=${2:-docs/screenshot-qt.png}

[ "${INSTALL_DEPS:-yes}" = no ] || scripts/install-deps.sh core qt screenshot
if ! fc-list :lang=ja 2>/dev/null | grep -q .; then
  echo "screenshot-qt.sh: no Japanese font; install fonts-vlgothic or fonts-noto-cjk" >&2
  exit 1
fi
cmake -S . -B "$build"
cmake --build "$build" --target dodevuz-qt sample_data -j 2
mkdir -p "$(dirname "$png")"
png="$(cd "$(dirname "$png")" && pwd)/$(basename "$png")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -f dict/edict.jdx ] && [ -f corpus/passage-40k.utf8 ]; then
  folder=dict
  # Lines of a manual page about fonts: plain prose, kanji and katakana.
  sed -n '300,330p' corpus/passage-40k.utf8 > "$work/passage.txt"
  word=補正
else
  folder="$build/data"
  cp data/samples/passage.utf8.txt "$work/passage.txt"
  word=勉強
fi
QT_QPA_PLATFORM=offscreen "$build/dodevuz-qt" -C "$folder" --size 1000x720 \
  --clipboard "$work/passage.txt" --command 109 \
  --select "$word" --command 105 --screenshot "$png"
echo "wrote $png"
