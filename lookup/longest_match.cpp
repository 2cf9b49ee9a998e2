// The longest-match lookups of the search key: lookup_word picks one entry
// line for the listing, lookup_selection lists every line that matches any
// prefix for "Single Dodevuz". Both first find, for 1, 2, ... characters, the
// first entry whose text begins with that prefix, stopping at the first
// prefix that is not found (a longer one cannot be found then either).
#include <cstring>

#include "lookup/lookup.h"
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

// In the "Dictionary forms" mode the entries of the key's dictionary forms
// come first, each line whole with its description and a CR LF line end, as
// many as fit in limit bytes. Returns the bytes written.
size_t list_forms(unsigned char* single, size_t limit) {
  constexpr int kMaxListed = 8;
  static FormsMatch matches[kMaxListed];
  const unsigned char* key = lookup.search_key;
  const size_t length = strnlen(reinterpret_cast<const char*>(key), kSearchKeySize);
  const int count = lookup_forms(key, length, key[0] == 0xA4, matches, kMaxListed);
  size_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const size_t prefix = std::strlen(reinterpret_cast<const char*>(matches[i].prefix));
    size_t line = std::strlen(reinterpret_cast<const char*>(matches[i].line));
    if (line > 0 && matches[i].line[line - 1] == 0x0A) --line;
    if (offset + prefix + line + 2 > limit) break;
    std::memcpy(single + offset, matches[i].prefix, prefix);
    std::memcpy(single + offset + prefix, matches[i].line, line);
    offset += prefix + line;
    single[offset++] = 0x0D;
    single[offset++] = 0x0A;
  }
  return offset;
}

}  // namespace

void lookup_word() {
  const Prefixes p = find_prefixes();
  // Prefer a line that starts with the key's first byte: the listing measures
  // the word against the start of the line. Lines are tried from the longest
  // prefix down, each prefix's matches in index order; the buffer already
  // holds the first candidate, so it is tested before anything is fetched.
  for (int k = p.matched; k >= 1; --k) {
    int32_t e = p.first_match[k];
    for (;;) {
      lookup.current_entry = e;
      if (lookup.entry_line[0] == lookup.search_key[0]) break;
      int status = kNotFound;
      int32_t entry = 0;
      search_index(kCheckMode, store.current_slot, e, k * p.width, lookup.search_key, &status,
                   &entry, lookup.entry_line);
      if (status != kFound) break;
      e = lookup.current_entry + 1;
    }
  }
}

void lookup_selection() {
  const Prefixes p = find_prefixes();
  unsigned char* single = lookup.single_buffer;
  if (single == nullptr) return;  // the shell could not have its block
  size_t offset = lookup.dictionary_forms ? list_forms(single, kSingleLimit) : 0;
  // Every line of every prefix, longest prefix first, so a line comes once
  // for each prefix it matches. The last byte before each line end becomes
  // 0x0D, giving the pane its CR LF without moving anything. Once the buffer
  // holds its 262 bytes nothing more can show, and the walk stops.
  for (int k = p.matched; k >= 1 && offset < kSingleLimit; --k) {
    int32_t e = p.first_match[k];
    while (offset < kSingleLimit) {
      lookup.current_entry = e;
      int status = kNotFound;
      int32_t entry = 0;
      search_index(kCheckMode, store.current_slot, e, k * p.width, lookup.search_key, &status,
                   &entry, lookup.entry_line);
      if (status != kFound) break;
      for (const unsigned char* b = lookup.entry_line; *b != 0 && offset < kSingleLimit; ++b) {
        single[offset] = *b;
        if (*b == 0x0A && offset > 0) single[offset - 1] = 0x0D;
        ++offset;
      }
      e = lookup.current_entry + 1;
    }
  }
}
