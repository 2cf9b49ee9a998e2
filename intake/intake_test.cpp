// The decoders on hand-made text: worked examples, malformed input, the bounds
// of the kanji buffer, and read_clipboard_* through the recording platform.
#include "intake/intake.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/in_memory.h"
#include "platform/recording.h"
#include "tests/testing.h"

using testing_support::euc;
using testing_support::hex;

namespace {

std::string decode(size_t (*convert)(const unsigned char*, size_t, unsigned char*, size_t),
                   const std::string& in, size_t out_size = kKanjiBufferSize) {
  std::string out(out_size, '\x55');
  size_t n = convert(reinterpret_cast<const unsigned char*>(in.data()), in.size(),
                     reinterpret_cast<unsigned char*>(out.data()), out_size);
  out.resize(n);
  return out;
}

std::string sjis(const std::string& in) {
  return decode(convert_sjis, in);
}
std::string jis(const std::string& in) {
  return decode(convert_jis, in);
}

// The text, its two NULs and zeros up to the end of out.
void expect_layout(const unsigned char* out, size_t out_size, const std::string& text) {
  ASSERT_LE(text.size() + 2, out_size);
  EXPECT_EQ(hex(std::string(reinterpret_cast<const char*>(out), text.size())), hex(text));
  for (size_t i = text.size(); i < out_size; ++i) {
    ASSERT_EQ(out[i], 0) << "offset " << i;
  }
}

const Window kOwner = reinterpret_cast<Window>(0x1234);

}  // namespace

TEST(SjisToJis, CornersOfTheCodeSpace) {
  struct Case {
    int lead, trail, row, cell;
  } cases[] = {{0x81, 0x40, 0x21, 0x21}, {0x82, 0xA0, 0x24, 0x22}, {0xE0, 0x40, 0x5F, 0x21},
               {0xEF, 0xFC, 0x7E, 0x7E}, {0x81, 0x7E, 0x21, 0x5F}, {0x81, 0x80, 0x21, 0x60},
               {0x81, 0x9E, 0x21, 0x7E}, {0x81, 0x9F, 0x22, 0x21}, {0x9F, 0xFC, 0x5E, 0x7E}};
  for (const Case& c : cases) {
    int a = c.lead, b = c.trail;
    sjis_to_jis(&a, &b);
    EXPECT_EQ(a, c.row) << std::hex << c.lead << " " << c.trail;
    EXPECT_EQ(b, c.cell) << std::hex << c.lead << " " << c.trail;
  }
  // Only the low 8 bits are read.
  int a = 0x181, b = -0xC0;  // -0xC0 & 0xFF == 0x40
  sjis_to_jis(&a, &b);
  EXPECT_EQ(a, 0x21);
  EXPECT_EQ(b, 0x21);
}

TEST(ConvertSjis, WorkedExamples) {
  EXPECT_EQ(hex(sjis("ABC\r\n")), "41 42 43 0D 0A");
  EXPECT_EQ(hex(sjis("\x82\xA0")), "A4 A2");
  EXPECT_EQ(hex(sjis("\x81\x40")), "A1 A1");
  EXPECT_EQ(hex(sjis("\x88\x9F")), "B0 A1");
  EXPECT_EQ(hex(sjis("\xE0\x40")), "DF A1");
  EXPECT_EQ(hex(sjis("\xEF\xFC")), "FE FE");
  EXPECT_EQ(hex(sjis("\xB6\xDE")), "A5 AC");  // ガ
  EXPECT_EQ(hex(sjis("\xCA\xDF")), "A5 D1");  // パ
  EXPECT_EQ(hex(sjis("\xB3\xDE")), "A5 F4");  // ヴ
  EXPECT_EQ(hex(sjis("\xC2\xDE")), "A5 C5");  // ヅ
  EXPECT_EQ(hex(sjis("\xB1")), "A5 A2");      // ア as the last byte
  EXPECT_EQ(sjis(""), "");
}

TEST(ConvertSjis, BytesOutsideTheEncodingAreCopiedThrough) {
  EXPECT_EQ(hex(sjis("\x81\x3F")), "81 3F");                // trail below 0x40
  EXPECT_EQ(hex(sjis("\x81\n")), "81 0A");                  // the LF goes with the pair
  EXPECT_EQ(hex(sjis("\x81\xFD\x81\xFF")), "81 FD 81 FF");  // trail above 0xFC
  EXPECT_EQ(hex(sjis("\x81\x7F")), "A1 E0");                // 0x7F is a trail like any other
  EXPECT_EQ(hex(sjis("\x81")), "81");                       // lone lead at the end
  EXPECT_EQ(hex(sjis("\xF0\x40")), "F0 40");                // 0xF0-0xFF lead nothing
  EXPECT_EQ(hex(sjis("\xFF\x82\xA0")), "FF A4 A2");
  EXPECT_EQ(hex(sjis("\x80\xA0")), "80 A0");
  // A lone lead before a NUL: the text ends there, nothing behind it is read.
  std::string with_nul("\x81\0\x41\x42", 4);
  EXPECT_EQ(hex(sjis(with_nul)), "81");
}

TEST(ConvertSjis, HalfwidthLetterWithoutItsMarkKeepsTheNextCharacter) {
  // Each letter and the character behind it survive; the output runs ahead.
  EXPECT_EQ(sjis("\xBA\xDD\xCB\xDF\xAD\xB0\xC0\xB0"), euc("コンピューター"));
  EXPECT_EQ(sjis("\xB1\xDE"), euc("ア゛"));  // a mark that does not apply
  EXPECT_EQ(sjis("\xB6\xDF"), euc("カ゜"));
  EXPECT_EQ(sjis("\xB1"
                 "A"),
            euc("アA"));
  EXPECT_EQ(sjis("\xB1\x82\xA0"), euc("アあ"));
  // A NUL behind the letter ends the text; it is never stepped over.
  std::string with_nul("\xB1\0\x41", 3);
  EXPECT_EQ(sjis(with_nul), euc("ア"));
}

TEST(ConvertSjis, CharactersStartWhereTheirInputStarted) {
  // ASCII, kanji, kana, marked half-width letters and stray bytes: the offsets match.
  std::string in =
      "A\x88\x9F\x82\xA0\xB6\xDE\xCA\xDF"
      "b\x81\x3F\xF0\x80\xE0\x40\r\n";
  std::string out = sjis(in);
  ASSERT_EQ(out.size(), in.size());
  EXPECT_EQ(hex(out), "41 B0 A1 A4 A2 A5 AC A5 D1 62 81 3F F0 80 DF A1 0D 0A");
}

TEST(ConvertJis, WorkedExamples) {
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x24\x22\x1B(BA")), "B0 A1 A4 A2 41");
  EXPECT_EQ(hex(jis("\x1BK\x30\x21\x1BH")), "B0 A1");
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\r\n\x30\x21")), "B0 A1 0D 0A 30 21");
  EXPECT_EQ(hex(jis("Plain\r\nASCII\r\n")), hex("Plain\r\nASCII\r\n"));
  EXPECT_EQ(jis(""), "");
}

TEST(ConvertJis, EscapesAreJudgedByTheirSecondByteAlone) {
  EXPECT_EQ(hex(jis("\x1B$@\x30\x21")), "B0 A1");
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x1B(J\x30\x21")), "B0 A1 30 21");
  // ESC ( I turns two-byte mode off; the half-width bytes come out as ASCII.
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x1B(I\x31\x32")), "B0 A1 31 32");
  // ESC $ ( D: three bytes used up, then D and 0x30 form a pair, 0x21 and A the next.
  EXPECT_EQ(hex(jis("\x1B$(D\x30\x21"
                    "A")),
            "C4 B0 A1 C1");
  EXPECT_EQ(hex(jis("x\x1B"
                    "Ay")),
            "78 79");  // ESC A: two bytes, nothing written
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x1B"
                    "A\x30\x21")),
            "B0 A1 30 21");
}

TEST(ConvertJis, MalformedInput) {
  // Escapes cut short by the end of the text end it, in either mode.
  EXPECT_EQ(hex(jis("ab\x1B")), "61 62");
  EXPECT_EQ(hex(jis("ab\x1B$")), "61 62");
  EXPECT_EQ(hex(jis("ab\x1B(")), "61 62");
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x1B")), "B0 A1");
  std::string esc_nul("\x1B\0\x1B$B\x30\x21", 7);
  EXPECT_EQ(jis(esc_nul), "");
  std::string esc_dollar_nul("a\x1B$\0\x30\x21", 6);
  EXPECT_EQ(hex(jis(esc_dollar_nul)), "61");
  // Half a pair at the end stays the byte it was.
  EXPECT_EQ(hex(jis("\x1B$B\x30\x21\x30")), "B0 A1 30");
  std::string half_pair_nul("\x1B$B\x30\0\x21\x21", 7);
  EXPECT_EQ(hex(jis(half_pair_nul)), "30");
  // Pairs are raised with no range check, wrapping modulo 256...
  EXPECT_EQ(hex(jis("\x1B$B \x7F\xFF\x81")), "A0 FF 7F 01");
  // ...but never into a NUL inside the text: a pair holding 0x80 stays as it is.
  EXPECT_EQ(hex(jis("\x1B$B\x80\x21\x30\x80\x30\x21")), "80 21 30 80 B0 A1");
}

TEST(ConvertBounds, OutputIsCutAtTheLastWholeCharacter) {
  // One ASCII byte shifts every kanji to an odd offset, so that the limit
  // falls in the middle of a pair.
  std::string in = "A";
  while (in.size() < (1u << 20)) in += "\x88\x9F";
  std::string out = sjis(in);
  ASSERT_EQ(out.size(), 39997u);
  EXPECT_EQ(out.substr(out.size() - 2), "\xB0\xA1");

  // Half-width letters double in size: 19999 of them fill the 39998 bytes.
  std::string halfwidth(1u << 20, '\xB1');
  EXPECT_EQ(sjis(halfwidth).size(), 39998u);
  std::string mixed = "A" + halfwidth;
  EXPECT_EQ(sjis(mixed).size(), 39997u);

  std::string jis_in = "A\x1B$B";
  while (jis_in.size() < (1u << 20)) jis_in += "\x30\x21";
  out = jis(jis_in);
  ASSERT_EQ(out.size(), 39997u);
  EXPECT_EQ(out.substr(out.size() - 2), "\xB0\xA1");
}

TEST(ConvertEuc, CopiesUpToTheNulAndCutsAtAWholeCharacter) {
  const std::string text = "a" + euc("日本") + "\x8F\xB0\xA1" + "\x8E\xB6\r\n";
  EXPECT_EQ(hex(decode(convert_euc, text)), hex(text));
  EXPECT_EQ(decode(convert_euc, std::string("ab\0cd", 5)), "ab");
  // Room for 1 + 2 + 2 bytes of text in 7: the three-byte character goes whole.
  EXPECT_EQ(hex(decode(convert_euc, text, 7)), hex("a" + euc("日本")));
  EXPECT_EQ(hex(decode(convert_euc, text, 9)), hex("a" + euc("日本")));
  EXPECT_EQ(hex(decode(convert_euc, text, 10)), hex(text.substr(0, 8)));
  // Bytes that start no character are one byte each; a lead at the end of
  // the text is kept, as the other conversions keep theirs.
  EXPECT_EQ(hex(decode(convert_euc,
                       "\x80\xFF"
                       "a\xB0")),
            hex("\x80\xFF"
                "a\xB0"));

  std::string a_lot = "A";
  while (a_lot.size() < 50000) a_lot += euc("日");
  EXPECT_EQ(decode(convert_euc, a_lot).size(), 39997u);
}

TEST(ConvertBounds, TinyBuffersAreNeverOverrun) {
  const std::string inputs[] = {"\x88\x9F\x88\x9F", "A\x88\x9F", "\xB1\xB2", "\x1B$B\x30\x21"};
  for (const std::string& in : inputs) {
    for (size_t size = 0; size <= 8; ++size) {
      for (auto convert : {convert_sjis, convert_jis, convert_euc}) {
        // Exactly size bytes on the heap, so that AddressSanitizer sees any overrun.
        auto out = std::make_unique<unsigned char[]>(size);
        size_t n =
            convert(reinterpret_cast<const unsigned char*>(in.data()), in.size(), out.get(), size);
        EXPECT_LE(n + 2, size < 2 ? 2 : size) << hex(in) << " into " << size;
        for (size_t i = n; i < size; ++i) EXPECT_EQ(out[i], 0);
      }
    }
  }
}

TEST(ConvertBounds, RandomBytesKeepTheLayout) {
  std::mt19937 random(20261207);
  const unsigned char alphabet[] = {0x00, 0x0A, 0x0D, 0x1B, '$',  '(',  'K',  'B',  0x21, 0x30,
                                    0x40, 0x7F, 0x80, 0x81, 0x9F, 0xA0, 0xA1, 0xB3, 0xB6, 0xCA,
                                    0xDE, 0xDF, 0xE0, 0xEF, 0xF0, 0xFC, 0xFD, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    const size_t in_size = random() % 64;
    const size_t out_size = random() % 40;
    auto in = std::make_unique<unsigned char[]>(in_size);  // not NUL-terminated
    for (size_t i = 0; i < in_size; ++i) {
      in[i] = random() % 2 ? alphabet[random() % sizeof alphabet] : random() % 256;
    }
    for (auto convert : {convert_sjis, convert_jis, convert_euc}) {
      auto out = std::make_unique<unsigned char[]>(out_size);
      size_t n = convert(in.get(), in_size, out.get(), out_size);
      ASSERT_LE(n + 2, out_size < 2 ? 2 : out_size);
      // The text holds no NUL of its own: a reader finds its end at the first.
      ASSERT_EQ(std::memchr(out.get(), 0, n), nullptr);
      for (size_t i = n; i < out_size; ++i) ASSERT_EQ(out[i], 0);
      // JIS and EUC-JP never grow; Shift-JIS at most doubles (half-width letters).
      ASSERT_LE(n, convert == convert_sjis ? 2 * in_size : in_size);
    }
  }
}

class ReadClipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_intake();
  }
  void TearDown() override {
    reset_intake();  // hands the block back, so that no test leaks it
  }
};

TEST_F(ReadClipboard, FillsTheKanjiBufferWithTextTwoNulsAndZeros) {
  set_clipboard_text("ABC\r\n");
  read_clipboard_sjis(kOwner);
  ASSERT_NE(intake.kanji_buffer, nullptr);
  expect_layout(intake.kanji_buffer, kKanjiBufferSize, "ABC\r\n");

  set_clipboard_text("\x1B$B\x30\x21\x24\x22\x1B(BA");
  read_clipboard_jis(kOwner);
  ASSERT_NE(intake.kanji_buffer, nullptr);
  expect_layout(intake.kanji_buffer, kKanjiBufferSize, euc("亜あA"));
  EXPECT_TRUE(recording.messages.empty());
  EXPECT_EQ(recording.live_blocks, 1u);  // the first command's block was freed
}

TEST_F(ReadClipboard, ALongClipboardIsCutInsideTheBuffer) {
  std::string text = "A";
  while (text.size() < (1u << 20)) text += "\x82\xA0";
  set_clipboard_text(text);
  read_clipboard_sjis(kOwner);
  ASSERT_NE(intake.kanji_buffer, nullptr);
  std::string expected = "A";
  while (expected.size() + 2 <= kKanjiClearSize) expected += "\xA4\xA2";
  expect_layout(intake.kanji_buffer, kKanjiBufferSize, expected);
}

TEST_F(ReadClipboard, NoTextGivesAnEmptyPassage) {
  for (auto read : {read_clipboard_sjis, read_clipboard_jis}) {
    reset_desktop();  // no text on the clipboard
    read(kOwner);
    ASSERT_NE(intake.kanji_buffer, nullptr);
    expect_layout(intake.kanji_buffer, kKanjiBufferSize, "");
  }
  EXPECT_TRUE(recording.messages.empty());
}

TEST_F(ReadClipboard, LockFailureIsReportedAndLeavesNoBuffer) {
  for (auto read : {read_clipboard_sjis, read_clipboard_jis}) {
    reset_recording();
    set_clipboard_text("ABC");
    recording.lock_fails = [](size_t size) { return size == kKanjiBufferSize; };
    read(kOwner);
    EXPECT_EQ(intake.kanji_buffer, nullptr);
    ASSERT_EQ(recording.messages.size(), 1u);
    EXPECT_EQ(recording.messages[0].text, "malloc failed for kanji buffers!");
    EXPECT_EQ(recording.messages[0].caption, " ");
    EXPECT_EQ(recording.messages[0].owner, kOwner);
  }
}

TEST_F(ReadClipboard, AnEucPassageIsPlacedAsTheClipboardsTextWouldBe) {
  const std::string text = "ABC" + euc("日本");
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  EXPECT_EQ(place_euc_passage(kOwner, bytes, text.size()), text.size());
  ASSERT_NE(intake.kanji_buffer, nullptr);
  expect_layout(intake.kanji_buffer, kKanjiBufferSize, text);

  recording.lock_fails = [](size_t size) { return size == kKanjiBufferSize; };
  EXPECT_EQ(place_euc_passage(kOwner, bytes, text.size()), 0u);
  EXPECT_EQ(intake.kanji_buffer, nullptr);
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, "malloc failed for kanji buffers!");
  EXPECT_EQ(recording.messages[0].owner, kOwner);
}

TEST_F(ReadClipboard, AllocationFailureIsSilentAndLeavesNoBuffer) {
  set_clipboard_text("ABC");
  read_clipboard_sjis(kOwner);
  ASSERT_NE(intake.kanji_buffer, nullptr);
  recording.alloc_fails = [](size_t size) { return size == kKanjiBufferSize; };
  read_clipboard_jis(kOwner);
  EXPECT_EQ(intake.kanji_buffer, nullptr);
  EXPECT_EQ(intake.kanji_block, nullptr);
  EXPECT_TRUE(recording.messages.empty());
}
