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
