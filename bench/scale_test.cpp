// Correctness at scale: the full dictionary (dict/, made by
// scripts/get-full-dictionary.sh) and the 1 MB corpus of real prose
// (corpus/, made by scripts/make-corpus.sh), both never committed. Each
// 40,000-byte passage of the corpus is got with the page cache's 48 frames
// and with every page of both files resident: the cache may only change how
// often pages are read, never a byte of the listing or the romaji text, nor
// how often the text and the index are read. Skipped where either is absent.
// (The reference store, without any cache, is compared with these by
// bench/run-bench.sh.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/recording.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"
#include "tests/testing.h"

namespace {

using testing_support::read_file;

const std::string kRoot = DODEVUZ_SOURCE_DIR;
const std::string kDict = kRoot + "/dict";

bool exists(const std::string& path) {
  return access(path.c_str(), R_OK) == 0;
}

std::string nul_terminated(const unsigned char* text, size_t size) {
  if (text == nullptr) return {};
  const void* nul = std::memchr(text, 0, size);
  size_t n = nul == nullptr ? size : static_cast<const unsigned char*>(nul) - text;
  return std::string(reinterpret_cast<const char*>(text), n);
}

struct GetResult {
  std::string kanji, listing, romaji;
  uint64_t text_reads, index_reads, page_loads, evictions;
};

// One Get of a Shift-JIS passage through the shell, with frames page frames.
GetResult get(const std::string& sjis, int frames) {
  reset_recording();
  reset_program_state();
  reset_store(frames);
  set_clipboard_text(sjis);
  static char main_window;
  dispatch_command(&main_window, kCmdGetShift);
  EXPECT_TRUE(recording.messages.empty()) << recording.messages.front().text;
  return {nul_terminated(intake.kanji_buffer, kKanjiBufferSize),
          nul_terminated(lookup.listing_text, lookup.listing_text_size),
          nul_terminated(romaji.romaji_buffer, kRomajiBufferSize),
          store.text_hits[0] + store.text_misses[0],
          store.index_hits[0] + store.index_misses[0],
          store.page_loads,
          store.evictions};
}

// The offset of the first byte where a and b differ, for failure messages.
size_t first_difference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

// Runs in dict/ (the program opens its files relative to the working
// directory) and goes back afterwards.
class ScaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
      if (!exists(kDict + "/" + name)) {
        GTEST_SKIP() << "no " << kDict << "/" << name;
      }
    }
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous_ = here;
    ASSERT_EQ(chdir(kDict.c_str()), 0);
  }
  void TearDown() override {
    if (!previous_.empty()) {
      EXPECT_EQ(chdir(previous_.c_str()), 0);
    }
    reset_recording();
    reset_program_state();
  }

  std::string previous_;
};

// The corpus as scripts/make-corpus.sh promises it: passages of exactly
// 40,000 bytes, each a text of 39,998 bytes ending in a line end (what the
// kanji buffer keeps) and two more line ends; ASCII and two-byte JIS X 0208
// only, so that Shift-JIS takes as many bytes; the UTF-8 text the same.
TEST(Corpus, PassagesAreWholeKanjiBuffersOfTwoByteCharacters) {
  const std::string euc = read_file(kRoot + "/corpus/corpus-1m.euc");
  if (euc.empty()) GTEST_SKIP() << "no corpus (scripts/make-corpus.sh)";
  ASSERT_EQ(euc.size(), 1000000u);
  EXPECT_EQ(read_file(kRoot + "/corpus/passage-40k.euc"), euc.substr(0, 40000));
  EXPECT_EQ(read_file(kRoot + "/corpus/corpus-1m.sjis").size(), euc.size());
  for (size_t at = 0; at < euc.size(); at += 40000) {
    SCOPED_TRACE("passage at byte " + std::to_string(at));
    const std::string passage = euc.substr(at, 40000);
    EXPECT_EQ(passage.substr(39997), "\n\n\n");
    size_t i = 0;
    while (i < 39998) {
      const auto c = static_cast<unsigned char>(passage[i]);
      if (c < 0x80) {
        ASSERT_NE(c, 0) << "a NUL at " << i;
        ++i;
        continue;
      }
      // Two bytes, both 0xA1 to 0xFE, ending by byte 39,998.
      ASSERT_TRUE(c >= 0xA1 && c <= 0xFE) << "at " << i;
      ASSERT_LT(i + 1, 39998u) << "a character cut at the buffer's end";
      const auto d = static_cast<unsigned char>(passage[i + 1]);
      ASSERT_TRUE(d >= 0xA1 && d <= 0xFE) << "at " << i;
      i += 2;
    }
  }
  EXPECT_EQ(testing_support::euc(read_file(kRoot + "/corpus/corpus-1m.utf8")), euc);
}

TEST_F(ScaleTest, ListingsOfTheCorpusDoNotDependOnTheCacheSize) {
  const std::string sjis_path = kRoot + "/corpus/corpus-1m.sjis";
  if (!exists(sjis_path)) GTEST_SKIP() << "no " << sjis_path << " (scripts/make-corpus.sh)";
  const std::string sjis = read_file(sjis_path);
  const std::string euc = read_file(kRoot + "/corpus/corpus-1m.euc");
  ASSERT_EQ(sjis.size() % 40000, 0u);

  uint32_t text_size = 0, index_size = 0;
  ASSERT_EQ(file_size("edict", &text_size), 0);
  ASSERT_EQ(file_size("edict.jdx", &index_size), 0);
  const int whole = static_cast<int>((text_size + 1) / kPageSize + 1 + index_size / kPageSize + 1);
  ASSERT_LE(whole, kMaxFrameCount) << "the dictionary no longer fits the largest cache";

  uint64_t loads_small = 0, loads_whole = 0;
  for (size_t at = 0; at < sjis.size(); at += 40000) {
    SCOPED_TRACE("passage at byte " + std::to_string(at));
    const std::string passage = sjis.substr(at, 40000);
    GetResult small = get(passage, kDefaultFrameCount);
    GetResult large = get(passage, whole);

    // The intake gives the EUC-JP text back, cut to the kanji buffer.
    ASSERT_FALSE(small.kanji.empty());
    if (euc.size() == sjis.size()) {
      ASSERT_EQ(small.kanji, euc.substr(at, small.kanji.size()));
    }
    EXPECT_GT(small.listing.size(), small.kanji.size());
    ASSERT_EQ(small.listing, large.listing)
        << "first difference at byte " << first_difference(small.listing, large.listing);
    ASSERT_EQ(small.romaji, large.romaji)
        << "first difference at byte " << first_difference(small.romaji, large.romaji);
    // The same walk reads the same bytes; only the number of page reads differs.
    EXPECT_EQ(small.text_reads, large.text_reads);
    EXPECT_EQ(small.index_reads, large.index_reads);
    EXPECT_EQ(large.evictions, 0u);
    EXPECT_LE(large.page_loads, small.page_loads);
    EXPECT_LE(large.page_loads, static_cast<uint64_t>(whole));
    loads_small += small.page_loads;
    loads_whole += large.page_loads;
  }
  RecordProperty("page_loads_48_frames", std::to_string(loads_small));
  RecordProperty("page_loads_whole", std::to_string(loads_whole));
}

}  // namespace
