// The dictionary store: the text file and index of each dictionary slot
// (`edict` and `edict.jdx` in slot 0), their page tables, and the page cache
// through which every byte of text and every index entry is read. Neither
// file is ever read whole.
//
// Slots 0 to 2 hold the main dictionary, the names dictionary `enamdict` and
// the reader's own `userdict`, each with its `.jdx` index beside it. Slot 0's
// files are reported when they cannot be opened; the other slots are opened
// only when both of their files are there, and are skipped silently otherwise.
//
// Positions in `edict` are 1-based: position p is the byte at file offset
// p - 1, and position 0, negative positions and positions past the text read
// as a line end (0x0A). Entry k of `edict.jdx` is the signed 32-bit
// little-endian word at byte offset 4 * k; word 0 is not an entry, and the
// searchable entries are 1 to the entry count.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr int kSlotCount = 10;          // dictionary slots 0 to 9
constexpr int kPathSize = 100;          // bytes of a slot's path, NUL included
constexpr uint32_t kPageSize = 0x3000;  // bytes of a page and of a frame
constexpr int kDefaultFrameCount = 48;  // page frames of the cache
constexpr int kFramesPerBlock = 4;      // frames carved out of one frame block
constexpr uint32_t kFrameBlockSize = kFramesPerBlock * kPageSize;  // 0xC000
constexpr int kMinFrameCount = 1;
constexpr int kMaxFrameCount = 8192;  // bound of a raised frame count (96 MiB)
constexpr int kMaxFrameBlocks = kMaxFrameCount / kFramesPerBlock;
constexpr int kVictimBlock = 64;  // frames the victim search of a large cache takes together
static_assert(kMaxFrameCount % kVictimBlock == 0);

// The dictionaries the store opens, by slot (0 to kNamedSlots - 1).
constexpr int kNamedSlots = 3;
extern const char* const kSlotTextFile[kNamedSlots];   // "edict", "enamdict", "userdict"
extern const char* const kSlotIndexFile[kNamedSlots];  // the same with ".jdx"
constexpr int kNamesSlot = 1;                          // the names dictionary's slot

// Program-wide state of the dictionary store; one instance, `store`.
struct Store {
  // Dictionary slots; every per-slot field is an array of kSlotCount.
  char text_path[kSlotCount][kPathSize];      // "edict" for slot 0
  char index_path[kSlotCount][kPathSize];     // "edict.jdx" for slot 0
  int32_t text_handle[kSlotCount];            // kFileError = not open
  int32_t index_handle[kSlotCount];           // kFileError = not open
  uint32_t text_length[kSlotCount];           // text file size + 1
  uint32_t index_size[kSlotCount];            // index file size in bytes
  int32_t entry_count[kSlotCount];            // index size / 4 - 1
  MemoryBlock text_table_block[kSlotCount];   // block of text_pages
  MemoryBlock index_table_block[kSlotCount];  // block of index_pages
  int32_t* text_pages[kSlotCount];        // page -> frame, -1 = not resident; nullptr = no table
  int32_t* index_pages[kSlotCount];       // the same for the index file
  uint32_t text_page_count[kSlotCount];   // elements of text_pages
  uint32_t index_page_count[kSlotCount];  // elements of index_pages
  uint64_t text_hits[kSlotCount];         // statistics: accesses that found the page resident
  uint64_t text_misses[kSlotCount];       // ... and that had to load it
  uint64_t index_hits[kSlotCount];        // the same for the index file
  uint64_t index_misses[kSlotCount];
  // What dict_byte and index_entry may read of each slot: the text file's
  // size in bytes and the index file's whole words. 0 while the file is not
  // open, its size unknown, its page table or the page frames missing, so a
  // slot that could not be set up reads as empty instead of crashing.
  uint32_t text_limit[kSlotCount];   // bytes of text dict_byte may read
  uint32_t index_limit[kSlotCount];  // index words index_entry may read

  // Which opening of the program's run a slot's files are from: every
  // open_dictionary numbers its slot anew (1, 2, ...; never again the same
  // number, not even after a reset), so what was found in one set of files
  // is never taken for another. 0 while the slot was not opened.
  uint32_t opening[kSlotCount];

  // Whether the slot's index failed the checks made at opening (see
  // index_fault); it is then reported with kIndexMismatchText.
  bool index_damaged[kSlotCount];

  int32_t highest_slot;  // slots 0 to this are opened: kNamedSlots - 1
  int32_t current_slot;  // the slot dict_byte and index_entry serve

  // Page cache. Frame k lies in frame block k / 4 at offset (k % 4) * 0x3000.
  int frame_count;                           // 48 unless raised
  bool frames_ready;                         // false when the frame memory could not be had
  MemoryBlock frame_block[kMaxFrameBlocks];  // in the order they were allocated
  unsigned char* frame[kMaxFrameCount];      // start of each frame
  int64_t use_stamp[kMaxFrameCount];         // -1 = free, else use clock at last access
  int32_t* frame_owner[kMaxFrameCount];      // page-table element that maps the frame
  int32_t first_free_frame;  // frames from here on may be free; below, all are in use
  // For the victim search of a large cache: of each run of kVictimBlock
  // frames, a stamp no later than the oldest of them. Stamps only grow (a
  // frame's next stamp is a later clock), so a bound once right stays right.
  int64_t block_oldest[kMaxFrameCount / kVictimBlock];
  int64_t use_clock;    // 1 at start, +1 per access, never reset
  uint64_t page_loads;  // calls of load_page
  uint64_t evictions;   // loads that displaced a resident page
};

extern Store store;

// A frame count kept within kMinFrameCount to kMaxFrameCount: what the cache
// is set up with for n. A caller that must refuse other values compares.
constexpr int bounded_frame_count(long long n) {
  return n < kMinFrameCount   ? kMinFrameCount
         : n > kMaxFrameCount ? kMaxFrameCount
                              : static_cast<int>(n);
}

// Puts the store back to its state at program start (slots closed, no frames,
// use clock 1, counters 0), first releasing the files and blocks it holds.
// The frame count is set to bounded_frame_count(frame_count).
void reset_store(int frame_count = kDefaultFrameCount);

// Sets up the page frames, all free, then opens slots 0 to the highest slot
// index. Messages are owned by main_window. The frame blocks of the previous
// call are freed; when the frames cannot be had ("malloc failed for virtual
// buffers!") nothing can be read until the next call succeeds.
void open_dictionaries(Window main_window);

// Opens the two files of one slot, records their sizes and makes page tables
// with no page resident. For slot 0 every failure is reported and the steps
// go on; a size that cannot be had counts as 0. Any other slot whose files
// are not both there is left closed, without a message. The slot's files and
// tables of the previous call are closed and freed first. Call after the
// frames are set up.
void open_dictionary(Window owner, int slot);

// The message shown (caption: the index file's name) when an index cannot
// belong to its text.
extern const char kIndexMismatchText[];

// The checks an opening makes of an index without walking the text: its
// length is a whole number of 4-byte words, and its first and last entries
// lie inside the text (1 to text_size) and are in the order the lookup
// searches (their first kIndexOrderSpan bytes, folded as compare_key folds).
// Reads the two entries and the text at them from the open files. Returns
// nullptr for an index that passes, else what is wrong ("2 bytes past the
// last whole entry", ...). An index of no entries passes.
const char* index_fault(int32_t text_file, uint32_t text_size, int32_t index_file,
                        uint32_t index_size);
constexpr int kIndexOrderSpan = 50;

// Closes a slot's text file, then its index file; a file not open is skipped.
// Both handles become kFileError and the slot reads as empty afterwards.
void close_dictionary(int slot);

// Whether the slot can be searched: both files open, both page tables and
// the page frames there.
bool slot_ready(int slot);

// Whether any slot has a file open (a Get ran and no clean-up since).
bool any_slot_open();

// One byte of the current slot's text at a 1-based position; 0x0A outside it.
unsigned char dict_byte(int32_t position);

// Index entry k of the current slot: callers pass 0 <= k <= entry count.
// Any other k, or a slot that is not ready, reads as 0.
int32_t index_entry(int32_t k);

// The line extraction's reads, a page at a time. Each reads exactly the
// bytes that the same walk of dict_byte calls would, in the same order, and
// leaves the cache as those calls would (hits, misses, page loads, use
// stamps, use clock); only the work per byte is less.
//
// dict_line_end_before: reads position, position - 1, ... down to the first
// byte that reads as 0x0A and returns its position (0 at the file's start).
int32_t dict_line_end_before(int32_t position);

// dict_copy_line: reads position, position + 1, ... into out until a byte
// reads as 0x0A or 0x00 (that byte is read, not copied) or max bytes are
// copied; returns the number copied.
int32_t dict_copy_line(int32_t position, unsigned char* out, int32_t max);

// compare_key's reads, a run at a time. A run is only read where both the
// index page of an entry and the text page at its position are resident;
// then count calls of index_entry(k) each followed by one of dict_byte
// would all be hits, and note_entry_text_reads leaves the cache as they
// would. Anywhere else the caller reads byte by byte. These are inline: they
// run for every comparison of every search.
//
// resident_entry: entry k of the current slot when its page is resident
// (its frame in *frame); false, touching nothing, when it is not or k is
// outside the index.
inline bool resident_entry(int32_t k, int32_t* value, int32_t* frame) {
  const int slot = store.current_slot;
  if (static_cast<uint32_t>(k) >= store.index_limit[slot]) return false;
  const uint32_t offset = static_cast<uint32_t>(k) * 4;
  const uint32_t page = offset / kPageSize;
  const int32_t* table = store.index_pages[slot];
  if (table == nullptr) return false;  // a store without tables reads byte by byte
  const int32_t f = table[page];
  if (f == -1) return false;
  const unsigned char* word = store.frame[f] + (offset - page * kPageSize);
  *value = static_cast<int32_t>(uint32_t{word[0]} | uint32_t{word[1]} << 8 |
                                uint32_t{word[2]} << 16 | uint32_t{word[3]} << 24);
  *frame = f;
  return true;
}

// resident_text: the bytes at position, position + 1, ... of the current
// slot's text, as many as lie in the same page and the text (at most max),
// when that page is resident: their count in *count, its frame in *frame.
// nullptr, touching nothing, when the page is not resident or the position
// reads as a line end.
inline const unsigned char* resident_text(int32_t position, uint32_t max, uint32_t* count,
                                          int32_t* frame) {
  const int slot = store.current_slot;
  const uint32_t offset = static_cast<uint32_t>(position) - 1u;
  if (offset >= store.text_limit[slot]) return nullptr;
  const uint32_t page = offset / kPageSize;
  const int32_t* table = store.text_pages[slot];
  if (table == nullptr) return nullptr;
  const int32_t f = table[page];
  if (f == -1) return nullptr;
  const uint32_t within = offset - page * kPageSize;
  uint32_t n = kPageSize - within;
  if (n > store.text_limit[slot] - offset) n = store.text_limit[slot] - offset;
  if (n > max) n = max;
  *count = n;
  *frame = f;
  return store.frame[f] + within;
}

// count pairs of accesses, an index entry in index_frame and then a text
// byte in text_frame, all hits: the statistics, both stamps and the use clock
// end where the pairs of single calls would leave them.
inline void note_entry_text_reads(int32_t index_frame, int32_t text_frame, uint32_t count) {
  if (count == 0) return;
  const int slot = store.current_slot;
  store.index_hits[slot] += count;
  store.text_hits[slot] += count;
  // The last pair took the stamps clock - 2 (index) and clock - 1 (text).
  store.use_clock += 2 * int64_t{count};
  store.use_stamp[index_frame] = store.use_clock - 2;
  store.use_stamp[text_frame] = store.use_clock - 1;
}

// Reads one page of file into the least recently used frame and maps it in
// *element. Used by dict_byte, index_entry and the line reads alone.
void load_page(int32_t* element, int32_t file, uint32_t page);
