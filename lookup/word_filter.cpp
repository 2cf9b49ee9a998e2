// The word filters of the dictionaries (lookup.h, WordFilter): a bit set
// of each text file's headwords (with the blank after them) and readings
// (with the ']' after them), made by reading the file once past the page
// cache. A key it does not know is no headword or reading of the file, and
// need not be searched; some 1 in 50 unknown keys passes in vain. The same
// reading gathers the word classes that the lines' tags name.
#include <algorithm>
#include <memory>
#include <new>

#include "deinflect/deinflect.h"
#include "lookup/lookup.h"
#include "store/store.h"

namespace {

// The filter's hash of a key (its bytes and its terminator): 64-bit FNV-1a,
// which the scan of a text file computes a byte at a time.
constexpr uint64_t kHashBasis = 14695981039346656037u;
constexpr uint64_t kHashPrime = 1099511628211u;
uint64_t filter_hash(const unsigned char* bytes, size_t length) {
  uint64_t h = kHashBasis;
  for (size_t i = 0; i < length; ++i) h = (h ^ bytes[i]) * kHashPrime;
  return h;
}

// The filter keeps a key's bits in one word of it, so that a test costs one
// read of memory: the hash's high bits choose the word (bit_count is a power
// of two), six slices of its low bits the bits.
bool filter_test_or_set(WordFilter& f, uint64_t hash, bool set) {
  // FNV's low bits mix poorly; spread every bit over all of them first.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdu;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53u;
  hash ^= hash >> 33;
  uint64_t& word = f.bits[(hash >> 32) & (f.bit_count / 64 - 1)];
  uint64_t mask = 0;
  for (int i = 0; i < kWordFilterHashes; ++i) mask |= uint64_t{1} << (hash >> (6 * i) & 63);
  if (set) word |= mask;
  return (word & mask) == mask;
}

// Makes the slot's filter from its text file: for every line, its headword
// and the blank after it, and, with_readings and where a " [" follows the
// headword, the reading up to its ']'. Streams the file in chunks past the
// page cache.
void make_word_filter(int slot, bool with_readings) {
  WordFilter& f = forms_memo.filters[slot];
  static std::unique_ptr<uint64_t[]> memory[kSlotCount];
  f.opening = store.opening[slot];
  f.usable = false;
  f.readings = with_readings;
  f.classes = 0;
  f.classes_table = 0;
  const uint64_t size = store.text_limit[slot];
  uint64_t bits = 4096;
  while (bits < size / 2 && bits < kWordFilterMostBits) bits *= 2;
  if (f.bits == nullptr || f.bit_count != bits) {
    memory[slot].reset(new (std::nothrow) uint64_t[bits / 64]);
    f.bits = memory[slot].get();
    f.bit_count = f.bits == nullptr ? 0 : bits;
  }
  if (f.bits == nullptr) return;
  std::fill_n(f.bits, bits / 64, uint64_t{0});

  constexpr uint32_t kChunk = 1 << 20;
  // The chunk is given back once the file is read: the filter is made once
  // for a long text, and the megabyte would stay for the rest of it.
  const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kChunk]);
  if (chunk == nullptr) return;
  // 0: in the headword, 1: after its blank, 2: in the reading, 3: to the line end.
  int state = 0;
  // Each line's first bytes as the lookup cuts them (kEntryLineSize - 2),
  // for the word classes its tags name; a NUL, which ends a line there,
  // counts as every class.
  unsigned char line[kEntryLineSize];
  size_t line_length = 0;
  bool tags = false;
  ClassSet classes = 0;
  // The classes a form can ask for are those the rules reach; once the
  // lines have named them all, the rest need not be parsed.
  ClassSet wanted = 0;
  for (int r = 0; r < deinflect.rule_count; ++r) wanted |= deinflect.rules[r].applies;
  wanted &= deinflect.word_classes;
  auto line_end = [&] {
    if (tags && (classes & wanted) != wanted) {
      line[line_length] = 0x0A;
      line[line_length + 1] = 0;
      classes |= entry_classes(line);
    }
    line_length = 0;
    tags = false;
  };
  uint64_t hash = kHashBasis;
  auto add = [&](unsigned char c) { hash = (hash ^ c) * kHashPrime; };
  for (uint32_t offset = 0; offset < size;) {
    const int32_t got =
        file_read_at(store.text_handle[slot], offset, chunk.get(),
                     static_cast<uint32_t>(std::min<uint64_t>(kChunk, size - offset)));
    if (got <= 0) return;  // unusable: every key is searched
    for (int32_t i = 0; i < got; ++i) {
      const unsigned char c = chunk[i];
      if (c == 0x0A) {
        state = 0;
        hash = kHashBasis;
        line_end();
        continue;
      }
      if (c == 0) classes = ~ClassSet{0};
      if (line_length < kEntryLineSize - 2) {
        line[line_length++] = c;
        tags = tags || c == '(';
      }
      switch (state) {
        case 0:
        case 2:
          // The headword ends at its blank, the reading at its ']'; each
          // is kept with the byte that ends it, as the lookup's keys are.
          add(c);
          if (c == (state == 0 ? ' ' : ']')) {
            filter_test_or_set(f, hash, true);
            state = state == 0 ? 1 : 3;
          }
          break;
        case 1:
          state = c == '[' && with_readings ? 2 : 3;
          hash = kHashBasis;
          break;
        default:
          break;
      }
    }
    offset += static_cast<uint32_t>(got);
  }
  line_end();
  f.usable = true;
  // Classes are only known by the table they were read with.
  f.classes = classes;
  f.classes_table = deinflect.generation;
}

}  // namespace

bool word_filter_usable(int slot, bool with_readings) {
  if (slot < 0 || slot >= kSlotCount || store.opening[slot] == 0) return false;
  WordFilter& f = forms_memo.filters[slot];
  if (f.opening != store.opening[slot] || (with_readings && !f.readings)) {
    make_word_filter(slot, with_readings);
  }
  return f.usable;
}

bool word_filter_may_hold(int slot, const unsigned char* key, size_t length) {
  WordFilter& f = forms_memo.filters[slot];
  if (f.opening != store.opening[slot] || !f.usable) return true;
  return filter_test_or_set(f, filter_hash(key, length), false);
}

bool word_filter_lacks_classes(int slot, ClassSet classes) {
  const WordFilter& f = forms_memo.filters[slot];
  return f.opening == store.opening[slot] && f.opening != 0 && f.usable && f.classes_table != 0 &&
         f.classes_table == deinflect.generation && (f.classes & classes) == 0;
}
