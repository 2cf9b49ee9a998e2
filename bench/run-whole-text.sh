#!/usr/bin/env bash
# Whole texts: `dodevuz get --all` on the 1 MB and 10 MB corpora in every
# encoding the corpus has, with 48 frames and with a frame for every page of
# the full dictionary, beside kakasi and mecab converting the same text, in
# the same run. `make bench` runs it after the benchmark of one Get.
#
#   bench/run-whole-text.sh
#
# Environment: BENCH_BUILD (default build-bench), BENCH_DICT (default dict/),
# BENCH_WHOLE_RUNS (runs of each command, default 1), BENCH_WHOLE_OUT (the
# report, default docs/whole-text.md).
#
# Throughput is MB of text (counted in EUC-JP) per second of processor time
# of the process (user + system); wall time and peak memory (ru_maxrss) come
# from the same runs, made without a shell by bench/run_process.cpp. Before
# the timings, the listings of --all on the 1 MB corpus must agree byte for
# byte across the encodings and the cache sizes.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build-bench}"
dict="${BENCH_DICT:-$root/dict}"
corpus="$root/corpus"
runs="${BENCH_WHOLE_RUNS:-1}"
report="${BENCH_WHOLE_OUT:-$root/docs/whole-text.md}"
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

if [ ! -f "$dict/edict" ] || [ ! -f "$dict/edict.jdx" ] || [ ! -f "$dict/kanarom.cnv" ]; then
  "$root/scripts/get-full-dictionary.sh" "$dict"
fi
if [ ! -f "$corpus/corpus-1m.sjis" ] || [ ! -f "$corpus/corpus-10m.utf8" ]; then
  "$root/scripts/make-corpus.sh" "$corpus"
fi
# A frame for every page of both files.
page=$((0x3000))
whole_frames=$(( ($(wc -c <"$dict/edict") + page - 1) / page + ($(wc -c <"$dict/edict.jdx") + page - 1) / page ))

echo "Checking get --all on the 1 MB corpus across encodings and cache sizes..."
for m in euc:--euc:48 euc:--euc:"$whole_frames" sjis:--shift:48 utf8:--utf8:48; do
  IFS=: read -r ext option frames <<<"$m"
  "$dodevuz" get --all "$option" -C "$dict" --cache-pages "$frames" --raw --pane listing \
    "$corpus/corpus-1m.$ext" >"$work/all-$ext-$frames.listing" || fail "get --all $option"
  cmp -s "$work/all-euc-48.listing" "$work/all-$ext-$frames.listing" ||
    fail "get --all $option --cache-pages $frames lists the 1 MB corpus otherwise"
done
all_bytes=$(wc -c <"$work/all-euc-48.listing")
# Every byte of the corpus listed: a Get of each 40,000-byte passage alone
# would stop at its listing's end; --all must list the last line too.
last_line=$(tail -c 200 "$corpus/corpus-1m.euc" | tr -d '\n' | tail -c 20)

declare -a labels inputs commands sizes
add() {  # label text-bytes stdin command...
  labels+=("$1")
  sizes+=("$2")
  inputs+=("$3")
  shift 3
  commands+=("$*")
}
for c in 1m 10m; do
  size=$(wc -c <"$corpus/corpus-$c.euc")
  for m in euc:--euc sjis:--shift utf8:--utf8; do
    IFS=: read -r ext option <<<"$m"
    for frames in 48 "$whole_frames"; do
      add "$c: dodevuz get --all $option --cache-pages $frames" "$size" "" \
        "$dodevuz" get --all "$option" -C "$dict" --cache-pages "$frames" "$corpus/corpus-$c.$ext"
    done
  done
  if command -v kakasi >/dev/null; then
    add "$c: kakasi -Ja -Ha -Ka -Ea -s -ieuc" "$size" "$corpus/corpus-$c.euc" kakasi -Ja -Ha -Ka -Ea -s -ieuc
  fi
  if command -v mecab >/dev/null; then
    add "$c: mecab (ipadic, UTF-8)" "$size" "$corpus/corpus-$c.utf8" mecab
  fi
done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "Timing whole texts, $runs run(s) each..."
declare -a walls cpus peaks
for i in "${!commands[@]}"; do
  read -r -a argv <<<"${commands[$i]}"
  "$runner" --runs "$runs" --warmup 0 --stdin "${inputs[$i]}" -- "${argv[@]}" >"$work/run.kv" ||
    fail "${labels[$i]}"
  walls+=("$(sed -n 's/^wall_us=//p' "$work/run.kv")")
  cpus+=("$(sed -n 's/^cpu_us=//p' "$work/run.kv")")
  peaks+=("$(sed -n 's/^peak_kib=//p' "$work/run.kv")")
  echo "  ${labels[$i]}: $(awk -v u="${cpus[$i]}" 'BEGIN { printf "%.2f", u / 1e6 }') s"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

secs() { awk -v u="$1" 'BEGIN { printf "%.2f", u / 1e6 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
row() { for i in "${!labels[@]}"; do [ "${labels[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }

{
  echo "# Whole texts"
  echo
  echo "Made by \`bench/run-whole-text.sh\` (part of \`make bench\`) on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores of $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), load average $load_before at the start and $load_after at the end; every figure comes from this one run."
  echo
  echo "\`dodevuz get --all\` lists every byte of a text, page after page, each page starting where the last listing stopped, and prints the listing and the romaji text (both panes, UTF-8). kakasi spells the same text in romaji (EUC-JP in); mecab segments it (UTF-8 in). The 1 MB corpus is the benchmark's 25 passages; the 10 MB corpus is every line of prose of Debian's \`manpages-ja\`, and from the first again, up to 10 MB. MB/s: MB of text (in EUC-JP) per second of processor time (user + system of the process). $runs run(s) each, without a shell. The listings of \`--all\` on the 1 MB corpus were byte-identical in EUC-JP, Shift-JIS and UTF-8 and with 48 and $whole_frames frames ($all_bytes bytes; the run fails otherwise)."
  echo
  echo "| text: command | wall (s) | processor (s) | MB/s (processor) | peak memory (MiB) |"
  echo "|---|---:|---:|---:|---:|"
  for i in "${!commands[@]}"; do
    echo "| ${labels[$i]} | $(secs "${walls[$i]}") | $(secs "${cpus[$i]}") | $(awk -v b="${sizes[$i]}" -v u="${cpus[$i]}" 'BEGIN { printf "%.2f", b / u }') | $(mib "${peaks[$i]}") |"
  done
  echo
  echo "## Targets"
  echo
  echo "| target | measured | |"
  echo "|---|---|---|"
  w=$(row "10m: dodevuz get --all --euc --cache-pages $whole_frames")
  w48=$(row "10m: dodevuz get --all --euc --cache-pages 48")
  for peer in "mecab (ipadic, UTF-8)" "kakasi -Ja -Ha -Ka -Ea -s -ieuc"; do
    p=$(row "10m: $peer")
    [ "$p" -ge 0 ] && [ "$w" -ge 0 ] || continue
    verdict=$(awk -v a="${cpus[$w]}" -v b="${cpus[$p]}" 'BEGIN { print (a <= b) ? "met" : "missed" }')
    echo "| \`get --all --cache-pages $whole_frames\` on 10 MB at least as fast as ${peer%% *} (processor time) | $(secs "${cpus[$w]}") s vs $(secs "${cpus[$p]}") s: $(awk -v a="${cpus[$w]}" -v b="${cpus[$p]}" 'BEGIN { printf "%.2f", a / b }') x | $verdict |"
  done
  if [ "$w48" -ge 0 ]; then
    echo "| \`get --all\` with 48 frames below 8 MiB on 10 MB | $(mib "${peaks[$w48]}") MiB | $(awk -v k="${peaks[$w48]}" 'BEGIN { print (k <= 8192) ? "met" : "missed" }') |"
  fi
  echo
  [ -f "$root/bench/whole-text-notes.md" ] && cat "$root/bench/whole-text-notes.md"
} >"$report"
cat "$report"
