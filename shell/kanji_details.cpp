// "Kanji Details" and the status line's note on a selection. The details go
// through the single buffer, as Single's lines do, so that every reader of
// the single pane (Copy, the panes' own copy) sees the same bytes.
#include "shell/kanji_details.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/pane_layout.h"
#include "platform/text_units.h"
#include "shell/shell.h"

KanjiDetailsShell kanji_details;

void reset_kanji_details() {
  kanji_details = KanjiDetailsShell{};
}

namespace {

const unsigned char kEmpty[] = "";

// The listing pane's selection, cut at the end of the listing text.
std::string_view listing_selection() {
  if (shell.listing_pane == nullptr || lookup.listing_text == nullptr) return {};
  uint32_t start = 0, end = 0;
  pane_selection(shell.listing_pane, &start, &end);
  const auto* text = reinterpret_cast<const char*>(lookup.listing_text);
  const size_t length = strnlen(text, lookup.listing_text_size);
  const size_t last = std::min<size_t>(end, length);
  if (start >= last) return {};
  return std::string_view(text + start, last - start);
}

// The part of blocks that fits limit bytes: whole blocks (each ends at a
// blank line), else the first block's whole characters.
size_t fitting_length(std::string_view blocks, size_t limit) {
  if (blocks.size() <= limit) return blocks.size();
  size_t fit = 0;
  for (size_t at = blocks.find("\r\n\r\n"); at != std::string_view::npos && at + 2 <= limit;
       at = blocks.find("\r\n\r\n", at + 2)) {
    fit = at + 2;
  }
  return fit > 0 ? fit : euc_whole_prefix(blocks, limit);
}

}  // namespace

void show_kanji_details(Window main_window) {
  if (shell.single_pane != nullptr) {
    pane_destroy(shell.single_pane);
    shell.single_pane = nullptr;
  }
  const std::string_view selection = listing_selection();
  const size_t count = kanji_in_text(selection).size();
  std::string blocks;
  kanji_details.shown = 0;
  if (count == 0) {
    kanji_details.last = KanjiDetailsOutcome::kNoKanji;
  } else if (!kanji_available()) {
    kanji_details.last = KanjiDetailsOutcome::kNoDictionary;
  } else {
    blocks = kanji_blocks(selection, false);
    kanji_details.last = KanjiDetailsOutcome::kShown;
  }
  unsigned char* single = renew_block(&lookup.single_block, kSingleBufferSize, true);
  lookup.single_buffer = single;
  if (single != nullptr && !blocks.empty()) {
    const size_t length = fitting_length(blocks, kSingleBufferSize - 1);
    std::memcpy(single, blocks.data(), length);  // zero-filled: the NUL is there
    const std::string_view kept(blocks.data(), length);
    kanji_details.shown = kanji_in_text(kept).size();
  }
  shell.single_pane = pane_create(main_window, kPaneX, kSinglePaneY, kPaneWidth, kSinglePaneHeight,
                                  kBorderedPaneStyle, single != nullptr ? single : kEmpty);
}

const char* kanji_details_outcome_text() {
  static char text[64];
  switch (kanji_details.last) {
    case KanjiDetailsOutcome::kShown:
      std::snprintf(text, sizeof text, "Details of %zu kanji", kanji_details.shown);
      return text;
    case KanjiDetailsOutcome::kNoKanji:
      return "No kanji in the selection";
    case KanjiDetailsOutcome::kNoDictionary:
      return "No kanji dictionary: kanjidic is missing";
    case KanjiDetailsOutcome::kNone:
      break;
  }
  return "";
}

const char* selection_kanji_status() {
  const uint16_t code = first_kanji(listing_selection());
  KanjiDetails details;
  if (code == 0 || !find_kanji(code, &details)) return nullptr;
  const std::string note = kanji_status(details);
  const size_t n = euc_whole_prefix(note, sizeof kanji_details.status - 1);
  std::memcpy(kanji_details.status, note.data(), n);
  kanji_details.status[n] = 0;
  return kanji_details.status;
}
