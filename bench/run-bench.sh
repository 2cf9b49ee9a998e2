#!/usr/bin/env bash
# `make bench`: the benchmark of a Get on real text with the full dictionary.
#
#   bench/run-bench.sh
#
# Environment: BENCH_BUILD (build folder, default build-bench), BENCH_DICT
# (default dict/), BENCH_REPEAT (timed Gets per mode, default 21),
# BENCH_RUNS (whole-process runs per command, default 20), BENCH_OUT (the
# report, default docs/performance.md).
#
# In one run, on the 40,000-byte passage of corpus/ and the dictionary of
# dict/ (both made here when missing, never committed):
# 1. a Get timed step by step in three modes, each its own process: (a) the
#    page cache with 48 frames, (b) with a frame for every page of both files,
#    (c) the reference store, both files in memory and no cache; the listing
#    and romaji texts of the three must be identical byte for byte, and so
#    must those of the 1 MB corpus, got in 40,000-byte passages;
# 2. the counts that explain the times, from the counting build;
# 3. `dodevuz get` as a whole process beside kakasi and mecab, when present;
# 4. `dodevuz index` on the full dictionary;
# then writes the report with the machine's description and prints it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build-bench}"
dict="${BENCH_DICT:-$root/dict}"
corpus="$root/corpus"
repeat="${BENCH_REPEAT:-21}"
runs="${BENCH_RUNS:-20}"
report="${BENCH_OUT:-$root/docs/performance.md}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "bench: FAILED: $*" >&2
  exit 1
}

# ---- Tools, build, data ------------------------------------------------------

tools=(kakasi mecab mecab-ipadic-utf8 time hyperfine)
missing=()
for p in "${tools[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" = 0 ]; then
  echo "Installing ${missing[*]} for the comparison..."
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1; then
    apt-get update -qq >/dev/null 2>&1 || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null 2>&1 ||
      echo "Could not install ${missing[*]}; the comparison leaves them out."
  fi
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDODEVUZ_BENCH=ON -DDODEVUZ_TESTS=OFF >/dev/null
cmake --build "$build" --target dodevuz bench_programs -j 2 >/dev/null
dodevuz="$build/dodevuz"
bench="$build/bench"

if [ ! -f "$dict/edict" ] || [ ! -f "$dict/edict.jdx" ] || [ ! -f "$dict/kanarom.cnv" ]; then
  "$root/scripts/get-full-dictionary.sh" "$dict"
fi
[ -f "$dict/edict.jdx" ] || fail "no $dict/edict.jdx"
[ -f "$dict/kanarom.cnv" ] || cp "$root/data/kanarom.cnv" "$dict/"
if [ ! -f "$corpus/passage-40k.sjis" ] || [ ! -f "$corpus/corpus-1m.sjis" ]; then
  "$root/scripts/make-corpus.sh" "$corpus"
fi
passage="$corpus/passage-40k"

# ---- 1. The three modes ------------------------------------------------------

value() { sed -n "s/^$2=//p" "$work/$1.kv" | head -n 1; }

run_mode() {  # name program frames
  "$bench/$2" --dict "$dict" --passage "$passage.sjis" --expect-euc "$passage.euc" \
    --frames "$3" --repeat "$repeat" --listing "$work/$1.listing" --romaji "$work/$1.romaji" \
    >"$work/$1.kv" || fail "mode $1 ($2)"
}

echo "Timing a Get on the 40,000-byte passage, $repeat times in each mode..."
run_mode a dodevuz-bench-get 48
run_mode b dodevuz-bench-get whole
run_mode c dodevuz-bench-ref 48
"$bench/dodevuz-bench-count" --dict "$dict" --passage "$passage.sjis" --repeat 1 \
  --listing "$work/count.listing" --romaji "$work/count.romaji" >"$work/count.kv" ||
  fail "the counting build"

for m in b c count; do
  cmp -s "$work/a.listing" "$work/$m.listing" || fail "the listing of mode $m differs from mode a"
  cmp -s "$work/a.romaji" "$work/$m.romaji" || fail "the romaji of mode $m differs from mode a"
done

echo "Comparing the listings of the 1 MB corpus in the three modes..."
for m in a:dodevuz-bench-get:48 b:dodevuz-bench-get:whole c:dodevuz-bench-ref:48; do
  IFS=: read -r name program frames <<<"$m"
  "$bench/$program" --dict "$dict" --passage "$corpus/corpus-1m.sjis" --frames "$frames" --chunks \
    --listing "$work/1m-$name.listing" --romaji "$work/1m-$name.romaji" >"$work/1m-$name.kv" ||
    fail "corpus, mode $name"
done
for m in b c; do
  cmp -s "$work/1m-a.listing" "$work/1m-$m.listing" || fail "1 MB corpus: the listings of mode $m differ"
  cmp -s "$work/1m-a.romaji" "$work/1m-$m.romaji" || fail "1 MB corpus: the romaji of mode $m differs"
done

# The counting build's calls against the cache's own statistics.
dict_byte_calls=$(value count dict_byte_calls)
index_entry_calls=$(value count index_entry_calls)
[ "$dict_byte_calls" = $(($(value a text_hits) + $(value a text_misses))) ] ||
  fail "dict_byte calls ($dict_byte_calls) and text hits + misses disagree"
[ "$index_entry_calls" = $(($(value a index_hits) + $(value a index_misses))) ] ||
  fail "index_entry calls ($index_entry_calls) and index hits + misses disagree"
[ "$(value count load_page_calls)" = "$(value a page_loads)" ] ||
  fail "load_page calls and page loads disagree"

# ---- 3. Whole processes ------------------------------------------------------

whole_frames=$(value b frames)
declare -a labels commands
add_command() { labels+=("$1"); commands+=("$2"); }
add_command "dodevuz get --cache-pages 48" \
  "$dodevuz get --shift -C $dict --cache-pages 48 $passage.sjis >/dev/null"
add_command "dodevuz get --cache-pages $whole_frames" \
  "$dodevuz get --shift -C $dict --cache-pages $whole_frames $passage.sjis >/dev/null"
if command -v kakasi >/dev/null; then
  add_command "kakasi -Ja -Ha -Ka -Ea -s -ieuc" \
    "kakasi -Ja -Ha -Ka -Ea -s -ieuc <$passage.euc >/dev/null"
fi
if command -v mecab >/dev/null; then
  add_command "mecab (ipadic, UTF-8)" "mecab <$passage.utf8 >/dev/null"
fi

for i in "${!commands[@]}"; do
  bash -c "${commands[$i]}" || fail "${labels[$i]} failed"
done

echo "Timing the whole processes, $runs runs each..."
declare -a medians peaks
if command -v hyperfine >/dev/null; then
  hyperfine --style none --warmup 3 --runs "$runs" --export-csv "$work/hf.csv" "${commands[@]}" >/dev/null
  # command,mean,stddev,median,user,system,min,max (seconds)
  mapfile -t medians < <(tail -n +2 "$work/hf.csv" | awk -F, '{ printf "%.2f\n", $(NF-4) * 1000 }')
  timer="hyperfine, $runs runs after 3 warm-up runs, median"
else
  for i in "${!commands[@]}"; do
    for r in $(seq "$runs"); do
      s=$(date +%s%N); bash -c "${commands[$i]}"; e=$(date +%s%N); echo $(((e - s) / 1000))
    done | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f\n", v[int((NR + 1) / 2)] / 1000 }' >"$work/m"
    medians+=("$(cat "$work/m")")
  done
  timer="date, $runs runs, median (hyperfine not installed)"
fi
for i in "${!commands[@]}"; do
  peak=$(for r in 1 2 3; do
    /usr/bin/time -f %M -o "$work/rss" bash -c "exec ${commands[$i]}"; cat "$work/rss"
  done | sort -n | tail -n 1)
  peaks+=("$peak")
done

# ---- 4. The index of the full dictionary ------------------------------------

mkdir "$work/index"
ln -s "$dict/edict" "$work/index/edict"
index_times=()
index_peak=0
for r in 1 2 3; do
  /usr/bin/time -f '%e %M' -o "$work/index.time" "$dodevuz" index -C "$work/index" >"$work/index.out"
  read -r secs kib <"$work/index.time"
  index_times+=("$secs")
  [ "$kib" -gt "$index_peak" ] && index_peak=$kib
done
cmp -s "$work/index/edict.jdx" "$dict/edict.jdx" || fail "the index built now differs from $dict/edict.jdx"
index_secs=$(printf '%s\n' "${index_times[@]}" | sort -n | sed -n 2p)
index_line=$(head -n 1 "$work/index.out")

# ---- The report --------------------------------------------------------------

ms() { awk -v us="$1" 'BEGIN { printf "%.2f", us / 1000 }'; }
ratio() { awk -v x="$1" -v y="$2" 'BEGIN { printf "%.2f", x / y }'; }
verdict() { awk -v x="$1" -v bound="$2" 'BEGIN { print (x <= bound) ? "met" : "missed" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

steps=(intake open listing pane table romaji)
step_titles=("intake (Shift-JIS to kanji buffer)" "open_dictionaries" "build_listing"
  "create_listing_pane" "load_romaji_table" "build_romaji_text")
get_a=$(value a get_us); get_b=$(value b get_us); get_c=$(value c get_us)
ratio_a=$(ratio "$get_a" "$get_c"); ratio_b=$(ratio "$get_b" "$get_c")
lookups=$(value count lookup_word_calls)
searches=$(value count search_index_calls)
probes=$(value count compare_key_calls)
hit_rate() {
  awk -v h="$(($(value "$1" text_hits) + $(value "$1" index_hits)))" \
    -v m="$(($(value "$1" text_misses) + $(value "$1" index_misses)))" \
    'BEGIN { printf "%.2f %%", 100 * h / (h + m) }'
}
loads_a=$(value a page_loads); loads_b=$(value b page_loads)
per_load=$(awk -v a="$(value a step_listing_us)" -v b="$(value b step_listing_us)" \
  -v la="$loads_a" -v lb="$loads_b" 'BEGIN { printf "%.2f", (a - b) / (la - lb) }')

{
  echo "# Performance"
  echo
  echo "Made by \`make bench\` (bench/run-bench.sh) on $(date -u '+%Y-%m-%d %H:%M UTC'); every figure below"
  echo "comes from that one run. The notes at the end explain them."
  echo
  echo "## Machine"
  echo
  echo "| | |"
  echo "|---|---|"
  echo "| processor | $(lscpu | sed -n 's/^Model name: *//p' | head -n 1) |"
  echo "| cores | $(nproc) |"
  echo "| memory | $(free -h | awk '/^Mem:/ { print $2 }') |"
  echo "| kernel | $(uname -sr) |"
  echo "| system | $(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME") |"
  echo "| compiler | $(c++ --version | head -n 1), CMake Release (-O3) |"
  echo
  echo "## Data"
  echo
  echo "- Dictionary: \`edict\` of Debian's \`edict\` package, $(wc -c <"$dict/edict") bytes ($(value a text_pages) pages of 0x3000 bytes), \`edict.jdx\` $(wc -c <"$dict/edict.jdx") bytes, $(value a entries) entries ($(value a index_pages) pages)."
  echo "- Passage: corpus/passage-40k (scripts/make-corpus.sh): 40,000 bytes of prose from Debian's \`manpages-ja\`, Shift-JIS; the intake keeps $(value a kanji_bytes) bytes (the kanji buffer). The listing buffer (40,960 bytes) fills after $lookups looked-up words, where the walk stops: a Get lists the passage up to that point."
  echo "- Listing text $(value a listing_bytes) bytes, romaji text $(value a romaji_bytes) bytes."
  echo
  echo "## A Get, step by step"
  echo
  echo "Median of $repeat Gets in one process per mode, after one untimed Get; milliseconds. Every Get starts with a cold cache, as the program's do. The three modes gave byte-identical listing and romaji texts, here and for all 25 passages of the 1 MB corpus (checked by the benchmark, which fails otherwise)."
  echo
  echo "| step | (a) 48 frames | (b) $(value b frames) frames | (c) reference, no cache |"
  echo "|---|---:|---:|---:|"
  for i in "${!steps[@]}"; do
    s=${steps[$i]}
    echo "| ${step_titles[$i]} | $(ms "$(value a "step_${s}_us")") | $(ms "$(value b "step_${s}_us")") | $(ms "$(value c "step_${s}_us")") |"
  done
  echo "| **Get** (median of the sums) | **$(ms "$get_a")** | **$(ms "$get_b")** | **$(ms "$get_c")** |"
  echo "| fastest Get | $(ms "$(value a get_min_us)") | $(ms "$(value b get_min_us)") | $(ms "$(value c get_min_us)") |"
  echo "| peak memory after one Get (ru_maxrss) | $(mib "$(value a peak_kib_first_get)") MiB | $(mib "$(value b peak_kib_first_get)") MiB | $(mib "$(value c peak_kib_first_get)") MiB |"
  echo
  echo "## What a Get does"
  echo
  echo "| count | (a) 48 frames | (b) $(value b frames) frames |"
  echo "|---|---:|---:|"
  echo "| lookups (\`lookup_word\`) | $lookups | $lookups |"
  echo "| searches (\`search_index\`, both modes) | $searches | $searches |"
  echo "| probes (\`compare_key\`) | $probes | $probes |"
  echo "| \`dict_byte\` calls | $dict_byte_calls | $dict_byte_calls |"
  echo "| \`index_entry\` calls | $index_entry_calls | $index_entry_calls |"
  echo "| text hits / misses | $(value a text_hits) / $(value a text_misses) | $(value b text_hits) / $(value b text_misses) |"
  echo "| index hits / misses | $(value a index_hits) / $(value a index_misses) | $(value b index_hits) / $(value b index_misses) |"
  echo "| page loads (one \`pread\` each) | $loads_a | $loads_b |"
  echo "| evictions | $(value a evictions) | $(value b evictions) |"
  echo "| hit rate | $(hit_rate a) | $(hit_rate b) |"
  echo
  echo "Counts from the counting build (bench/call_counts.cpp); its \`dict_byte\`, \`index_entry\` and \`load_page\` calls were checked against the cache's own hits, misses and page loads."
  echo "The 1 MB corpus (25 Gets): $(value 1m-a page_loads) page loads with 48 frames, $(value 1m-b page_loads) with $(value b frames); $(ms "$(value 1m-a chunks_ms)") s, $(ms "$(value 1m-b chunks_ms)") s and $(ms "$(value 1m-c chunks_ms)") s in modes a, b, c."
  echo
  echo "## Whole processes"
  echo
  echo "The same passage: Shift-JIS for \`dodevuz get --shift\` (which prints both panes in UTF-8), EUC-JP for kakasi (romaji), UTF-8 for mecab (segmentation). Timed by $timer; peak memory is the largest ru_maxrss of 3 runs (/usr/bin/time)."
  echo
  echo "| command | time (ms) | peak memory (MiB) |"
  echo "|---|---:|---:|"
  for i in "${!commands[@]}"; do
    echo "| ${labels[$i]} | ${medians[$i]} | $(mib "${peaks[$i]}") |"
  done
  echo
  echo "## Index of the full dictionary"
  echo
  echo "\`dodevuz index\`: median of 3 builds $index_secs s, peak memory $(mib "$index_peak") MiB; the index made is byte-identical to dict/edict.jdx. Its report: $index_line"
  echo
  echo "## Targets"
  echo
  echo "| target | measured | |"
  echo "|---|---|---|"
  echo "| Get with 48 frames at most 10x the reference | $ratio_a x | $(verdict "$ratio_a" 10) |"
  echo "| Get with every page resident at most 1.5x the reference | $ratio_b x | $(verdict "$ratio_b" 1.5) |"
  if command -v kakasi >/dev/null; then
    echo "| \`dodevuz get --cache-pages $whole_frames\` no slower than kakasi | ${medians[1]} ms vs ${medians[2]} ms | $(verdict "${medians[1]}" "${medians[2]}") |"
  fi
  echo "| \`dodevuz get\` with 48 frames below 8 MiB | $(mib "${peaks[0]}") MiB | $(verdict "${peaks[0]}" 8192) |"
  echo "| index of the full dictionary under 5 s | $index_secs s | $(verdict "$index_secs" 5) |"
  echo "| ... and under 500 MB | $(mib "$index_peak") MiB | $(verdict "$index_peak" 488281) |"
  echo
  echo "Page loads beyond those of (b) cost $per_load µs each here: the difference of the listing steps of (a) and (b) over the difference of their page loads."
  echo
  cat "$root/bench/notes.md"
} >"$report"

cat "$report"
