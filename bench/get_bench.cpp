// The benchmark of one Get: runs the Get chain on a Shift-JIS passage, step
// by step as the shell runs it, times every step over several repetitions,
// and prints the medians, the counts of the page cache, the peak memory and
// (in the counting build) the calls of the lookup's procedures as
// `key=value` lines for bench/run-bench.sh. The listing text and the romaji
// text are written to files, so that the driver can compare the modes byte
// for byte.
//
// The same source makes three programs (bench/CMakeLists.txt):
//   dodevuz-bench-get    the page cache of store/ (48 frames, or as many as
//                        --frames asks, "whole" = every page of both files)
//   dodevuz-bench-ref    the reference store: both files in memory, no cache
//   dodevuz-bench-count  the page cache, with the lookup and the store
//                        compiled to count their calls (never timed)
//
//   dodevuz-bench-* --dict DIR --passage FILE [--frames N|whole] [--repeat R]
//                   [--expect-euc FILE] [--listing OUT] [--romaji OUT]
//                   [--chunks]
//
// --chunks runs one Get per 40,000-byte piece of the passage file (the 1 MB
// corpus) and writes all listings and romaji texts one after the other.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/call_counts.h"
#if defined(DODEVUZ_BENCH_TRACE)
#include "bench/replacement.h"
#endif
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/in_memory.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"

namespace {

#if defined(DODEVUZ_BENCH_TRACE)
constexpr const char* kStoreName = "trace";
#elif defined(DODEVUZ_BENCH_REFERENCE)
constexpr const char* kStoreName = "reference";
#elif defined(DODEVUZ_COUNTERS)
constexpr const char* kStoreName = "counting";
#else
constexpr const char* kStoreName = "page-cache";
#endif

constexpr size_t kPassageBytes = 40000;  // one kanji buffer's worth of a file

// The steps of the Get chain, in the order the shell runs them.
enum Step { kIntake, kOpen, kListing, kPane, kTable, kRomaji, kStepCount };
const char* const kStepNames[kStepCount] = {"intake", "open", "listing", "pane", "table", "romaji"};

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "dodevuz-bench: %s\n", what.c_str());
  std::exit(1);
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_all(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) fail("cannot write " + path);
}

uint32_t size_of(const std::string& path) {
  uint32_t size = 0;
  if (file_size(path.c_str(), &size) != 0) fail("no file " + path);
  return size;
}

std::string nul_terminated(const unsigned char* text, size_t size) {
  if (text == nullptr) return {};
  const void* nul = std::memchr(text, 0, size);
  size_t n = nul == nullptr ? size : static_cast<const unsigned char*>(nul) - text;
  return std::string(reinterpret_cast<const char*>(text), n);
}

long peak_kib() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

struct Snapshot {
  uint64_t text_hits, text_misses, index_hits, index_misses, page_loads, evictions;
  int64_t use_clock;
};

Snapshot snapshot() {
  return {store.text_hits[0], store.text_misses[0], store.index_hits[0], store.index_misses[0],
          store.page_loads,   store.evictions,      store.use_clock};
}

// The desktop keeps every pane it ever made; each Get starts on an empty one
// so that the repetitions do not pile up pane texts in memory.
void fresh_desktop() {
  reset_desktop();
  shell.listing_pane = nullptr;
  romaji.romaji_pane = nullptr;
}

using Clock = std::chrono::steady_clock;

// The process's processor time (user and system, so page reads count):
// unlike the wall clock, it does not grow while the machine runs others.
double cpu_micros() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

struct StepTimes {
  double wall[kStepCount];  // microseconds
  double cpu[kStepCount];
};

// One Get on the clipboard's Shift-JIS text: the steps of the shell's Get
// command (dispatch of id 109: the intake, then run_get_chain), each timed.
void timed_get(Window main_window, StepTimes* times) {
  Clock::time_point t[kStepCount + 1];
  double c[kStepCount + 1];
  auto mark = [&](int i) {
    c[i] = cpu_micros();
    t[i] = Clock::now();
  };
  shell.main_window = main_window;
  mark(0);
  read_clipboard_sjis(main_window);
  mark(1);
  shell.get_blocks_locked = true;
  open_dictionaries(main_window);
  mark(2);
  build_listing(main_window);
  mark(3);
  create_listing_pane(main_window);
  mark(4);
  load_romaji_table();
  mark(5);
  build_romaji_text(main_window);
  end_where_romaji_stops(main_window);
  mark(6);
  for (int s = 0; s < kStepCount; ++s) {
    times->wall[s] = std::chrono::duration<double, std::micro>(t[s + 1] - t[s]).count();
    times->cpu[s] = c[s + 1] - c[s];
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// A digest of everything the page cache decides: each frame's use stamp and
// owner page, both page tables, the use clock and the counters. Two builds
// of the store that behave alike give the same digest after the same Get.
uint64_t cache_digest() {
  uint64_t h = 14695981039346656037ull;  // FNV-1a, 64 bits
  auto mix = [&h](int64_t v) {
    for (int i = 0; i < 8; ++i) {
      h ^= static_cast<uint64_t>(v >> (8 * i)) & 0xFF;
      h *= 1099511628211ull;
    }
  };
  for (int f = 0; f < store.frame_count; ++f) mix(store.use_stamp[f]);
  for (uint32_t p = 0; store.text_pages[0] != nullptr && p < store.text_page_count[0]; ++p) {
    mix(store.text_pages[0][p]);
  }
  for (uint32_t p = 0; store.index_pages[0] != nullptr && p < store.index_page_count[0]; ++p) {
    mix(store.index_pages[0][p]);
  }
  Snapshot s = snapshot();
  for (int64_t v :
       {int64_t(s.text_hits), int64_t(s.text_misses), int64_t(s.index_hits),
        int64_t(s.index_misses), int64_t(s.page_loads), int64_t(s.evictions), s.use_clock}) {
    mix(v);
  }
  return h;
}

// The page loads of the Get just traced, by replacement and frame count.
void print_replacement([[maybe_unused]] int whole) {
#if defined(DODEVUZ_BENCH_TRACE)
  std::printf("trace_accesses=%zu\ntrace_pages=%llu\n", page_trace.size(),
              static_cast<unsigned long long>(distinct_pages(page_trace)));
  std::printf("trace_frames=48 96 192 384 768 1536 whole\n");
  for (int frames : {48, 96, 192, 384, 768, 1536, whole}) {
    const char* name = frames == whole ? "whole" : nullptr;
    std::string key = name != nullptr ? name : std::to_string(frames);
    std::printf("lru_loads_%s=%llu\noptimal_loads_%s=%llu\n", key.c_str(),
                static_cast<unsigned long long>(lru_loads(page_trace, frames)), key.c_str(),
                static_cast<unsigned long long>(optimal_loads(page_trace, frames)));
  }
  page_trace.clear();
#endif
}

std::string listing_text() {
  return nul_terminated(lookup.listing_text, lookup.listing_text_size);
}
std::string romaji_text() {
  return nul_terminated(romaji.romaji_buffer, kRomajiBufferSize);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dict, passage_path, frames_arg = "48", expect_euc, listing_out, romaji_out;
  int repeat = 11;
  bool chunks = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) fail("missing value after " + a);
      return argv[++i];
    };
    if (a == "--dict")
      dict = value();
    else if (a == "--passage")
      passage_path = value();
    else if (a == "--frames")
      frames_arg = value();
    else if (a == "--repeat")
      repeat = std::max(1, std::atoi(value().c_str()));
    else if (a == "--expect-euc")
      expect_euc = value();
    else if (a == "--listing")
      listing_out = value();
    else if (a == "--romaji")
      romaji_out = value();
    else if (a == "--chunks")
      chunks = true;
    else
      fail("unknown argument " + a);
  }
  if (dict.empty() || passage_path.empty()) fail("usage: --dict DIR --passage FILE [...]");
  // The outputs are named from where the program was started.
  char here[4096];
  if (getcwd(here, sizeof here) == nullptr) fail("no working directory");
  for (std::string* path : {&listing_out, &romaji_out}) {
    if (!path->empty() && (*path)[0] != '/') *path = std::string(here) + "/" + *path;
  }
  const std::string passage = read_all(passage_path);
  const std::string euc = expect_euc.empty() ? std::string() : read_all(expect_euc);
  // The dictionary and kanarom.cnv are opened relative to the working
  // directory, as the program opens them.
  if (chdir(dict.c_str()) != 0) fail("cannot enter " + dict);

  const uint32_t text_size = size_of("edict");
  const uint32_t index_size = size_of("edict.jdx");
  const int text_pages = static_cast<int>((text_size + 1) / kPageSize + 1);
  const int index_pages = static_cast<int>(index_size / kPageSize + 1);
  int frames = frames_arg == "whole" ? text_pages + index_pages : std::atoi(frames_arg.c_str());
  reset_program_state(bounded_frame_count(frames));
  static char main_window_object;  // any address will do as the main window
  Window main_window = &main_window_object;

  std::printf("store=%s\nframes=%d\ntext_pages=%d\nindex_pages=%d\nentries=%d\n", kStoreName,
              store.frame_count, text_pages, index_pages, static_cast<int>(index_size / 4) - 1);

  if (chunks) {
    // Every 40,000-byte piece of the file, one Get each, once.
    std::string listings, romajis;
    Snapshot before = snapshot();
    auto start = Clock::now();
    size_t pieces = 0;
    for (size_t at = 0; at < passage.size(); at += kPassageBytes, ++pieces) {
      fresh_desktop();
      set_clipboard_text(passage.substr(at, kPassageBytes));
      StepTimes times;
      timed_get(main_window, &times);
      listings += listing_text();
      listings += '\f';  // a separator no listing holds
      romajis += romaji_text();
      romajis += '\f';
    }
    double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    Snapshot after = snapshot();
    std::printf("pieces=%zu\nchunks_ms=%.3f\npage_loads=%llu\nevictions=%llu\n", pieces, total,
                static_cast<unsigned long long>(after.page_loads - before.page_loads),
                static_cast<unsigned long long>(after.evictions - before.evictions));
    if (!listing_out.empty()) write_all(listing_out, listings);
    if (!romaji_out.empty()) write_all(romaji_out, romajis);
    return 0;
  }

  std::vector<double> step_wall[kStepCount], step_cpu[kStepCount];
  std::vector<double> total_wall, total_cpu;
  std::string first_listing, first_romaji;
  Snapshot before{}, after{};
  long peak_after_first = 0;
  // The first Get warms the system's file cache (and loads the reference
  // store's files); it is checked but not timed.
  for (int rep = 0; rep <= repeat; ++rep) {
    fresh_desktop();
    set_clipboard_text(passage);
    call_counts_reset();
#if defined(DODEVUZ_BENCH_TRACE)
    page_trace.clear();
#endif
    Snapshot b = snapshot();
    StepTimes times;
    timed_get(main_window, &times);
    Snapshot a = snapshot();
    if (rep == 0) {
      first_listing = listing_text();
      first_romaji = romaji_text();
      peak_after_first = peak_kib();
      double first_cpu = 0;
      for (double c : times.cpu) first_cpu += c;
      // The first Get fills frames fresh from the system: its page loads
      // also fault their memory in.
      std::printf("first_get_cpu_us=%.1f\n", first_cpu);
      before = b;
      after = a;
      if (!euc.empty()) {
        // The intake must give back the EUC-JP bytes of the passage, as far
        // as the kanji buffer holds them.
        std::string kanji = nul_terminated(intake.kanji_buffer, kKanjiBufferSize);
        if (kanji.empty() || euc.compare(0, kanji.size(), kanji) != 0) {
          fail("the kanji buffer differs from the EUC-JP passage");
        }
        std::printf("kanji_bytes=%zu\n", kanji.size());
      }
      std::printf("cache_digest=%016llx\n", static_cast<unsigned long long>(cache_digest()));
      print_call_counts();
      print_replacement(text_pages + index_pages);
      continue;
    }
    if (listing_text() != first_listing || romaji_text() != first_romaji) {
      fail("a repeated Get gave another listing or romaji text");
    }
    // Every Get starts with a cold cache, so every Get loads the same pages.
    if (a.page_loads - b.page_loads != after.page_loads - before.page_loads) {
      fail("a repeated Get loaded another number of pages");
    }
    double wall = 0, cpu = 0;
    for (int s = 0; s < kStepCount; ++s) {
      step_wall[s].push_back(times.wall[s]);
      step_cpu[s].push_back(times.cpu[s]);
      wall += times.wall[s];
      cpu += times.cpu[s];
    }
    total_wall.push_back(wall);
    total_cpu.push_back(cpu);
  }

  // The timed chain must be the shell's: one more Get through the dispatch.
  fresh_desktop();
  set_clipboard_text(passage);
  dispatch_command(main_window, kCmdGetShift);
  if (listing_text() != first_listing || romaji_text() != first_romaji) {
    fail("the shell's Get gave another listing or romaji text than the timed steps");
  }

  // Medians, and every sample, so that the driver can pool several runs.
  std::printf("repeat=%d\n", repeat);
  auto print_times = [](const std::string& key, const std::vector<double>& v) {
    std::printf("%s=%.1f\nsamples_%s=", key.c_str(), median(v), key.c_str());
    for (double x : v) std::printf(" %.1f", x);
    std::printf("\n");
  };
  for (int s = 0; s < kStepCount; ++s) {
    print_times(std::string("step_") + kStepNames[s] + "_us", step_wall[s]);
    print_times(std::string("step_") + kStepNames[s] + "_cpu_us", step_cpu[s]);
  }
  print_times("get_us", total_wall);
  print_times("get_cpu_us", total_cpu);
  std::printf("text_hits=%llu\ntext_misses=%llu\nindex_hits=%llu\nindex_misses=%llu\n",
              static_cast<unsigned long long>(after.text_hits - before.text_hits),
              static_cast<unsigned long long>(after.text_misses - before.text_misses),
              static_cast<unsigned long long>(after.index_hits - before.index_hits),
              static_cast<unsigned long long>(after.index_misses - before.index_misses));
  std::printf("page_loads=%llu\nevictions=%llu\nuse_clock_advance=%lld\n",
              static_cast<unsigned long long>(after.page_loads - before.page_loads),
              static_cast<unsigned long long>(after.evictions - before.evictions),
              static_cast<long long>(after.use_clock - before.use_clock));
  std::printf("listing_bytes=%zu\nromaji_bytes=%zu\n", first_listing.size(), first_romaji.size());
  std::printf("peak_kib_first_get=%ld\npeak_kib=%ld\n", peak_after_first, peak_kib());
  if (!listing_out.empty()) write_all(listing_out, first_listing);
  if (!romaji_out.empty()) write_all(romaji_out, first_romaji);
  return 0;
}
