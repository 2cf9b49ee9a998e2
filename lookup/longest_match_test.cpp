// The longest-match lookups: prefix probing, lookup_word's preference for a
// line that starts like the key, and lookup_selection's listing of lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lookup/test_dictionary.h"

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
  EXPECT_EQ(listed.substr(0, 45), twenty + euc("亜") + " \r\n");
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

TEST_F(LongestMatchTest, SelectionListsEveryLineOfEveryPrefix) {
  // Two lines match 日本, five match 日 (those two among them).
  const std::string text = lines({euc("日") + "1", euc("日曜") + "2", euc("日本") + "3",
                                  euc("日本語") + "4", euc("日記") + "5", euc("本") + "6"});
  open_dictionary_with(text, line_starts(text));
  const std::string listed = selection(euc("日本で"));
  // Each line ends in CR LF and has lost its last byte before the line end.
  const std::string l3 = euc("日本") + "\r\n", l4 = euc("日本語") + "\r\n";
  // In index order: 日1, 日記5, 日本3, 日本語4, 日曜2.
  const std::string expected =
      l3 + l4 + euc("日") + "\r\n" + euc("日記") + "\r\n" + l3 + l4 + euc("日曜") + "\r\n";
  EXPECT_EQ(listed.substr(0, expected.size()), expected);
  EXPECT_EQ(listed.substr(expected.size()), std::string(kSingleBufferSize - expected.size(), '\0'));
}

TEST_F(LongestMatchTest, SelectionStopsAtOffset261) {
  const std::string long_line = euc("山") + std::string(100, 'x');
  const std::string text = lines({long_line + "1", long_line + "2", long_line + "3"});
  open_dictionary_with(text, line_starts(text));
  const std::string listed = selection(euc("山"));
  const std::string cr_lf_line = long_line + "\r\n";  // 104 bytes each
  EXPECT_EQ(listed.substr(0, 208), cr_lf_line + cr_lf_line);
  EXPECT_EQ(listed.substr(208, 54), long_line.substr(0, 54));
  EXPECT_EQ(listed.substr(262), std::string(kSingleBufferSize - 262, '\0'));
}

TEST_F(LongestMatchTest, SelectionWithoutASingleBufferLooksNothingUp) {
  const std::string text = lines({euc("山")});
  open_dictionary_with(text, line_starts(text));
  // The line's last byte gives way to the CR.
  EXPECT_EQ(selection(euc("山")).substr(0, 3), euc("山").substr(0, 1) + "\r\n");
  recording.alloc_fails = [](size_t size) { return size == kSingleBufferSize; };
  EXPECT_EQ(selection(euc("山")), "(no buffer)");
  EXPECT_EQ(entry_line(), "  NOMATCH  \n");
}

TEST_F(LongestMatchTest, SelectionMakesANewBufferEachTime) {
  // A shorter list after a longer one leaves nothing of the longer behind.
  const std::string text = lines({euc("日本語") + "xyz", euc("山") + "b"});
  open_dictionary_with(text, line_starts(text));
  EXPECT_EQ(selection(euc("日本語")).substr(0, 10), euc("日本語") + "xy\r\n");
  const std::string listed = selection(euc("山"));
  EXPECT_EQ(listed.substr(0, 4), euc("山") + "\r\n");
  EXPECT_EQ(listed.substr(4), std::string(kSingleBufferSize - 4, '\0'));
  // Nothing found: the new buffer stays empty.
  EXPECT_EQ(selection(euc("本")), std::string(kSingleBufferSize, '\0'));
}

// ---- Further dictionary slots ------------------------------------------------

class SlotsTest : public LongestMatchTest {
 protected:
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

TEST_F(SlotsTest, SelectionListsSlotZeroFirstThenTheOthersWithinTheBound) {
  dictionaries({euc("鈴 /bell/")}, {euc("鈴木 /Suzuki/")}, {euc("鈴木 /mine/")});
  const std::string listed = selection(euc("鈴木"));
  const std::string expected = euc("鈴 /bell") + "\r\n" + euc("鈴木 /Suzuki") + "\r\n" +
                               euc("鈴木 /Suzuki") + "\r\n" + euc("鈴木 /mine") + "\r\n" +
                               euc("鈴木 /mine") + "\r\n";
  EXPECT_EQ(listed.substr(0, expected.size()), expected);
  EXPECT_EQ(listed.substr(expected.size()), std::string(kSingleBufferSize - expected.size(), '\0'));
  // The key is left as slot 0's lookup shortened it.
  selection(euc("鈴") + "\n");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(lookup.search_key)), euc("鈴"));

  // Once the buffer is full, nothing of a further slot is looked at.
  const std::string long_line = euc("鈴") + std::string(150, 'x');
  dictionaries({long_line + "1", long_line + "2"}, {euc("鈴木 /Suzuki/")});
  const uint64_t misses = store.text_misses[1] + store.index_misses[1];
  const std::string full = selection(euc("鈴木"));
  EXPECT_EQ(full.substr(262), std::string(kSingleBufferSize - 262, '\0'));
  EXPECT_EQ(full.find(euc("鈴木")), std::string::npos);
  EXPECT_EQ(store.text_misses[1] + store.index_misses[1], misses);
}

}  // namespace
