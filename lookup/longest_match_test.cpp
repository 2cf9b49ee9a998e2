// The longest-match lookups: prefix probing, lookup_word's preference for a
// line that starts like the key, and lookup_selection's listing of lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lookup/test_dictionary.h"
#include "readings/readings.h"

namespace {

using namespace test_dictionary;
using testing_support::euc;
using testing_support::ScratchDir;

class LongestMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_store();
    reset_lookup();
  }
  void TearDown() override {
    recording.alloc_fails = nullptr;
    reset_lookup();
    reset_store();
  }

  std::string word(const std::string& key) {
    set_key(key);
    lookup_word();
    return entry_line();
  }
  // The whole single buffer that lookup_selection made and filled.
  std::string selection(const std::string& key) {
    set_key(key);
    lookup_selection();
    if (lookup.single_buffer == nullptr) return "(no buffer)";
    return std::string(reinterpret_cast<const char*>(lookup.single_buffer), kSingleBufferSize);
  }

  ScratchDir dir_;
};

TEST_F(LongestMatchTest, NothingToMatchGivesTheNoMatchText) {
  const std::string text = lines({euc("日本 /Japan/")});
  open_dictionary_with(text, line_starts(text));
  for (const std::string& key :
       {std::string(), std::string("\x0A"), std::string("\x1F"), euc("本"), std::string("z")}) {
    EXPECT_EQ(word(key), "  NOMATCH  \n");
    EXPECT_EQ(selection(key), std::string(kSingleBufferSize, '\0'));
    EXPECT_EQ(entry_line(), "  NOMATCH  \n");
  }
}

TEST_F(LongestMatchTest, TheLongestPrefixWinsAndOneTrailingControlByteGoes) {
  const std::string text =
      lines({euc("日 /day/"), euc("日本 /Japan/"), euc("日本語 /Japanese/"), "tokyo /t/"});
  open_dictionary_with(text, line_starts(text));
  EXPECT_EQ(word(euc("日本語です")), euc("日本語 /Japanese/\n"));
  EXPECT_EQ(word(euc("日本人")), euc("日本 /Japan/\n"));
  EXPECT_EQ(word(euc("日曜")), euc("日 /day/\n"));
  EXPECT_EQ(word(euc("日本") + "\n"), euc("日本 /Japan/\n"));
  EXPECT_EQ(lookup.search_key[4], 0);  // the line end was dropped from the key
  // Only one byte goes: with CR LF the CR stays, and spoils nothing here.
  EXPECT_EQ(word(euc("日本") + "\r\n"), euc("日本 /Japan/\n"));
  EXPECT_EQ(lookup.search_key[4], '\r');
  // An ASCII first byte makes one-byte characters; case does not matter.
  EXPECT_EQ(word("TOKYO!"), "tokyo /t/\n");
  EXPECT_EQ(word("Tok"), "tokyo /t/\n");
}

TEST_F(LongestMatchTest, AnOddTrailingByteIsNeverPartOfAPrefix) {
  // The key's 5th byte would continue the match, but 9 bytes of two-byte
  // characters are tried for 4 characters at most.
  const std::string four = euc("一二三四");
  const std::string text = lines({four + "\xB0 /five/", four + " /four/"});
  open_dictionary_with(text, line_starts(text));
  const std::string listed = selection(four + "\xB0");
  // Were a fifth character tried (the odd byte and the key's NUL), the line
  // that goes on with 0xB0 would be the only match and come first.
  EXPECT_EQ(listed.substr(0, 9), four + " ");
  EXPECT_NE(listed.find("/five"), std::string::npos);
  EXPECT_NE(listed.find("/four"), std::string::npos);
}

TEST_F(LongestMatchTest, PrefixesAreTriedForTwentyCharactersAtMost) {
  // 25 characters; line A holds all 25, line B the first 20 and then a
  // character that sorts before A's 21st. Were 21 or more characters tried,
  // A alone would match the longest prefix and come first.
  std::string key;
  for (int c = 0; c < 25; ++c) key += euc("漢");
  const std::string twenty = key.substr(0, 40);
  const std::string text = lines({key + " A", twenty + euc("亜") + " B"});
  open_dictionary_with(text, line_starts(text));
  const std::string listed = selection(key);
  EXPECT_EQ(listed.substr(0, 46), twenty + euc("亜") + " B\r\n");
  EXPECT_EQ(word(key), text.substr(text.find('\n') + 1));  // B: first of the 20-character run
}

TEST_F(LongestMatchTest, LookupWordPrefersALineThatStartsLikeTheKey) {
  // The first entry matching the key lies inside a line that starts with
  // another character; the next one starts with the key itself.
  const std::string inside = euc("大漢字") + "a";
  const std::string starts = euc("漢字") + "b";
  const std::string text = lines({inside, starts, euc("漢") + "c"});
  std::vector<int32_t> positions = line_starts(text);
  positions.push_back(3);  // the 漢 of line 1
  open_dictionary_with(text, positions);
  EXPECT_EQ(word(euc("漢字")), starts + "\n");
  EXPECT_EQ(word(euc("漢字") + "a"), starts + "\n");  // the odd byte is not tried
}

TEST_F(LongestMatchTest, LookupWordFallsBackToShorterPrefixes) {
  // No line that matches two characters starts like the key; the lines of
  // the one-character prefix are tried next, from its first match.
  const std::string text = lines({euc("大漢字") + "a", euc("漢") + "c"});
  std::vector<int32_t> positions = line_starts(text);
  positions.push_back(3);
  open_dictionary_with(text, positions);
  EXPECT_EQ(word(euc("漢字")), euc("漢") + "c\n");
}

TEST_F(LongestMatchTest, LookupWordEndsOnTheLastOneCharacterLineWhenNoneStartsLikeTheKey) {
  const std::string text = lines({euc("大漢") + "a", euc("小漢") + "b"});
  open_dictionary_with(text, {3, 9});
  EXPECT_EQ(word(euc("漢")), euc("小漢") + "b\n");
}

TEST_F(LongestMatchTest, LookupWordComparesTheWholeFirstCharacter) {
  // 大 (C2 E7) and 対 (C2 D0) share their lead byte; 対 of 大対 comes first
  // in index order.
  const std::string text = lines({euc("大対 [おおつい] /big pair/"), euc("対 [たい] /versus/")});
  open_dictionary_with(text, character_starts(text));
  EXPECT_EQ(word(euc("対です")), euc("対 [たい] /versus/\n"));
  // A 0x8F character is three bytes: a line sharing only two is passed by.
  const std::string supplementary = lines({"\x8F\xB0\xA1 /a/", "\x8F\xB0\xA2 /b/"});
  open_dictionary_with(supplementary, line_starts(supplementary));
  EXPECT_EQ(word("\x8F\xB0\xA2"), "\x8F\xB0\xA2 /b/\n");
  // An ASCII key keeps the test of one byte.
  const std::string ascii = lines({"xtokyo /a/", "tokyo /b/"});
  open_dictionary_with(ascii, {2, 12});
  EXPECT_EQ(word("tokyo"), "tokyo /b/\n");
}

// The searches and walks kept in the search memo give what the lookup
// gives afresh: for every key, the line, the current entry and the key as
// the lookup leaves them, whether the memo is empty (a new opening of the
// dictionary) or full of the other keys' searches, taken in another order.
TEST_F(LongestMatchTest, TheSearchMemoAnswersAsTheLookupDoesAfresh) {
  const std::string text = lines({
      euc("大漢字 [だいかんじ] /big kanji/"),
      euc("漢字 [かんじ] /kanji/"),
      euc("漢 [かん] /Han/"),
      euc("小漢 [しょうかん] /x/"),
      euc("日本 [にほん] /Japan/"),
      euc("日本語 [にほんご] /Japanese/"),
      euc("本日 [ほんじつ] /today/"),
      euc("大対 [おおつい] /big pair/"),
      euc("対 [たい] /versus/"),
      euc("カナ /kana/"),
      euc("かな /kana/"),
      "\x8F\xB0\xA1 /a/",
      "\x8F\xB0\xA2 /b/",
      "tokyo /t/",
      "xTokyo /u/",
  });
  open_dictionary_with(text, character_starts(text));
  std::vector<std::string> keys;
  for (const std::string& start :
       {euc("大漢字です"), euc("漢字の本"), euc("漢和"), euc("小漢字"), euc("日本語を"),
        euc("本日は"), euc("対です"), euc("大対"), euc("カナダ"), euc("かなしい"),
        std::string("\x8F\xB0\xA2\xA4\xA2"), std::string("tokyo!"), std::string("TOKYO"),
        euc("日本\n")}) {
    for (size_t n = 1; n <= start.size(); ++n) keys.push_back(start.substr(0, n));
  }
  struct State {
    std::string line, key;
    int32_t entry;
    bool operator==(const State&) const = default;
  };
  auto state = [] {
    return State{entry_line(), reinterpret_cast<const char*>(lookup.search_key),
                 lookup.current_entry};
  };
  std::vector<State> fresh;
  for (const std::string& key : keys) {
    open_dictionaries(nullptr);  // a new opening: nothing in the memo counts
    lookup.current_entry = -7;   // a key too short to look up leaves it
    word(key);
    fresh.push_back(state());
  }
  open_dictionaries(nullptr);
  const uint64_t hits = search_memo.hits;
  for (int round = 0; round < 2; ++round) {
    for (size_t i = keys.size(); i-- > 0;) {
      lookup.current_entry = -7;
      word(keys[i]);
      EXPECT_TRUE(state() == fresh[i]) << testing_support::hex(keys[i]) << " round " << round;
    }
  }
  EXPECT_GT(search_memo.hits, hits + keys.size());
}

// What was found in one dictionary is not taken for another opened under
// the same names, nor after the store is reset.
TEST_F(LongestMatchTest, TheSearchMemoForgetsADictionaryOpenedAgain) {
  const std::string first = lines({euc("漢字 /one/")});
  open_dictionary_with(first, line_starts(first));
  EXPECT_EQ(word(euc("漢字")), euc("漢字 /one/\n"));
  const std::string second = lines({euc("漢字 /two/")});
  open_dictionary_with(second, line_starts(second));
  EXPECT_EQ(word(euc("漢字")), euc("漢字 /two/\n"));
  reset_store();
  const std::string third = lines({euc("漢 /three/")});
  open_dictionary_with(third, line_starts(third));
  EXPECT_EQ(word(euc("漢字")), euc("漢 /three/\n"));
}

TEST_F(LongestMatchTest, SelectionListsEachLineOnceWithAllItsBytes) {
  // Two lines match 日本, five match 日 (those two among them).
  const std::string text = lines({euc("日") + "1", euc("日曜") + "2", euc("日本") + "3",
                                  euc("日本語") + "4", euc("日記") + "5", euc("本") + "6"});
  open_dictionary_with(text, line_starts(text));
  const std::string listed = selection(euc("日本で"));
  // Longest prefix first, then the lines of 日 not listed yet, in index
  // order (日1, 日記5, 日本3, 日本語4, 日曜2); each line whole, CR LF.
  const std::string expected = euc("日本") + "3\r\n" + euc("日本語") + "4\r\n" + euc("日") +
                               "1\r\n" + euc("日記") + "5\r\n" + euc("日曜") + "2\r\n";
  EXPECT_EQ(listed.substr(0, expected.size()), expected);
  EXPECT_EQ(listed.substr(expected.size()), std::string(kSingleBufferSize - expected.size(), '\0'));
}

// Indexed at every character, a word's compounds may come before its own
// line in index order; the lines that begin with the prefix come first.
TEST_F(LongestMatchTest, SelectionGivesTheWordsOwnLinesFirst) {
  const std::string text = lines(
      {euc("大人の対応 /a/"), euc("対応 /b/"), euc("反応 /c/"), euc("対 /d/"), euc("絶対 /e/")});
  open_dictionary_with(text, character_starts(text));
  const auto line = [](const char* utf8) { return euc(utf8) + "\r\n"; };
  // 対応: its own line, then the compound; 対: its own line, then 絶対 (大人の
  // 対応 and 対応 are listed already).
  const std::string expected =
      line("対応 /b/") + line("大人の対応 /a/") + line("対 /d/") + line("絶対 /e/");
  const std::string listed = selection(euc("対応する"));
  EXPECT_EQ(listed.substr(0, expected.size() + 1), expected + '\0');
  // Katakana and hiragana match alike, and so begin alike.
  const std::string kana = lines({euc("カナ /k/"), euc("のかな /h/")});
  open_dictionary_with(kana, character_starts(kana));
  EXPECT_EQ(selection(euc("かな")).substr(0, 22), line("カナ /k/") + line("のかな /h/"));
}

// Whole lines only: the first line that would not fit with the text's NUL
// ends the list, even when a later, shorter one would fit.
TEST_F(LongestMatchTest, SelectionTakesWholeLinesUpToTheBuffersEnd) {
  // Lines in index order a, b, c, ...: nine of 198 bytes (200 with CR LF).
  const auto long_line = [](char c, size_t size) {
    return euc("山") + c + std::string(size - 3, 'x');
  };
  std::vector<std::string> each;
  for (char c = 'a'; c <= 'i'; ++c) each.push_back(long_line(c, 198));
  std::string nine;
  for (const std::string& l : each) nine += l + "\r\n";
  ASSERT_EQ(nine.size(), 1800u);
  // A tenth of 197 bytes fills 1999 bytes, and the NUL takes the last one.
  each.push_back(long_line('j', 197));
  each.push_back(euc("山") + "k");
  std::string text = lines(each);
  open_dictionary_with(text, line_starts(text));
  std::string listed = selection(euc("山"));
  EXPECT_EQ(listed.substr(0, 1999), nine + each[9] + "\r\n");
  EXPECT_EQ(listed[1999], '\0');
  // A tenth of 198 bytes does not fit, and the short eleventh is not given.
  each[9] = long_line('j', 198);
  text = lines(each);
  open_dictionary_with(text, line_starts(text));
  listed = selection(euc("山"));
  EXPECT_EQ(listed.substr(0, 1800), nine);
  EXPECT_EQ(listed.substr(1800), std::string(kSingleBufferSize - 1800, '\0'));
}

TEST_F(LongestMatchTest, SelectionWithoutASingleBufferLooksNothingUp) {
  const std::string text = lines({euc("山")});
  open_dictionary_with(text, line_starts(text));
  EXPECT_EQ(selection(euc("山")).substr(0, 5), euc("山") + "\r\n" + '\0');
  recording.alloc_fails = [](size_t size) { return size == kSingleBufferSize; };
  EXPECT_EQ(selection(euc("山")), "(no buffer)");
  EXPECT_EQ(entry_line(), "  NOMATCH  \n");
}

TEST_F(LongestMatchTest, SelectionMakesANewBufferEachTime) {
  // A shorter list after a longer one leaves nothing of the longer behind.
  const std::string text = lines({euc("日本語") + "xyz", euc("山") + "b"});
  open_dictionary_with(text, line_starts(text));
  EXPECT_EQ(selection(euc("日本語")).substr(0, 11), euc("日本語") + "xyz\r\n");
  const std::string listed = selection(euc("山"));
  EXPECT_EQ(listed.substr(0, 5), euc("山") + "b\r\n");
  EXPECT_EQ(listed.substr(5), std::string(kSingleBufferSize - 5, '\0'));
  // Nothing found: the new buffer stays empty.
  EXPECT_EQ(selection(euc("本")), std::string(kSingleBufferSize, '\0'));
}

// ---- Further dictionary slots ------------------------------------------------

class SlotsTest : public LongestMatchTest {
 protected:
  // No ranked dictionary of readings unless a test loads one.
  void SetUp() override {
    LongestMatchTest::SetUp();
    reset_readings();
    readings.looked_for = true;
  }
  void TearDown() override {
    reset_readings();
    LongestMatchTest::TearDown();
  }
  // edict with the given lines, and each further dictionary's lines (empty:
  // no such file).
  void dictionaries(const std::vector<std::string>& main, const std::vector<std::string>& names,
                    const std::vector<std::string>& own = {}) {
    const std::string text = lines(main);
    testing_support::write_file("edict", text);
    std::vector<int32_t> positions = line_starts(text);
    sort_positions(text, &positions);
    testing_support::write_file("edict.jdx", testing_support::index_bytes(positions));
    if (!names.empty()) write_dictionary("enamdict", lines(names));
    if (!own.empty()) write_dictionary("userdict", lines(own));
    open_dictionaries(nullptr);
  }
};

TEST_F(SlotsTest, TheLongestWordOfAnySlotWinsAndSlotZeroOnEqualLengths) {
  dictionaries({euc("鈴 /bell/"), euc("山 /mountain/"), euc("山田 /field on a hill/")},
               {euc("鈴木 [すずき] /Suzuki/"), euc("山田 [やまだ] /Yamada/"), euc("木 [き] /Ki/")},
               {euc("鈴木一郎 /my friend/")});
  EXPECT_EQ(word(euc("鈴木さん")), euc("鈴木 [すずき] /Suzuki/\n"));
  EXPECT_EQ(lookup.word_slot, 1);
  EXPECT_EQ(lookup.word_length, 4);
  EXPECT_EQ(store.current_slot, 1);
  EXPECT_EQ(word(euc("鈴木一郎です")), euc("鈴木一郎 /my friend/\n"));
  EXPECT_EQ(lookup.word_slot, 2);
  EXPECT_EQ(lookup.word_length, 8);
  // Equal lengths: the main dictionary's line.
  EXPECT_EQ(word(euc("山田さん")), euc("山田 /field on a hill/\n"));
  EXPECT_EQ(lookup.word_slot, 0);
  EXPECT_EQ(word(euc("鈴が")), euc("鈴 /bell/\n"));
  EXPECT_EQ(lookup.word_slot, 0);
}

TEST_F(SlotsTest, ACharacterOnlyAFurtherSlotKnowsIsNoLongerNoMatch) {
  dictionaries({euc("山 /mountain/")}, {euc("渋谷 [しぶや] /Shibuya/")}, {euc("鬱 /gloom/")});
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しぶや] /Shibuya/\n"));
  EXPECT_EQ(word(euc("鬱だ")), euc("鬱 /gloom/\n"));
  EXPECT_EQ(lookup.word_slot, 2);
  EXPECT_EQ(word(euc("海")), "  NOMATCH  \n");
  EXPECT_EQ(lookup.word_slot, 0);
  EXPECT_EQ(lookup.word_length, 0);
}

TEST_F(SlotsTest, AFurtherSlotListsWholeHeadwordsOnly) {
  // The names dictionary holds a name that begins like the passage (田中 and
  // the particle と) and one whose headword is the word; only the second is
  // the word in the passage. Its blank is not taken from the passage either.
  dictionaries({euc("山 /mountain/")}, {euc("田中とも江 [たなかともえ] /Tanaka Tomoe/"),
                                        euc("田中 [たなか] /Tanaka/"), euc("タナカ /kana name/")});
  EXPECT_EQ(word(euc("田中と会う")), euc("田中 [たなか] /Tanaka/\n"));
  EXPECT_EQ(lookup.word_length, 4);
  EXPECT_EQ(word(euc("田中") + " (x)"), euc("田中 [たなか] /Tanaka/\n"));
  EXPECT_EQ(lookup.word_length, 4);
  // The search folds katakana and hiragana; the headword must match as written.
  EXPECT_EQ(word(euc("田") + " "), "  NOMATCH  \n");
}

TEST_F(SlotsTest, EverySlotStartsFromTheKeyAsTheFirstLookupLeftIt) {
  // A key ending in two control bytes loses only its last one, whichever
  // slot answers.
  dictionaries({euc("山 /mountain/")}, {euc("鈴木 [すずき] /Suzuki/")});
  EXPECT_EQ(word(euc("鈴木") + "\n\n"), euc("鈴木 [すずき] /Suzuki/\n"));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(lookup.search_key)), euc("鈴木") + "\n");
}

// Single lists the longest prefix first across every dictionary: the name
// 渋谷 before the many lines of 渋 in the main dictionary.
// A name with several entries is listed with its commonest reading, not
// the first in index order: by its tags alone, and by a ranked dictionary
// of readings when one is in the dictionary folder.
TEST_F(SlotsTest, ANameIsListedWithItsCommonReading) {
  reset_readings();
  readings.looked_for = true;  // no ranked dictionary
  dictionaries(
      {euc("山 /mountain/")},
      {euc("渋谷 [しだや] /(s) Shidaya/"), euc("渋谷 [しぶたに] /(p,s) Shibutani/"),
       euc("渋谷 [しぶや] /(p,s) Shibuya/"), euc("渋谷川 [しぶやがわ] /(p) Shibuyagawa/")});
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しぶたに] /(p,s) Shibutani/\n"));
  testing_support::write_file(kReadingsFile, euc(";; okuri-nasi entries.\n"
                                                 "しぶたに /渋谷/\n"
                                                 "しぶや /渋谷/澁谷/\n"
                                                 "しぶやく /渋谷区/\n"
                                                 "うえの /上野/\n"
                                                 "うえのえき /上野駅/\n"
                                                 "こうずけ /上野/\n"));
  ASSERT_TRUE(load_readings(kReadingsFile));
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しぶや] /(p,s) Shibuya/\n"));
  EXPECT_EQ(lookup.word_length, 4);
  EXPECT_EQ(lookup.word_slot, 1);
  // The word list's lookup of a headword chooses alike.
  set_key(euc("渋谷"));
  EXPECT_EQ(lookup_headword(), 4u);
  EXPECT_EQ(entry_line(), euc("渋谷 [しぶや] /(p,s) Shibuya/\n"));
}

// With a cache larger than the default, the look-ups of further slots keep
// what each probe and each ranking found, and past kHeadwordFilterAfter
// look-ups the names dictionary's word filter stands in for the searches of
// its prefixes: every outcome stays what the plain walk gives, for probes
// that end inside a name (小山田 for 山田), names of several readings, a
// headword with a blank inside, ASCII keys and keys with control bytes.
TEST_F(SlotsTest, TheHeadwordMemoAndFilterGiveWhatTheWalkGives) {
  const std::vector<std::string> main = {euc("山 /mountain/"), euc("田 /rice field/"),
                                         euc("渋 /astringent/"), euc("小山 /hill/"),
                                         "ab /letters/"};
  const std::vector<std::string> names = {euc("山田 [やまだ] /(s) Yamada/"),
                                          euc("小山田 [おやまだ] /(s) Oyamada/"),
                                          euc("奥山田 [おくやまだ] /(p) Okuyamada/"),
                                          euc("渋谷 [しだや] /(s) Shidaya/"),
                                          euc("渋谷 [しぶや] /(p,s) Shibuya/"),
                                          euc("渋谷川 [しぶやがわ] /(p) Shibuyagawa/"),
                                          "ab cd /a name with a blank/",
                                          euc("田中 [たなか] /(s) Tanaka/")};
  const std::vector<std::string> keys = {euc("山田さん"),    euc("小山田が"), euc("奥山田で"),
                                         euc("渋谷で"),      euc("渋谷川へ"), euc("田中と"),
                                         euc("山"),          "ab cd e",       "ab c",
                                         euc("田中") + "\n", euc("海"),       euc("小山で")};
  auto outcomes = [&] {
    std::vector<std::string> out;
    for (const std::string& key : keys) {
      const std::string line = word(key);
      out.push_back(
          line + "|" + std::to_string(lookup.word_slot) + "|" + std::to_string(lookup.word_length) +
          "|" + std::to_string(lookup.current_entry) + "|" + std::to_string(store.current_slot));
      set_key(key);
      out.push_back(std::to_string(lookup_headword()) + "|" + entry_line());
    }
    return out;
  };
  dictionaries(main, names);
  const std::vector<std::string> walked = outcomes();
  EXPECT_EQ(headword_memo.hits, 0u) << "a default cache keeps nothing";

  reset_headword_memo();
  store.frame_count = 512;
  open_dictionaries(nullptr);
  EXPECT_EQ(outcomes(), walked);
  const uint64_t first_hits = headword_memo.hits;
  EXPECT_EQ(outcomes(), walked) << "from the memo";
  EXPECT_GT(headword_memo.hits, first_hits);
  EXPECT_GT(headword_memo.ranked_hits, 0u);

  // The filter, fresh: a new opening forgets the memo too.
  open_dictionaries(nullptr);
  headword_memo.lookups = kHeadwordFilterAfter;
  EXPECT_EQ(outcomes(), walked);
  EXPECT_GT(headword_memo.filtered, 0u);
  EXPECT_EQ(outcomes(), walked);
}

// A ranking kept in the memo serves only the ranked readings it was made
// with, and a line only the opening of the files it was read from.
TEST_F(SlotsTest, TheHeadwordMemoForgetsOtherReadingsAndFiles) {
  store.frame_count = 512;
  dictionaries({euc("山 /mountain/")},
               {euc("渋谷 [しだや] /(s,p) Shidaya/"), euc("渋谷 [しぶや] /(s) Shibuya/")});
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しだや] /(s,p) Shidaya/\n"));
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しだや] /(s,p) Shidaya/\n"));
  testing_support::write_file(kReadingsFile, euc(";; okuri-nasi entries.\nしぶや /渋谷/\n"));
  ASSERT_TRUE(load_readings(kReadingsFile));
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しぶや] /(s) Shibuya/\n"));
  dictionaries({euc("山 /mountain/")}, {euc("渋谷 [しぶやま] /(s) Shibuyama/")});
  EXPECT_EQ(word(euc("渋谷で")), euc("渋谷 [しぶやま] /(s) Shibuyama/\n"));
}

// The main dictionary's line for a longer word (高橋財政 for 高橋), or for the
// same headword as a rare word (上野 [こうずけ]), gives way to the name; a
// word the main dictionary marks as common does not.
TEST_F(SlotsTest, ANameOutranksAnotherWordsLineAndARareWordOfTheSameHeadword) {
  dictionaries({euc("高橋財政 [たかはしざいせい] /fiscal policy/"), euc("上野 [こうずけ] /Kozuke/"),
                euc("陽子 [ようし] /proton/(P)/")},
               {euc("高橋 [たかはし] /(s) Takahashi/"), euc("上野 [うえの] /(p,s) Ueno/"),
                euc("陽子 [ようこ] /(f) Youko/")});
  testing_support::write_file(kReadingsFile, euc(";; okuri-nasi entries.\n"
                                                 "うえの /上野/\n"
                                                 "うえのえき /上野駅/\n"
                                                 "こうずけ /上野/\n"
                                                 "ようこ /陽子/\n"
                                                 "ようこさん /陽子さん/\n"
                                                 "ようし /陽子/\n"));
  ASSERT_TRUE(load_readings(kReadingsFile));
  EXPECT_EQ(word(euc("高橋さん")), euc("高橋 [たかはし] /(s) Takahashi/\n"));
  EXPECT_EQ(lookup.word_length, 4);
  EXPECT_EQ(word(euc("上野で")), euc("上野 [うえの] /(p,s) Ueno/\n"));
  EXPECT_EQ(word(euc("陽子が")), euc("陽子 [ようし] /proton/(P)/\n"));
  EXPECT_EQ(lookup.word_slot, 0);
}

TEST_F(SlotsTest, SingleAcrossDictionariesListsTheLongestPrefixFirst) {
  dictionaries({euc("渋 [しぶ] /astringent/"), euc("渋い [しぶい] /tasteful/"),
                euc("渋谷区 [しぶやく] /Shibuya ward/")},
               {euc("渋谷 [しぶや] /Shibuya/"), euc("渋 [しぶ] /Shibu/")},
               {euc("渋谷 /my station/"), euc("渋谷駅 /the station/")});
  const std::string listed = selection(euc("渋谷で"));
  // The two-character prefix in the main dictionary, the names, the
  // reader's own; then the one-character prefix.
  EXPECT_EQ(listed.substr(0, listed.find(euc("渋 ["))),
            euc("渋谷区 [しぶやく] /Shibuya ward/") + "\r\n" + euc("渋谷 [しぶや] /Shibuya/") +
                "\r\n" + euc("渋谷 /my station/") + "\r\n" + euc("渋谷駅 /the station/") + "\r\n");
  EXPECT_LT(listed.find(euc("渋谷駅")), listed.find(euc("渋い")));
}

TEST_F(SlotsTest, SelectionListsLongerPrefixesFirstThenSlotZeroFirstWithinTheBound) {
  dictionaries({euc("鈴 /bell/")}, {euc("鈴木 /Suzuki/")}, {euc("鈴木 /mine/")});
  const std::string listed = selection(euc("鈴木"));
  // Each line once, with all its bytes.
  const std::string expected =
      euc("鈴木 /Suzuki/") + "\r\n" + euc("鈴木 /mine/") + "\r\n" + euc("鈴 /bell/") + "\r\n";
  EXPECT_EQ(listed.substr(0, expected.size()), expected);
  EXPECT_EQ(listed.substr(expected.size()), std::string(kSingleBufferSize - expected.size(), '\0'));
  // The key is left as slot 0's lookup shortened it.
  selection(euc("鈴") + "\n");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(lookup.search_key)), euc("鈴"));

  // Once the buffer is full (the name, eight lines of 198 bytes and one of
  // 197, with CR LF and the NUL), nothing more is given: not the last line
  // of slot 0, nor the further slot's line of the shorter prefix.
  std::vector<std::string> lines_of_slot_0;
  for (char c = 'a'; c <= 'j'; ++c) {
    lines_of_slot_0.push_back(euc("鈴") + c + std::string(c == 'i' ? 194 : 195, 'x'));
  }
  dictionaries(lines_of_slot_0, {euc("鈴木 /Suzuki/"), euc("鈴 /Suzu/")});
  const std::string full = selection(euc("鈴木"));
  EXPECT_EQ(full.find(euc("鈴木 /Suzuki/")), 0u);
  EXPECT_EQ(full.find(euc("鈴j")), std::string::npos);
  EXPECT_EQ(full.find(euc("鈴 /Suzu/")), std::string::npos);
}

}  // namespace
