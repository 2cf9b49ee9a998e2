// The lookup engine's state.
#include "lookup/lookup.h"

#include <cstddef>
#include <cstring>

Lookup lookup;

const char kNoMatchText[] = "  NOMATCH  \n";

void reset_lookup() {
  // Blocks of an earlier run are given back; at program start they are null.
  for (MemoryBlock block : {lookup.listing_block, lookup.listing_text_block, lookup.single_block}) {
    memory_unlock(block);
    memory_free(block);
  }
  // Everything but the item and step records is cleared. Those two are read
  // only below item_count and step_count, and clearing them would make all of
  // their 1.7 MB resident in every process, however short its passages.
  static_assert(offsetof(Lookup, items) < offsetof(Lookup, step_ends));
  auto* bytes = reinterpret_cast<unsigned char*>(&lookup);
  const size_t items_end = offsetof(Lookup, items) + sizeof lookup.items;
  const size_t steps_end = offsetof(Lookup, step_ends) + sizeof lookup.step_ends;
  std::memset(bytes, 0, offsetof(Lookup, items));
  std::memset(bytes + items_end, 0, offsetof(Lookup, step_ends) - items_end);
  std::memset(bytes + steps_end, 0, sizeof lookup - steps_end);
}

bool is_no_match(const unsigned char* line) {
  // The listing has always told the no-match text by these two bytes alone.
  return line[2] == kNoMatchText[2] && line[6] == kNoMatchText[6];
}

void set_search_key(const unsigned char* bytes, size_t length) {
  std::memset(lookup.search_key, 0, sizeof lookup.search_key);
  if (length > kSearchKeySize - 1) length = kSearchKeySize - 1;
  if (length > 0) std::memcpy(lookup.search_key, bytes, length);
}
