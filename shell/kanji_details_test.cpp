// "Kanji Details" on the recording platform: the details of the listing
// selection's kanji go through the single buffer, whole blocks only when
// they do not all fit, always NUL-terminated; the status texts; and the
// status line's note on a selection, and the About box's kanji credit.
#include "shell/kanji_details.h"

#include <gtest/gtest.h>

#include <string>

#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "shell/desktop.h"
#include "shell/shell.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::ScratchDir;
using testing_support::write_file;

int main_window_object;
Window const kMain = &main_window_object;

class KanjiDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_program_state();
    reset_kanji();
  }
  void TearDown() override {
    reset_program_state();
    reset_kanji();
  }

  // text stands as the listing, selected from start to end.
  void select_in_listing(const std::string& text, uint32_t start, uint32_t end) {
    place_listing_text(text);
    make_listing_pane(kMain);
    PaneRecord* listing = pane_record(shell.listing_pane);
    listing->sel_start = start;
    listing->sel_end = end;
  }
  std::string single_text() {
    return lookup.single_buffer ? reinterpret_cast<const char*>(lookup.single_buffer) : "(none)";
  }

  ScratchDir dir_;
};

// The kanji of JIS rows 16 and 17 with long meanings: their blocks together
// run past the single buffer.
std::string long_kanjidic(std::string* text) {
  std::string file;
  for (int cell = 0x21; cell < 0x21 + 20; ++cell) {
    const char kanji[] = {static_cast<char>(0xB0), static_cast<char>(cell | 0x80), 0};
    char code[8];
    std::snprintf(code, sizeof code, "30%02X", cell);
    file += std::string(kanji) + " " + code + " S7 {" + std::string(150, 'm') + "}\n";
    *text += kanji;
  }
  return file;
}

TEST_F(KanjiDetailsTest, DetailsThatOverrunTheSingleBufferKeepWholeBlocks) {
  std::string text;
  write_file(kKanjiFile, long_kanjidic(&text));
  select_in_listing(text, 0, static_cast<uint32_t>(text.size()));
  EXPECT_EQ(dispatch_command(kMain, kCmdKanjiDetails), CommandResult::kDone);
  ASSERT_NE(lookup.single_buffer, nullptr);
  EXPECT_EQ(lookup.single_buffer[kSingleBufferSize - 1], 0);
  const std::string shown = single_text();
  const std::string all = kanji_blocks(text, false);
  ASSERT_GT(all.size(), kSingleBufferSize);
  EXPECT_EQ(all.rfind(shown, 0), 0u);
  EXPECT_EQ(shown.substr(shown.size() - 2), "\r\n");  // the end of a block
  EXPECT_EQ(kanji_details.last, KanjiDetailsOutcome::kShown);
  EXPECT_EQ(kanji_details.shown, kanji_in_text(shown).size());
  EXPECT_LT(kanji_details.shown, 20u);
  EXPECT_EQ(std::string(describe_command(kCmdKanjiDetails)),
            "Details of " + std::to_string(kanji_details.shown) + " kanji");
  EXPECT_EQ(pane_record(shell.single_pane)->text, shown);
}

TEST_F(KanjiDetailsTest, NoKanjiNoDictionaryAndTheSelectionsNote) {
  write_file(kKanjiFile, euc("本 4B5C S5 G1 {book}\n"));
  const std::string text = euc("本を読む");
  select_in_listing(text, 2, static_cast<uint32_t>(text.size()));  // を読む: 読 is not there
  EXPECT_EQ(selection_kanji_status(), nullptr);
  select_in_listing(text, 0, 2);
  ASSERT_NE(selection_kanji_status(), nullptr);
  EXPECT_EQ(std::string(selection_kanji_status()), euc("本: 5 strokes, grade 1"));

  select_in_listing(text, 2, 4);  // を
  dispatch_command(kMain, kCmdKanjiDetails);
  EXPECT_EQ(std::string(describe_command(kCmdKanjiDetails)), "No kanji in the selection");
  EXPECT_EQ(single_text(), "");

  std::remove(kKanjiFile);
  reset_kanji();
  select_in_listing(text, 0, 2);
  dispatch_command(kMain, kCmdKanjiDetails);
  EXPECT_EQ(std::string(describe_command(kCmdKanjiDetails)),
            "No kanji dictionary: kanjidic is missing");
  EXPECT_EQ(selection_kanji_status(), nullptr);
  EXPECT_TRUE(recording.messages.empty());
}

TEST(KanjiCredit, FromTheFilesFirstLine) {
  ScratchDir dir;
  write_file("kanjidic",
             "# KANJIDIC JIS X 0208 Kanji Information File/See the docs/Copyright Some "
             "Group - 2016/2022-08-23/\n");
  EXPECT_EQ(kanji_dictionary_credit("kanjidic", "EDICT - Copyright Other Group - 2021"),
            "Kanji: KANJIDIC, Some Group, CC BY-SA");
  EXPECT_EQ(kanji_dictionary_credit("kanjidic", "EDICT - Copyright Some Group - 2021"),
            "Kanji: KANJIDIC, the same holder, CC BY-SA");
  write_file("kanjidic", euc("本 4B5C S5 {book}\n"));
  EXPECT_EQ(kanji_dictionary_credit("kanjidic", ""), "");
  EXPECT_EQ(kanji_dictionary_credit("missing", ""), "");
}

}  // namespace
