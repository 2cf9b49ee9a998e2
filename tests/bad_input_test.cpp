// Hostile input through the menu commands: oversized clipboard texts,
// passages whose listing or romaji outgrow their buffers, broken romaji
// tables, broken dictionary pairs and files that are missing, unreadable or
// directories. Each case checks what the user is shown, not only that the
// program lives: the panes' texts, the message boxes and the program's end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"
#include "tests/program_testing.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::hex;
using testing_support::index_bytes;
using testing_support::listing_pane;
using testing_support::romaji_pane;
using testing_support::ScratchDir;
using testing_support::single_pane;
using testing_support::text_of;
using testing_support::with_crlf;
using testing_support::write_file;

int main_window_object;
Window const kMain = &main_window_object;

const std::string kGap(8, ' ');

// The test dictionary, in index order (学 B3D8 < 先 C0E8 < 日 C6FC).
const char* const kLines[] = {
    "学生 [がくせい] /student/",
    "先生 [せんせい] /teacher/",
    "日本 [にほん] /Japan/",
};

std::string line(int k) {
  return euc(kLines[k]) + "\n";
}

// Positions (1-based) of the three lines in the text that write_dictionary makes.
std::vector<int32_t> line_positions() {
  std::vector<int32_t> positions;
  int32_t at = 1;
  for (int k = 0; k < 3; ++k) {
    positions.push_back(at);
    at += static_cast<int32_t>(line(k).size());
  }
  return positions;
}

std::string dictionary_text() {
  return line(0) + line(1) + line(2);
}

void write_dictionary() {
  write_file("edict", dictionary_text());
  write_file("edict.jdx", index_bytes(line_positions()));
}

// A table of our own for the kana the cases use.
const char kTable[] =
    "# test table\n$h\nが\tga\nっ\t*\nこ\tko\nう\tu\nか\tka\nき\tki\nし\tshi\n"
    "な\tna\nの\tno\nと\tto\nに\tni\nほ\tho\nん\tn\n$k\nカ\tka\nッ\t*\n";

// A found word as the listing writes it: the word, 8 blanks, its line.
std::string word_item(const char* word_utf8, int k) {
  return euc(word_utf8) + kGap + line(k);
}

// A kanji without a word: its two bytes, 16 blanks and the no-match text.
std::string nomatch_item(const char* kanji_utf8) {
  return euc(kanji_utf8) + kGap + kGap + kNoMatchText;
}

// The listing of items written whole while they fit the listing buffer's
// 40959 bytes of text: the walk stops before the first item that does not.
std::string listing_of(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (out.size() + item.size() > kListingBufferSize - 1) break;
    out += item;
  }
  return out;
}

void select(PaneRecord* pane, uint32_t start, uint32_t end) {
  ASSERT_NE(pane, nullptr);
  pane->sel_start = start;
  pane->sel_end = end;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

std::vector<std::string> messages() {
  std::vector<std::string> out;
  for (const RecordedMessage& m : recording.messages) out.push_back(m.text + "|" + m.caption);
  return out;
}

// Whether this process can still open a file whose permissions are 000
// (root can): then an unreadable file cannot be made this way.
bool can_read_despite_mode_000(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_program_state();
    write_dictionary();
    write_file("kanarom.cnv", euc(kTable));
  }
  void TearDown() override { reset_program_state(); }

  // The passage (UTF-8) on the clipboard in Shift-JIS, and Get SHIFT.
  void get(const std::string& utf8) { get_sjis(utf8_to_sjis(utf8)); }
  void get_sjis(const std::string& sjis) {
    set_clipboard_text(sjis);
    EXPECT_EQ(dispatch_command(kMain, kCmdGetShift), CommandResult::kDone);
  }

  std::string listing() { return text_of(lookup.listing_buffer); }
  std::string romaji_text() {
    PaneRecord* pane = romaji_pane();
    return pane == nullptr ? "(no romaji pane)" : pane->text;
  }

  // The listing pane shows the listing with CR LF line ends.
  void expect_listing_pane(const std::string& expected) {
    ASSERT_NE(lookup.listing_buffer, nullptr);
    EXPECT_EQ(hex(listing()), hex(expected));
    ASSERT_NE(listing_pane(), nullptr);
    EXPECT_EQ(listing_pane()->text, with_crlf(expected));
  }

  // The listing is the first of the items, as many as the listing buffer and
  // the romaji buffer both hold, and the notice of a full listing; the
  // listing pane shows it.
  void expect_whole_items_and_notice(const std::vector<std::string>& items) {
    ASSERT_NE(lookup.listing_buffer, nullptr);
    ASSERT_TRUE(lookup.listing_full);
    size_t count = 0, length = 0;
    while (count < items.size() && length + items[count].size() <= lookup.listing_length) {
      length += items[count++].size();
    }
    ASSERT_EQ(length, lookup.listing_length);
    ASSERT_GT(count, 0u);
    const std::string shown = listing();
    EXPECT_EQ(shown.substr(0, length),
              listing_of(std::vector<std::string>(items.begin(), items.begin() + count)));
    EXPECT_EQ(shown.substr(length), std::string(shown[length - 1] == '\n' ? "" : "\n") +
                                        listing_notice(lookup.listing_stop, lookup.passage_length) +
                                        "\n");
    ASSERT_NE(listing_pane(), nullptr);
    EXPECT_EQ(listing_pane()->text, with_crlf(shown));
  }

  // "日本の学生と先生" with every kanji unfound: what a dictionary that
  // cannot be searched gives.
  std::string unfound_listing() {
    return nomatch_item("日") + nomatch_item("本") + euc("の") + nomatch_item("学") +
           nomatch_item("生") + euc("と") + nomatch_item("先") + nomatch_item("生");
  }
  std::string found_listing() {
    return word_item("日本", 2) + euc("の") + word_item("学生", 0) + euc("と") +
           word_item("先生", 1);
  }

  ScratchDir dir_;
};

const char kPassage[] = "日本の学生と先生";

// ---- Oversized texts -------------------------------------------------------

TEST_F(BadInputTest, ClipboardOfOneMegabyteIsCutAtAWholeCharacterAndTheListingStopsWhole) {
  // One ASCII byte, then 日本語 over and over: the 39998 bytes of text the
  // kanji buffer keeps end in the middle of a character unless the cut
  // respects characters.
  const std::string unit = "日本語";
  std::string utf8 = "a";
  for (int i = 0; i < 1000000 / 6 + 1; ++i) utf8 += unit;  // 6 bytes of Shift-JIS each
  const std::string sjis = utf8_to_sjis(utf8);
  ASSERT_GE(sjis.size(), size_t{1000000});

  // 1 + 6 * 6666 = 39997 bytes: the last whole 語 that leaves room for two NULs.
  std::string kept = "a";
  for (int i = 0; i < 6666; ++i) kept += euc(unit);
  for (int intake_kind : {kCmdGetShift, kCmdGetJis}) {
    SCOPED_TRACE(intake_kind == kCmdGetShift ? "Shift-JIS" : "JIS");
    set_clipboard_text(intake_kind == kCmdGetShift ? sjis : utf8_to_jis(utf8));
    dispatch_command(kMain, intake_kind);
    ASSERT_NE(intake.kanji_buffer, nullptr);
    const std::string passage(reinterpret_cast<const char*>(intake.kanji_buffer), kKanjiBufferSize);
    EXPECT_EQ(passage.find('\0'), kept.size());
    EXPECT_EQ(passage.substr(0, kept.size()), kept);
    EXPECT_EQ(passage.find_first_not_of('\0', kept.size()), std::string::npos);

    // The listing holds whole items and the notice; the romaji pane spells
    // all of it.
    std::vector<std::string> items{"a"};
    for (int i = 0; i < 6666; ++i) {
      items.push_back(word_item("日本", 2));
      items.push_back(nomatch_item("語"));
    }
    expect_whole_items_and_notice(items);
    EXPECT_EQ(lookup.listing_buffer[kListingBufferSize - 1], 0);
    EXPECT_TRUE(recording.messages.empty()) << ::testing::PrintToString(messages());
    EXPECT_EQ(romaji_text(), replace_all(with_crlf(listing()), euc("にほん"), "nihon"));
  }
}

TEST_F(BadInputTest, ListingThatWouldPassItsBufferStopsBeforeTheItemThatDoesNotFit) {
  // Each 日本 adds 4 + 8 + 23 bytes for 4 bytes of passage: 3000 of them
  // would need about 111,000 bytes of listing.
  std::string utf8;
  std::vector<std::string> items;
  for (int i = 0; i < 3000; ++i) {
    utf8 += "日本の";
    items.push_back(word_item("日本", 2));
    items.push_back(euc("の"));
  }
  get(utf8);
  expect_whole_items_and_notice(items);
  EXPECT_EQ(romaji_text(), replace_all(replace_all(with_crlf(listing()), euc("にほん"), "nihon"),
                                       euc("の"), "no"));
}

TEST_F(BadInputTest, KanaRunOfThousandsOfKanaIsSpelledWholeWithoutMarks) {
  // Runs far longer than the 127 kana of the pending run: converted in
  // parts, the gemination and the capitals of a run still hold across them.
  std::string utf8, expected;
  for (int i = 0; i < 1000; ++i) utf8 += "がっこう";
  for (int i = 0; i < 1000; ++i) expected += "gakkou";
  utf8 += " ";
  expected += " ";
  for (int i = 0; i < 2000; ++i) utf8 += "カ";
  for (int i = 0; i < 2000; ++i) expected += "KA";
  utf8 += " ";
  expected += " ";
  for (int i = 0; i < 500; ++i) utf8 += "かっ";
  utf8 += ".";
  expected += "ka";
  for (int i = 1; i < 500; ++i) expected += "kka";
  expected += "t.";

  get(utf8);
  expect_listing_pane(euc(utf8));
  EXPECT_EQ(romaji_text().find('#'), std::string::npos);
  EXPECT_EQ(romaji_text(), expected);
}

TEST_F(BadInputTest, RomajiThatWouldPassItsBufferIsCutAtAWholeCharacter) {
  // しし・ gives "shishi" and the two bytes of ・ (copied as they are): 8
  // bytes of romaji for 6 of passage, so the romaji outgrows its 39999
  // bytes. After 4999 units (39992 bytes) "shishi" still fits, ・ does not.
  std::string utf8, full;
  for (int i = 0; i < 5500; ++i) {
    utf8 += "しし・";
    full += "shishi" + euc("・");
  }
  get(utf8);
  expect_listing_pane(euc(utf8));
  ASSERT_NE(romaji.romaji_buffer, nullptr);
  const std::string shown = romaji_text();
  EXPECT_EQ(shown.size(), size_t{39998});
  EXPECT_EQ(shown, full.substr(0, 39998));
  EXPECT_EQ(romaji.romaji_buffer[39998], 0);
  EXPECT_EQ(romaji.romaji_buffer[kRomajiBufferSize - 1], 0);
}

TEST_F(BadInputTest, RomajiCutInsideATwoByteCharacterOfATableEntry) {
  // A table may spell a kana in anything, kanji included: か as 日本語, six
  // bytes of romaji for two of passage. 6666 of them fill 39996 bytes; the
  // next would be cut after its 日 and half of 本 unless the cut keeps whole
  // characters.
  write_file("kanarom.cnv", "$h\n" + euc("か\t日本語\n"));
  std::string utf8;
  for (int i = 0; i < 7000; ++i) utf8 += "か";
  get(utf8);
  std::string expected;
  for (int i = 0; i < 6666; ++i) expected += euc("日本語");
  expected += euc("日");
  const std::string shown = romaji_text();
  ASSERT_EQ(shown.size(), expected.size());
  EXPECT_EQ(hex(shown.substr(shown.size() - 8)), hex(expected.substr(expected.size() - 8)));
  EXPECT_TRUE(shown == expected);
}

// ---- kanarom.cnv -------------------------------------------------------------

TEST_F(BadInputTest, EmptyRomajiTableLeavesEveryKanaUnmatched) {
  write_file("kanarom.cnv", "");
  get("かな abc");
  EXPECT_TRUE(recording.messages.empty());
  // No entry matches: one mark per byte of each kana; ASCII as it is.
  EXPECT_EQ(romaji_text(), "#### abc");
}

TEST_F(BadInputTest, BinaryRomajiTableLoadsWhateverItHoldsAndTheGetGoesOn) {
  // Bytes of every value, NULs, escapes and line feeds among them.
  std::string bytes;
  uint32_t x = 12345;
  for (int i = 0; i < 6000; ++i) {
    x = x * 1103515245u + 12345u;
    bytes.push_back(static_cast<char>(x >> 16));
  }
  write_file("kanarom.cnv", bytes);
  get("abc 日本");
  // ASCII and the kanji are never spelled differently, whatever the table.
  EXPECT_EQ(romaji_text().substr(0, 4), "abc ");
  EXPECT_EQ(romaji_text().substr(4, 4), euc("日本"));
  for (const RomajiEntry& e : romaji.table) {
    EXPECT_NE(std::memchr(e.kana, 0, kFieldSize), nullptr);
    EXPECT_NE(std::memchr(e.romaji, 0, kFieldSize), nullptr);
  }
}

TEST_F(BadInputTest, RomajiTableOfFiveHundredMappingLinesIsReadTo234Entries) {
  // か first, 233 lines of き (entries 2 to 234), then な and a katakana
  // section that reading never reaches.
  std::string table = "$h\n" + euc("か\tka\n");
  for (int i = 0; i < 233; ++i) table += euc("き\tki\n");
  for (int i = 0; i < 266; ++i) table += euc("な\tna\n");
  table += "$k\n" + euc("カ\tka\n");
  write_file("kanarom.cnv", table);
  ::testing::internal::CaptureStdout();
  get("かきな カ");
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Too many romaji table entries!\n");
  EXPECT_EQ(romaji_text(), "kaki## ##");
}

TEST_F(BadInputTest, RomajiTableLinesOf200BytesAndFieldsOf20Bytes) {
  // A comment and a section line of 200 bytes keep their meaning; a mapping
  // line of 200 bytes and mapping lines whose kana or romaji field has 20
  // bytes fill no entry. The lines after them are read from their start.
  std::string table = "#" + std::string(198, 'x') + "\n";
  table += "$h" + std::string(197, 'x') + "\n";
  table += euc("な\tna") + std::string(200 - 6, ' ') + "\n";
  table += euc("かかかかかかかかかか\tX\n");
  table += euc("き\t") + std::string(20, 'k') + "\n";
  table += euc("か\tka\n");
  table += "$k" + std::string(197, 'x') + "\n" + euc("カ\tka\n");
  ASSERT_EQ(table.find('\n'), size_t{199});
  write_file("kanarom.cnv", table);
  get("かきな カ");
  EXPECT_EQ(romaji_text(), "ka#### KA");
}

// ---- edict.jdx and edict ---------------------------------------------------------

TEST_F(BadInputTest, IndexOfZeroToThreeBytesFindsNothing) {
  for (size_t size = 0; size <= 3; ++size) {
    SCOPED_TRACE(size);
    reset_recording();
    write_file("edict.jdx", std::string(size, '\x01'));
    get(kPassage);
    // An empty file holds no entry; one to three bytes are no whole entry.
    if (size == 0) {
      EXPECT_TRUE(recording.messages.empty());
    } else {
      ASSERT_EQ(recording.messages.size(), 1u);
      EXPECT_EQ(recording.messages[0].text, kIndexMismatchText);
    }
    EXPECT_EQ(store.entry_count[0], -1);
    expect_listing_pane(unfound_listing());
  }
}

TEST_F(BadInputTest, IndexWhosePositionsAreAllZeroOrPastTheEndFindsNothing) {
  // Position 0 and positions past the text read as line ends, which no key
  // begins with.
  const int32_t size = static_cast<int32_t>(dictionary_text().size());
  const std::vector<std::vector<int32_t>> indexes = {
      {0, 0, 0},
      {size + 1, size + 2, size + 3},
      {size + 1000, 0x7FFFFFFF, -1},
      {-2147483647 - 1, -5, 0},
  };
  for (const std::vector<int32_t>& positions : indexes) {
    SCOPED_TRACE(::testing::PrintToString(positions));
    write_file("edict.jdx", index_bytes(positions));
    get(kPassage);
    expect_listing_pane(unfound_listing());
    select(listing_pane(), 0, 4);
    dispatch_command(kMain, kCmdSingle);
    ASSERT_NE(single_pane(), nullptr);
    EXPECT_EQ(single_pane()->text, "");
  }
}

TEST_F(BadInputTest, EmptyDictionaryWithItsOldIndexFindsNothing) {
  // The index still points into the text that was there.
  write_file("edict", "");
  get(kPassage);
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, kIndexMismatchText);
  EXPECT_EQ(recording.messages[0].caption, "edict.jdx");
  expect_listing_pane(unfound_listing());
}

TEST_F(BadInputTest, IndexOutOfOrderFindsOnlyWhatTheBinarySearchReaches) {
  // Reversed: 日本, 先生, 学生. The first probe lands on 先生, which is found;
  // 日 sorts after it and 学 before it, and the one entry on either side
  // holds the other, so neither is reached.
  std::vector<int32_t> positions = line_positions();
  std::reverse(positions.begin(), positions.end());
  write_file("edict.jdx", index_bytes(positions));
  get(kPassage);
  expect_listing_pane(nomatch_item("日") + nomatch_item("本") + euc("の") + nomatch_item("学") +
                      nomatch_item("生") + euc("と") + word_item("先生", 1));
  // Its first entry sorts after its last: the opening says so.
  ASSERT_EQ(recording.messages.size(), 1u);
  EXPECT_EQ(recording.messages[0].text, kIndexMismatchText);
}

TEST_F(BadInputTest, DictionaryWithoutItsLastLineFeedStillGivesTheWholeLastLine) {
  std::string text = dictionary_text();
  text.pop_back();  // 日本's line, the last, loses its line feed
  write_file("edict", text);
  get(kPassage);
  // The end of the file reads as a line end: the line comes whole, and the
  // listing goes on on the next line.
  expect_listing_pane(found_listing());
}

TEST_F(BadInputTest, EntryLineWithANulByteKeepsItsLineEnd) {
  // A NUL in the text ends a comparison as a match, so the line "日" NUL
  // matches every key that starts with 日. Its line is cut at the NUL and
  // still ends in a line feed: the listing reads on on the next line. A line
  // of 5000 bytes is cut to the entry line's 198 bytes.
  const std::string long_line = euc("学生 [がくせい] /") + std::string(5000, 'x') + "/\n";
  std::string text = long_line + line(1) + euc("日") + std::string(1, '\0') + "/x/\n";
  write_file("edict", text);
  const int32_t second = static_cast<int32_t>(long_line.size()) + 1;
  const int32_t third = second + static_cast<int32_t>(line(1).size());
  write_file("edict.jdx", index_bytes({1, second, third}));
  get(kPassage);
  expect_listing_pane(euc("日") + kGap + euc("日") + "\n" + nomatch_item("本") + euc("の") +
                      euc("学生") + kGap + long_line.substr(0, 198) + "\n" + euc("と") +
                      word_item("先生", 1));
  // "Single Dodevuz" on 日 lists the cut line with its line end.
  select(listing_pane(), 0, 2);
  dispatch_command(kMain, kCmdSingle);
  ASSERT_NE(single_pane(), nullptr);
  EXPECT_EQ(hex(single_pane()->text), hex(euc("日") + "\r\n"));
}

// ---- Missing, unreadable and directory files -----------------------------------

TEST_F(BadInputTest, MissingDictionaryFilesAreReportedAndNothingIsFound) {
  struct Case {
    const char* file;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"edict", {"Cannot open dictionary file:|edict", "Stat() error| "}},
      {"edict.jdx", {"Cannot open dictionary index file:|edict", "Stat() error| "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    write_dictionary();
    for (const char* how : {"missing", "directory", "unreadable"}) {
      SCOPED_TRACE(how);
      reset_recording();
      std::remove(c.file);
      ::rmdir(c.file);
      if (std::strcmp(how, "directory") == 0) {
        ASSERT_EQ(::mkdir(c.file, 0755), 0);
      } else if (std::strcmp(how, "unreadable") == 0) {
        write_dictionary();
        ASSERT_EQ(::chmod(c.file, 0), 0);
        if (can_read_despite_mode_000(c.file)) {
          // Running as root: the file stays readable; nothing to see here.
          ::chmod(c.file, 0644);
          continue;
        }
      }
      get(kPassage);
      std::vector<std::string> expected = c.messages;
      if (std::strcmp(how, "unreadable") == 0) expected.pop_back();  // its size is there
      EXPECT_EQ(messages(), expected);
      expect_listing_pane(unfound_listing());
      ASSERT_NE(romaji_pane(), nullptr);
      EXPECT_EQ(
          romaji_text(),
          replace_all(replace_all(with_crlf(unfound_listing()), euc("の"), "no"), euc("と"), "to"));
      ::chmod(c.file, 0644);
      std::remove(c.file);
      ::rmdir(c.file);
      write_dictionary();
    }
  }
}

TEST_F(BadInputTest, MissingRomajiTableEndsTheProgramAfterTheListingPane) {
  for (const char* how : {"missing", "directory", "unreadable"}) {
    SCOPED_TRACE(how);
    reset_recording();
    reset_program_state();
    std::remove("kanarom.cnv");
    ::rmdir("kanarom.cnv");
    if (std::strcmp(how, "directory") == 0) {
      ASSERT_EQ(::mkdir("kanarom.cnv", 0755), 0);
    } else if (std::strcmp(how, "unreadable") == 0) {
      write_file("kanarom.cnv", euc(kTable));
      ASSERT_EQ(::chmod("kanarom.cnv", 0), 0);
      if (can_read_despite_mode_000("kanarom.cnv")) continue;  // root reads it all the same
    }
    set_clipboard_text(utf8_to_sjis(kPassage));
    ::testing::internal::CaptureStdout();
    int status = -1;
    try {
      dispatch_command(kMain, kCmdGetShift);
    } catch (const ProgramEnded& ended) {
      status = ended.status;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Unable to open: kanarom.cnv\n");
    EXPECT_EQ(status, 1);
    // The chain got as far as the listing pane; no romaji pane was made.
    expect_listing_pane(found_listing());
    EXPECT_EQ(romaji_pane(), nullptr);
    ::chmod("kanarom.cnv", 0644);
    std::remove("kanarom.cnv");
    ::rmdir("kanarom.cnv");
  }
}

}  // namespace
