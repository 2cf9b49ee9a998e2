#!/usr/bin/env bash
# Whole texts: `dodevuz get --all` on the 1 MB and 10 MB corpora, classic and
# in the "Dictionary forms" mode, with the cache a reader gets (no
# --cache-pages), with 48 frames and with a frame for every page of the full
# dictionary, beside kakasi and mecab converting the same text, in the same
# run; and one Get of the 40 kB passage, classic and with --forms. `make
# bench` runs it after the benchmark of one Get.
#
#   bench/run-whole-text.sh
#
# Environment: BENCH_BUILD (default build-bench), BENCH_DICT (default dict/),
# BENCH_WHOLE_RUNS (runs of each command, default 1; the median is kept),
# BENCH_WHOLE_OUT (the report, default docs/whole-text.md), BENCH_BEFORE (a
# dodevuz built before a change, say from main: the listings of the 1 MB
# corpus, classic and with --forms, in every encoding, must then be the same
# byte for byte as its own, and so must the reading page server's answers
# when a dodevuz-serve lies beside it), BENCH_WHOLE_ROWS (an extended regular
# expression: only the rows whose label matches it are timed; the checks run
# all the same).
#
# The reading page's server: `dodevuz serve` on loopback, paged through the
# 1 MB corpus by bench/serve-pages.js (node) with the requests the page
# makes; its processor time and peak memory are read from /proc before it is
# stopped, so they count the server alone, start-up included.
#
# Throughput is MB of text (counted in EUC-JP) per second of processor time
# of the process (user + system); wall time and peak memory (ru_maxrss) come
# from the same runs, made without a shell by bench/run_process.cpp. Before
# the timings, the listings of --all on the 1 MB corpus must agree byte for
# byte across the encodings and the cache sizes, classic and with --forms.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build-bench}"
dict="${BENCH_DICT:-$root/dict}"
corpus="$root/corpus"
runs="${BENCH_WHOLE_RUNS:-1}"
before="${BENCH_BEFORE:-}"
report="${BENCH_WHOLE_OUT:-$root/docs/whole-text.md}"
rows="${BENCH_WHOLE_ROWS:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "bench: FAILED: $*" >&2
  exit 1
}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDODEVUZ_BENCH=ON >/dev/null
cmake --build "$build" --target dodevuz dodevuz-bench-run -j 2 >/dev/null
dodevuz="$build/dodevuz"
runner="$build/bench/dodevuz-bench-run"
# The server, where its libraries are installed, and node to page with.
serve_pages_ok=""
if cmake --build "$build" --target dodevuz-serve -j 2 >/dev/null 2>&1 && command -v node >/dev/null; then
  serve_pages_ok=yes
fi

if [ ! -f "$dict/edict" ] || [ ! -f "$dict/edict.jdx" ] || [ ! -f "$dict/kanarom.cnv" ]; then
  "$root/scripts/get-full-dictionary.sh" "$dict"
fi
if [ ! -f "$corpus/corpus-1m.sjis" ] || [ ! -f "$corpus/corpus-10m.utf8" ]; then
  "$root/scripts/make-corpus.sh" "$corpus"
fi
# A frame for every page of both files.
page=$((0x3000))
whole_frames=$(( ($(wc -c <"$dict/edict") + page - 1) / page + ($(wc -c <"$dict/edict.jdx") + page - 1) / page ))

# One run of the reading page's server over a whole text: starts `SERVER
# serve` on a free loopback port, pages through TEXT (UTF-8) as the page
# does, in the forms mode when FORMS is --forms, writing the answers to
# BODIES ("" for none), and prints wall_us (of the paging), cpu_us (user +
# system of the server process) and peak_kib (its VmHWM) as key=value lines.
#   serve_pages SERVER TEXT FORMS BODIES
serve_pages() {
  local server="$1" text="$2" forms="$3" bodies="$4" pid port="" ticks peak start end
  "$server" serve -C "$dict" --port 0 >"$work/serve.out" 2>"$work/serve.err" &
  pid=$!
  for _ in $(seq 300); do
    port=$(sed -n 's|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/serve.out")
    [ -z "$port" ] || break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$port" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    fail "$server serve did not start: $(cat "$work/serve.err")"
  fi
  start=$(date +%s%N)
  if ! node "$root/bench/serve-pages.js" "$port" "$text" $forms ${bodies:+--bodies "$bodies"} \
    >"$work/pages.kv"; then
    kill "$pid"
    wait "$pid" || true
    fail "paging through $text with $server serve $forms"
  fi
  end=$(date +%s%N)
  # utime and stime, the 14th and 15th fields, counted after the name's ")".
  ticks=$(sed 's/^.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')
  peak=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" || true
  echo "wall_us=$(((end - start) / 1000))"
  echo "cpu_us=$(awk -v t="$ticks" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.0f", t * 1e6 / hz }')"
  echo "peak_kib=$peak"
  cat "$work/pages.kv"
}

# serve_pages RUNS times: the median wall and processor times, the largest
# peak, as dodevuz-bench-run prints them.
serve_pages_runs() {
  local server="$1" text="$2" forms="$3"
  for _ in $(seq "$runs"); do serve_pages "$server" "$text" "$forms" ""; done >"$work/serve-runs.kv"
  median_of() {
    sed -n "s/^$1=//p" "$work/serve-runs.kv" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
  }
  echo "wall_us=$(median_of wall_us)"
  echo "cpu_us=$(median_of cpu_us)"
  echo "peak_kib=$(sed -n 's/^peak_kib=//p' "$work/serve-runs.kv" | sort -n | tail -n 1)"
}

echo "Checking get --all on the 1 MB corpus across encodings and cache sizes, classic and --forms..."
for forms in "" --forms; do
  for m in euc:--euc:48 euc:--euc:"$whole_frames" euc:--euc:default sjis:--shift:48 utf8:--utf8:48 \
    sjis:--shift:default utf8:--utf8:default; do
    IFS=: read -r ext option frames <<<"$m"
    cache=(--cache-pages "$frames")
    [ "$frames" != default ] || cache=()
    out="$work/all$forms-$ext-$frames.listing"
    "$dodevuz" get --all "$option" $forms -C "$dict" "${cache[@]}" --raw --pane listing \
      "$corpus/corpus-1m.$ext" >"$out" || fail "get --all $option $forms"
    cmp -s "$work/all$forms-euc-48.listing" "$out" ||
      fail "get --all $option $forms ${cache[*]} lists the 1 MB corpus otherwise"
    if [ -n "$before" ] && [ "$frames" = 48 ]; then
      "$before" get --all "$option" $forms -C "$dict" --cache-pages 48 --raw --pane listing \
        "$corpus/corpus-1m.$ext" >"$work/before.listing" || fail "$before get --all $option $forms"
      cmp -s "$work/before.listing" "$out" ||
        fail "get --all $option $forms lists the 1 MB corpus otherwise than $before"
    fi
  done
done
serve_note=""
if [ -n "$serve_pages_ok" ]; then
  echo "Checking the reading page's server on the 1 MB corpus..."
  serve_pages "$dodevuz" "$corpus/corpus-1m.utf8" --forms "$work/serve.bodies" >"$work/serve.kv"
  serve_page_count=$(sed -n 's/^pages=//p' "$work/serve.kv")
  serve_note=" The reading page's server listed every byte of the 1 MB corpus in the forms mode, in $serve_page_count pages (the pages' items, put together, are the text)."
  if [ -n "$before" ] && [ -x "$(dirname "$before")/dodevuz-serve" ]; then
    serve_pages "$before" "$corpus/corpus-1m.utf8" --forms "$work/before.bodies" >/dev/null
    cmp -s "$work/before.bodies" "$work/serve.bodies" ||
      fail "the server answers the pages of the 1 MB corpus otherwise than $before"
    serve_note+=" Its answers were byte-identical to those of the build before the change."
  fi
fi
all_bytes=$(wc -c <"$work/all-euc-48.listing")
forms_bytes=$(wc -c <"$work/all--forms-euc-48.listing")
if [ -n "$before" ]; then
  # Single quotes: the backticks are Markdown, not commands.
  before_note=' They were also byte-identical, classic and with `--forms` in every encoding, to those of the build before the change (`BENCH_BEFORE`).'
else
  before_note=""
fi
declare -a labels inputs commands sizes
add() {  # label text-bytes stdin command...
  labels+=("$1")
  sizes+=("$2")
  inputs+=("$3")
  shift 3
  commands+=("$*")
}
passage_size=$(wc -c <"$corpus/passage-40k.euc")
for forms in "" " --forms"; do
  add "40k: dodevuz get --euc$forms" "$passage_size" "" \
    "$dodevuz" get --euc$forms -C "$dict" "$corpus/passage-40k.euc"
done
for c in 1m 10m; do
  size=$(wc -c <"$corpus/corpus-$c.euc")
  for m in euc:--euc sjis:--shift utf8:--utf8; do
    IFS=: read -r ext option <<<"$m"
    for frames in default 48 "$whole_frames"; do
      cache=" --cache-pages $frames"
      [ "$frames" != default ] || cache=""
      add "$c: dodevuz get --all $option$cache" "$size" "" \
        "$dodevuz" get --all "$option" -C "$dict"$cache "$corpus/corpus-$c.$ext"
    done
  done
  # The forms mode: every encoding with the reader's defaults, and the
  # EUC-JP text with 48 frames and with the whole dictionary cached.
  for m in euc:--euc:default euc:--euc:48 euc:--euc:"$whole_frames" sjis:--shift:default \
    utf8:--utf8:default; do
    IFS=: read -r ext option frames <<<"$m"
    cache=" --cache-pages $frames"
    [ "$frames" != default ] || cache=""
    add "$c: dodevuz get --all $option --forms$cache" "$size" "" \
      "$dodevuz" get --all "$option" --forms -C "$dict"$cache "$corpus/corpus-$c.$ext"
  done
  if [ "$c" = 1m ] && [ -n "$serve_pages_ok" ]; then
    add "1m: dodevuz serve, every page --forms (server)" "$size" "" serve_pages_runs "$dodevuz" \
      "$corpus/corpus-1m.utf8" --forms
  fi
  if command -v kakasi >/dev/null; then
    add "$c: kakasi -Ja -Ha -Ka -Ea -s -ieuc" "$size" "$corpus/corpus-$c.euc" kakasi -Ja -Ha -Ka -Ea -s -ieuc
  fi
  if command -v mecab >/dev/null; then
    add "$c: mecab (ipadic, UTF-8)" "$size" "$corpus/corpus-$c.utf8" mecab
  fi
done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "Timing whole texts, $runs run(s) each..."
declare -a walls cpus peaks timed
for i in "${!commands[@]}"; do
  if [ -n "$rows" ] && ! [[ "${labels[$i]}" =~ $rows ]]; then
    walls+=(0) cpus+=(0) peaks+=(0) timed+=("")
    continue
  fi
  read -r -a argv <<<"${commands[$i]}"
  if [ "${argv[0]}" = serve_pages_runs ]; then
    "${argv[@]}" >"$work/run.kv" || fail "${labels[$i]}"
  else
    "$runner" --runs "$runs" --warmup 0 --stdin "${inputs[$i]}" -- "${argv[@]}" >"$work/run.kv" ||
      fail "${labels[$i]}"
  fi
  walls+=("$(sed -n 's/^wall_us=//p' "$work/run.kv")")
  cpus+=("$(sed -n 's/^cpu_us=//p' "$work/run.kv")")
  peaks+=("$(sed -n 's/^peak_kib=//p' "$work/run.kv")")
  timed+=(yes)
  echo "  ${labels[$i]}: $(awk -v u="${cpus[$i]}" 'BEGIN { printf "%.2f", u / 1e6 }') s"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

secs() { awk -v u="$1" 'BEGIN { printf "%.2f", u / 1e6 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
row() { for i in "${!labels[@]}"; do [ "${labels[$i]}" = "$1" ] && [ -n "${timed[$i]}" ] && echo "$i" && return; done; echo -1; }

{
  echo "# Whole texts"
  echo
  echo "Made by \`bench/run-whole-text.sh\` (part of \`make bench\`) on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores of $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), load average $load_before at the start and $load_after at the end; every figure comes from this one run."
  echo
  echo "\`dodevuz get --all\` lists every byte of a text, page after page, each page starting where the last listing stopped, and prints the listing and the romaji text (both panes, UTF-8); \`--forms\` lists in the \"Dictionary forms\" mode. Without \`--cache-pages\`, \`get --all\` gives the cache a frame for every page of the dictionaries in its folder up to 2350 (here \`edict\`, \`enamdict\` and their indexes: the 2350), and a single Get keeps 48 frames. kakasi spells the same text in romaji (EUC-JP in); mecab segments it (UTF-8 in). The 40 kB passage is one Get of the benchmark's passage; the 1 MB corpus is the benchmark's 25 passages; the 10 MB corpus is every line of prose of Debian's \`manpages-ja\`, and from the first again, up to 10 MB. MB/s: MB of text (in EUC-JP) per second of processor time (user + system of the process). $runs run(s) each (the median), without a shell. The listings of \`--all\` on the 1 MB corpus were byte-identical in EUC-JP, Shift-JIS and UTF-8 and with 48, $whole_frames and the default frames, classic ($all_bytes bytes) and with \`--forms\` ($forms_bytes bytes); the run fails otherwise.$before_note The server's row is \`dodevuz serve\` paged through the 1 MB corpus (UTF-8, as a browser sends it) in the forms mode with the requests the reading page makes, a window of the text not yet listed at a time (bench/serve-pages.js, node); its times are the server process's own, start-up included (wall: the paging), and its peak memory the process's.$serve_note"
  echo
  echo "| text: command | wall (s) | processor (s) | MB/s (processor) | peak memory (MiB) |"
  echo "|---|---:|---:|---:|---:|"
  for i in "${!commands[@]}"; do
    [ -n "${timed[$i]}" ] || continue
    echo "| ${labels[$i]} | $(secs "${walls[$i]}") | $(secs "${cpus[$i]}") | $(awk -v b="${sizes[$i]}" -v u="${cpus[$i]}" 'BEGIN { printf "%.2f", b / u }') | $(mib "${peaks[$i]}") |"
  done
  echo
  echo "## Targets"
  echo
  echo "| target | measured | |"
  echo "|---|---|---|"
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
  verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a <= b) ? "met" : "missed" }'; }
  m=$(row "10m: mecab (ipadic, UTF-8)")
  if [ "$m" -ge 0 ]; then
    for t in "--forms:1.0" ":0.5" "--forms --cache-pages $whole_frames:1.0" " --cache-pages $whole_frames:1.0"; do
      IFS=: read -r flags bound <<<"$t"
      flags="${flags# }"
      label="10m: dodevuz get --all --euc${flags:+ $flags}"
      i=$(row "$label")
      [ "$i" -ge 0 ] || continue
      echo "| \`get --all${flags:+ $flags}\` on 10 MB: at most ${bound}x mecab's processor time | $(secs "${cpus[$i]}") s vs $(secs "${cpus[$m]}") s: $(ratio "${cpus[$i]}" "${cpus[$m]}") x | $(awk -v a="${cpus[$i]}" -v b="${cpus[$m]}" -v r="$bound" 'BEGIN { print (a <= r * b) ? "met" : "missed" }') |"
    done
  fi
  k=$(row "10m: kakasi -Ja -Ha -Ka -Ea -s -ieuc")
  w=$(row "10m: dodevuz get --all --euc")
  if [ "$k" -ge 0 ] && [ "$w" -ge 0 ]; then
    echo "| \`get --all\` on 10 MB at least as fast as kakasi (processor time) | $(secs "${cpus[$w]}") s vs $(secs "${cpus[$k]}") s: $(ratio "${cpus[$w]}" "${cpus[$k]}") x | $(verdict "${cpus[$w]}" "${cpus[$k]}") |"
  fi
  g=$(row "40k: dodevuz get --euc")
  f=$(row "40k: dodevuz get --euc --forms")
  if [ "$g" -ge 0 ] && [ "$f" -ge 0 ]; then
    echo "| one Get of the 40 kB passage with \`--forms\`: at most 1.5x the classic Get's processor time | $(awk -v u="${cpus[$f]}" 'BEGIN { printf "%.0f", u / 1000 }') ms vs $(awk -v u="${cpus[$g]}" 'BEGIN { printf "%.0f", u / 1000 }') ms: $(ratio "${cpus[$f]}" "${cpus[$g]}") x | $(awk -v a="${cpus[$f]}" -v b="${cpus[$g]}" 'BEGIN { print (a <= 1.5 * b) ? "met" : "missed" }') |"
  fi
  s=$(row "1m: dodevuz serve, every page --forms (server)")
  if [ "$s" -ge 0 ]; then
    echo "| the reading page's server: every page of the 1 MB corpus in the forms mode in under 3 s of server processor time | $(secs "${cpus[$s]}") s | $(awk -v a="${cpus[$s]}" 'BEGIN { print (a < 3e6) ? "met" : "missed" }') |"
  fi
  for t in ":40" " --forms:40" " --cache-pages 48:8"; do
    IFS=: read -r flags bound <<<"$t"
    i=$(row "10m: dodevuz get --all --euc$flags")
    [ "$i" -ge 0 ] || continue
    echo "| \`get --all$flags\` on 10 MB below $bound MB of peak memory | $(mib "${peaks[$i]}") MiB ($(awk -v k="${peaks[$i]}" 'BEGIN { printf "%.1f", k * 1024 / 1e6 }') MB) | $(awk -v k="${peaks[$i]}" -v b="$bound" 'BEGIN { print (k * 1024 < b * 1e6) ? "met" : "missed" }') |"
  done
  echo
  [ -f "$root/bench/whole-text-notes.md" ] && cat "$root/bench/whole-text-notes.md"
} >"$report"
cat "$report"
