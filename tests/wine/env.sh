# Sourced by tests/wine/run.sh, scripts/check-win-zip.sh and
# scripts/screenshot-win32.sh: the Wine environment and the prefix, made once
# in $build/wineprefix (or $DODEVUZ_WINEPREFIX) without a display, so that
# no installer dialog appears. Expects $build, the cross build folder.
export WINEPREFIX="${DODEVUZ_WINEPREFIX:-$build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Xvfb's screen for the driver: large enough for the window at 192 DPI, or
# Wine clamps it and the DPI check sees fewer lines.
export WINE_SCREEN="1600x1200x24"

for tool in wine wineboot wineserver xvfb-run; do
  command -v "$tool" >/dev/null || { echo "wine: $tool is missing (see .ci/run)" >&2; exit 2; }
done

if [ ! -f "$WINEPREFIX/.dodevuz-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
  # Without a window manager every closed top-level window of a managed
  # prefix stalls for two seconds.
  env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    { echo "wine: could not set up the prefix $WINEPREFIX" >&2; exit 2; }
  wineserver -w
  touch "$WINEPREFIX/.dodevuz-ready"
fi

# A folder holding the program, the driver, the sample dictionary, the
# romaji table and the sample passages (the driver indexes edict itself).
wine_work_folder() {
  local work="$1"
  cp "$build/shell/win32/dodevuz.exe" "$build/shell/win32/wine-driver/wine_driver.exe" "$work/"
  cp "$root/data/edict" "$root/data/kanarom.cnv" "$root/data/deinflect.txt" \
    "$root/data/samples/passage.sjis" \
    "$root/data/samples/passage.jis" "$root/data/samples/passage.utf8.txt" "$work/"
}

# The long passage the driver pages through with "Get Dodevuz NEXT": the
# Shift-JIS sample over and over, as many times as a kanji buffer holds it
# (40,000 bytes of EUC-JP), with what one `dodevuz get --all` of it lists
# (long.listing, long.romaji: each pane's bytes), made by the native program
# in the build folder $2 (make build) on its own copy of the sample data.
wine_long_passage() {
  local work="$1" native="$2" sample="$root/data/samples/passage.sjis" one copies i
  [ -x "$native/dodevuz" ] && [ -f "$native/data/edict.jdx" ] ||
    { echo "wine: no $native/dodevuz and $native/data (make build)" >&2; exit 2; }
  one=$(iconv -f CP932 -t EUC-JP "$sample" | wc -c)
  copies=$((39998 / one))
  : >"$work/long.sjis"
  for ((i = 0; i < copies; i++)); do cat "$sample" >>"$work/long.sjis"; done
  for pane in listing romaji; do
    "$native/dodevuz" get --all --shift --raw --pane "$pane" -C "$native/data" "$work/long.sjis" \
      >"$work/long.$pane" || { echo "wine: dodevuz get --all failed" >&2; exit 2; }
  done
}
