#!/usr/bin/env bash
# Makes docs/screenshot-qt.png: dodevuz-qt after "Get Dodevuz SHIFT" on the
# sample passage and "Single Dodevuz" on the word 勉強 selected in the listing,
# drawn on Qt's offscreen platform (no display needed).
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
QT_QPA_PLATFORM=offscreen "$build/dodevuz-qt" -C "$build/data" \
  --clipboard data/samples/passage.utf8.txt --command 109 \
  --select 勉強 --command 105 --screenshot "$png"
echo "wrote $png"
