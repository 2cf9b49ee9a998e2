// The benchmark's reference store: the procedures of store/store.h over the
// two dictionary files held whole in memory, with no page cache at all. It
// is linked into dodevuz-bench-ref in place of store/, under the same lookup,
// intake, romaji and shell code, so the reference mode runs the same
// algorithm and must give the same listing and romaji, byte for byte; what
// it does not have is the cost of the cache (page tables, use stamps, page
// loads) and its bound on memory.
//
// Each open still opens and sizes both files, as a Get does; their bytes are
// read once per process (the first, untimed Get of the benchmark) and kept,
// as if the dictionary lay in memory. No statistics are kept: the counts of
// a Get are the page cache's, and a counter here would only slow the
// reference down.
//
// edict is read as bytes, position p being offset p - 1; edict.jdx as
// signed 32-bit little-endian words, word k at offset 4k (see store.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/store.h"

#if defined(DODEVUZ_BENCH_TRACE)
#include "bench/replacement.h"
#endif

Store store;

namespace {

struct HeldFile {
  std::string path;
  uint32_t size = 0;
  std::vector<unsigned char> bytes;
};

HeldFile held_text[kSlotCount];
HeldFile held_index[kSlotCount];

// The file's bytes, read whole unless the same file (path and size) is held.
// Returns false when it cannot be read.
bool hold(HeldFile* held, const char* path, int32_t handle, uint32_t size) {
  if (held->path == path && held->size == size && held->bytes.size() == size) return true;
  held->path = path;
  held->size = size;
  held->bytes.assign(size, 0);
  uint32_t done = 0;
  while (done < size) {
    int32_t n = file_read_at(handle, done, held->bytes.data() + done, size - done);
    if (n <= 0) {
      held->path.clear();
      held->bytes.clear();
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  return true;
}

const bool kStoreStarted = (reset_store(), true);

// The trace build records the page of every access, in order
// (bench/replacement.h); the reference itself records nothing.
#if defined(DODEVUZ_BENCH_TRACE)
inline void trace_text(uint32_t offset) {
  page_trace.push_back(offset / kPageSize);
}
inline void trace_index(uint32_t offset) {
  page_trace.push_back(kIndexPageBase + offset / kPageSize);
}
#else
inline void trace_text(uint32_t) {}
inline void trace_index(uint32_t) {}
#endif

}  // namespace

void reset_store(int frame_count) {
  if (store.use_clock != 0) {
    for (int s = 0; s < kSlotCount; ++s) close_dictionary(s);
  }
  std::memset(&store, 0, sizeof store);
  for (int s = 0; s < kSlotCount; ++s) {
    store.text_handle[s] = kFileError;
    store.index_handle[s] = kFileError;
  }
  store.frame_count = bounded_frame_count(frame_count);
  store.use_clock = 1;
}

void open_dictionaries(Window main_window) {
  store.frames_ready = true;  // no frames to set up
  for (int slot = 0; slot <= store.highest_slot; ++slot) open_dictionary(main_window, slot);
}

void open_dictionary(Window owner, int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  close_dictionary(slot);
  static uint32_t openings = 0;  // as the store numbers its openings
  store.opening[slot] = ++openings;
  if (slot == 0) {
    std::snprintf(store.text_path[0], kPathSize, "%s", "edict");
    std::snprintf(store.index_path[0], kPathSize, "%s", "edict.jdx");
  }
  store.text_handle[slot] = file_open_read(store.text_path[slot]);
  if (store.text_handle[slot] == kFileError)
    message_box(owner, "Cannot open dictionary file:", "edict");
  uint32_t size = 0;
  if (file_size(store.text_path[slot], &size) != 0) {
    message_box(owner, "Stat() error", " ");
    size = 0;
  }
  store.text_length[slot] = size + 1;
  bool usable = store.text_handle[slot] != kFileError &&
                hold(&held_text[slot], store.text_path[slot], store.text_handle[slot], size);
  store.text_limit[slot] = usable ? size : 0;

  store.index_handle[slot] = file_open_read(store.index_path[slot]);
  if (store.index_handle[slot] == kFileError) {
    message_box(owner, "Cannot open dictionary index file:", "edict");
  }
  size = 0;
  if (file_size(store.index_path[slot], &size) != 0) {
    message_box(owner, "Stat() error", " ");
    size = 0;
  }
  store.index_size[slot] = size;
  store.entry_count[slot] = static_cast<int32_t>(size / 4) - 1;
  usable = store.index_handle[slot] != kFileError &&
           hold(&held_index[slot], store.index_path[slot], store.index_handle[slot], size);
  store.index_limit[slot] = usable ? size / 4 : 0;
}

void close_dictionary(int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  if (store.text_handle[slot] != kFileError) file_close(store.text_handle[slot]);
  if (store.index_handle[slot] != kFileError) file_close(store.index_handle[slot]);
  store.text_handle[slot] = kFileError;
  store.index_handle[slot] = kFileError;
  store.text_limit[slot] = 0;
  store.index_limit[slot] = 0;
}

bool slot_ready(int slot) {
  return slot >= 0 && slot < kSlotCount && store.text_handle[slot] != kFileError &&
         store.index_handle[slot] != kFileError;
}

bool any_slot_open() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (store.text_handle[slot] != kFileError || store.index_handle[slot] != kFileError) {
      return true;
    }
  }
  return false;
}

unsigned char dict_byte(int32_t position) {
  const int slot = store.current_slot;
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot]) return 0x0A;
  trace_text(offset);
  return held_text[slot].bytes[offset];
}

int32_t index_entry(int32_t k) {
  const int slot = store.current_slot;
  if (static_cast<uint32_t>(k) >= store.index_limit[slot]) return 0;
  trace_index(static_cast<uint32_t>(k) * 4);
  const unsigned char* word = held_index[slot].bytes.data() + size_t{static_cast<uint32_t>(k)} * 4;
  return static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 | uint32_t{word[2]} << 16 |
                              uint32_t{word[3]} << 24);
}

// Nothing is ever paged in; present so that the program links as with store/.
void load_page(int32_t*, int32_t, uint32_t) {}

// The store's line reads (a page at a time, as the byte-by-byte walk reads),
// here over the text in memory, so that the reference runs the same
// algorithm as the store.
int32_t dict_line_end_before(int32_t position) {
  const int slot = store.current_slot;
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot]) return position;
  const unsigned char* text = held_text[slot].bytes.data();
  uint32_t at = offset;
  trace_text(at);
  while (text[at] != 0x0A && at > 0) trace_text(--at);
  // Position 0 reads as a line end.
  return text[at] == 0x0A ? static_cast<int32_t>(at) + 1 : 0;
}

int32_t dict_copy_line(int32_t position, unsigned char* out, int32_t max) {
  const int slot = store.current_slot;
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot] || max <= 0) return 0;
  uint32_t room = store.text_limit[slot] - offset;
  if (room > static_cast<uint32_t>(max)) room = static_cast<uint32_t>(max);
  const unsigned char* from = held_text[slot].bytes.data() + offset;
  // The first line end or NUL ends the copy.
  uint32_t length = 0;
  while (length < room && from[length] != 0x0A && from[length] != 0) ++length;
  const bool end = length < room;
  std::memcpy(out, from, length);
  // The line end (or NUL) is read too, when it was reached.
  for (uint32_t i = 0; i < (end ? length + 1 : length); ++i) trace_text(offset + i);
  return static_cast<int32_t>(length);
}
