#!/usr/bin/env bash
# Takes docs/screenshot-win32.png: dodevuz.exe under Wine and Xvfb, in a
# Japanese locale, at 1000 x 720, after "Get Dodevuz SHIFT" on a passage and
# "Single Dodevuz" on one word: lines of real prose with the full dictionary
# when dict/ and corpus/ hold them (make full-dict, make corpus), else the
# sample passage with the sample dictionary. Needs a cross build (make win), Wine, xwd
# (x11-apps) and ImageMagick, installed first when missing
# (scripts/install-deps.sh win screenshot; INSTALL_DEPS=no leaves that out).
#
#   scripts/screenshot-win32.sh [BUILD_WIN_DIR] [OUTPUT.png]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"
output="$(realpath -m "${2:-$root/docs/screenshot-win32.png}")"  # the picture is made elsewhere

[ "${INSTALL_DEPS:-yes}" = no ] || "$root/scripts/install-deps.sh" win screenshot
. "$root/tests/wine/env.sh"
# The real ImageMagick, not a stand-in earlier on the PATH.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
command -v xwd >/dev/null || { echo "screenshot: xwd is missing (x11-apps)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
wine_work_folder "$work"
word=日本語
if [ -f "$root/dict/edict.jdx" ] && [ -f "$root/corpus/passage-40k.utf8" ]; then
  cp "$root/dict/edict" "$root/dict/edict.jdx" "$work/"
  # Lines of a manual page about fonts: plain prose, kanji and katakana.
  sed -n '300,330p' "$root/corpus/passage-40k.utf8" | iconv -f UTF-8 -t CP932 > "$work/passage.sjis"
  word=補正
fi

wineserver -k >/dev/null 2>&1 || true
wineserver -w
export work convert output word
(cd "$work" && LC_ALL="${SCREENSHOT_LOCALE:-ja_JP.UTF-8}" xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  # To a file, not a pipe: the program left running holds the output open.
  wine wine_driver.exe --show 1000 720 "$word" > show.txt
  read -r _ x y w h < <(tr -d "\r" < show.txt | grep "^window ")
  sleep 1
  xwd -root -silent > screen.xwd
  wineserver -k >/dev/null 2>&1 || true
  "$convert" screen.xwd -crop "${w}x${h}+${x}+${y}" +repage "$output"
')
echo "screenshot: $output"
