// Our romaji table, data/kanarom.cnv: it loads whole, within the loader's
// limits, matches its UTF-8 source, and spells every kana of JIS X 0208 in
// Hepburn, checked against spellings worked out from the kana's Unicode
// names (tests/hepburn_from_names.py).
#include <fstream>
#include <sstream>
#include <string>

#include "romaji/test_support.h"

namespace {

using testing_support::euc;
using testing_support::read_file;

class OurTable : public romaji_test::RomajiTest {
 protected:
  void SetUp() override {
    RomajiTest::SetUp();
    table_ = read_file(DODEVUZ_SOURCE_DATA_DIR "/kanarom.cnv");
    ASSERT_FALSE(table_.empty());
    load_bytes(table_);
  }
  std::string table_;
};

TEST_F(OurTable, IsMadeFromItsSource) {
  EXPECT_EQ(table_, euc(read_file(DODEVUZ_SOURCE_DATA_DIR "/kanarom.utf8.txt")));
}

TEST_F(OurTable, EveryLineIsReadAndFillsAnEntry) {
  ASSERT_LE(table_.size(), kTableFileRead);
  ASSERT_EQ(table_.back(), '\n');
  std::istringstream lines(table_);
  std::string line;
  int section = 0, filled[2] = {0, 0};
  while (std::getline(lines, line)) {
    EXPECT_LE(line.size() + 1, kTableLineSize - 1) << line;
    if (line[0] == '#') continue;
    if (line[0] == '$') {
      section = line[1] == 'k' ? 1 : 0;
      continue;
    }
    int entry = section * kKatakanaSection + filled[section]++;
    ASSERT_LT(filled[section], kSectionFill);
    // What the loader stored is the line's kana and romaji, nothing cut.
    EXPECT_EQ(entry_kana(entry) + "\t" + entry_romaji(entry), line);
  }
  EXPECT_EQ(entry_kana(filled[0]), "");
  EXPECT_EQ(entry_kana(kKatakanaSection + filled[1]), "");
}

TEST_F(OurTable, SpellsEveryKanaAsTheUnicodeNamesDo) {
  const std::string expected_path = HEPBURN_EXPECTED;
  if (expected_path.empty()) GTEST_SKIP() << "python3 was not found when the build was set up";
  std::ifstream expected(expected_path);
  ASSERT_TRUE(expected) << expected_path;
  std::string hex_bytes, spelling, kana;
  int cases = 0;
  while (std::getline(expected, hex_bytes, '\t') && std::getline(expected, spelling, '\t') &&
         std::getline(expected, kana)) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex_bytes.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(hex_bytes.substr(i, 2), nullptr, 16));
    }
    EXPECT_EQ(romanize_bytes(bytes), spelling) << kana;
    ++cases;
  }
  EXPECT_GT(cases, 169 + 72);  // rows 4 and 5, and their contracted sounds
}

TEST_F(OurTable, EveryKanaInOneRunGivesNoUnmatchedMark) {
  std::string all;
  for (int lead : {0xA4, 0xA5}) {
    for (int second = 0xA1; second <= (lead == 0xA4 ? 0xF3 : 0xF6); ++second) {
      all += static_cast<char>(lead);
      all += static_cast<char>(second);
    }
  }
  all += "\xA1\xBC";
  std::string text = romanize_bytes(all + "\r\n" + all.substr(0x53 * 2));
  EXPECT_EQ(text.find('#'), std::string::npos) << text;
  EXPECT_EQ(romanize("ひらがな"), "hiragana");
  EXPECT_EQ(romanize("カタカナ"), "KATAKANA");
}

TEST_F(OurTable, SpellsLoanwordsAndTheLongVowel) {
  EXPECT_EQ(romanize("ファイル"), "FAIRU");
  EXPECT_EQ(romanize("パーティー"), "PA-TI-");
  EXPECT_EQ(romanize("ディスク"), "DISUKU");
  EXPECT_EQ(romanize("ウィンドウ"), "WINDOU");
  EXPECT_EQ(romanize("ヴァイオリン"), "VAIORIN");
  EXPECT_EQ(romanize("チェック"), "CHEKKU");
  EXPECT_EQ(romanize("シェア"), "SHEA");
  EXPECT_EQ(romanize("ジェット"), "JETTO");
  EXPECT_EQ(romanize("トゥ ドゥ"), "TU DU");
  EXPECT_EQ(romanize("フィフェフォ"), "FIFEFO");
  EXPECT_EQ(romanize("ウェウォ"), "WEWO");
  EXPECT_EQ(romanize("コーヒー."), "KO-HI.");
  EXPECT_EQ(romanize("まっちゃ"), "matcha");
  EXPECT_EQ(romanize("きんようび"), "kin'youbi");
  EXPECT_EQ(romanize("しんぶん"), "shinbun");
}

}  // namespace
