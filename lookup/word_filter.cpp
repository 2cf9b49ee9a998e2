// The word filters of the dictionaries (lookup.h, WordFilter): a bit set
// of each text file's headwords (with the blank after them) and readings
// (with the ']' after them), made by reading the file once past the page
// cache. A key it does not know is no headword or reading of the file, and
// need not be searched; some 1 in 50 unknown keys passes in vain. The same
// reading gathers the word classes that the lines' tags name.
#include <algorithm>
#include <cstring>
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

// The word classes the tags of one line name, as the lookup would read
// them from its first kEntryLineSize - 2 bytes (end excluded).
ClassSet line_classes(const unsigned char* line, const unsigned char* end) {
  const auto cut = std::min<size_t>(static_cast<size_t>(end - line), kEntryLineSize - 2);
  const auto* open = static_cast<const unsigned char*>(std::memchr(line, '(', cut));
  if (open == nullptr) return 0;
  // A NUL ends the lookup's line; past one (a damaged file) the classes
  // read here are more than the lookup sees, which only walks more.
  unsigned char tags[kEntryLineSize];
  const auto length = static_cast<size_t>(line + cut - open);
  std::memcpy(tags, open, length);
  tags[length] = 0;
  return entry_classes(tags);
}

// Makes the slot's filter from its text file: for every line, its headword
// and the blank after it, and, with_readings and where a " [" follows the
// headword, the reading up to its ']'; and the classes its tags name.
// Streams the file past the page cache, a chunk of whole lines at a time.
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
  // The classes a form can ask for are those the rules reach; once the
  // lines have named them all, the rest need not be parsed.
  ClassSet wanted = 0;
  for (int r = 0; r < deinflect.rule_count; ++r) wanted |= deinflect.rules[r].applies;
  wanted &= deinflect.word_classes;
  ClassSet classes = 0;

  // One line, from its first byte up to its line end (excluded).
  auto take_line = [&](const unsigned char* line, const unsigned char* end) {
    // The headword ends at its blank, the reading at its ']'; each is kept
    // with the byte that ends it, as the lookup's keys are.
    const auto find = [end](const unsigned char* from, unsigned char c) {
      return static_cast<const unsigned char*>(std::memchr(from, c, end - from));
    };
    if (const unsigned char* blank = find(line, ' '); blank != nullptr) {
      filter_test_or_set(f, filter_hash(line, blank + 1 - line), true);
      const unsigned char* reading = blank + 1;
      if (with_readings && reading < end && *reading == '[') {
        if (const unsigned char* close = find(reading + 1, ']'); close != nullptr) {
          filter_test_or_set(f, filter_hash(reading + 1, close - reading), true);
        }
      }
    }
    if ((classes & wanted) != wanted) classes |= line_classes(line, end);
  };

  size_t held = 0;  // bytes of a line begun in the last chunk, at the chunk's start
  for (uint64_t offset = 0; offset < size;) {
    const int32_t got =
        file_read_at(store.text_handle[slot], static_cast<uint32_t>(offset), chunk.get() + held,
                     static_cast<uint32_t>(std::min<uint64_t>(kChunk - held, size - offset)));
    if (got <= 0) return;  // unusable: every key is searched
    offset += static_cast<uint64_t>(got);
    const unsigned char* p = chunk.get();
    const unsigned char* const end = chunk.get() + held + got;
    for (;;) {
      const auto* eol = static_cast<const unsigned char*>(std::memchr(p, 0x0A, end - p));
      if (eol == nullptr) break;
      take_line(p, eol);
      p = eol + 1;
    }
    held = static_cast<size_t>(end - p);
    // A line as long as the chunk is taken as far as it goes.
    if (held == kChunk || (offset >= size && held > 0)) {
      take_line(p, end);
      held = 0;
      continue;
    }
    std::memmove(chunk.get(), p, held);
  }
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
