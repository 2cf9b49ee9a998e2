// The API's requests as commands of the program: each starts the program
// afresh (as the command line does), runs the shell's Get chain or "Single
// Dodevuz" on the request's text, and answers with what the listing walk
// recorded. Texts are converted between UTF-8 and EUC-JP here, at the edge;
// the JSON is made with nlohmann::json.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "deinflect/deinflect.h"
#include "intake/intake.h"
#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "serve/json_text.h"
#include "serve/senses.h"
#include "serve/serve.h"
#include "shell/shell.h"
#include "store/store.h"
#include "wordlist/wordlist.h"

#ifndef DODEVUZ_VERSION
#define DODEVUZ_VERSION "0"
#endif

using nlohmann::json;

namespace {

constexpr char kEdict[] = "edict";
constexpr char kEdictIndex[] = "edict.jdx";

// Ends each segment of a text that is spelled in romaji in one walk; the
// walk copies ASCII as it stands and ends a kana run at it.
constexpr char kSegmentEnd = 0x1F;
// Bytes of segments spelled in one walk: kana grow at most by half again in
// romaji, so the romaji buffer always holds them.
constexpr size_t kRomajiBatch = 16000;
// Passage bytes a lookup reads from its position on (the longest key).
constexpr size_t kKeyReach = 20;

Window serve_window() {
  // Any distinct address serves: the in-memory desktop only compares windows.
  static int main_window;
  return &main_window;
}

// The sizes of the dictionary files the store has open, as file_size gives
// them (text, index per named slot; 0 for a file that is not there).
struct DictionaryFiles {
  uint32_t sizes[kNamedSlots][2];
  bool operator==(const DictionaryFiles&) const = default;
};

DictionaryFiles dictionary_files() {
  DictionaryFiles files{};
  for (int slot = 0; slot < kNamedSlots; ++slot) {
    if (file_size(kSlotTextFile[slot], &files.sizes[slot][0]) != 0) files.sizes[slot][0] = 0;
    if (file_size(kSlotIndexFile[slot], &files.sizes[slot][1]) != 0) files.sizes[slot][1] = 0;
  }
  return files;
}

// Page frames for the server's cache: the dictionaries it has open, whole,
// up to kServeCacheBytes; a reader pages through long texts, and each page
// then reads from memory what an earlier page brought in.
int serve_frame_count(const DictionaryFiles& files) {
  uint64_t bytes = 0;
  for (const auto& slot : files.sizes) bytes += uint64_t{slot[0]} + slot[1];
  bytes = std::min<uint64_t>(bytes, kServeCacheBytes);
  return bounded_frame_count(
      static_cast<long long>(std::max<uint64_t>(bytes / kPageSize + 1, kDefaultFrameCount)));
}

// What the server's dictionaries were opened from; the cache stays warm
// between requests while the files are the same.
DictionaryFiles warm_files;
bool warm = false;

// Every request starts from the program's state at start-up, so no request
// sees another's text and the in-memory desktop does not grow; only the open
// dictionaries, their page cache and search memo, and the deinflection table
// carry over, as long as the files on disk are the ones they were read from.
void start_afresh() {
  const DictionaryFiles files = dictionary_files();
  if (warm && files == warm_files && slot_ready(0)) {
    reset_passage_state();
  } else {
    reset_program_state(serve_frame_count(files));
    warm = false;
  }
  reset_desktop();
  desktop.focus = serve_window();
  if (!warm) {
    open_dictionaries(serve_window());
    warm_files = files;
    warm = slot_ready(0);
  }
}

// The deinflection table, read once while the cache is warm.
void ensure_deinflect_table() {
  if (!deinflect.loaded) load_deinflect_table(serve_window());
}

std::string answer(int* status, int code, const json& body) {
  *status = code;
  return body.dump();
}

std::string refuse(int* status, int code, const std::string& message) {
  return answer(status, code, json{{"error", message}});
}

// The request's JSON object, or false with *problem set.
bool parse_object(const std::string& body, json* request, std::string* problem) {
  *request = json::parse(body, nullptr, false);
  if (request->is_discarded()) {
    *problem = "the request is not JSON (or its strings are not UTF-8)";
    return false;
  }
  if (!request->is_object()) {
    *problem = "the request must be a JSON object";
    return false;
  }
  return true;
}

// The same with its "text", a string without NUL characters.
bool parse_request(const std::string& body, json* request, std::string* problem) {
  if (!parse_object(body, request, problem)) return false;
  auto text = request->find("text");
  if (text == request->end() || !text->is_string()) {
    *problem = "the request needs \"text\", a string";
    return false;
  }
  if (text->get_ref<const std::string&>().find('\0') != std::string::npos) {
    *problem = "the text holds a NUL character";
    return false;
  }
  return true;
}

// The request's "forms" (the "Dictionary forms" mode), false when absent.
bool parse_forms(const json& request, bool* forms, std::string* problem) {
  *forms = false;
  auto f = request.find("forms");
  if (f == request.end()) return true;
  if (!f->is_boolean()) {
    *problem = "\"forms\" must be true or false";
    return false;
  }
  *forms = f->get<bool>();
  return true;
}

// Whether a file of the working directory opens for reading.
bool readable(const char* path) {
  int32_t file = file_open_read(path);
  file_close(file);
  return file != kFileError;
}

// Puts text into a new kanji buffer as the intake would, cut at a whole
// character that leaves room for its two NULs. Returns the bytes placed.
size_t place_passage(std::string_view euc) {
  return place_euc_passage(serve_window(), reinterpret_cast<const unsigned char*>(euc.data()),
                           euc.size());
}

// Each EUC-JP segment spelled in romaji (UTF-8) by the romaji subsystem, a
// batch of segments per walk over the listing text.
std::vector<std::string> romaji_of(const std::vector<std::string_view>& segments) {
  std::vector<std::string> out;
  out.reserve(segments.size());
  size_t next = 0;
  while (next < segments.size()) {
    std::string batch;
    size_t first = next;
    while (next < segments.size() &&
           (batch.empty() || batch.size() + segments[next].size() < kRomajiBatch)) {
      const size_t at = batch.size();
      batch += segments[next++].substr(0, kRomajiBatch);
      std::replace(batch.begin() + static_cast<ptrdiff_t>(at), batch.end(), kSegmentEnd, ' ');
      batch += kSegmentEnd;
    }
    std::vector<std::string> spelled;
    if (place_listing_text(batch) == batch.size()) {
      build_romaji_text(serve_window());
      std::string_view text(reinterpret_cast<const char*>(romaji.romaji_buffer),
                            romaji.romaji_length);
      size_t at = 0, end;
      while ((end = text.find(kSegmentEnd, at)) != std::string_view::npos) {
        spelled.push_back(euc_to_utf8(text.substr(at, end - at)));
        at = end + 1;
      }
    }
    spelled.resize(next - first);
    for (std::string& s : spelled) out.push_back(std::move(s));
  }
  return out;
}

// The parts of an entry line "HEADWORD [READING] /gloss/gloss/" (UTF-8),
// pointing into the line; the reading is empty when the line has none.
struct Entry {
  std::string_view headword, reading;
  std::vector<std::string_view> glosses;
};

Entry parse_entry(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  Entry e;
  const size_t space = line.find(' ');
  e.headword = line.substr(0, space);
  std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close != std::string_view::npos) {
      e.reading = rest.substr(1, close - 1);
      rest.remove_prefix(close + 1);
    }
  }
  const size_t slash = rest.find('/');
  if (slash != std::string_view::npos) {
    rest.remove_prefix(slash + 1);
    size_t at = 0;
    while (at <= rest.size()) {
      size_t end = std::min(rest.find('/', at), rest.size());
      std::string_view gloss = rest.substr(at, end - at);
      while (!gloss.empty() && gloss.front() == ' ') gloss.remove_prefix(1);
      while (!gloss.empty() && gloss.back() == ' ') gloss.remove_suffix(1);
      if (!gloss.empty()) e.glosses.push_back(gloss);
      at = end + 1;
    }
  }
  return e;
}

// The line as an answer shows it: up to its line end.
std::string_view shown_line(std::string_view line_utf8) {
  return line_utf8.substr(0, line_utf8.find_first_of("\r\n"));
}

json entry_json(const std::string& line_utf8) {
  const Entry e = parse_entry(line_utf8);
  json glosses = json::array();
  for (std::string_view gloss : e.glosses) glosses.push_back(gloss);
  return json{{"line", shown_line(line_utf8)},
              {"headword", e.headword},
              {"reading", e.reading},
              {"glosses", std::move(glosses)}};
}

const char* kind_name(ItemKind kind) {
  switch (kind) {
    case ItemKind::kWord:
      return "word";
    case ItemKind::kNoMatch:
      return "nomatch";
    case ItemKind::kPassed:
      break;
  }
  return "passed";
}

// A buffer's text, up to its NUL (or its end).
std::string_view buffer_view(const unsigned char* buffer, size_t size) {
  if (buffer == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(buffer),
                          strnlen(reinterpret_cast<const char*>(buffer), size));
}

const char* slot_name(int slot) {
  return slot >= 0 && slot < kNamedSlots ? kSlotTextFile[slot] : "dictionary";
}

// UTF-16 units in a UTF-8 text, as the page counts a string's length.
size_t utf16_units(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

// The UTF-16 units of the part of text (UTF-8) that became the first
// euc_bytes of euc, its EUC-JP conversion: where the page's own copy of the
// text reads on. The conversion goes character by character, so the prefix
// is the shortest one whose conversion is that long; the round trip finds
// it at once when every character converted.
size_t utf16_units_before(const std::string& text, const std::string& euc, size_t euc_bytes) {
  const std::string back = euc_to_utf8(std::string_view(euc).substr(0, euc_bytes));
  if (text.compare(0, back.size(), back) == 0) return utf16_units(back);
  // A character without an EUC-JP code (read as the geta mark): search the
  // character boundaries.
  size_t low = 0, high = text.size();
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    while (mid > low && (static_cast<unsigned char>(text[mid]) & 0xC0) == 0x80) --mid;
    if (mid == low) {
      // No boundary between: step over the character at low.
      size_t next = low + 1;
      while (next < high && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
      if (utf8_to_euc(std::string_view(text).substr(0, low)).size() >= euc_bytes) break;
      low = next;
      continue;
    }
    if (utf8_to_euc(std::string_view(text).substr(0, mid)).size() >= euc_bytes) {
      high = mid;
    } else {
      low = mid;
    }
  }
  return utf16_units(std::string_view(text).substr(0, low));
}

// Katakana read as hiragana, as the index compares them: a word and an
// entry's reading are the same word in either script.
std::string fold_kana(std::string euc) {
  for (size_t i = 0; i + 1 < euc.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(euc[i]);
    if (c < 0x80) continue;
    if (c == 0xA5 && static_cast<unsigned char>(euc[i + 1]) <= 0xF3)
      euc[i] = static_cast<char>(0xA4);
    i += c == 0x8F ? 2 : 1;
  }
  return euc;
}

// One whole entry line (EUC-JP, without its line end) of a slot, and where
// it starts.
struct WholeLine {
  int slot;
  int32_t start;
  std::string line;
};

// Bytes of an entry line the popup reads at most; the longest lines of the
// full dictionary are a few kilobytes.
constexpr int32_t kWholeLineLimit = 16384;
// Index entries looked at per key and slot: a one-kanji key matches tens of
// thousands in the full dictionary, and the popup wants the first few.
constexpr int kEntriesScanned = 4000;

// The whole lines of the entries whose indexed word begins with key (EUC-JP,
// whole characters), in every open slot, each line once.
std::vector<WholeLine> lines_beginning(const std::string& key) {
  std::vector<WholeLine> out;
  if (key.empty() || key.size() >= kSearchKeySize) return out;
  unsigned char search[kSearchKeySize] = {};
  std::memcpy(search, key.data(), key.size());
  const auto length = static_cast<int32_t>(key.size());
  std::unordered_set<int64_t> seen;
  std::vector<unsigned char> buffer(kWholeLineLimit);
  for (int slot = 0; slot <= store.highest_slot && slot < kSlotCount; ++slot) {
    if (!slot_ready(slot)) continue;
    int status = kNotFound;
    int32_t entry = 0;
    search_index(kSearchMode, slot, 0, length, search, &status, &entry, lookup.entry_line);
    for (int scanned = 0; status == kFound && scanned < kEntriesScanned; ++scanned) {
      store.current_slot = slot;
      const int32_t start = dict_line_end_before(index_entry(entry)) + 1;
      if (seen.insert((int64_t{slot} << 32) | static_cast<uint32_t>(start)).second) {
        const int32_t n = dict_copy_line(start, buffer.data(), kWholeLineLimit);
        std::string line(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
        while (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back({slot, start, std::move(line)});
      }
      const int32_t next = entry + 1;
      status = kNotFound;
      search_index(kCheckMode, slot, next, length, search, &status, &entry, lookup.entry_line);
    }
  }
  return out;
}

json tags_json(const std::vector<std::string>& tags) {
  json out = json::array();
  for (const std::string& t : tags) {
    const char* meaning = tag_meaning(t);
    out.push_back(json{{"tag", t}, {"meaning", meaning ? meaning : ""}});
  }
  return out;
}

// An entry for the popup: the whole line and its parts, its senses grouped.
json popup_entry_json(const WholeLine& whole) {
  json j = entry_json(euc_to_utf8(whole.line));
  const SenseList senses = group_senses(j["glosses"].get<std::vector<std::string>>());
  json list = json::array();
  for (const Sense& sense : senses.senses) {
    list.push_back(json{{"pos", tags_json(sense.pos)},
                        {"labels", tags_json(sense.labels)},
                        {"glosses", sense.glosses}});
  }
  j["senses"] = std::move(list);
  j["common"] = senses.common;
  j["dictionary"] = slot_name(whole.slot);
  return j;
}

// A string field of the request, cut to whole EUC-JP characters of at most
// limit bytes; empty when it is absent. False (with *problem) when it is
// there but not a string or holds a NUL.
bool euc_field(const json& request, const char* name, size_t limit, std::string* out,
               std::string* problem) {
  out->clear();
  auto f = request.find(name);
  if (f == request.end() || f->is_null()) return true;
  if (!f->is_string() || f->get_ref<const std::string&>().find('\0') != std::string::npos) {
    *problem = std::string("\"") + name + "\" must be a string without NUL characters";
    return false;
  }
  *out = utf8_to_euc(f->get_ref<const std::string&>());
  out->resize(euc_whole_prefix(*out, limit));
  return true;
}

// Whether the line's headword (any of its ';'-separated spellings) or its
// reading is key, katakana and hiragana alike.
bool names_word(const std::string& line_euc, const std::string& folded_key) {
  const EntryFields f = entry_fields(line_euc);
  auto same = [&](std::string_view list) {
    size_t at = 0;
    while (at <= list.size()) {
      const size_t end = std::min(list.find(';', at), list.size());
      std::string_view one = list.substr(at, end - at);
      if (const size_t paren = one.find('('); paren != std::string_view::npos) {
        one = one.substr(0, paren);
      }
      if (!one.empty() && fold_kana(std::string(one)) == folded_key) return true;
      at = end + 1;
    }
    return false;
  };
  return same(f.headword) || same(f.reading);
}

}  // namespace

std::string api_get(const std::string& body, int* status) {
  json request;
  std::string problem;
  if (!parse_request(body, &request, &problem)) return refuse(status, 400, problem);
  long long from = 0;
  if (auto f = request.find("from"); f != request.end()) {
    if (!f->is_number_integer() || f->get<long long>() < 0) {
      return refuse(status, 400, "\"from\" must be a byte offset, a whole number from 0");
    }
    from = f->get<long long>();
  }

  bool forms = false;
  if (!parse_forms(request, &forms, &problem)) return refuse(status, 400, problem);

  bool lossless = true;
  const std::string euc = utf8_to_euc(request["text"].get_ref<const std::string&>(), &lossless);
  if (static_cast<unsigned long long>(from) > euc.size()) {
    return refuse(status, 400, "\"from\" lies past the end of the text");
  }
  if (euc_whole_prefix(euc, static_cast<size_t>(from)) != static_cast<size_t>(from)) {
    return refuse(status, 400, "\"from\" does not start a character");
  }
  // A missing romaji table would end the program in the middle of the chain.
  if (!readable(kRomajiTableFile) || !readable(kEdict) || !readable(kEdictIndex)) {
    return refuse(status, 500, "the dictionary files cannot be read in the server's folder");
  }

  // "more": the text sent is only the part of a longer text from here on
  // (the page sends what remains, a window at a time), so its end is not the
  // text's end.
  bool more_follows = false;
  if (auto m = request.find("more"); m != request.end()) {
    if (!m->is_boolean()) return refuse(status, 400, "\"more\" must be true or false");
    more_follows = m->get<bool>();
  }

  // The known words of the last page, kept while known.tsv stays as it was.
  KnownWords known_before = std::move(known_words);
  start_afresh();
  const std::string_view rest = std::string_view(euc).substr(static_cast<size_t>(from));
  const size_t placed = place_passage(rest);
  if (intake.kanji_buffer == nullptr) return refuse(status, 500, "no memory for the passage");
  // The Get chain; when the text goes on past the kanji buffer, the walk
  // stops where the lookups still see whole keys, and the next page starts
  // there.
  Window main_window = serve_window();
  set_dictionary_forms(forms);
  if (forms) ensure_deinflect_table();
  load_romaji_table();
  const bool cut = placed < rest.size() || more_follows;
  run_page_chain(main_window, 0,
                 cut && placed > kKeyReach ? static_cast<int32_t>(placed - kKeyReach) : kNoLimit);
  if (lookup.listing_buffer == nullptr) return refuse(status, 500, "no memory for the listing");

  // The words the page marks as not new.
  read_known_words_again(kKnownFile, std::move(known_before));
  const std::string_view listing = buffer_view(lookup.listing_buffer, kListingBufferSize);
  // Where the next page starts: where the walk stopped, when that is before
  // the end of the text. A listing always holds its first item, so a page
  // never repeats the last.
  const size_t stop = static_cast<size_t>(from) + static_cast<size_t>(lookup.listing_stop);
  const bool more = (stop < euc.size() || (more_follows && stop == euc.size())) &&
                    stop > static_cast<size_t>(from);
  // The listing's own notice, the last line of a full listing.
  std::string listing_notice_line;
  if (lookup.listing_full && lookup.listing_length < listing.size()) {
    std::string_view notice = listing.substr(lookup.listing_length);
    while (!notice.empty() && notice.front() == '\n') notice.remove_prefix(1);
    while (!notice.empty() && notice.back() == '\n') notice.remove_suffix(1);
    listing_notice_line = euc_to_utf8(notice);
  }

  // What the answer takes from the passage, the listing and the romaji pane,
  // taken before the spelling of the items below puts its own text in the
  // listing and romaji buffers.
  const std::string listing_utf8 = euc_to_utf8(plain_line_ends(listing));
  const std::string romaji_utf8 =
      euc_to_utf8(plain_line_ends(buffer_view(romaji.romaji_buffer, kRomajiBufferSize)));
  const std::string passage(buffer_view(intake.kanji_buffer, kKanjiBufferSize));
  const auto count = static_cast<size_t>(std::max(lookup.item_count, 0));
  std::vector<std::string_view> segments(count);
  std::vector<std::string> lines(count), forms_of(count);
  std::vector<Entry> entries(count);  // pointing into lines, which stay as they are
  std::string readings_euc;           // each word's reading, kSegmentEnd after each
  for (size_t n = 0; n < count; ++n) {
    const ListingItem& item = lookup.items[n];
    segments[n] = std::string_view(passage).substr(static_cast<size_t>(item.passage_offset),
                                                   static_cast<size_t>(item.passage_length));
    if (item.kind == ItemKind::kWord) {
      lines[n] = euc_to_utf8(listing.substr(static_cast<size_t>(item.line_offset),
                                            static_cast<size_t>(item.line_length)));
    }
    if (!lines[n].empty()) {
      entries[n] = parse_entry(lines[n]);
      readings_euc += entries[n].reading;
      readings_euc += kSegmentEnd;
    }
    // In the "Dictionary forms" mode: how the word comes from the entry's
    // headword, "(past of 書く)".
    if (item.prefix_length > 0) {
      std::string& form = forms_of[n] =
          euc_to_utf8(listing.substr(static_cast<size_t>(item.line_offset - item.prefix_length),
                                     static_cast<size_t>(item.prefix_length)));
      while (!form.empty() && form.back() == ' ') form.pop_back();
    }
  }
  // The readings to EUC-JP in one conversion (each of its own would open a
  // converter), then spelled in romaji as the romaji pane spells the
  // listing, like each item's text. A reading holding the separator (no
  // dictionary's does) is converted alone.
  readings_euc = utf8_to_euc(readings_euc);
  std::vector<std::string> lone_readings;
  std::vector<std::string_view> reading_segments;
  for (size_t at = 0, end; (end = readings_euc.find(kSegmentEnd, at)) != std::string::npos;
       at = end + 1) {
    reading_segments.push_back(std::string_view(readings_euc).substr(at, end - at));
  }
  size_t words = 0;
  for (const std::string& line : lines) words += line.empty() ? 0 : 1;
  if (reading_segments.size() != words) {
    reading_segments.clear();
    lone_readings.reserve(words);
    for (size_t n = 0; n < count; ++n) {
      if (!lines[n].empty()) lone_readings.push_back(utf8_to_euc(entries[n].reading));
    }
    reading_segments.assign(lone_readings.begin(), lone_readings.end());
  }
  const std::vector<std::string> spelled = romaji_of(segments);
  const std::vector<std::string> spelled_readings = romaji_of(reading_segments);

  // The answer, written as it goes; the members of each object come in the
  // order of their names, as the JSON library's objects keep them.
  std::string out;
  out.reserve(2 * (listing_utf8.size() + romaji_utf8.size()) + 64 * count + 256);
  out += '{';
  append_json_key(&out, "complete");
  append_json_bool(&out, !more);
  append_json_key(&out, "from");
  append_json_number(&out, from);
  append_json_key(&out, "items");
  out += '[';
  for (size_t n = 0, r = 0; n < count; ++n) {
    const ListingItem& item = lookup.items[n];
    const bool word = !lines[n].empty();
    const Entry& entry = entries[n];
    if (n > 0) out += ',';
    out += '{';
    if (word) {
      append_json_key(&out, "dictionary");
      append_json_string(&out, slot_name(item.slot));
    }
    if (item.prefix_length > 0) {
      append_json_key(&out, "form");
      append_json_string(&out, forms_of[n]);
    }
    if (word) {
      append_json_key(&out, "glosses");
      out += '[';
      for (size_t g = 0; g < entry.glosses.size(); ++g) {
        if (g > 0) out += ',';
        append_json_string(&out, entry.glosses[g]);
      }
      out += ']';
      append_json_key(&out, "headword");
      append_json_string(&out, entry.headword);
    }
    append_json_key(&out, "kind");
    append_json_string(&out, kind_name(item.kind));
    if (word) {
      append_json_key(&out, "known");
      append_json_bool(&out, word_known(entry.headword, entry.reading));
    }
    append_json_key(&out, "length");
    append_json_number(&out, item.passage_length);
    if (word) {
      append_json_key(&out, "line");
      append_json_string(&out, shown_line(lines[n]));
    }
    append_json_key(&out, "offset");
    append_json_number(&out, from + item.passage_offset);
    if (word) {
      append_json_key(&out, "reading");
      append_json_string(&out, entry.reading);
      append_json_key(&out, "reading_romaji");
      append_json_string(&out, spelled_readings[r++]);
    }
    append_json_key(&out, "romaji");
    append_json_string(&out, spelled[n]);
    append_json_key(&out, "text");
    append_json_string(&out, euc_to_utf8(segments[n]));
    out += '}';
  }
  out += ']';
  append_json_key(&out, "listing");
  append_json_string(&out, listing_utf8);
  append_json_key(&out, "listing_notice");
  if (listing_notice_line.empty()) {
    out += "null";
  } else {
    append_json_string(&out, listing_notice_line);
  }
  append_json_key(&out, "lossless");
  append_json_bool(&out, lossless);
  append_json_key(&out, "next");
  if (more) {
    append_json_number(&out, static_cast<int64_t>(stop));
  } else {
    out += "null";
  }
  append_json_key(&out, "next_chars");
  if (more) {
    append_json_number(&out, static_cast<int64_t>(utf16_units_before(
                                 request["text"].get_ref<const std::string&>(), euc, stop)));
  } else {
    out += "null";
  }
  append_json_key(&out, "notice");
  if (more) {
    append_json_string(&out, "The listing is full: bytes " + std::to_string(from) + " to " +
                                 std::to_string(stop) + " of " + std::to_string(euc.size()) +
                                 " are listed. Next reads on from there.");
  } else {
    out += "null";
  }
  append_json_key(&out, "romaji");
  append_json_string(&out, romaji_utf8);
  append_json_key(&out, "size");
  append_json_number(&out, static_cast<int64_t>(euc.size()));
  out += '}';
  *status = 200;
  return out;
}

std::string api_single(const std::string& body, int* status) {
  json request;
  std::string problem;
  if (!parse_request(body, &request, &problem)) return refuse(status, 400, problem);
  if (!readable(kEdict) || !readable(kEdictIndex)) {
    return refuse(status, 500, "the dictionary files cannot be read in the server's folder");
  }
  // The shell takes the first 50 selected bytes; a whole character more
  // would be cut in two.
  bool forms = false;
  if (!parse_forms(request, &forms, &problem)) return refuse(status, 400, problem);
  const std::string euc = utf8_to_euc(request["text"].get_ref<const std::string&>());
  const std::string key = euc.substr(0, euc_whole_prefix(euc, kSelectionBufferSize));

  start_afresh();  // the dictionaries open, as after a Get
  Window main_window = serve_window();
  set_dictionary_forms(forms);
  if (place_listing_text(key) != key.size()) return refuse(status, 500, "no memory for the text");
  // "Single Dodevuz" with the whole text selected in a listing pane of its own.
  make_listing_pane(main_window);
  if (PaneRecord* listing = pane_record(shell.listing_pane)) {
    listing->sel_start = 0;
    listing->sel_end = static_cast<uint32_t>(key.size());
  }
  dispatch_command(main_window, kCmdSingle);

  const PaneRecord* single = shell.single_pane ? pane_record(shell.single_pane) : nullptr;
  const std::string text = euc_to_utf8(single ? single->text : std::string());
  json entries = json::array();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // In the "Dictionary forms" mode the lines of a form come first, each
    // after how the text comes from its headword: "(past of 書く) 書く ...".
    std::string form;
    if (forms && line.front() == '(') {
      const size_t close = line.find(") ");
      if (close != std::string::npos) {
        form = line.substr(0, close + 1);
        line.erase(0, close + 2);
      }
    }
    json entry = entry_json(line);
    if (!form.empty()) entry["form"] = form;
    entries.push_back(std::move(entry));
  }
  return answer(status, 200, json{{"key", euc_to_utf8(key)}, {"entries", std::move(entries)}});
}

std::string api_about(int* status) {
  uint32_t text_size = 0, index_size = 0;
  const bool has_text = file_size(kEdict, &text_size) == 0;
  const bool has_index = file_size(kEdictIndex, &index_size) == 0;
  return answer(
      status, 200,
      json{{"name", "Dodevuz"},
           {"version", DODEVUZ_VERSION},
           {"dictionary",
            {{"bytes", has_text ? json(text_size) : json(nullptr)},
             {"entries", has_index && index_size >= 4 ? json(index_size / 4 - 1) : json(nullptr)}}},
           {"kanji_buffer", kKanjiBufferSize},
           {"body_limit", kServeBodyLimit},
           {"forms", readable(kDeinflectFile)}});
}

std::string api_entries(const std::string& body, int* status) {
  json request;
  std::string problem;
  if (!parse_request(body, &request, &problem)) return refuse(status, 400, problem);
  std::string text, also;
  if (!euc_field(request, "text", kSearchKeySize - 1, &text, &problem) ||
      !euc_field(request, "also", kSearchKeySize - 1, &also, &problem)) {
    return refuse(status, 400, problem);
  }
  if (!readable(kEdict) || !readable(kEdictIndex)) {
    return refuse(status, 500, "the dictionary files cannot be read in the server's folder");
  }
  start_afresh();
  // The word's entries, then those of its dictionary form; an entry that is
  // neither only begins like the word ("longer words"), and one that merely
  // holds the word somewhere is left out.
  std::vector<std::string> keys{text};
  if (!also.empty() && also != text) keys.push_back(also);
  json exact = json::array(), longer = json::array();
  size_t longer_count = 0;
  std::unordered_set<int64_t> listed;
  std::vector<std::pair<int, json>> ranked;  // exact entries with their rank
  for (const std::string& key : keys) {
    const std::string folded = fold_kana(key);
    for (const WholeLine& whole : lines_beginning(key)) {
      if (!listed.insert((int64_t{whole.slot} << 32) | static_cast<uint32_t>(whole.start)).second) {
        continue;
      }
      if (names_word(whole.line, folded)) {
        json entry = popup_entry_json(whole);
        // The word's own spelling before a reading that sounds alike, the
        // common words first, the main dictionary before the others.
        const int rank = (entry["headword"] == euc_to_utf8(key) ? 0 : 4) +
                         (entry["common"].get<bool>() ? 0 : 2) + (whole.slot == 0 ? 0 : 1);
        ranked.emplace_back(rank, std::move(entry));
      } else if (fold_kana(entry_fields(whole.line).headword).rfind(folded, 0) == 0 ||
                 fold_kana(entry_fields(whole.line).reading).rfind(folded, 0) == 0) {
        if (&key == &keys.front()) {
          ++longer_count;
          if (longer.size() < kLongerShown) longer.push_back(popup_entry_json(whole));
        }
      }
    }
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [rank, entry] : ranked) exact.push_back(std::move(entry));
  return answer(status, 200,
                json{{"key", euc_to_utf8(text)},
                     {"entries", std::move(exact)},
                     {"longer", std::move(longer)},
                     {"longer_count", longer_count}});
}

std::string api_word_list_add(const std::string& body, int* status) {
  json request;
  std::string problem;
  if (!parse_object(body, &request, &problem)) return refuse(status, 400, problem);
  std::string headword, reading, sentence, form;
  if (!euc_field(request, "headword", kSearchKeySize - 1, &headword, &problem) ||
      !euc_field(request, "reading", kSearchKeySize - 1, &reading, &problem) ||
      !euc_field(request, "sentence", 2 * kSentenceReach, &sentence, &problem) ||
      !euc_field(request, "form", 2 * kSearchKeySize, &form, &problem)) {
    return refuse(status, 400, problem);
  }
  if (headword.empty()) return refuse(status, 400, "the request needs \"headword\"");
  if (!readable(kEdict) || !readable(kEdictIndex)) {
    return refuse(status, 500, "the dictionary files cannot be read in the server's folder");
  }
  start_afresh();
  // Only a line of the dictionary is written: the word must be an entry
  // with that headword and reading.
  std::string line;
  for (const WholeLine& whole : lines_beginning(headword)) {
    const EntryFields f = entry_fields(whole.line);
    if (f.headword == headword && f.reading == reading) {
      line = whole.line;
      break;
    }
  }
  if (line.empty())
    return refuse(status, 404, "no entry of the dictionary has that headword and reading");
  // The sentence and the form are the reader's text: one field of a line each.
  for (std::string* text : {&sentence, &form}) {
    std::replace_if(
        text->begin(), text->end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
  }
  const WordListOutcome outcome = add_word(kWordListFile, line, sentence, form);
  const char* name = outcome == WordListOutcome::kAdded           ? "added"
                     : outcome == WordListOutcome::kAlreadyListed ? "already"
                                                                  : "failed";
  return answer(status, outcome == WordListOutcome::kFailed ? 500 : 200,
                json{{"outcome", name}, {"message", word_list_outcome_text()}});
}

std::string api_word_list_file(int* status) {
  std::ifstream file(kWordListFile, std::ios::binary);
  *status = 200;
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
