// The segmentation of a passage into the listing: byte classes, the layout
// of found and unfound words, the odd cases of the walk, and the bound of
// the listing buffer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "lookup/test_dictionary.h"

namespace {

using namespace test_dictionary;
using testing_support::euc;
using testing_support::hex;
using testing_support::ScratchDir;

Window const kMain = reinterpret_cast<Window>(0x77);
const std::string kGap(8, ' ');
const std::string kNoMatch = "  NOMATCH  \n";

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_store();
    reset_lookup();
    passage_.assign(kKanjiBufferSize, 0);
    intake.kanji_buffer = passage_.data();
  }
  void TearDown() override {
    intake.kanji_buffer = nullptr;
    reset_lookup();
    reset_store();
  }

  void dictionary(const std::vector<std::string>& each) {
    const std::string text = lines(each);
    open_dictionary_with(text, line_starts(text));
  }
  // The listing's text, up to its first NUL.
  std::string listing(const std::string& passage) {
    std::fill(passage_.begin(), passage_.end(), 0);
    std::copy(passage.begin(), passage.end(), passage_.begin());
    build_listing(kMain);
    if (lookup.listing_buffer == nullptr) return "(no buffer)";
    return reinterpret_cast<const char*>(lookup.listing_buffer);
  }

  std::vector<unsigned char> passage_;
  ScratchDir dir_;
};

TEST_F(ListingTest, AnEmptyPassageGivesAnEmptyListing) {
  dictionary({euc("日本 /Japan/")});
  EXPECT_EQ(listing(""), "");
  EXPECT_EQ(std::count(lookup.listing_buffer, lookup.listing_buffer + kListingBufferSize, 0),
            static_cast<long>(kListingBufferSize));
}

TEST_F(ListingTest, AsciiKanaAndRowOneSymbolsAreCopiedWithoutALookup) {
  dictionary({euc("日本 /Japan/")});
  const std::string passage = "Hi, " + euc("これはカタカナ。「ー」") + "\t\r\n~";
  EXPECT_EQ(listing(passage), passage);
  EXPECT_EQ(store.page_loads, 0u);
}

TEST_F(ListingTest, FoundWordsAreFollowedByTheGapAndTheirLine) {
  dictionary({euc("日本 /Japan/"), euc("東京 /Tokyo/"), euc("日 /sun/")});
  EXPECT_EQ(listing(euc("日本は東京。")), euc("日本") + kGap + euc("日本 /Japan/\n") + euc("は") +
                                              euc("東京") + kGap + euc("東京 /Tokyo/\n") +
                                              euc("。"));
  EXPECT_EQ(listing(euc("日日")),
            euc("日") + kGap + euc("日 /sun/\n") + euc("日") + kGap + euc("日 /sun/\n"));
}

TEST_F(ListingTest, ACharacterWithoutAWordGetsEighteenBlanksAndNoMatch) {
  dictionary({euc("日本 /Japan/")});
  EXPECT_EQ(listing(euc("猫a")), euc("猫") + std::string(16, ' ') + kNoMatch + "a");
  EXPECT_EQ(listing(euc("猫") + "\x8E\xB1"), euc("猫") + std::string(16, ' ') + kNoMatch +
                                                 "\x8E\xB1" + std::string(16, ' ') + kNoMatch);
}

// A kanji whose second byte is 0xA4 (阿 is B0 A4) is a whole character like
// any other: its 0xA4 does not start a hiragana.
TEST_F(ListingTest, AnUnfoundKanjiWithSecondByteA4IsListedWhole) {
  dictionary({euc("日本 /Japan/")});
  const std::string unfound = std::string(16, ' ') + kNoMatch;
  EXPECT_EQ(hex(listing(euc("阿拶する"))),
            hex(euc("阿") + unfound + euc("拶") + unfound + euc("する")));
  // Only where the walk stands inside a character (here the third byte of
  // a JIS X 0212 character, after its two-byte step) is one byte passed
  // over, to fall back into step: the 0xA4 then starts the kana it belongs
  // to.
  EXPECT_EQ(hex(listing("\x8F\xB0\xB0\xA4\xA2x")), hex("\x8F\xB0" + unfound + euc("あ") + "x"));
}

TEST_F(ListingTest, ALineThatDoesNotBeginLikeTheKeyGetsSixteenBlanks) {
  const std::string text = lines({euc("大漢") + " /inside/"});
  open_dictionary_with(text, {3});  // the 漢 inside the line alone
  EXPECT_EQ(listing(euc("漢") + "z"),
            euc("漢") + std::string(16, ' ') + euc("大漢") + " /inside/\n" + "z");
}

// A line that begins with another kanji of the same lead byte (大 C2 E7,
// 対 C2 D0) is not the word's entry, though it matches the key.
TEST_F(ListingTest, TheEntryBeginsWithTheWordsWholeFirstCharacter) {
  const std::string pair = lines({euc("大対 [おおつい] /big pair/"), euc("対 [たい] /versus/")});
  // Indexed at every character: 対 of 大対 comes first in index order.
  open_dictionary_with(pair, character_starts(pair));
  EXPECT_EQ(listing(euc("対です")), euc("対") + kGap + euc("対 [たい] /versus/\n") + euc("です"));
  // With no line that begins with 対, the one that shares its lead byte is
  // listed as a line that does not begin like the word.
  const std::string text = lines({euc("大対 /big pair/")});
  open_dictionary_with(text, character_starts(text));
  EXPECT_EQ(listing(euc("対")), euc("対") + std::string(16, ' ') + euc("大対 /big pair/\n"));
}

TEST_F(ListingTest, LeadingAsciiOfTheLineIsSkippedWhenMeasuring) {
  const std::string text = lines({"1 " + euc("漢字") + " /x/"});
  open_dictionary_with(text, {3});
  EXPECT_EQ(listing(euc("漢字")), euc("漢字") + kGap + "1 " + euc("漢字") + " /x/\n");
}

TEST_F(ListingTest, APartlyMatchingCharacterCountsWhole) {
  // The line shares the key's first three bytes: four are written, the walk
  // advances by four.
  dictionary({"\xB0\xA1\xB0\xA3 /y/"});
  EXPECT_EQ(hex(listing("\xB0\xA1\xB0\xA2z")),
            hex("\xB0\xA1\xB0\xA2" + kGap + "\xB0\xA1\xB0\xA3 /y/\n" + "z"));
}

// The count raised to even, or a lone lead byte, may reach past the
// passage's end: nothing is written for that byte, and the item keeps its
// gap and entry line (a NUL there would end the listing's text).
TEST_F(ListingTest, NoNulInsideTheListingAtThePassageEnd) {
  dictionary({"\xB0\xA1\xB0\xA2\xB0\xA3 /z/", euc("漢字 /kanji/")});
  EXPECT_EQ(hex(listing("\xB0\xA1\xB0\xA2\xB0")),
            hex("\xB0\xA1\xB0\xA2\xB0" + kGap + "\xB0\xA1\xB0\xA2\xB0\xA3 /z/\n"));
  // 漢 and the lead byte of 字: three bytes of the line, four counted.
  const std::string kanji = euc("漢字 /kanji/\n");
  EXPECT_EQ(hex(listing(euc("漢") + "\xBB")), hex(euc("漢") + "\xBB" + kGap + kanji));
  // A lone lead byte after a word is listed as a character without a word.
  EXPECT_EQ(hex(listing(euc("漢字") + "\xBB")),
            hex(euc("漢字") + kGap + kanji + "\xBB" + std::string(16, ' ') + kNoMatch));
  // A kana lead byte at the very end is copied alone.
  EXPECT_EQ(hex(listing("a\xA4")), hex("a\xA4"));
  const size_t used = std::string(reinterpret_cast<const char*>(lookup.listing_buffer)).size();
  EXPECT_EQ(std::count(lookup.listing_buffer + used, lookup.listing_buffer + kListingBufferSize, 0),
            static_cast<long>(kListingBufferSize - used));
}

// The raised count may reach the key byte that the lookup dropped (a line
// end). The passage's byte is written there, not a NUL that would hide the
// rest of the listing.
TEST_F(ListingTest, AnOddCountOverADroppedLineEndKeepsTheRestOfTheListing) {
  const std::string line = euc("漢") + "abcdefghijklmnopqr /x/";
  dictionary({line});
  const std::string head = euc("漢") + "abcdefghijklmnopq";  // 19 bytes
  EXPECT_EQ(listing(head + "\n" + euc("猫")),
            head + "\n" + kGap + line + "\n" + euc("猫") + std::string(16, ' ') + kNoMatch);
}

TEST_F(ListingTest, TheKeyIsAtMostTwentyBytes) {
  std::string passage;
  for (int c = 0; c < 15; ++c) passage += euc("漢");
  dictionary({passage + " /long/", euc("漢") + " /one/"});
  // Ten characters are tried: the long line is found for the first ten,
  // then again for the remaining five.
  std::string first_ten = passage.substr(0, 20);
  const std::string long_line = passage + " /long/\n";
  EXPECT_EQ(listing(passage), first_ten + kGap + long_line + passage.substr(20) + kGap + long_line);
}

TEST_F(ListingTest, TheListingStopsBeforeAnItemThatWouldNotFit) {
  dictionary({euc("日本 /Japan/")});
  // 3000 unfound characters would need 30 bytes each, 90000 in all.
  std::string passage;
  for (int c = 0; c < 3000; ++c) passage += euc("猫");
  const std::string text = listing(passage);
  const std::string item = euc("猫") + std::string(16, ' ') + kNoMatch;
  const size_t items = (kListingBufferSize - 1) / item.size();
  ASSERT_EQ(text.size(), items * item.size());
  for (size_t n = 0; n < items; ++n) ASSERT_EQ(text.substr(n * item.size(), item.size()), item);
  EXPECT_EQ(lookup.listing_buffer[kListingBufferSize - 1], 0);

  // A passage that fills the kanji buffer to its last byte, with no NUL.
  std::fill(passage_.begin(), passage_.end(), 'a');
  build_listing(kMain);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lookup.listing_buffer)),
            std::string(kKanjiBufferSize, 'a'));
}

TEST_F(ListingTest, AListingBufferThatCannotBeHadIsReported) {
  dictionary({euc("日本 /Japan/")});
  listing("a");
  ASSERT_NE(lookup.listing_block, nullptr);
  const size_t blocks = recording.live_blocks;
  recording.alloc_fails = [](size_t size) { return size == kListingBufferSize; };
  EXPECT_EQ(listing("b"), "(no buffer)");
  EXPECT_EQ(recording.live_blocks, blocks - 1);  // the previous listing was freed
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "malloc failed for kanji buffers2!");
  EXPECT_EQ(recording.messages[0].caption, " ");
  EXPECT_EQ(recording.messages[0].owner, kMain);

  recording.alloc_fails = nullptr;
  recording.lock_fails = [](size_t size) { return size == kListingBufferSize; };
  EXPECT_EQ(listing("c"), "(no buffer)");
  EXPECT_EQ(recording.messages.size(), 2u);
  recording.lock_fails = nullptr;
  EXPECT_EQ(listing("d"), "d");
}

TEST_F(ListingTest, WithoutADictionaryEveryWordIsUnfound) {
  EXPECT_EQ(listing(euc("日本")), euc("日") + std::string(16, ' ') + kNoMatch + euc("本") +
                                      std::string(16, ' ') + kNoMatch);
}

// ---- Real text ---------------------------------------------------------------

const std::filesystem::path kFullDictionary =
    std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "dict";
const std::filesystem::path kPassage =
    std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "corpus" / "passage-40k.euc";

// The listing's items: where each gap and line were inserted (as an offset of
// the passage), whether the gap was that of a found word (8 blanks) and the
// line. The listing less these insertions must be the passage itself, or as
// much of it as the listing holds.
struct Item {
  size_t end;
  bool found;
  std::string line;
};
std::vector<Item> items_of(const std::string& listing, const std::string& passage) {
  std::vector<Item> items;
  size_t p = 0;
  for (size_t i = 0; i < listing.size();) {
    if (listing.compare(i, 8, kGap) == 0) {
      size_t j = i + 8;
      const bool found = listing.compare(j, 8, kGap) != 0;
      if (!found) j += 8;
      const size_t end = listing.find('\n', j);
      if (end == std::string::npos) break;
      items.push_back({p, found, listing.substr(j, end + 1 - j)});
      i = end + 1;
      continue;
    }
    EXPECT_EQ(listing[i], passage[p]) << "listing offset " << i << ", passage offset " << p;
    if (listing[i] != passage[p]) break;
    ++i;
    ++p;
  }
  return items;
}

// On real prose with the full dictionary, every word found is listed with a
// line that begins with the word's own first character, never with a line of
// another kanji that only shares its lead byte.
TEST_F(ListingTest, OnRealTextEveryFoundLineBeginsWithItsWordsFirstCharacter) {
  namespace fs = std::filesystem;
  if (!fs::exists(kFullDictionary / "edict") || !fs::exists(kFullDictionary / "edict.jdx")) {
    GTEST_SKIP() << "no full dictionary in " << kFullDictionary << " (make full-dict)";
  }
  std::string passage = testing_support::read_file(kPassage.string());
  if (passage.empty()) GTEST_SKIP() << "no " << kPassage << " (make corpus)";
  // The kanji buffer's share of it, cut at a whole character.
  size_t whole = 0;
  while (whole < passage.size()) {
    const size_t next = whole + euc_character_bytes(static_cast<unsigned char>(passage[whole]));
    if (next > kKanjiClearSize) break;
    whole = next;
  }
  passage.resize(whole);
  for (const char* name : {"edict", "edict.jdx"}) {
    fs::create_symlink(fs::absolute(kFullDictionary / name), name);
  }
  open_dictionaries(kMain);
  // The listing may stop short of the passage's end (its buffer is full).
  const std::string text = listing(passage);

  const std::vector<Item> items = items_of(text, passage);
  size_t found = 0;
  size_t start = 0;  // where the walk stood after the previous item
  for (const Item& item : items) {
    // The word begins at the first byte that the walk looks up: ASCII, kana
    // and row-1 symbols before it were copied.
    while (start < item.end) {
      const auto b = static_cast<unsigned char>(passage[start]);
      if (b <= 0x7E) {
        start += 1;
      } else if (b == 0xA1 || b == 0xA4 || b == 0xA5) {
        start += 2;
      } else {
        break;
      }
    }
    if (item.found) {
      ++found;
      const std::string word = passage.substr(start, item.end - start);
      const size_t first = euc_character_bytes(static_cast<unsigned char>(word[0]));
      size_t j = 0;
      while (j < item.line.size() && item.line[j] >= 0x02 && item.line[j] <= 0x7E) ++j;
      EXPECT_EQ(hex(item.line.substr(j, first)), hex(word.substr(0, first)))
          << "word at passage offset " << start << ": " << hex(word) << "\nline: " << item.line;
    }
    start = item.end;
  }
  EXPECT_GT(found, 300u);
}

}  // namespace
