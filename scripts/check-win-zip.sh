#!/usr/bin/env bash
# Unpacks the Windows zip (make win-zip) into an empty folder and runs the
# end-to-end driver of dodevuz.exe there under Wine and Xvfb, in a Japanese
# locale: the program, dictionary, index and romaji table of the zip are all
# a reader needs. The driver indexes edict itself; the index it makes must be
# the one the zip ships.
#
#   scripts/check-win-zip.sh [BUILD_WIN_DIR [BUILD_DIR]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"
native="$(cd "${2:-$root/build}" && pwd)"
zip="$(ls "$build"/dodevuz-*-win64.zip | tail -n 1)"

. "$root/tests/wine/env.sh"

work="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
folder="$(ls -d "$work"/dodevuz-*-win64)"
cp "$folder/edict.jdx" "$work/shipped.jdx"
# The driver and, beside it, the passages it reads.
cp "$build/shell/win32/wine-driver/wine_driver.exe" "$folder/"
cp "$folder"/samples/* "$folder/"
wine_long_passage "$folder" "$native"

loc=C.UTF-8
locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && loc=ja_JP.UTF-8
wineserver -k >/dev/null 2>&1 || true
wineserver -w
set +e
(cd "$folder" && LC_ALL="$loc" xvfb-run -a -s "-screen 0 $WINE_SCREEN" \
  bash -c 'wine wine_driver.exe; rc=$?; wineserver -k >/dev/null 2>&1; exit $rc') |
  tr -d '\r' >"$work/log.txt"
rc=${PIPESTATUS[0]}
set -e
tail -n 1 "$work/log.txt"
if [ "$rc" -ne 0 ]; then
  grep -i 'fail' "$work/log.txt" >&2 || true
  echo "check-win-zip: the driver failed in the unpacked folder (status $rc)" >&2
  exit 1
fi
cmp -s "$folder/edict.jdx" "$work/shipped.jdx" ||
  { echo "check-win-zip: the zip's edict.jdx is not the index of its edict" >&2; exit 1; }
echo "check-win-zip: $(basename "$zip") runs from an empty folder under $loc"
