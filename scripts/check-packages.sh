#!/usr/bin/env bash
# Installs the Debian packages that `make package` made on this machine, runs
# what they installed as a reader would, and removes them again. As root;
# refuses when a dodevuz package is installed already (it is not ours to
# remove). Debian's edict package is installed for `dodevuz setup` when it is
# missing, and removed again afterwards.
#
#   scripts/check-packages.sh [PACKAGE_DIR]     (default build/packages)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$(cd "${1:-$root/build/packages}" && pwd)"

[ "$(id -u)" -eq 0 ] || { echo "check-packages: run as root (it installs packages)" >&2; exit 2; }
cli="$(ls "$dir"/dodevuz_*.deb)"
qt="$(ls "$dir"/dodevuz-qt_*.deb)"
for p in dodevuz dodevuz-qt; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q ' installed$'; then
    echo "check-packages: $p is installed already; remove it first" >&2
    exit 2
  fi
done

apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=600 "$@"
}
work="$(mktemp -d)"
installed_edict=false
cleanup() {
  apt_get remove dodevuz-qt dodevuz >/dev/null 2>&1 || true
  $installed_edict && apt_get remove edict >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # description command...
  local what="$1"
  shift
  if "$@" >"$work/out.txt" 2>&1; then
    echo "ok: $what"
  else
    echo "FAILED: $what" >&2
    sed 's/^/    /' "$work/out.txt" >&2
    failures=$((failures + 1))
  fi
}

# apt-get installs the files with dpkg -i once their dependencies are in.
echo "check-packages: installing $(basename "$cli") $(basename "$qt")"
apt_get install "$cli" "$qt" >/dev/null

data=/usr/share/dodevuz
check "dodevuz suggests the kanji dictionary and the stroke-order font" sh -c \
  "dpkg-deb -f '$cli' Suggests | grep -q 'kanjidic' && dpkg-deb -f '$cli' Suggests | grep -q 'fonts-kanjistrokeorders'"
check "dodevuz is /usr/bin/dodevuz" test "$(command -v dodevuz)" = /usr/bin/dodevuz
check "dodevuz --version" sh -c 'dodevuz --version | grep -qx "dodevuz [0-9.]*"'
check "dodevuz get on the installed sample data" sh -c \
  "dodevuz get -C $data $data/samples/passage.utf8.txt | grep -q '^日本語        日本語 \[にほんご\]'"
check "dodevuz get --shift on the installed Shift-JIS sample" sh -c \
  "dodevuz get --shift -C $data $data/samples/passage.sjis | grep -q '^o勉強        勉強 \[benkyou\]'"
check "the installed index checks" dodevuz index --check -C "$data"
check "dodevuz serve runs the installed server program" sh -c \
  "timeout 5 dodevuz serve --port 0 -C $data | grep -q '^Dodevuz reading page: http://127.0.0.1:'"
check "the manual page" sh -c 'man -w dodevuz | grep -qx /usr/share/man/man1/dodevuz.1.gz'
check "dodevuz-qt is /usr/bin/dodevuz-qt" test -x /usr/bin/dodevuz-qt
check "the desktop entry starts /usr/bin/dodevuz-qt on the sample data" grep -qx \
  'Exec="/usr/bin/dodevuz-qt" --reader -C "/usr/share/dodevuz"' /usr/share/applications/dodevuz.desktop
check "the desktop entry is valid" desktop-file-validate /usr/share/applications/dodevuz.desktop
check "the icon" test -s /usr/share/icons/hicolor/scalable/apps/dodevuz.svg
check "dodevuz-qt runs a Get on the installed sample data" sh -c \
  "cd $work && QT_QPA_PLATFORM=offscreen dodevuz-qt --reader -C $data --clipboard $data/samples/passage.utf8.txt --command 109 --screenshot shot.png && test -s shot.png"

# The reader's folder from Debian's edict package.
if [ ! -f /usr/share/edict/edict ]; then
  echo "check-packages: installing edict for dodevuz setup"
  apt_get install edict >/dev/null
  installed_edict=true
fi
export HOME="$work/home"
mkdir -p "$HOME"
folder="$HOME/.local/share/dodevuz"
check "dodevuz setup makes the reader's folder" dodevuz setup
check "its edict is Debian's, in place" test "$(readlink "$folder/edict")" = /usr/share/edict/edict
check "its index checks" dodevuz index --check -C "$folder"
if [ -f /usr/share/edict/kanjidic ]; then
  check "its kanjidic is Debian's, in place" test "$(readlink "$folder/kanjidic")" = /usr/share/edict/kanjidic
  check "dodevuz kanji on Debian's kanjidic" sh -c \
    "dodevuz kanji -C '$folder' 漢 | grep -q 'Strokes:    13'"
fi
# A word the sample dictionary does not hold.
check "dodevuz get on the full dictionary" sh -c \
  "echo 冷蔵庫 | dodevuz get --pane listing -C '$folder' | grep -q '^冷蔵庫        冷蔵庫 \[れいぞうこ\]'"

echo "check-packages: removing them"
apt_get remove dodevuz-qt dodevuz >/dev/null
check "dodevuz is gone" sh -c '! test -e /usr/bin/dodevuz && ! test -e /usr/bin/dodevuz-serve && ! test -e /usr/share/dodevuz'
check "dodevuz-qt is gone" sh -c '! test -e /usr/bin/dodevuz-qt && ! test -e /usr/share/applications/dodevuz.desktop'

[ "$failures" -eq 0 ] || { echo "check-packages: $failures failed" >&2; exit 1; }
echo "check-packages: all passed"
