// The word list: the fields of an entry line, the sentence around a word,
// the rows, and appending to wordlist.tsv without ever losing what is there.
#include "wordlist/wordlist.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "platform/recording.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

class WordListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_word_list();
    std::snprintf(word_list.date, sizeof word_list.date, "%s", "2024-05-06");
  }
  void TearDown() override { reset_word_list(); }

  ScratchDir dir_;
};

TEST_F(WordListTest, FieldsOfEntryLines) {
  struct Case {
    const char* line;
    const char* headword;
    const char* reading;
    const char* glosses;
  } cases[] = {
      {"猫舌 [ねこじた] /(n) dislike of hot food/cat tongue/(P)/\n", "猫舌", "ねこじた",
       "(n) dislike of hot food; cat tongue; (P)"},
      // Kana headwords have no reading; the single pane's line has lost its
      // last slash to the line end.
      {"すし /(n) sushi/rice dish\r\n", "すし", "", "(n) sushi; rice dish"},
      {"鈴木 [すずき] /(s) Suzuki/", "鈴木", "すずき", "(s) Suzuki"},
      // A slash inside a two-byte character is no separator.
      {"表 [ひょう] /table/／/", "表", "ひょう", "table; ／"},
      {"word", "word", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    const EntryFields f = entry_fields(euc(c.line));
    EXPECT_EQ(f.headword, euc(c.headword)) << c.line;
    EXPECT_EQ(f.reading, euc(c.reading)) << c.line;
    EXPECT_EQ(f.glosses, euc(c.glosses)) << c.line;
  }
}

TEST_F(WordListTest, TheSentenceAroundAWord) {
  const std::string text = euc("昨日は雨でした。鈴木さんは渋谷で会った！明日も。\n次の行");
  auto around = [&](const char* word) {
    const std::string w = euc(word);
    return std::string(sentence_around(text, text.find(w), w.size()));
  };
  EXPECT_EQ(around("渋谷"), euc("鈴木さんは渋谷で会った！"));
  EXPECT_EQ(around("昨日"), euc("昨日は雨でした。"));
  // The sentence before a line end leaves the line end out.
  EXPECT_EQ(around("明日"), euc("明日も。"));
  EXPECT_EQ(around("次"), euc("次の行"));
  // Blanks at either end go; a full stop inside a word does not end it.
  const std::string ascii = "  see file.txt now. next";
  EXPECT_EQ(std::string(sentence_around(ascii, ascii.find("file"), 4)), "see file.txt now.");
  // Past the end: the text's last sentence.
  EXPECT_EQ(std::string(sentence_around(ascii, 100, 5)), "next");
}

TEST_F(WordListTest, ALongSentenceIsCutAtWholeCharactersWithinReach) {
  std::string before, after;
  for (int n = 0; n < 200; ++n) before += euc("あ");
  for (int n = 0; n < 200; ++n) after += euc("い");
  const std::string text = before + euc("猫") + after;
  const std::string s(sentence_around(text, before.size(), 2));
  EXPECT_LE(s.size(), 2 * kSentenceReach + 2);
  EXPECT_GE(s.size(), 2 * kSentenceReach - 4);
  ASSERT_NE(s.find(euc("猫")), std::string::npos);
  EXPECT_EQ(s.find(euc("猫")) % 2, 0u);  // starts on a character boundary
  EXPECT_EQ(s.size() % 2, 0u);
}

TEST_F(WordListTest, ARowIsTabSeparatedUtf8EndingInALineFeed) {
  const std::string row = word_list_row(euc("猫舌 [ねこじた] /(n) cat tongue/(P)/"),
                                        euc("猫舌\tなので\r\n熱い"), "2024-05-06");
  EXPECT_EQ(row, "猫舌\tねこじた\t(n) cat tongue; (P)\t猫舌 なので  熱い\t2024-05-06\n");
  // A character that does not decode shows as U+FFFD, never as a raw byte.
  EXPECT_EQ(word_list_row("\xB0 /x/", "", "d"), "\xEF\xBF\xBD\t\tx\t\td\n");
  reset_word_list();
  const std::string today = word_list_date();
  ASSERT_EQ(today.size(), 10u);
  EXPECT_EQ(today[4], '-');
  EXPECT_EQ(today[7], '-');
}

TEST_F(WordListTest, AppendsToWhatIsThereAndListsAWordOnce) {
  const std::string earlier = "本\tほん\tbook\t\t2020-01-01\n";
  write_file(kWordListFile, earlier);
  EXPECT_EQ(add_word(kWordListFile, euc("猫 [ねこ] /cat/\r\n犬 [いぬ] /dog/"), euc("猫だ。")),
            WordListOutcome::kAdded);
  const std::string cat = "猫\tねこ\tcat\t猫だ。\t2024-05-06\n";
  EXPECT_EQ(read_file(kWordListFile), earlier + cat);
  // The same word (headword and reading), with another sentence: not again.
  EXPECT_EQ(add_word(kWordListFile, euc("猫 [ねこ] /cat/"), euc("また猫。")),
            WordListOutcome::kAlreadyListed);
  EXPECT_EQ(add_word(kWordListFile, euc("本 [ほん] /(n) book/"), ""),
            WordListOutcome::kAlreadyListed);
  // Another reading of it is another word.
  EXPECT_EQ(add_word(kWordListFile, euc("猫 [びょう] /cat (in compounds)/"), ""),
            WordListOutcome::kAdded);
  EXPECT_EQ(read_file(kWordListFile),
            earlier + cat + "猫\tびょう\tcat (in compounds)\t\t2024-05-06\n");
  EXPECT_EQ(add_word(kWordListFile, "", euc("猫。")), WordListOutcome::kNoEntry);
  EXPECT_EQ(word_list.last, WordListOutcome::kNoEntry);
}

TEST_F(WordListTest, AFileEditedWithoutItsLastLineEndKeepsItsRowWhole) {
  write_file(kWordListFile, "本\tほん\tbook\t\t2020-01-01");
  EXPECT_EQ(add_word(kWordListFile, euc("猫 [ねこ] /cat/"), ""), WordListOutcome::kAdded);
  EXPECT_EQ(read_file(kWordListFile),
            "本\tほん\tbook\t\t2020-01-01\n猫\tねこ\tcat\t\t2024-05-06\n");
}

TEST_F(WordListTest, AFileThatCannotBeWrittenIsLeftAsItWas) {
  // A folder of that name: nothing can be appended, whoever runs the test.
  std::filesystem::create_directory(kWordListFile);
  EXPECT_EQ(add_word(kWordListFile, euc("猫 [ねこ] /cat/"), ""), WordListOutcome::kFailed);
  EXPECT_EQ(word_list.last, WordListOutcome::kFailed);
  std::filesystem::remove(kWordListFile);

  // A write that stops part way (here at a file size limit, as on a full
  // disk): what went is taken back, and the earlier rows are whole.
  const std::string earlier = "本\tほん\tbook\t\t2020-01-01\n";
  write_file(kWordListFile, earlier);
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = earlier.size() + 5;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const WordListOutcome outcome = add_word(kWordListFile, euc("猫 [ねこ] /cat/"), euc("猫だ。"));
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(outcome, WordListOutcome::kFailed);
  EXPECT_EQ(read_file(kWordListFile), earlier);
}

TEST_F(WordListTest, AReadOnlyFolderGivesAFailureAndLeavesTheFileIntact) {
  const std::string rows = "本\tほん\tbook\t\t2020-01-01\n";
  write_file(kWordListFile, rows);
  ASSERT_EQ(chmod(kWordListFile, 0444), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  // Permissions do not bind the superuser: a child of another user tries.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    const WordListOutcome outcome = add_word(kWordListFile, euc("猫 [ねこ] /cat/"), euc("猫。"));
    _exit(static_cast<int>(outcome));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  chmod(dir_.path().c_str(), 0700);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(WordListOutcome::kFailed));
  EXPECT_EQ(read_file(kWordListFile), rows);
}

TEST_F(WordListTest, TwoProgramsAddingTheSameWordsAtOnceListEachOnce) {
  constexpr int kWords = 300;
  auto add_all = [] {
    for (int n = 0; n < kWords; ++n) {
      const std::string line =
          euc("語" + std::to_string(n) + " [ご] /word " + std::to_string(n) + "/");
      if (add_word(kWordListFile, line, "") == WordListOutcome::kFailed) return 1;
    }
    return 0;
  };
  pid_t children[2];
  for (pid_t& child : children) {
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(add_all());
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string rows = read_file(kWordListFile);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), kWords);
  for (int n = 0; n < kWords; ++n) {
    const std::string head = "語" + std::to_string(n) + "\tご\t";
    const size_t first = rows.find(head);
    EXPECT_NE(first, std::string::npos) << n;
    EXPECT_EQ(rows.find("\n" + head, first + 1), std::string::npos) << n << " twice";
  }
}

// A failed write is taken back only as far as where it began: a row that
// another program appended while this one waited for the lock stays.
TEST_F(WordListTest, AFailedAppendNeverCutsWhatAnotherProgramAppended) {
  const std::string earlier = "本\tほん\tbook\t\t2020-01-01\n";
  const std::string theirs = "犬\tいぬ\tdog\t\t2020-01-02\n";
  write_file(kWordListFile, earlier);
  const int held = open(kWordListFile, O_RDWR | O_APPEND);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(held);
    // Room for the other row and a few bytes of this one.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small;
    getrlimit(RLIMIT_FSIZE, &small);
    small.rlim_cur = earlier.size() + theirs.size() + 5;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) _exit(90);
    const std::string row = "猫\tねこ\tcat\t\t2024-05-06\n";
    _exit(file_append(kWordListFile, row.data(), static_cast<uint32_t>(row.size())) == 0 ? 0 : 1);
  }
  usleep(100 * 1000);  // the child waits for the lock meanwhile
  ASSERT_EQ(write(held, theirs.data(), theirs.size()), static_cast<ssize_t>(theirs.size()));
  close(held);  // and the lock with it
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(read_file(kWordListFile), earlier + theirs);
}

}  // namespace
