// The API's requests as commands of the program: each starts the program
// afresh (as the command line does), runs the shell's Get chain or "Single
// Dodevuz" on the request's text, and answers with what the listing walk
// recorded. Texts are converted between UTF-8 and EUC-JP here, at the edge;
// the JSON is made with nlohmann::json.
#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "deinflect/deinflect.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "serve/serve.h"
#include "shell/shell.h"
#include "store/store.h"

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

// Every request starts from the program's state at start-up, so no request
// sees another's text and the in-memory desktop does not grow; its cache is
// that of a run of pages, for a reader pages through a long text.
void start_afresh() {
  reset_program_state(frames_for_run_of_pages());
  reset_desktop();
  desktop.focus = serve_window();
}

std::string answer(int* status, int code, const json& body) {
  *status = code;
  return body.dump();
}

std::string refuse(int* status, int code, const std::string& message) {
  return answer(status, code, json{{"error", message}});
}

// The request's JSON object, or false with *problem set.
bool parse_request(const std::string& body, json* request, std::string* problem) {
  *request = json::parse(body, nullptr, false);
  if (request->is_discarded()) {
    *problem = "the request is not JSON (or its strings are not UTF-8)";
    return false;
  }
  if (!request->is_object()) {
    *problem = "the request must be a JSON object";
    return false;
  }
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
std::vector<std::string> romaji_of(const std::vector<std::string>& segments) {
  std::vector<std::string> out;
  out.reserve(segments.size());
  size_t next = 0;
  while (next < segments.size()) {
    std::string batch;
    size_t first = next;
    while (next < segments.size() &&
           (batch.empty() || batch.size() + segments[next].size() < kRomajiBatch)) {
      std::string segment = segments[next++].substr(0, kRomajiBatch);
      std::replace(segment.begin(), segment.end(), kSegmentEnd, ' ');
      batch += segment;
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

// The parts of an entry line "HEADWORD [READING] /gloss/gloss/" (UTF-8);
// the reading is empty when the line has none.
struct Entry {
  std::string headword, reading;
  std::vector<std::string> glosses;
};

Entry parse_entry(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  Entry e;
  const size_t space = line.find(' ');
  e.headword = std::string(line.substr(0, space));
  std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close != std::string_view::npos) {
      e.reading = std::string(rest.substr(1, close - 1));
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
      if (!gloss.empty()) e.glosses.emplace_back(gloss);
      at = end + 1;
    }
  }
  return e;
}

json entry_json(const std::string& line_utf8) {
  Entry e = parse_entry(line_utf8);
  return json{{"line", line_utf8.substr(0, line_utf8.find_first_of("\r\n"))},
              {"headword", e.headword},
              {"reading", e.reading},
              {"glosses", e.glosses}};
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

std::string buffer_text(const unsigned char* buffer, size_t size) {
  if (buffer == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(buffer),
                     strnlen(reinterpret_cast<const char*>(buffer), size));
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

  start_afresh();
  const std::string_view rest = std::string_view(euc).substr(static_cast<size_t>(from));
  const size_t placed = place_passage(rest);
  if (intake.kanji_buffer == nullptr) return refuse(status, 500, "no memory for the passage");
  // The Get chain; when the text goes on past the kanji buffer, the walk
  // stops where the lookups still see whole keys, and the next page starts
  // there.
  Window main_window = serve_window();
  set_dictionary_forms(forms);
  open_dictionaries(main_window);
  if (forms) load_deinflect_table(main_window);
  load_romaji_table();
  const bool cut = placed < rest.size();
  run_page_chain(main_window, 0,
                 cut && placed > kKeyReach ? static_cast<int32_t>(placed - kKeyReach) : kNoLimit);
  if (lookup.listing_buffer == nullptr) return refuse(status, 500, "no memory for the listing");

  const std::string listing = buffer_text(lookup.listing_buffer, kListingBufferSize);
  const std::string romaji_pane = buffer_text(romaji.romaji_buffer, kRomajiBufferSize);
  const auto* passage = reinterpret_cast<const char*>(intake.kanji_buffer);

  // Each item's text, and each word's reading, spelled in romaji as the
  // romaji pane spells the listing.
  std::vector<std::string> segments;
  std::vector<std::string> lines;
  for (int32_t n = 0; n < lookup.item_count; ++n) {
    const ListingItem& item = lookup.items[n];
    segments.emplace_back(passage + item.passage_offset, item.passage_length);
    lines.emplace_back(
        item.kind == ItemKind::kWord
            ? euc_to_utf8(std::string_view(listing.data() + item.line_offset, item.line_length))
            : std::string());
  }
  std::vector<std::string> readings(lines.size());
  std::vector<std::string> reading_segments;
  for (size_t n = 0; n < lines.size(); ++n) {
    if (lines[n].empty()) continue;
    readings[n] = parse_entry(lines[n]).reading;
    reading_segments.push_back(utf8_to_euc(readings[n]));
  }
  const std::vector<std::string> spelled = romaji_of(segments);
  const std::vector<std::string> spelled_readings = romaji_of(reading_segments);

  json items = json::array();
  for (size_t n = 0, r = 0; n < segments.size(); ++n) {
    const ListingItem& item = lookup.items[n];
    json j{{"kind", kind_name(item.kind)},
           {"offset", from + item.passage_offset},
           {"length", item.passage_length},
           {"text", euc_to_utf8(segments[n])},
           {"romaji", spelled[n]}};
    if (!lines[n].empty()) {
      j.update(entry_json(lines[n]));
      j["reading_romaji"] = spelled_readings[r++];
    }
    // In the "Dictionary forms" mode: how the word comes from the entry's
    // headword, "(past of 書く)".
    if (item.prefix_length > 0) {
      std::string form = euc_to_utf8(std::string_view(
          listing.data() + item.line_offset - item.prefix_length, item.prefix_length));
      while (!form.empty() && form.back() == ' ') form.pop_back();
      j["form"] = form;
    }
    items.push_back(std::move(j));
  }

  // Where the next page starts: where the walk stopped, when that is before
  // the end of the text. A listing always holds its first item, so a page
  // never repeats the last.
  const size_t stop = static_cast<size_t>(from) + static_cast<size_t>(lookup.listing_stop);
  const bool more = stop < euc.size() && stop > static_cast<size_t>(from);
  // The listing's own notice, the last line of a full listing.
  std::string listing_notice_line;
  if (lookup.listing_full && lookup.listing_length < listing.size()) {
    std::string_view notice = std::string_view(listing).substr(lookup.listing_length);
    while (!notice.empty() && notice.front() == '\n') notice.remove_prefix(1);
    while (!notice.empty() && notice.back() == '\n') notice.remove_suffix(1);
    listing_notice_line = euc_to_utf8(notice);
  }
  json response{
      {"from", from},
      {"next", more ? json(stop) : json(nullptr)},
      {"size", euc.size()},
      {"complete", !more},
      {"notice", more ? json("The listing is full: bytes " + std::to_string(from) + " to " +
                             std::to_string(stop) + " of " + std::to_string(euc.size()) +
                             " are listed. Next reads on from there.")
                      : json(nullptr)},
      {"listing_notice", listing_notice_line.empty() ? json(nullptr) : json(listing_notice_line)},
      {"lossless", lossless},
      {"items", std::move(items)},
      {"listing", euc_to_utf8(plain_line_ends(listing))},
      {"romaji", euc_to_utf8(plain_line_ends(romaji_pane))}};
  return answer(status, 200, response);
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

  start_afresh();
  Window main_window = serve_window();
  set_dictionary_forms(forms);
  open_dictionaries(main_window);  // as a Get does
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
