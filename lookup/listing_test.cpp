// The segmentation of a passage into the listing: byte classes, the layout
// of found and unfound words, the odd cases of the walk, and the bound of
// the listing buffer; the listing text made from the listing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "lookup/test_dictionary.h"
#include "platform/convert.h"
#include "platform/text_units.h"

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
}

// A JIS X 0212 character (three bytes, 0x8F first) without a word is
// listed and passed over whole: the walk stays in step with the passage's
// characters after it.
TEST_F(ListingTest, AThreeByteCharacterIsSteppedOverWhole) {
  dictionary({euc("橋 [はし] /bridge/"), euc("日本語 /Japanese/")});
  const std::string unfound = std::string(16, ' ') + kNoMatch;
  const std::string taka = "\x8F\xF4\xFB";  // 髙
  EXPECT_EQ(hex(listing(taka + euc("橋と日本語"))),
            hex(taka + unfound + euc("橋") + kGap + euc("橋 [はし] /bridge/\n") + euc("と") +
                euc("日本語") + kGap + euc("日本語 /Japanese/\n")));
  EXPECT_EQ(hex(listing("\x8F\xB0\xB0\xA4\xA2x")), hex("\x8F\xB0\xB0" + unfound + euc("あ") + "x"));
  // A three-byte character cut by the passage's end: only its bytes.
  EXPECT_EQ(hex(listing(euc("あ") + "\x8F\xB0")), hex(euc("あ") + "\x8F\xB0" + unfound));
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

// A headword with ASCII in it ends at an odd byte by right: the word ends
// there, at the passage's character boundary, and the character after it
// (a line end the lookup dropped, a kanji) is the passage's own.
TEST_F(ListingTest, AWordWithAsciiEndsAtTheCharacterBoundaryNotAnEvenCount) {
  const std::string line = euc("漢") + "abcdefghijklmnopqr /x/";
  const std::string pop = euc("Ｊ") + "-" + euc("ＰＯＰ") + euc(" [ジェイポップ] /J-pop/");
  dictionary({line, pop});
  const std::string head = euc("漢") + "abcdefghijklmnopq";  // 19 bytes
  EXPECT_EQ(listing(head + "\n" + euc("猫")),
            head + kGap + line + "\n" + "\n" + euc("猫") + std::string(16, ' ') + kNoMatch);
  EXPECT_EQ(hex(listing(euc("Ｊ") + "-" + euc("ＰＯＰを聴く"))),
            hex(euc("Ｊ") + "-" + euc("ＰＯＰ") + kGap + pop + "\n" + euc("を") + euc("聴") +
                std::string(16, ' ') + kNoMatch + euc("く")));
}

// The blank that ends an entry line's headword is not part of the word,
// though the passage has a blank there too: the word ends before it, and
// the blank and the characters after it are listed as they stand.
TEST_F(ListingTest, ABlankAfterAWordDoesNotEatHalfTheNextCharacter) {
  dictionary({euc("配列 [はいれつ] /array/"), euc("参照 [さんしょう] /reference/"),
              euc("日本 [にほん] /Japan/")});
  EXPECT_EQ(hex(listing(euc("配列 を参照"))),
            hex(euc("配列") + kGap + euc("配列 [はいれつ] /array/\n") + " " + euc("を") +
                euc("参照") + kGap + euc("参照 [さんしょう] /reference/\n")));
  EXPECT_EQ(listing(euc("日本 Linux")),
            euc("日本") + kGap + euc("日本 [にほん] /Japan/\n") + " Linux");
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
  // Room for the notice is kept at the end.
  const size_t items = (kListingBufferSize - 1 - kNoticeRoom) / item.size();
  const std::string notice =
      "-- listing full: 2,722 of 6,000 bytes listed; Get Dodevuz NEXT goes on --\n";
  ASSERT_EQ(text.size(), items * item.size() + notice.size());
  for (size_t n = 0; n < items; ++n) ASSERT_EQ(text.substr(n * item.size(), item.size()), item);
  EXPECT_EQ(text.substr(items * item.size()), notice);
  EXPECT_EQ(lookup.listing_buffer[kListingBufferSize - 1], 0);

  // A passage that fills the kanji buffer to its last byte, with no NUL.
  std::fill(passage_.begin(), passage_.end(), 'a');
  build_listing(kMain);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lookup.listing_buffer)),
            std::string(kKanjiBufferSize, 'a'));
}

// The items of the listing, the notice apart.
std::string items_of_listing() {
  return std::string(reinterpret_cast<const char*>(lookup.listing_buffer), lookup.listing_length);
}

TEST_F(ListingTest, AFullListingEndsWithTheNoticeAndAListingThatFitsHasNone) {
  dictionary({euc("日本 /Japan/")});
  const std::string item = euc("猫") + std::string(16, ' ') + kNoMatch;  // 30 bytes
  std::string cats;
  for (int c = 0; c < 1365; ++c) cats += euc("猫");

  // 1365 items and 9 bytes of ASCII fill the buffer to its last byte but
  // one: the whole passage is listed, without a notice.
  std::string exact;
  for (int c = 0; c < 1365; ++c) exact += item;
  exact += std::string(9, 'a');
  EXPECT_EQ(listing(cats + std::string(9, 'a')), exact);
  EXPECT_FALSE(lookup.listing_full);
  EXPECT_FALSE(listing_has_more());
  EXPECT_EQ(lookup.listing_stop, 2739);
  EXPECT_EQ(lookup.notice_text_length, 0u);

  // One byte more and the walk stops; the items in the notice's room are
  // given back (1361 end at most 100 bytes before the last byte).
  std::string expected;
  for (int c = 0; c < 1361; ++c) expected += item;
  const std::string notice =
      "-- listing full: 2,722 of 2,740 bytes listed; Get Dodevuz NEXT goes on --\n";
  EXPECT_EQ(listing(cats + std::string(10, 'a')), expected + notice);
  EXPECT_TRUE(lookup.listing_full);
  EXPECT_TRUE(listing_has_more());
  EXPECT_EQ(lookup.listing_stop, 2722);
  EXPECT_EQ(items_of_listing(), expected);
  EXPECT_EQ(lookup.notice_text_length, notice.size() + 1);  // with the 0x0D of the text
  EXPECT_EQ(lookup.listing_buffer[kListingBufferSize - 1], 0);
}

TEST_F(ListingTest, TheNoticeStartsALineOfItsOwn) {
  dictionary({euc("日本 /Japan/")});
  std::string passage;
  for (int c = 0; c < 1000; ++c) passage += euc("猫");
  passage += std::string(11000, 'a');
  const std::string text = listing(passage);
  // 30000 bytes of items and 10859 of ASCII end 100 bytes before the last byte.
  const std::string notice =
      "\n-- listing full: 12,859 of 13,000 bytes listed; Get Dodevuz NEXT goes on --\n";
  ASSERT_EQ(text.size(), 30000 + 10859 + notice.size());
  EXPECT_EQ(text.substr(30000 + 10859), notice);
  EXPECT_EQ(text.substr(30000, 10859), std::string(10859, 'a'));
  EXPECT_EQ(lookup.notice_text_length, notice.size() + 2);
  EXPECT_EQ(listing_notice(1234567, 40000000),
            "-- listing full: 1,234,567 of 40,000,000 bytes listed; Get Dodevuz NEXT goes on --");
}

TEST_F(ListingTest, APageGoesOnWhereTheLastStoppedAsTheRestOfThePassageWould) {
  dictionary(
      {euc("日本 [にほん] /Japan/"), euc("学生 [がくせい] /student/"), euc("日 [ひ] /day/")});
  // Real-looking text: words, kana, a JIS X 0212 character, CR LF pairs.
  std::string unit = euc("日本の学生は") + "\x8F\xB0\xA1" + euc("日々") + "\r\n" + euc("猫");
  std::string passage;
  while (passage.size() + unit.size() <= kKanjiBufferSize - 2) passage += unit;

  std::string pages;
  int count = 0;
  int32_t start = 0;
  do {
    std::fill(passage_.begin(), passage_.end(), 0);
    std::copy(passage.begin(), passage.end(), passage_.begin());
    build_listing_page(kMain, start, kNoLimit);
    ASSERT_EQ(lookup.listing_start, start);
    pages += items_of_listing();
    ++count;
    // The page from here is the listing of the rest of the passage alone.
    if (lookup.listing_full) {
      const std::string page_items = items_of_listing();
      const int32_t stop = lookup.listing_stop;
      listing(passage.substr(start));
      EXPECT_EQ(items_of_listing().substr(0, page_items.size()), page_items);
      // Back to the page as it was.
      std::copy(passage.begin(), passage.end(), passage_.begin());
      build_listing_page(kMain, start, kNoLimit);
      ASSERT_EQ(lookup.listing_stop, stop);
    }
    start = lookup.listing_stop;
  } while (listing_has_more() && count < 100);
  EXPECT_GT(count, 2);
  EXPECT_EQ(start, static_cast<int32_t>(passage.size()));

  // The passage held 2000 bytes at a time, each part listed up to where the
  // lookups still see whole keys and the next part starting there, gives
  // the same items: where the parts were cut does not show.
  std::string parts;
  for (size_t from = 0; from < passage.size();) {
    const std::string part = passage.substr(from, 2000);
    const bool last = from + part.size() == passage.size();
    std::fill(passage_.begin(), passage_.end(), 0);
    std::copy(part.begin(), part.end(), passage_.begin());
    build_listing_page(kMain, 0, last ? kNoLimit : static_cast<int32_t>(part.size()) - 20);
    ASSERT_FALSE(lookup.listing_full);
    parts += items_of_listing();
    from += lookup.listing_stop;
  }
  EXPECT_EQ(parts, pages);
}

TEST_F(ListingTest, ALimitStopsAtTheFirstItemBoundaryWithoutANotice) {
  dictionary({euc("日本 /Japan/")});
  const std::string passage = "ab" + euc("日本") + "cd";
  std::copy(passage.begin(), passage.end(), passage_.begin());
  build_listing_page(kMain, 0, 3);  // inside the word: it is listed whole
  EXPECT_EQ(items_of_listing(), "ab" + euc("日本") + kGap + euc("日本") + " /Japan/\n");
  EXPECT_EQ(lookup.listing_stop, 6);
  EXPECT_FALSE(lookup.listing_full);
  EXPECT_FALSE(listing_has_more());
  build_listing_page(kMain, 6, kNoLimit);
  EXPECT_EQ(items_of_listing(), "cd");
  EXPECT_EQ(lookup.listing_stop, 8);
  build_listing_page(kMain, 99, kNoLimit);  // past the end: nothing
  EXPECT_EQ(items_of_listing(), "");
  EXPECT_EQ(lookup.listing_buffer[0], 0);
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

TEST(NoMatchText, IsToldByItsNAndTAlone) {
  const auto bytes = [](const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.c_str());
  };
  EXPECT_EQ(std::string(kNoMatchText), kNoMatch);
  EXPECT_TRUE(is_no_match(bytes(kNoMatch)));
  EXPECT_FALSE(is_no_match(bytes(euc("日本 [にほん] /Japan/\n"))));
  EXPECT_FALSE(is_no_match(bytes("  MATCHES  \n")));
  // The two bytes are all that is compared, as the walk has always done.
  EXPECT_TRUE(is_no_match(bytes("xxNxxxTxx\n")));
}

class ListingTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_lookup();
  }
  void TearDown() override {
    lookup.listing_buffer = nullptr;
    reset_lookup();
  }
  std::string listing_text_of(std::string listing) {
    listing.resize(kListingBufferSize, '\0');
    lookup.listing_buffer = reinterpret_cast<unsigned char*>(listing.data());
    build_listing_text();
    lookup.listing_buffer = nullptr;
    if (lookup.listing_text == nullptr) return "(no text)";
    return std::string(reinterpret_cast<const char*>(lookup.listing_text));
  }
};

TEST_F(ListingTextTest, EveryLineFeedGainsACarriageReturnAndNothingElseChanges) {
  EXPECT_EQ(listing_text_of("A\nB\n"), "A\r\nB\r\n");
  EXPECT_EQ(listing_text_of(euc("日本") + kGap + euc("日本 /Japan/\n")),
            euc("日本") + kGap + euc("日本 /Japan/\r\n"));
  EXPECT_EQ(listing_text_of(""), "");
  EXPECT_EQ(lookup.listing_text_size, kListingTextSize);
  // No listing buffer reads as an empty listing.
  build_listing_text();
  ASSERT_NE(lookup.listing_text, nullptr);
  EXPECT_EQ(lookup.listing_text[0], 0);
}

TEST_F(ListingTextTest, AListingOfLineEndsIsKeptWholeInABiggerBlock) {
  const std::string full(kListingBufferSize - 1, '\n');
  std::string expected;
  for (size_t i = 0; i < full.size(); ++i) expected += "\r\n";
  EXPECT_EQ(listing_text_of(full), expected);
  EXPECT_EQ(lookup.listing_text_size, 2 * full.size() + 1);
}

TEST_F(ListingTextTest, WithoutMemoryThereIsNoText) {
  recording.alloc_fails = [](size_t) { return true; };
  EXPECT_EQ(listing_text_of("A\n"), "(no text)");
  EXPECT_EQ(lookup.listing_text_size, 0u);
  recording.alloc_fails = nullptr;
}

TEST_F(ListingTextTest, APlacedTextIsCutAtAWholeCharacterBeforeItsNul) {
  const std::string fits = std::string(kListingTextSize - 3, 'a') + euc("日");
  EXPECT_EQ(place_listing_text(fits), fits.size());  // 39999 bytes and the NUL
  EXPECT_EQ(lookup.listing_text_size, kListingTextSize);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lookup.listing_text)), fits);

  const std::string over = std::string(kListingTextSize - 2, 'a') + euc("日");
  EXPECT_EQ(place_listing_text(over), kListingTextSize - 2);
  EXPECT_EQ(lookup.listing_text[kListingTextSize - 2], 0);
  // A JIS X 0212 character is three bytes and goes whole or not at all.
  const std::string three = std::string(kListingTextSize - 3, 'a') + "\x8F\xB0\xA1";
  EXPECT_EQ(place_listing_text(three), kListingTextSize - 3);
}

TEST(SearchKey, HoldsTheGivenBytesAloneAndStaysAText) {
  reset_lookup();
  const std::string long_key(150, 'k');
  set_search_key(reinterpret_cast<const unsigned char*>(long_key.data()), long_key.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lookup.search_key)),
            long_key.substr(0, kSearchKeySize - 1));
  set_search_key(reinterpret_cast<const unsigned char*>("ab"), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lookup.search_key), kSearchKeySize),
            "ab" + std::string(kSearchKeySize - 2, '\0'));
  set_search_key(nullptr, 0);
  EXPECT_EQ(lookup.search_key[0], 0);
}

// ---- Further dictionary slots ------------------------------------------------

TEST_F(ListingTest, NamesFromAFurtherDictionaryAreListedWhereTheMainOneHasLess) {
  dictionary({euc("鈴 [すず] /bell/"), euc("会う [あう] /to meet/")});
  write_dictionary("enamdict",
                   lines({euc("鈴木 [すずき] /(s) Suzuki/"), euc("渋谷 [しぶや] /(p) Shibuya/")}));
  open_dictionaries(kMain);
  EXPECT_EQ(listing(euc("鈴木さんは渋谷で会う。")),
            euc("鈴木") + kGap + euc("鈴木 [すずき] /(s) Suzuki/\n") + euc("さんは") + euc("渋谷") +
                kGap + euc("渋谷 [しぶや] /(p) Shibuya/\n") + euc("で") + euc("会う") + kGap +
                euc("会う [あう] /to meet/\n") + euc("。"));
  EXPECT_TRUE(recording.messages.empty());
  // The record tells each word's dictionary.
  std::vector<int32_t> slots;
  for (int32_t n = 0; n < lookup.item_count; ++n) {
    if (lookup.items[n].kind == ItemKind::kWord) slots.push_back(lookup.items[n].slot);
  }
  EXPECT_EQ(slots, (std::vector<int32_t>{1, 1, 0}));
}

// The odd cases of the walk, with the main dictionary alone and with further
// dictionaries that hold nothing longer: the same bytes. (Slot 0's words win
// ties, and unfound characters stay unfound.)
TEST_F(ListingTest, FurtherDictionariesWithNothingLongerChangeNoByte) {
  const std::vector<std::string> main = {euc("日本 /Japan/"),
                                         euc("日 /sun/"),
                                         euc("大漢") + " /inside/",
                                         "\xB0\xA1\xB0\xA3 /y/",
                                         euc("漢") + "abcdefghijklmnopqr /x/",
                                         "1 " + euc("字") + " /c/"};
  const std::vector<std::string> passages = {
      euc("日本は日日。"),
      euc("漢") + "z" + euc("猫"),
      "\xB0\xA4\xA4\xA2x",
      "\xB0\xA1\xB0\xA2z\xB0\xA1\xB0",
      euc("漢") + "abcdefghijklmnopq\n" + euc("猫"),
      euc("字日本") + "\x8E\xB1 ab\r\n",
  };
  dictionary(main);
  std::vector<std::string> alone;
  for (const std::string& p : passages) alone.push_back(listing(p));

  // Same-length words and shorter ones, and names that only begin like the
  // passage.
  write_dictionary("enamdict", lines({euc("日本 [にほん] /(p) Nihon/"), euc("日 [ひ] /(s) Hi/"),
                                      euc("日本は日日です /(work) a title/")}));
  write_dictionary("userdict", lines({euc("日本 /mine/"), euc("漢") + "abc /mine/"}));
  open_dictionaries(kMain);
  ASSERT_TRUE(slot_ready(1));
  ASSERT_TRUE(slot_ready(2));
  for (size_t n = 0; n < passages.size(); ++n) {
    EXPECT_EQ(hex(listing(passages[n])), hex(alone[n])) << n;
  }
}

// ---- The record of the items the walk wrote ---------------------------------

// An item as the tests read it: kind, passage bytes, what was written for it
// and its line.
struct Item {
  ItemKind kind;
  std::string passage;
  std::string written;
  std::string line;
  bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Item& item) {
  return out << "{" << static_cast<int>(item.kind) << " " << hex(item.passage) << " | "
             << hex(item.written) << " | " << hex(item.line) << "}";
}

class ListingItemsTest : public ListingTest {
 protected:
  std::vector<Item> items() {
    std::vector<Item> out;
    const auto* listing = reinterpret_cast<const char*>(lookup.listing_buffer);
    const auto* passage = reinterpret_cast<const char*>(passage_.data());
    for (int32_t n = 0; n < lookup.item_count; ++n) {
      const ListingItem& item = lookup.items[n];
      out.push_back({item.kind, std::string(passage + item.passage_offset, item.passage_length),
                     std::string(listing + item.listing_offset, item.listing_length),
                     item.line_offset < 0
                         ? std::string()
                         : std::string(listing + item.line_offset, item.line_length)});
    }
    return out;
  }

  // The items lie end to end over the passage up to where they stop, and
  // what was written for them, in order, is the whole listing but for the
  // notice of a full listing.
  void expect_items_tile(size_t listed) {
    size_t position = 0, written = 0;
    for (int32_t n = 0; n < lookup.item_count; ++n) {
      const ListingItem& item = lookup.items[n];
      ASSERT_EQ(static_cast<size_t>(item.passage_offset), position) << "item " << n;
      ASSERT_EQ(static_cast<size_t>(item.listing_offset), written) << "item " << n;
      ASSERT_GT(item.passage_length, 0) << "item " << n;
      if (item.kind != ItemKind::kPassed) {
        ASSERT_EQ(item.line_offset + item.line_length, item.listing_offset + item.listing_length);
        ASSERT_EQ(lookup.listing_buffer[item.line_offset + item.line_length - 1], '\n');
      }
      position += item.passage_length;
      written += item.listing_length;
    }
    EXPECT_EQ(position, listed);
    EXPECT_EQ(written, lookup.listing_length);
    const size_t notice =
        lookup.listing_full ? listing_notice(lookup.listing_stop, lookup.passage_length).size() + 1
                            : 0;
    EXPECT_LE(written + notice, std::strlen(reinterpret_cast<const char*>(lookup.listing_buffer)));
  }
};

TEST_F(ListingItemsTest, EachWordUnfoundCharacterAndCopiedRunIsOneItem) {
  dictionary({euc("日本 [にほん] /Japan/"), euc("東京 /Tokyo/")});
  const std::string passage = euc("日本は東京。Yes 猫");
  listing(passage);
  const std::vector<Item> expected = {
      {ItemKind::kWord, euc("日本"), euc("日本") + kGap + euc("日本 [にほん] /Japan/\n"),
       euc("日本 [にほん] /Japan/\n")},
      {ItemKind::kPassed, euc("は"), euc("は"), ""},
      {ItemKind::kWord, euc("東京"), euc("東京") + kGap + euc("東京 /Tokyo/\n"),
       euc("東京 /Tokyo/\n")},
      {ItemKind::kPassed, euc("。Yes "), euc("。Yes "), ""},
      {ItemKind::kNoMatch, euc("猫"), euc("猫") + std::string(16, ' ') + kNoMatch, kNoMatch},
  };
  EXPECT_EQ(items(), expected);
  expect_items_tile(passage.size());

  listing("");
  EXPECT_EQ(lookup.item_count, 0);
}

TEST_F(ListingItemsTest, ALineThatDoesNotBeginLikeTheKeyIsAWordItemOfTwoBytes) {
  const std::string text = lines({euc("大漢") + " /inside/"});
  open_dictionary_with(text, {3});
  listing(euc("漢漢"));
  ASSERT_EQ(lookup.item_count, 2);
  EXPECT_EQ(items()[0], (Item{ItemKind::kWord, euc("漢"),
                              euc("漢") + std::string(16, ' ') + euc("大漢") + " /inside/\n",
                              euc("大漢") + " /inside/\n"}));
  expect_items_tile(4);
}

TEST_F(ListingItemsTest, TheOddCasesOfTheWalkKeepTheItemsEndToEnd) {
  dictionary({"\xB0\xA1\xB0\xA2\xB0\xA3 /z/", euc("日本 /Japan/")});
  // A three-byte character without a word is one item, the kana after it
  // another.
  listing("\x8F\xB0\xB0\xA4\xA2x");
  ASSERT_EQ(lookup.item_count, 2);
  EXPECT_EQ(lookup.items[0].passage_length, 3);
  EXPECT_EQ(items()[1], (Item{ItemKind::kPassed, "\xA4\xA2x", "\xA4\xA2x", ""}));
  expect_items_tile(6);

  // A count raised past the passage's end, and a kana pair cut by it: the
  // items end with the passage.
  listing("\xB0\xA1\xB0\xA2\xB0");
  ASSERT_EQ(lookup.item_count, 1);
  EXPECT_EQ(lookup.items[0].passage_length, 5);
  listing("a\xA4");
  ASSERT_EQ(lookup.item_count, 1);
  EXPECT_EQ(lookup.items[0].passage_length, 2);
  EXPECT_EQ(lookup.items[0].listing_length, 2);  // nothing written beyond the passage
}

TEST_F(ListingItemsTest, TheLastItemEndsWhereAFullListingStopped) {
  dictionary({euc("日本 /Japan/")});
  std::string passage;
  for (int c = 0; c < 3000; ++c) passage += euc("猫") + "a";
  listing(passage);
  const std::string item = euc("猫") + std::string(16, ' ') + kNoMatch + "a";
  const size_t listed = (kListingBufferSize - 1 - kNoticeRoom) / item.size();
  ASSERT_EQ(lookup.listing_length / item.size(), listed);
  EXPECT_EQ(lookup.item_count,
            static_cast<int32_t>(2 * listed + (lookup.listing_length % item.size() ? 1 : 0)));
  EXPECT_EQ(lookup.listing_stop, lookup.items[lookup.item_count - 1].passage_offset +
                                     lookup.items[lookup.item_count - 1].passage_length);
  expect_items_tile(lookup.items[lookup.item_count - 1].passage_offset +
                    lookup.items[lookup.item_count - 1].passage_length);
  EXPECT_LT(static_cast<size_t>(lookup.item_count), kMaxListingItems);
}

// A listing of nothing but items of a byte or two: the record holds all of
// them and the next listing starts a record of its own.
TEST_F(ListingItemsTest, AWholeKanjiBufferOfShortItemsIsRecorded) {
  dictionary({euc("日 /sun/")});
  std::string passage;
  while (passage.size() + 3 <= kKanjiBufferSize - 2) passage += euc("日") + "a";
  listing(passage);
  const ListingItem& last = lookup.items[lookup.item_count - 1];
  expect_items_tile(last.passage_offset + last.passage_length);
  EXPECT_GT(lookup.item_count, 2000);
  listing(euc("日"));
  EXPECT_EQ(lookup.item_count, 1);
}

// ---- Real text ---------------------------------------------------------------

const std::filesystem::path kFullDictionary =
    std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "dict";
const std::filesystem::path kRealPassage =
    std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "corpus" / "passage-40k.euc";

// On real prose with the full dictionary, every word found is listed with a
// line that begins with the word's own first character, never with a line of
// another kanji that only shares its lead byte.
TEST_F(ListingItemsTest, OnRealTextEveryFoundLineBeginsWithItsWordsFirstCharacter) {
  namespace fs = std::filesystem;
  if (!fs::exists(kFullDictionary / "edict") || !fs::exists(kFullDictionary / "edict.jdx")) {
    GTEST_SKIP() << "no full dictionary in " << kFullDictionary << " (make full-dict)";
  }
  std::string passage = testing_support::read_file(kRealPassage.string());
  if (passage.empty()) GTEST_SKIP() << "no " << kRealPassage << " (make corpus)";
  // The kanji buffer's share of it, cut at a whole character.
  size_t whole = 0;
  while (whole < passage.size()) {
    const size_t next = whole + euc_lead_length(static_cast<unsigned char>(passage[whole]));
    if (next > kKanjiClearSize) break;
    whole = next;
  }
  passage.resize(whole);
  for (const char* name : {"edict", "edict.jdx"}) {
    fs::create_symlink(fs::absolute(kFullDictionary / name), name);
  }
  open_dictionaries(kMain);
  listing(passage);  // may stop short of the passage's end: its buffer is full
  const ListingItem& last = lookup.items[lookup.item_count - 1];
  expect_items_tile(last.passage_offset + last.passage_length);

  size_t found = 0;
  for (const Item& item : items()) {
    // A found word: the word, 8 blanks, its line (16 blanks for a line that
    // does not begin like it).
    if (item.kind != ItemKind::kWord ||
        item.written.size() != item.passage.size() + kGap.size() + item.line.size()) {
      continue;
    }
    ++found;
    const size_t first = euc_lead_length(static_cast<unsigned char>(item.passage[0]));
    size_t j = 0;
    while (j < item.line.size() && item.line[j] >= 0x02 && item.line[j] <= 0x7E) ++j;
    EXPECT_EQ(hex(item.line.substr(j, first)), hex(item.passage.substr(0, first)))
        << "word " << hex(item.passage) << "\nline: " << item.line;
  }
  EXPECT_GT(found, 300u);
}

// The 1 MB corpus with the full dictionary and the names, page after page
// as NEXT goes: every item begins and ends where a character of the passage
// does, and no listing converts to UTF-8 with a replacement character.
TEST_F(ListingItemsTest, OnTheCorpusNoItemHoldsPartOfACharacter) {
  namespace fs = std::filesystem;
  const fs::path corpus = kFullDictionary / ".." / "corpus" / "corpus-1m.euc";
  if (!fs::exists(kFullDictionary / "edict") || !fs::exists(kFullDictionary / "enamdict.jdx")) {
    GTEST_SKIP() << "no full dictionary with enamdict in " << kFullDictionary;
  }
  const std::string text = testing_support::read_file(corpus.string());
  if (text.empty()) GTEST_SKIP() << "no " << corpus << " (make corpus)";
  for (const char* name : {"edict", "edict.jdx", "enamdict", "enamdict.jdx"}) {
    fs::create_symlink(fs::absolute(kFullDictionary / name), name);
  }
  reset_store(kMaxFrameCount);
  open_dictionaries(kMain);
  size_t items_seen = 0, listings = 0;
  for (size_t from = 0; from < text.size();) {
    // A kanji buffer's share, cut at a whole character, and where its
    // characters begin.
    const size_t part = euc_whole_prefix(std::string_view(text).substr(from), kKanjiClearSize);
    std::fill(passage_.begin(), passage_.end(), 0);
    std::copy_n(text.begin() + static_cast<ptrdiff_t>(from), part, passage_.begin());
    std::vector<bool> boundary(part + 1, false);
    for (size_t at = 0; at < part; at += euc_lead_length(passage_[at])) boundary[at] = true;
    boundary[part] = true;
    for (int32_t start = 0; start < static_cast<int32_t>(part);) {
      build_listing_page(kMain, start, kNoLimit);
      ++listings;
      ASSERT_GT(lookup.listing_stop, start);
      for (int32_t n = 0; n < lookup.item_count; ++n) {
        const ListingItem& item = lookup.items[n];
        const auto end = static_cast<size_t>(item.passage_offset + item.passage_length);
        ASSERT_TRUE(boundary[item.passage_offset] && boundary[std::min(end, part)])
            << "item at " << from + item.passage_offset << ": "
            << hex(std::string(reinterpret_cast<const char*>(passage_.data()) + item.passage_offset,
                               item.passage_length));
      }
      items_seen += lookup.item_count;
      const std::string utf8 = euc_to_utf8(reinterpret_cast<const char*>(lookup.listing_buffer));
      ASSERT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos) << "listing from " << from + start;
      start = lookup.listing_stop;
    }
    from += part;
  }
  EXPECT_GT(items_seen, 100000u);
  EXPECT_GT(listings, 25u);
}

}  // namespace
