// The "Dictionary forms" mode: which entry a conjugated word reaches on a
// small hand-made dictionary (every verb and adjective class, chains, kana,
// no false forms), the listing and "Single Dodevuz" in that mode, the classic
// listing unchanged when the mode is off, and the words that real text is
// full of on the full dictionary when it is there.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "deinflect/deinflect.h"
#include "intake/intake.h"
#include "lookup/test_dictionary.h"
#include "platform/convert.h"
#include "readings/readings.h"

namespace {

using namespace test_dictionary;
using testing_support::euc;
using testing_support::ScratchDir;

const std::string kGap(8, ' ');

const std::vector<std::string> kDictionary = {
    "書く [かく] /(v5k,vt) to write/",
    "泳ぐ [およぐ] /(v5g,vi) to swim/",
    "話す [はなす] /(v5s,vt) to speak/",
    "待つ [まつ] /(v5t,vt) to wait/",
    "死ぬ [しぬ] /(v5n,vi) to die/",
    "遊ぶ [あそぶ] /(v5b,vi) to play/",
    "読む [よむ] /(v5m,vt) to read/",
    "帰る [かえる] /(v1,vi) to go home (tagged ichidan on purpose)/",
    "買う [かう] /(v5u,vt) to buy/",
    "行う [おこなう] /(v5u,vt) to perform/",
    "行く [いく] /(v5k-s,vi) to go/",
    "食べる [たべる] /(v1,vt) to eat/",
    "起きる [おきる] /(v1,vi) to get up/",
    "起きて半畳寝て一畳 [おきてはんじょうねていちじょう] /(exp) a proverb/",
    "見せる [みせる] /(v1,vt) to show/",
    "見せ [みせ] /(n) a made-up noun/",
    "為る [する] /(vs-i) to do/",
    "来る [くる] /(vk,vi) to come/",
    "美しい [うつくしい] /(adj-i) beautiful/",
    "いい /(adj-ix) good/",
    "良い [よい] /(adj-i) good/",
    "勉強 [べんきょう] /(n,vs) study/",
    "溜める [ためる] /(v1,vt) to store/",
    "風 [かぜ] /(n) wind/",
    "風変わり [ふうがわり] /(adj-na) eccentric/",
    "ファイル /(n) file/",
    "頁 [ページ] /(n) page/",
    "糊塗 [こと] /(n,vs) patching up/",
    // A suffix before the word in index order.
    "人 [じん] /(suf) -ian/",
    "人 [ひと] /(n) person/",
    // Kana words: usually written in kana (uk) or not, particles, one kana.
    "凝る [こる] /(v5r,vi) to grow stiff/",
    "成る [なる] /(v5r,vi) (uk) to become/",
    "夫々 [それぞれ] /(adv,n) (uk) each/(P)/",
    "喉 [のど] /(n) (uk) throat/(P)/",
    "まで /(prt) until/(P)/",
    "見る [みる] /(v1,vt) (1) to see/to look/to watch/to view/to observe/(v1,vt) (2) to "
    "examine/to look over/to assess/to check/to judge/(v1,vt) (3) to look after/to attend "
    "to/to take care of/to keep an eye on/(v1,vt) (4) (uk) to try/",
    // A noun that a verb's ending would run on from.
    "真 [しん] /(n) truth/",
    "真となり [まとなり] /(adj-no,n) immediately adjacent/",
    "となる /(exp,v5r) to become/",
    // A verb in common use and a rarer entry of one of its forms.
    "含む [ふくむ] /(v5m,vt) to contain/(P)/",
    "含まれる [ふくまれる] /(v1,vi) to be included/",
    "したり /(int) well done!/",
    // Particles before words, and kana that are words of their own.
    "伸す [のす] /(v5s,vi) (uk) to stretch/",
    "全て [すべて] /(n,adj-no) (uk) all/(P)/",
    "より /(prt) than/(P)/",
    "因る [よる] /(v5r,vi) (uk) to be due to/",
    "在る [ある] /(v5r-i,vi) (uk) to be/(P)/",
    "蟻 [あり] /(n) (uk) ant/(P)/",
    "置く [おく] /(v5k,vt) (uk) to put/",
    "に於いて [において] /(exp) (uk) in/at/(P)/",
    "に依る [による] /(exp,v5r) (uk) by means of/",
    "に依り [により] /(exp) (uk) by means of/",
};

// Index positions of every headword and every reading, as the index has them.
std::vector<int32_t> headwords_and_readings(const std::string& text) {
  std::vector<int32_t> out = line_starts(text);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '[') out.push_back(static_cast<int32_t>(i + 2));
  }
  return out;
}

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_store();
    reset_lookup();
    reset_deinflect();
    passage_.assign(kKanjiBufferSize, 0);
    intake.kanji_buffer = passage_.data();
    std::vector<std::string> lines_euc;
    for (const std::string& line : kDictionary) lines_euc.push_back(euc(line));
    const std::string text = lines(lines_euc);
    open_dictionary_with(text, headwords_and_readings(text));
    testing_support::write_file(
        kDeinflectFile,
        testing_support::read_file(std::string(DODEVUZ_SOURCE_DATA_DIR) + "/deinflect.txt"));
    ASSERT_TRUE(load_deinflect_table(nullptr)) << deinflect.error;
  }
  void TearDown() override {
    reset_forms_memo();
    intake.kanji_buffer = nullptr;
    reset_deinflect();
    reset_lookup();
    reset_store();
  }

  // What the mode finds at the start of text: "SURFACE PREFIXLINE" of the
  // first match (UTF-8, without the line end), or "" when nothing.
  std::string found(const std::string& text_utf8) {
    const std::string text = euc(text_utf8);
    FormsMatch match;
    const int n = lookup_forms(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               static_cast<unsigned char>(text[0]) == 0xA4, &match, 1);
    if (n == 0) return "";
    std::string line(reinterpret_cast<const char*>(match.line));
    line = line.substr(0, line.find('\n'));
    return euc_to_utf8(text.substr(0, match.surface_length) + " " +
                       reinterpret_cast<const char*>(match.prefix) +
                       line.substr(0, line.find(" /")));
  }

  std::string listing(const std::string& passage_utf8) {
    const std::string passage = euc(passage_utf8);
    std::fill(passage_.begin(), passage_.end(), 0);
    std::copy(passage.begin(), passage.end(), passage_.begin());
    build_listing(nullptr);
    return lookup.listing_buffer ? reinterpret_cast<const char*>(lookup.listing_buffer) : "";
  }

  std::vector<unsigned char> passage_;
  ScratchDir dir_;
};

TEST_F(FormsTest, EveryVerbAndAdjectiveClassReachesItsEntry) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"書いた", "書いた (past of 書く) 書く [かく]"},
      {"泳いで", "泳いで (te-form of 泳ぐ) 泳ぐ [およぐ]"},
      {"話します", "話します (polite of 話す) 話す [はなす]"},
      {"待たない", "待たない (negative of 待つ) 待つ [まつ]"},
      {"死んだ", "死んだ (past of 死ぬ) 死ぬ [しぬ]"},
      {"遊ばれる", "遊ばれる (passive of 遊ぶ) 遊ぶ [あそぶ]"},
      {"読んで", "読んで (te-form of 読む) 読む [よむ]"},
      {"買おう", "買おう (volitional of 買う) 買う [かう]"},
      {"食べました", "食べました (polite past of 食べる) 食べる [たべる]"},
      {"来ない", "来ない (negative of 来る) 来る [くる]"},
      {"美しかった", "美しかった (past of 美しい) 美しい [うつくしい]"},
      {"よかった", "よかった (past of いい) いい"},
      {"良くない", "良くない (negative of 良い) 良い [よい]"},
      {"勉強した", "勉強した (past of 勉強する) 勉強 [べんきょう]"},
      // The chain of the example, and te-form requests.
      {"書かれていました",
       "書かれていました (polite past of progressive of passive of 書く) 書く [かく]"},
      {"見せてください", "見せてください (-te kudasai (please) of 見せる) 見せる [みせる]"},
  };
  for (const auto& [surface, want] : cases) EXPECT_EQ(found(surface), want) << surface;
}

TEST_F(FormsTest, KanaWordsAreFoundByTheirReading) {
  EXPECT_EQ(found("しなければならない"), "しなければならない (must of する) 為る [する]");
  EXPECT_EQ(found("している"), "している (progressive of する) 為る [する]");
  EXPECT_EQ(found("きます"), "きます (polite of くる) 来る [くる]");
  // Kana as it stands counts only for a word that inflects: する does, が and
  // the bare stem ため (of 溜める) do not.
  EXPECT_EQ(found("する"), "する 為る [する]");
  EXPECT_EQ(found("が"), "");
  // A loanword held under a kanji headword, by its reading in katakana.
  EXPECT_EQ(found("ページを"), "ページ 頁 [ページ]");
  // Nor a noun in kana, even one that takes する.
  EXPECT_EQ(found("こと"), "");
  EXPECT_EQ(found("ために"), "");
}

TEST_F(FormsTest, AtKanaOnlyWordsWrittenInKanaAreListed) {
  // A verb usually written in kana, and one whose mark stands past the 198
  // bytes of the line's cut copy.
  EXPECT_EQ(found("なります"), "なります (polite of なる) 成る [なる]");
  EXPECT_EQ(found("みます"), "みます (polite of みる) 見る [みる]");
  // これ is not the imperative of 凝る, written in kanji; in kanji it is.
  EXPECT_EQ(found("これ"), "");
  EXPECT_EQ(found("凝れ"), "凝れ (imperative of 凝る) 凝る [こる]");
  // A word that does not inflect, of three kana or more; not of two (のど of
  // などの), nor a particle.
  EXPECT_EQ(found("それぞれの"), "それぞれ 夫々 [それぞれ]");
  EXPECT_EQ(found("のど"), "");
  EXPECT_EQ(found("までに"), "");
  // One kana alone is no word (き of べき), even where a rule reaches 来る.
  EXPECT_EQ(found("き"), "");
  EXPECT_EQ(found("きて"), "きて (te-form of くる) 来る [くる]");
}

TEST_F(FormsTest, WordsInCommonUseComeBeforeRarerForms) {
  // Of two deinflected forms, the word in common use before fewer rules.
  EXPECT_EQ(found("含まれます"), "含まれます (polite of passive of 含む) 含む [ふくむ]");
  // The exact surface still comes first where it stands in kanji...
  EXPECT_EQ(found("含まれる"), "含まれる 含まれる [ふくまれる]");
  // ...but at kana a word that does not inflect counts only in common use:
  // したり is する's, not the rare interjection.
  EXPECT_EQ(found("したり"), "したり (-tari (and so on) of する) 為る [する]");
}

TEST_F(FormsTest, NoNounRunsIntoThePoliteEnding) {
  // ます follows a verb's continuative: 真となり here ends inside となります.
  EXPECT_EQ(found("真となります"), "真 真 [しん]");
  EXPECT_EQ(found("となります"), "となります (polite of となる) となる");
  EXPECT_EQ(found("真となりの"), "真となり 真となり [まとなり]");
}

TEST_F(FormsTest, AParticleGivesWayToTheLongerWordAfterIt) {
  // の + すべて, not 伸す [のす] + べて: nothing at の, the word one on.
  EXPECT_EQ(found("のすべての"), "");
  EXPECT_EQ(found("すべての"), "すべて 全て [すべて]");
  // Where nothing longer follows, the word at the particle stays.
  EXPECT_EQ(found("のす。"), "のす 伸す [のす]");
  // So does an expression led by the particle, though 置く's ending runs
  // further from the next character.
  EXPECT_EQ(found("においても"), "において に於いて [において]");
}

TEST_F(FormsTest, AtKanaTheBareContinuativeGivesWayToAWordOfItsOwn) {
  // より is the particle, not 因る's continuative; the particle itself is not
  // listed at kana, so nothing is.
  EXPECT_EQ(found("より大きい"), "");
  // With an ending after the stem the verb is plain.
  EXPECT_EQ(found("よります"), "よります (polite of よる) 因る [よる]");
  // A comma shows the continuative ending a clause: あり、 is ある's.
  EXPECT_EQ(found("あり、"), "あり (continuative of ある) 在る [ある]");
  EXPECT_EQ(found("ありの"), "");
  // A rare reading does not make the kana a word of their own.
  EXPECT_EQ(found("により変わる"), "により (continuative of による) に依る [による]");
}

TEST_F(FormsTest, TheReadersOwnWordsAndNamesAreLookedUpToo) {
  write_dictionary("userdict", lines({euc("風車 [ふうしゃ] /my windmill/"), euc("風 /my wind/"),
                                      euc("読む /my reading/")}));
  open_dictionaries(nullptr);
  ASSERT_TRUE(slot_ready(2));
  // The longer word of the reader's own wins over the main dictionary's 風.
  EXPECT_EQ(found("風車が"), "風車 風車 [ふうしゃ]");
  // On equal terms the main dictionary's entry comes first.
  EXPECT_EQ(found("風が"), "風 風 [かぜ]");
  // A further dictionary's verb needs the tags the rules ask for: none here.
  EXPECT_EQ(found("読んで"), "読んで (te-form of 読む) 読む [よむ]");
  // The listing records the slot of the line it shows.
  lookup.dictionary_forms = true;
  listing("風車");
  ASSERT_GE(lookup.item_count, 1);
  EXPECT_EQ(lookup.items[0].slot, 2);
}

TEST_F(FormsTest, AHeadwordIsFoundAmongAllTheCompoundsEndingInIt) {
  // The index of every character holds "文字 " in each compound ending in
  // 文字; those whose reading sorts before もじ come first in its run.
  std::vector<std::string> each;
  for (int i = 0; i < 150; ++i) each.push_back(euc("大文字 [おおもじ] /(n) capital letter/"));
  each.push_back(euc("文字 [もじ] /(n) character/"));
  const std::string text = lines(each);
  reset_store();
  open_dictionary_with(text, character_starts(text));
  EXPECT_EQ(found("文字が"), "文字 文字 [もじ]");
}

// What the walk of a key found is kept for the files it was found in: the
// word found again reads the same, a key with more lines than are kept is
// walked again with the same outcome, and other files are read anew.
TEST_F(FormsTest, AWordFoundAgainReadsTheSameAndOtherFilesAreReadAnew) {
  const std::string first = found("書きました");
  ASSERT_NE(first.find("[かく]"), std::string::npos) << first;
  const uint64_t hits = forms_memo.hits;
  const uint64_t results = forms_memo.result_hits;
  EXPECT_EQ(found("書きました"), first);
  EXPECT_GT(forms_memo.result_hits, results);  // the surface's outcome is known
  // Another surface of the same word finds the lines of its key kept.
  EXPECT_EQ(found("書きます"), "書きます (polite of 書く) 書く [かく]");
  EXPECT_GT(forms_memo.hits, hits);

  std::vector<std::string> many;
  for (int i = 0; i < 70; ++i) {
    many.push_back(euc("文字 [もじ" + std::string(i % 2 ? "" : "ら") + "] /(n) character/"));
  }
  std::string text = lines(many);
  reset_store();
  open_dictionary_with(text, headwords_and_readings(text));
  const std::string word = found("文字が");
  EXPECT_EQ(word, "文字 文字 [もじ]");  // the first in index order: "]" sorts before "ら"
  EXPECT_EQ(found("文字が"), word);

  text = lines({euc("書く [しょく] /(v5k,vt) to write/")});
  reset_store();
  open_dictionary_with(text, headwords_and_readings(text));
  std::string expected = first;
  expected.replace(expected.find("[かく]"), std::string("[かく]").size(), "[しょく]");
  EXPECT_EQ(found("書きました"), expected);
}

TEST_F(FormsTest, NoFalseFormsAndTheRightOneAmongSeveral) {
  // 帰る is tagged ichidan here: its godan te-form 帰って reaches no entry,
  // and the ichidan past 帰た would.
  EXPECT_EQ(found("帰って"), "");
  EXPECT_EQ(found("帰た"), "帰た (past of 帰る) 帰る [かえる]");
  // 行った is 行く's past before 行う's: the rules of 行く come first.
  EXPECT_EQ(found("行った"), "行った (past of 行く) 行く [いく]");
  // The word as it stands before a deinflected one of the same length.
  EXPECT_EQ(found("見せ"), "見せ 見せ [みせ]");
  // A word listed on its own is the noun before the suffix of the same
  // spelling, whatever their order in the index.
  EXPECT_EQ(found("人が"), "人 人 [ひと]");
  // An exact headword only: 起きて is 起きる, not the proverb it begins.
  EXPECT_EQ(found("起きて、"), "起きて (te-form of 起きる) 起きる [おきる]");
  // Nothing past punctuation or ASCII; 風が is the noun, not 風変わり.
  EXPECT_EQ(found("風が"), "風 風 [かぜ]");
  EXPECT_EQ(found("書いたA"), "書いた (past of 書く) 書く [かく]");
}

TEST_F(FormsTest, TheListingShowsTheWholeWordAndItsDescription) {
  lookup.dictionary_forms = true;
  const std::string listed = listing("食べました。風が起きて、しなければファイルを");
  EXPECT_EQ(euc_to_utf8(listed),
            "食べました" + kGap + "(polite past of 食べる) 食べる [たべる] /(v1,vt) to eat/\n" +
                "。風" + kGap + "風 [かぜ] /(n) wind/\n" + "が起きて" + kGap +
                "(te-form of 起きる) 起きる [おきる] /(v1,vi) to get up/\n" + "、しなければ" +
                kGap + "(conditional of negative of する) 為る [する] /(vs-i) to do/\n" +
                "ファイル" + kGap + "ファイル /(n) file/\n" + "を");
}

TEST_F(FormsTest, TheModeOffLeavesTheClassicListingAsItWas) {
  const std::string passage = "食べました。風が起きて、書かれていました。行った";
  reset_deinflect();
  const std::string classic = listing(passage);
  ASSERT_TRUE(load_deinflect_table(nullptr));
  lookup.dictionary_forms = false;
  EXPECT_EQ(listing(passage), classic);
  // The classic walk lists what the mode mends: the proverb for 起きて.
  EXPECT_NE(euc_to_utf8(classic).find("起きて半畳"), std::string::npos);
  lookup.dictionary_forms = true;
  EXPECT_NE(listing(passage), classic);
  // Without a table the mode lists as the classic walk does.
  reset_deinflect();
  EXPECT_EQ(listing(passage), classic);
}

TEST_F(FormsTest, TheListingStaysInItsBuffer) {
  lookup.dictionary_forms = true;
  std::string passage;
  while (passage.size() < 30000) passage += "書かれていました";
  listing(passage);
  ASSERT_NE(lookup.listing_buffer, nullptr);
  EXPECT_EQ(lookup.listing_buffer[kListingBufferSize - 1], 0);
}

TEST_F(FormsTest, SingleListsTheDictionaryFormsFirst) {
  lookup.dictionary_forms = true;
  const std::string key = euc("食べました");
  std::memcpy(lookup.search_key, key.data(), key.size());
  lookup_selection();
  ASSERT_NE(lookup.single_buffer, nullptr);
  const std::string text(reinterpret_cast<const char*>(lookup.single_buffer));
  const std::string first = euc("(polite past of 食べる) 食べる [たべる] /(v1,vt) to eat/\r\n");
  EXPECT_EQ(text.substr(0, first.size()), first);
  // The line listed as the form's does not come again among the key's own.
  EXPECT_EQ(text.find(euc("食べる [たべる]"), first.size()), std::string::npos);
}

// The words of real text on the full dictionary, made by
// scripts/get-full-dictionary.sh into dict/; skipped where it is not.
TEST(FormsOnTheFullDictionary, ConjugatedWordsListTheirDictionaryForm) {
  namespace fs = std::filesystem;
  const fs::path dict = fs::path(DODEVUZ_SOURCE_DATA_DIR).parent_path() / "dict";
  if (!fs::exists(dict / "edict") || !fs::exists(dict / "edict.jdx")) {
    GTEST_SKIP() << "no full dictionary in " << dict;
  }
  reset_recording();
  reset_store();
  reset_lookup();
  reset_deinflect();
  ScratchDir dir;
  for (const char* name : {"edict", "edict.jdx"}) fs::create_symlink(dict / name, name);
  fs::copy_file(fs::path(DODEVUZ_SOURCE_DATA_DIR) / "deinflect.txt", "deinflect.txt");
  open_dictionaries(nullptr);
  ASSERT_TRUE(load_deinflect_table(nullptr));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"食べました", "食べる"},     {"起きて", "起きる"},
      {"読んで", "読む"},           {"書かれている", "書く"},
      {"見せてください", "見せる"}, {"美しかった", "美しい"},
      {"行った", "行く"},           {"しなければならない", "為る [する]"},
  };
  for (const auto& [surface, headword] : cases) {
    const std::string text = euc(surface);
    FormsMatch match;
    ASSERT_EQ(lookup_forms(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                           static_cast<unsigned char>(text[0]) == 0xA4, &match, 1),
              1)
        << surface;
    EXPECT_EQ(match.surface_length, text.size()) << surface;
    const std::string line = euc_to_utf8(reinterpret_cast<const char*>(match.line));
    EXPECT_EQ(line.rfind(headword + " ", 0), 0u) << surface << ": " << line;
  }
  // Words of the manual pages that were listed with a piece or a longer
  // entry: the word listed, and what its line holds.
  const std::vector<std::pair<std::string, std::string>> words = {
      {"文字が", "文字 [もじ]"},    {"要素と", "要素 [ようそ]"},   {"前の", "前 ["},
      {"それぞれの", "[それぞれ]"}, {"真となります", "真 [しん]"}, {"みなされる", "[みなす]"},
  };
  for (const auto& [text_utf8, holds] : words) {
    const std::string text = euc(text_utf8);
    FormsMatch match;
    ASSERT_EQ(lookup_forms(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                           static_cast<unsigned char>(text[0]) == 0xA4, &match, 1),
              1)
        << text_utf8;
    const std::string line = euc_to_utf8(reinterpret_cast<const char*>(match.line));
    EXPECT_NE(line.find(holds), std::string::npos) << text_utf8 << ": " << line;
  }
  // Kana that the mode used to take for verbs: の before すべて, より the
  // particle, 時 [とき], 無し [なし]; and kana verbs that stay.
  for (const char* text_utf8 : {"のすべての", "より大きい", "ときに", "なしで"}) {
    const std::string text = euc(text_utf8);
    FormsMatch match;
    EXPECT_EQ(lookup_forms(reinterpret_cast<const unsigned char*>(text.data()), text.size(), true,
                           &match, 1),
              0)
        << text_utf8 << ": " << euc_to_utf8(reinterpret_cast<const char*>(match.line));
  }
  const std::vector<std::pair<std::string, std::string>> verbs = {
      {"であり、", "である"},   {"あり、", "[ある]"},     {"います", "[いる]"},
      {"できます", "[できる]"}, {"すべての", "[すべて]"},
  };
  for (const auto& [text_utf8, holds] : verbs) {
    const std::string text = euc(text_utf8);
    FormsMatch match;
    ASSERT_EQ(lookup_forms(reinterpret_cast<const unsigned char*>(text.data()), text.size(), true,
                           &match, 1),
              1)
        << text_utf8;
    const std::string line = euc_to_utf8(reinterpret_cast<const char*>(match.line));
    EXPECT_NE(line.find(holds), std::string::npos) << text_utf8 << ": " << line;
  }
  reset_deinflect();
  reset_store();
}

// The outcome of a surface is kept by what it depends on besides its
// bytes: what follows it (ます, a comma), how many entries the caller asks
// for, the files and the ranked readings. Each pair below would read wrong
// if one were taken for the other.
TEST_F(FormsTest, AKnownSurfaceIsTakenOnlyWhereItsOutcomeHolds) {
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(found("あり、"), "あり (continuative of ある) 在る [ある]");
    EXPECT_EQ(found("ありの"), "");
    EXPECT_EQ(found("真となります"), "真 真 [しん]");
    EXPECT_EQ(found("真となりの"), "真となり 真となり [まとなり]");
  }
  EXPECT_GT(forms_memo.result_hits, 0u);

  // One entry asked for, then all: the second caller gets both.
  const std::string text = euc("人が");
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  FormsMatch matches[4];
  EXPECT_EQ(lookup_forms(bytes, text.size(), false, matches, 1), 1);
  EXPECT_EQ(lookup_forms(bytes, text.size(), false, matches, 4), 2);
  EXPECT_EQ(lookup_forms(bytes, text.size(), false, matches, 1), 1);
  EXPECT_EQ(euc_to_utf8(reinterpret_cast<const char*>(matches[0].line)),
            "人 [ひと] /(n) person/\n");

  // After a reset nothing is known, and the words read the same.
  reset_forms_memo();
  EXPECT_EQ(forms_memo.result_hits, 0u);
  EXPECT_EQ(forms_memo.first_hits, 0u);
  EXPECT_EQ(found("真となります"), "真 真 [しん]");
  EXPECT_EQ(forms_memo.result_hits, 0u);
  EXPECT_EQ(found("真となります"), "真 真 [しん]");
  EXPECT_GT(forms_memo.result_hits, 0u);
}

TEST_F(FormsTest, ANameIsRankedAnewWhenTheRankedReadingsChange) {
  reset_readings();
  readings.looked_for = true;  // no ranked dictionary yet
  write_dictionary("enamdict", lines({euc("渋谷 [しだや] /(s) Shidaya/"),
                                      euc("渋谷 [しぶたに] /(p,s) Shibutani/"),
                                      euc("渋谷 [しぶや] /(p,s) Shibuya/")}));
  open_dictionaries(nullptr);
  ASSERT_TRUE(slot_ready(kNamesSlot));
  EXPECT_EQ(found("渋谷で"), "渋谷 渋谷 [しぶたに]");
  EXPECT_EQ(found("渋谷で"), "渋谷 渋谷 [しぶたに]");
  testing_support::write_file(kReadingsFile, euc(";; okuri-nasi entries.\n"
                                                 "しぶや /渋谷/\n"
                                                 "しぶやく /渋谷区/\n"));
  const uint32_t before = readings.generation;
  ASSERT_TRUE(load_readings(kReadingsFile));
  EXPECT_NE(readings.generation, before);
  EXPECT_EQ(found("渋谷で"), "渋谷 渋谷 [しぶや]");
  reset_readings();
  readings.looked_for = true;
  EXPECT_EQ(found("渋谷で"), "渋谷 渋谷 [しぶたに]");
  reset_readings();
}

// Where the runs of keys begin is kept per opening of a dictionary: the same
// prefixes in other files are searched anew.
TEST_F(FormsTest, TheRunsOfKeysAreSearchedAnewInOtherFiles) {
  EXPECT_EQ(found("書きました"), "書きました (polite past of 書く) 書く [かく]");
  const uint64_t firsts = forms_memo.first_hits;
  EXPECT_EQ(found("書かない"), "書かない (negative of 書く) 書く [かく]");
  EXPECT_GT(forms_memo.first_hits, firsts);  // 書 was searched before

  std::string text = lines({euc("書 [しょ] /(n) writing/")});
  reset_store();
  open_dictionary_with(text, headwords_and_readings(text));
  EXPECT_EQ(found("書かない"), "書 書 [しょ]");
  text = lines({euc("読む [よむ] /(v5m,vt) to read/")});
  reset_store();
  open_dictionary_with(text, headwords_and_readings(text));
  EXPECT_EQ(found("書かない"), "");
}

// With the filters of headwords and readings made from the first lookup on,
// every word reads as without them; a filter is made anew for other files,
// which hold other words.
TEST_F(FormsTest, TheWordFiltersRuleOutOnlyKeysThatAreNoWordsThere) {
  const std::vector<std::string> words = {"食べました",
                                          "ページを",
                                          "それぞれの",
                                          "書かれていました",
                                          "しなければならない",
                                          "人が",
                                          "真となります",
                                          "により変わる",
                                          "こと",
                                          "帰って"};
  std::vector<std::string> plain;
  for (const std::string& w : words) plain.push_back(found(w));
  reset_forms_memo();
  forms_memo.filter_after = 0;
  for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(found(words[i]), plain[i]) << words[i];
  EXPECT_GT(forms_memo.filtered, 0u);
  EXPECT_TRUE(forms_memo.filters[0].usable);

  std::string text = lines({euc("凧 [たこ] /(n) kite/"), euc("書く [しょく] /(v5k,vt) to write/")});
  reset_store();
  open_dictionary_with(text, headwords_and_readings(text));
  EXPECT_EQ(found("凧が"), "凧 凧 [たこ]");
  EXPECT_EQ(found("書きました"), "書きました (polite past of 書く) 書く [しょく]");
  EXPECT_EQ(found("食べました"), "");
}

}  // namespace

// A dictionary none of whose lines carries a form's classes has no entry
// for a form reached by rules, and its runs are not walked for it: a names
// dictionary for 書いた's 書く. A further dictionary that does carry the
// class (the reader's own 書く) is still asked, and so is one whose filter
// was made by another deinflection table.
TEST_F(FormsTest, AFurtherDictionaryWithoutTheFormsClassesIsNotWalkedForIt) {
  write_dictionary("enamdict", lines({euc("書く [かく] /(s) Kaku/"), euc("書 [ふみ] /(f) Fumi/")}));
  open_dictionaries(nullptr);
  ASSERT_TRUE(slot_ready(kNamesSlot));
  const std::string plain = found("書いた");
  EXPECT_EQ(plain, "書いた (past of 書く) 書く [かく]");
  reset_forms_memo();
  forms_memo.filter_after = 0;
  EXPECT_EQ(found("書いた"), plain);
  const WordFilter& names = forms_memo.filters[kNamesSlot];
  ASSERT_TRUE(names.usable);
  EXPECT_EQ(names.classes, 0u);
  EXPECT_NE(forms_memo.filters[0].classes, 0u);
  EXPECT_GT(forms_memo.filtered, 0u);

  write_dictionary("userdict", lines({euc("書く [かく] /(v5k) my own writing/")}));
  testing_support::write_file("edict", lines({euc("凧 [たこ] /(n) kite/")}));
  testing_support::write_file("edict.jdx", testing_support::index_bytes({1}));
  open_dictionaries(nullptr);
  EXPECT_EQ(found("書いた"), "書いた (past of 書く) 書く [かく]");
  EXPECT_NE(forms_memo.filters[2].classes, 0u);
}
