#!/usr/bin/env bash
# Runs the end-to-end test of dodevuz.exe under Wine and Xvfb (a screen large
# enough for the window at 192 DPI), once with a
# Japanese locale (ANSI code page 932) and once with C.UTF-8 (code page
# 1252). Needs wine, xvfb-run, a cross build (make win) and a native build
# (make build), whose dodevuz lists the long passage with get --all.
#
#   tests/wine/run.sh [BUILD_WIN_DIR [BUILD_DIR]]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build-win}" && pwd)"
native="$(cd "${2:-$root/build}" && pwd)"

. "$root/tests/wine/env.sh"

work="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
wine_work_folder "$work"
wine_long_passage "$work" "$native"

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
  (cd "$work" && LC_ALL="$loc" xvfb-run -a -s "-screen 0 $WINE_SCREEN" \
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
