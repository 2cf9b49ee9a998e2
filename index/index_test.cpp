// The index builder: the order of the entries under the lookup's folding
// comparison, which positions are indexed, the checker's faults, and searches
// through built indexes (the sample dictionary, and the full one when
// dict/edict is present) agreeing with a linear scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "index/build_index.h"
#include "lookup/lookup.h"
#include "platform/recording.h"
#include "store/store.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::hex;
using testing_support::index_bytes;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

Window const kMain = reinterpret_cast<Window>(0x1234);

std::vector<int32_t> built(std::string_view text) {
  std::vector<int32_t> positions = index_positions(text, nullptr);
  sort_positions(text, &positions);
  return positions;
}

// The rest of the line from each position: readable expectations.
std::vector<std::string> line_rests(std::string_view text, const std::vector<int32_t>& positions) {
  std::vector<std::string> out;
  for (int32_t p : positions) {
    std::string_view rest = text.substr(static_cast<size_t>(p) - 1);
    out.emplace_back(rest.substr(0, rest.find('\n')));
  }
  return out;
}

// Position (1-based) of the first occurrence of needle in text.
int32_t at(std::string_view text, std::string_view needle) {
  size_t offset = text.find(needle);
  EXPECT_NE(offset, std::string_view::npos) << hex(needle);
  return static_cast<int32_t>(offset + 1);
}

// Sorts the given positions and returns them in index order.
std::vector<int32_t> sorted(std::string_view text, std::vector<int32_t> positions) {
  sort_positions(text, &positions);
  return positions;
}

TEST(IndexOrder, KatakanaFoldsAtEvenOffsetsFromTheEntryNotFromTheFile) {
  // ka at an odd file offset, but at offset 0 of its entry: read as hiragana,
  // so "KA a" sorts before "ka b".
  std::string text = "z" + euc("カa\nかb\n");
  int32_t kata = 2, hira = at(text, euc("かb"));
  EXPECT_EQ(sorted(text, {hira, kata}), (std::vector<int32_t>{kata, hira}));

  // ka at an even file offset, but at offset 1 of its entry: not folded, so
  // "a KA" sorts after "a ka z" (0xA5 > 0xA4), line end or not.
  text = "z" + euc("aカ\naかz\n");
  int32_t odd = 2, even = at(text, euc("aかz"));
  EXPECT_EQ(sorted(text, {odd, even}), (std::vector<int32_t>{even, odd}));
}

TEST(IndexOrder, CapitalsAsSmallLettersAndBytesUnsigned) {
  std::string text = "Tokyp\ntokyo\n" + euc("東\n") + "z\n";
  int32_t tokyp = 1, tokyo = 7, kanji = 13, z = 16;
  EXPECT_EQ(sorted(text, {kanji, tokyp, z, tokyo}), (std::vector<int32_t>{tokyo, tokyp, z, kanji}));
}

TEST(IndexOrder, LineEndsAreComparedAndTheEndOfTheFileReadsAsLineEnds) {
  // "ab" then a line end sorts after "ab" then a tab and before "ab c":
  // the comparison runs on over the line end.
  std::string text = "ab c\nab\n\tq\nab\tq\n";
  int32_t blank = 1, line_end = 6, tab = 12;
  EXPECT_EQ(sorted(text, {blank, line_end, tab}), (std::vector<int32_t>{tab, line_end, blank}));

  // The last word reads line ends past the file's end: it sorts after the
  // same word followed by a tab, and the last position of all is fine.
  text = "a\n\tq\nxa\n";
  int32_t first = 1, last_word = 7, final_line_end = 8;
  EXPECT_EQ(sorted(text, {last_word, final_line_end, first}),
            (std::vector<int32_t>{final_line_end, first, last_word}));
}

TEST(IndexOrder, FiftyBytesDecideThenThePosition) {
  std::string head(49, 'x');
  // Lines differing at byte 50 (offset 49): ordered by that byte. Differing
  // only in case before it, or only after it: a tie, ordered by position.
  std::string text = head + "b\n" + head + "a\n" + "X" + head.substr(1) + "b\n";
  int32_t b = 1, a = 52, upper = 103;
  EXPECT_EQ(sorted(text, {upper, b, a}), (std::vector<int32_t>{a, b, upper}));

  text = head + "xb\n" + head + "xa\n";
  EXPECT_EQ(sorted(text, {53, 1}), (std::vector<int32_t>{1, 53}));
}

TEST(IndexPositions, HeadwordsFurtherKanjiReadingsAndEnglishWords) {
  std::string text =
      euc("　？？？ /Header words are not indexed/\n"
          "日本語 [にほんご] /(n) (P) Japanese Language/(P)/\n"
          "食べ物 [たべもの] /(n) food/\n"
          "時々 [ときどき] /(adv) {comp} sometimes/\n"
          "ＣＤ [シーディー] /(n) compact disc/\n"
          "カメラ /(n) camera (for photos)/(See 写真) e-mail/\n"
          "\n"
          " 木 [き] /tree/\n");
  IndexStats stats;
  std::vector<int32_t> positions = index_positions(text, &stats);
  std::vector<std::string> expected;
  for (const char* s :
       {"日本語 [にほんご] /(n) (P) Japanese Language/(P)/",
        "本語 [にほんご] /(n) (P) Japanese Language/(P)/",
        "語 [にほんご] /(n) (P) Japanese Language/(P)/",
        "にほんご] /(n) (P) Japanese Language/(P)/", "Japanese Language/(P)/", "Language/(P)/",
        // kana inside a headword is not indexed, a kanji after it is
        "食べ物 [たべもの] /(n) food/", "物 [たべもの] /(n) food/", "たべもの] /(n) food/", "food/",
        // the repeat mark is a row-1 symbol, which the listing never looks up
        "時々 [ときどき] /(adv) {comp} sometimes/", "ときどき] /(adv) {comp} sometimes/",
        "sometimes/",
        // full-width letters are looked up, so the second one is indexed
        "ＣＤ [シーディー] /(n) compact disc/", "Ｄ [シーディー] /(n) compact disc/",
        "シーディー] /(n) compact disc/", "compact disc/", "disc/",
        // a group after a gloss's text is part of it; tags only lead a gloss
        "カメラ /(n) camera (for photos)/(See 写真) e-mail/",
        "camera (for photos)/(See 写真) e-mail/", "for photos)/(See 写真) e-mail/",
        "photos)/(See 写真) e-mail/", "e-mail/", "mail/"}) {
    expected.push_back(euc(s));
  }
  EXPECT_EQ(line_rests(text, positions), expected);
  EXPECT_EQ(stats.lines, 8u);
  EXPECT_EQ(stats.skipped_lines, 3u);  // header, empty line, blank-led line
  EXPECT_EQ(stats.headwords, 5u);
  EXPECT_EQ(stats.inner_characters, 4u);
  EXPECT_EQ(stats.readings, 4u);
  EXPECT_EQ(stats.words, 11u);
  EXPECT_EQ(stats.entries, positions.size());
}

TEST(IndexPositions, OnlyHeadwordsWhenALineHasNoGlossesOrIsCutShort) {
  std::string text = euc("猫\n犬 [いぬ\n鳥 [とり]\n") + "ab cd";  // the last line has no line end
  EXPECT_EQ(line_rests(text, index_positions(text, nullptr)),
            (std::vector<std::string>{euc("猫"), euc("犬 [いぬ"), euc("いぬ"), euc("鳥 [とり]"),
                                      euc("とり]"), "ab cd"}));
}

TEST(CheckText, RejectsWhatTheLookupCannotServe) {
  std::string error;
  EXPECT_TRUE(check_text("", &error));
  EXPECT_TRUE(check_text("a /b/\n", &error));
  EXPECT_FALSE(check_text("a /b/", &error));
  EXPECT_NE(error.find("line end"), std::string::npos) << error;
  EXPECT_FALSE(check_text(std::string("a /b\0c/\n", 8), &error));
  EXPECT_NE(error.find("position 5"), std::string::npos) << error;
}

TEST(CheckEntries, FindsEntriesOutOfOrderOrOutsideTheText) {
  std::string text = euc("日本 [にほん] /(n) Japan/\n本 [ほん] /(n) book/\n");
  std::vector<int32_t> entries = built(text);
  std::string fault;
  ASSERT_TRUE(check_entries(text, entries, &fault)) << fault;

  std::vector<int32_t> swapped = entries;
  std::swap(swapped[2], swapped[3]);
  EXPECT_FALSE(check_entries(text, swapped, &fault));
  EXPECT_NE(fault.find("entries 3 and 4"), std::string::npos) << fault;

  for (int32_t bad : {0, -1, static_cast<int32_t>(text.size()) + 1}) {
    std::vector<int32_t> outside = entries;
    outside[4] = bad;
    EXPECT_FALSE(check_entries(text, outside, &fault));
    EXPECT_NE(fault.find("entry 5 holds position " + std::to_string(bad)), std::string::npos)
        << fault;
  }
  // The last byte of the text is inside it; an entry equal to the one
  // before it passes.
  EXPECT_TRUE(check_entries("ab\nab\n", {6, 3, 3}, &fault)) << fault;
}

class IndexFiles : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(IndexFiles, BuildWritesWordZeroAndLittleEndianEntriesThatCheckPasses) {
  std::string text = euc("本 [ほん] /(n) book/\n");
  write_file("edict", text);
  std::string error;
  IndexStats stats;
  ASSERT_TRUE(build_index("edict", "edict.jdx", &error, &stats)) << error;
  EXPECT_EQ(stats.entries, 3u);
  // "book/", "ほん] ...", "本 ..." in byte order (b < 0xA4 < 0xCB).
  EXPECT_EQ(hex(read_file("edict.jdx")), hex(index_bytes({at(text, "book"), 5, 1})));
  EXPECT_FALSE(std::filesystem::exists("edict.jdx.tmp"));
  EXPECT_TRUE(check_index("edict", "edict.jdx", &error)) << error;
}

TEST_F(IndexFiles, CheckRefusesAnIndexCutOrGrownAndNamesWhatIsWrong) {
  const std::string text = euc("本 [ほん] /(n) book/\n");
  write_file("edict", text);
  std::string error;
  ASSERT_TRUE(build_index("edict", "edict.jdx", &error, nullptr)) << error;
  const std::string whole = read_file("edict.jdx");
  struct Case {
    std::string index, fault;
  } cases[] = {
      {whole + "\x7F\x7F",
       "edict.jdx: 18 bytes, not a whole number of 4-byte entries (2 bytes past the last whole "
       "one)"},
      {whole.substr(0, 15),
       "edict.jdx: 15 bytes, not a whole number of 4-byte entries (3 bytes past the last whole "
       "one)"},
      // Cut at a whole entry: still in order, but short of what the text calls for.
      {whole.substr(0, 12), "edict.jdx: 2 entries, where edict calls for 3"},
      {"", "edict.jdx: 0 entries, where edict calls for 3"},
      {whole + index_bytes({1}).substr(4), "edict.jdx: 4 entries, where edict calls for 3"},
  };
  for (const Case& c : cases) {
    write_file("edict.jdx", c.index);
    std::string fault;
    EXPECT_FALSE(check_index("edict", "edict.jdx", &fault)) << hex(c.index);
    EXPECT_EQ(fault, c.fault);
  }
  // An empty text calls for no entries: word 0 alone is its whole index.
  write_file("edict", "");
  write_file("edict.jdx", index_bytes({}));
  EXPECT_TRUE(check_index("edict", "edict.jdx", &error)) << error;
}

TEST_F(IndexFiles, CheckNamesTheFirstFaultAndTheFile) {
  write_file("edict", "b /x/\na /y/\n");
  std::string fault;
  write_file("edict.jdx", index_bytes({7, 1, 3}));
  EXPECT_FALSE(check_index("edict", "edict.jdx", &fault));
  EXPECT_EQ(fault, "edict.jdx: entries 2 and 3 are out of order (positions 1 and 3)");
  write_file("edict.jdx", index_bytes({7, 13}));
  EXPECT_FALSE(check_index("edict", "edict.jdx", &fault));
  EXPECT_EQ(fault, "edict.jdx: entry 2 holds position 13, outside the dictionary (1 to 12)");
  EXPECT_FALSE(check_index("edict", "missing.jdx", &fault));
  EXPECT_NE(fault.find("missing.jdx"), std::string::npos) << fault;
}

TEST_F(IndexFiles, AFailedBuildLeavesThePreviousIndex) {
  std::string error;
  EXPECT_FALSE(build_index("missing", "edict.jdx", &error, nullptr));
  EXPECT_NE(error.find("cannot open missing"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists("edict.jdx"));

  write_file("edict.jdx", "old");
  write_file("edict", "a /b/");  // no line end at the end
  EXPECT_FALSE(build_index("edict", "edict.jdx", &error, nullptr));
  EXPECT_EQ(error, "edict: the dictionary's last line has no line end (0x0A)");
  EXPECT_EQ(read_file("edict.jdx"), "old");

  write_file("edict", "a /b/\n");
  EXPECT_FALSE(build_index("edict", "no-such-dir/edict.jdx", &error, nullptr));
  EXPECT_NE(error.find("cannot create no-such-dir/edict.jdx.tmp"), std::string::npos) << error;
}

// Searches through the store and the lookup over an index built here.
class BuiltIndexSearch {
 public:
  // Builds and checks edict.jdx for the edict in the working directory and
  // reads both.
  void build() {
    std::string error;
    ASSERT_TRUE(build_index("edict", "edict.jdx", &error, nullptr)) << error;
    ASSERT_TRUE(check_index("edict", "edict.jdx", &error)) << error;
    text_ = read_file("edict");
    std::string index = read_file("edict.jdx");
    entries_.assign(index.size() / 4 - 1, 0);
    std::memcpy(entries_.data(), index.data() + 4, entries_.size() * 4);  // a little-endian host
    entry_of_.assign(text_.size() + 1, 0);
    for (size_t k = 0; k < entries_.size(); ++k) {
      entry_of_[entries_[k]] = static_cast<int32_t>(k + 1);
      buckets_[folded(entries_[k], 0) << 8 | folded(entries_[k], 1)].push_back(
          static_cast<int32_t>(k + 1));
    }
  }

  // Opens the pair in the working directory with enough page frames to hold
  // both files whole.
  void open_store() {
    reset_recording();
    reset_lookup();
    reset_store(kMaxFrameCount / 2);
    open_dictionaries(kMain);
    store.current_slot = 0;
    ASSERT_EQ(store.entry_count[0], static_cast<int32_t>(entries_.size()));
  }

  // The first entry, in index order, that the search finds for the key's
  // first n bytes; 0 when it finds none.
  int32_t search(const std::string& key, int32_t n) {
    int status = 0;
    int32_t entry = -1;
    search_index(kSearchMode, 0, 0, n, reinterpret_cast<const unsigned char*>(key.c_str()), &status,
                 &entry, lookup.entry_line);
    return status == kFound ? entry : 0;
  }

  // The same by a scan of every entry whose first two folded bytes are the
  // key's (no other can match), comparing in the plainest way.
  int32_t scan(const std::string& key, int32_t n) {
    n = std::min<int32_t>(n, static_cast<int32_t>(key.size()));
    if (n == 0) return entries_.empty() ? 0 : 1;
    int first = fold(key[0], 0) << 8;
    if (n == 1) {
      int32_t best = 0;
      for (int second = 0; second < 256; ++second) {
        const std::vector<int32_t>& bucket = buckets_[first | second];
        if (!bucket.empty() && (best == 0 || bucket.front() < best)) best = bucket.front();
      }
      return best;
    }
    for (int32_t k : buckets_[first | fold(key[1], 1)]) {
      int32_t i = 2;
      while (i < n && folded(entries_[k - 1], i) == fold(key[i], i)) ++i;
      if (i == n) return k;
    }
    return 0;
  }

  // Byte i of the text at position p as compared, past the end a line end.
  unsigned char folded(int32_t p, int32_t i) const {
    size_t offset = static_cast<size_t>(p) - 1 + i;
    return fold(offset < text_.size() ? text_[offset] : '\n', i);
  }
  static unsigned char fold(char c, int32_t i) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b == 0xA5 && i % 2 == 0) return 0xA4;
    if (b >= 'A' && b <= 'Z') return b + 0x20;
    return b;
  }

  // Headwords with their positions: up to the first blank, cut to at most
  // 40 bytes of whole characters (the longest key a lookup compares).
  std::vector<std::pair<std::string, int32_t>> headwords() const {
    std::vector<std::pair<std::string, int32_t>> out;
    size_t start = 0;
    while (start < text_.size()) {
      size_t end = text_.find('\n', start);
      size_t blank = std::min(text_.find(' ', start), end);
      std::string word = text_.substr(start, blank - start);
      size_t cut = 0;
      while (cut < word.size()) {
        unsigned char b = static_cast<unsigned char>(word[cut]);
        size_t next = cut + (b < 0x80 ? 1 : b == 0x8F ? 3 : 2);
        if (next > 40 || next > word.size()) break;
        cut = next;
      }
      word.resize(cut);
      if (!word.empty() && word.rfind("\xA1\xA1", 0) != 0) {
        out.emplace_back(word, static_cast<int32_t>(start + 1));
      }
      start = end + 1;
    }
    return out;
  }

  std::string text_;
  std::vector<int32_t> entries_;
  std::vector<int32_t> entry_of_;  // position -> entry number, 0 = none
  std::vector<std::vector<int32_t>> buckets_ =
      std::vector<std::vector<int32_t>>(1 << 16);  // by the first two folded bytes
};

class SampleDictionary : public ::testing::Test, public BuiltIndexSearch {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(DODEVUZ_SOURCE_DATA_DIR "/edict", "edict");
    build();
    open_store();
  }
  void TearDown() override { reset_store(); }
  ScratchDir dir_;
};

TEST_F(SampleDictionary, IsTheEucJpOfItsSourceWithShortLinesAndAHeader) {
  EXPECT_EQ(text_, euc(read_file(DODEVUZ_SOURCE_DATA_DIR "/edict.utf8.txt")));
  std::string error;
  EXPECT_TRUE(check_text(text_, &error)) << error;
  EXPECT_EQ(text_.rfind("\xA1\xA1", 0), 0u);
  size_t start = 0, lines = 0;
  while (start < text_.size()) {
    size_t end = text_.find('\n', start);
    EXPECT_LE(end - start, 198u) << "line " << lines + 1;
    start = end + 1;
    ++lines;
  }
  EXPECT_GE(lines, 301u);
}

TEST_F(SampleDictionary, EveryHeadwordIsFoundAtTheFirstEntryOfARunHoldingItsLine) {
  for (const auto& [word, position] : headwords()) {
    SCOPED_TRACE(hex(word));
    int32_t n = static_cast<int32_t>(word.size());
    int32_t first = search(word, n);
    ASSERT_EQ(first, scan(word, n));
    // The run of matching entries from there holds the headword's own entry.
    int32_t own = entry_of_[position];
    ASSERT_LE(first, own);
    for (int32_t k = first; k <= own; ++k) {
      int status = 0;
      int32_t entry = 0;
      search_index(kCheckMode, 0, k, n, reinterpret_cast<const unsigned char*>(word.c_str()),
                   &status, &entry, lookup.entry_line);
      ASSERT_EQ(status, kFound) << "entry " << k;
    }
  }
}

TEST_F(SampleDictionary, EveryKanjiOfThePassageFindsAWordThatStartsThere) {
  // The listing's walk: kana, ASCII and symbols are passed over, and at any
  // other character the word found is measured against its line's start.
  std::string passage = euc(read_file(DODEVUZ_SOURCE_DATA_DIR "/samples/passage.utf8.txt"));
  ASSERT_FALSE(passage.empty());
  size_t words = 0;
  for (size_t i = 0; i < passage.size();) {
    unsigned char b = static_cast<unsigned char>(passage[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b == 0xA1 || b == 0xA4 || b == 0xA5) {
      i += 2;
      continue;
    }
    std::string key = passage.substr(i, 20);
    std::memcpy(lookup.search_key, key.c_str(), key.size() + 1);
    lookup_word();
    std::string line(reinterpret_cast<const char*>(lookup.entry_line));
    size_t matched = 0;
    while (matched < key.size() && line[matched] == key[matched]) ++matched;
    EXPECT_GE(matched, 2u) << hex(key) << " found " << hex(line);
    i += std::max<size_t>(2, (matched + 1) & ~size_t{1});
    ++words;
  }
  EXPECT_GE(words, 20u);
}

// The full dictionary, when scripts/get-full-dictionary.sh has fetched it.
// The index is built once for the tests of the suite.
class FullDictionary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::filesystem::path full = DODEVUZ_SOURCE_DATA_DIR "/../dict/edict";
    if (!std::filesystem::exists(full)) return;
    dir_ = new ScratchDir;
    std::filesystem::create_symlink(std::filesystem::canonical(full), "edict");
    full_ = new BuiltIndexSearch;
    full_->build();
  }
  static void TearDownTestSuite() {
    delete full_;
    delete dir_;
    full_ = nullptr;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (full_ == nullptr) GTEST_SKIP() << "no dict/edict";
    full_->open_store();
  }
  void TearDown() override { reset_store(); }

  static ScratchDir* dir_;
  static BuiltIndexSearch* full_;
};

ScratchDir* FullDictionary::dir_ = nullptr;
BuiltIndexSearch* FullDictionary::full_ = nullptr;

TEST_F(FullDictionary, EveryHeadwordIsFoundAtTheFirstEntryOfItsRun) {
  BuiltIndexSearch& f = *full_;
  size_t count = 0;
  for (const auto& [word, position] : f.headwords()) {
    int32_t n = static_cast<int32_t>(word.size());
    int32_t first = f.search(word, n);
    ASSERT_NE(first, 0) << hex(word);
    ASSERT_LE(first, f.entry_of_[position]) << hex(word);
    // The entry before the run does not match.
    if (first > 1) {
      lookup.current_entry = first - 1;
      ASSERT_NE(compare_key(n, reinterpret_cast<const unsigned char*>(word.c_str())), 0)
          << hex(word);
    }
    ++count;
  }
  EXPECT_GT(count, 200000u);
}

TEST_F(FullDictionary, BinarySearchAgreesWithALinearScanForRandomKeys) {
  BuiltIndexSearch& f = *full_;
  std::mt19937 random(20261207);
  auto pick = [&](size_t bound) { return std::uniform_int_distribution<size_t>(0, bound)(random); };
  for (int round = 0; round < 3000; ++round) {
    // The text at a random entry, 1 to 40 bytes of it, then changed: case
    // flipped, hiragana and katakana swapped, or one byte altered so that the
    // key most likely matches nothing.
    int32_t p = f.entries_[pick(f.entries_.size() - 1)];
    std::string key = f.text_.substr(static_cast<size_t>(p) - 1, 1 + pick(39));
    for (char& c : key) {
      if (pick(3) == 0 && std::isalpha(static_cast<unsigned char>(c))) c ^= 0x20;
      if (pick(3) == 0 && (c == '\xA4' || c == '\xA5')) c ^= 0x01;
    }
    if (round % 4 == 0) key[pick(key.size() - 1)] ^= static_cast<char>(1 + pick(0x7E));
    key = key.substr(0, key.find('\0'));
    if (key.empty()) continue;
    int32_t n = static_cast<int32_t>(key.size());
    ASSERT_EQ(f.search(key, n), f.scan(key, n)) << hex(key);
  }
}

}  // namespace
