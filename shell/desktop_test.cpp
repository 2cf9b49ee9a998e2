// The desktop programs' shared pieces on the recording platform: the pane
// layout at any client size, the empty panes of a new window, the status
// texts after real commands, the clipboard watch's choice and the
// dictionary credit.
#include "shell/desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "shell/shell.h"
#include "store/store.h"
#include "tests/program_testing.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::index_bytes;
using testing_support::ScratchDir;
using testing_support::write_file;

// EUC-JP text as the Shift-JIS a clipboard holds.
std::string euc_to_sjis_for_test(const std::string& euc_text) {
  return utf8_to_sjis(euc_to_utf8(euc_text));
}

int main_window_object;
Window const kMain = &main_window_object;

constexpr PaneRole kRoles[] = {PaneRole::kRomaji, PaneRole::kListing, PaneRole::kSingle};

TEST(PaneLayout, DesignSizeGivesTheShellsGeometry) {
  // With the shares of the shell's own places.
  reset_desktop_shell();
  desktop_shell.split[0] = kRomajiPaneHeight;
  desktop_shell.split[1] = kListingPaneHeight;
  desktop_shell.split[2] = kSinglePaneHeight;
  PaneRect romaji = pane_rect(PaneRole::kRomaji, kDesignClientWidth, kDesignClientHeight);
  PaneRect listing = pane_rect(PaneRole::kListing, kDesignClientWidth, kDesignClientHeight);
  PaneRect single = pane_rect(PaneRole::kSingle, kDesignClientWidth, kDesignClientHeight);
  EXPECT_EQ((std::vector<int>{romaji.x, romaji.y, romaji.width, romaji.height}),
            (std::vector<int>{kPaneX, kRomajiPaneY, kPaneWidth, kRomajiPaneHeight}));
  EXPECT_EQ((std::vector<int>{listing.x, listing.y, listing.width, listing.height}),
            (std::vector<int>{kPaneX, kListingPaneY, kPaneWidth, kListingPaneHeight}));
  EXPECT_EQ((std::vector<int>{single.x, single.y, single.width, single.height}),
            (std::vector<int>{kPaneX, kSinglePaneY, kPaneWidth, kSinglePaneHeight}));
  reset_desktop_shell();
}

TEST(PaneLayout, TheListingGetsTheLargestShareAtStart) {
  reset_desktop_shell();
  PaneRect romaji = pane_rect(PaneRole::kRomaji, kDesignClientWidth, kDesignClientHeight);
  PaneRect listing = pane_rect(PaneRole::kListing, kDesignClientWidth, kDesignClientHeight);
  PaneRect single = pane_rect(PaneRole::kSingle, kDesignClientWidth, kDesignClientHeight);
  EXPECT_GT(listing.height, romaji.height + single.height / 2);
  EXPECT_EQ(listing.y, romaji.y + romaji.height + 2);
  EXPECT_EQ(single.y + single.height, kDesignClientHeight - 10);
  // Shares out of all bounds still give panes in order inside the area.
  desktop_shell.split[0] = 0;
  desktop_shell.split[1] = -5;
  desktop_shell.split[2] = 2000000000;
  int bottom = 0;
  for (PaneRole role : kRoles) {
    PaneRect r = pane_rect(role, 650, 404);
    EXPECT_GE(r.height, 0);
    EXPECT_GE(r.y, bottom);
    bottom = r.y + r.height;
  }
  EXPECT_LE(bottom, 394);
  reset_desktop_shell();
}

TEST(PaneLayout, PanesFillAnySizeInOrderAndProportion) {
  for (int width : {0, 5, 19, 20, 300, 650, 1917}) {
    for (int height : {0, 3, 13, 14, 15, 200, 404, 405, 1080, 4000}) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
      int bottom = 0;
      for (PaneRole role : kRoles) {
        PaneRect r = pane_rect(role, width, height);
        EXPECT_GE(r.width, 0);
        EXPECT_GE(r.height, 0);
        EXPECT_LE(r.x + r.width, std::max(width, 10));
        EXPECT_GE(r.y, bottom);  // below the pane above, never overlapping
        bottom = r.y + r.height;
      }
      // Down to the bottom margin whenever there is room for the gaps.
      if (height >= 14) {
        EXPECT_EQ(bottom, height - 10);
      }
      if (height >= 404) {
        // The listing pane keeps 19/39 of the room, the others 10/39 each
        // (within the pixel lost to rounding).
        int room = height - 14;
        EXPECT_NEAR(pane_rect(PaneRole::kRomaji, width, height).height, room * 10 / 39.0, 1);
        EXPECT_NEAR(pane_rect(PaneRole::kListing, width, height).height, room * 19 / 39.0, 1);
        EXPECT_NEAR(pane_rect(PaneRole::kSingle, width, height).height, room * 10 / 39.0, 1.5);
      }
    }
  }
}

TEST(PaneLayout, MinimumSizeShowsALineOfEachPane) {
  for (int line : {1, 12, 16, 23, 40}) {
    int w = min_client_width(line), h = min_client_height(line);
    for (PaneRole role : kRoles) {
      EXPECT_GE(pane_rect(role, w, h).height, line) << line;
      EXPECT_GE(pane_rect(role, w, h).width, 2 * line) << line;
    }
  }
  // The start-up size is above the minimum of a usual font.
  EXPECT_LE(min_client_height(20), kDesignClientHeight);
  EXPECT_LE(min_client_width(20), kDesignClientWidth);
}

TEST(Japanese, KanaKanjiAndHalfWidthKatakanaCount) {
  EXPECT_TRUE(holds_japanese(reinterpret_cast<const unsigned char*>(euc("abc かな").c_str()), 9));
  EXPECT_TRUE(holds_japanese(reinterpret_cast<const unsigned char*>(euc("カ").c_str()), 2));
  EXPECT_TRUE(holds_japanese(reinterpret_cast<const unsigned char*>(euc("漢").c_str()), 2));
  EXPECT_TRUE(holds_japanese(reinterpret_cast<const unsigned char*>("\x8E\xB1"), 2));
  EXPECT_TRUE(holds_japanese(reinterpret_cast<const unsigned char*>("\x8F\xB0\xA1"), 3));
  // Full-width punctuation, Latin, Greek, Cyrillic and box drawing are not.
  std::string others = euc("、。「」ＡＢ１αβЖ─");
  EXPECT_FALSE(
      holds_japanese(reinterpret_cast<const unsigned char*>(others.c_str()), others.size()));
  EXPECT_FALSE(holds_japanese(reinterpret_cast<const unsigned char*>("plain English"), 13));
  // The length bounds the scan: a kanji past it is not seen.
  std::string late = "ab" + euc("漢");
  EXPECT_FALSE(holds_japanese(reinterpret_cast<const unsigned char*>(late.c_str()), 2));
}

TEST(Watch, PicksTheGetForJapaneseTextOnly) {
  EXPECT_EQ(watch_command_for(utf8_to_sjis("今日は晴れ")), kCmdGetShift);
  EXPECT_EQ(watch_command_for(utf8_to_jis("今日は晴れ")), kCmdGetJis);
  EXPECT_EQ(watch_command_for("\xB1\xB2"), kCmdGetShift);  // half-width katakana
  EXPECT_EQ(watch_command_for(""), 0);
  EXPECT_EQ(watch_command_for("Just an English line.\r\n"), 0);
  EXPECT_EQ(watch_command_for(utf8_to_sjis("「」、。１２３")), 0);
  EXPECT_EQ(watch_command_for("\x1B(B only an escape"), 0);
  // A long text whose Japanese lies near its end is still seen.
  EXPECT_EQ(watch_command_for(std::string(30000, 'x') + utf8_to_sjis("猫")), kCmdGetShift);
}

TEST(Numbers, ThousandsSeparators) {
  EXPECT_EQ(with_thousands(0), "0");
  EXPECT_EQ(with_thousands(999), "999");
  EXPECT_EQ(with_thousands(1000), "1,000");
  EXPECT_EQ(with_thousands(39998), "39,998");
  EXPECT_EQ(with_thousands(1234567), "1,234,567");
}

TEST(TextSize, StepsWithinItsBounds) {
  reset_desktop_shell();
  EXPECT_EQ(desktop_shell.text_points, kDefaultTextPoints);
  EXPECT_EQ(step_text_points(kCmdTextLarger), kDefaultTextPoints + 1);
  for (int i = 0; i < 100; ++i) step_text_points(kCmdTextLarger);
  EXPECT_EQ(desktop_shell.text_points, kMaxTextPoints);
  for (int i = 0; i < 100; ++i) step_text_points(kCmdTextSmaller);
  EXPECT_EQ(desktop_shell.text_points, kMinTextPoints);
  EXPECT_STREQ(describe_command(kCmdTextSmaller), "Text size 6 points");
  reset_desktop_shell();
}

class DesktopCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_program_state();
    reset_desktop_shell();
    write_file("edict",
               euc("　？？？ /Test dictionary/Copyright Somebody - 2024/Created: 2024-01-01/\n"
                   "日本 [にほん] /Japan/\n"));
    write_file(
        "edict.jdx",
        index_bytes({1 + static_cast<int32_t>(euc("　？？？ /Test dictionary/Copyright Somebody - "
                                                  "2024/Created: 2024-01-01/\n")
                                                  .size())}));
    write_file("kanarom.cnv", euc("$h\nに\tni\n$k\n"));
  }
  void TearDown() override {
    reset_program_state();
    reset_desktop_shell();
  }
  ScratchDir dir_;
};

TEST_F(DesktopCommands, ThreeEmptyPanesBeforeTheFirstGetAndAfterClearAll) {
  make_missing_panes(kMain);
  ASSERT_NE(testing_support::romaji_pane(), nullptr);
  ASSERT_NE(testing_support::listing_pane(), nullptr);
  ASSERT_NE(testing_support::single_pane(), nullptr);
  EXPECT_EQ(testing_support::romaji_pane()->y, kRomajiPaneY);
  EXPECT_EQ(testing_support::listing_pane()->style, kListingPaneStyle);
  EXPECT_EQ(testing_support::single_pane()->height, kSinglePaneHeight);
  EXPECT_EQ(testing_support::listing_pane()->text, "");

  // Nothing is made twice; a Get replaces the panes as ever.
  make_missing_panes(kMain);
  EXPECT_EQ(desktop.panes.size(), 3u);
  set_clipboard_text(utf8_to_sjis("日本"));
  dispatch_command(kMain, kCmdGetShift);
  make_missing_panes(kMain);
  EXPECT_EQ(desktop.panes.size(), 5u);
  EXPECT_NE(testing_support::listing_pane()->text, "");

  dispatch_command(kMain, kCmdClearAll);
  make_missing_panes(kMain);
  EXPECT_EQ(testing_support::listing_pane()->text, "");
  EXPECT_TRUE(testing_support::romaji_pane()->alive && testing_support::single_pane()->alive);
}

TEST_F(DesktopCommands, StatusSaysWhatAGetFound) {
  struct Case {
    std::string clipboard;
    const char* status;
  };
  for (const Case& c : {Case{utf8_to_sjis("日本の日本"), "Listed 2 words from 5 of 5 characters"},
                        Case{utf8_to_sjis("日本 and"), "Listed 1 word from 6 of 6 characters"},
                        Case{"", "The clipboard holds no text"},
                        Case{"Only English here.", "No Japanese text on the clipboard"}}) {
    set_clipboard_text(c.clipboard);
    dispatch_command(kMain, kCmdGetShift);
    EXPECT_STREQ(describe_command(kCmdGetShift), c.status);
  }
  // A passage of 4,000 bytes: the separators show.
  std::string passage;
  for (int i = 0; i < 1000; ++i) passage += "日本";
  set_clipboard_text(utf8_to_jis(passage));
  dispatch_command(kMain, kCmdGetJis);
  EXPECT_STREQ(describe_command(kCmdGetJis), "Listed 1,000 words from 2,000 of 2,000 characters");
}

TEST_F(DesktopCommands, StatusOfTheListingThatFilledStopsWhereItStopped) {
  // Each 日本 (4 bytes) writes 4 + 8 + a 17-byte line: the 40960-byte
  // listing holds some 1200 of them, far fewer than the 9999 of the passage.
  std::string passage;
  for (int i = 0; i < 9999; ++i) passage += utf8_to_sjis("日本");
  set_clipboard_text(passage);
  dispatch_command(kMain, kCmdGetShift);
  std::string status = describe_command(kCmdGetShift);
  // The listing (and its romaji) stopped full, at a whole word.
  ASSERT_TRUE(lookup.listing_full);
  size_t words = static_cast<size_t>(lookup.listing_stop) / 4;
  EXPECT_EQ(lookup.listing_stop % 4, 0);
  EXPECT_GT(words, 1000u);
  EXPECT_EQ(status, "Listed " + with_thousands(words) + " words from " + with_thousands(words * 2) +
                        " of 19,998 characters");
  // NEXT lists the following words.
  dispatch_command(kMain, kCmdNext);
  EXPECT_EQ(std::string(describe_command(kCmdNext)).substr(0, 7), "Listed ");
}

TEST_F(DesktopCommands, StatusOfSingleCopyClearAndWatch) {
  dispatch_command(kMain, kCmdSingle);
  EXPECT_STREQ(describe_command(kCmdSingle), "Nothing selected in the listing");
  set_clipboard_text(utf8_to_sjis("日本"));
  dispatch_command(kMain, kCmdGetShift);
  testing_support::listing_pane()->sel_start = 0;
  testing_support::listing_pane()->sel_end = 4;
  dispatch_command(kMain, kCmdSingle);
  // As many as the single pane shows (Single lists the word under each of
  // its prefixes).
  size_t lines = 0;
  for (char c : testing_support::single_pane()->text) lines += c == '\n';
  ASSERT_GE(lines, 1u);
  EXPECT_EQ(
      std::string(describe_command(kCmdSingle)),
      std::to_string(lines) + (lines == 1 ? " entry line" : " entry lines") + " for the selection");

  desktop.focus = shell.listing_pane;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_STREQ(describe_command(kCmdCopy), "Copied 2 characters");
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_STREQ(describe_command(kCmdClearAll), "Cleared");
  EXPECT_TRUE(toggle_watching());
  EXPECT_STREQ(describe_command(kCmdWatchClipboard), "Watching the clipboard");
  EXPECT_FALSE(toggle_watching());
  EXPECT_STREQ(describe_command(kCmdWatchClipboard), "Stopped watching the clipboard");
  // About and unknown ids leave it.
  EXPECT_STREQ(describe_command(kCmdAbout), "Stopped watching the clipboard");
}

TEST_F(DesktopCommands, OwnCopyIsToldFromOtherText) {
  EXPECT_FALSE(clipboard_holds_own_copy());
  set_clipboard_text(utf8_to_sjis("日本"));
  EXPECT_FALSE(clipboard_holds_own_copy());
  dispatch_command(kMain, kCmdGetShift);
  desktop.focus = shell.listing_pane;
  pane_record(shell.listing_pane)->sel_end = 2;
  dispatch_command(kMain, kCmdCopy);
  EXPECT_TRUE(clipboard_holds_own_copy());
  set_clipboard_text("another program's text");
  EXPECT_FALSE(clipboard_holds_own_copy());
  dispatch_command(kMain, kCmdCopy);
  EXPECT_TRUE(clipboard_holds_own_copy());
  dispatch_command(kMain, kCmdClearAll);
  EXPECT_FALSE(clipboard_holds_own_copy());
}

TEST_F(DesktopCommands, CreditComesFromTheFirstLineOfTheDictionary) {
  EXPECT_EQ(euc_to_utf8(dictionary_credit("edict")), "Test dictionary - Copyright Somebody - 2024");
  EXPECT_EQ(dictionary_credit("no such file"), "");
  write_file("flat", "no slash in this line\nA /later/\n");
  EXPECT_EQ(dictionary_credit("flat"), "");
  write_file("crlf", "X /one//two/\r\n");
  EXPECT_EQ(dictionary_credit("crlf"), "one - two");
  // A first line longer than what is read gives its glosses so far.
  write_file("long", "X /" + std::string(2000, 'a') + "/\n");
  EXPECT_EQ(dictionary_credit("long").size(), 512u - 3u);
}

// The passage bytes the listing's items cover, from the kanji buffer.
std::string listed_passage() {
  std::string out;
  for (int32_t k = 0; k < lookup.item_count; ++k) {
    const ListingItem& item = lookup.items[k];
    out.append(reinterpret_cast<const char*>(intake.kanji_buffer) + item.passage_offset,
               static_cast<size_t>(item.passage_length));
  }
  return out;
}

// A clipboard text longer than the kanji buffer used to be cut at 39,998
// bytes, its rest dropped without a word.
TEST_F(DesktopCommands, LongClipboardTextPagesToItsRealEnd) {
  std::string text;  // 100,000 bytes of EUC-JP, odd lines to move the cuts
  for (int i = 0; text.size() < 99980; ++i) {
    text += (i % 7 == 3) ? euc("日本の本。\n") : euc("日本");
  }
  text.resize(100000, 'x');
  set_clipboard_text(euc_to_sjis_for_test(text));
  dispatch_command(kMain, kCmdGetShift);
  std::string listed = listed_passage();
  const std::string characters = with_thousands(
      euc_characters(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
  const std::string first = describe_command(kCmdGetShift);
  EXPECT_EQ(first.substr(first.find(" of ")), " of " + characters + " characters") << first;
  const std::string notice = testing_support::listing_pane()->text;
  EXPECT_NE(notice.find(" of 100,000 bytes listed; Get Dodevuz NEXT goes on --"),
            std::string::npos);
  int pages = 1;
  while (next_available() && pages < 1000) {
    dispatch_command(kMain, kCmdNext);
    listed += listed_passage();
    ++pages;
  }
  // Every byte once, in order, to the text's real end.
  ASSERT_EQ(listed.size(), text.size());
  const auto differ = std::mismatch(listed.begin(), listed.end(), text.begin());
  EXPECT_TRUE(differ.first == listed.end()) << "from byte " << (differ.first - listed.begin());
  EXPECT_GT(pages, 3);
  const std::string last = describe_command(kCmdNext);
  EXPECT_EQ(last.substr(last.find(" from ")),
            " from " + characters + " of " + characters + " characters");
  EXPECT_EQ(testing_support::listing_pane()->text.find("listing full"), std::string::npos);
  EXPECT_STREQ(greyed_reason(kCmdNext), "Nothing more to list");
  // A short text after it is the classic one again: no page, no notice.
  set_clipboard_text(utf8_to_sjis("日本"));
  dispatch_command(kMain, kCmdGetShift);
  EXPECT_FALSE(next_available());
  EXPECT_EQ(greyed_reason(kCmdGetShift), nullptr);
}

TEST_F(DesktopCommands, OpenedFilesListAsAGetInAnyOfTheFourEncodings) {
  const std::string passage = "日本の本は日本にある。\n";
  set_clipboard_text(utf8_to_sjis(passage));
  dispatch_command(kMain, kCmdGetShift);
  const std::string classic = testing_support::listing_pane()->text;
  struct Case {
    std::string bytes;
    const char* encoding;
  };
  for (const Case& c : {Case{passage, "UTF-8"}, Case{"\xEF\xBB\xBF" + passage, "UTF-8"},
                        Case{euc(passage), "EUC-JP"}, Case{utf8_to_sjis(passage), "Shift-JIS"},
                        Case{utf8_to_jis(passage), "JIS"}}) {
    SCOPED_TRACE(c.encoding);
    dispatch_command(kMain, kCmdClearAll);
    EXPECT_EQ(open_text(kMain, c.bytes, "本.txt"), nullptr);
    EXPECT_EQ(testing_support::listing_pane()->text, classic);
    EXPECT_EQ(std::string(desktop_shell.status),
              std::string("本.txt (") + c.encoding + "): Listed 2 words from 12 of 12 characters");
  }
  // An empty file lists nothing; one whose encoding cannot be told changes
  // nothing and says why.
  EXPECT_EQ(open_text(kMain, "", "empty.txt"), nullptr);
  EXPECT_STREQ(desktop_shell.status, "empty.txt is empty");
  open_text(kMain, euc(passage), "a.txt");
  for (const std::string& bad : {std::string("\x88\xA0\xFF\xFE"), std::string("\xB0\xA1")}) {
    const char* problem = open_text(kMain, bad, "b.txt");
    ASSERT_NE(problem, nullptr);
    EXPECT_EQ(std::string(problem).rfind("Cannot open b.txt: it ", 0), 0u) << problem;
    EXPECT_EQ(testing_support::listing_pane()->text, classic);
  }
}

TEST_F(DesktopCommands, AboutCreditsEveryOpenDictionaryWithItsLicence) {
  write_file("enamdict", "\xA1\xA1 /ENAMDICT - names/Copyright Electronic Dictionary Research "
                         "& Development Group - 2019/\n");
  // Without its index the names dictionary is not opened: no credit.
  std::vector<std::string> credits = dictionary_credits();
  ASSERT_EQ(credits.size(), 1u);
  EXPECT_EQ(euc_to_utf8(credits[0]), "edict: Test dictionary - Copyright Somebody - 2024");
  write_file("enamdict.jdx", index_bytes({1}));
  credits = dictionary_credits();
  ASSERT_EQ(credits.size(), 2u);
  EXPECT_EQ(credits[1],
            "enamdict: ENAMDICT - names - Copyright Electronic Dictionary Research & Development "
            "Group - 2019. Licence: Creative Commons Attribution-ShareAlike (CC BY-SA)");
  std::remove("edict");
  std::remove("enamdict");
  EXPECT_TRUE(dictionary_credits().empty());
}

TEST(Watch, AChangeWithoutTextSaysThereIsNothingToList) {
  EXPECT_STREQ(describe_unwatched(""), "Nothing to list: the clipboard holds no text");
  EXPECT_STREQ(describe_unwatched("plain"), "Nothing to list: no Japanese text on the clipboard");
}

TEST(Status, LongTextsAreCutAtAWholeCharacter) {
  reset_desktop_shell();
  std::string name;
  while (name.size() < 2 * kStatusSize) name += "日本";
  const std::string status = set_status(name);
  EXPECT_LT(status.size(), kStatusSize);
  EXPECT_EQ(status.size() % 3, 0u);  // whole three-byte characters only
  EXPECT_EQ(name.rfind(status, 0), 0u);
  reset_desktop_shell();
}

TEST(Settings, RoundTripThroughTheirFile) {
  DesktopSettings settings;
  settings.x = -20;
  settings.y = 40;
  settings.width = 900;
  settings.height = 700;
  settings.maximized = true;
  settings.split[0] = 50;
  settings.split[1] = 400;
  settings.split[2] = 120;
  settings.text_points = 14;
  settings.dictionary_forms = true;
  settings.watching = true;
  settings.last_folder = "/home/読者/テキスト";
  const std::string text = settings_text(settings);
  DesktopSettings back = settings_from_text(text);
  EXPECT_EQ(settings_text(back), text);
  EXPECT_EQ(back.last_folder, settings.last_folder);
  EXPECT_EQ(back.split[1], 400);
  // Line ends of another system read the same.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(settings_text(settings_from_text(crlf)), text);
  // A default run keeps no window place.
  EXPECT_EQ(settings_text(DesktopSettings{}).find("X="), std::string::npos);
}

TEST(Settings, DamagedOrMissingFileGivesTheDefaults) {
  const std::string defaults = settings_text(DesktopSettings{});
  EXPECT_EQ(settings_text(settings_from_text("")), defaults);
  EXPECT_EQ(settings_text(settings_from_text(std::string("\0\xFF\x01garbage\n==\n", 13))),
            defaults);
  // Each damaged value is passed over; the others are kept.
  DesktopSettings s = settings_from_text(
      "[Dodevuz]\nTextSize=99\nSplit=1,2\nWidth=abc\nHeight=-5\nDictionaryForms=2\n"
      "WatchClipboard=1\nSplit=3,x,4\nX=12junk\nY=40\nLastFolder=  /tmp/a  \n");
  EXPECT_EQ(s.text_points, kDefaultTextPoints);
  EXPECT_EQ(s.split[0], kDefaultSplit[0]);
  EXPECT_EQ(s.split[2], kDefaultSplit[2]);
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.height, 0);
  EXPECT_FALSE(s.dictionary_forms);
  EXPECT_TRUE(s.watching);
  EXPECT_EQ(s.x, kUnsetPosition);
  EXPECT_EQ(s.y, 40);
  EXPECT_EQ(s.last_folder, "/tmp/a");
  // A folder holding a line break is not written, so it cannot break the file.
  DesktopSettings odd;
  odd.last_folder = "a\nTextSize=30";
  EXPECT_EQ(settings_from_text(settings_text(odd)).text_points, kDefaultTextPoints);
}

TEST_F(DesktopCommands, SettingsApplyToTheProgram) {
  DesktopSettings settings;
  settings.text_points = 20;
  settings.dictionary_forms = true;
  settings.split[1] = 500;
  apply_settings(settings);
  EXPECT_EQ(desktop_shell.text_points, 20);
  EXPECT_TRUE(lookup.dictionary_forms);
  EXPECT_EQ(current_settings().split[1], 500);
  apply_settings(DesktopSettings{});
  EXPECT_FALSE(current_settings().dictionary_forms);
  EXPECT_EQ(settings_text(current_settings()), settings_text(DesktopSettings{}));
}

}  // namespace
