#!/usr/bin/env bash
# Makes the zip a Windows reader unpacks and starts: dodevuz.exe, the sample
# dictionary with its index, the romaji table, the sample passages and a
# short README.txt, all in one folder dodevuz-VERSION-win64/.
#
#   scripts/make-win-zip.sh [BUILD_WIN_DIR] [BUILD_DIR]
#
# BUILD_WIN_DIR holds the cross build (make win), BUILD_DIR the native build
# whose data/ has the index (make build). Writes BUILD_WIN_DIR/dodevuz-VERSION-win64.zip.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_win="$(cd "${1:-$root/build-win}" && pwd)"
build="$(cd "${2:-$root/build}" && pwd)"
version="$(sed -n 's/^project(dodevuz VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="dodevuz-$version-win64"
zip="$build_win/$name.zip"

command -v zip >/dev/null || { echo "make-win-zip: zip is missing (scripts/install-deps.sh package)" >&2; exit 2; }
for f in "$build_win/shell/win32/dodevuz.exe" "$build/data/edict.jdx"; do
  [ -f "$f" ] || { echo "make-win-zip: no $f (make win; make build)" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/$name/samples"
cp "$build_win/shell/win32/dodevuz.exe" "$build/data/edict" "$build/data/edict.jdx" \
  "$build/data/kanarom.cnv" "$build/data/deinflect.txt" "$work/$name/"
cp "$root/data/samples/passage.sjis" "$root/data/samples/passage.jis" \
  "$root/data/samples/passage.utf8.txt" "$work/$name/samples/"
# Windows' Notepad of old shows only CR LF line ends.
sed 's/$/\r/' >"$work/$name/README.txt" <<TEXT
Dodevuz $version: a Japanese-to-English reading aid

Start dodevuz.exe in this folder: it reads the dictionary (edict, edict.jdx)
and the romaji table (kanarom.cnv) from the folder it starts in, and for
Options > "Dictionary forms" the rules of deinflect.txt.

1. Copy a Japanese passage in any program (samples\\passage.utf8.txt is one).
2. In Dodevuz choose File > "Get Dodevuz SHIFT". The middle pane lists the
   passage with every dictionary word followed by its entry; the top pane
   shows the same in romaji.
3. Select a word in the listing and choose "Single Dodevuz": the bottom pane
   shows every entry that matches it.
Edit > "Copy" copies the selection of the focused pane.

The dictionary here is a small sample of about 420 words. For the full one,
put an edict file (EUC-JP) in this folder in its place and build its index
with the dodevuz command line: dodevuz index -C FOLDER.
TEXT
rm -f "$zip"
(cd "$work" && zip -q -r -X "$zip" "$name")
echo "make-win-zip: $zip"
unzip -l "$zip" | tail -n +2
