// Kanji details: the line parser on lines written here, the table over a
// small kanjidic (damaged lines left out with a note, a missing file turning
// the feature off), the texts made from details, and the real kanjidic
// against the 1 MB corpus when both are there.
#include "kanji/kanji.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/recording.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::ScratchDir;
using testing_support::write_file;

// Lines in the file's format, written for these tests (UTF-8 here).
const char kLineKan[] =
    "漢 3441 U6f22 B85 G3 S13 S14 F1487 J2 XJ0 N2719 Yhan4 Whan カン から T1 あや {Sino-} "
    "{China}";
const char kLineJi[] = "字 3B7A U5b57 B39 G1 S6 F485 J3 ジ あざ あざな -な {character} {letter}";
// On readings only, no grade and no frequency.
const char kLineA[] = "唖 3022 U5516 B30 S10 ア アク {mute} {dumb}";
// Kun readings with okurigana, an affix, a long mark, and radical names after T2.
const char kLineTsugu[] =
    "亜 3021 U4e9c B1 G8 S7 ア つ.ぐ -や やーど T1 や つぎ T2 あ {Asia} {rank next}";

uint16_t code_of(const char* utf8) {
  const std::string bytes = euc(utf8);
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                               static_cast<unsigned char>(bytes[1]));
}

std::vector<std::string> euc_all(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* t : utf8) out.push_back(euc(t));
  return out;
}

TEST(KanjiLine, EveryFieldKind) {
  KanjiDetails d;
  ASSERT_TRUE(parse_kanji_line(euc(kLineKan), &d));
  EXPECT_EQ(d.kanji, euc("漢"));
  EXPECT_EQ(d.jis, 0x3441);
  EXPECT_EQ(d.unicode, 0x6F22u);
  EXPECT_EQ(d.radical, 85);
  EXPECT_EQ(d.grade, 3);
  EXPECT_EQ(d.strokes, 13) << "the first S is the count, the later ones miscounts";
  EXPECT_EQ(d.frequency, 1487);
  EXPECT_EQ(d.level, 2);
  EXPECT_EQ(d.on_readings, euc_all({"カン"}));
  EXPECT_EQ(d.kun_readings, euc_all({"から"}));
  EXPECT_EQ(d.name_readings, euc_all({"あや"}));
  EXPECT_EQ(d.meanings, (std::vector<std::string>{"Sino-", "China"}));

  ASSERT_TRUE(parse_kanji_line(euc(kLineTsugu), &d));
  EXPECT_EQ(d.kun_readings, euc_all({"つ.ぐ", "-や", "やーど"}));
  EXPECT_EQ(d.name_readings, euc_all({"や", "つぎ"})) << "T2 readings are not names";
  EXPECT_EQ(d.grade, 8);
}

TEST(KanjiLine, NoKunReadingsAndSeveralMeaningsWithBlanks) {
  KanjiDetails d;
  ASSERT_TRUE(parse_kanji_line(euc(kLineA), &d));
  EXPECT_EQ(d.on_readings, euc_all({"ア", "アク"}));
  EXPECT_TRUE(d.kun_readings.empty());
  EXPECT_TRUE(d.name_readings.empty());
  EXPECT_EQ(d.grade, 0);
  EXPECT_EQ(d.frequency, 0);

  ASSERT_TRUE(parse_kanji_line(euc("亜 3021 S7 {rank next} {come after} {-ous}"), &d));
  EXPECT_EQ(d.meanings, (std::vector<std::string>{"rank next", "come after", "-ous"}));
}

TEST(KanjiLine, DamagedLinesAreRefused) {
  KanjiDetails d;
  for (const char* bad : {
           "",
           "漢",
           "漢 344",
           "漢 3442 S13 {China}",      // the code is not the kanji's
           "漢 34G1 S13 {China}",      // not hex
           "漢 3441S13 {China}",       // no blank after the code
           "a 3441 S13 {China}",       // no kanji
           "漢 3441 S13 {Sino-} {Ch",  // cut inside a meaning
           "漢 3441 Sx {China}",       // a count that is no number
           "漢 3441 S99999999999 {China}",
       }) {
    EXPECT_FALSE(parse_kanji_line(euc(bad), &d)) << bad;
  }
  // A reading cut inside its last character.
  std::string cut = euc("漢 3441 S13 カン");
  cut.pop_back();
  EXPECT_FALSE(parse_kanji_line(cut, &d));
  EXPECT_FALSE(parse_kanji_line("# comment line", &d));
}

// Every prefix of a good line gives a defined answer and never reads past
// its end (the view is a copy of exactly those bytes, so ASan sees an overrun).
TEST(KanjiLine, EveryPrefixOfALine) {
  const std::string line = euc(kLineKan);
  for (size_t n = 0; n <= line.size(); ++n) {
    const std::string prefix = line.substr(0, n);
    KanjiDetails d;
    if (parse_kanji_line(prefix, &d)) {
      EXPECT_EQ(d.jis, 0x3441) << n;
    }
  }
}

class KanjiFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_kanji();
  }
  void TearDown() override { reset_kanji(); }
  ScratchDir dir_;
};

TEST_F(KanjiFileTest, FindsEachKanjiAndLeavesDamagedLinesOutWithANote) {
  // Out of code order, a comment, CR LF line ends, a damaged line, a
  // duplicate (the first stays) and a last line without its line end.
  const std::string file = euc("# kanji file for the tests\n") + euc(kLineKan) + "\r\n" +
                           euc("壊 3275 S16 {broken") + "\n" + euc(kLineA) + "\n" +
                           euc("漢 3441 S99 {second}") + "\n" + euc(kLineJi);
  write_file(kKanjiFile, file);
  testing::internal::CaptureStdout();
  KanjiDetails d;
  ASSERT_TRUE(find_kanji(code_of("字"), &d));
  const std::string notes = testing::internal::GetCapturedStdout();
  EXPECT_EQ(notes, "kanjidic: line 3 is damaged and left out\n");
  EXPECT_EQ(d.strokes, 6);
  ASSERT_TRUE(find_kanji(code_of("漢"), &d));
  EXPECT_EQ(d.strokes, 13);
  EXPECT_EQ(d.meanings.back(), "China");
  ASSERT_TRUE(find_kanji(code_of("唖"), &d));
  EXPECT_FALSE(find_kanji(code_of("壊"), &d));
  EXPECT_FALSE(find_kanji(code_of("猫"), &d));
  EXPECT_EQ(kanji.table.size(), 3u);
  EXPECT_EQ(kanji.skipped, 1u);
}

TEST_F(KanjiFileTest, OverlongLineIsLeftOut) {
  std::string file =
      euc("漢 3441 S13 {") + std::string(kMaxKanjiLine, 'x') + "}\n" + euc(kLineJi) + "\n";
  write_file(kKanjiFile, file);
  testing::internal::CaptureStdout();
  KanjiDetails d;
  EXPECT_FALSE(find_kanji(code_of("漢"), &d));
  EXPECT_TRUE(find_kanji(code_of("字"), &d));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("line 1 is damaged"), std::string::npos);
}

TEST_F(KanjiFileTest, MissingFileTurnsTheFeatureOffQuietly) {
  testing::internal::CaptureStdout();
  KanjiDetails d;
  EXPECT_FALSE(kanji_available());
  EXPECT_FALSE(find_kanji(code_of("漢"), &d));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(recording.messages.empty());
}

TEST(KanjiText, KanjiOfATextInOrderEachOnce) {
  const std::string text =
      euc("漢字の字と、人々。ｶﾅ") + "\x8F\xB0\xA1" + "\xB4";  // JIS X 0212, cut lead
  const std::vector<uint16_t> found = kanji_in_text(text);
  EXPECT_EQ(found, (std::vector<uint16_t>{code_of("漢"), code_of("字"), code_of("人")}));
  EXPECT_EQ(first_kanji(euc("ひらがなと字")), code_of("字"));
  EXPECT_EQ(first_kanji(euc("かな")), 0);
}

TEST(KanjiText, BlockAndStatus) {
  KanjiDetails d;
  ASSERT_TRUE(parse_kanji_line(euc(kLineKan), &d));
  EXPECT_EQ(kanji_block(d), euc("漢  JIS 3441  U+6F22\r\n"
                                "  Meanings:   Sino-; China\r\n"
                                "  On:         カン\r\n"
                                "  Kun:        から\r\n"
                                "  Names:      あや\r\n"
                                "  Strokes:    13\r\n"
                                "  Grade:      3 (primary school, year 3)\r\n"
                                "  Frequency:  1487 (of the 2,500 most used)\r\n"
                                "  Radical:    85\r\n"));
  EXPECT_EQ(kanji_status(d), euc("漢: 13 strokes, grade 3"));
  ASSERT_TRUE(parse_kanji_line(euc(kLineA), &d));
  EXPECT_EQ(kanji_status(d), euc("唖: 10 strokes, no grade"));
  EXPECT_EQ(kanji_block(d).find("Grade"), std::string::npos);
  EXPECT_EQ(kanji_missing_block(code_of("猫")), euc("猫  not in the kanji dictionary\r\n"));
}

// The real kanjidic finds every kanji of real prose that it holds: a look-up
// that loses lines (a table cut short, a wrong offset) shows here.
TEST_F(KanjiFileTest, RealKanjidicFindsEveryKanjiOfTheCorpus) {
  const std::filesystem::path source = std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / "..";
  const std::filesystem::path dict = source / "dict" / "kanjidic";
  const std::filesystem::path corpus = source / "corpus" / "corpus-1m.euc";
  if (!std::filesystem::exists(dict) || !std::filesystem::exists(corpus)) {
    GTEST_SKIP() << "no dict/kanjidic or corpus/corpus-1m.euc (make full-dict, make corpus)";
  }
  std::filesystem::copy_file(dict, kKanjiFile);
  std::ifstream in(corpus, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  // Every kanji of the file itself, by a plain scan of its lines.
  std::ifstream lines(kKanjiFile, std::ios::binary);
  std::string line;
  std::vector<bool> held(0x10000);
  while (std::getline(lines, line)) {
    if (line.size() > 2 && line[0] != '#') {
      held[static_cast<unsigned char>(line[0]) << 8 | static_cast<unsigned char>(line[1])] = true;
    }
  }
  size_t found = 0;
  size_t absent = 0;
  for (uint16_t code : kanji_in_text(text.str())) {
    KanjiDetails d;
    const bool got = find_kanji(code, &d);
    EXPECT_EQ(got, static_cast<bool>(held[code])) << std::hex << code;
    if (got) {
      ++found;
      EXPECT_GT(d.strokes, 0) << std::hex << code;
      EXPECT_FALSE(d.meanings.empty() && d.on_readings.empty() && d.kun_readings.empty());
    } else {
      ++absent;
    }
  }
  EXPECT_EQ(kanji.skipped, 0u);
  EXPECT_GT(found, 500u);  // the manual pages use some 900 kanji
  std::printf("%zu kanji of the corpus found, %zu not in kanjidic\n", found, absent);
}

}  // namespace
