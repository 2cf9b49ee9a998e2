// The dodevuz command line, end to end: the built program is run on the
// build's sample data and its output, error output and exit status are
// checked. A few helpers of the cli library are tested in-process.
#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/recording.h"
#include "shell/shell.h"
#include "tests/testing.h"

namespace {

using testing_support::copy_sample_data;
using testing_support::euc;
using testing_support::hex;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

const std::string kData = DODEVUZ_DATA_DIR;
const std::string kSamples = kData + "/samples";

struct Outcome {
  int status;
  std::string out, err;
};

// Runs `dodevuz ARGS < input` in the working directory, after `prefix` (an
// environment assignment or an env command) when given.
Outcome dodevuz(const std::string& args, const std::string& input = "",
                const std::string& prefix = "") {
  write_file("stdin.txt", input);
  std::string command = prefix + " " + std::string(DODEVUZ_BINARY_DIR) + "/dodevuz " + args +
                        " <stdin.txt >stdout.txt 2>stderr.txt";
  int raw = std::system(command.c_str());
  Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stdout.txt"),
              read_file("stderr.txt")};
  return run;
}

std::string sjis(const std::string& utf8) {
  return utf8_to_sjis(utf8);
}
std::string jis(const std::string& utf8) {
  return utf8_to_jis(utf8);
}

// A line of the listing for a word found: the word, 8 blanks, its entry line.
std::string found(const std::string& word, const std::string& line) {
  return word + "        " + line + "\n";
}
// ... and for a character without a word: its bytes, 18 blanks, NOMATCH.
std::string nomatch(const std::string& character) {
  return character + std::string(18, ' ') + "NOMATCH  \n";
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  ScratchDir dir;
  for (const char* args :
       {"", "frobnicate", "get --euc --jis", "get --utf8 --raw --pane both",
        "get --utf8 --pane middle", "get --utf8 --cache-pages 0", "get --utf8 --cache-pages 9000",
        "get --utf8 --cache-pages x", "get --utf8 a b", "decode --jis --shift", "romaji --pane",
        "single", "single a b", "index extra", "index --euc", "session --raw", "help frobnicate",
        "get --utf8 -C"}) {
    Outcome run = dodevuz(args);
    EXPECT_EQ(run.status, kExitUsage) << args;
    EXPECT_NE(run.err, "") << args;
    EXPECT_EQ(run.out, "") << args;
  }
}

TEST(CommandLine, HelpNamesEveryCommand) {
  ScratchDir dir;
  Outcome run = dodevuz("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* name : {"get", "decode", "romaji", "single", "session", "index"}) {
    EXPECT_NE(run.out.find(std::string("dodevuz ") + name), std::string::npos) << name;
  }
  EXPECT_EQ(dodevuz("help session").status, 0);
  EXPECT_EQ(dodevuz("get --help").status, 0);
}

TEST(CommandLine, FailuresToReadOrEnterExitWithOne) {
  ScratchDir dir;
  Outcome run = dodevuz("get --utf8 no-such-file");
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_NE(run.err.find("no-such-file"), std::string::npos) << run.err;
  EXPECT_EQ(dodevuz("get --utf8 -C no-such-dir", "x").status, kExitFailure);
  EXPECT_EQ(dodevuz("decode --shift .").status, kExitFailure);  // a directory
}

TEST(Get, ListsEachKnownWordWithItsEntryAndNomatchForUnknownKanji) {
  ScratchDir dir;
  // 鬱 is not in the sample dictionary.
  Outcome run = dodevuz("get --utf8 --pane listing -C " + kData, "日本語を勉強する。鬱\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, found("日本語", "日本語 [にほんご] /(n) the Japanese language/(P)/") + "を" +
                         found("勉強", "勉強 [べんきょう] /(n,vs) study/learning/(P)/") + "する。" +
                         nomatch("鬱") + "\n");
}

TEST(Get, Utf8WithoutAnEucJpCodeReadsAsTheGetaMarkWithANote) {
  ScratchDir dir;
  Outcome run = dodevuz("get --utf8 --pane listing -C " + kData, "\xF0\x9F\x98\x80本");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("no EUC-JP code"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, nomatch("〓") + found("本", "本 [ほん] /(n) book/volume/(P)/"));
}

TEST(Get, RawPrintsTheListingPaneBytesWithCarriageReturns) {
  ScratchDir dir;
  Outcome run = dodevuz("get --utf8 --raw -C " + kData, "本\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(hex(run.out), hex(euc("本        本 [ほん] /(n) book/volume/(P)/\r\n\r\n")));
}

TEST(Get, BothPanesUnderHeadingsAndTheSameForEveryIntake) {
  ScratchDir dir;
  Outcome utf8 = dodevuz("get --utf8 -C " + kData + " " + kSamples + "/passage.utf8.txt");
  Outcome shift = dodevuz("get --shift -C " + kData + " " + kSamples + "/passage.sjis");
  Outcome jis = dodevuz("get --jis -C " + kData + " - ", read_file(kSamples + "/passage.jis"));
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_EQ(utf8.out.rfind("== listing ==\n日本語        日本語 [にほんご]", 0), 0u) << utf8.out;
  size_t romaji = utf8.out.find("\n== romaji ==\n");
  ASSERT_NE(romaji, std::string::npos);
  EXPECT_NE(utf8.out.find("benkyou", romaji), std::string::npos) << utf8.out.substr(romaji);
  EXPECT_EQ(utf8.out.find("\r"), std::string::npos);
  EXPECT_EQ(shift.out, utf8.out);
  EXPECT_EQ(jis.out, utf8.out);
  // A smaller page cache changes nothing but the speed.
  EXPECT_EQ(
      dodevuz("get --utf8 --cache-pages 1 -C " + kData, read_file(kSamples + "/passage.utf8.txt"))
          .out,
      utf8.out);
}

TEST(Get, APassageOverTheBufferIsCutAtAWholeCharacterWithANote) {
  ScratchDir dir;
  // 39997 ASCII bytes, then 日本: the buffer takes 39998 bytes of text, which
  // would split 日, so the passage ends before it.
  std::string passage = std::string(39997, 'a') + "日本";
  Outcome run = dodevuz("get --utf8 --pane listing --raw -C " + kData, passage);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("only its first 39997"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, std::string(39997, 'a'));
}

TEST(Get, MissingRomajiTableEndsWithStatusOneAndTheMessage) {
  ScratchDir dir;
  copy_sample_data();
  std::remove("kanarom.cnv");
  Outcome run = dodevuz("get --utf8", "本");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Unable to open: kanarom.cnv\n");
}

// The listing is printed as the desktop shows it, and the status says that
// the command failed.
TEST(Get, MissingDictionaryIsReportedTheListingStillMadeAndTheStatusIsOne) {
  ScratchDir dir;
  copy_sample_data();
  std::remove("edict");
  // -C names the folder: no search for another that holds edict.
  Outcome run = dodevuz("get --utf8 --pane listing -C .", "a本");
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_NE(run.err.find("[edict] Cannot open dictionary file:\n[ ] Stat() error\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "a" + nomatch("本"));

  copy_sample_data();
  std::remove("edict.jdx");
  run = dodevuz("get --utf8 --pane listing", "a本");
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_NE(run.err.find("[edict] Cannot open dictionary index file:"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "a" + nomatch("本"));
  run = dodevuz("single 本");
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_NE(run.err.find("Cannot open dictionary index file:"), std::string::npos) << run.err;
}

// Standard output carries the pane's bytes alone, --raw ones too.
TEST(Get, ARomajiTableNoticeGoesToStandardError) {
  ScratchDir dir;
  copy_sample_data();
  std::string table = "$h\n";
  for (int i = 0; i < 300; ++i) table += euc("か\tka\n");
  write_file("kanarom.cnv", table);
  Outcome run = dodevuz("get --utf8 --raw --pane romaji", "かな");
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, "ka##");
  EXPECT_EQ(run.err, "Too many romaji table entries!\n");
}

TEST(Decode, ShiftJisAndJisSamplesGiveTheSameTextAsTheUtf8Sample) {
  ScratchDir dir;
  Outcome shift = dodevuz("decode --shift --raw " + kSamples + "/passage.sjis");
  Outcome jis = dodevuz("decode --jis --raw " + kSamples + "/passage.jis");
  ASSERT_EQ(shift.status, 0) << shift.err;
  EXPECT_EQ(hex(shift.out), hex(jis.out));
  const std::string utf8 = read_file(kSamples + "/passage.utf8.txt");
  EXPECT_EQ(shift.out, euc(utf8));
  EXPECT_EQ(dodevuz("decode --shift " + kSamples + "/passage.sjis").out, utf8);
}

TEST(Romaji, SpellsKanaOfAnyTextAndReadsUtf8OrEucJp) {
  ScratchDir dir;
  Outcome utf8 = dodevuz("romaji --utf8 -C " + kData, "すしを食べる\nカメラ\n");
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_NE(utf8.out.find("sushio"), std::string::npos) << utf8.out;
  EXPECT_NE(utf8.out.find("食"), std::string::npos) << utf8.out;
  EXPECT_EQ(utf8.out.find('\r'), std::string::npos);
  Outcome raw = dodevuz("romaji --euc --raw -C " + kData, euc("すしを食べる\nカメラ\n"));
  EXPECT_NE(raw.out.find("\r\n"), std::string::npos) << hex(raw.out);
  EXPECT_EQ(dodevuz("romaji --euc -C " + kData, euc("すしを食べる\nカメラ\n")).out, utf8.out);
  EXPECT_EQ(dodevuz("romaji -C " + kData, "すしを食べる\nカメラ\n").out, utf8.out);
}

// ---- Input encodings: UTF-8 unless an option says otherwise -------------

TEST(InputEncoding, EveryCommandReadsUtf8WithoutAnOptionAndTheOthersWithOne) {
  ScratchDir dir;
  const std::string text = "本を読む\n";
  const std::string utf8_get = dodevuz("get -C " + kData, text).out;
  ASSERT_NE(utf8_get.find("本 [ほん]"), std::string::npos) << utf8_get;
  for (const char* option : {"--euc", "--shift", "--jis"}) {
    std::string bytes = std::string(option) == "--euc"     ? euc(text)
                        : std::string(option) == "--shift" ? sjis(text)
                                                           : jis(text);
    EXPECT_EQ(dodevuz(std::string("get ") + option + " -C " + kData, bytes).out, utf8_get)
        << option;
    EXPECT_EQ(dodevuz(std::string("romaji ") + option + " -C " + kData, bytes).out, "本o読mu\n")
        << option;
    EXPECT_EQ(dodevuz(std::string("decode ") + option, bytes).out, text) << option;
  }
  EXPECT_EQ(dodevuz("romaji -C " + kData, text).out, "本o読mu\n");
  EXPECT_EQ(dodevuz("decode", text).out, text);
  EXPECT_EQ(dodevuz("single --shift -C " + kData + " " + sjis("本")).out,
            dodevuz("single -C " + kData + " 本").out);
}

TEST(InputEncoding, TextNotValidInItsEncodingExitsWithTwoNamingTheOptions) {
  ScratchDir dir;
  const std::string passage = "日本語を勉強する\n";
  struct Case {
    std::string args, input;
  } cases[] = {
      {"get", sjis(passage)},           // Shift-JIS read as UTF-8
      {"get", euc(passage)},            // EUC-JP read as UTF-8
      {"get", jis(passage)},            // 7-bit JIS passes for UTF-8 but for its escapes
      {"get --euc", passage},           // UTF-8 read as EUC-JP
      {"get --shift", "\x93\xFA\x82"},  // a character cut off at the end
      {"get --shift", jis(passage)},
      {"get --jis", sjis(passage)},
      {"romaji", euc("すし")},
      {"romaji --euc", "すし"},
      {"decode", sjis(passage)},
      {"decode --jis", euc(passage)},
      {"single", ""},  // the text is the argument below
  };
  for (const Case& c : cases) {
    std::string args = c.args + " -C " + kData;
    if (c.args == "decode" || c.args == "decode --jis") args = c.args;
    if (c.args == "single") args += " " + sjis("本");
    Outcome run = dodevuz(args, c.input);
    EXPECT_EQ(run.status, kExitUsage) << c.args << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.args;
    EXPECT_NE(run.err.find("--utf8 (the default), --euc, --shift or --jis"), std::string::npos)
        << c.args << ": " << run.err;
  }
  // A reader's dictionary in UTF-8 is checked before anything is written.
  {
    ScratchDir scratch;
    copy_sample_data();
    write_file("mine.txt", sjis("本 [ほん] /book/\n"));
    Outcome index = dodevuz("index --from-utf8 mine.txt");
    EXPECT_EQ(index.status, kExitUsage) << index.err;
    EXPECT_NE(index.err.find("mine.txt is not valid UTF-8"), std::string::npos) << index.err;
    EXPECT_EQ(read_file("userdict"), "");
  }
  // A terminal's reset sequence (ESC ( B ESC [ m) is not JIS.
  EXPECT_EQ(dodevuz("get --pane listing -C " + kData, "\x1B(B\x1B[m本").status, 0);
  // The message says where: the file, and the byte of the first fault.
  write_file("p.txt", "ab\xFF");
  Outcome run = dodevuz("get -C " + kData + " p.txt");
  EXPECT_NE(run.err.find("p.txt is not valid UTF-8 text (from byte 2 of 3)"), std::string::npos)
      << run.err;
}

TEST(InputEncoding, APassageOverTheBufferIsNotedInEveryEncoding) {
  ScratchDir dir;
  // 39997 ASCII bytes, then 日本: whole characters leave the buffer 39997.
  const std::string passage = std::string(39997, 'a') + "日本";
  for (const char* option : {"--utf8", "--euc", "--shift", "--jis"}) {
    std::string bytes = std::string(option) == "--utf8"    ? passage
                        : std::string(option) == "--euc"   ? euc(passage)
                        : std::string(option) == "--shift" ? sjis(passage)
                                                           : jis(passage);
    Outcome run =
        dodevuz(std::string("get ") + option + " --pane listing --raw -C " + kData, bytes);
    ASSERT_EQ(run.status, 0) << option << ": " << run.err;
    EXPECT_NE(run.err.find("only its first 39997"), std::string::npos) << option << run.err;
    EXPECT_EQ(run.out, std::string(39997, 'a')) << option;
  }
  // Half-width katakana grow from one byte of Shift-JIS to two of EUC-JP:
  // 25000 of them are 25000 bytes of input but too long for the buffer.
  Outcome kana =
      dodevuz("get --shift --pane listing --raw -C " + kData, std::string(25000, '\xB6'));
  EXPECT_NE(kana.err.find("the passage is 50000 bytes in EUC-JP; only its first 39998"),
            std::string::npos)
      << kana.err;
  EXPECT_EQ(kana.out.size(), 39998u);
  Outcome decoded = dodevuz("decode --shift --raw", std::string(25000, '\xB6'));
  EXPECT_NE(decoded.err.find("only its first 39998"), std::string::npos) << decoded.err;
  EXPECT_EQ(decoded.out.size(), 39998u);
}

// A plain Get reads its input only as far as the kanji buffer reaches: a
// fault far beyond it is never read, and the passage is still said to be cut.
TEST(InputEncoding, APlainGetReadsOnlyWhatItLists) {
  ScratchDir dir;
  const std::string start = std::string(39990, 'a') + "日本語";
  for (const char* option : {"--utf8", "--shift", "--jis"}) {
    const std::string bytes = std::string(option) == "--utf8"    ? start
                              : std::string(option) == "--shift" ? sjis(start)
                                                                 : jis(start);
    // 2 MB on, a byte that is no text in any of the three.
    write_file("long.txt", bytes + "\n" + std::string(2 << 20, 'b') + "\xFF\n");
    Outcome run =
        dodevuz(std::string("get ") + option + " --pane listing --raw -C " + kData + " long.txt");
    EXPECT_EQ(run.status, 0) << option << ": " << run.err;
    EXPECT_NE(run.err.find("the passage is longer than the 40000-byte kanji buffer holds in "
                           "EUC-JP; only its first 39998"),
              std::string::npos)
        << option << ": " << run.err;
    EXPECT_EQ(run.out.substr(0, 39990), std::string(39990, 'a')) << option;
  }
  // Within what it reads, a fault is found as before, with the file's length.
  write_file("bad.txt", std::string(100, 'a') + "\xFF" + std::string(1 << 20, 'b'));
  Outcome bad = dodevuz("get -C " + kData + " bad.txt");
  EXPECT_EQ(bad.status, kExitUsage);
  EXPECT_NE(bad.err.find("bad.txt is not valid UTF-8 text (from byte 100 of 1,048,677)"),
            std::string::npos)
      << bad.err;
}

TEST(Single, AllPrintsEveryMatchingLineOnceInThePanesOrderWithoutItsLimit) {
  ScratchDir dir;
  // 121 lines that match 日本, some 5800 bytes: far more than the pane holds.
  std::string edict = euc("日本 [にほん] /Japan/\n");
  for (int i = 0; i < 120; ++i) {
    edict += euc("日 [ひ] /sun number " + std::to_string(i) + ": " + std::string(20, 'x') + "/\n");
  }
  write_file("edict", edict);
  write_file("kanarom.cnv", read_file(kData + "/kanarom.cnv"));
  ASSERT_EQ(dodevuz("index").status, 0);

  Outcome pane = dodevuz("single --raw 日本");
  Outcome all = dodevuz("single --all --raw 日本");
  ASSERT_EQ(pane.status, 0) << pane.err;
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_LE(pane.out.size(), kSingleBufferSize);
  // The pane's lines come first, in its order; then the rest, each once.
  EXPECT_EQ(all.out.rfind(pane.out, 0), 0u);
  std::vector<std::string> lines;
  for (size_t at = 0; at < all.out.size();) {
    size_t end = all.out.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(all.out.substr(at, end - at));
    at = end + 2;
  }
  EXPECT_EQ(lines.size(), 121u);
  std::sort(lines.begin(), lines.end());
  EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
  EXPECT_EQ(dodevuz("single --all --forms 日本").status, 2);
  // For the terminal, UTF-8 lines.
  Outcome shown = dodevuz("single --all 日本");
  EXPECT_EQ(shown.out.rfind("日本 [にほん] /Japan/\n", 0), 0u) << shown.out.substr(0, 100);
}

TEST(Single, ListsEveryEntryThatMatchesTheStartOfTheText) {
  // Every line whole, once, the word's own first.
  ScratchDir dir;
  Outcome run = dodevuz("single -C " + kData + " 日本語");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("日本語 [にほんご] /(n) the Japanese language/(P)/\n"), 0u) << run.out;
  EXPECT_EQ(run.out.find("日本語"), run.out.rfind("日本語")) << run.out;
  EXPECT_NE(run.out.find("日本 [にほん]"), std::string::npos) << run.out;
  Outcome none = dodevuz("single -C " + kData + " 鬱");
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_NE(none.err, "");
}

TEST(WordList, SingleAddAndTheSessionAppendOneRowPerWord) {
  ScratchDir dir;
  copy_sample_data();
  Outcome run = dodevuz("single --add 日本語を勉強する。");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("日本語 [にほんご]"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("added to wordlist.tsv"), std::string::npos) << run.err;
  std::string rows = read_file("wordlist.tsv");
  const std::string prefix =
      "日本語\tにほんご\t(n) the Japanese language; (P)\t日本語を勉強する。\t";
  ASSERT_EQ(rows.rfind(prefix, 0), 0u) << rows;
  EXPECT_EQ(rows.size(), prefix.size() + 11);  // the date and the line end

  Outcome again = dodevuz("single --add 日本語");
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("already in wordlist.tsv"), std::string::npos) << again.err;
  EXPECT_EQ(read_file("wordlist.tsv"), rows);

  // In a session, the selected word of the passage with its sentence.
  Outcome session = dodevuz("session",
                            "set-clipboard-jis 雨が降る。本を読む。\nget-jis\n"
                            "select-text listing 本\nadd-word\nadd-word\n"
                            "select listing 0 0\nadd-word\n");
  ASSERT_EQ(session.status, 0) << session.err;
  EXPECT_EQ(session.out, "added to wordlist.tsv\nalready in wordlist.tsv\nnothing to add\n");
  rows = read_file("wordlist.tsv");
  EXPECT_NE(rows.find("\n本\tほん\t(n) book; volume; (P)\t本を読む。\t"), std::string::npos)
      << rows;

  // A folder in the way: the message box, and exit status 1.
  std::remove("wordlist.tsv");
  ASSERT_EQ(mkdir("wordlist.tsv", 0755), 0);
  Outcome failed = dodevuz("single --add 本");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("[wordlist.tsv] Cannot write to word list file:"), std::string::npos)
      << failed.err;
}

TEST(Session, AWholeReadingFromGetToClear) {
  ScratchDir dir;
  const std::string passage = kSamples + "/passage.sjis";
  // The listing begins with 日本語, 8 blanks and its entry line: bytes 0 to 6
  // select the word.
  Outcome run = dodevuz("session -C " + kData,
                        "# a reading\n"
                        "get-shift " +
                            passage +
                            "\n"
                            "select listing 0 6\n"
                            "single\n"
                            "focus single\n"
                            "select-text single 日本語 [にほんご]\n"
                            "copy\n"
                            "clipboard\n"
                            "bogus command\n"
                            "\n"
                            "about\n"
                            "clear\n"
                            "show listing\n"
                            "show single\n"
                            "clipboard\n"
                            "exit\n"
                            "show listing\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "日本語 [にほんご]\nDodevuz\nOk\n(no pane)\n(no pane)\n(empty)\n");
  EXPECT_NE(run.err.find("line 9: unknown command 'bogus'"), std::string::npos) << run.err;
}

TEST(Session, ShowsPanesAndReadsFilesFromTheStartingDirectory) {
  ScratchDir dir;
  write_file("passage.txt", "\x96\x7B");  // 本 in Shift-JIS
  Outcome run = dodevuz("session -C " + kData,
                        "get-shift passage.txt\nselect listing 0 2\nsingle\nshow single\n"
                        "set-clipboard 東京\nclipboard\nget-shift\nshow listing\n"
                        "select romaji 4 2\nfocus main\ncopy\nclipboard\n");
  ASSERT_EQ(run.status, 0) << run.err;
  size_t tail = run.out.find("東京\n");
  ASSERT_NE(tail, std::string::npos) << run.out;
  EXPECT_NE(run.out.substr(0, tail).find("本 [ほん] /(n) book/volume/(P)/\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.substr(tail),
            "東京\n" + found("東京", "東京 [とうきょう] /(n) Tokyo (capital city of Japan)/(P)/") +
                "京\n");
}

TEST(Session, ALineNotInUtf8IsNotRunAndTheSessionEndsWithTwo) {
  ScratchDir dir;
  Outcome run = dodevuz("session -C " + kData,
                        "set-clipboard " + sjis("本") + "\nset-clipboard 本\nclipboard\n");
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.out, "本\n");
  EXPECT_NE(run.err.find("line 1: not valid UTF-8"), std::string::npos) << run.err;
}

TEST(Session, JisClipboardAndCopyFromTheFocusedListing) {
  ScratchDir dir;
  Outcome run = dodevuz("session -C " + kData,
                        "set-clipboard-jis 本を読む\nclipboard\nget-jis\nfocus listing\n"
                        "select-text listing を\ncopy\nclipboard\nfocus nowhere\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "本を読む\nを\n");
  EXPECT_NE(run.err.find("line 8: no pane called 'nowhere'"), std::string::npos) << run.err;
}

TEST(Session, BothGetsListUnicodeTextWithHalfWidthKanaTildesAndVendorCharactersAlike) {
  ScratchDir dir;
  const std::string text = "ｶﾀｶﾅｶﾞ〜～①髙漢字かな";
  auto listing = [&](const std::string& set, const std::string& get) {
    Outcome run =
        dodevuz("session -C " + kData, set + " " + text + "\n" + get + "\nshow listing\n");
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  };
  std::string shift = listing("set-clipboard", "get-shift");
  std::string jis = listing("set-clipboard-jis", "get-jis");
  EXPECT_EQ(jis, shift);
  // The kana folded to full width with the voicing mark merged, both tildes
  // kept as the wave dash, the circled digit as itself; only the IBM kanji,
  // which no JIS X 0208 row holds, is lost (as one '?').
  EXPECT_EQ(shift.rfind("カタカナガ〜〜①", 0), 0u) << shift;
  EXPECT_NE(shift.find("?漢"), std::string::npos) << shift;
  EXPECT_EQ(shift.find("\xEF\xBF\xBD"), std::string::npos) << shift;
}

TEST(Index, BuildsAnIndexThatChecksAndRejectsOneOutOfOrder) {
  ScratchDir dir;
  copy_sample_data();
  std::remove("edict.jdx");
  Outcome built = dodevuz("index");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(read_file("edict.jdx"), read_file(kData + "/edict.jdx"));
  EXPECT_EQ(dodevuz("index --check").status, 0);
  // Entries 1 and 2 swapped: out of order.
  std::string index = read_file("edict.jdx");
  std::swap_ranges(index.begin() + 4, index.begin() + 8, index.begin() + 8);
  write_file("edict.jdx", index);
  Outcome check = dodevuz("index --check");
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.err, "");
}

TEST(Index, IndexesAndChecksEveryDictionaryPresent) {
  ScratchDir dir;
  copy_sample_data();
  write_file("enamdict", euc("鈴木 [すずき] /(s) Suzuki/\n"));
  Outcome built = dodevuz("index");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("edict.jdx: "), std::string::npos) << built.out;
  EXPECT_NE(built.out.find("enamdict.jdx: 4 entries for 1 lines of enamdict"), std::string::npos)
      << built.out;
  EXPECT_EQ(built.out.find("userdict"), std::string::npos) << built.out;
  Outcome checked = dodevuz("index --check");
  ASSERT_EQ(checked.status, 0) << checked.err;
  EXPECT_NE(checked.out.find("enamdict.jdx: every entry lies in enamdict"), std::string::npos);

  // A names index that does not fit its text fails the check.
  write_file("enamdict.jdx", std::string(4, '\0') + std::string("\xFF\xFF\x00\x00", 4));
  Outcome bad = dodevuz("index --check");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("enamdict.jdx"), std::string::npos) << bad.err;
  // A text without its index is a fault too.
  std::remove("enamdict.jdx");
  EXPECT_EQ(dodevuz("index --check").status, 1);
}

TEST(Index, FromUtf8WritesTheUserDictionaryAndItsIndex) {
  ScratchDir dir;
  copy_sample_data();
  // A byte-order mark and CR LF line ends, as editors on Windows write them,
  // and no line end at the last line.
  write_file("mine.txt", "\xEF\xBB\xBF猫 [ねこ] /(n) cat/\r\n鬱 [うつ] /(n) gloom/");
  Outcome built = dodevuz("index --from-utf8 mine.txt");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(hex(read_file("userdict")), hex(euc("猫 [ねこ] /(n) cat/\n鬱 [うつ] /(n) gloom/\n")));
  EXPECT_NE(built.out.find("userdict.jdx: "), std::string::npos) << built.out;
  EXPECT_EQ(dodevuz("index --check").status, 0);
  Outcome run = dodevuz("get --utf8 --pane listing", "鬱だ");
  EXPECT_EQ(run.out, found("鬱", "鬱 [うつ] /(n) gloom/") + "だ\n");

  // A character EUC-JP has no code for: named by its line, and the
  // userdict that was there stays as it was.
  write_file("bad.txt", "猫 [ねこ] /cat/\n\xF0\x9F\x98\x80 /smile/\n");
  Outcome bad = dodevuz("index --from-utf8 bad.txt");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
  EXPECT_EQ(read_file("userdict"), euc("猫 [ねこ] /(n) cat/\n鬱 [うつ] /(n) gloom/\n"));
  EXPECT_EQ(dodevuz("index --from-utf8").status, 2);
  EXPECT_EQ(dodevuz("index --check --from-utf8 mine.txt").status, 2);
  EXPECT_EQ(dodevuz("index --from-utf8 no-such-file").status, 1);
}

// ---- The reader's dictionary folder and the version ----------------------

TEST(Setup, LinksTheDictionaryIndexesItAndCopiesTheTableIntoTheReadersFolder) {
  ScratchDir dir;
  write_file("edict", read_file(kData + "/edict"));
  // XDG_DATA_HOME names the folder; the table comes from beside the program
  // (the build tree's data folder).
  Outcome run = dodevuz("setup --edict edict", "", "XDG_DATA_HOME=" + dir.path() + "/share");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string folder = dir.path() + "/share/dodevuz";
  EXPECT_NE(run.out.find("dodevuz get FILE (from any folder)"), std::string::npos) << run.out;
  char target[4096] = {};
  ASSERT_GT(readlink((folder + "/edict").c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), dir.path() + "/edict");
  EXPECT_EQ(read_file(folder + "/edict.jdx"), read_file(kData + "/edict.jdx"));
  EXPECT_EQ(read_file(folder + "/kanarom.cnv"), read_file(kData + "/kanarom.cnv"));
  EXPECT_EQ(dodevuz("get --pane listing -C " + folder, "本").out,
            found("本", "本 [ほん] /(n) book/volume/(P)/"));

  // Again, with a dictionary of the reader's own in the folder: kept, and
  // indexed anew.
  std::remove((folder + "/edict").c_str());
  write_file(folder + "/edict", euc("本 [ほん] /(n) a book of my own/\n"));
  run = dodevuz("setup --folder " + folder + " --table " + kData + "/kanarom.cnv");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("of your own"), std::string::npos) << run.out;
  EXPECT_EQ(dodevuz("get --pane listing -C " + folder, "本").out,
            found("本", "本 [ほん] /(n) a book of my own/"));
}

// Where the commands find the dictionary: -C DIR; the working directory
// when it holds edict; the reader's folder; the sample data beside the
// program; else a message naming the folders tried.
TEST(DictionaryFolder, EachStepOfTheSearchAndNoneFound) {
  ScratchDir dir;
  const std::string reader = dir.path() + "/share/dodevuz";
  const std::string env = "env HOME=" + dir.path() + " XDG_DATA_HOME=" + dir.path() + "/share";
  std::filesystem::create_directories("elsewhere");
  write_file("elsewhere/p.txt", "本");

  // Nothing made yet: the sample data beside the program, with a note.
  Outcome sample = dodevuz("get --pane listing elsewhere/p.txt", "", env);
  EXPECT_EQ(sample.status, 0) << sample.err;
  EXPECT_NE(sample.err.find("using the sample dictionary in"), std::string::npos) << sample.err;
  EXPECT_EQ(sample.out, found("本", "本 [ほん] /(n) book/volume/(P)/"));

  // The reader's folder, as setup makes it, from any folder.
  std::filesystem::create_directories(reader);
  write_file(reader + "/edict", euc("本 [ほん] /(n) the reader's book/\n"));
  write_file(reader + "/kanarom.cnv", read_file(kData + "/kanarom.cnv"));
  ASSERT_EQ(dodevuz("index", "", env).status, 0);  // finds the folder too
  Outcome mine = dodevuz("get --pane listing elsewhere/p.txt", "", env);
  EXPECT_EQ(mine.status, 0) << mine.err;
  EXPECT_EQ(mine.err, "");
  EXPECT_EQ(mine.out, found("本", "本 [ほん] /(n) the reader's book/"));
  Outcome where = dodevuz("--where", "", env);
  EXPECT_EQ(where.out, reader + "\n");

  // The working directory when it holds edict; a file missing there gets
  // the usual messages, not the search.
  write_file("edict", euc("本 [ほん] /(n) the book here/\n"));
  Outcome here = dodevuz("get --pane listing elsewhere/p.txt", "", env);
  EXPECT_EQ(here.status, 1);
  EXPECT_NE(here.err.find("[edict] Cannot open dictionary index file:"), std::string::npos)
      << here.err;
  EXPECT_EQ(dodevuz("--where", "", env).out, dir.path() + "\n");
  // -C DIR first of all.
  EXPECT_EQ(dodevuz("--where -C " + reader, "", env).out, reader + "\n");
  EXPECT_EQ(dodevuz("get --pane listing -C " + kData + " elsewhere/p.txt", "", env).out,
            found("本", "本 [ほん] /(n) book/volume/(P)/"));

  // None: a program with no sample data beside it, and no reader's folder.
  std::remove("edict");
  std::filesystem::remove_all(reader);
  std::filesystem::create_directories("bin");
  std::filesystem::copy_file(std::string(DODEVUZ_BINARY_DIR) + "/dodevuz", "bin/dodevuz");
  for (const char* command : {"get elsewhere/p.txt", "--where", "session", "single 本"}) {
    write_file("stdin.txt", "");
    const int raw = std::system(
        (env + " bin/dodevuz " + command + " <stdin.txt >stdout.txt 2>stderr.txt").c_str());
    const std::string err = read_file("stderr.txt");
    EXPECT_EQ(WEXITSTATUS(raw), 1) << command;
    EXPECT_NE(err.find("no dictionary (edict) found; looked in:\n  the working directory\n  " +
                       reader + "\n"),
              std::string::npos)
        << command << ": " << err;
    EXPECT_NE(err.find("dodevuz setup"), std::string::npos) << err;
  }
}

// A damaged index is caught when a command opens it: the message box, and
// status 1; `index --check` names what is wrong, and the file once.
TEST(Index, ADamagedIndexIsReportedAtOpenAndRefusedByTheCheck) {
  ScratchDir dir;
  copy_sample_data();
  const std::string whole = read_file("edict.jdx");
  const std::string cut = whole.substr(0, whole.size() - 3);
  std::string flipped = whole;
  flipped[flipped.size() - 1] =
      static_cast<char>(flipped.back() ^ 0xFF);  // the last entry's top byte
  for (const std::string& index : {cut, flipped}) {
    write_file("edict.jdx", index);
    Outcome run = dodevuz("get --pane listing", "本");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("[edict.jdx] the index does not match the dictionary: run `dodevuz "
                           "index`"),
              std::string::npos)
        << run.err;
    Outcome check = dodevuz("index --check");
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.err.find("edict.jdx"), check.err.rfind("edict.jdx")) << check.err;
  }
  // Cut at a whole entry: only the check, which counts, can tell.
  write_file("edict.jdx", whole.substr(0, whole.size() - 400));
  Outcome check = dodevuz("index --check");
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.err.find("entries, where edict calls for"), std::string::npos) << check.err;
  ASSERT_EQ(dodevuz("index").status, 0);
  EXPECT_EQ(read_file("edict.jdx"), whole);
  EXPECT_EQ(dodevuz("get --pane listing", "本").status, 0);
}

TEST(Setup, WithoutTheDictionaryOrAFolderItSaysWhatToDoAndExitsWithOne) {
  ScratchDir dir;
  Outcome missing = dodevuz("setup --edict no-such-edict --folder out");
  EXPECT_EQ(missing.status, kExitFailure);
  EXPECT_NE(missing.err.find("no-such-edict"), std::string::npos) << missing.err;
  write_file("edict", read_file(kData + "/edict"));
  Outcome homeless = dodevuz("setup --edict edict", "", "env -u HOME -u XDG_DATA_HOME");
  EXPECT_EQ(homeless.status, kExitFailure);
  EXPECT_NE(homeless.err.find("--folder"), std::string::npos) << homeless.err;
  EXPECT_EQ(dodevuz("setup --folder").status, kExitUsage);
  EXPECT_EQ(dodevuz("setup extra").status, kExitUsage);
}

TEST(CommandLine, VersionIsTheProjectVersion) {
  ScratchDir dir;
  Outcome run = dodevuz("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "dodevuz " DODEVUZ_VERSION "\n");
}

// ---- In-process helpers ----------------------------------------------------

TEST(PlacePassage, FillsANewKanjiBufferWithTwoNulsBehindTheText) {
  reset_recording();
  reset_program_state();
  // 39998 bytes of text fill the buffer but for its two NULs.
  std::string passage = std::string(39996, 'a') + euc("日") + euc("本");
  EXPECT_EQ(place_passage(passage), 39998u);
  ASSERT_NE(intake.kanji_buffer, nullptr);
  EXPECT_EQ(intake.kanji_buffer[39997], static_cast<unsigned char>(passage[39997]));
  EXPECT_EQ(intake.kanji_buffer[39998], 0);
  EXPECT_EQ(intake.kanji_buffer[39999], 0);
  // A NUL ends the passage; nothing of the earlier buffer remains.
  EXPECT_EQ(place_passage(std::string("ab\0cd", 5)), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(intake.kanji_buffer), 4), std::string("ab\0\0", 4));
  EXPECT_EQ(intake.kanji_buffer[39997], 0);
  reset_program_state();
}

TEST(PaneTextForTerminal, PlainLineEndsAndMarksForBadBytes) {
  EXPECT_EQ(pane_text_for_terminal(euc("本\r\na\r") + "\xB0\r\n"), "本\na\r\xEF\xBF\xBD\n");
}

}  // namespace
