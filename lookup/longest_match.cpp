// The longest-match lookups of the search key: lookup_word picks one entry
// line for the listing, lookup_selection lists every line that matches any
// prefix for "Single Dodevuz". Both first find, for 1, 2, ... characters, the
// first entry whose text begins with that prefix, stopping at the first
// prefix that is not found (a longer one cannot be found then either).
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#include "lookup/lookup.h"
#include "platform/text_units.h"
#include "store/store.h"

namespace {

struct Prefixes {
  int width;                            // bytes per character: 1 (ASCII first byte) or 2
  int matched;                          // characters of the longest prefix found, 0 to 20
  int32_t first_match[kMaxPrefix + 1];  // [k]: first entry matching k characters
};

// The first phase, common to both lookups. Leaves the line of the first
// entry matching the longest prefix in the entry line buffer, or the
// no-match text when not even one character matches.
Prefixes find_prefixes() {
  Prefixes p{};
  store.current_slot = 0;
  unsigned char* key = lookup.search_key;
  key[kSearchKeySize - 1] = 0;  // the key is a text whatever its writer left
  p.width = key[0] < 0x7F ? 1 : 2;
  size_t length = std::strlen(reinterpret_cast<const char*>(key));
  // One trailing control byte (a line end taken with the selection) goes.
  if (length > 0 && key[length - 1] < 0x20) key[--length] = 0;
  int n = static_cast<int>(length) / p.width;
  if (n > kMaxPrefix) n = kMaxPrefix;
  for (int k = 1; k <= n; ++k) {
    int status = kNotFound;
    int32_t entry = 0;
    search_index(kSearchMode, store.current_slot, 0, k * p.width, key, &status, &entry,
                 lookup.entry_line);
    if (status != kFound) break;
    p.first_match[k] = entry;
    p.matched = k;
  }
  if (p.matched == 0) {
    std::memcpy(lookup.entry_line, kNoMatchText, std::strlen(kNoMatchText) + 1);
  }
  return p;
}

// Whether the line begins with the key's first n bytes as the index
// compares them: katakana as hiragana at even offsets, A-Z as a-z.
bool begins_with_folded(const unsigned char* line, const unsigned char* key, int32_t n) {
  auto fold = [](unsigned char c, int32_t at) -> unsigned char {
    if (at % 2 == 0 && c == 0xA5) return 0xA4;
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    return c;
  };
  for (int32_t i = 0; i < n && key[i] != 0; ++i) {
    if (fold(line[i], i) != fold(key[i], i)) return false;
  }
  return true;
}

}  // namespace

void lookup_word() {
  const Prefixes p = find_prefixes();
  // Prefer a line that starts with the key's whole first character: the
  // listing measures the word against the start of the line, and a line that
  // only shares the character's lead byte (another kanji of the same row)
  // belongs to another word. Lines are tried from the longest prefix down,
  // each prefix's matches in index order; the buffer already holds the first
  // candidate, so it is tested before anything is fetched.
  const size_t first = euc_lead_length(lookup.search_key[0]);
  for (int k = p.matched; k >= 1; --k) {
    int32_t e = p.first_match[k];
    for (;;) {
      lookup.current_entry = e;
      if (std::memcmp(lookup.entry_line, lookup.search_key, first) == 0) break;
      int status = kNotFound;
      int32_t entry = 0;
      search_index(kCheckMode, store.current_slot, e, k * p.width, lookup.search_key, &status,
                   &entry, lookup.entry_line);
      if (status != kFound) break;
      e = lookup.current_entry + 1;
    }
  }
}

void for_each_selection_line(const SelectionLineVisitor& visit) {
  const Prefixes p = find_prefixes();
  // Different entries lead to the same line (an index holds a position for
  // every word inside a line, and a line matches every shorter prefix
  // again): each line is given once, where it first comes.
  std::unordered_set<std::string> seen;
  for (int k = p.matched; k >= 1; --k) {
    const int32_t length = k * p.width;
    // Two passes over the entries matching this prefix: the lines that begin
    // with it, then the rest.
    for (const bool beginning : {true, false}) {
      for (int32_t e = p.first_match[k];; ++e) {
        lookup.current_entry = e;
        int status = kNotFound;
        int32_t entry = 0;
        search_index(kCheckMode, store.current_slot, e, length, lookup.search_key, &status, &entry,
                     lookup.entry_line);
        if (status != kFound) break;
        const unsigned char* line = lookup.entry_line;
        if (begins_with_folded(line, lookup.search_key, length) != beginning) continue;
        const size_t line_length = strnlen(reinterpret_cast<const char*>(line), kEntryLineSize);
        if (!seen.emplace(reinterpret_cast<const char*>(line), line_length).second) continue;
        if (!visit(line, line_length)) return;
      }
    }
  }
}

void lookup_selection() {
  unsigned char* single = lookup.single_buffer;
  if (single == nullptr) {
    find_prefixes();  // the entry line buffer as the lookup leaves it
    return;
  }
  std::memset(single, 0, kSingleBufferSize);
  size_t offset = 0;
  // Whole lines only, with CR LF for the pane; the NUL always has its byte.
  for_each_selection_line([&](const unsigned char* line, size_t length) {
    const size_t line_feeds = std::count(line, line + length, 0x0A);
    if (offset + length + line_feeds + 1 > kSingleBufferSize) return false;
    for (size_t i = 0; i < length; ++i) {
      if (line[i] == 0x0A) single[offset++] = 0x0D;
      single[offset++] = line[i];
    }
    return true;
  });
}
