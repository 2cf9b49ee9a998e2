// The dictionary store's state, and the opening and closing of its slots.
//
// edict, the text: one entry line per line, every line (the last included)
// ending in 0x0A. Position p names the byte at file offset p - 1.
//
// edict.jdx, the index:
//   offset 0        4 bytes   word 0, not an entry
//   offset 4k       4 bytes   entry k (k = 1 to N): a position in edict,
//                             signed 32-bit little-endian
//   offset 4(N+1)   0-3 bytes ignored
// N = size / 4 - 1. Entries are in ascending order of the text at their
// positions under compare_key's folding.
//
// Page tables have one element per 0x3000-byte page of a file: the frame
// holding the page, or -1.
#include "store/store.h"

#include <cstdio>
#include <cstring>
#include <functional>

Store store;

const char* const kSlotTextFile[kNamedSlots] = {"edict", "enamdict", "userdict"};
const char* const kSlotIndexFile[kNamedSlots] = {"edict.jdx", "enamdict.jdx", "userdict.jdx"};

const char kIndexMismatchText[] = "the index does not match the dictionary: run `dodevuz index`";

namespace {

// At program start every handle reads "not open" without waiting for the
// first reset (a Clear All before any Get must not close descriptor 0).
const bool kStoreStarted = (reset_store(), true);

void release_frames() {
  for (MemoryBlock& block : store.frame_block) {
    memory_unlock(block);
    memory_free(block);
    block = nullptr;
  }
  store.frames_ready = false;
}

void release_table(MemoryBlock* block, int32_t** table, uint32_t* count) {
  memory_unlock(*block);
  memory_free(*block);
  *block = nullptr;
  *table = nullptr;
  *count = 0;
}

// Frees the frames that map pages of a table about to be released, so no
// later eviction writes through a stale owner.
void drop_frames_of(const int32_t* table, uint32_t count) {
  if (table == nullptr) return;
  const std::less<const int32_t*> before;
  for (int f = 0; f < store.frame_count; ++f) {
    const int32_t* owner = store.frame_owner[f];
    if (store.use_stamp[f] == -1 || before(owner, table) || !before(owner, table + count)) {
      continue;
    }
    store.use_stamp[f] = -1;
    store.frame_owner[f] = nullptr;
    if (f < store.first_free_frame) store.first_free_frame = f;
  }
}

// A page table of pages elements, every page not resident. The block is
// asked for zero-filled and then set to -1 element by element, as the
// readers of the tables expect from either step alone.
int32_t* make_table(MemoryBlock* block, uint32_t pages) {
  auto* table = reinterpret_cast<int32_t*>(renew_block(block, size_t{pages} * 4, true));
  if (table != nullptr) {
    for (uint32_t n = 0; n < pages; ++n) table[n] = -1;
  }
  return table;
}

// Entry k of an open index file, read directly (not through the cache, whose
// counters and stamps stay as the lookup alone leaves them).
bool read_entry(int32_t index_file, uint32_t k, int32_t* value) {
  unsigned char word[4];
  if (file_read_at(index_file, k * 4, word, 4) != 4) return false;
  *value = static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 |
                                uint32_t{word[2]} << 16 | uint32_t{word[3]} << 24);
  return true;
}

// The text at a position as the order of the index sees it: A-Z as a-z, the
// katakana lead byte 0xA5 as 0xA4 at even offsets from the position, bytes
// past the text as line ends.
void folded_text_at(int32_t text_file, uint32_t text_size, int32_t position,
                    unsigned char (&out)[kIndexOrderSpan]) {
  std::memset(out, 0x0A, sizeof out);
  const uint32_t offset = static_cast<uint32_t>(position) - 1;
  uint32_t want = kIndexOrderSpan;
  if (text_size - offset < want) want = text_size - offset;
  int32_t got = file_read_at(text_file, offset, out, want);
  if (got < 0) got = 0;
  if (static_cast<uint32_t>(got) < want) std::memset(out + got, 0x0A, want - got);
  for (int i = 0; i < kIndexOrderSpan; ++i) {
    if (out[i] >= 'A' && out[i] <= 'Z') {
      out[i] += 0x20;
    } else if (out[i] == 0xA5 && i % 2 == 0) {
      out[i] = 0xA4;
    }
  }
}

}  // namespace

const char* index_fault(int32_t text_file, uint32_t text_size, int32_t index_file,
                        uint32_t index_size) {
  if (index_size % 4 != 0) return "its length is not a whole number of entries";
  if (index_size < 8) return nullptr;  // no entries
  const uint32_t last = index_size / 4 - 1;
  int32_t first_position = 0, last_position = 0;
  if (!read_entry(index_file, 1, &first_position) ||
      !read_entry(index_file, last, &last_position)) {
    return "it cannot be read";
  }
  auto inside = [&](int32_t p) { return p >= 1 && static_cast<uint32_t>(p) <= text_size; };
  if (!inside(first_position)) return "its first entry lies outside the dictionary";
  if (!inside(last_position)) return "its last entry lies outside the dictionary";
  unsigned char first_text[kIndexOrderSpan], last_text[kIndexOrderSpan];
  folded_text_at(text_file, text_size, first_position, first_text);
  folded_text_at(text_file, text_size, last_position, last_text);
  if (std::memcmp(first_text, last_text, kIndexOrderSpan) > 0) {
    return "its first and last entries are out of order";
  }
  return nullptr;
}

void reset_store(int frame_count) {
  // use_clock is 0 only before the first reset: the zeros then are not
  // handles or blocks of ours.
  if (store.use_clock != 0) {
    for (int s = 0; s < kSlotCount; ++s) {
      close_dictionary(s);
      release_table(&store.text_table_block[s], &store.text_pages[s], &store.text_page_count[s]);
      release_table(&store.index_table_block[s], &store.index_pages[s], &store.index_page_count[s]);
    }
    release_frames();
  }
  std::memset(&store, 0, sizeof store);
  for (int s = 0; s < kSlotCount; ++s) {
    store.text_handle[s] = kFileError;
    store.index_handle[s] = kFileError;
  }
  for (int64_t& stamp : store.use_stamp) stamp = -1;
  store.frame_count = bounded_frame_count(frame_count);
  store.highest_slot = kNamedSlots - 1;
  store.use_clock = 1;
}

void open_dictionaries(Window main_window) {
  // Frames are carved four to a block; the blocks of the previous command
  // are freed as the new ones replace them.
  const int blocks = (store.frame_count + kFramesPerBlock - 1) / kFramesPerBlock;
  bool ready = true;
  for (int b = 0; b < blocks && ready; ++b) {
    unsigned char* base = renew_block(&store.frame_block[b], kFrameBlockSize, false);
    if (base == nullptr) {
      ready = false;
      break;
    }
    for (int f = b * kFramesPerBlock; f < (b + 1) * kFramesPerBlock && f < store.frame_count; ++f) {
      store.frame[f] = base + (f % kFramesPerBlock) * kPageSize;
      store.use_stamp[f] = -1;
    }
  }
  if (ready) {
    // Blocks left over from a larger frame count are no longer needed.
    for (int b = blocks; b < kMaxFrameBlocks; ++b) {
      memory_unlock(store.frame_block[b]);
      memory_free(store.frame_block[b]);
      store.frame_block[b] = nullptr;
    }
    store.frames_ready = true;
  } else {
    // Part of the frames is of no use: give it all back.
    release_frames();
    message_box(main_window, "malloc failed for virtual buffers!", " ");
  }
  for (int f = 0; f < kMaxFrameCount; ++f) {
    if (!ready || f >= store.frame_count) store.frame[f] = nullptr;
    store.use_stamp[f] = -1;
  }
  store.first_free_frame = 0;
  for (int slot = 0; slot <= store.highest_slot; ++slot) open_dictionary(main_window, slot);
}

void open_dictionary(Window owner, int slot) {
  if (slot < 0 || slot >= kSlotCount) return;
  // The handles and tables of the previous command are not read again.
  close_dictionary(slot);
  static uint32_t openings = 0;  // of the whole run; a reset does not repeat them
  store.opening[slot] = ++openings;
  drop_frames_of(store.text_pages[slot], store.text_page_count[slot]);
  drop_frames_of(store.index_pages[slot], store.index_page_count[slot]);
  if (slot < kNamedSlots) {
    std::snprintf(store.text_path[slot], kPathSize, "%s", kSlotTextFile[slot]);
    std::snprintf(store.index_path[slot], kPathSize, "%s", kSlotIndexFile[slot]);
  }
  // The extra dictionaries are optional: without both files the slot stays
  // closed and empty, and nothing is said. Its old tables go, so nothing of
  // an earlier command's pages remains mapped.
  if (slot > 0) {
    uint32_t ignored = 0;
    if (store.text_path[slot][0] == 0 || file_size(store.text_path[slot], &ignored) != 0 ||
        file_size(store.index_path[slot], &ignored) != 0) {
      release_table(&store.text_table_block[slot], &store.text_pages[slot],
                    &store.text_page_count[slot]);
      release_table(&store.index_table_block[slot], &store.index_pages[slot],
                    &store.index_page_count[slot]);
      store.text_length[slot] = 0;
      store.index_size[slot] = 0;
      store.entry_count[slot] = 0;
      return;
    }
  }
  // Messages about the files name the dictionary; slot 0 keeps "edict".
  const char* caption = slot < kNamedSlots ? kSlotTextFile[slot] : store.text_path[slot];

  store.text_handle[slot] = file_open_read(store.text_path[slot]);
  if (store.text_handle[slot] == kFileError) {
    if (slot == 0) message_box(owner, "Cannot open dictionary file:", caption);
  }
  uint32_t size = 0;
  if (file_size(store.text_path[slot], &size) != 0) {
    if (slot == 0) message_box(owner, "Stat() error", " ");
    size = 0;  // reads as an empty file
  }
  store.text_length[slot] = size + 1;
  const uint32_t text_pages = store.text_length[slot] / kPageSize + 1;
  store.text_pages[slot] = make_table(&store.text_table_block[slot], text_pages);
  if (store.text_pages[slot] == nullptr) {
    message_box(owner, "malloc() for dictionary page-table failed", caption);
  }
  store.text_page_count[slot] = store.text_pages[slot] != nullptr ? text_pages : 0;
  const bool text_usable = store.frames_ready && store.text_handle[slot] != kFileError &&
                           store.text_pages[slot] != nullptr;
  store.text_limit[slot] = text_usable ? size : 0;

  store.index_handle[slot] = file_open_read(store.index_path[slot]);
  if (store.index_handle[slot] == kFileError) {
    if (slot == 0) message_box(owner, "Cannot open dictionary index file:", caption);
  }
  size = 0;
  if (file_size(store.index_path[slot], &size) != 0) {
    if (slot == 0) message_box(owner, "Stat() error", " ");
    size = 0;
  }
  store.index_size[slot] = size;
  store.entry_count[slot] = static_cast<int32_t>(size / 4) - 1;
  const uint32_t index_pages = size / kPageSize + 1;
  store.index_pages[slot] = make_table(&store.index_table_block[slot], index_pages);
  if (store.index_pages[slot] == nullptr) {
    message_box(owner, "malloc() for index page-table failed", caption);
  }
  store.index_page_count[slot] = store.index_pages[slot] != nullptr ? index_pages : 0;
  const bool index_usable = store.frames_ready && store.index_handle[slot] != kFileError &&
                            store.index_pages[slot] != nullptr;
  store.index_limit[slot] = index_usable ? size / 4 : 0;

  // An index that cannot belong to its text would list other words than
  // the passage's without a sign: the reader is told (the listing still
  // runs, as with any other file fault).
  store.index_damaged[slot] = store.text_handle[slot] != kFileError &&
                              store.index_handle[slot] != kFileError &&
                              index_fault(store.text_handle[slot], store.text_length[slot] - 1,
                                          store.index_handle[slot], size) != nullptr;
  if (store.index_damaged[slot]) message_box(owner, kIndexMismatchText, store.index_path[slot]);
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
  return slot >= 0 && slot < kSlotCount && store.frames_ready &&
         store.text_handle[slot] != kFileError && store.index_handle[slot] != kFileError &&
         store.text_pages[slot] != nullptr && store.index_pages[slot] != nullptr;
}

bool any_slot_open() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (store.text_handle[slot] != kFileError || store.index_handle[slot] != kFileError) {
      return true;
    }
  }
  return false;
}
