// The page cache: every byte of edict and every entry of edict.jdx is read
// through it, a 0x3000-byte page at a time, into frames shared by both files
// of every slot. A page stays until it is the least recently used one when a
// frame is needed.
//
// These are the innermost calls of every lookup (each compared byte goes
// through one dict_byte and one index_entry), so a hit costs one bound check,
// one page-table read and one stamp update; the victim scan runs on a miss
// only.
#include "store/store.h"

namespace {

// Frames fill from 0 upwards and are only freed all together (or with the
// tables of a reopened slot), so the search for a free frame starts at the
// lowest that may be free; once all are in use, the victim is the frame
// accessed longest ago, the lower number on equal stamps.
int32_t choose_victim() {
  const int count = store.frame_count;
  for (int f = store.first_free_frame; f < count; ++f) {
    if (store.use_stamp[f] == -1) {
      store.first_free_frame = f + 1;
      return f;
    }
  }
  store.first_free_frame = count;
  int32_t victim = 0;
  int64_t oldest = store.use_stamp[0];
  for (int f = 1; f < count; ++f) {
    if (store.use_stamp[f] < oldest) {
      oldest = store.use_stamp[f];
      victim = f;
    }
  }
  return victim;
}

}  // namespace

void load_page(int32_t* element, int32_t file, uint32_t page) {
  ++store.page_loads;
  const int32_t victim = choose_victim();
  if (store.use_stamp[victim] != -1) {
    *store.frame_owner[victim] = -1;
    ++store.evictions;
  }
  store.frame_owner[victim] = element;
  *element = victim;
  // One positioned read. A short or failed read leaves the rest of the frame
  // as it was; readers never look past the file's size (text_limit,
  // index_limit), so those bytes are never seen.
  file_read_at(file, page * kPageSize, store.frame[victim], kPageSize);
}

unsigned char dict_byte(int32_t position) {
  const int slot = store.current_slot;
  // Positions are 1-based; 0, negative positions and everything from the
  // file size + 1 on read as a line end. The unsigned offset folds all of
  // these into one comparison.
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot]) return 0x0A;
  const uint32_t page = offset / kPageSize;
  int32_t* element = &store.text_pages[slot][page];
  if (*element == -1) {
    load_page(element, store.text_handle[slot], page);
    ++store.text_misses[slot];
  } else {
    ++store.text_hits[slot];
  }
  const int32_t frame = *element;
  store.use_stamp[frame] = store.use_clock++;
  return store.frame[frame][offset % kPageSize];
}

int32_t index_entry(int32_t k) {
  const int slot = store.current_slot;
  // index_limit counts whole words of the file, word 0 included.
  if (static_cast<uint32_t>(k) >= store.index_limit[slot]) return 0;
  const uint32_t offset = static_cast<uint32_t>(k) * 4;
  const uint32_t page = offset / kPageSize;
  int32_t* element = &store.index_pages[slot][page];
  if (*element == -1) {
    load_page(element, store.index_handle[slot], page);
    ++store.index_misses[slot];
  } else {
    ++store.index_hits[slot];
  }
  const int32_t frame = *element;
  store.use_stamp[frame] = store.use_clock++;
  const unsigned char* word = store.frame[frame] + offset % kPageSize;
  // Little-endian, whatever the host's order.
  return static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 | uint32_t{word[2]} << 16 |
                              uint32_t{word[3]} << 24);
}
