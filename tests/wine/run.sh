#!/usr/bin/env bash
# Runs the end-to-end test of dodevuz.exe under Wine and Xvfb, once with a
# Japanese locale (ANSI code page 932) and once with C.UTF-8 (code page
# 1252). Needs wine, xvfb-run and a cross build (make win).
#
#   tests/wine/run.sh [BUILD_WIN_DIR]
#
# The Wine prefix is made once, in BUILD_WIN_DIR/wineprefix (or
# $DODEVUZ_WINEPREFIX), without a display, so that no installer dialog
# appears.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"

export WINEPREFIX="${DODEVUZ_WINEPREFIX:-$build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

for tool in wine wineboot wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "wine-test: $tool is missing (see .ci/run)" >&2; exit 2; }
done

if [ ! -f "$WINEPREFIX/.dodevuz-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
  # Without a window manager every closed top-level window of a managed
  # prefix stalls for two seconds.
  env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.dodevuz-ready"
fi

work="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cp "$build/shell/win32/dodevuz.exe" "$build/shell/win32/wine-driver/wine_driver.exe" "$work/"
cp "$root/data/edict" "$root/data/kanarom.cnv" "$root/data/samples/passage.sjis" \
  "$root/data/samples/passage.jis" "$root/data/samples/passage.utf8.txt" "$work/"

# ja_JP.UTF-8 when the system has it (locale-gen), else the suite runs once.
locales=(C.UTF-8)
if locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  locales=(ja_JP.UTF-8 C.UTF-8)
else
  echo "wine-test: no ja_JP.UTF-8 locale; running under C.UTF-8 only" >&2
fi

total_passed=0
total_failed=0
for loc in "${locales[@]}"; do
  echo "== wine-test under LC_ALL=$loc"
  rm -rf "$work/no-table" "$work/edict.jdx"
  # The wineserver keeps the locale of the processes it first served.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  set +e
  (cd "$work" && LC_ALL="$loc" xvfb-run -a -s "-screen 0 1024x768x24" \
    bash -c 'wine wine_driver.exe; rc=$?; wineserver -k >/dev/null 2>&1; exit $rc') \
    | tr -d '\r' | tee "$work/log.txt"
  rc=${PIPESTATUS[0]}
  set -e
  summary="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/log.txt" | tail -n 1 || true)"
  if [ -z "$summary" ]; then
    echo "wine-test: the driver gave no summary under $loc (status $rc)" >&2
    total_failed=$((total_failed + 1))
    continue
  fi
  total_passed=$((total_passed + $(echo "$summary" | cut -d' ' -f1)))
  total_failed=$((total_failed + $(echo "$summary" | cut -d' ' -f3)))
  if [ "$rc" -ne 0 ] && [ "$(echo "$summary" | cut -d' ' -f3)" -eq 0 ]; then
    echo "wine-test: the driver ended with status $rc" >&2
    total_failed=$((total_failed + 1))
  fi
done

echo "wine-test: $total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
