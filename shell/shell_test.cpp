// The shell's commands driven by id, as the window procedure and the command
// line drive them, on the recording platform with a small dictionary and
// romaji table written per test.
#include "shell/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "romaji/romaji.h"
#include "shell/desktop.h"
#include "store/store.h"
#include "tests/program_testing.h"
#include "tests/testing.h"
#include "wordlist/wordlist.h"

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

// Entry lines of the test dictionary, in index order (their headwords sort
// by their EUC-JP bytes: 学 B3D8 < 先 C0E8 < 日 C6FC).
const char* const kLines[] = {
    "学生 [がくせい] /student/",
    "先生 [せんせい] /teacher/",
    "日本 [にほん] /Japan/",
};

std::string line(int k) {
  return euc(kLines[k]) + "\n";
}

void write_dictionary() {
  std::string text;
  std::vector<int32_t> positions;
  for (int k = 0; k < 3; ++k) {
    positions.push_back(static_cast<int32_t>(text.size()) + 1);  // 1-based
    text += line(k);
  }
  write_file("edict", text);
  write_file("edict.jdx", index_bytes(positions));
}

void write_romaji_table() {
  write_file("kanarom.cnv", euc("# test table\n$h\nに\tni\nほ\tho\nん\tn\nの\tno\nが\tga\n"
                                "く\tku\nせ\tse\nい\ti\n$k\n"));
}

std::string key() {
  return text_of(lookup.search_key);
}

int living_panes() {
  return static_cast<int>(std::count_if(desktop.panes.begin(), desktop.panes.end(),
                                        [](const PaneRecord& p) { return p.alive; }));
}

std::vector<std::string> messages() {
  std::vector<std::string> out;
  for (const RecordedMessage& m : recording.messages) {
    out.push_back(m.text + "|" + m.caption + (m.owner == kMain ? "" : "|not the main window"));
  }
  return out;
}

// "what subject" of each event, for comparing sequences.
using Event = std::pair<std::string, const void*>;
std::vector<Event> events_since(size_t first) {
  std::vector<Event> out;
  for (size_t i = first; i < desktop.events.size(); ++i) {
    out.emplace_back(desktop.events[i].what, desktop.events[i].subject);
  }
  return out;
}

void select(PaneRecord* pane, uint32_t start, uint32_t end) {
  ASSERT_NE(pane, nullptr);
  pane->sel_start = start;
  pane->sel_end = end;
}

// Fails the allocations of one size from the nth on (1-based), counted from now.
void fail_alloc_of_size(size_t size, int nth = 1) {
  auto seen = std::make_shared<int>(0);
  recording.alloc_fails = [size, nth, seen](size_t s) { return s == size && ++*seen >= nth; };
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_program_state();
    write_dictionary();
    write_romaji_table();
  }
  void TearDown() override { reset_program_state(); }

  // "日本の学生" on the clipboard and Get SHIFT.
  void get(const std::string& utf8 = "日本の学生") {
    set_clipboard_text(utf8_to_sjis(utf8));
    EXPECT_EQ(dispatch_command(kMain, kCmdGetShift), CommandResult::kDone);
  }

  ScratchDir dir_;
};

std::string expected_listing() {
  const std::string gap(8, ' ');
  return euc("日本") + gap + line(2) + euc("の学生") + gap + line(0);
}

TEST_F(ShellTest, StateTableStartedGetClearAll) {
  // Started: no pane, files closed.
  EXPECT_EQ(living_panes(), 0);
  EXPECT_EQ(store.text_handle[0], kFileError);

  get();
  EXPECT_TRUE(recording.messages.empty()) << ::testing::PrintToString(messages());
  ASSERT_NE(listing_pane(), nullptr);
  ASSERT_NE(romaji_pane(), nullptr);
  EXPECT_EQ(shell.single_pane, nullptr);
  EXPECT_EQ(living_panes(), 2);
  EXPECT_NE(store.text_handle[0], kFileError);
  EXPECT_NE(store.index_handle[0], kFileError);

  // The listing pane: geometry, style, parent, and the listing with CR LF.
  const PaneRecord& p = *listing_pane();
  EXPECT_EQ(p.parent, kMain);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 192);
  EXPECT_EQ(p.width, 630);
  EXPECT_EQ(p.height, 100);
  EXPECT_EQ(p.style, 0x50200944u);  // read-only
  EXPECT_EQ(hex(p.text), hex(with_crlf(expected_listing())));
  EXPECT_EQ(hex(text_of(lookup.listing_text)), hex(p.text));
  EXPECT_GE(lookup.listing_text_size, size_t{40000});
  EXPECT_EQ(romaji_pane()->y, 0);

  // Clear All: no pane, files closed, the clipboard holding the program's
  // own Copy emptied.
  select(listing_pane(), 0, 4);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(dispatch_command(kMain, kCmdClearAll), CommandResult::kDone);
  EXPECT_EQ(living_panes(), 0);
  EXPECT_EQ(shell.listing_pane, nullptr);
  EXPECT_EQ(shell.single_pane, nullptr);
  EXPECT_EQ(romaji.romaji_pane, nullptr);
  EXPECT_EQ(store.text_handle[0], kFileError);
  EXPECT_EQ(store.index_handle[0], kFileError);
  EXPECT_FALSE(desktop.clipboard_has_text);

  // A Get after Clear All starts everything afresh.
  get();
  EXPECT_EQ(living_panes(), 2);
  EXPECT_NE(store.text_handle[0], kFileError);
  EXPECT_EQ(listing_pane()->text, with_crlf(expected_listing()));
}

TEST_F(ShellTest, NamesDictionaryIsListedSearchedAndClosedWithTheMainOne) {
  const std::string names = euc("日本橋 [にほんばし] /(p) Nihonbashi/") + "\n";
  write_file("enamdict", names);
  // Line start, and the 日 and 本 inside the headword (日本橋 sorts first).
  write_file("enamdict.jdx", index_bytes({1, 3, 5}));
  get("日本橋の学生");
  EXPECT_EQ(listing_pane()->text, with_crlf(euc("日本橋") + std::string(8, ' ') + names +
                                            euc("の学生") + std::string(8, ' ') + line(0)));
  EXPECT_NE(store.text_handle[1], kFileError);

  // Single: the longest match first, whichever dictionary holds it; slot
  // 0's lines first within one length.
  select(listing_pane(), 0, 6);
  dispatch_command(kMain, kCmdSingle);
  const std::string japan = euc(kLines[2]), bridge = euc("日本橋 [にほんばし] /(p) Nihonbashi/");
  EXPECT_EQ(single_pane()->text, bridge + "\r\n" + japan + "\r\n");

  dispatch_command(kMain, kCmdClearAll);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(store.text_handle[slot], kFileError) << slot;
    EXPECT_EQ(store.index_handle[slot], kFileError) << slot;
  }
  // With the files closed Single finds nothing in any slot.
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(shell.single_pane != nullptr ? single_pane()->text : "?", "");
}

TEST_F(ShellTest, AddToWordListKeepsTheSelectedWordWithItsSentence) {
  std::snprintf(word_list.date, sizeof word_list.date, "%s", "2024-05-06");
  get("先生が来た。日本の学生は休む。");
  const std::string student = euc("学生");
  const std::string text = listing_pane()->text;
  const size_t at = text.find(student);
  ASSERT_NE(at, std::string::npos);
  select(listing_pane(), static_cast<uint32_t>(at), static_cast<uint32_t>(at + 4));
  EXPECT_EQ(dispatch_command(kMain, kCmdAddToWordList), CommandResult::kDone);
  EXPECT_EQ(word_list.last, WordListOutcome::kAdded);
  // The status names the file by its full path.
  const std::string path = word_list_path();
  EXPECT_EQ(path, dir_.path() + "/wordlist.tsv");
  EXPECT_EQ(describe_command(kCmdAddToWordList), "Added to " + path);
  // The single pane shows what Single finds for the word.
  EXPECT_EQ(single_pane()->text.rfind(student, 0), 0u);
  const std::string row = "学生\tがくせい\tstudent\t日本の学生は休む。\t2024-05-06\n";
  EXPECT_EQ(testing_support::read_file(kWordListFile), row);

  dispatch_command(kMain, kCmdAddToWordList);
  EXPECT_EQ(word_list.last, WordListOutcome::kAlreadyListed);
  EXPECT_EQ(testing_support::read_file(kWordListFile), row);
  EXPECT_TRUE(recording.messages.empty());

  // Nothing selected: nothing written, nothing said.
  select(listing_pane(), 0, 0);
  dispatch_command(kMain, kCmdAddToWordList);
  EXPECT_EQ(word_list.last, WordListOutcome::kNoEntry);
  EXPECT_STREQ(describe_command(kCmdAddToWordList), "Nothing to add: select a word in the listing");
  EXPECT_EQ(testing_support::read_file(kWordListFile), row);
  EXPECT_TRUE(recording.messages.empty());
}

TEST_F(ShellTest, AddToWordListThatCannotWriteSaysSoAndLosesNothing) {
  get();
  select(listing_pane(), 0, 4);
  std::remove(kWordListFile);
  ASSERT_EQ(mkdir(kWordListFile, 0755), 0);  // a folder in the way
  dispatch_command(kMain, kCmdAddToWordList);
  EXPECT_EQ(word_list.last, WordListOutcome::kFailed);
  EXPECT_EQ(messages(), std::vector<std::string>{"Cannot write to word list file:|wordlist.tsv"});
  EXPECT_EQ(describe_command(kCmdAddToWordList), "Could not write " + word_list_path());
  rmdir(kWordListFile);
}

TEST_F(ShellTest, MarkAsKnownAppendsTheSelectedWordOnceAndSaysWhatBecameOfIt) {
  get("先生が来た。日本の学生は休む。");
  const std::string text = listing_pane()->text;
  const size_t at = text.find(euc("学生"));
  ASSERT_NE(at, std::string::npos);
  select(listing_pane(), static_cast<uint32_t>(at), static_cast<uint32_t>(at + 4));
  EXPECT_EQ(dispatch_command(kMain, kCmdMarkKnown), CommandResult::kDone);
  EXPECT_STREQ(describe_command(kCmdMarkKnown), "Marked as known in known.tsv");
  dispatch_command(kMain, kCmdMarkKnown);
  EXPECT_STREQ(describe_command(kCmdMarkKnown), "Already known");
  EXPECT_EQ(testing_support::read_file(kKnownFile), "学生\tがくせい\n");
  select(listing_pane(), 0, 0);
  dispatch_command(kMain, kCmdMarkKnown);
  EXPECT_STREQ(describe_command(kCmdMarkKnown), "Nothing to mark: select a word in the listing");
  EXPECT_TRUE(recording.messages.empty());

  std::remove(kKnownFile);
  ASSERT_EQ(mkdir(kKnownFile, 0755), 0);  // a folder in the way
  select(listing_pane(), static_cast<uint32_t>(at), static_cast<uint32_t>(at + 4));
  dispatch_command(kMain, kCmdMarkKnown);
  EXPECT_EQ(messages(), std::vector<std::string>{"Cannot write to known words file:|known.tsv"});
  EXPECT_STREQ(describe_command(kCmdMarkKnown), "Could not write known.tsv");
  rmdir(kKnownFile);
}

// A name was stored for any selection that began with it: a longer
// selection takes the main dictionary's word, the whole name the name.
TEST_F(ShellTest, AddToWordListTookANameThatOnlyBeganTheSelection) {
  std::snprintf(word_list.date, sizeof word_list.date, "%s", "2024-05-06");
  write_file("enamdict", euc("日本橋 [にほんばし] /(p) Nihonbashi/") + "\n");
  write_file("enamdict.jdx", index_bytes({1, 3, 5}));
  get("日本橋の学生");
  // 日本橋の selected, as a text looked up directly (`single --add`) is.
  place_listing_text(euc("日本橋の"));
  make_listing_pane(kMain);
  select(listing_pane(), 0, 8);
  dispatch_command(kMain, kCmdAddToWordList);
  select(listing_pane(), 0, 6);  // 日本橋
  dispatch_command(kMain, kCmdAddToWordList);
  EXPECT_EQ(testing_support::read_file(kWordListFile),
            "日本\tにほん\tJapan\t日本橋の学生\t2024-05-06\n"
            "日本橋\tにほんばし\t(p) Nihonbashi\t日本橋の学生\t2024-05-06\n");
}

TEST_F(ShellTest, AboutAndUnknownIdsTouchNothing) {
  EXPECT_EQ(dispatch_command(kMain, kCmdAbout), CommandResult::kShowAbout);
  EXPECT_EQ(dispatch_command(kMain, 0), CommandResult::kUnknown);
  EXPECT_EQ(dispatch_command(kMain, 107), CommandResult::kUnknown);
  EXPECT_EQ(dispatch_command(kMain, 0x10000 + kCmdCopy), CommandResult::kUnknown);
  EXPECT_TRUE(desktop.events.empty());
}

TEST_F(ShellTest, SecondGetReplacesListingAndRomajiPanesButKeepsTheSinglePane) {
  get();
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  Window single = shell.single_pane;
  Window first_listing = shell.listing_pane;
  Window first_romaji = romaji.romaji_pane;
  ASSERT_NE(single, nullptr);

  set_clipboard_text(utf8_to_jis("先生"));  // the JIS Get this time
  EXPECT_EQ(dispatch_command(kMain, kCmdGetJis), CommandResult::kDone);
  EXPECT_NE(shell.listing_pane, first_listing);
  EXPECT_NE(romaji.romaji_pane, first_romaji);
  EXPECT_FALSE(pane_record(first_listing)->alive);
  EXPECT_FALSE(pane_record(first_romaji)->alive);
  EXPECT_EQ(shell.single_pane, single);
  EXPECT_TRUE(single_pane()->alive);
  EXPECT_EQ(living_panes(), 3);
  EXPECT_EQ(listing_pane()->text, with_crlf(euc("先生") + std::string(8, ' ') + line(1)));
}

// What the reader copied in another program is theirs: Clear All and Exit
// empty the clipboard only while it holds the program's own Copy.
TEST_F(ShellTest, ClearAllAndExitKeepTheReadersClipboard) {
  for (int command : {kCmdClearAll, kCmdExit, kCmdClearAll}) {
    set_clipboard_text("a note of the reader's");
    size_t first = desktop.events.size();
    dispatch_command(kMain, command);
    EXPECT_EQ(events_since(first), std::vector<Event>{});
    EXPECT_EQ(desktop.clipboard, "a note of the reader's");
  }
  // The program's own Copy goes; a text copied elsewhere after it stays.
  get();
  select(listing_pane(), 0, 4);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  size_t first = desktop.events.size();
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_EQ(events_since(first).front(), (Event{"clipboard-empty", kMain}));
  EXPECT_FALSE(desktop.clipboard_has_text);
  get();
  select(listing_pane(), 0, 4);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  set_clipboard_text("copied later elsewhere");
  EXPECT_EQ(dispatch_command(kMain, kCmdExit), CommandResult::kCloseWindow);
  EXPECT_EQ(desktop.clipboard, "copied later elsewhere");
}

TEST_F(ShellTest, CleanUpUnlocksTheLastGetsBlocksInOrderThenDestroysThePanes) {
  get();
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  Window listing = shell.listing_pane, single = shell.single_pane, rpane = romaji.romaji_pane;

  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);  // the clipboard holds the program's own text
  std::vector<Event> expected{{"clipboard-empty", kMain},
                              {"unlock", store.frame_block[0]},
                              {"unlock", lookup.listing_text_block},
                              {"unlock", romaji.table_file_block},
                              {"unlock", romaji.romaji_block}};
  for (int b = 1; b < 12; ++b) expected.push_back({"unlock", store.frame_block[b]});
  expected.push_back({"pane-destroy", listing});
  expected.push_back({"pane-destroy", single});
  expected.push_back({"pane-destroy", rpane});
  for (const Event& e : expected) ASSERT_NE(e.second, nullptr);

  size_t first = desktop.events.size();
  EXPECT_EQ(dispatch_command(kMain, kCmdExit), CommandResult::kCloseWindow);
  EXPECT_EQ(events_since(first), expected);

  // A second clean-up finds nothing left to unlock, destroy or empty.
  first = desktop.events.size();
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_EQ(events_since(first), std::vector<Event>{});
}

TEST_F(ShellTest, SingleLooksUpTheSelectedBytes) {
  get();
  // "学生" in the listing text: after 日本, the gap, the line (now with CR) and の.
  std::string text = listing_pane()->text;
  size_t word = text.find(euc("学生"));
  ASSERT_NE(word, std::string::npos);
  select(listing_pane(), word, word + 4);
  EXPECT_EQ(dispatch_command(kMain, kCmdSingle), CommandResult::kDone);

  EXPECT_EQ(hex(key()), hex(euc("学生")));
  ASSERT_NE(single_pane(), nullptr);
  EXPECT_EQ(single_pane()->y, 294);
  EXPECT_EQ(single_pane()->x, 10);
  EXPECT_EQ(single_pane()->height, 100);
  EXPECT_EQ(single_pane()->style, 0x50A00944u);
  // The entry matches both prefixes, 学生 and 学: listed once, whole, with
  // CR LF.
  EXPECT_EQ(hex(single_pane()->text), hex(euc("学生 [がくせい] /student/\r\n")));
  EXPECT_EQ(text_of(lookup.single_buffer), single_pane()->text);

  // A second Single replaces the pane.
  Window before = shell.single_pane;
  select(listing_pane(), 0, 2);  // 日
  dispatch_command(kMain, kCmdSingle);
  EXPECT_FALSE(pane_record(before)->alive);
  EXPECT_EQ(single_pane()->text, with_crlf(euc("日本 [にほん] /Japan/") + "\n"));
}

TEST_F(ShellTest, SingleKeyIsTheFirst50BytesAndNothingOfAnEarlierSelection) {
  get("日本の学生のにほんのにほんのにほんのにほんのにほんのにほんのにほん");
  std::string text = listing_pane()->text;
  ASSERT_GT(text.size(), size_t{70});

  select(listing_pane(), 3, 70);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(hex(key()), hex(text.substr(3, 50)));
  EXPECT_EQ(std::memcmp(shell.selection_buffer, text.data() + 3, 50), 0);

  select(listing_pane(), 0, 2);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(hex(key()), hex(euc("日")));
  for (size_t i = 2; i < kSearchKeySize; ++i) ASSERT_EQ(lookup.search_key[i], 0) << i;
  for (size_t i = 2; i < kSelectionBufferSize; ++i) ASSERT_EQ(shell.selection_buffer[i], 0) << i;
}

TEST_F(ShellTest, EmptyAndOutOfRangeSelections) {
  get();
  std::string text = listing_pane()->text;
  uint32_t size = static_cast<uint32_t>(text.size());

  // Nothing selected: an empty key, an empty single pane, the no-match line.
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(key(), "");
  EXPECT_EQ(single_pane()->text, "");
  EXPECT_STREQ(reinterpret_cast<const char*>(lookup.entry_line), "  NOMATCH  \n");

  // Start after end: empty.
  select(listing_pane(), 6, 2);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(key(), "");

  // A selection reaching past the shell's text (the user typed into the
  // pane) is cut at its end; one starting past it is empty.
  select(listing_pane(), size - 4, size + 500);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(hex(desktop.clipboard), hex(text.substr(size - 4)));
  // An empty selection copies nothing: the clipboard keeps its text.
  select(listing_pane(), size + 10, size + 20);
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(hex(desktop.clipboard), hex(text.substr(size - 4)));
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(key(), "");
  select(listing_pane(), 0xFFFFFFF0u, 0xFFFFFFFFu);
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(hex(desktop.clipboard), hex(text.substr(size - 4)));
}

TEST_F(ShellTest, SingleWithTheDictionaryClosedShowsAnEmptyPane) {
  // Before any Get, and after Clear All: the key is empty, no file is read.
  dispatch_command(kMain, kCmdSingle);
  ASSERT_NE(single_pane(), nullptr);
  EXPECT_EQ(single_pane()->text, "");
  EXPECT_EQ(key(), "");
  EXPECT_STREQ(reinterpret_cast<const char*>(lookup.entry_line), "  NOMATCH  \n");
  EXPECT_TRUE(recording.messages.empty());

  get();
  dispatch_command(kMain, kCmdClearAll);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(single_pane()->text, "");
  EXPECT_EQ(living_panes(), 1);
}

TEST_F(ShellTest, CopyTakesTheFocusedPanesSelection) {
  get();
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  std::string listing = listing_pane()->text;
  std::string single = single_pane()->text;
  std::string romaji_text = text_of(romaji.romaji_buffer);
  ASSERT_EQ(romaji_pane()->text, romaji_text);
  ASSERT_GT(romaji_text.size(), size_t{6});

  // Listing pane: the selected bytes, CR LF kept; the pane owns the clipboard.
  size_t crlf = listing.find("\r\n");
  ASSERT_NE(crlf, std::string::npos);
  select(listing_pane(), crlf - 3, crlf + 4);
  desktop.focus = shell.listing_pane;
  EXPECT_EQ(dispatch_command(kMain, kCmdCopy), CommandResult::kDone);
  EXPECT_EQ(hex(desktop.clipboard), hex(listing.substr(crlf - 3, 7)));
  EXPECT_EQ(desktop.events.back().subject, shell.listing_pane);

  // Single pane.
  select(single_pane(), 2, 12);
  desktop.focus = shell.single_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(hex(desktop.clipboard), hex(single.substr(2, 10)));
  EXPECT_EQ(desktop.events.back().subject, shell.single_pane);

  // The main window, the romaji pane or no window: the romaji pane.
  select(romaji_pane(), 1, 5);
  for (Window focus : {kMain, romaji.romaji_pane, Window{nullptr}}) {
    desktop.clipboard.clear();
    desktop.focus = focus;
    dispatch_command(kMain, kCmdCopy);
    EXPECT_EQ(hex(desktop.clipboard), hex(romaji_text.substr(1, 4)));
    EXPECT_EQ(desktop.events.back().subject, romaji.romaji_pane);
  }

  // Nothing selected: the clipboard keeps its text, the reader's included.
  set_clipboard_text("the reader's");
  const size_t events = desktop.events.size();
  select(romaji_pane(), 3, 3);
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, "the reader's");
  EXPECT_EQ(desktop.events.size(), events);
}

TEST_F(ShellTest, CopyBeforeAnyGetAndCopyThenExit) {
  set_clipboard_text("old");
  desktop.focus = kMain;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, "old");  // nothing to copy

  get();
  select(listing_pane(), 0, 4);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, euc("日本"));
  EXPECT_EQ(dispatch_command(kMain, kCmdExit), CommandResult::kCloseWindow);
  EXPECT_FALSE(desktop.clipboard_has_text);
  EXPECT_EQ(living_panes(), 0);
  // After the clean-up the focus is nowhere and nothing is selected.
  set_clipboard_text("new");
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, "new");
}

TEST_F(ShellTest, MissingEdictGivesItsTwoMessagesAndTheGetGoesOn) {
  std::remove("edict");
  get();
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"Cannot open dictionary file:|edict", "Stat() error| "}));
  EXPECT_NE(store.index_handle[0], kFileError);
  ASSERT_NE(listing_pane(), nullptr);
  ASSERT_NE(romaji_pane(), nullptr);
  // Every kanji is listed without a word.
  EXPECT_NE(listing_pane()->text.find("NOMATCH"), std::string::npos);

  // Single with the text file closed reads nothing.
  select(listing_pane(), 0, 2);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(single_pane()->text, "");
  EXPECT_EQ(recording.messages.size(), size_t{2});
}

TEST_F(ShellTest, MissingRomajiTableEndsTheProgramAfterTheListingPane) {
  std::remove("kanarom.cnv");
  set_clipboard_text(utf8_to_sjis("日本"));
  try {
    dispatch_command(kMain, kCmdGetShift);
    FAIL() << "the Get went on without kanarom.cnv";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.status, 1);
  }
  ASSERT_NE(living_pane_at(192), nullptr);
  EXPECT_EQ(living_pane_at(192)->text, with_crlf(euc("日本") + std::string(8, ' ') + line(2)));
  EXPECT_EQ(living_pane_at(0), nullptr);
}

TEST_F(ShellTest, CopyBufferFailureShowsItsMessageAndKeepsTheClipboard) {
  get();
  select(listing_pane(), 0, 4);
  desktop.focus = shell.listing_pane;
  set_clipboard_text("kept");
  fail_alloc_of_size(kCopyBufferSize);
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(messages(), (std::vector<std::string>{"malloc failed for copy buffers!| "}));
  EXPECT_EQ(desktop.clipboard, "kept");

  // The lock failing is the same to the user.
  recording.alloc_fails = nullptr;
  recording.lock_fails = [](size_t s) { return s == kCopyBufferSize; };
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(recording.messages.size(), size_t{2});
  EXPECT_EQ(desktop.clipboard, "kept");

  recording.lock_fails = nullptr;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, euc("日本"));
}

TEST_F(ShellTest, ListingTextFailureGivesAnEmptyListingPane) {
  set_clipboard_text(utf8_to_sjis("日本の学生"));
  read_clipboard_sjis(kMain);
  fail_alloc_of_size(kListingTextSize);  // the listing text, then the romaji buffer
  run_get_chain(kMain);
  ASSERT_NE(listing_pane(), nullptr);
  EXPECT_EQ(listing_pane()->text, "");
  EXPECT_EQ(lookup.listing_text, nullptr);
  ASSERT_NE(romaji_pane(), nullptr);

  recording.alloc_fails = nullptr;
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(key(), "");
  desktop.focus = shell.listing_pane;
  set_clipboard_text("kept");
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, "kept");
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_EQ(living_panes(), 0);
}

TEST_F(ShellTest, SingleBufferFailureGivesAnEmptySinglePane) {
  get();
  select(listing_pane(), 0, 4);
  fail_alloc_of_size(kSingleBufferSize);
  dispatch_command(kMain, kCmdSingle);
  ASSERT_NE(single_pane(), nullptr);
  EXPECT_EQ(single_pane()->text, "");
  EXPECT_EQ(lookup.single_buffer, nullptr);
  EXPECT_EQ(key(), euc("日本"));

  select(single_pane(), 0, 10);
  desktop.focus = shell.single_pane;
  set_clipboard_text("kept");
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, "kept");
}

TEST_F(ShellTest, GetSurvivesMissingKanjiAndListingBuffers) {
  // No kanji buffer (and no 40000-byte block at all): empty panes, no crash.
  set_clipboard_text(utf8_to_sjis("日本"));
  fail_alloc_of_size(kKanjiBufferSize);
  dispatch_command(kMain, kCmdGetShift);
  ASSERT_NE(listing_pane(), nullptr);
  EXPECT_EQ(listing_pane()->text, "");
  ASSERT_NE(romaji_pane(), nullptr);
  desktop.focus = kMain;
  select(romaji_pane(), 0, 100);
  dispatch_command(kMain, kCmdCopy);  // no copy buffer either: the message
  dispatch_command(kMain, kCmdClearAll);

  // No listing buffer: its message, then an empty listing pane.
  recording.messages.clear();
  fail_alloc_of_size(kListingBufferSize);
  dispatch_command(kMain, kCmdGetShift);
  EXPECT_EQ(messages(), (std::vector<std::string>{"malloc failed for kanji buffers2!| "}));
  ASSERT_NE(listing_pane(), nullptr);
  EXPECT_EQ(listing_pane()->text, "");
  EXPECT_EQ(lookup.listing_buffer, nullptr);
}

TEST_F(ShellTest, ListingTextOutgrowing40000BytesIsKeptWhole) {
  // 13000 short lines: 39000 bytes of listing, 52000 once each LF has its
  // CR. Their romaji (the full stops are dropped) fits its buffer.
  std::string passage;
  for (int i = 0; i < 13000; ++i) passage += "\xE3\x80\x82\n";  // 。
  get(passage);
  ASSERT_NE(listing_pane(), nullptr);
  EXPECT_FALSE(next_available());
  EXPECT_GE(lookup.listing_text_size, size_t{52001});
  std::string text = text_of(lookup.listing_text);
  const std::string expected = with_crlf(euc(passage));
  EXPECT_EQ(text.size(), size_t{52000});
  EXPECT_EQ(text, expected);
  EXPECT_EQ(listing_pane()->text, text);

  // Copying all of it loses nothing either.
  select(listing_pane(), 0, 52000);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard.size(), size_t{52000});
  EXPECT_EQ(desktop.clipboard, text);
}

// A pane's text without the notice at its end.
std::string without_notice(const std::string& pane) {
  return pane.substr(0, pane.size() - std::min(pane.size(), lookup.notice_text_length));
}

TEST_F(ShellTest, NextPagesThroughAPassageTooLongForOneListing) {
  std::string passage;
  for (int i = 0; i < 2000; ++i) passage += "日本の学生";
  get(passage);
  std::string whole_listing, whole_romaji;
  std::vector<int32_t> starts;
  for (int page = 0; page < 20; ++page) {
    starts.push_back(lookup.listing_start);
    ASSERT_NE(listing_pane(), nullptr);
    const bool more = next_available();
    if (more) {
      const std::string notice = "-- listing full: ";
      EXPECT_EQ(listing_pane()->text.rfind(notice),
                listing_pane()->text.size() - lookup.notice_text_length);
      EXPECT_EQ(
          romaji_pane()->text.substr(romaji_pane()->text.size() - lookup.notice_text_length),
          listing_pane()->text.substr(listing_pane()->text.size() - lookup.notice_text_length));
    }
    whole_listing += without_notice(listing_pane()->text);
    whole_romaji += without_notice(romaji_pane()->text);
    if (!more) break;
    EXPECT_EQ(dispatch_command(kMain, kCmdNext), CommandResult::kDone);
  }
  ASSERT_GE(starts.size(), 3u);
  EXPECT_EQ(lookup.listing_stop, lookup.passage_length);
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += expected_listing();
  EXPECT_EQ(whole_listing, with_crlf(expected));
  // Every page's romaji agrees with the page's listing.
  EXPECT_EQ(std::count(whole_romaji.begin(), whole_romaji.end(), '\n'), 4000);
  EXPECT_EQ(whole_romaji.find("-- listing full"), std::string::npos);

  // NEXT with nothing more does nothing; a Get starts the passage afresh.
  const size_t events = desktop.events.size();
  dispatch_command(kMain, kCmdNext);
  EXPECT_EQ(desktop.events.size(), events);
  get(passage);
  EXPECT_EQ(lookup.listing_start, 0);
  EXPECT_TRUE(next_available());
  dispatch_command(kMain, kCmdNext);
  EXPECT_EQ(lookup.listing_start, starts[1]);
  // Clear All forgets the passage.
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_FALSE(next_available());
  dispatch_command(kMain, kCmdNext);
  EXPECT_EQ(living_panes(), 0);
}

// A run of pages caches every page of the dictionaries in the folder (the
// files' sizes count, whatever they hold), within the classic 48 frames and
// the bound; a Get keeps the cache it was given, NEXT grows it for the run.
TEST_F(ShellTest, ARunOfPagesCachesTheDictionariesThereWithinItsBound) {
  EXPECT_EQ(frames_for_run_of_pages(), kDefaultFrameCount);  // the test dictionary is small
  std::filesystem::resize_file("edict", 100 * kPageSize);
  std::filesystem::resize_file("edict.jdx", 29 * kPageSize + 1);
  EXPECT_EQ(frames_for_run_of_pages(), 130);
  write_file("enamdict", "x");  // a slot without its index is not opened
  EXPECT_EQ(frames_for_run_of_pages(), 130);
  write_file("enamdict.jdx", "");
  EXPECT_EQ(frames_for_run_of_pages(), 131);
  std::filesystem::resize_file("enamdict", 4000 * kPageSize);
  EXPECT_EQ(frames_for_run_of_pages(), kRunFrameBound);
  // The forms mode's memos take their share of the bound.
  set_dictionary_forms(true);
  EXPECT_EQ(frames_for_run_of_pages(), kFormsRunFrameBound);
  set_dictionary_forms(false);

  write_dictionary();
  std::string passage;
  for (int i = 0; i < 2000; ++i) passage += "日本の学生";
  get(passage);
  EXPECT_EQ(store.frame_count, kDefaultFrameCount);
  std::filesystem::remove("enamdict");
  write_file("userdict", "");
  write_file("userdict.jdx", "");
  std::filesystem::resize_file("userdict", 300 * kPageSize);
  const int run_frames = frames_for_run_of_pages();
  EXPECT_GT(run_frames, kDefaultFrameCount);
  dispatch_command(kMain, kCmdNext);
  EXPECT_EQ(store.frame_count, run_frames);
  EXPECT_TRUE(store.frames_ready);
  EXPECT_NE(lookup.listing_start, 0);
  ASSERT_NE(listing_pane(), nullptr);
  EXPECT_NE(listing_pane()->text.find(euc("学生")), std::string::npos);
}

TEST_F(ShellTest, WhenTheRomajiFillsFirstBothPanesEndAtItsLastWholeLine) {
  write_file("kanarom.cnv", euc("$h\nし\tshi\n$k\n"));
  // 655 lines of 30 し: 39955 bytes of listing, which fits; their romaji
  // takes 92 bytes a line, and 433 lines leave room for the notice.
  std::string line;
  for (int k = 0; k < 30; ++k) line += "し";
  line += "\n";
  std::string passage;
  for (int i = 0; i < 655; ++i) passage += line;
  get(passage);
  const std::string notice =
      "-- listing full: 26,413 of 39,955 bytes listed; Get Dodevuz NEXT goes on --\r\n";
  std::string romaji_line = "\r\n";
  for (int k = 0; k < 30; ++k) romaji_line.insert(0, "shi");
  std::string listing, romaji_text;
  for (int i = 0; i < 433; ++i) listing += with_crlf(euc(line)), romaji_text += romaji_line;
  EXPECT_EQ(listing_pane()->text, listing + notice);
  EXPECT_EQ(romaji_pane()->text, romaji_text + notice);
  ASSERT_TRUE(next_available());

  dispatch_command(kMain, kCmdNext);
  listing.clear(), romaji_text.clear();
  for (int i = 433; i < 655; ++i) listing += with_crlf(euc(line)), romaji_text += romaji_line;
  EXPECT_EQ(listing_pane()->text, listing);
  EXPECT_EQ(romaji_pane()->text, romaji_text);
  EXPECT_FALSE(next_available());
}

TEST_F(ShellTest, ManyCommandsLeaveABoundedNumberOfBlocks) {
  get();
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  size_t after_first = recording.live_blocks;
  for (int round = 0; round < 30; ++round) {
    get();
    select(listing_pane(), 0, 4);
    dispatch_command(kMain, kCmdSingle);
    desktop.focus = shell.listing_pane;
    dispatch_command(kMain, kCmdCopy);
    if (round % 10 == 9) dispatch_command(kMain, kCmdClearAll);
  }
  get();
  select(listing_pane(), 0, 4);
  dispatch_command(kMain, kCmdSingle);
  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(recording.live_blocks, after_first);
}

// The sample data of the build, when it is there: a whole passage through
// Get, Single, Copy and Exit.
TEST(ShellSampleData, SamplePassageThroughEveryCommand) {
  const std::string data = DODEVUZ_DATA_DIR;
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
    if (testing_support::read_file(data + "/" + name).empty()) GTEST_SKIP() << "no " << name;
  }
  std::string passage =
      testing_support::read_file(std::string(DODEVUZ_SOURCE_DATA_DIR) + "/samples/passage.sjis");
  ASSERT_FALSE(passage.empty());
  ScratchDir dir;
  testing_support::copy_sample_data();
  reset_recording();
  reset_program_state();

  set_clipboard_text(passage);
  EXPECT_EQ(dispatch_command(kMain, kCmdGetShift), CommandResult::kDone);
  EXPECT_TRUE(recording.messages.empty()) << ::testing::PrintToString(messages());
  ASSERT_NE(listing_pane(), nullptr);
  ASSERT_NE(romaji_pane(), nullptr);
  const std::string text = listing_pane()->text;
  EXPECT_EQ(text, with_crlf(text_of(lookup.listing_buffer)));
  const std::string word = euc("勉強");
  const size_t at = text.find(word + std::string(8, ' ') + word);
  ASSERT_NE(at, std::string::npos) << "勉強 is not listed with its entry line";
  EXPECT_FALSE(romaji_pane()->text.empty());

  select(listing_pane(), static_cast<uint32_t>(at), static_cast<uint32_t>(at + word.size()));
  dispatch_command(kMain, kCmdSingle);
  EXPECT_EQ(key(), word);
  EXPECT_EQ(single_pane()->text.rfind(word, 0), size_t{0}) << single_pane()->text;

  desktop.focus = kMain;
  select(romaji_pane(), 0, static_cast<uint32_t>(romaji_pane()->text.size()));
  dispatch_command(kMain, kCmdCopy);
  EXPECT_EQ(desktop.clipboard, text_of(romaji.romaji_buffer));

  EXPECT_EQ(dispatch_command(kMain, kCmdExit), CommandResult::kCloseWindow);
  EXPECT_FALSE(desktop.clipboard_has_text);
  EXPECT_EQ(living_panes(), 0);
  reset_program_state();
}

}  // namespace
