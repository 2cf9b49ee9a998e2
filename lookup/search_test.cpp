// The folding comparison and the binary search with its narrowing, walk
// back and line extraction, checked against a linear scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lookup/test_dictionary.h"

namespace {

using namespace test_dictionary;
using testing_support::euc;
using testing_support::index_bytes;
using testing_support::ScratchDir;
using testing_support::write_file;

const unsigned char* bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.c_str());
}

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_store();
    reset_lookup();
  }
  void TearDown() override { reset_store(); }

  // Search mode over slot 0; the line is left in the entry line buffer.
  int search(const std::string& key, int32_t length, int32_t* entry) {
    int status = 0;
    search_index(kSearchMode, 0, 0, length, bytes(key), &status, entry, lookup.entry_line);
    return status;
  }
  int check(int32_t start, const std::string& key, int32_t* entry) {
    int status = 0;
    search_index(kCheckMode, 0, start, static_cast<int32_t>(key.size()), bytes(key), &status, entry,
                 lookup.entry_line);
    return status;
  }
  // compare_key against text written at position 1.
  int32_t compare(const std::string& text, const std::string& key, int32_t length) {
    write_file("edict", text + "\n");
    write_file("edict.jdx", index_bytes({1}));
    open_dictionaries(nullptr);
    lookup.current_entry = 1;
    return compare_key(length, bytes(key));
  }

  ScratchDir dir_;
};

TEST_F(SearchTest, CompareFoldsKatakanaAtEvenOffsetsAndCaseEverywhere) {
  EXPECT_EQ(compare(euc("か"), euc("カ"), 2), 0);
  EXPECT_EQ(compare(euc("カ"), euc("か"), 2), 0);
  EXPECT_EQ(compare("tokyo", "Tokyo", 5), 0);
  EXPECT_EQ(compare("TOKYO", "tokyo", 5), 0);
  EXPECT_EQ(compare("xTokYo", "XtOKyO", 6), 0);  // capitals fold at odd offsets too
  // After one ASCII byte the katakana starts at an odd offset: not folded.
  EXPECT_EQ(compare("a" + euc("か"), "a" + euc("カ"), 3), 1);
  EXPECT_EQ(compare("a" + euc("カ"), "a" + euc("か"), 3), -1);
  // Only the first byte of a character is folded, and only 0xA5.
  EXPECT_EQ(compare("\xA4\xA5", "\xA4\xA4", 2), -1);
  // A prefix test: the key's NUL ends it, the text may go on.
  EXPECT_EQ(compare("abcdef", "AB", 4), 0);
  EXPECT_EQ(compare("ab", "abc", 3), 'c' - '\n');  // the line end is compared as a byte
  EXPECT_EQ(compare("abd", "abc", 3), -1);
  EXPECT_EQ(compare("abc", "zzz", 0), 0);
  EXPECT_EQ(compare("abc", "zzz", -5), 0);
  // A NUL in the text ends the comparison as a match.
  EXPECT_EQ(compare(std::string("ab\0d", 4), "abcd", 4), 0);
  // Bytes compare unsigned.
  EXPECT_EQ(compare("\xB0\xA1", "a", 1), 'a' - 0xB0);
}

// compare_key as the byte-by-byte reads of the entry and the text would
// make it: the entry fetched again for every byte.
int32_t compare_byte_by_byte(int32_t length, const unsigned char* key) {
  for (int32_t i = 0; i < length; ++i) {
    unsigned int k = key[i];
    const auto position = static_cast<uint32_t>(index_entry(lookup.current_entry));
    unsigned int t = dict_byte(static_cast<int32_t>(position + static_cast<uint32_t>(i)));
    if (k == 0 || t == 0) return 0;
    if (i % 2 == 0) {
      if (k == 0xA5) k = 0xA4;
      if (t == 0xA5) t = 0xA4;
    }
    if (k >= 'A' && k <= 'Z') k += 0x20;
    if (t >= 'A' && t <= 'Z') t += 0x20;
    if (k != t) return static_cast<int32_t>(k) - static_cast<int32_t>(t);
  }
  return 0;
}

// Comparisons that read runs of a frame at once give the results and leave
// the cache (statistics, stamps, clock, page tables) exactly as byte-by-byte
// reads would: keys across page boundaries, at the short last page, past the
// text, at a NUL, with folding on either side of a boundary, and with one to
// three frames, so that the entry's and the text's pages evict each other.
TEST_F(SearchTest, CompareKeyLeavesTheCacheAsByteByByteReadsWould) {
  std::string text;
  const std::string cycle = "xYz" + euc("かカー") + "Q\n";
  while (text.size() < 3 * kPageSize + 700) text += cycle;
  text[kPageSize + 5] = '\0';
  const auto size = static_cast<int32_t>(text.size());
  const int32_t page = static_cast<int32_t>(kPageSize);
  const std::vector<int32_t> positions = {1,
                                          2,
                                          page - 30,
                                          page - 3,
                                          page - 1,
                                          page,
                                          page + 1,
                                          page + 2,
                                          2 * page,
                                          2 * page + 1,
                                          3 * page - 17,
                                          3 * page + 1,
                                          size - 20,
                                          size - 1,
                                          size,
                                          size + 1,
                                          0,
                                          -3};
  // Enough entries for two index pages; entry k holds positions[k % n].
  std::vector<int32_t> index;
  for (int k = 1; k <= 4000; ++k) index.push_back(positions[k % positions.size()]);
  write_file("edict", text);
  write_file("edict.jdx", index_bytes(index));
  auto byte_at = [&](int64_t p) -> char {
    return p >= 1 && p <= size ? text[static_cast<size_t>(p - 1)] : '\n';
  };
  // Keys made from the text at each position, then changed.
  auto keys_for = [&](int32_t p) {
    std::string exact;
    for (int i = 0; i < 40; ++i) exact.push_back(byte_at(int64_t{p} + i));
    std::vector<std::string> keys = {exact};
    for (int j : {0, 1, 4, 5, 20, 39}) {
      std::string changed = exact;
      changed[j] = static_cast<char>(changed[j] + 1);
      keys.push_back(changed);
    }
    std::string swapped = exact, capitals = exact, shorter = exact;
    for (char& c : swapped) c = c == '\xA4' ? '\xA5' : c == '\xA5' ? '\xA4' : c;
    for (char& c : capitals) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
    shorter[10] = '\0';
    keys.insert(keys.end(), {swapped, capitals, shorter});
    return keys;
  };
  struct Snapshot {
    std::vector<int32_t> results;
    uint64_t text_hits, text_misses, index_hits, index_misses, loads, evictions;
    int64_t clock;
    std::vector<int64_t> stamps;
    std::vector<int32_t> text_pages, index_pages;
    bool operator==(const Snapshot&) const = default;
  };
  auto run = [&](int frames, bool by_bytes) {
    reset_store(frames);
    open_dictionaries(nullptr);
    Snapshot s{};
    // Entries of both index pages, taken in turns.
    for (int32_t k : {1, 3500, 2,    3600, 3,  4,  3072, 3073, 5,  6,  7, 8,
                      9, 10,   3999, 11,   12, 13, 14,   15,   16, 17, 18}) {
      for (const std::string& key : keys_for(index[static_cast<size_t>(k - 1)])) {
        for (int32_t length : {40, 3, 1}) {
          lookup.current_entry = k;
          const auto* bytes = reinterpret_cast<const unsigned char*>(key.data());
          s.results.push_back(by_bytes ? compare_byte_by_byte(length, bytes)
                                       : compare_key(length, bytes));
        }
      }
    }
    s.text_hits = store.text_hits[0];
    s.text_misses = store.text_misses[0];
    s.index_hits = store.index_hits[0];
    s.index_misses = store.index_misses[0];
    s.loads = store.page_loads;
    s.evictions = store.evictions;
    s.clock = store.use_clock;
    s.stamps.assign(store.use_stamp, store.use_stamp + store.frame_count);
    s.text_pages.assign(store.text_pages[0], store.text_pages[0] + store.text_page_count[0]);
    s.index_pages.assign(store.index_pages[0], store.index_pages[0] + store.index_page_count[0]);
    return s;
  };
  for (int frames : {1, 2, 3, 16}) {
    const Snapshot bytes = run(frames, true);
    const Snapshot runs = run(frames, false);
    EXPECT_EQ(runs.results, bytes.results) << frames << " frames";
    EXPECT_TRUE(runs == bytes) << frames << " frames";
    if (frames < 3) {
      EXPECT_GT(bytes.evictions, 0u);
    }
  }
  // Both kinds of result occur.
  const Snapshot s = run(16, false);
  EXPECT_GT(std::count(s.results.begin(), s.results.end(), 0), 100);
  EXPECT_GT(std::count_if(s.results.begin(), s.results.end(), [](int32_t r) { return r != 0; }),
            100);
}

// Entries 1-6 begin with b, 7-9 with c, 10-17 with d: a search for c over 17
// entries probes entry 9 first, then narrows and walks back to entry 7.
TEST_F(SearchTest, SearchReturnsTheFirstEntryOfTheMatchingRun) {
  const std::string text = lines({"b0", "b1", "b2", "b3", "b4", "b5", "ca c7", "cb c8", "cc c9",
                                  "d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7"});
  const std::vector<int32_t> index = open_dictionary_with(text, line_starts(text));
  ASSERT_EQ(store.entry_count[0], 17);
  int32_t entry = 0;
  EXPECT_EQ(search("c", 1, &entry), kFound);
  EXPECT_EQ(entry, 7);
  EXPECT_EQ(lookup.current_entry, 7);
  EXPECT_EQ(entry_line(), "ca c7\n");
  EXPECT_EQ(search("cb", 2, &entry), kFound);
  EXPECT_EQ(entry, 8);
  EXPECT_EQ(search("D", 1, &entry), kFound);
  EXPECT_EQ(entry, 10);
  EXPECT_EQ(search("b", 1, &entry), kFound);
  EXPECT_EQ(entry, 1);
  EXPECT_EQ(entry_line(), "b0\n");
}

TEST_F(SearchTest, TheWalkBackStopsAtEntryOne) {
  // Word 0 points at a matching line too: were it compared, it would win.
  const std::string text = lines({"ab", "ac", "x"});
  write_file("edict", text);
  std::string index = index_bytes({1, 4, 7});
  index[0] = 4;
  write_file("edict.jdx", index);
  open_dictionaries(nullptr);
  int32_t entry = 0;
  EXPECT_EQ(search("a", 1, &entry), kFound);
  EXPECT_EQ(entry, 1);
  EXPECT_EQ(entry_line(), "ab\n");
}

TEST_F(SearchTest, NotFoundLeavesTheLineAndEntryAlone) {
  const std::string text = lines({"apple", "melon"});
  open_dictionary_with(text, line_starts(text));
  std::memcpy(lookup.entry_line, "kept\n", 6);
  int32_t entry = 99;
  EXPECT_EQ(search("kiwi", 4, &entry), kNotFound);
  EXPECT_EQ(search("applf", 5, &entry), kNotFound);
  EXPECT_EQ(search("zzz", 3, &entry), kNotFound);
  EXPECT_EQ(check(2, "apple", &entry), kNotFound);
  EXPECT_EQ(entry, 99);
  EXPECT_EQ(entry_line(), "kept\n");
}

TEST_F(SearchTest, EmptyIndexesFindNothing) {
  for (const std::string& index : {std::string(), std::string(4, '\0'), std::string(7, '\0')}) {
    write_file("edict", "a\n");
    write_file("edict.jdx", index);
    open_dictionaries(nullptr);
    int32_t entry = 0;
    EXPECT_EQ(search("a", 1, &entry), kNotFound) << index.size();
  }
}

TEST_F(SearchTest, CheckModeTestsOneEntry) {
  const std::string text = lines({"ab", "ac", "b"});
  open_dictionary_with(text, line_starts(text));
  int32_t entry = 0;
  EXPECT_EQ(check(2, "a", &entry), kFound);
  EXPECT_EQ(entry, 2);
  EXPECT_EQ(entry_line(), "ac\n");
  EXPECT_EQ(check(3, "a", &entry), kNotFound);
  // Past the last entry the index is not read at all.
  const uint64_t reads = store.index_hits[0] + store.index_misses[0];
  EXPECT_EQ(check(4, "a", &entry), kNotFound);
  EXPECT_EQ(check(0, "a", &entry), kNotFound);
  EXPECT_EQ(store.index_hits[0] + store.index_misses[0], reads);
}

TEST_F(SearchTest, TheWholeLineAroundThePositionIsExtracted) {
  const std::string text = lines({"first line", "second line", "third"});
  // Positions: the file's first byte, the middle of line 2, the line end
  // closing line 2 (which names line 3).
  const int32_t middle = 12 + 4, line_end = 12 + 11;
  write_file("edict", text);
  write_file("edict.jdx", index_bytes({1, middle, line_end}));
  open_dictionaries(nullptr);
  int32_t entry = 0;
  EXPECT_EQ(check(1, "f", &entry), kFound);
  EXPECT_EQ(entry_line(), "first line\n");
  EXPECT_EQ(check(2, "nd", &entry), kFound);
  EXPECT_EQ(entry_line(), "second line\n");
  EXPECT_EQ(check(3, "\nth", &entry), kFound);
  EXPECT_EQ(entry_line(), "third\n");
}

TEST_F(SearchTest, ALineLongerThanTheBufferIsCutAt198Bytes) {
  for (size_t length : {197u, 198u, 199u, 5000u}) {
    std::string long_line = "k";
    for (size_t i = 1; i < length; ++i) long_line.push_back(static_cast<char>('a' + i % 26));
    const std::string text = lines({"a", long_line, "z"});
    open_dictionary_with(text, line_starts(text));
    std::memset(lookup.entry_line, 0x55, kEntryLineSize);
    int32_t entry = 0;
    ASSERT_EQ(search("k", 1, &entry), kFound);
    const size_t kept = std::min<size_t>(length, 198);
    EXPECT_EQ(entry_line(), long_line.substr(0, kept) + "\n") << length;
    if (kept + 2 < kEntryLineSize) {
      EXPECT_EQ(lookup.entry_line[kept + 2], 0x55);
    }
  }
}

TEST_F(SearchTest, ASlotThatIsNotReadyFindsNothing) {
  const std::string text = lines({"a"});
  open_dictionary_with(text, line_starts(text));
  close_dictionary(0);
  int32_t entry = 0;
  EXPECT_EQ(search("a", 1, &entry), kNotFound);
  EXPECT_EQ(check(1, "a", &entry), kNotFound);
  int status = 0;
  search_index(kSearchMode, 10, 0, 1, bytes("a"), &status, &entry, lookup.entry_line);
  EXPECT_EQ(status, kNotFound);
}

// Every prefix of every indexed text, and keys that are absent, give the
// same entry as a scan of the index from entry 1.
TEST_F(SearchTest, AgreesWithALinearScan) {
  const std::string text = lines({
      euc("かな /kana/"),
      euc("カナダ /Canada/"),
      euc("かなしい /sad/"),
      euc("日本 /Japan/"),
      euc("日本語 /Japanese/"),
      euc("本 /book/"),
      "Tokyo /capital/",
      "tokyo station",
      euc("東京 /Tokyo/"),
      euc("京都 /Kyoto/"),
      "aX" + euc("カ"),
      "ax" + euc("か"),
      "b",
      euc("ー /long vowel/"),
      euc("パン /bread/"),
      euc("ぱん"),
      euc("はん"),
      euc("ハンコ"),
  });
  const std::vector<int32_t> index = open_dictionary_with(text, character_starts(text));
  const auto count = static_cast<int32_t>(index.size());
  std::vector<std::string> keys;
  for (int32_t p : index) {
    const std::string line = text.substr(p - 1, text.find('\n', p - 1) - (p - 1));
    for (size_t n = 1; n <= line.size() && n <= 12; ++n) keys.push_back(line.substr(0, n));
  }
  for (const char* absent : {"c", "zz", "\xA4\xA1", "\xFE\xFE", "TOKYP", "/q"})
    keys.push_back(absent);
  keys.push_back(euc("カナ"));
  keys.push_back(euc("ぱ"));
  for (const std::string& key : keys) {
    const auto n = static_cast<int32_t>(key.size());
    int32_t expected = 0;
    for (int32_t k = 1; k <= count && expected == 0; ++k) {
      lookup.current_entry = k;
      if (compare_key(n, bytes(key)) == 0) expected = k;
    }
    int32_t entry = 0;
    const int status = search(key, n, &entry);
    EXPECT_EQ(status, expected != 0 ? kFound : kNotFound) << testing_support::hex(key);
    if (expected != 0) {
      EXPECT_EQ(entry, expected) << testing_support::hex(key);
    }
  }
}

}  // namespace
