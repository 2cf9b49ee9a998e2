// Telling a text's encoding from its bytes, on small cases and on the real
// prose of the corpus (when it has been made), and the whole text kept
// behind the kanji buffer's pages.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "intake/intake.h"
#include "platform/convert.h"
#include "platform/recording.h"
#include "test_paths.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;

int owner_object;
Window const kOwner = &owner_object;

std::string found(std::string_view bytes) {
  DetectedEncoding d = detect_encoding(bytes);
  if (d.outcome == Detection::kNotText) return "not text";
  if (d.outcome == Detection::kUndecided) return "undecided";
  static const char* const kNames[] = {"UTF-8", "EUC-JP", "Shift-JIS", "JIS"};
  return kNames[static_cast<int>(d.encoding)];
}

TEST(DetectEncoding, EachEncodingOfAJapaneseSentence) {
  const std::string utf8 = "日本語の文を読みます。カタカナも。\n";
  EXPECT_EQ(found(utf8), "UTF-8");
  EXPECT_EQ(found("\xEF\xBB\xBF" + utf8), "UTF-8");
  EXPECT_EQ(found(euc(utf8)), "EUC-JP");
  EXPECT_EQ(found(utf8_to_sjis(utf8)), "Shift-JIS");
  EXPECT_EQ(found(utf8_to_jis(utf8)), "JIS");
  // Plain ASCII reads the same in every one of them.
  EXPECT_EQ(found("plain text\n"), "UTF-8");
  EXPECT_EQ(found(""), "UTF-8");
  // An escape that designates no Japanese set leaves ASCII as it is.
  EXPECT_EQ(found("\x1B(Bplain"), "UTF-8");
}

TEST(DetectEncoding, TextItCannotTell) {
  // Bytes of no Japanese encoding.
  EXPECT_EQ(found("\x80\x80\xFF\xFF"), "not text");
  // Kanji alone, valid as EUC-JP and as Shift-JIS, with no kana to tell.
  EXPECT_EQ(found("\xE0\xA1\xE0\xA1"), "undecided");
  EXPECT_STREQ(detection_problem(Detection::kNotText),
               "is not text in UTF-8, Shift-JIS, EUC-JP or JIS");
  // A JIS escape in 8-bit text does not make it JIS.
  EXPECT_NE(found("\x1B$B" + euc("日本")), "JIS");
}

TEST(DetectEncoding, TheCorpusInEveryEncoding) {
  const std::string folder = std::string(DODEVUZ_SOURCE_DATA_DIR) + "/../corpus/";
  std::ifstream probe(folder + "passage-40k.utf8", std::ios::binary);
  if (!probe) GTEST_SKIP() << "no corpus (make corpus)";
  auto read = [&](const std::string& name) {
    std::ifstream in(folder + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  };
  const std::string utf8 = read("passage-40k.utf8");
  EXPECT_EQ(found(utf8), "UTF-8");
  EXPECT_EQ(found(read("passage-40k.euc")), "EUC-JP");
  EXPECT_EQ(found(read("passage-40k.sjis")), "Shift-JIS");
  EXPECT_EQ(found(utf8_to_jis(utf8)), "JIS");
  // Every line of real prose that holds kana, on its own.
  const std::string sjis = read("passage-40k.sjis");
  const std::string eucjp = read("passage-40k.euc");
  int lines = 0, wrong = 0;
  for (size_t a = 0, b = 0; a < sjis.size() && b < eucjp.size() && lines < 300; ++lines) {
    const size_t ea = std::min(sjis.find('\n', a), sjis.size());
    const size_t eb = std::min(eucjp.find('\n', b), eucjp.size());
    const std::string line_sjis = sjis.substr(a, ea - a), line_euc = eucjp.substr(b, eb - b);
    const std::string f_sjis = found(line_sjis), f_euc = found(line_euc);
    if (line_euc.find('\xA4') != std::string::npos &&
        (f_sjis != "Shift-JIS" || f_euc != "EUC-JP")) {
      ++wrong;
    }
    a = ea + 1;
    b = eb + 1;
  }
  EXPECT_GT(lines, 100);
  EXPECT_LE(wrong * 100, lines) << wrong << " of " << lines << " lines";
  std::printf("lines told wrong: %d of %d\n", wrong, lines);
}

TEST(TextInEuc, EveryEncodingGivesTheSameText) {
  const std::string utf8 = "ｶﾞイド、日本。\n";
  const std::string want = euc("ガイド、日本。\n");
  EXPECT_EQ(text_in_euc("\xEF\xBB\xBF" + utf8, TextEncoding::kUtf8), euc(utf8));
  EXPECT_EQ(text_in_euc(utf8_to_sjis(utf8), TextEncoding::kShiftJis), want);
  EXPECT_EQ(text_in_euc(euc(utf8), TextEncoding::kEucJp), euc(utf8));
  EXPECT_EQ(text_in_euc(utf8_to_jis("日本。\n"), TextEncoding::kJis), euc("日本。\n"));
}

class WholeText : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_intake();
  }
  void TearDown() override { reset_intake(); }
};

TEST_F(WholeText, PagesCoverTheTextAtWholeCharacters) {
  std::string text = "A";  // one byte first: every page cut falls between characters
  while (text.size() < 100000) text += euc("日本") + "\n";
  const size_t placed = place_whole_text(kOwner, text);
  EXPECT_GE(placed, kKanjiClearSize - 1);
  EXPECT_LE(placed, kKanjiClearSize);
  EXPECT_TRUE(text_continues());
  EXPECT_EQ(page_walk_limit(), static_cast<int32_t>(placed - kPageLookAhead));
  std::string pages;
  for (size_t start = 0; start < text.size(); start += intake.page_length) {
    ASSERT_GT(place_text_page(kOwner, start), 0u);
    pages.append(reinterpret_cast<const char*>(intake.kanji_buffer), intake.page_length);
    EXPECT_EQ(whole_text_position(3), start + 3);
  }
  EXPECT_TRUE(pages == text);
  EXPECT_FALSE(text_continues());
  EXPECT_EQ(page_walk_limit(), INT32_MAX);
  EXPECT_EQ(whole_text_length(5), text.size());
  // A NUL ends the text; a buffer filled by its caller has no text behind it.
  place_whole_text(kOwner, std::string("ab\0cd", 5));
  EXPECT_EQ(intake.text, "ab");
  renew_kanji_buffer(kOwner);
  EXPECT_TRUE(intake.text.empty());
  EXPECT_EQ(whole_text_length(7), 7u);
  EXPECT_EQ(whole_text_position(7), 7u);
}

TEST_F(WholeText, TheClipboardsTextIsKeptWhole) {
  std::string text;
  while (text.size() < 90000) text += "\x82\xA0";
  set_clipboard_text(text);
  read_clipboard_sjis(kOwner);
  EXPECT_EQ(intake.text.size(), 90000u);
  EXPECT_TRUE(text_continues());
}

}  // namespace
