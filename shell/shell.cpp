// The shell's commands on any platform: the dispatch of the menu ids, the Get
// chain, the listing text and pane, "Single Dodevuz", "Copy" and the clean-up
// of "Clear All" and "Exit". Window work (the About box, closing the window)
// is left to the front end through the CommandResult.
#include "shell/shell.h"

#include <algorithm>
#include <cstring>

#include "deinflect/deinflect.h"
#include "intake/intake.h"
#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "readings/readings.h"
#include "romaji/romaji.h"
#include "shell/kanji_details.h"
#include "store/store.h"
#include "wordlist/wordlist.h"

Shell shell;

void reset_passage_state() {
  // The panes and the shell's own block go first; each subsystem's reset
  // gives back the files and blocks it holds, so a fresh start leaks nothing.
  for (Window* pane : {&shell.listing_pane, &shell.single_pane}) {
    pane_destroy(*pane);
    *pane = nullptr;
  }
  destroy_romaji_pane();
  memory_unlock(shell.copy_block);
  memory_free(shell.copy_block);
  shell.copy_block = nullptr;
  reset_intake();
  reset_lookup();
  reset_romaji();
  reset_word_list();
  reset_known_words();
  // The kanji table stays: it depends on kanjidic alone, and a server
  // starts afresh at every request (reset_kanji forgets it).
  reset_kanji_details();
  shell = Shell{};
}

void reset_program_state(int frame_count) {
  reset_passage_state();
  reset_store(frame_count);
  reset_deinflect();
  reset_readings();
}

namespace {

// Length of the NUL-terminated text in a buffer of size bytes; a missing
// buffer reads as empty, and a text that lost its NUL ends at the buffer's end.
size_t text_length(const unsigned char* text, size_t size) {
  if (text == nullptr) return 0;
  const void* nul = std::memchr(text, 0, size);
  return nul == nullptr ? size : static_cast<size_t>(static_cast<const unsigned char*>(nul) - text);
}

// A pane's selection as a byte range of the shell's own copy of its text.
// The pane may show edits the user typed, so its offsets can reach past that
// copy: the range is cut at the copy's end, and a start at or past the end
// gives an empty selection.
struct Range {
  size_t start;
  size_t length;
};

Range selected_range(Window pane, size_t source_length) {
  uint32_t start = 0, end = 0;
  pane_selection(pane, &start, &end);  // 0 and 0 for a missing pane
  size_t last = std::min<size_t>(end, source_length);
  if (start >= last) return {0, 0};
  return {start, last - start};
}

const unsigned char kEmptyText[] = "";

// Frame blocks that the page cache was set up with, in allocation order.
int frame_block_count() {
  return std::clamp((store.frame_count + kFramesPerBlock - 1) / kFramesPerBlock, 0,
                    kMaxFrameBlocks);
}

}  // namespace

CommandResult dispatch_command(Window main_window, int id) {
  shell.main_window = main_window;
  switch (id) {
    case kCmdGetJis:
      read_clipboard_jis(main_window);
      run_get_chain(main_window);
      return CommandResult::kDone;
    case kCmdGetShift:
      read_clipboard_sjis(main_window);
      run_get_chain(main_window);
      return CommandResult::kDone;
    case kCmdNext:
      run_next_chain(main_window);
      return CommandResult::kDone;
    case kCmdSingle:
      lookup_selected_text(main_window);
      return CommandResult::kDone;
    case kCmdCopy:
      copy_selection(main_window);
      return CommandResult::kDone;
    case kCmdAddToWordList:
      add_selected_word(main_window);
      return CommandResult::kDone;
    case kCmdKanjiDetails:
      show_kanji_details(main_window);
      return CommandResult::kDone;
    case kCmdMarkKnown:
      mark_selected_known(main_window);
      return CommandResult::kDone;
    case kCmdClearAll:
      clean_up(main_window);
      return CommandResult::kDone;
    case kCmdDictionaryForms:
      toggle_dictionary_forms(main_window);
      return CommandResult::kDone;
    case kCmdAbout:
      return CommandResult::kShowAbout;
    case kCmdExit:
      clean_up(main_window);
      return CommandResult::kCloseWindow;
    default:
      return CommandResult::kUnknown;
  }
}

// The romaji of a listing can outgrow its buffer before the listing fills
// its own (kana spelled in three letters). Both panes then end at the last
// line whose romaji fits, with the notice, and NEXT goes on from there. Each
// round ends the listing earlier; the romaji of a shorter listing fits.
void end_where_romaji_stops(Window main_window) {
  for (int round = 0; round < 3 && romaji.romaji_cut && romaji.romaji_buffer != nullptr; ++round) {
    if (!end_listing_at(romaji.line_text_end)) break;
    create_listing_pane(main_window);
    build_romaji_text(main_window);
  }
}

namespace {

// The listing of the kanji buffer from start. When the buffer holds a page
// of a longer text, the walk stops short of the page's end, where a key
// would be cut, and the listing ends with the notice: NEXT goes on with the
// next page.
void list_page_from(Window main_window, int32_t start) {
  build_listing_page(main_window, start, page_walk_limit());
  end_page_listing();
}

void run_chain_from(Window main_window, int32_t start) {
  // From here on the Get's blocks are locked until the next clean-up.
  shell.get_blocks_locked = true;
  open_dictionaries(main_window);
  // Read anew with every Get, as the romaji table is; a table that cannot be
  // read is reported and the listing is the classic one.
  if (lookup.dictionary_forms) load_deinflect_table(main_window);
  list_page_from(main_window, start);
  create_listing_pane(main_window);
  load_romaji_table();  // ends the program when kanarom.cnv is missing
  build_romaji_text(main_window);
  end_where_romaji_stops(main_window);
}

}  // namespace

void run_get_chain(Window main_window) {
  run_chain_from(main_window, 0);
}

bool next_available() {
  return listing_has_more();
}

void run_next_chain(Window main_window) {
  if (!next_available()) return;
  // The frames are set up anew by the chain's open_dictionaries.
  store.frame_count = std::max(store.frame_count, frames_for_run_of_pages());
  // Past the page's limit the next page of the whole text takes over, from
  // where this listing stopped.
  if (text_continues() && lookup.listing_stop >= page_walk_limit()) {
    place_text_page(main_window, intake.page_start + static_cast<size_t>(lookup.listing_stop));
    run_chain_from(main_window, 0);
    return;
  }
  run_chain_from(main_window, lookup.listing_stop);
}

int frames_for_run_of_pages() {
  int64_t frames = 0;
  for (int slot = 0; slot < kNamedSlots; ++slot) {
    uint32_t text = 0, index = 0;
    if (file_size(kSlotTextFile[slot], &text) != 0 ||
        file_size(kSlotIndexFile[slot], &index) != 0) {
      continue;
    }
    frames +=
        (int64_t{text} + kPageSize - 1) / kPageSize + (int64_t{index} + kPageSize - 1) / kPageSize;
  }
  const int bound = lookup.dictionary_forms ? kFormsRunFrameBound : kRunFrameBound;
  return static_cast<int>(std::clamp<int64_t>(frames, kDefaultFrameCount, bound));
}

void open_for_pages(Window main_window) {
  shell.get_blocks_locked = true;
  open_dictionaries(main_window);
  if (lookup.dictionary_forms) load_deinflect_table(main_window);
  load_romaji_table();
}

void run_page_chain(Window main_window, int32_t start, int32_t limit) {
  build_listing_page(main_window, start, limit);
  create_listing_pane(main_window);
  build_romaji_text(main_window);
  end_where_romaji_stops(main_window);
}

void toggle_dictionary_forms(Window main_window) {
  set_dictionary_forms(!lookup.dictionary_forms);
  // The passage in hand is listed again only while the Get's blocks and
  // files are there: before any Get and after a clean-up there is nothing
  // to list.
  if (!shell.get_blocks_locked || !slot_ready(0) || intake.kanji_buffer == nullptr) return;
  if (lookup.dictionary_forms) load_deinflect_table(main_window);
  // The page in hand: the walk starts again where its listing started.
  list_page_from(main_window, lookup.listing_start);
  create_listing_pane(main_window);
  build_romaji_text(main_window);
  end_where_romaji_stops(main_window);
}

void create_listing_pane(Window main_window) {
  build_listing_text();
  make_listing_pane(main_window);
}

void make_listing_pane(Window main_window) {
  if (shell.listing_pane != nullptr) pane_destroy(shell.listing_pane);
  // Without memory for the text the pane is still made, empty, so that the
  // panes are those of any Get.
  shell.listing_pane =
      pane_create(main_window, kPaneX, kListingPaneY, kPaneWidth, kListingPaneHeight,
                  kListingPaneStyle, lookup.listing_text ? lookup.listing_text : kEmptyText);
}

void lookup_selected_text(Window main_window) {
  if (shell.single_pane != nullptr) {
    pane_destroy(shell.single_pane);
    shell.single_pane = nullptr;
  }

  Range sel = selected_range(shell.listing_pane,
                             text_length(lookup.listing_text, lookup.listing_text_size));
  size_t taken = std::min(sel.length, kSelectionBufferSize);
  // Cleared first: nothing of an earlier, longer selection remains.
  std::memset(shell.selection_buffer, 0, sizeof shell.selection_buffer);
  if (taken > 0) std::memcpy(shell.selection_buffer, lookup.listing_text + sel.start, taken);
  set_search_key(shell.selection_buffer, taken);
  if (lookup.dictionary_forms && !deinflect.loaded && any_slot_open()) {
    load_deinflect_table(main_window);
  }
  lookup_selection();  // a new single buffer, filled when the key finds lines

  shell.single_pane =
      pane_create(main_window, kPaneX, kSinglePaneY, kPaneWidth, kSinglePaneHeight,
                  kBorderedPaneStyle, lookup.single_buffer ? lookup.single_buffer : kEmptyText);
}

namespace {

// The passage offset of the listing item that holds listing text offset at
// (the listing text has a 0x0D before each 0x0A of the listing buffer), or
// -1 when the record has no such item.
int32_t passage_offset_at(size_t at, int32_t* length) {
  const unsigned char* listing = lookup.listing_buffer;
  if (listing == nullptr || lookup.item_count <= 0) return -1;
  size_t in_buffer = 0;
  for (size_t in_text = 0;
       in_text < at && in_buffer < kListingBufferSize && listing[in_buffer] != 0; ++in_buffer) {
    in_text += listing[in_buffer] == 0x0A ? 2 : 1;
  }
  for (int32_t n = 0; n < lookup.item_count; ++n) {
    const ListingItem& item = lookup.items[n];
    if (in_buffer >= static_cast<size_t>(item.listing_offset) &&
        in_buffer < static_cast<size_t>(item.listing_offset) + item.listing_length) {
      *length = item.passage_length;
      return item.passage_offset;
    }
  }
  return -1;
}

}  // namespace

namespace {

// Bytes of the selection (the search key) without blanks and line ends at
// its end.
size_t selection_length() {
  size_t n = strnlen(reinterpret_cast<const char*>(lookup.search_key), kSearchKeySize);
  while (n > 0 && lookup.search_key[n - 1] <= ' ') --n;
  return n;
}

// Bytes of an entry line's headword (up to its first blank).
size_t headword_length(const unsigned char* line) {
  size_t n = 0;
  while (n < kEntryLineSize && line[n] != 0 && line[n] != ' ' && line[n] != 0x0A) ++n;
  return n;
}

std::string line_text(const unsigned char* line) {
  size_t n = strnlen(reinterpret_cast<const char*>(line), kEntryLineSize);
  while (n > 0 && (line[n - 1] == 0x0A || line[n - 1] == 0x0D)) --n;
  return std::string(reinterpret_cast<const char*>(line), n);
}

// The sentence of the passage around the word whose listing item holds the
// selection's start (the listing text's own when there is none).
std::string_view selected_sentence() {
  const Range sel = selected_range(shell.listing_pane,
                                   text_length(lookup.listing_text, lookup.listing_text_size));
  int32_t word_length = 0;
  const int32_t offset = sel.length > 0 ? passage_offset_at(sel.start, &word_length) : -1;
  if (offset >= 0 && intake.kanji_buffer != nullptr) {
    const std::string_view passage(reinterpret_cast<const char*>(intake.kanji_buffer),
                                   text_length(intake.kanji_buffer, kKanjiBufferSize));
    return sentence_around(passage, static_cast<size_t>(offset), static_cast<size_t>(word_length));
  }
  if (sel.length == 0) return {};
  const std::string_view text(reinterpret_cast<const char*>(lookup.listing_text),
                              text_length(lookup.listing_text, lookup.listing_text_size));
  return sentence_around(text, sel.start, sel.length);
}

}  // namespace

SelectedEntry selected_entry() {
  SelectedEntry chosen;
  const size_t whole = selection_length();
  if (whole == 0 || !any_slot_open()) return chosen;
  // A name (the names dictionary's headword) only where it is the whole
  // selection: a longer one only begins with it by chance (鳴 in 鳴いていた).
  const auto takes = [whole](int slot, size_t headword) {
    return slot != kNamesSlot || headword == whole;
  };
  if (lookup.dictionary_forms && deinflect.loaded) {
    constexpr int kCandidates = 8;
    static FormsMatch matches[kCandidates];  // large; one lookup runs at a time
    const unsigned char* key = lookup.search_key;
    const int count = lookup_forms(key, whole, key[0] == 0xA4, matches, kCandidates);
    for (int i = 0; i < count; ++i) {
      if (!takes(matches[i].slot, matches[i].surface_length)) continue;
      chosen.line = line_text(matches[i].line);
      chosen.form = line_text(matches[i].prefix);
      while (!chosen.form.empty() && chosen.form.back() == ' ') chosen.form.pop_back();
      return chosen;
    }
  }
  if (const size_t length = lookup_headword(); length > 0 && takes(lookup.headword_slot, length)) {
    chosen.line = line_text(lookup.entry_line);
    return chosen;
  }
  for_each_selection_line([&](const unsigned char* line, size_t) {
    if (!takes(store.current_slot, headword_length(line))) return true;
    chosen.line = line_text(line);
    return false;
  });
  return chosen;
}

void add_selected_word(Window main_window) {
  lookup_selected_text(main_window);
  const SelectedEntry entry = selected_entry();
  if (add_word(kWordListFile, entry.line, selected_sentence(), entry.form) ==
      WordListOutcome::kFailed) {
    message_box(main_window, "Cannot write to word list file:", kWordListFile);
  }
}

void mark_selected_known(Window main_window) {
  lookup_selected_text(main_window);
  const EntryFields f = entry_fields(selected_entry().line);
  if (mark_known(kKnownFile, euc_to_utf8(f.headword), euc_to_utf8(f.reading)) ==
      KnownOutcome::kFailed) {
    message_box(main_window, "Cannot write to known words file:", kKnownFile);
  }
}

void copy_selection(Window main_window) {
  Window focus = focus_window();
  Window pane;
  const unsigned char* source;
  size_t source_length;
  if (focus != nullptr && focus == shell.listing_pane) {
    pane = shell.listing_pane;
    source = lookup.listing_text;
    source_length = text_length(source, lookup.listing_text_size);
  } else if (focus != nullptr && focus == shell.single_pane) {
    pane = shell.single_pane;
    source = lookup.single_buffer;
    source_length = text_length(source, kSingleBufferSize);
  } else {
    pane = romaji.romaji_pane;
    source = romaji.romaji_buffer;
    source_length = text_length(source, kRomajiBufferSize);
  }

  Range sel = selected_range(pane, source_length);
  // Nothing selected, nothing to copy: the clipboard keeps what the reader
  // put there.
  if (sel.length == 0) return;
  // The copy buffer has its usual 40000 bytes, or room for the whole
  // selection and its NUL when a long listing text is selected, so that a
  // copy never loses the end of what was selected.
  size_t size = std::max(kCopyBufferSize, sel.length + 1);
  unsigned char* copy = renew_block(&shell.copy_block, size, true);
  if (copy == nullptr) {
    // Without the buffer the clipboard keeps what it holds.
    message_box(main_window, "malloc failed for copy buffers!", " ");
    return;
  }
  if (sel.length > 0) std::memcpy(copy, source + sel.start, sel.length);
  clipboard_write_text(pane, copy, sel.length);
}

void clean_up(Window main_window) {
  // The clipboard is emptied only while it holds this program's own Copy:
  // what the reader copied in another program since is theirs to keep.
  if (clipboard_holds_own_copy()) clipboard_empty(main_window);
  for (int slot = 0; slot < kSlotCount; ++slot) close_dictionary(slot);
  forget_listing_position();  // NEXT has nothing to go on with

  // The last Get's blocks are unlocked once; a second clean-up in a row finds
  // nothing locked. The blocks themselves are freed when the next command
  // renews them.
  if (shell.get_blocks_locked) {
    int frame_blocks = frame_block_count();
    if (frame_blocks > 0) memory_unlock(store.frame_block[0]);
    unlock_listing_text();
    unlock_romaji_buffers();
    for (int i = 1; i < frame_blocks; ++i) memory_unlock(store.frame_block[i]);
    shell.get_blocks_locked = false;
  }

  for (Window* pane : {&shell.listing_pane, &shell.single_pane}) {
    if (*pane != nullptr) pane_destroy(*pane);
    *pane = nullptr;
  }
  destroy_romaji_pane();
}
