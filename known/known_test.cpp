// Known words: the rows of known.tsv read back as written, removals and
// damaged lines, and appends from two programs at once losing no line of
// known.tsv or of the word list.
#include "known/known.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "platform/recording.h"
#include "tests/testing.h"
#include "wordlist/wordlist.h"

namespace {

using testing_support::euc;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

class KnownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_known_words();
    reset_word_list();
  }
  void TearDown() override { reset_known_words(); }

  ScratchDir dir_;
};

// A server reads the list again for every page: the rows it kept are taken
// while the file holds what they were read from, and never after a change.
TEST_F(KnownTest, ReadingAgainKeepsTheRowsOfAnUnchangedFileOnly) {
  write_file(kKnownFile, "猫\tねこ\n");
  ASSERT_TRUE(read_known_words(kKnownFile));
  KnownWords kept = known_words;
  kept.rows.emplace("kept\t", true);  // marks the kept rows as the ones taken
  reset_known_words();
  ASSERT_TRUE(read_known_words_again(kKnownFile, KnownWords(kept)));
  EXPECT_TRUE(word_known("kept", ""));
  EXPECT_TRUE(word_known("猫", "ねこ"));

  // The same length, other words; then no file at all.
  write_file(kKnownFile, "犬\tいぬ\n");
  ASSERT_TRUE(read_known_words_again(kKnownFile, KnownWords(kept)));
  EXPECT_FALSE(word_known("kept", ""));
  EXPECT_FALSE(word_known("猫", "ねこ"));
  EXPECT_TRUE(word_known("犬", "いぬ"));
  std::remove(kKnownFile);
  ASSERT_TRUE(read_known_words_again(kKnownFile, KnownWords(kept)));
  EXPECT_TRUE(known_words.rows.empty());
  // Rows read from nothing are not taken for a file that is there.
  write_file(kKnownFile, "猫\tねこ\n");
  ASSERT_TRUE(read_known_words_again(kKnownFile, KnownWords{}));
  EXPECT_TRUE(word_known("猫", "ねこ"));
}

TEST_F(KnownTest, MarkingAppendsOneRowAndReadsBackAfterARemoval) {
  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ"), KnownOutcome::kMarked);
  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ"), KnownOutcome::kAlready);
  EXPECT_EQ(mark_known(kKnownFile, "する", ""), KnownOutcome::kMarked);
  // Tabs and line ends in a word cannot make rows of their own.
  EXPECT_EQ(mark_known(kKnownFile, " 本\t", "ほ\nん"), KnownOutcome::kMarked);
  EXPECT_EQ(mark_known(kKnownFile, "", "ねこ"), KnownOutcome::kNoWord);
  EXPECT_EQ(read_file(kKnownFile), "猫\tねこ\nする\t\n本\tほ ん\n");

  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ", false), KnownOutcome::kRemoved);
  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ", false), KnownOutcome::kAbsent);
  // Appended, never rewritten: the removal is a row of its own.
  EXPECT_EQ(read_file(kKnownFile), "猫\tねこ\nする\t\n本\tほ ん\n猫\tねこ\tremoved\n");

  reset_known_words();
  ASSERT_TRUE(read_known_words(kKnownFile));
  EXPECT_FALSE(word_known("猫", "ねこ"));
  EXPECT_TRUE(word_known("本", "ほ ん"));
  // A row without a reading stands for every reading; a removal of one
  // reading still holds for that one.
  EXPECT_TRUE(word_known("する", "す"));
  EXPECT_EQ(mark_known(kKnownFile, "する", "す", false), KnownOutcome::kRemoved);
  EXPECT_FALSE(word_known("する", "す"));
  EXPECT_TRUE(word_known("する", ""));
  EXPECT_EQ(known_word_list(), (std::vector<std::string>{"する\t", "本\tほ ん"}));

  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ"), KnownOutcome::kMarked);
  EXPECT_TRUE(word_known("猫", "ねこ"));
  EXPECT_TRUE(known_words.damaged.empty());
}

TEST_F(KnownTest, DamagedLinesAreSkippedAndNumberedTheRestRead) {
  // A byte order mark first, as some editors write one.
  write_file(kKnownFile, std::string("\xEF\xBB\xBF猫\tねこ\n") + "no tab here\n" +  // 2
                             "\tねこ\n" +               // 3: no headword
                             euc("犬\tいぬ") + "\n" +   // 4: not UTF-8
                             "本\tほん\tforgotten\n" +  // 5: no such mark
                             "\r\n" +                   // blank: not damaged
                             "鳥\tとり\r\n" +           // CR LF is fine
                             "魚\tさかな");             // no line end at the end
  ASSERT_TRUE(read_known_words(kKnownFile));
  EXPECT_EQ(known_words.damaged, (std::vector<size_t>{2, 3, 4, 5}));
  EXPECT_EQ(known_word_list(), (std::vector<std::string>{"猫\tねこ", "鳥\tとり", "魚\tさかな"}));

  // The next row starts on a line of its own, and nothing before is lost.
  EXPECT_EQ(mark_known(kKnownFile, "本", "ほん"), KnownOutcome::kMarked);
  const std::string after = read_file(kKnownFile);
  const std::string tail = "魚\tさかな\n本\tほん\n";
  EXPECT_EQ(after.substr(after.size() - tail.size()), tail);
  EXPECT_TRUE(word_known("魚", "さかな"));
}

TEST_F(KnownTest, AFileThatCannotBeReadOrWrittenIsLeftAsItWas) {
  ASSERT_EQ(mkdir(kKnownFile, 0755), 0);  // a folder in the way
  EXPECT_EQ(mark_known(kKnownFile, "猫", "ねこ"), KnownOutcome::kFailed);
  EXPECT_STREQ(known_outcome_text(), "could not write known.tsv");
  rmdir(kKnownFile);
  reset_known_words();
  EXPECT_TRUE(read_known_words(kKnownFile));  // missing: an empty list
  EXPECT_TRUE(known_word_list().empty());
}

// Two programs appending at once: every row written is there, whole. Each
// append is one write in append mode, so neither can overwrite the other.
TEST_F(KnownTest, TwoProcessesAppendingAtOnceLoseNoLine) {
  constexpr int kRows = 150;
  std::snprintf(word_list.date, sizeof word_list.date, "%s", "2024-05-06");
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      bool ok = true;
      for (int k = 0; k < kRows; ++k) {
        const std::string word = "w" + std::to_string(c) + "-" + std::to_string(k);
        ok &= mark_known(kKnownFile, word, "") == KnownOutcome::kMarked;
        ok &= add_word(kWordListFile, euc(word + " [よみ] /gloss/"), "") == WordListOutcome::kAdded;
      }
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_TRUE(read_known_words(kKnownFile));
  EXPECT_TRUE(known_words.damaged.empty());
  EXPECT_EQ(known_word_list().size(), 2u * kRows);
  std::set<std::string> rows;
  const std::string list = read_file(kWordListFile);
  for (size_t at = 0; at < list.size();) {
    const size_t end = list.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    rows.insert(list.substr(at, end - at));
    at = end + 1;
  }
  EXPECT_EQ(rows.size(), 2u * kRows);
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < kRows; ++k) {
      const std::string word = "w" + std::to_string(c) + "-" + std::to_string(k);
      EXPECT_TRUE(word_known(word, "")) << word;
      EXPECT_EQ(rows.count(word + "\tよみ\tgloss\t\t2024-05-06"), 1u) << word;
    }
  }
}

}  // namespace
