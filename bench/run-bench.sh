#!/usr/bin/env bash
# `make bench`: the benchmark of a Get on real text with the full dictionary.
#
#   bench/run-bench.sh
#
# Environment: BENCH_BUILD (build folder, default build-bench), BENCH_DICT
# (default dict/), BENCH_ROUNDS (default 3) and BENCH_REPEAT (default 7): the
# three modes run in turn, ROUNDS times, each run timing REPEAT Gets; BENCH_RUNS
# (whole-process runs per command, default 20); BENCH_OUT (the report, default
# docs/performance.md).
#
# Times are the processor time of the process (user and system, so the page
# reads count) as well as the wall clock: on a machine that others share, the
# wall clock also counts the time spent waiting for a core, and the processor
# time does not. The targets are judged on the processor time.
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
# 5. whole texts, `dodevuz get --all` beside kakasi and mecab on the 1 MB and
#    10 MB corpora (bench/run-whole-text.sh, its own report);
# then writes the report with the machine's description and prints it.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_BUILD:-$root/build-bench}"
dict="${BENCH_DICT:-$root/dict}"
corpus="$root/corpus"
repeat="${BENCH_REPEAT:-7}"
rounds="${BENCH_ROUNDS:-3}"
runs="${BENCH_RUNS:-20}"
report="${BENCH_OUT:-$root/docs/performance.md}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
  echo "bench: FAILED: $*" >&2
  exit 1
}

# ---- Tools, build, data ------------------------------------------------------

tools=(kakasi mecab mecab-ipadic-utf8)
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

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDODEVUZ_BENCH=ON -DDODEVUZ_TESTS=ON >/dev/null
cmake --build "$build" --target dodevuz bench_programs bench_test scale_test -j 2 >/dev/null
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

ms() { awk -v us="$1" 'BEGIN { printf "%.2f", us / 1000 }'; }

value() { sed -n "s/^$2=//p" "$work/$1.kv" | head -n 1; }
# The median of a timing's samples pooled over every round of a mode.
pooled() {
  for r in $(seq "$rounds"); do sed -n "s/^samples_$2=//p" "$work/$1.$r.kv"; done |
    tr ' ' '\n' | sed '/^$/d' | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

run_mode() {  # name round program frames
  "$bench/$3" --dict "$dict" --passage "$passage.sjis" --expect-euc "$passage.euc" \
    --frames "$4" --repeat "$repeat" --listing "$work/$1.listing" --romaji "$work/$1.romaji" \
    >"$work/$1.$2.kv" || fail "mode $1 ($3)"
  [ "$2" != 1 ] || cp "$work/$1.$2.kv" "$work/$1.kv"
  cmp -s <(grep -v -e '_us=' -e '^peak' "$work/$1.kv") <(grep -v -e '_us=' -e '^peak' "$work/$1.$2.kv") ||
    fail "mode $1 counted otherwise in round $2"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "Timing a Get on the 40,000-byte passage: $rounds rounds of the three modes, $repeat Gets each..."
for r in $(seq "$rounds"); do
  run_mode a "$r" dodevuz-bench-get 48
  run_mode b "$r" dodevuz-bench-get whole
  run_mode c "$r" dodevuz-bench-ref 48
done
"$bench/dodevuz-bench-count" --dict "$dict" --passage "$passage.sjis" --repeat 1 \
  --listing "$work/count.listing" --romaji "$work/count.romaji" >"$work/count.kv" ||
  fail "the counting build"

"$bench/dodevuz-bench-trace" --dict "$dict" --passage "$passage.sjis" --repeat 1 \
  --listing "$work/trace.listing" --romaji "$work/trace.romaji" >"$work/trace.kv" ||
  fail "the trace build"

for m in b c count trace; do
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

echo "The benchmark's own tests and the scale test (48 frames against every page resident)..."
for t in bench_test scale_test; do
  "$build/bench/$t" --gtest_brief=1 >"$work/$t.out" 2>&1 || {
    cat "$work/$t.out"
    fail "$t"
  }
done

# The counting build's calls against the cache's own statistics.
# Every byte read is an access of the cache, whether one dict_byte call reads
# it or a line read of the store that reads many; every entry read likewise,
# whether index_entry reads it or compare_key's run of a resident page.
dict_byte_calls=$(value count dict_byte_calls)
index_entry_calls=$(value count index_entry_calls)
text_accesses=$(($(value a text_hits) + $(value a text_misses)))
index_accesses=$(($(value a index_hits) + $(value a index_misses)))
accesses_total=$((text_accesses + index_accesses))
[ "$dict_byte_calls" -le "$text_accesses" ] ||
  fail "more dict_byte calls ($dict_byte_calls) than text hits + misses"
[ "$index_entry_calls" -le "$index_accesses" ] ||
  fail "more index_entry calls ($index_entry_calls) than index hits + misses"
[ "$(value count load_page_calls)" = "$(value a page_loads)" ] ||
  fail "load_page calls and page loads disagree"
# LRU replayed on the trace, apart from the store, must load what the store loads.
[ "$(value trace lru_loads_48)" = "$(value a page_loads)" ] ||
  fail "the store's page loads with 48 frames differ from LRU replayed on the trace"
[ "$(value trace lru_loads_whole)" = "$(value b page_loads)" ] ||
  fail "the store's page loads with every page resident differ from LRU replayed on the trace"
[ "$(value trace trace_accesses)" = "$accesses_total" ] ||
  fail "the trace holds another number of accesses than the cache counted"

# ---- 3. Whole processes ------------------------------------------------------

# Each command runs without a shell (bench/run_process.cpp): its standard
# input from a file (none: /dev/null), its output discarded.
whole_frames=$(value b frames)
declare -a labels inputs commands
add_command() {  # label stdin command...
  labels+=("$1")
  inputs+=("$2")
  shift 2
  commands+=("$*")
}
add_command "dodevuz get --cache-pages 48" "" \
  "$dodevuz" get --shift -C "$dict" --cache-pages 48 "$passage.sjis"
add_command "dodevuz get --cache-pages $whole_frames" "" \
  "$dodevuz" get --shift -C "$dict" --cache-pages "$whole_frames" "$passage.sjis"
if command -v kakasi >/dev/null; then
  add_command "kakasi -Ja -Ha -Ka -Ea -s -ieuc" "$passage.euc" kakasi -Ja -Ha -Ka -Ea -s -ieuc
fi
if command -v mecab >/dev/null; then
  add_command "mecab (ipadic, UTF-8)" "$passage.utf8" mecab
fi
# The whole process by cache size, between the two first.
for n in 192 384 768 1536; do
  [ "$n" -lt "$whole_frames" ] || continue
  add_command "dodevuz get --cache-pages $n" "" \
    "$dodevuz" get --shift -C "$dict" --cache-pages "$n" "$passage.sjis"
done

echo "Timing the whole processes, $runs runs each..."
declare -a medians cpus peaks
for i in "${!commands[@]}"; do
  read -r -a argv <<<"${commands[$i]}"
  "$bench/dodevuz-bench-run" --runs "$runs" --warmup 3 --stdin "${inputs[$i]}" -- "${argv[@]}" \
    >"$work/process.kv" || fail "${labels[$i]}"
  medians+=("$(ms "$(sed -n 's/^wall_us=//p' "$work/process.kv")")")
  cpus+=("$(ms "$(sed -n 's/^cpu_us=//p' "$work/process.kv")")")
  peaks+=("$(sed -n 's/^peak_kib=//p' "$work/process.kv")")
done
timer="$runs runs after 3 warm-up runs, without a shell: median wall time, median processor time (user + system of the process), largest peak memory (ru_maxrss)"

# ---- 4. The index of the full dictionary ------------------------------------

mkdir "$work/index"
ln -s "$dict/edict" "$work/index/edict"
"$dodevuz" index -C "$work/index" >"$work/index.out" || fail "dodevuz index"
cmp -s "$work/index/edict.jdx" "$dict/edict.jdx" || fail "the index built now differs from $dict/edict.jdx"
index_line=$(head -n 1 "$work/index.out")
"$bench/dodevuz-bench-run" --runs 3 --warmup 0 -- "$dodevuz" index -C "$work/index" >"$work/index.kv" ||
  fail "dodevuz index"
index_secs=$(awk -v us="$(sed -n 's/^wall_us=//p' "$work/index.kv")" 'BEGIN { printf "%.2f", us / 1e6 }')
index_cpu=$(awk -v us="$(sed -n 's/^cpu_us=//p' "$work/index.kv")" 'BEGIN { printf "%.2f", us / 1e6 }')
index_peak=$(sed -n 's/^peak_kib=//p' "$work/index.kv")

# ---- The report --------------------------------------------------------------

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
ratio() { awk -v x="$1" -v y="$2" 'BEGIN { printf "%.2f", x / y }'; }
verdict() { awk -v x="$1" -v bound="$2" 'BEGIN { print (x <= bound) ? "met" : "missed" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

steps=(intake open listing pane table romaji)
step_titles=("intake (Shift-JIS to kanji buffer)" "open_dictionaries" "build_listing"
  "create_listing_pane" "load_romaji_table" "build_romaji_text")
cpu_a=$(pooled a get_cpu_us); cpu_b=$(pooled b get_cpu_us); cpu_c=$(pooled c get_cpu_us)
ratio_a=$(ratio "$cpu_a" "$cpu_c"); ratio_b=$(ratio "$cpu_b" "$cpu_c")
wall_a=$(pooled a get_us); wall_b=$(pooled b get_us); wall_c=$(pooled c get_us)
lookups=$(value count lookup_word_calls)
searches=$(value count search_index_calls)
probes=$(value count compare_key_calls)
hit_rate() {
  awk -v h="$(($(value "$1" text_hits) + $(value "$1" index_hits)))" \
    -v m="$(($(value "$1" text_misses) + $(value "$1" index_misses)))" \
    'BEGIN { printf "%.2f %%", 100 * h / (h + m) }'
}
loads_a=$(value a page_loads); loads_b=$(value b page_loads)
listing_a=$(pooled a step_listing_cpu_us); listing_b=$(pooled b step_listing_cpu_us)
listing_c=$(pooled c step_listing_cpu_us)
per_load=$(awk -v a="$listing_a" -v b="$listing_b" -v la="$loads_a" -v lb="$loads_b" \
  'BEGIN { printf "%.2f", (a - b) / (la - lb) }')
accesses=$accesses_total
per_access=$(awk -v b="$listing_b" -v c="$listing_c" -v l="$loads_b" -v p="$per_load" -v n="$accesses" \
  'BEGIN { printf "%.1f", (b - c - l * p) * 1000 / n }')

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
  echo "| load average (1, 5, 15 min) | $load_before at the start, $load_after at the end |"
  echo
  echo "## Data"
  echo
  echo "- Dictionary: \`edict\` of Debian's \`edict\` package, $(wc -c <"$dict/edict") bytes ($(value a text_pages) pages of 0x3000 bytes), \`edict.jdx\` $(wc -c <"$dict/edict.jdx") bytes, $(value a entries) entries ($(value a index_pages) pages)."
  echo "- Passage: corpus/passage-40k (scripts/make-corpus.sh): 40,000 bytes of prose from Debian's \`manpages-ja\`, Shift-JIS; the intake keeps $(value a kanji_bytes) bytes (the kanji buffer). The listing buffer (40,960 bytes) fills after $lookups looked-up words, and the walk stops there: a Get lists the passage up to that point."
  echo "- Listing text $(value a listing_bytes) bytes, romaji text $(value a romaji_bytes) bytes."
  echo
  echo "## A Get, step by step"
  echo
  echo "Processor time in milliseconds, median of $((rounds * repeat)) Gets per mode ($rounds processes per mode, run in turn with the other modes, $repeat timed Gets each after one untimed Get). Every Get starts with a cold cache, as the program's do. The three modes gave byte-identical listing and romaji texts, here and for all 25 passages of the 1 MB corpus (the benchmark fails otherwise)."
  echo
  echo "| step | (a) 48 frames | (b) $(value b frames) frames | (c) reference, no cache |"
  echo "|---|---:|---:|---:|"
  for i in "${!steps[@]}"; do
    s=${steps[$i]}
    echo "| ${step_titles[$i]} | $(ms "$(pooled a "step_${s}_cpu_us")") | $(ms "$(pooled b "step_${s}_cpu_us")") | $(ms "$(pooled c "step_${s}_cpu_us")") |"
  done
  echo "| **Get** | **$(ms "$cpu_a")** | **$(ms "$cpu_b")** | **$(ms "$cpu_c")** |"
  echo "| Get, wall clock | $(ms "$wall_a") | $(ms "$wall_b") | $(ms "$wall_c") |"
  echo "| first Get of a process (untimed above; fresh frames) | $(ms "$(value a first_get_cpu_us)") | $(ms "$(value b first_get_cpu_us)") | $(ms "$(value c first_get_cpu_us)") (reads both files) |"
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
  echo "| text bytes read (text hits + misses) | $text_accesses | $text_accesses |"
  echo "| \`index_entry\` calls | $index_entry_calls | $index_entry_calls |"
  echo "| text hits / misses | $(value a text_hits) / $(value a text_misses) | $(value b text_hits) / $(value b text_misses) |"
  echo "| index hits / misses | $(value a index_hits) / $(value a index_misses) | $(value b index_hits) / $(value b index_misses) |"
  echo "| page loads (one \`pread\` each) | $loads_a | $loads_b |"
  echo "| evictions | $(value a evictions) | $(value b evictions) |"
  echo "| hit rate | $(hit_rate a) | $(hit_rate b) |"
  echo "| use clock advance | $(value a use_clock_advance) | $(value b use_clock_advance) |"
  echo
  echo "Page loads of the same Get by the number of frames, from the trace of its $(value trace trace_accesses) accesses to $(value trace trace_pages) distinct pages (bench/replacement.cpp): least-recently-used replacement, which the store does (replayed apart from the store, it gives the store's own counts for 48 frames and for the whole cache: checked), and the optimal replacement, which evicts the page needed furthest ahead: no replacement order needs fewer loads. Times at $per_load µs a load."
  echo
  echo "| frames | LRU loads | optimal loads | LRU loads' time (ms) | optimal loads' time (ms) |"
  echo "|---:|---:|---:|---:|---:|"
  for f in $(value trace trace_frames); do
    lru=$(value trace "lru_loads_$f"); opt=$(value trace "optimal_loads_$f")
    label=$f; [ "$f" = whole ] && label="$(value b frames) (all)"
    echo "| $label | $lru | $opt | $(awk -v n="$lru" -v c="$per_load" 'BEGIN { printf "%.1f", n * c / 1000 }') | $(awk -v n="$opt" -v c="$per_load" 'BEGIN { printf "%.1f", n * c / 1000 }') |"
  done
  echo
  echo "Calls counted by the counting build (bench/call_counts.cpp), whose \`dict_byte\`, \`index_entry\` and \`load_page\` calls were checked against the cache's own hits, misses and page loads."
  echo "The 1 MB corpus (25 Gets, once each): $(value 1m-a page_loads) page loads with 48 frames, $(value 1m-b page_loads) with $(value b frames); $(ms "$(value 1m-a chunks_ms)") s, $(ms "$(value 1m-b chunks_ms)") s and $(ms "$(value 1m-c chunks_ms)") s of wall clock in modes a, b, c."
  echo
  echo "## Whole processes"
  echo
  echo "The same passage: Shift-JIS for \`dodevuz get --shift\` (which prints both panes in UTF-8), EUC-JP for kakasi (romaji), UTF-8 for mecab (segmentation). $timer (bench/run_process.cpp)."
  echo
  echo "| command | wall (ms) | processor (ms) | peak memory (MiB) |"
  echo "|---|---:|---:|---:|"
  for i in "${!commands[@]}"; do
    echo "| ${labels[$i]} | ${medians[$i]} | ${cpus[$i]} | $(mib "${peaks[$i]}") |"
  done
  echo
  echo "## Index of the full dictionary"
  echo
  echo "\`dodevuz index\`: median of 3 builds $index_secs s of wall clock, $index_cpu s of processor time; largest peak memory $(mib "$index_peak") MiB; the index made is byte-identical to dict/edict.jdx. Its report: $index_line"
  echo
  echo "## Targets"
  echo
  echo "| target | measured | |"
  echo "|---|---|---|"
  echo "| Get with 48 frames at most 10x the reference | $ratio_a x | $(verdict "$ratio_a" 10) |"
  echo "| Get with every page resident at most 1.5x the reference | $ratio_b x | $(verdict "$ratio_b" 1.5) |"
  if command -v kakasi >/dev/null; then
    echo "| \`dodevuz get --cache-pages $whole_frames\` no slower than kakasi (processor time) | ${cpus[1]} ms vs ${cpus[2]} ms | $(verdict "${cpus[1]}" "${cpus[2]}") |"
  fi
  echo "| \`dodevuz get\` with 48 frames below 8 MiB | $(mib "${peaks[0]}") MiB | $(verdict "${peaks[0]}" 8192) |"
  echo "| index of the full dictionary under 5 s | $index_secs s (processor $index_cpu s) | $(verdict "$index_secs" 5) |"
  echo "| ... and under 500 MB | $(mib "$index_peak") MiB | $(verdict "$index_peak" 488281) |"
  echo
  echo "Where the time of (a) and (b) goes beyond (c), from the listing steps: a page load costs $per_load µs (the difference of (a) and (b) over the difference of their page loads), and an access through the cache (\`dict_byte\` or \`index_entry\`) $per_access ns more than a read of the file in memory ((b) less (c) less (b)'s page loads, over the $accesses accesses)."
  echo
  cat "$root/bench/notes.md"
} >"$report"

cat "$report"

# ---- 5. Whole texts -----------------------------------------------------------

BENCH_BUILD="$build" BENCH_DICT="$dict" "$root/bench/run-whole-text.sh"
