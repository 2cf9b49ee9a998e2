// The desktop programs' shared pieces: pane layout, empty panes, status
// texts, the clipboard watch's decision, text size, the dictionaries'
// credits, a text file opened, and the settings kept between runs.
#include "shell/desktop.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "intake/intake.h"
#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/kanji_details.h"
#include "shell/shell.h"
#include "store/store.h"
#include "wordlist/wordlist.h"

DesktopShell desktop_shell;

void reset_desktop_shell() {
  desktop_shell = DesktopShell{};
}

namespace {

constexpr int kMargin = 10;  // left, right and below the panes
constexpr int kGap = 2;      // between two panes
constexpr int kMaxShare = 100000;  // bound of a pane's share of the height

static_assert(kPaneX == kMargin && kPaneX + kPaneWidth + kMargin == kDesignClientWidth);
static_assert(kSinglePaneY + kSinglePaneHeight + kMargin == kDesignClientHeight);
static_assert(kListingPaneY == kRomajiPaneHeight + kGap &&
              kSinglePaneY == kListingPaneY + kListingPaneHeight + kGap);

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

// "Listed N words from X of Y characters", X and Y in the whole text the
// passage may be a page of.
std::string listed_text(size_t passage) {
  ListingCounts counts = listing_counts();
  const bool whole = !intake.text.empty();
  const auto* text = whole ? reinterpret_cast<const unsigned char*>(intake.text.data())
                           : intake.kanji_buffer;
  const size_t length = whole_text_length(passage);
  const size_t walked = std::min(whole_text_position(counts.walked), length);
  return "Listed " + counted(counts.words, "word", "words") + " from " +
         with_thousands(euc_characters(text, walked)) + " of " +
         counted(euc_characters(text, length), "character", "characters");
}

// The shares of the split, each at least 1.
void split_shares(int shares[3]) {
  for (int k = 0; k < 3; ++k) shares[k] = std::clamp(desktop_shell.split[k], 1, kMaxShare);
}

}  // namespace

const char* set_status(std::string_view text) {
  size_t n = std::min(text.size(), sizeof desktop_shell.status - 1);
  // Never half a UTF-8 character: back over continuation bytes.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(desktop_shell.status, text.data(), n);
  desktop_shell.status[n] = 0;
  return desktop_shell.status;
}

size_t euc_characters(const unsigned char* text, size_t length) {
  if (text == nullptr) return 0;
  size_t characters = 0;
  for (size_t at = 0; at < length; at += euc_lead_length(text[at])) ++characters;
  return characters;
}

PaneRect pane_rect(PaneRole role, int client_width, int client_height) {
  int width = std::max(client_width - 2 * kMargin, 0);
  int room = std::max(client_height - kMargin - 2 * kGap, 0);
  int shares[3];
  split_shares(shares);
  const long long sum = static_cast<long long>(shares[0]) + shares[1] + shares[2];
  int heights[3];
  heights[0] = static_cast<int>(room * static_cast<long long>(shares[0]) / sum);
  heights[1] = static_cast<int>(room * static_cast<long long>(shares[1]) / sum);
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
  // The smallest pane gets its share of the height first: every pane then
  // has at least a line (and one pixel for the rounding of the others).
  int line = std::max(pane_line_height, 1);
  int shares[3];
  split_shares(shares);
  const long long sum = static_cast<long long>(shares[0]) + shares[1] + shares[2];
  const int smallest = std::min({shares[0], shares[1], shares[2]});
  long long room = (line * sum + smallest - 1) / smallest + 2;
  return static_cast<int>(std::min<long long>(room, 1 << 20)) + kMargin + 2 * kGap;
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
        set_status(listed_text(passage));
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
    case kCmdCopy: {
      const unsigned char* copied = memory_lock(shell.copy_block);
      set_status("Copied " + counted(euc_characters(copied, text_length(copied, kCopyBufferSize)),
                                     "character", "characters"));
      memory_unlock(shell.copy_block);
      break;
    }
    case kCmdClearAll:
      set_status("Cleared");
      break;
    case kCmdAddToWordList: {
      const std::string path = word_list_path();
      switch (word_list.last) {
        case WordListOutcome::kAdded:
          set_status("Added to " + path);
          break;
        case WordListOutcome::kAlreadyListed:
          set_status("Already in " + path);
          break;
        case WordListOutcome::kFailed:
          set_status("Could not write " + path);
          break;
        case WordListOutcome::kNoEntry:
        case WordListOutcome::kNone:
          set_status("Nothing to add: select a word in the listing");
          break;
      }
      break;
    }
    case kCmdKanjiDetails:
      set_status(kanji_details_outcome_text());
      break;
    case kCmdMarkKnown:
      switch (known_words.last) {
        case KnownOutcome::kMarked:
          set_status("Marked as known in known.tsv");
          break;
        case KnownOutcome::kAlready:
          set_status("Already known");
          break;
        case KnownOutcome::kFailed:
          set_status("Could not write known.tsv");
          break;
        default:
          set_status("Nothing to mark: select a word in the listing");
          break;
      }
      break;
    case kCmdResetSettings:
      set_status("Settings reset to the defaults");
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

std::string kanji_dictionary_credit(const char* path, const std::string& dictionary_credit) {
  int32_t file = file_open_read(path);
  if (file == kFileError) return {};
  char head[512];
  int32_t got = file_read_at(file, 0, head, sizeof head);
  file_close(file);
  if (got <= 2 || head[0] != '#') return {};
  std::string line(head + 1, static_cast<size_t>(got - 1));
  line = line.substr(0, line.find_first_of("\r\n"));
  const size_t name_start = line.find_first_not_of(' ');
  if (name_start == std::string::npos) return {};
  const size_t name_end = line.find_first_of(" /", name_start);
  const std::string name = line.substr(name_start, name_end - name_start);
  // The holder: "Copyright HOLDER - YEAR" between slashes.
  const size_t copyright = line.find("Copyright ");
  if (copyright == std::string::npos) return {};
  const size_t holder_start = copyright + 10;
  std::string holder = line.substr(holder_start, line.find('/', holder_start) - holder_start);
  holder = holder.substr(0, holder.find(" - "));
  if (holder.empty()) return {};
  if (dictionary_credit.find(holder) != std::string::npos) holder = "the same holder";
  return "Kanji: " + name + ", " + holder + ", CC BY-SA";
}

const char* greyed_reason(int id) {
  if (id == kCmdNext && !next_available()) return "Nothing more to list";
  return nullptr;
}

const char* describe_unwatched(const std::string& clipboard_bytes) {
  return set_status(clipboard_bytes.empty() ? "Nothing to list: the clipboard holds no text"
                                            : "Nothing to list: no Japanese text on the clipboard");
}

std::string word_list_path() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(kWordListFile, error);
  if (error) return kWordListFile;
  const std::u8string text = path.make_preferred().u8string();
  return std::string(text.begin(), text.end());
}

std::vector<std::string> dictionary_credits() {
  std::vector<std::string> credits;
  for (int slot = 0; slot < kNamedSlots; ++slot) {
    const char* file = kSlotTextFile[slot];
    // A slot beyond the first is opened only with its index beside it.
    bool there = slot_ready(slot);
    if (!there) {
      int32_t text = file_open_read(file);
      int32_t index = slot == 0 ? kFileError : file_open_read(kSlotIndexFile[slot]);
      there = text != kFileError && (slot == 0 || index != kFileError);
      file_close(text);
      file_close(index);
    }
    if (!there) continue;
    std::string credit = dictionary_credit(file);
    std::string line = std::string(file) + ": " + (credit.empty() ? "(no credit line)" : credit);
    if (credit.find("Electronic Dictionary Research") != std::string::npos) {
      line += ". Licence: Creative Commons Attribution-ShareAlike (CC BY-SA)";
    }
    credits.push_back(line);
  }
  return credits;
}

const char* open_text(Window main_window, const std::string& bytes, const std::string& name) {
  DetectedEncoding found = detect_encoding(bytes);
  if (found.outcome != Detection::kFound) {
    set_status("Cannot open " + name + ": it " + detection_problem(found.outcome));
    return desktop_shell.status;
  }
  desktop_shell.opened_name = name;
  shell.main_window = main_window;
  place_whole_text(main_window, text_in_euc(bytes, found.encoding));
  run_get_chain(main_window);
  static const char* const kNames[] = {"UTF-8", "EUC-JP", "Shift-JIS", "JIS"};
  const size_t passage = text_length(intake.kanji_buffer, kKanjiBufferSize);
  set_status(passage == 0 ? name + " is empty"
                          : name + " (" + kNames[static_cast<int>(found.encoding)] +
                                "): " + listed_text(passage));
  return nullptr;
}

// ---- Settings ----------------------------------------------------------------

DesktopSettings current_settings() {
  DesktopSettings settings;
  for (int k = 0; k < 3; ++k) settings.split[k] = desktop_shell.split[k];
  settings.text_points = desktop_shell.text_points;
  settings.dictionary_forms = lookup.dictionary_forms;
  settings.watching = desktop_shell.watching;
  settings.last_folder = desktop_shell.last_folder;
  return settings;
}

void apply_settings(const DesktopSettings& settings) {
  for (int k = 0; k < 3; ++k) desktop_shell.split[k] = settings.split[k];
  desktop_shell.text_points = settings.text_points;
  desktop_shell.last_folder = settings.last_folder;
  set_dictionary_forms(settings.dictionary_forms);
}

namespace {

bool read_int(std::string_view text, int low, int high, int* out) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [at, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || at != end || value < low || value > high) return false;
  *out = value;
  return true;
}

bool read_bool(std::string_view text, bool* out) {
  int value = 0;
  if (!read_int(text, 0, 1, &value)) return false;
  *out = value == 1;
  return true;
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool read_setting(DesktopSettings* settings, std::string_view key, std::string_view value) {
  value = trimmed(value);
  DesktopSettings s = *settings;
  bool taken = false;
  if (key == "X") {
    taken = read_int(value, -100000, 100000, &s.x);
  } else if (key == "Y") {
    taken = read_int(value, -100000, 100000, &s.y);
  } else if (key == "Width") {
    taken = read_int(value, 0, 100000, &s.width);
  } else if (key == "Height") {
    taken = read_int(value, 0, 100000, &s.height);
  } else if (key == "Maximized") {
    taken = read_bool(value, &s.maximized);
  } else if (key == "Split") {
    // Three shares, "100,190,100".
    std::string_view rest = value;
    taken = true;
    for (int k = 0; k < 3 && taken; ++k) {
      const size_t comma = k < 2 ? rest.find(',') : rest.size();
      taken = comma != std::string_view::npos &&
              read_int(trimmed(rest.substr(0, comma)), 1, kMaxShare, &s.split[k]);
      if (taken && k < 2) rest.remove_prefix(comma + 1);
    }
  } else if (key == "TextSize") {
    taken = read_int(value, kMinTextPoints, kMaxTextPoints, &s.text_points);
  } else if (key == "DictionaryForms") {
    taken = read_bool(value, &s.dictionary_forms);
  } else if (key == "WatchClipboard") {
    taken = read_bool(value, &s.watching);
  } else if (key == "LastFolder") {
    s.last_folder = std::string(value);
    taken = true;
  }
  if (taken) *settings = s;
  return taken;
}

std::vector<std::pair<std::string, std::string>> setting_values(const DesktopSettings& settings) {
  std::vector<std::pair<std::string, std::string>> values;
  if (settings.x != kUnsetPosition && settings.y != kUnsetPosition) {
    values.emplace_back("X", std::to_string(settings.x));
    values.emplace_back("Y", std::to_string(settings.y));
  }
  if (settings.width > 0 && settings.height > 0) {
    values.emplace_back("Width", std::to_string(settings.width));
    values.emplace_back("Height", std::to_string(settings.height));
  }
  values.emplace_back("Maximized", settings.maximized ? "1" : "0");
  values.emplace_back("Split", std::to_string(settings.split[0]) + "," +
                                   std::to_string(settings.split[1]) + "," +
                                   std::to_string(settings.split[2]));
  values.emplace_back("TextSize", std::to_string(settings.text_points));
  values.emplace_back("DictionaryForms", settings.dictionary_forms ? "1" : "0");
  values.emplace_back("WatchClipboard", settings.watching ? "1" : "0");
  // A folder name with a line break in it would break the file: left out.
  if (settings.last_folder.find_first_of("\r\n") == std::string::npos) {
    values.emplace_back("LastFolder", settings.last_folder);
  }
  return values;
}

std::string settings_text(const DesktopSettings& settings) {
  std::string text = "[Dodevuz]\n";
  for (const auto& [key, value] : setting_values(settings)) text += key + "=" + value + "\n";
  return text;
}

DesktopSettings settings_from_text(std::string_view text) {
  DesktopSettings settings;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;  // a section, a blank or a damaged line
    read_setting(&settings, trimmed(line.substr(0, equals)), line.substr(equals + 1));
  }
  return settings;
}
