// Binary search of edict.jdx under the folding comparison, and the cutting
// of the entry line around the entry found.
//
// The index is ordered by compare_key: katakana compares as hiragana when the
// character starts at an even offset of the compared bytes, A-Z as a-z. The
// comparison is a prefix test, so the matching entries of a key form one run;
// the search finds any of them and then narrows and walks back to the first.
#include <cstring>

#include "lookup/lookup.h"
#include "store/store.h"

namespace {

// Room for the line's bytes: the buffer also takes the line end and a NUL.
constexpr int kLineBytes = static_cast<int>(kEntryLineSize) - 2;

// Positions wrap as unsigned numbers, so no position near the ends of the
// 32-bit range overflows; positions outside the text read as a line end.
int32_t step(int32_t position, int32_t by) {
  return static_cast<int32_t>(static_cast<uint32_t>(position) + static_cast<uint32_t>(by));
}

// Copies the line of edict that holds the current entry's position into
// line: its bytes (at most 198 of them; a longer line is cut, and so is a
// line at a NUL byte), 0x0A, NUL.
// A position on a line end names the line after it. The store reads the
// line a page at a time, as the byte-by-byte walk would.
void extract_line(int32_t* entry, unsigned char* line) {
  const int32_t p = index_entry(lookup.current_entry);
  *entry = lookup.current_entry;
  // Position 0 reads as a line end, so this stops at the file's start.
  const int32_t start = step(dict_line_end_before(p), 1);
  // A NUL in the text (a damaged dictionary) ends the line too: copied, it
  // would end the buffer's text before the line end that every reader
  // expects. dict_copy_line stops at either.
  int n = dict_copy_line(start, line, kLineBytes);
  line[n++] = 0x0A;
  line[n] = 0;
}

}  // namespace

namespace {

// The comparison of one byte pair at offset i: 0 when they are equal after
// folding, else their folded difference.
inline int32_t compare_byte(unsigned int k, unsigned int t, int32_t i) {
  if ((i & 1) == 0) {
    if (k == 0xA5) k = 0xA4;
    if (t == 0xA5) t = 0xA4;
  }
  if (k - 0x41 <= 0x5A - 0x41) k += 0x20;
  if (t - 0x41 <= 0x5A - 0x41) t += 0x20;
  return static_cast<int32_t>(k) - static_cast<int32_t>(t);
}

}  // namespace

int32_t compare_key(int32_t length, const unsigned char* key) {
  for (int32_t i = 0; i < length;) {
    // Where the entry's index page and the text page are both resident, the
    // bytes of that page are compared straight from its frame: the cache is
    // left as the entry and byte read for each of them would leave it.
    int32_t position = 0;
    int32_t index_frame = -1;
    int32_t text_frame = -1;
    uint32_t count = 0;
    const unsigned char* text = nullptr;
    if (resident_entry(lookup.current_entry, &position, &index_frame)) {
      text =
          resident_text(step(position, i), static_cast<uint32_t>(length - i), &count, &text_frame);
    }
    if (text != nullptr) {
      for (uint32_t j = 0; j < count; ++j) {
        const unsigned int k = key[i + j];
        const unsigned int t = text[j];
        // Equal bytes fold alike; a NUL on either side ends the comparison
        // as a match.
        if (k == t && k != 0) continue;
        const int32_t r = k == 0 || t == 0 ? 0 : compare_byte(k, t, i + static_cast<int32_t>(j));
        if (r != 0 || k == 0 || t == 0) {
          note_entry_text_reads(index_frame, text_frame, j + 1);
          return r;
        }
      }
      note_entry_text_reads(index_frame, text_frame, count);
      i += static_cast<int32_t>(count);
      continue;
    }
    // The entry is read anew for every byte: the page cache sees the index
    // page touched as often as the text, which its eviction order reflects.
    const unsigned int k = key[i];
    const unsigned int t = dict_byte(step(index_entry(lookup.current_entry), i));
    // A NUL on either side ends the comparison as a match: the key's NUL
    // ends the key, and the text holds no NUL of its own.
    if (k == 0 || t == 0) return 0;
    if (const int32_t r = compare_byte(k, t, i); r != 0) return r;
    ++i;
  }
  return 0;
}

namespace {

// The binary search, its narrowing and the walk back: the first entry of
// the matching run that the probes reach, or 0 when they find none.
// lookup.current_entry is left where the search left it.
int32_t first_matching_entry(int32_t count, int32_t length, const unsigned char* key) {
  int32_t lo = 1;
  int32_t hi = count;
  if (hi < 1) return 0;
  int32_t found = 0;
  for (int probes = 0;; ++probes) {
    if (probes == kProbeBudget) return 0;
    const auto mid = static_cast<int32_t>((int64_t{lo} + hi) / 2);
    lookup.current_entry = mid;
    const int32_t r = compare_key(length, key);
    if (r == 0) {
      found = mid;
      break;
    }
    if (r > 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
    if (lo > hi) return 0;
  }

  // Entries below lo sort before the key; narrow towards the first match.
  while (lo + 1 < found) {
    const auto mid = static_cast<int32_t>((int64_t{found} + lo) / 2);
    lookup.current_entry = mid;
    if (compare_key(length, key) == 0) {
      found = mid;
    } else {
      lo = mid + 1;
    }
  }

  // Walk back over the matching run; entry 0 is not an entry and is never
  // compared.
  lookup.current_entry = found;
  while (compare_key(length, key) == 0) {
    if (lookup.current_entry == 1) return 1;
    --lookup.current_entry;
  }
  ++lookup.current_entry;
  return lookup.current_entry;
}

// The memo's place for a key of the slot.
SearchMemoEntry& memo_place(int slot, const unsigned char* key, size_t bytes) {
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(slot);
  for (size_t i = 0; i < bytes; ++i) hash = (hash ^ key[i]) * 16777619u;
  return search_memo.places[(hash ^ hash >> 15) % kSearchMemoPlaces];
}

}  // namespace

SearchMemo search_memo;

SearchMemoEntry* find_search_memo(int slot, const unsigned char* key, size_t bytes) {
  if (slot < 0 || slot >= kSlotCount || store.opening[slot] == 0 || bytes > kSearchMemoKeySize) {
    return nullptr;
  }
  SearchMemoEntry& m = memo_place(slot, key, bytes);
  if (m.opening != store.opening[slot] || m.slot != slot || m.length != bytes ||
      std::memcmp(m.key, key, bytes) != 0) {
    return nullptr;
  }
  return &m;
}

void search_index(int mode, int slot, int32_t start, int32_t length, const unsigned char* key,
                  int* status, int32_t* entry, unsigned char* line) {
  *status = kNotFound;
  // A slot whose files, tables or frames could not be had finds nothing.
  if (!slot_ready(slot)) return;
  const int32_t count = store.entry_count[slot];

  if (mode == kCheckMode) {
    if (start < 1 || start > count) return;
    lookup.current_entry = start;
    if (compare_key(length, key) != 0) return;
    extract_line(entry, line);
    *status = kFound;
    return;
  }

  if (search_first_entry(slot, length, key) == 0) return;
  extract_line(entry, line);
  *status = kFound;
}

int32_t search_first_entry(int slot, int32_t length, const unsigned char* key) {
  if (!slot_ready(slot)) return 0;
  // The comparison never reads past the key's NUL, and a key that ends
  // there compares as the bytes before it: those bytes are what the search
  // depends on, besides the slot's files.
  const size_t bytes =
      length > 0 ? strnlen(reinterpret_cast<const char*>(key), static_cast<size_t>(length)) : 0;
  const bool memo = length > 0 && bytes <= kSearchMemoKeySize && store.opening[slot] != 0;
  if (memo) {
    if (const SearchMemoEntry* m = find_search_memo(slot, key, bytes)) {
      ++search_memo.hits;
      lookup.current_entry = m->current;
      return m->first;
    }
  }
  const int32_t first = first_matching_entry(store.entry_count[slot], length, key);
  if (memo) {
    SearchMemoEntry& m = memo_place(slot, key, bytes);
    m.opening = store.opening[slot];
    m.slot = static_cast<uint8_t>(slot);
    m.length = static_cast<uint8_t>(bytes);
    std::memcpy(m.key, key, bytes);
    m.first = first;
    m.current = lookup.current_entry;
    m.walk_end = 0;
  }
  return first;
}
