// The desktop programs' shared pieces: pane layout, empty panes, status
// texts, the clipboard watch's decision, text size and the dictionary credit.
#include "shell/desktop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "wordlist/wordlist.h"

DesktopShell desktop_shell;

void reset_desktop_shell() {
  desktop_shell = DesktopShell{};
}

namespace {

constexpr int kMargin = 10;  // left, right and below the panes
constexpr int kGap = 2;      // between two panes
// Heights of the romaji, listing and single panes at the design size.
constexpr int kDesignHeights[] = {kRomajiPaneHeight, kListingPaneHeight, kSinglePaneHeight};
constexpr int kDesignSum = kRomajiPaneHeight + kListingPaneHeight + kSinglePaneHeight;

static_assert(kPaneX == kMargin && kPaneX + kPaneWidth + kMargin == kDesignClientWidth);
static_assert(kSinglePaneY + kSinglePaneHeight + kMargin == kDesignClientHeight);
static_assert(kListingPaneY == kRomajiPaneHeight + kGap &&
              kSinglePaneY == kListingPaneY + kListingPaneHeight + kGap);

// The status is cut to its buffer, NUL included.
void set_status(const std::string& text) {
  size_t n = std::min(text.size(), sizeof desktop_shell.status - 1);
  std::memcpy(desktop_shell.status, text.data(), n);
  desktop_shell.status[n] = 0;
}

std::string counted(size_t n, const char* one, const char* many) {
  return with_thousands(n) + " " + (n == 1 ? one : many);
}

size_t text_length(const unsigned char* text, size_t size) {
  if (text == nullptr) return 0;
  const void* nul = std::memchr(text, 0, size);
  return nul == nullptr ? size : static_cast<size_t>(static_cast<const unsigned char*>(nul) - text);
}

// Lines of a text, the last one counted whether or not it ends in 0x0A.
size_t count_lines(const unsigned char* text, size_t size) {
  size_t length = text_length(text, size);
  if (length == 0) return 0;
  size_t feeds = static_cast<size_t>(std::count(text, text + length, 0x0A));
  return text[length - 1] == 0x0A ? feeds : feeds + 1;
}

// Words the last listing found and the passage bytes it walked (all of
// them unless the listing filled), from its record of items.
struct ListingCounts {
  size_t words;
  size_t walked;
};

ListingCounts listing_counts() {
  ListingCounts counts{0, 0};
  for (int32_t k = 0; k < lookup.item_count; ++k) {
    const ListingItem& item = lookup.items[k];
    if (item.kind == ItemKind::kWord) ++counts.words;
    counts.walked =
        static_cast<size_t>(item.passage_offset) + static_cast<size_t>(item.passage_length);
  }
  return counts;
}

}  // namespace

PaneRect pane_rect(PaneRole role, int client_width, int client_height) {
  int width = std::max(client_width - 2 * kMargin, 0);
  int room = std::max(client_height - kMargin - 2 * kGap, 0);
  int heights[3];
  heights[0] = room * kDesignHeights[0] / kDesignSum;
  heights[1] = room * kDesignHeights[1] / kDesignSum;
  heights[2] = room - heights[0] - heights[1];  // the last takes what rounding left
  int index = static_cast<int>(role);
  int y = 0;
  for (int k = 0; k < index; ++k) y += heights[k] + kGap;
  return {kMargin, y, width, heights[index]};
}

int min_client_width(int pane_line_height) {
  // Room for a few characters of a line beside the scroll bar.
  return 2 * kMargin + std::max(8 * pane_line_height, 120);
}

int min_client_height(int pane_line_height) {
  // The smallest pane, the listing or the single one, gets its share of the
  // height first: every pane then has at least a line.
  int line = std::max(pane_line_height, 1);
  int room = (line * kDesignSum + kListingPaneHeight - 1) / kListingPaneHeight;
  return room + kMargin + 2 * kGap;
}

void make_missing_panes(Window main_window) {
  static const unsigned char kEmpty[] = "";
  struct Missing {
    Window* pane;
    int y, height;
    uint32_t style;
  };
  const Missing panes[] = {
      {&shell.listing_pane, kListingPaneY, kListingPaneHeight, kListingPaneStyle},
      {&shell.single_pane, kSinglePaneY, kSinglePaneHeight, kBorderedPaneStyle},
  };
  make_empty_romaji_pane(main_window);
  for (const Missing& m : panes) {
    if (*m.pane == nullptr) {
      *m.pane = pane_create(main_window, kPaneX, m.y, kPaneWidth, m.height, m.style, kEmpty);
    }
  }
}

const char* describe_command(int id) {
  switch (id) {
    case kCmdGetJis:
    case kCmdGetShift:
    case kCmdNext: {
      size_t passage = text_length(intake.kanji_buffer, kKanjiBufferSize);
      if (passage == 0) {
        set_status("The clipboard holds no text");
      } else if (!holds_japanese(intake.kanji_buffer, passage)) {
        set_status("No Japanese text on the clipboard");
      } else {
        ListingCounts counts = listing_counts();
        set_status("Listed " + counted(counts.words, "word", "words") + " from " +
                   with_thousands(counts.walked) + " of " + counted(passage, "byte", "bytes"));
      }
      break;
    }
    case kCmdSingle: {
      size_t lines = count_lines(lookup.single_buffer, kSingleBufferSize);
      if (lookup.search_key[0] == 0) {
        set_status("Nothing selected in the listing");
      } else {
        set_status(counted(lines, "entry line", "entry lines") + " for the selection");
      }
      break;
    }
    case kCmdCopy:
      set_status("Copied " + counted(text_length(memory_lock(shell.copy_block), kCopyBufferSize),
                                     "byte", "bytes"));
      memory_unlock(shell.copy_block);
      break;
    case kCmdClearAll:
      set_status("Cleared");
      break;
    case kCmdAddToWordList:
      switch (word_list.last) {
        case WordListOutcome::kAdded:
          set_status("Added to wordlist.tsv");
          break;
        case WordListOutcome::kAlreadyListed:
          set_status("Already in wordlist.tsv");
          break;
        case WordListOutcome::kFailed:
          set_status("Could not write wordlist.tsv");
          break;
        case WordListOutcome::kNoEntry:
        case WordListOutcome::kNone:
          set_status("Nothing to add: select a word in the listing");
          break;
      }
      break;
    case kCmdWatchClipboard:
      set_status(desktop_shell.watching ? "Watching the clipboard"
                                        : "Stopped watching the clipboard");
      break;
    case kCmdDictionaryForms:
      set_status(lookup.dictionary_forms ? "Dictionary forms: conjugated words by their own entry"
                                         : "Dictionary forms off: the classic listing");
      break;
    case kCmdTextLarger:
    case kCmdTextSmaller:
      set_status("Text size " + std::to_string(desktop_shell.text_points) + " points");
      break;
    default:
      break;
  }
  return desktop_shell.status;
}

bool holds_japanese(const unsigned char* euc, size_t length) {
  for (size_t i = 0; i < length && euc[i] != 0;) {
    unsigned char b = euc[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    // Kana (rows 4 and 5), kanji (from row 16 on), half-width katakana and
    // JIS X 0212 (kanji, mostly).
    if (b == 0xA4 || b == 0xA5 || b >= 0xB0 || b == 0x8E || b == 0x8F) return true;
    i += euc_lead_length(b);
  }
  return false;
}

int watch_command_for(const std::string& clipboard_bytes) {
  if (clipboard_bytes.empty()) return 0;
  const auto* in = reinterpret_cast<const unsigned char*>(clipboard_bytes.data());
  bool jis = clipboard_bytes.find('\x1B') != std::string::npos;
  std::vector<unsigned char> euc(kKanjiBufferSize);
  size_t length = jis ? convert_jis(in, clipboard_bytes.size(), euc.data(), euc.size())
                      : convert_sjis(in, clipboard_bytes.size(), euc.data(), euc.size());
  if (!holds_japanese(euc.data(), length)) return 0;
  return jis ? kCmdGetJis : kCmdGetShift;
}

bool toggle_watching() {
  desktop_shell.watching = !desktop_shell.watching;
  return desktop_shell.watching;
}

int step_text_points(int id) {
  int step = id == kCmdTextLarger ? 1 : id == kCmdTextSmaller ? -1 : 0;
  desktop_shell.text_points =
      std::clamp(desktop_shell.text_points + step, kMinTextPoints, kMaxTextPoints);
  return desktop_shell.text_points;
}

std::string with_thousands(size_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string dictionary_credit(const char* path) {
  int32_t file = file_open_read(path);
  if (file == kFileError) return {};
  char head[512];
  int32_t got = file_read_at(file, 0, head, sizeof head);
  file_close(file);
  if (got <= 0) return {};
  std::string line(head, static_cast<size_t>(got));
  line = line.substr(0, line.find_first_of("\r\n"));
  // HEADWORD [READING] /gloss/gloss/.../: the glosses, empty ones skipped.
  size_t slash = line.find('/');
  if (slash == std::string::npos) return {};
  std::string credit;
  for (size_t from = slash + 1; from < line.size();) {
    size_t end = line.find('/', from);
    if (end == std::string::npos) end = line.size();
    std::string gloss = line.substr(from, end - from);
    // The date of the release is no part of the credit.
    if (!gloss.empty() && gloss.rfind("Created:", 0) != 0) {
      if (!credit.empty()) credit += " - ";
      credit += gloss;
    }
    from = end + 1;
  }
  return credit;
}
