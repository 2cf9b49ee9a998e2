// The iconv edge conversions: round trips, one U+FFFD per undecodable
// character, and the UTF-16 positions a pane's selection maps back through.
#include "platform/convert.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdint>
#include <string>

#include "platform/text_units.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::hex;

const std::string kFffd = "\xEF\xBF\xBD";

TEST(EucLeadLength, EveryLeadByte) {
  for (int lead = 0; lead < 256; ++lead) {
    size_t expected = 1;  // ASCII, and the bytes that start no character
    if (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) expected = 2;
    if (lead == 0x8F) expected = 3;
    const auto b = static_cast<unsigned char>(lead);
    EXPECT_EQ(euc_lead_length(b), expected) << std::hex << lead;

    // With good trail bytes behind it, the checking walk of the conversions
    // takes the same step, and calls exactly the bytes that start no
    // character ill-formed.
    const std::string text{static_cast<char>(b), '\xB0', '\xA1', 'x'};
    bool well_formed = false;
    EXPECT_EQ(euc_char_length(text, &well_formed), expected) << std::hex << lead;
    EXPECT_EQ(well_formed, lead < 0x80 || expected > 1) << std::hex << lead;
  }
}

TEST(EucWholePrefix, NeverSplitsACharacter) {
  const std::string text = "a" + euc("日") + euc("丂") + euc("ｶ");  // 1 + 2 + 3 + 2 bytes
  const size_t expected[] = {0, 1, 1, 3, 3, 3, 6, 6, 8, 8};
  for (size_t limit = 0; limit < std::size(expected); ++limit) {
    EXPECT_EQ(euc_whole_prefix(text, limit), expected[limit]) << limit;
  }
  // A stray byte is one character; a lead cut short by the end is the last.
  EXPECT_EQ(euc_whole_prefix("\x80"
                             "a",
                             1),
            1u);
  EXPECT_EQ(euc_whole_prefix("a\xB0", 3), 2u);
  EXPECT_EQ(euc_whole_prefix("a\xB0", 2), 1u);
  EXPECT_EQ(euc_whole_prefix("a\x8F\xB0", 4), 3u);
  EXPECT_EQ(euc_whole_prefix("a\x8F\xB0", 3), 1u);
}

TEST(EucToUtf8, RoundTripsAsciiKanaKanjiHalfWidthAndJisX0212) {
  // 丂 (U+4E02) is a JIS X 0212 character: 8F B0 A1. ｶ is half-width: 8E B6.
  const std::string text = "Tokyo 東京、ひらがなカタカナｶﾀｶﾅ丂ー\r\n";
  bool lossless = false;
  std::string bytes = utf8_to_euc(text, &lossless);
  EXPECT_TRUE(lossless);
  EXPECT_NE(bytes.find("\x8F\xB0\xA1"), std::string::npos) << hex(bytes);
  EXPECT_NE(bytes.find("\x8E\xB6"), std::string::npos) << hex(bytes);
  EXPECT_EQ(euc_to_utf8(bytes), text);
}

TEST(EucToUtf8, EveryTwoByteCodeThatDecodesEncodesBackToItself) {
  int decoded = 0;
  for (int lead = 0xA1; lead <= 0xFE; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8 = euc_to_utf8(code);
      if (utf8 == kFffd) continue;
      ++decoded;
      bool lossless = false;
      std::string back = utf8_to_euc(utf8, &lossless);
      EXPECT_TRUE(lossless) << hex(code);
      // NEC row 13 repeats a few symbols of row 2 (≒ ∫ √ ∵ ...): those come
      // back as the row 2 code of the same character.
      if (lead == 0xAD && back != code) {
        EXPECT_EQ(euc_to_utf8(back), utf8) << hex(code);
        EXPECT_NE(static_cast<unsigned char>(back[0]), 0xADu) << hex(code);
      } else {
        EXPECT_EQ(back, code) << hex(code);
      }
    }
  }
  EXPECT_GT(decoded, 6000);  // JIS X 0208 has 6879 characters
}

TEST(EucToUtf8, OneReplacementPerUndecodableCharacterNothingDropped) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"A\x80"
       "B",
       "A" + kFffd + "B"},  // no character starts at 0x80
      {"\xFF", kFffd},      // nor at 0xFF
      {"\xB0"
       "A",
       kFffd + "A"},  // a lead byte does not swallow ASCII
      {"\xA9\xA1"
       "x",
       kFffd + "x"},                // well-formed, unassigned: one mark
      {"\x8F\xA1\xA1", kFffd},      // JIS X 0212 code without a character
      {"\x8E\xE0", kFffd},          // half-width code out of range
      {"a\xB0", "a" + kFffd},       // cut character at the end
      {"\x8F\xB0", kFffd + kFffd},  // cut three-byte character
      {euc("日") + "\xA9\xA1" + euc("本"), "日" + kFffd + "本"},
  };
  for (const Case& c : cases) EXPECT_EQ(euc_to_utf8(c.in), c.out) << hex(c.in);
}

// One character by iconv alone, the oracle of the test below: the standard
// table, else the vendor's, else U+FFFD.
std::string character_by_iconv(std::string_view one) {
  for (const char* from : {"EUC-JP", "EUC-JP-MS"}) {
    iconv_t cd = iconv_open("UTF-8", from);
    char buffer[16];
    char* in = const_cast<char*>(one.data());
    size_t in_left = one.size();
    char* out = buffer;
    size_t out_left = sizeof buffer;
    const size_t r = iconv(cd, &in, &in_left, &out, &out_left);
    iconv_close(cd);
    if (r != static_cast<size_t>(-1) && in_left == 0) return std::string(buffer, out - buffer);
  }
  return kFffd;
}

// A text converts as its characters do one at a time, whatever stands next
// to them, and the same again once the characters have been seen (the
// conversion keeps what iconv gave for each two-byte code).
TEST(EucToUtf8, AWholeTextConvertsAsItsCharactersDoOneByOne) {
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  const std::string pieces[] = {ascii,
                                euc("日本語のカナ"),
                                "\x8E\xB1",
                                "\x8F\xB0\xA1",
                                "\xAD\xA1",  // vendor row
                                "\xA9\xA1",
                                "\x80",
                                "\xA4\x41",
                                "\xFF",
                                std::string(300, 'x'),
                                euc("。\r\n"),
                                "\x8E\xE0",
                                "\x8F\xA1\xA1",
                                "\xFE\xFE",
                                "\xA1"};
  // Every order of neighbours that matters: each piece beside each other.
  std::string text;
  for (const std::string& a : pieces) {
    for (const std::string& b : pieces) text += a + b;
  }
  text += "\xB0";  // a character cut by the end
  std::string expected;
  for (std::string_view rest = text; !rest.empty();) {
    bool well_formed;
    const size_t length = euc_char_length(rest, &well_formed);
    expected += well_formed ? character_by_iconv(rest.substr(0, length)) : kFffd;
    rest.remove_prefix(length);
  }
  EXPECT_EQ(euc_to_utf8(text), expected);
  EXPECT_EQ(euc_to_utf8(text), expected);
  EXPECT_NE(expected.find("\xE2\x91\xA0"), std::string::npos);  // the vendor row's circled 1
}

TEST(PlainLineEnds, OnlyACarriageReturnBeforeALineFeedGoes) {
  EXPECT_EQ(plain_line_ends("a\r\nb\r\n"), "a\nb\n");
  EXPECT_EQ(plain_line_ends("\r\r\n\r"), "\r\n\r");
  EXPECT_EQ(plain_line_ends("\ra\rb\n\n"), "\ra\rb\n\n");
  EXPECT_EQ(plain_line_ends(std::string("x\0\r\ny", 5)), std::string("x\0\ny", 4));
  EXPECT_EQ(plain_line_ends(""), "");
}

TEST(EucToUtf8, EveryPrefixOfMixedTextDecodesWithMarksOnlyAtTheCut) {
  const std::string bytes = euc("aカ丂ｶ語\n");
  const std::string whole = euc_to_utf8(bytes);
  for (size_t n = 0; n <= bytes.size(); ++n) {
    std::string out = euc_to_utf8(bytes.substr(0, n));
    size_t mark = out.find(kFffd);
    std::string clean = out.substr(0, mark);
    EXPECT_EQ(whole.compare(0, clean.size(), clean), 0) << n;
    if (mark != std::string::npos) {
      // Only the cut character's bytes follow, each a mark of its own at most.
      for (size_t i = mark; i < out.size(); i += kFffd.size()) {
        EXPECT_EQ(out.compare(i, kFffd.size(), kFffd), 0) << n;
      }
    }
  }
}

TEST(Utf8ToEuc, UnconvertibleAndInvalidBytesBecomeTheGetaMark) {
  bool lossless = true;
  // An emoji has no EUC-JP code; 0xFF and a lone continuation byte are not UTF-8.
  EXPECT_EQ(hex(utf8_to_euc("a\xF0\x9F\x98\x80"
                            "b\xFF\x80",
                            &lossless)),
            "61 A2 AE 62 A2 AE A2 AE");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(hex(utf8_to_euc("\xE3\x81", &lossless)), "A2 AE A2 AE");  // cut sequence
  EXPECT_EQ(utf8_to_euc("", &lossless), "");
  EXPECT_TRUE(lossless);
}

// EUC-JP of one character as iconv gives it: the standard table, else the
// Microsoft one, else the geta mark ("" then).
std::string iconv_euc(iconv_t standard, iconv_t microsoft, const std::string& utf8) {
  for (iconv_t cd : {standard, microsoft}) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[16];
    char* in = const_cast<char*>(utf8.data());
    size_t in_left = utf8.size(), out_left = sizeof out;
    char* o = out;
    if (iconv(cd, &in, &in_left, &o, &out_left) != static_cast<size_t>(-1) && in_left == 0) {
      return std::string(out, static_cast<size_t>(o - out));
    }
  }
  return "";
}

// Every character of the Basic Multilingual Plane, alone and amid the
// others, against iconv itself: the characters whose answers are kept
// convert as the first time, and those around them as they did.
TEST(Utf8ToEuc, EveryCharacterConvertsAsIconvConvertsIt) {
  iconv_t standard = iconv_open("EUC-JP", "UTF-8");
  iconv_t microsoft = iconv_open("EUC-JP-MS", "UTF-8");
  ASSERT_NE(standard, reinterpret_cast<iconv_t>(-1));
  ASSERT_NE(microsoft, reinterpret_cast<iconv_t>(-1));
  std::string text, expected;
  bool all = true;
  for (uint32_t code = 1; code < 0x10000; ++code) {
    if (code >= 0xD800 && code < 0xE000) continue;
    std::string one;
    if (code < 0x80) {
      one = std::string(1, static_cast<char>(code));
    } else if (code < 0x800) {
      one = {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
    } else {
      one = {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
             static_cast<char>(0x80 | (code & 0x3F))};
    }
    std::string euc = iconv_euc(standard, microsoft, one);
    const bool converted = !euc.empty();
    if (!converted) euc = "\xA2\xAE";
    all = all && converted;
    bool lossless = !converted;
    ASSERT_EQ(hex(utf8_to_euc(one, &lossless)), hex(euc)) << std::hex << code;
    ASSERT_EQ(lossless, converted) << std::hex << code;
    ASSERT_EQ(hex(utf8_to_euc(one)), hex(euc)) << std::hex << code;  // kept, and again
    text += one;
    expected += euc;
  }
  iconv_close(standard);
  iconv_close(microsoft);
  bool lossless = all;
  EXPECT_EQ(utf8_to_euc(text, &lossless), expected);
  EXPECT_EQ(lossless, all);
  // Malformed bytes just before a kept character: one mark per byte that
  // starts no character, and the character whole.
  EXPECT_EQ(hex(utf8_to_euc("\xE3\x81\xE3\x81\x82")), "A2 AE A2 AE A4 A2");
  EXPECT_EQ(hex(utf8_to_euc("\xC3\xE6\x97\xA5\x80")), "A2 AE C6 FC A2 AE");
  EXPECT_EQ(hex(utf8_to_euc("\xE6\x97\xA5\xF0\x9F\x98\x80\xE6\x97")), "C6 FC A2 AE A2 AE A2 AE");
}

TEST(Utf8ToEuc, WindowsVariantsOfPunctuationStillConvert) {
  bool lossless = false;
  // Full-width tilde and full-width hyphen-minus, as Windows text writes them.
  std::string bytes = utf8_to_euc("～－", &lossless);
  EXPECT_TRUE(lossless) << hex(bytes);
  EXPECT_EQ(bytes.find("\xA2\xAE"), std::string::npos) << hex(bytes);
}

TEST(EucToUtf16, OffsetsMapEveryUnitBackToItsCharacter) {
  // a (1 byte), 日 (2), 丂 (3), a stray 0x80 (1), ｶ (2), then the end.
  const std::string bytes = "a" + euc("日") + euc("丂") + "\x80" + euc("ｶ");
  std::vector<uint32_t> offsets;
  std::u16string units = euc_to_utf16(bytes, &offsets);
  EXPECT_EQ(units, u"a日丂\uFFFDｶ");
  EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 1, 3, 6, 7, 9}));
  EXPECT_EQ(utf16_to_byte_offset(offsets, 2), 3u);
  EXPECT_EQ(utf16_to_byte_offset(offsets, 5), 9u);
  EXPECT_EQ(utf16_to_byte_offset(offsets, 99), 9u);
  EXPECT_EQ(utf16_to_byte_offset({}, 3), 0u);
}

TEST(EucToUtf16, AgreesWithUtf8AndKeepsOneUnitPerBadByte) {
  const std::string bytes = euc("漢字とカナ") + "\xB0\x41\xA9\xA1\r\n";
  std::vector<uint32_t> offsets;
  std::u16string units = euc_to_utf16(bytes, &offsets);
  ASSERT_EQ(offsets.size(), units.size() + 1);
  EXPECT_EQ(units, u"漢字とカナ\uFFFDA\uFFFD\r\n");
  EXPECT_EQ(offsets[5], 10u);  // the stray lead byte
  EXPECT_EQ(offsets[6], 11u);  // the A after it
  EXPECT_EQ(offsets[7], 12u);  // the unassigned pair, one unit
  EXPECT_EQ(offsets[8], 14u);
  EXPECT_TRUE(euc_to_utf16("", &offsets).empty());
  EXPECT_EQ(offsets, std::vector<uint32_t>{0});
}

TEST(Utf8ToSjisAndJis, ConvertAndMarkWhatDoesNotFit) {
  EXPECT_EQ(hex(utf8_to_sjis("あa～")), "82 A0 61 81 60");
  EXPECT_EQ(hex(utf8_to_sjis("x\xF0\x9F\x98\x80y")), "78 3F 79");
  // The '?' of an unconvertible character stands in ASCII mode, not among
  // the two-byte codes.
  EXPECT_EQ(hex(utf8_to_jis("あ\xF0\x9F\x98\x80い")),
            "1B 24 42 24 22 1B 28 42 3F 1B 24 42 24 24 1B 28 42");
  EXPECT_EQ(utf8_to_jis("plain"), "plain");
}

TEST(Utf8ToSjisAndJis, HalfWidthKanaTildesAndVendorRowsGiveTheSameCharactersInBoth) {
  const std::string text = "ｶﾀｶﾅｶﾞﾊﾟﾞ〜～①髙字";
  // 7-bit JIS has no half-width kana: full width, marks merged (ｶﾞ ガ, ﾊﾟ
  // パ); a mark with nothing to merge into stands as ゛. Both tildes are the
  // wave dash of row 1; ① is NEC row 13; the IBM kanji 髙 fits neither.
  EXPECT_EQ(utf8_to_jis(text), "\x1B$B%+%?%+%J%,%Q!+!A!A-!\x1B(B?\x1B$B;z\x1B(B");
  EXPECT_EQ(hex(utf8_to_sjis("～〜①髙")), "81 60 81 60 87 40 3F");
}

TEST(SjisToSevenBitJis, CutAndStrayBytesBecomeOneMarkEach) {
  EXPECT_EQ(sjis_to_seven_bit_jis("a\x8A"), "a?");             // lead byte cut off at the end
  EXPECT_EQ(sjis_to_seven_bit_jis("\x8A\x0A"), "?\n");         // trail byte out of range
  EXPECT_EQ(sjis_to_seven_bit_jis("\xB6"), "\x1B$B%+\x1B(B");  // a kana at the very end
  EXPECT_EQ(sjis_to_seven_bit_jis("\xF0\x40\x80\x41"), "??A");
  EXPECT_EQ(sjis_without_extensions("\xFB\xFC\x88\x9F\xF0"), "?\x88\x9F\xF0");
}

TEST(EucToUtf8, VendorRowsShowAsThemselvesAndStandardCodesKeepTheirCharacters) {
  EXPECT_EQ(euc_to_utf8("\xAD\xA1\x8F\xF4\xFB\xA1\xC1\xA1\xDD"), "①髙〜−");
  std::u16string units = euc_to_utf16("\xAD\xA1\x8F\xF4\xFB\xA1\xC1", nullptr);
  EXPECT_EQ(units, u"①髙〜");
  // A code neither table holds is still one mark.
  EXPECT_EQ(euc_to_utf8("\xA9\xA1"), kFffd);
}

TEST(SjisToUtf8, DecodesAndMarksBadBytes) {
  EXPECT_EQ(sjis_to_utf8(utf8_to_sjis("日本語ｶﾅ")), "日本語ｶﾅ");
  EXPECT_EQ(sjis_to_utf8("\x82 "), kFffd + " ");  // lead byte before a non-trail
  EXPECT_EQ(sjis_to_utf8("a\x82"), "a" + kFffd);
}

// Whether iconv converts all of bytes from charset, the oracle below.
bool converts_whole(const char* charset, std::string_view bytes) {
  iconv_t cd = iconv_open("UTF-8", charset);
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* to = out.data();
  size_t to_left = out.size();
  const size_t r = iconv(cd, &in, &in_left, &to, &to_left);
  iconv_close(cd);
  return r != static_cast<size_t>(-1) && in_left == 0;
}

// EUC-JP is valid when all of it converts in the standard charset or all of
// it in the Windows one, whatever the verdict on each code is kept as: every
// two-byte code among ASCII, twice (the second time as kept), and the codes
// of one charset only beside each other.
TEST(FirstInvalidByte, EveryTwoByteEucCodeAsTheConversionsJudgeIt) {
  std::string ms_only, standard_only;
  for (int round = 0; round < 2; ++round) {
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
      for (int trail = 0xA1; trail <= 0xFE; ++trail) {
        const std::string code = {static_cast<char>(lead), static_cast<char>(trail)};
        const std::string text = "a" + code + "\n";
        const bool ms = converts_whole("EUC-JP-MS", text);
        const bool standard = converts_whole("EUC-JP", text);
        const size_t fault = first_invalid_byte(text, TextEncoding::kEucJp);
        EXPECT_EQ(fault == std::string_view::npos, ms || standard) << testing_support::hex(code);
        if (ms && !standard && ms_only.empty()) ms_only = code;
        if (standard && !ms && standard_only.empty()) standard_only = code;
      }
    }
  }
  ASSERT_FALSE(ms_only.empty());
  if (!standard_only.empty()) {
    EXPECT_EQ(first_invalid_byte(ms_only + standard_only, TextEncoding::kEucJp), 2u);
  }
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  EXPECT_EQ(first_invalid_byte(ascii + ms_only + ascii, TextEncoding::kEucJp),
            std::string_view::npos);
}

TEST(FirstInvalidByte, ValidTextOfEachEncodingWithItsVendorAndSupplementarySets) {
  constexpr size_t kValid = std::string_view::npos;
  const std::string text = "日本語のテキスト, ｶﾅ\n";
  EXPECT_EQ(first_invalid_byte(text, TextEncoding::kUtf8), kValid);
  EXPECT_EQ(first_invalid_byte(utf8_to_euc(text), TextEncoding::kEucJp), kValid);
  EXPECT_EQ(first_invalid_byte(utf8_to_sjis(text), TextEncoding::kShiftJis), kValid);
  EXPECT_EQ(first_invalid_byte(utf8_to_jis("日本語のテキスト\n"), TextEncoding::kJis), kValid);
  EXPECT_EQ(first_invalid_byte("", TextEncoding::kJis), kValid);
  // Circled digit one of code page 932 and of EUC-JP's Windows variant;
  // 丂 of JIS X 0212 in EUC-JP; half-width katakana in JIS.
  EXPECT_EQ(first_invalid_byte("\x87\x40", TextEncoding::kShiftJis), kValid);
  EXPECT_EQ(first_invalid_byte("\xAD\xA1", TextEncoding::kEucJp), kValid);
  EXPECT_EQ(first_invalid_byte("\x8F\xB0\xA1", TextEncoding::kEucJp), kValid);
  EXPECT_EQ(first_invalid_byte("\x1B(I6\x1B(B", TextEncoding::kJis), kValid);
}

TEST(FirstInvalidByte, OffsetOfTheFaultAndACharacterCutOffAtTheEnd) {
  EXPECT_EQ(first_invalid_byte("ab\xFF", TextEncoding::kUtf8), 2u);
  EXPECT_EQ(first_invalid_byte("\xC0\xAF", TextEncoding::kUtf8), 0u);  // overlong '/'
  EXPECT_EQ(first_invalid_byte("日\xE6\x9C", TextEncoding::kUtf8), 3u);
  // Shift-JIS read as UTF-8, UTF-8 read as EUC-JP.
  EXPECT_EQ(first_invalid_byte(utf8_to_sjis("a日本"), TextEncoding::kUtf8), 1u);
  EXPECT_EQ(first_invalid_byte("a日", TextEncoding::kEucJp), 1u);
  EXPECT_EQ(first_invalid_byte("a\xA4", TextEncoding::kEucJp), 1u);
  EXPECT_EQ(first_invalid_byte("\x93\xFA\x82", TextEncoding::kShiftJis), 2u);
  EXPECT_EQ(first_invalid_byte("\x82 ", TextEncoding::kShiftJis), 0u);
  // JIS is 7-bit.
  EXPECT_EQ(first_invalid_byte("ab\xA4\xA2", TextEncoding::kJis), 2u);
}

// The C1 bytes start no EUC-JP character, though the converters read them
// as control characters: text holding one is refused like any invalid byte.
TEST(FirstInvalidByte, EucJpRefusesTheC1Bytes) {
  for (int b : {0x80, 0x85, 0x8D, 0x90, 0x9B, 0xA0}) {
    const std::string text = "a" + utf8_to_euc("日") + std::string(1, static_cast<char>(b)) + "z";
    EXPECT_EQ(first_invalid_byte(text, TextEncoding::kEucJp), 3u) << std::hex << b;
  }
  // 0x8E and 0x8F lead the half-width katakana and JIS X 0212, which stay
  // valid.
  EXPECT_EQ(first_invalid_byte("\x8E\xB1\x8F\xB0\xA1", TextEncoding::kEucJp),
            std::string_view::npos);
  EXPECT_EQ(first_c1_byte("\x8F\xB0\xA1\x85"), 3u);
  EXPECT_EQ(first_c1_byte(utf8_to_euc("日本")), std::string_view::npos);
}

}  // namespace
