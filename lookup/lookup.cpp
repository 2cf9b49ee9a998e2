// The lookup engine's state.
#include "lookup/lookup.h"

#include <cstring>

Lookup lookup;

const char kNoMatchText[] = "  NOMATCH  \n";

void reset_lookup() {
  // Blocks of an earlier run are given back; at program start they are null.
  for (MemoryBlock block : {lookup.listing_block, lookup.listing_text_block, lookup.single_block}) {
    memory_unlock(block);
    memory_free(block);
  }
  std::memset(&lookup, 0, sizeof lookup);
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
