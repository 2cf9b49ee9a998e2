// Reading to learn, end to end: `known`, `vocab` and `export-cards` run as
// the built program on texts and lists the tests write, and the word list in
// the "Dictionary forms" mode. The card file's notes are also checked in
// process, field by field.
#include "cli/study.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "tests/testing.h"

namespace {

using testing_support::copy_sample_data;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome dodevuz(const std::string& args, const std::string& input = "") {
  write_file("stdin.txt", input);
  const std::string command =
      std::string(DODEVUZ_BINARY_DIR) + "/dodevuz " + args + " <stdin.txt >stdout.txt 2>stderr.txt";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stdout.txt"), read_file("stderr.txt")};
}

std::vector<std::string> split(const std::string& s, char at) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t end = s.find(at, from);
    parts.push_back(s.substr(from, end == std::string::npos ? end : end - from));
    if (end == std::string::npos) return parts;
    from = end + 1;
  }
}

void copy_deinflection_table() {
  std::filesystem::copy_file(std::string(DODEVUZ_DATA_DIR) + "/deinflect.txt", "deinflect.txt",
                             std::filesystem::copy_options::overwrite_existing);
}

TEST(Known, AddRemoveAndListAppendRowsAndADamagedLineIsSkippedWithANote) {
  ScratchDir dir;
  EXPECT_EQ(dodevuz("known add 猫 ねこ").out, "marked as known\n");
  EXPECT_EQ(dodevuz("known add 猫 ねこ").out, "already known\n");
  EXPECT_EQ(dodevuz("known add する").out, "marked as known\n");
  EXPECT_EQ(dodevuz("known remove 猫 ねこ").out, "no longer known\n");
  EXPECT_EQ(dodevuz("known remove 猫 ねこ").out, "was not known\n");
  EXPECT_EQ(read_file("known.tsv"), "猫\tねこ\nする\t\n猫\tねこ\tremoved\n");
  write_file("known.tsv", read_file("known.tsv") + "broken line\n本\tほん\n");
  const Outcome list = dodevuz("known list");
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.out, "する\t\n本\tほん\n");
  EXPECT_NE(list.err.find("known.tsv line 4 is damaged; it is skipped"), std::string::npos)
      << list.err;
  EXPECT_EQ(dodevuz("known add").status, 2);
  EXPECT_EQ(dodevuz("known forget 猫").status, 2);
  EXPECT_EQ(dodevuz("known list extra").status, 2);
}

TEST(Vocab, CountsDictionaryFormsAcrossPagesLeavesKnownWordsOutAndGivesTheExactShare) {
  ScratchDir dir;
  copy_sample_data();
  copy_deinflection_table();
  // Over 40,000 bytes: the counts go on from page to page.
  std::string text;
  for (int k = 0; k < 2000; ++k) text += "猫を見る。猫が見た。本を読んだ。";
  text += "猫は食べる。";
  write_file("text.txt", text);
  ASSERT_EQ(dodevuz("known add 猫 ねこ").status, 0);

  const Outcome tsv = dodevuz("vocab --tsv text.txt");
  ASSERT_EQ(tsv.status, 0) << tsv.err;
  EXPECT_EQ(tsv.out,
            "count\theadword\treading\tglosses\tsentence\ttext\tknown\n"
            "4000\t見る\tみる\t(v1) to see; to look at; to watch; (P)\t猫を見る。\t見る\t0\n"
            "2000\t本\tほん\t(n) book; volume; (P)\t本を読んだ。\t本\t0\n"
            "2000\t読む\tよむ\t(v5m) to read; to read aloud; (P)\t本を読んだ。\t読んだ\t0\n"
            "1\t食べる\tたべる\t(v1) to eat; (P)\t猫は食べる。\t食べる\t0\n");
  // 猫 is 4,001 of the 12,002 word occurrences.
  EXPECT_NE(tsv.err.find("known: 4,001 of 12,002 word occurrences (33.3 %); 1 of 5 distinct words"),
            std::string::npos)
      << tsv.err;

  const Outcome listing = dodevuz("vocab --min 2000 --all text.txt");
  ASSERT_EQ(listing.status, 0) << listing.err;
  const std::vector<std::string> lines = split(listing.out, '\n');
  ASSERT_EQ(lines.size(), 10u) << listing.out;  // 4 words of 2 lines, the share, the end
  EXPECT_EQ(lines[0], "   4001  猫 [ねこ]  (n) cat; (P)  (known)");
  EXPECT_EQ(lines[1], "         猫を見る。");
  EXPECT_EQ(lines[8], "known: 4,001 of 12,002 word occurrences (33.3 %); 1 of 5 distinct words");

  const Outcome json = dodevuz("vocab --json --no-forms text.txt");
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"occurrences\": "), std::string::npos);
  EXPECT_EQ(json.out.find("\"headword\": \"猫\""), std::string::npos);  // known: left out

  EXPECT_EQ(dodevuz("vocab --min 0 text.txt").status, 2);
  EXPECT_EQ(dodevuz("vocab --tsv --json text.txt").status, 2);
  EXPECT_EQ(dodevuz("vocab missing.txt").status, 1);
}

TEST(ExportCards, ANoteEscapesItsFieldsAndBoldsTheWordInItsSentence) {
  const CardWord word{"猫", "ねこ", "(n) (1) cat <Felis>; tom & \"kitty\"\tcat; (2) shamisen",
                      "猫が'鳴いた'。", ""};
  const std::vector<std::string> fields = split(card_note(word, "My <deck>"), '\t');
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].size(), 18u);
  EXPECT_EQ(fields[0].rfind("dz", 0), 0u);
  EXPECT_EQ(fields[1], "猫");
  EXPECT_EQ(
      fields[2],
      "<div class=\"reading\">ねこ</div><ol class=\"senses\">"
      "<li>(n) cat &lt;Felis&gt;; tom &amp; &quot;kitty&quot;&#9;cat</li><li>shamisen</li></ol>"
      "<div class=\"sentence\"><b>猫</b>が&#39;鳴いた&#39;。</div>");
  EXPECT_EQ(fields[3], "My &lt;deck&gt;");
  EXPECT_EQ(fields[4], "dodevuz\n");
  // The same word, the same id, whatever else changed; another word, another.
  EXPECT_EQ(split(card_note({"猫", "ねこ", "", "", ""}, "x"), '\t')[0], fields[0]);
  EXPECT_NE(split(card_note({"猫", "びょう", "", "", ""}, "x"), '\t')[0], fields[0]);
  // A conjugated word is bold as it stood, else by its headword's start.
  EXPECT_NE(card_note({"泣く", "なく", "", "子が泣いた。", "泣いた"}, "x").find("<b>泣いた</b>"),
            std::string::npos);
  EXPECT_NE(card_note({"泣く", "なく", "", "子が泣いた。", ""}, "x").find("子が<b>泣</b>いた"),
            std::string::npos);
}

TEST(ExportCards, TheFileHasItsHeaderLinesAndASecondExportOnlyTheNewWords) {
  ScratchDir dir;
  write_file("wordlist.tsv",
             "猫\tねこ\t(n) cat\t猫が鳴いた。\t2024-05-06\n"
             "泣く\tなく\t(v5k) to cry\t子が泣いた。\t2024-05-06\t(past of 泣く)\n"
             "not a row\n");
  const Outcome first = dodevuz("export-cards --out cards.txt");
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.err.find("wordlist.tsv line 3 is not a word's row"), std::string::npos);
  const std::string header =
      "#separator:tab\n#html:true\n#notetype:Basic\n#deck:Dodevuz\n"
      "#columns:guid\tFront\tBack\tDeck\tTags\n#guid column:1\n#deck column:4\n#tags column:5\n";
  const std::string cards = read_file("cards.txt");
  ASSERT_EQ(cards.rfind(header, 0), 0u) << cards;
  const std::vector<std::string> notes = split(cards.substr(header.size()), '\n');
  ASSERT_EQ(notes.size(), 3u);  // two notes and the end
  for (const std::string& note : {notes[0], notes[1]}) {
    EXPECT_EQ(split(note, '\t').size(), 5u) << note;
  }
  EXPECT_EQ(split(notes[1], '\t')[1], "泣く");
  EXPECT_EQ(read_file("exported.tsv"), "猫\tねこ\n泣く\tなく\n");

  // Cards that cannot be written are not remembered as exported.
  write_file("wordlist.tsv", read_file("wordlist.tsv") + "本\tほん\t(n) book\t\t2024-05-07\n");
  EXPECT_EQ(dodevuz("export-cards --out no-such-folder/cards.txt").status, 1);
  EXPECT_EQ(read_file("exported.tsv"), "猫\tねこ\n泣く\tなく\n");

  // Again: only what is new; with --all everything, with the same ids.
  ASSERT_EQ(dodevuz("export-cards --out again.txt").status, 0);
  const std::vector<std::string> again = split(read_file("again.txt").substr(header.size()), '\n');
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(split(again[0], '\t')[1], "本");
  ASSERT_EQ(dodevuz("export-cards --all").status, 0);
  const std::string all = read_file("stdout.txt");
  EXPECT_NE(all.find(notes[0]), std::string::npos);
  EXPECT_EQ(split(all.substr(header.size()), '\n').size(), 4u);  // three notes and the end
  EXPECT_EQ(read_file("exported.tsv"), "猫\tねこ\n泣く\tなく\n本\tほん\n");

  // From what vocab printed.
  write_file("vocab.tsv",
             "count\theadword\treading\tglosses\tsentence\ttext\tknown\n"
             "3\t読む\tよむ\t(v5m) to read\t本を読んだ。\t読んだ\t0\n");
  ASSERT_EQ(dodevuz("export-cards --from vocab.tsv").status, 0);
  EXPECT_NE(read_file("stdout.txt").find("本を<b>読んだ</b>。"), std::string::npos);
  EXPECT_EQ(dodevuz("export-cards --from missing.tsv").status, 1);
}

// In the "Dictionary forms" mode Add to Word List took the description of
// the form for the headword, "(past" with an empty reading, so every later
// verb was "already in"; and a name was taken for the start of a longer word
// (鳴いていた stored 鳴 [なる] Naru).
TEST(WordList, AddInTheFormsModeTookTheDescriptionForTheHeadwordAndRefusedEveryLaterVerb) {
  ScratchDir dir;
  copy_sample_data();
  copy_deinflection_table();
  write_file("edict", utf8_to_euc("辞書 [じしょ] /dictionary/\n泣く [なく] /(v5k) to cry/(P)/\n"
                                  "降る [ふる] /(v5r) to fall (rain)/(P)/\n"
                                  "鳴く [なく] /(v5k) to sing (bird)/\n"));
  write_file("enamdict", utf8_to_euc("鳴 [なる] /Naru (s)/\n鳴海 [なるみ] /Narumi (s)/\n"));
  ASSERT_EQ(dodevuz("index").status, 0) << read_file("stderr.txt");

  ASSERT_EQ(dodevuz("single --forms --add 泣いた").status, 0);
  ASSERT_EQ(dodevuz("single --forms --add 降った").status, 0);
  EXPECT_NE(read_file("stderr.txt").find("added to wordlist.tsv"), std::string::npos);
  ASSERT_EQ(dodevuz("single --forms --add 鳴いていた").status, 0);
  ASSERT_EQ(dodevuz("single --forms --add 鳴海").status, 0);
  std::vector<std::string> rows = split(read_file("wordlist.tsv"), '\n');
  ASSERT_EQ(rows.size(), 5u) << read_file("wordlist.tsv");
  const std::vector<std::string> cry = split(rows[0], '\t');
  ASSERT_EQ(cry.size(), 6u);
  EXPECT_EQ(cry[0] + "|" + cry[1] + "|" + cry[2] + "|" + cry[3] + "|" + cry[5],
            "泣く|なく|(v5k) to cry; (P)|泣いた|(past of 泣く)");
  EXPECT_EQ(rows[1].rfind("降る\tふる\t(v5r) to fall (rain); (P)\t降った\t", 0), 0u) << rows[1];
  EXPECT_EQ(rows[2].rfind("鳴く\tなく\t", 0), 0u) << rows[2];
  // The whole name is stored from the names dictionary; the word as it
  // stands has five fields, as ever.
  EXPECT_EQ(split(rows[3], '\t').size(), 5u);
  EXPECT_EQ(rows[3].rfind("鳴海\tなるみ\tNarumi (s)\t鳴海\t", 0), 0u) << rows[3];

  // Mark as Known in a session takes the same entry.
  const Outcome session = dodevuz("session --forms",
                                  "set-clipboard-jis 子が泣いた。\nget-jis\n"
                                  "select-text listing 泣いた\nmark-known\nmark-known\n");
  ASSERT_EQ(session.status, 0) << session.err;
  EXPECT_EQ(session.out, "marked as known\nalready known\n");
  EXPECT_EQ(read_file("known.tsv"), "泣く\tなく\n");
}

}  // namespace
