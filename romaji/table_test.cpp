// The table loader and its JIS line decoder: kinds of lines, sections, the
// end of the data and the bounds of lines and fields.
#include <string>

#include "romaji/test_support.h"

namespace {

using romaji_test::RomajiTest;
using testing_support::euc;
using testing_support::hex;

std::string decode(std::string_view in, size_t out_size = kTableLineSize) {
  std::string input(in);
  std::vector<unsigned char> out(out_size + 1, 0xEE);  // one guard byte
  decode_jis_line(out.data(), reinterpret_cast<const unsigned char*>(input.c_str()), out_size);
  EXPECT_EQ(out[out_size], 0xEE) << "written past the buffer";
  return reinterpret_cast<const char*>(out.data());
}

TEST(DecodeJisLine, EscapeSequencesSwitchModes) {
  EXPECT_EQ(hex(decode("\x1b$B0!\x1b(Bx")), "B0 A1 78");
  EXPECT_EQ(hex(decode("\x1b$@0!\x1b(Jx")), "B0 A1 78");
  EXPECT_EQ(hex(decode("\x1b$(D0!0\"")), "8F B0 A1 8F B0 A2");
  EXPECT_EQ(hex(decode("\x1b$B0!\x1b$(D0!")), "B0 A1 8F B0 A1");
  // An ESC that starts none of the sequences is a byte like any other.
  EXPECT_EQ(hex(decode("\x1b(I!")), "1B 28 49 21");
  EXPECT_EQ(hex(decode("\x1b$B\x1b(I!")), "9B A8 C9 A1");
  EXPECT_EQ(decode(""), "");
  // EUC-JP passes through ASCII mode unchanged; a line feed in a two-byte
  // mode gets bit 7 like every byte.
  EXPECT_EQ(euc("か\tka\n"), decode(euc("か\tka\n")));
  EXPECT_EQ(hex(decode("\x1b$B$\"\n")), "A4 A2 8A");
}

TEST(DecodeJisLine, EveryPrefixOfASequenceDecodesInsideItsBuffer) {
  const std::string line = "\x1b$(D0!0\"\x1b$B$\"\x1b(Ba";
  for (size_t cut = 0; cut <= line.size(); ++cut) decode(line.substr(0, cut));
  // A small buffer keeps a whole prefix: no lone 0x8F, always NUL-terminated.
  EXPECT_EQ(hex(decode("\x1b$(D0!0\"", 4)), "8F B0 A1");
  EXPECT_EQ(hex(decode("\x1b$(D0!0\"", 3)), "");
  EXPECT_EQ(decode("abcdef", 4), "abc");
  EXPECT_EQ(decode("abcdef", 1), "");
}

TEST_F(RomajiTest, JisAndEucLinesGiveTheSameEntry) {
  load_bytes("\x1b$B$\"\x1b(B\ta\n");
  EXPECT_EQ(hex(entry_kana(0)), "A4 A2");
  EXPECT_EQ(entry_romaji(0), "a");
  load_bytes("\xA4\xA2\ta\r\n");
  EXPECT_EQ(hex(entry_kana(0)), "A4 A2");
  EXPECT_EQ(entry_romaji(0), "a");
}

TEST_F(RomajiTest, SectionAndCommentLinesAreToldAfterDecoding) {
  load_table(
      "か\tka\n"  // before any section line: hiragana entry 0
      "$K\n"
      "カ\tka\n"
      "$H section lines ignore the rest\n"
      "な\tna\n"
      "$x a\n"                 // '$' and another byte: a mapping line
      "\x1b(B# a comment\n"    // '#' after ESC ( B: a comment
      "\x1b$B#!\x1b(B  z\n");  // '#' after ESC $ B is 0xA3: a mapping line
  EXPECT_EQ(entry_kana(0), euc("な"));
  EXPECT_EQ(entry_kana(1), "$x");
  EXPECT_EQ(entry_romaji(1), "a");
  EXPECT_EQ(hex(entry_kana(2)), "A3 A1");
  EXPECT_EQ(entry_romaji(2), "z");
  EXPECT_EQ(entry_kana(3), "");
  EXPECT_EQ(entry_kana(kKatakanaSection), euc("カ"));
  EXPECT_EQ(entry_romaji(kKatakanaSection), "ka");
}

TEST_F(RomajiTest, ASecondSectionLineRestartsItsSection) {
  load_table("きゃ\tkyaaaa\nき\tki\n$h\nか\tk\n");
  EXPECT_EQ(entry_kana(0), euc("か"));
  // The replaced fields hold only the new texts, zeros to their ends.
  for (size_t i = 2; i < kFieldSize; ++i) EXPECT_EQ(romaji.table[0].kana[i], 0) << i;
  for (size_t i = 1; i < kFieldSize; ++i) EXPECT_EQ(romaji.table[0].romaji[i], 0) << i;
  EXPECT_EQ(entry_kana(1), euc("き"));
}

TEST_F(RomajiTest, SplitsLikeStrtok) {
  load_table(
      "  \tか \t ka  more words\n"  // leading blanks skipped, the rest ignored
      "き\t\r\n"                    // no romaji text: skipped, fills nothing
      "く\n"                        // kana alone: skipped
      "\n"                          // empty line: skipped
      "け\tke\r\n"
      "こ\tko");  // last line without a line feed counts
  EXPECT_EQ(entry_kana(0), euc("か"));
  EXPECT_EQ(entry_romaji(0), "ka");
  EXPECT_EQ(entry_kana(1), euc("け"));
  EXPECT_EQ(entry_romaji(1), "ke");
  EXPECT_EQ(entry_kana(2), euc("こ"));
  EXPECT_EQ(entry_romaji(2), "ko");
  EXPECT_EQ(entry_kana(3), "");
}

TEST_F(RomajiTest, TextsTooLongForTheirFieldsAreRejected) {
  load_table(
      "きゃきゅ\tx\n"       // four kana: 8 bytes
      "か\tabcdefg\n"       // 7 bytes of romaji
      "っちゃ\ttchaaa\n");  // 6 and 6 fit
  EXPECT_EQ(entry_kana(0), euc("っちゃ"));
  EXPECT_EQ(entry_romaji(0), "tchaaa");
  EXPECT_EQ(entry_kana(1), "");
}

TEST_F(RomajiTest, LongLinesAreCutOrSkipped) {
  const std::string blanks(100, ' ');
  load_table("# " + blanks +
             "a long comment\n"  // still a comment
             "か\tka" +
             blanks +
             "x\n"  // a cut mapping line is skipped
             "$k" +
             blanks +
             "\n"  // still a section line
             "カ\tka\n");
  EXPECT_EQ(entry_kana(0), "");
  EXPECT_EQ(entry_kana(kKatakanaSection), euc("カ"));
  // 79 bytes with the line feed is the longest line read.
  std::string fits = "か\tka" + std::string(79 - 5 - 1, ' ') + "\n";
  std::string longer = "き\tki" + std::string(79 - 5, ' ') + "\n";
  load_bytes(euc(fits) + euc(longer));
  ASSERT_EQ(euc(fits).size(), 79u);
  EXPECT_EQ(entry_romaji(0), "ka");
  EXPECT_EQ(entry_kana(1), "");
  // A line that decodes to more than 79 bytes is skipped too: 26 JIS X 0212
  // pairs in 62 bytes decode to 78, plus tab and romaji.
  std::string wide = "\x1b$(D" + std::string(52, '0') + "\x1b(B\tx\n";
  load_bytes(wide + "\xA4\xAB\tka\n");
  EXPECT_EQ(entry_romaji(0), "ka");
}

TEST_F(RomajiTest, OnlyTheFirst4592BytesAreRead) {
  // Comment lines of exactly size bytes.
  auto comments = [](size_t size) {
    std::string s;
    while (size - s.size() > 100) s += "#" + std::string(48, '-') + "\n";
    return s + "#" + std::string(size - s.size() - 2, '-') + "\n";
  };
  // The read ends inside a mapping line: it is left out, not stored as "k".
  load_bytes(comments(4588) + euc("き\tkya\n"));
  EXPECT_EQ(entry_kana(0), "");
  // A file that ends at byte 4592 without a line feed is read whole.
  ASSERT_EQ(comments(4586).size(), 4586u);
  load_bytes(comments(4586) + euc("き\tkya"));
  EXPECT_EQ(entry_romaji(0), "kya");
}

TEST_F(RomajiTest, ReadingStopsWithThe234thEntryOfASection) {
  std::string lines;
  for (int i = 0; i < 234; ++i) lines += "か\tk" + std::to_string(i % 10) + "\n";
  testing::internal::CaptureStdout();
  load_table(lines);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(entry_romaji(233), "k3");

  testing::internal::CaptureStdout();
  load_table(lines + "$k\nカ\tka\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Too many romaji table entries!\n");
  EXPECT_EQ(entry_romaji(233), "k3");
  EXPECT_EQ(entry_kana(kKatakanaSection), "");
  EXPECT_EQ(entry_kana(234), "");
}

TEST_F(RomajiTest, EachLoadStartsFromAnEmptyTable) {
  load_table("か\tka\nき\tki\n");
  load_table("な\tna\n");
  EXPECT_EQ(entry_kana(0), euc("な"));
  EXPECT_EQ(entry_kana(1), "");
}

TEST_F(RomajiTest, AMissingTableFileEndsTheProgram) {
  testing::internal::CaptureStdout();
  try {
    load_romaji_table();
    ADD_FAILURE() << "the program went on";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.status, 1);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open: kanarom.cnv\n");
}

TEST_F(RomajiTest, NoTableBufferLeavesAnEmptyTable) {
  load_table("か\tka\n");
  recording.alloc_fails = [](size_t size) { return size == kTableFileBufferSize; };
  load_table("か\tka\n");
  EXPECT_EQ(entry_kana(0), "");
  // Nothing of the earlier table's index is left to match.
  recording.alloc_fails = nullptr;
  EXPECT_EQ(romanize("か"), "##");
}

// The kana are looked up through an index of the table by their first two
// bytes: each load indexes its own table, and within the entries of one
// kana the first in table order still wins.
TEST_F(RomajiTest, TheIndexFollowsEachLoadAndKeepsTableOrder) {
  load_table("き\tki\nきゃ\tkya\nか\tka\n");
  EXPECT_EQ(romanize("きゃか"), "ki##ka");
  load_table("きゃ\tkya\nき\tki\n$k\nキ\tKI\nきょ\tkyo\n");
  EXPECT_EQ(romanize("きゃきょきか"), "kyaki##ki##");
  EXPECT_EQ(romanize("キきゃ"), "KIKYA");
  // A key of one byte matches a kana's first byte left alone at the end of
  // a run (before ASCII); a key that no kana begins with is never reached.
  load_bytes("ab\tx\n\xA4\tz\n" + euc("か\tka\n"));
  EXPECT_EQ(romanize_bytes(euc("か") + "ab\xA4" + "a"), "kaabza");
}

}  // namespace
