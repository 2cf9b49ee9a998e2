// The page cache: every byte of edict and every entry of edict.jdx is read
// through it, a 0x3000-byte page at a time, into frames shared by both files
// of every slot. A page stays until it is the least recently used one when a
// frame is needed.
//
// These are the innermost calls of every lookup (each compared byte goes
// through one dict_byte and one index_entry), so a hit costs one bound check,
// one page-table read and one stamp update; the victim scan runs on a miss
// only.
#include <algorithm>
#include <cstring>

#include "store/store.h"

namespace {

// Caches from this many frames on search their victim block by block.
constexpr int kBlockedSearch = 512;

// The frame accessed longest ago among frames first to end - 1, the lower
// number on equal stamps.
int32_t oldest_frame(int first, int end) {
  int32_t victim = first;
  int64_t oldest = store.use_stamp[first];
  for (int f = first + 1; f < end; ++f) {
    if (store.use_stamp[f] < oldest) {
      oldest = store.use_stamp[f];
      victim = f;
    }
  }
  return victim;
}

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
  if (count < kBlockedSearch) return oldest_frame(0, count);
  // A large cache is searched block by block: the block with the earliest
  // bound (the lower on equal bounds) has its bound made exact, until the
  // block picked is exact already; its oldest frame is then the oldest of
  // all, every other block's frames being no older than its bound.
  const int blocks = (count + kVictimBlock - 1) / kVictimBlock;
  bool exact[kMaxFrameCount / kVictimBlock] = {};
  int32_t oldest[kMaxFrameCount / kVictimBlock];
  for (;;) {
    int b = 0;
    for (int k = 1; k < blocks; ++k) {
      if (store.block_oldest[k] < store.block_oldest[b]) b = k;
    }
    if (exact[b]) return oldest[b];
    const int first = b * kVictimBlock;
    oldest[b] = oldest_frame(first, std::min(count, first + kVictimBlock));
    store.block_oldest[b] = store.use_stamp[oldest[b]];
    exact[b] = true;
  }
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
  // One positioned read. Whatever it does not bring (the file shrank after
  // its size was taken, or an I/O error) reads as line ends, never as the
  // bytes of the page the frame held before.
  unsigned char* frame = store.frame[victim];
  int32_t got = file_read_at(file, page * kPageSize, frame, kPageSize);
  if (got < 0) got = 0;
  if (static_cast<uint32_t>(got) < kPageSize) std::memset(frame + got, 0x0A, kPageSize - got);
}

namespace {

// The misses, apart from the hits.
int32_t load_text_page(int slot, uint32_t page) {
  int32_t* element = &store.text_pages[slot][page];
  load_page(element, store.text_handle[slot], page);
  ++store.text_misses[slot];
  return *element;
}

int32_t load_index_page(int slot, uint32_t page) {
  int32_t* element = &store.index_pages[slot][page];
  load_page(element, store.index_handle[slot], page);
  ++store.index_misses[slot];
  return *element;
}

// One access to a text page, as dict_byte makes it: the frame holding it.
inline int32_t text_frame(int slot, uint32_t page) {
  int32_t frame = store.text_pages[slot][page];
  if (frame == -1) [[unlikely]] {
    frame = load_text_page(slot, page);
  } else {
    ++store.text_hits[slot];
  }
  store.use_stamp[frame] = store.use_clock++;
  return frame;
}

// count further accesses to the same frame right after one, with no other
// page touched in between: all hits, and the frame's stamp and the use clock
// end where count single accesses would leave them.
inline void access_again(int slot, int32_t frame, uint32_t count) {
  store.text_hits[slot] += count;
  store.use_clock += count;
  store.use_stamp[frame] = store.use_clock - 1;
}

}  // namespace

unsigned char dict_byte(int32_t position) {
  const int slot = store.current_slot;
  // Positions are 1-based; 0, negative positions and everything from the
  // file size + 1 on read as a line end. The unsigned offset folds all of
  // these into one comparison.
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot]) return 0x0A;
  const uint32_t page = offset / kPageSize;
  return store.frame[text_frame(slot, page)][offset - page * kPageSize];
}

int32_t index_entry(int32_t k) {
  const int slot = store.current_slot;
  // index_limit counts whole words of the file, word 0 included.
  if (static_cast<uint32_t>(k) >= store.index_limit[slot]) return 0;
  const uint32_t offset = static_cast<uint32_t>(k) * 4;
  const uint32_t page = offset / kPageSize;
  int32_t frame = store.index_pages[slot][page];
  if (frame == -1) [[unlikely]] {
    frame = load_index_page(slot, page);
  } else {
    ++store.index_hits[slot];
  }
  store.use_stamp[frame] = store.use_clock++;
  const unsigned char* word = store.frame[frame] + (offset - page * kPageSize);
  // Little-endian, whatever the host's order.
  return static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 | uint32_t{word[2]} << 16 |
                              uint32_t{word[3]} << 24);
}

int32_t dict_line_end_before(int32_t position) {
  const int slot = store.current_slot;
  for (;;) {
    const uint32_t offset = static_cast<uint32_t>(position) - 1u;
    if (offset >= store.text_limit[slot]) return position;  // reads as a line end
    const uint32_t page = offset / kPageSize;
    const int32_t frame = text_frame(slot, page);
    const unsigned char* bytes = store.frame[frame];
    // This page's bytes within, within - 1, ..., 0: one access each, up to
    // the line end found.
    const uint32_t within = offset - page * kPageSize;
    uint32_t at = within;
    while (bytes[at] != 0x0A && at > 0) --at;
    const bool found = bytes[at] == 0x0A;
    const uint32_t read = within - at + 1;
    access_again(slot, frame, read - 1);
    if (found) return position - static_cast<int32_t>(read - 1);
    position -= static_cast<int32_t>(read);
  }
}

int32_t dict_copy_line(int32_t position, unsigned char* out, int32_t max) {
  const int slot = store.current_slot;
  int32_t n = 0;
  while (n < max) {
    const uint32_t offset = static_cast<uint32_t>(position) - 1u;
    if (offset >= store.text_limit[slot]) return n;  // reads as a line end
    const uint32_t page = offset / kPageSize;
    const uint32_t within = offset - page * kPageSize;
    const int32_t frame = text_frame(slot, page);
    const unsigned char* from = store.frame[frame] + within;
    // The rest of this page, of the file and of the room in out.
    uint32_t room = kPageSize - within;
    if (room > store.text_limit[slot] - offset) room = store.text_limit[slot] - offset;
    if (room > static_cast<uint32_t>(max - n)) room = static_cast<uint32_t>(max - n);
    // The first line end or NUL: either ends the copy.
    const auto* end = static_cast<const unsigned char*>(std::memchr(from, 0x0A, room));
    const uint32_t before_end = end == nullptr ? room : static_cast<uint32_t>(end - from);
    if (const void* nul = std::memchr(from, 0, before_end))
      end = static_cast<const unsigned char*>(nul);
    const uint32_t length = end == nullptr ? room : static_cast<uint32_t>(end - from);
    std::memcpy(out + n, from, length);
    n += static_cast<int32_t>(length);
    // The line end (or NUL) is read as well, when it was reached.
    access_again(slot, frame, end == nullptr ? length - 1 : length);
    if (end != nullptr) return n;
    position += static_cast<int32_t>(length);
  }
  return n;
}
