// The transliteration of the listing text: byte classes, runs, first-match
// conversion, gemination and capitals, the pane, and the bounds of the run,
// the run output and the romaji buffer.
#include <string>

#include "platform/in_memory.h"
#include "romaji/test_support.h"

namespace {

using testing_support::euc;
using testing_support::hex;

// Hiragana and katakana sections of the examples; ゐ is left out.
constexpr char kExampleTable[] =
    "# examples\n"
    "きゃ\tkya\n"
    "か\tka\nき\tki\nな\tna\nこ\tko\nう\tu\nが\tga\nあ\ta\nし\tshi\n"
    "に\tni\nほ\tho\nん\tn\nっ\t*\n"
    "$k\n"
    "カ\tka\nナ\tna\nッ\t*\nー\t-\n";

class Transliterate : public romaji_test::RomajiTest {
 protected:
  void SetUp() override {
    RomajiTest::SetUp();
    load_table(kExampleTable);
  }
};

TEST_F(Transliterate, GeminationAndTheFullStop) {
  EXPECT_EQ(romanize("がっこう"), "gakkou");
  EXPECT_EQ(romanize("あっ"), "at-");
  EXPECT_EQ(romanize("あっ."), "at.");
  EXPECT_EQ(romanize("カー."), "KA.");
  EXPECT_EQ(romanize("a-."), "a.");
  EXPECT_EQ(romanize("カッカ"), "KAKKA");
  EXPECT_EQ(romanize("カッ"), "KAT-");
  EXPECT_EQ(romanize("っっか"), "*kka");
  EXPECT_EQ(romanize("っっ"), "tt-");
}

TEST_F(Transliterate, CapitalsFollowTheRunsFirstKana) {
  EXPECT_EQ(romanize("カナ"), "KANA");
  EXPECT_EQ(romanize("カな"), "KANA");
  EXPECT_EQ(romanize("なカ"), "naka");
  EXPECT_EQ(romanize("ーカ"), "-ka");
}

TEST_F(Transliterate, DroppedPunctuationKeepsTheRunGoing) {
  EXPECT_EQ(romanize("かな。カナ"), "kanakana");
  EXPECT_EQ(romanize("かな.カナ"), "kana.KANA");
  EXPECT_EQ(romanize("「か」"), "ka");
  EXPECT_EQ(romanize("か、き"), "kaki");
  EXPECT_EQ(romanize("か　カ"), "kaka");
}

TEST_F(Transliterate, FirstMatchComparesOnlyTheNamedBytes) {
  EXPECT_EQ(romanize("きゃ"), "kya");
  EXPECT_EQ(romanize("きャ"), "kya");
  EXPECT_EQ(romanize("ゐ"), "##");
  EXPECT_EQ(romanize("かゐか"), "ka##ka");
}

TEST_F(Transliterate, EverythingElseIsCopiedAndEndsTheRun) {
  EXPECT_EQ(romanize("か・な"), "ka" + euc("・") + "na");
  EXPECT_EQ(romanize_bytes(euc("か") + "\x8F\xB0\xA1" + euc("な")), "ka\x8F\xB0\xA1na");
  const std::string line = "日本        日本 [にほん] /Japan/\r\n";
  EXPECT_EQ(romanize(line + line), euc("日本        日本 [nihon] /Japan/\r\n") +
                                       euc("日本        日本 [nihon] /Japan/\r\n"));
}

TEST_F(Transliterate, CharactersCutShortByTheEnd) {
  // Each text's block ends with its NUL, so a read past it is caught.
  EXPECT_EQ(romanize_bytes("\xA4"), "#");
  EXPECT_EQ(romanize_bytes(euc("か") + "\xA5"), "ka#");
  EXPECT_EQ(romanize_bytes("a\x8F"), "a\x8F");
  EXPECT_EQ(romanize_bytes("a\x8F\xB0"), "a\x8F\xB0");
  EXPECT_EQ(romanize_bytes("a\xB0"), "a\xB0");
  // A kana's first byte before a line end goes alone: the line end stays.
  EXPECT_EQ(hex(romanize_bytes("\xA4\r\nx")), "23 0D 0A 78");
}

TEST_F(Transliterate, EachCallMakesANewPane) {
  EXPECT_EQ(romanize(""), "");
  PaneRecord* first = pane_record(romaji.romaji_pane);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->text, "");
  EXPECT_EQ(romanize("カナ"), "KANA");
  PaneRecord* pane = pane_record(romaji.romaji_pane);
  ASSERT_NE(pane, nullptr);
  EXPECT_FALSE(first->alive);
  EXPECT_TRUE(pane->alive);
  EXPECT_EQ(pane->parent, romaji_test::kMainWindow);
  EXPECT_EQ(pane->x, 10);
  EXPECT_EQ(pane->y, 0);
  EXPECT_EQ(pane->width, 630);
  EXPECT_EQ(pane->height, 190);
  EXPECT_EQ(pane->style, 0x50A00944u);
  EXPECT_EQ(pane->text, "KANA");
}

TEST_F(Transliterate, NoListingTextOrNoBufferGivesAnEmptyPane) {
  build_romaji_text(romaji_test::kMainWindow);  // before any Get: no listing text
  EXPECT_EQ(romaji.romaji_buffer[0], 0);
  recording.alloc_fails = [](size_t size) { return size == kRomajiBufferSize; };
  EXPECT_EQ(romanize("かな"), "");
  ASSERT_NE(pane_record(romaji.romaji_pane), nullptr);
  EXPECT_EQ(pane_record(romaji.romaji_pane)->text, "");
}

std::string repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

TEST_F(Transliterate, LongRunsAreConvertedWhole) {
  EXPECT_EQ(romanize(repeat("か", 3000)), repeat("ka", 3000));
  // Cuts of the full run fall between table entries and not after a
  // gemination mark, and the capitals of the run's beginning carry on.
  EXPECT_EQ(romanize(repeat("きゃ", 1000)), repeat("kya", 1000));
  EXPECT_EQ(romanize(repeat("かっか", 1000)), repeat("kakka", 1000));
  EXPECT_EQ(romanize("カ" + repeat("な", 2000) + "."), "KA" + repeat("NA", 2000) + ".");
  EXPECT_EQ(romanize(repeat("し", 500) + "っ"), repeat("shi", 500) + "t-");
  EXPECT_EQ(romanize(repeat("し", 500) + "ー."), repeat("shi", 500) + ".");
}

TEST_F(Transliterate, TheRomajiBufferIsCutAtAWholeCharacter) {
  std::string romaji_text = romanize(repeat("し", 19000));
  EXPECT_EQ(romaji_text.size(), kRomajiBufferSize - 1);
  EXPECT_EQ(romaji_text.substr(0, 6), "shishi");
  EXPECT_EQ(romaji.romaji_buffer[kRomajiBufferSize - 1], 0);
  // 39998 bytes of romaji leave no room for the two bytes of a kanji.
  romaji_text = romanize("し" + std::string(39995, 'a') + "日");
  EXPECT_EQ(romaji_text.size(), 39998u);
  EXPECT_EQ(romaji_text.back(), 'a');
  EXPECT_EQ(pane_record(romaji.romaji_pane)->text, romaji_text);
}

// A text that begins as the last one did takes over the romaji of the lines
// they share: the buffer, its length, the cut and line_text_end are what a
// walk from the start gives, whether the texts part at a line end, inside a
// line, inside a kana run, at a full stop after a gemination, or after the
// romaji buffer was full; and never from a walk with another table.
TEST_F(Transliterate, ATextThatBeginsAsTheLastOneIsSpelledAsAFreshWalkWould) {
  std::string listing;
  for (int n = 0; n < 600; ++n) {
    listing += n % 3 == 0   ? "日本        日本 [にほん] /Japan/\r\n"
               : n % 3 == 1 ? "がっこう        学校 [がっこう] /school/ あっ.\r\n"
                            : "カナ        カな。き /x/\r\n";
  }
  const std::string all = euc(listing);
  struct Walk {
    std::string romaji;
    size_t length, line_text_end;
    bool cut;
    bool operator==(const Walk&) const = default;
  };
  auto walk = [&](const std::string& bytes) {
    romanize_bytes(bytes);
    return Walk{reinterpret_cast<const char*>(romaji.romaji_buffer), romaji.romaji_length,
                romaji.line_text_end, romaji.romaji_cut};
  };
  auto fresh = [&](const std::string& bytes) {
    load_table(kExampleTable);  // a load forgets the last walk
    return walk(bytes);
  };
  const std::string notice = "-- listing full --\r\n";
  const size_t line = all.find('\n') + 1;
  for (size_t cut : {line, 7 * line + 3, all.size() / 2, all.find('\n', all.size() / 2) + 1,
                     all.find(euc("っ"), all.size() / 3) + 1, all.size()}) {
    for (const std::string& end : {notice, std::string("tail")}) {
      const std::string changed = all.substr(0, cut) + end;
      const Walk expected = fresh(changed);
      walk(all);
      EXPECT_TRUE(walk(changed) == expected) << cut;
    }
  }
  // Past a full buffer: the romaji of 13,000 kana is cut, then a shorter text.
  const std::string long_text = euc(repeat("し\r\n", 13000));
  const std::string shorter = long_text.substr(0, 4 * 9000) + notice;
  const Walk expected = fresh(shorter);
  walk(long_text);
  EXPECT_TRUE(romaji.romaji_cut);
  EXPECT_TRUE(walk(shorter) == expected);
  // Another table between two walks of the same text.
  walk(all);
  load_table("か\tKA\nこ\tKO\nっ\t*\nう\tU\nが\tGA\n");
  const Walk other = walk(all);
  EXPECT_NE(other.romaji, fresh(all).romaji);
  EXPECT_NE(other.romaji.find("GAKKOU"), std::string::npos);
}

TEST(AppendChar, StaysInsideItsString) {
  unsigned char s[4] = {'a', 0, 0x55, 0x55};
  append_char(s, sizeof s, 0);
  EXPECT_EQ(s[1], 0);
  append_char(s, sizeof s, 'b');
  append_char(s, sizeof s, 'c');
  append_char(s, sizeof s, 'd');  // no room for it and the NUL
  EXPECT_STREQ(reinterpret_cast<char*>(s), "abc");
  unsigned char full[2] = {'x', 'y'};  // no NUL at all: left alone
  append_char(full, sizeof full, 'z');
  EXPECT_EQ(full[1], 'y');
}

}  // namespace
