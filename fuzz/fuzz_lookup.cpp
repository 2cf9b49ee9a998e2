// Fuzzes the lookups on arbitrary dictionary pairs: the input is split into
// an edict, an edict.jdx and a passage (two length bytes say where), so the
// index may be unsorted, truncated, point anywhere or be negative, and the
// text may lack its final line feed, hold NUL bytes or very long lines.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/recording.h"
#include "store/store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Layout: 2 bytes (big-endian) the size of edict, 2 bytes that of
  // edict.jdx, then edict, edict.jdx and the passage. Sizes larger than what
  // follows are taken modulo what is there.
  if (size < 4) return 0;
  fuzz_support::enter_scratch_dir(false);
  reset_recording();
  const size_t body = size - 4;
  size_t text_size = (static_cast<size_t>(data[0]) << 8 | data[1]) % (body + 1);
  size_t index_size = (static_cast<size_t>(data[2]) << 8 | data[3]) % (body - text_size + 1);
  const uint8_t* text = data + 4;
  const uint8_t* index = text + text_size;
  const uint8_t* passage = index + index_size;
  size_t passage_size = body - text_size - index_size;
  fuzz_support::write_bytes("edict", text, text_size);
  fuzz_support::write_bytes("edict.jdx", index, index_size);

  // A small cache, so that evictions happen on small inputs too.
  reset_store(4);
  open_dictionaries(nullptr);

  // The passage as the kanji buffer, for the listing.
  intake.kanji_buffer = renew_block(&intake.kanji_block, kKanjiBufferSize, true);
  if (intake.kanji_buffer == nullptr) abort();
  size_t n = passage_size < kKanjiClearSize ? passage_size : kKanjiClearSize;
  std::memcpy(intake.kanji_buffer, passage, n);
  build_listing(nullptr);
  if (lookup.listing_buffer == nullptr ||
      std::memchr(lookup.listing_buffer, 0, kListingBufferSize) == nullptr) {
    abort();
  }

  // The passage's first bytes as a selection.
  set_search_key(passage, passage_size < 50 ? passage_size : 50);
  lookup_selection();
  const unsigned char* single = lookup.single_buffer;
  if (single == nullptr) abort();
  // Whole lines only, each ending in CR LF, and the text's NUL within.
  const void* single_end = std::memchr(single, 0, kSingleBufferSize);
  if (single_end == nullptr) abort();
  const size_t single_length = static_cast<const unsigned char*>(single_end) - single;
  if (single_length > 0 && single[single_length - 1] != 0x0A) abort();
  for (size_t i = 0; i < single_length; ++i) {
    if (single[i] == 0x0A && (i == 0 || single[i - 1] != 0x0D)) abort();
  }
  for (size_t i = single_length; i < kSingleBufferSize; ++i) {
    if (single[i] != 0) abort();
  }
  // The entry line is always a line: its bytes, a line feed, a NUL.
  const void* nul = std::memchr(lookup.entry_line, 0, kEntryLineSize);
  if (nul == nullptr) abort();
  size_t length = static_cast<const unsigned char*>(nul) - lookup.entry_line;
  if (length == 0 || lookup.entry_line[length - 1] != 0x0A) abort();
  close_dictionary(0);
  return 0;
}
