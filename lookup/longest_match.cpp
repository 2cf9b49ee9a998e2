// The longest-match lookups of the search key: lookup_word picks one entry
// line for the listing, lookup_selection lists every line that matches any
// prefix for "Single Dodevuz". Both first find, for 1, 2, ... characters, the
// first entry whose text begins with that prefix, stopping at the first
// prefix that is not found (a longer one cannot be found then either). Each
// open dictionary slot is searched in turn; slot 0 comes first.
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#include "lookup/lookup.h"
#include "platform/text_units.h"
#include "readings/readings.h"
#include "store/store.h"

HeadwordMemo headword_memo;

void reset_headword_memo() {
  if (headword_memo.places != nullptr) {
    std::memset(static_cast<void*>(headword_memo.places), 0,
                kHeadwordMemoPlaces * sizeof(HeadwordMemoEntry));
  }
  headword_memo.lookups = 0;
  headword_memo.hits = 0;
  headword_memo.ranked_hits = 0;
  headword_memo.filtered = 0;
}

namespace {

struct Prefixes {
  int width;                            // bytes per character: 1 (ASCII first byte) or 2
  int matched;                          // characters of the longest prefix found, 0 to 20
  int32_t first_match[kMaxPrefix + 1];  // [k]: first entry matching k characters
};

// The key as the lookups read it: its last byte made a NUL (it is a text
// whatever its writer left), one trailing control byte (a line end taken
// with the selection) dropped. Returns the bytes per character, 1 (ASCII
// first byte) or 2, and sets *characters to the prefixes to try (at most
// kMaxPrefix).
int shape_key(int* characters) {
  unsigned char* key = lookup.search_key;
  key[kSearchKeySize - 1] = 0;
  const int width = key[0] < 0x7F ? 1 : 2;
  size_t length = std::strlen(reinterpret_cast<const char*>(key));
  if (length > 0 && key[length - 1] < 0x20) key[--length] = 0;
  *characters = std::min(static_cast<int>(length) / width, kMaxPrefix);
  return width;
}

// The first phase, common to both lookups, in the current slot. Leaves the
// line of the first entry matching the longest prefix in the entry line
// buffer, or the no-match text when not even one character matches.
Prefixes find_prefixes() {
  Prefixes p{};
  int n = 0;
  p.width = shape_key(&n);
  const unsigned char* key = lookup.search_key;
  for (int k = 1; k <= n; ++k) {
    int status = kNotFound;
    int32_t entry = 0;
    search_index(kSearchMode, store.current_slot, 0, k * p.width, key, &status, &entry,
                 lookup.entry_line);
    if (status != kFound) break;
    p.first_match[k] = entry;
    p.matched = k;
  }
  if (p.matched == 0) {
    std::memcpy(lookup.entry_line, kNoMatchText, std::strlen(kNoMatchText) + 1);
  }
  return p;
}

// In the "Dictionary forms" mode the entries of the key's dictionary forms
// come first, each line whole with its description and a CR LF line end, as
// many as fit in size bytes with a NUL after them. The lines are put in
// listed, so that they do not come again. Returns the bytes written.
size_t list_forms(unsigned char* single, size_t size, std::unordered_set<std::string>* listed) {
  constexpr int kMaxListed = 8;
  static FormsMatch matches[kMaxListed];
  const unsigned char* key = lookup.search_key;
  const size_t length = strnlen(reinterpret_cast<const char*>(key), kSearchKeySize);
  const int count = lookup_forms(key, length, key[0] == 0xA4, matches, kMaxListed);
  size_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const size_t prefix = std::strlen(reinterpret_cast<const char*>(matches[i].prefix));
    size_t line = std::strlen(reinterpret_cast<const char*>(matches[i].line));
    if (line > 0 && matches[i].line[line - 1] == 0x0A) --line;
    // Room for the CR LF and for the text's NUL.
    if (offset + prefix + line + 2 + 1 > size) break;
    listed->emplace(reinterpret_cast<const char*>(matches[i].line), line + 1);
    std::memcpy(single + offset, matches[i].prefix, prefix);
    std::memcpy(single + offset + prefix, matches[i].line, line);
    offset += prefix + line;
    single[offset++] = 0x0D;
    single[offset++] = 0x0A;
  }
  return offset;
}

// Whether the line begins with the key's first n bytes as the index
// compares them: katakana as hiragana at even offsets, A-Z as a-z.
bool begins_with_folded(const unsigned char* line, const unsigned char* key, int32_t n) {
  auto fold = [](unsigned char c, int32_t at) -> unsigned char {
    if (at % 2 == 0 && c == 0xA5) return 0xA4;
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
    return c;
  };
  for (int32_t i = 0; i < n && key[i] != 0; ++i) {
    if (fold(line[i], i) != fold(key[i], i)) return false;
  }
  return true;
}

}  // namespace

void lookup_word_in_slot(int slot) {
  store.current_slot = slot;
  const Prefixes p = find_prefixes();
  // Prefer a line that starts with the key's whole first character: the
  // listing measures the word against the start of the line, and a line that
  // only shares the character's lead byte (another kanji of the same row)
  // belongs to another word. Lines are tried from the longest prefix down,
  // each prefix's matches in index order; the buffer already holds the first
  // candidate, so it is tested before anything is fetched.
  const size_t first = euc_lead_length(lookup.search_key[0]);
  for (int k = p.matched; k >= 1; --k) {
    int32_t e = p.first_match[k];
    lookup.current_entry = e;
    if (std::memcmp(lookup.entry_line, lookup.search_key, first) == 0) continue;
    // The walk through this prefix's matches depends on the prefix alone
    // when it holds the whole first character: a walk made before is taken
    // from the search memo, and only its last line is read again.
    const auto bytes = static_cast<size_t>(k * p.width);
    SearchMemoEntry* memo =
        first <= bytes ? find_search_memo(store.current_slot, lookup.search_key, bytes) : nullptr;
    if (memo != nullptr && memo->walk_end != 0) {
      int status = kNotFound;
      int32_t entry = 0;
      search_index(kCheckMode, store.current_slot, memo->walk_last, static_cast<int32_t>(bytes),
                   lookup.search_key, &status, &entry, lookup.entry_line);
      lookup.current_entry = memo->walk_last + 1;
      continue;
    }
    int32_t last = 0;  // the entry whose line the buffer holds
    for (;;) {
      int status = kNotFound;
      int32_t entry = 0;
      search_index(kCheckMode, store.current_slot, e, static_cast<int32_t>(bytes),
                   lookup.search_key, &status, &entry, lookup.entry_line);
      if (status != kFound) break;
      last = lookup.current_entry;
      e = lookup.current_entry + 1;
      lookup.current_entry = e;
      if (std::memcmp(lookup.entry_line, lookup.search_key, first) == 0) break;
    }
    if (memo != nullptr && last != 0) {
      memo->walk_last = last;
      memo->walk_end = lookup.current_entry == last + 1 &&
                               std::memcmp(lookup.entry_line, lookup.search_key, first) == 0
                           ? 1
                           : 2;
    }
  }
}

namespace {

// The slots worth asking besides slot 0.
bool other_slot_ready() {
  for (int slot = 1; slot <= store.highest_slot && slot < kSlotCount; ++slot) {
    if (slot_ready(slot)) return true;
  }
  return false;
}

// Whether the memo and the filters may take their memory: a cache of the
// default size says memory is scarce (a single Get, or `--cache-pages 48`).
bool memory_to_spare() {
  return store.frame_count > kDefaultFrameCount;
}

// The memo's place for a probe of the slot (the memory had on first use),
// or nullptr without memory.
HeadwordMemoEntry* headword_place(int slot, const unsigned char* probe, size_t length) {
  if (!memory_to_spare()) return nullptr;
  if (headword_memo.places == nullptr) {
    static HeadwordMemoEntry* const places = zeroed_places<HeadwordMemoEntry>(kHeadwordMemoPlaces);
    if (places == nullptr) return nullptr;
    headword_memo.places = places;
  }
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(slot);
  for (size_t i = 0; i < length; ++i) hash = (hash ^ probe[i]) * 16777619u;
  return &headword_memo.places[(hash ^ hash >> 15) % kHeadwordMemoPlaces];
}

bool holds(const HeadwordMemoEntry* m, int slot, const unsigned char* probe, size_t length) {
  return m != nullptr && m->opening == store.opening[slot] && m->opening != 0 && m->slot == slot &&
         m->length == length && std::memcmp(m->probe, probe, length) == 0;
}

// Keeps the entry line buffer's line in line (its NUL included) when it
// fits; returns the bytes kept, 0 when it does not.
uint8_t keep_line(unsigned char* line) {
  const size_t bytes =
      strnlen(reinterpret_cast<const char*>(lookup.entry_line), kEntryLineSize) + 1;
  if (bytes > kHeadwordMemoLineSize) return 0;
  std::memcpy(line, lookup.entry_line, bytes);
  return static_cast<uint8_t>(bytes);
}

// Puts back a line the memo found: from the memo when it was kept, else
// read again at its entry. Leaves the entry current, as the walk did.
void restore_line(int slot, int32_t entry, const unsigned char* line, uint8_t bytes,
                  const unsigned char* probe, size_t length) {
  if (bytes != 0) {
    std::memcpy(lookup.entry_line, line, bytes);
    lookup.current_entry = entry;
    return;
  }
  int status = kNotFound;
  int32_t found = 0;
  search_index(kCheckMode, slot, entry, static_cast<int32_t>(length), probe, &status, &found,
               lookup.entry_line);
}

// Entries tried per prefix for a line whose headword is the prefix: matches
// of the prefix and a blank inside longer headwords (indexed at their inner
// characters) come in the same run.
constexpr int kHeadwordTries = 64;

// The longest prefix of the search key that is a whole headword of the
// slot: a line that begins with the prefix and a blank. Leaves that line in
// the entry line buffer and returns the prefix's bytes, or leaves the
// no-match text and returns 0 when there is none. The
// extra dictionaries are asked this way: a names dictionary holds many long
// names that merely begin like the passage (a surname and a given name that
// starts with the particle after it), and a listing of those would show the
// reader a word that is not there.
//
// A prefix is only a headword where all of its shorter prefixes are found
// too, so the prefixes are searched first and the longest found bounds the
// probes. Once the slot's word filter is in use, it rules out the probes
// that are no headword instead, and the prefixes are not searched: the
// probes that remain, and the memo, give the same line. Prefixes shorter
// than at_least bytes are not tried: a caller that has a word that long
// already takes none of them.
size_t lookup_headword_in_slot(int slot, size_t at_least = 1) {
  store.current_slot = slot;
  if (slot > 0) ++headword_memo.lookups;
  const bool filter = slot > 0 && headword_memo.lookups > kHeadwordFilterAfter &&
                      memory_to_spare() && word_filter_usable(slot, false);
  int width = 0;
  int top = 0;
  if (filter) {
    width = shape_key(&top);
  } else {
    const Prefixes p = find_prefixes();
    width = p.width;
    top = p.matched;
  }
  const unsigned char* key = lookup.search_key;
  unsigned char probe[kHeadwordProbeSize + 1];
  for (int k = top; k >= 1; --k) {
    const auto bytes = static_cast<size_t>(k * width);
    if (bytes < at_least) break;
    std::memcpy(probe, key, bytes);
    probe[bytes] = ' ';
    probe[bytes + 1] = 0;
    const size_t length = bytes + 1;
    HeadwordMemoEntry* m = headword_place(slot, probe, length);
    if (holds(m, slot, probe, length)) {
      ++headword_memo.hits;
      if (m->entry == 0) continue;
      restore_line(slot, m->entry, m->line, m->line_bytes, probe, length);
      return bytes;
    }
    // The filter knows each line's headword up to its first blank: a line
    // begins with the probe only where it knows the probe up to its own.
    const auto known = static_cast<size_t>(std::find(probe, probe + length, ' ') - probe) + 1;
    if (filter && !word_filter_may_hold(slot, probe, known)) {
      ++headword_memo.filtered;
      continue;
    }
    int32_t found = 0;
    int status = kNotFound;
    int32_t entry = 0;
    search_index(kSearchMode, slot, 0, static_cast<int32_t>(length), probe, &status, &entry,
                 lookup.entry_line);
    for (int tries = 0; status == kFound && tries < kHeadwordTries; ++tries) {
      // The search folds kana and case; the headword must be the passage's.
      if (std::memcmp(lookup.entry_line, probe, length) == 0) {
        found = lookup.current_entry;
        break;
      }
      search_index(kCheckMode, slot, lookup.current_entry + 1, static_cast<int32_t>(length), probe,
                   &status, &entry, lookup.entry_line);
    }
    if (m != nullptr) {
      *m = HeadwordMemoEntry{};
      m->opening = store.opening[slot];
      m->slot = static_cast<uint8_t>(slot);
      m->length = static_cast<uint8_t>(length);
      std::memcpy(m->probe, probe, length);
      m->entry = found;
      if (found != 0) m->line_bytes = keep_line(m->line);
    }
    if (found != 0) return bytes;
  }
  std::memcpy(lookup.entry_line, kNoMatchText, std::strlen(kNoMatchText) + 1);
  return 0;
}

// Entries of one headword weighed for its commonest reading: a name has
// some dozens at most, and the run of the probe may hold longer headwords
// that end in it (indexed at their inner characters).
constexpr int kReadingTries = 256;

// The names dictionary lists a headword's readings in index order, rare ones
// first as often as not (渋谷 [しだや] before 渋谷 [しぶや]): of the lines of
// the slot that begin with the key's first `bytes` bytes and a blank, the
// one whose reading is commonest (reading_use; the first in index order
// among equals) replaces the line in the entry line buffer, which holds the
// first of them, with its entry. The headword memo keeps the choice.
void choose_common_reading(int slot, size_t bytes) {
  if (slot != kNamesSlot || bytes == 0 || bytes > kMaxPrefix * 2) return;
  unsigned char probe[kMaxPrefix * 2 + 2];
  std::memcpy(probe, lookup.search_key, bytes);
  probe[bytes] = ' ';
  probe[bytes + 1] = 0;
  if (std::memcmp(lookup.entry_line, probe, bytes + 1) != 0) return;
  const auto length = static_cast<int32_t>(bytes + 1);
  HeadwordMemoEntry* m = headword_place(slot, probe, bytes + 1);
  if (!holds(m, slot, probe, bytes + 1)) m = nullptr;
  const int32_t from = lookup.current_entry;
  if (m != nullptr && m->readings == readings.generation && readings.looked_for &&
      m->ranked_from == from) {
    ++headword_memo.ranked_hits;
    restore_line(slot, m->ranked, m->ranked_line, m->ranked_bytes, probe, bytes + 1);
    return;
  }
  auto use_of = [](const unsigned char* line) {
    return reading_use(
        std::string_view(reinterpret_cast<const char*>(line),
                         strnlen(reinterpret_cast<const char*>(line), kEntryLineSize)));
  };
  unsigned char best_line[kEntryLineSize];
  std::memcpy(best_line, lookup.entry_line, sizeof best_line);
  int32_t best_entry = lookup.current_entry;
  ReadingUse best = use_of(best_line);
  int status = kFound;
  int32_t entry = 0;
  for (int tries = 0; tries < kReadingTries; ++tries) {
    search_index(kCheckMode, slot, lookup.current_entry + 1, length, probe, &status, &entry,
                 lookup.entry_line);
    if (status != kFound) break;
    if (std::memcmp(lookup.entry_line, probe, bytes + 1) != 0) continue;
    const ReadingUse use = use_of(lookup.entry_line);
    if (!(best < use)) continue;
    best = use;
    best_entry = lookup.current_entry;
    std::memcpy(best_line, lookup.entry_line, sizeof best_line);
  }
  std::memcpy(lookup.entry_line, best_line, sizeof best_line);
  lookup.current_entry = best_entry;
  if (m != nullptr) {
    // The ranked readings are looked for on the first use: the generation
    // is the one they were ranked with.
    m->readings = readings.generation;
    m->ranked_from = from;
    m->ranked = best_entry;
    m->ranked_bytes = keep_line(m->ranked_line);
  }
}

// Whether the reading of line a is more common than that of line b, by the
// ranked dictionary alone (the two dictionaries' tags are not alike).
bool more_common_than(const unsigned char* a, const unsigned char* b) {
  auto use_of = [](const unsigned char* line) {
    ReadingUse use =
        reading_use(std::string_view(reinterpret_cast<const char*>(line),
                                     strnlen(reinterpret_cast<const char*>(line), kEntryLineSize)));
    use.tags = 0;
    return use;
  };
  return use_of(b) < use_of(a);
}

}  // namespace

size_t listed_word_length(const unsigned char* key, const unsigned char* line) {
  size_t j = 0;
  while (j < kEntryLineSize - 1 && line[j] >= 0x02 && line[j] <= 0x7E) ++j;
  // The word is the headword's bytes only: the comparison ends at the blank
  // that ends the headword, whatever the passage holds after the word.
  size_t i = 0;
  while (key[i] != 0 && j + i < kEntryLineSize && line[j + i] != ' ' && line[j + i] == key[i]) {
    ++i;
  }
  // A line that shares only the lead byte of the key's first character
  // begins with another character: it holds no word of the key.
  if (i < euc_lead_length(key[0])) i = 0;
  return i;
}

void lookup_word() {
  lookup_word_in_slot(0);
  lookup.word_slot = 0;
  lookup.word_length =
      static_cast<int32_t>(listed_word_length(lookup.search_key, lookup.entry_line));
  if (!other_slot_ready()) return;  // the common case costs nothing more

  // Every slot starts from the key as slot 0's lookup left it (a trailing
  // control byte dropped once), and the winner's line and entry are put back
  // at the end.
  unsigned char key[kSearchKeySize];
  std::memcpy(key, lookup.search_key, sizeof key);
  const size_t key_length = std::strlen(reinterpret_cast<const char*>(key));
  unsigned char best_line[kEntryLineSize];
  std::memcpy(best_line, lookup.entry_line, sizeof best_line);
  int32_t best_entry = lookup.current_entry;
  int best_slot = 0;
  // Lengths are compared in bytes that match: a line that shares only the
  // first byte of the key's character does not hold a word of it.
  size_t best = static_cast<size_t>(lookup.word_length);
  // Whether slot 0's line is the word's own entry: its headword is the word
  // (高橋 [たかはし]), not a longer word that begins with it (高橋財政).
  // Else a further slot's headword of the same length is the word's entry.
  size_t lead = 0;
  while (lead < kEntryLineSize - 1 && best_line[lead] >= 0x02 && best_line[lead] <= 0x7E) ++lead;
  const bool own_entry =
      best == 0 || (lead + best < kEntryLineSize && best_line[lead + best] == ' ');
  // Only a longer word wins (slot 0 first, then the lower slot), or one of
  // the same length over a line of slot 0 that is not the word's own.
  auto wins = [&](size_t headword) {
    return headword > best || (headword == best && best_slot == 0 && !own_entry);
  };
  // The same headword in slot 0 as a rare word (上野 [こうずけ], a former
  // province) gives way to a name whose reading is far more common (上野
  // [うえの]); a word the main dictionary marks as common (P) never does.
  const bool rare_own_entry =
      own_entry && best > 0 &&
      std::strstr(reinterpret_cast<const char*>(best_line), "/(P)/") == nullptr;

  for (int slot = 1; slot <= store.highest_slot && slot < kSlotCount; ++slot) {
    // No slot can list more than the whole key.
    if (!wins(key_length)) break;
    if (!slot_ready(slot)) continue;
    std::memcpy(lookup.search_key, key, sizeof key);
    // A shorter headword than the best word cannot win.
    const size_t headword = lookup_headword_in_slot(slot, best);
    if (headword == 0) continue;
    if (!wins(headword)) {
      if (headword != best || best_slot != 0 || !rare_own_entry || slot != kNamesSlot) continue;
      choose_common_reading(slot, headword);
      if (!more_common_than(lookup.entry_line, best_line)) continue;
    }
    best = headword;
    best_slot = slot;
    best_entry = lookup.current_entry;
    std::memcpy(best_line, lookup.entry_line, sizeof best_line);
  }

  std::memcpy(lookup.search_key, key, sizeof key);
  std::memcpy(lookup.entry_line, best_line, sizeof best_line);
  lookup.current_entry = best_entry;
  lookup.word_slot = best_slot;
  lookup.word_length = static_cast<int32_t>(best);
  store.current_slot = best_slot;
  choose_common_reading(best_slot, best);
}

size_t lookup_headword() {
  unsigned char key[kSearchKeySize];
  std::memcpy(key, lookup.search_key, sizeof key);
  unsigned char best_line[kEntryLineSize];
  std::memcpy(best_line, kNoMatchText, std::strlen(kNoMatchText) + 1);
  size_t best = 0;
  lookup.headword_slot = 0;
  for (int slot = 0; slot <= store.highest_slot && slot < kSlotCount; ++slot) {
    if (!slot_ready(slot)) continue;
    std::memcpy(lookup.search_key, key, sizeof key);
    const size_t length = lookup_headword_in_slot(slot);
    if (length <= best) continue;
    best = length;
    lookup.headword_slot = slot;
    choose_common_reading(slot, length);
    std::memcpy(best_line, lookup.entry_line, sizeof best_line);
  }
  std::memcpy(lookup.search_key, key, sizeof key);
  std::memcpy(lookup.entry_line, best_line, sizeof best_line);
  return best;
}

void for_each_selection_line(const SelectionLineVisitor& visit) {
  // Different entries lead to the same line (an index holds a position for
  // every word inside a line, and a line matches every shorter prefix
  // again): each line is given once, where it first comes.
  std::unordered_set<std::string> seen;
  // Each slot starts from the key as the caller left it; the key that slot
  // 0's lookup shortened is what remains.
  unsigned char key[kSearchKeySize];
  std::memcpy(key, lookup.search_key, sizeof key);
  // The key as it came until slot 0's lookup has shortened it.
  unsigned char shortened[kSearchKeySize];
  std::memcpy(shortened, key, sizeof shortened);
  // The prefixes each open slot matches, found first, so that the lines of
  // the longest prefix come first whichever dictionary holds them.
  Prefixes prefixes[kSlotCount] = {};
  bool asked[kSlotCount] = {};
  int longest = 0;
  for (int slot = 0; slot <= store.highest_slot && slot < kSlotCount; ++slot) {
    if (slot > 0 && !slot_ready(slot)) continue;
    std::memcpy(lookup.search_key, key, sizeof key);
    store.current_slot = slot;
    prefixes[slot] = find_prefixes();
    asked[slot] = true;
    if (slot == 0) std::memcpy(shortened, lookup.search_key, sizeof shortened);
    longest = std::max(longest, prefixes[slot].matched);
  }
  // Every slot's key is the same once shortened.
  std::memcpy(lookup.search_key, shortened, sizeof shortened);
  bool more = true;
  for (int k = longest; k >= 1 && more; --k) {
    for (int slot = 0; slot < kSlotCount && more; ++slot) {
      const Prefixes& p = prefixes[slot];
      if (!asked[slot] || p.matched < k) continue;
      store.current_slot = slot;
      const int32_t length = k * p.width;
      // Two passes over the entries matching this prefix: the lines that
      // begin with it, then the rest.
      for (const bool beginning : {true, false}) {
        for (int32_t e = p.first_match[k]; more; ++e) {
          lookup.current_entry = e;
          int status = kNotFound;
          int32_t entry = 0;
          search_index(kCheckMode, slot, e, length, lookup.search_key, &status, &entry,
                       lookup.entry_line);
          if (status != kFound) break;
          const unsigned char* line = lookup.entry_line;
          if (begins_with_folded(line, lookup.search_key, length) != beginning) continue;
          const size_t line_length = strnlen(reinterpret_cast<const char*>(line), kEntryLineSize);
          if (!seen.emplace(reinterpret_cast<const char*>(line), line_length).second) continue;
          more = visit(line, line_length);
        }
      }
    }
  }
}

void lookup_selection() {
  lookup.single_buffer = renew_block(&lookup.single_block, kSingleBufferSize, true);
  unsigned char* single = lookup.single_buffer;
  // With nowhere to write, an empty key or no dictionary to read (before any
  // Get, after Clear All) nothing is looked up, and the entry line buffer
  // shows the no-match text, as a key that matches nothing would leave it.
  if (single == nullptr || lookup.search_key[0] == 0 || !any_slot_open()) {
    store.current_slot = 0;
    std::memcpy(lookup.entry_line, kNoMatchText, std::strlen(kNoMatchText) + 1);
    return;
  }
  size_t offset = 0;
  // In the "Dictionary forms" mode the key's dictionary forms come first.
  std::unordered_set<std::string> listed;
  if (lookup.dictionary_forms) offset = list_forms(single, kSingleBufferSize, &listed);
  // Whole lines only, with CR LF for the pane; the NUL always has its byte.
  for_each_selection_line([&](const unsigned char* line, size_t length) {
    if (listed.count(std::string(reinterpret_cast<const char*>(line), length)) != 0) return true;
    const size_t line_feeds = std::count(line, line + length, 0x0A);
    if (offset + length + line_feeds + 1 > kSingleBufferSize) return false;
    for (size_t i = 0; i < length; ++i) {
      if (line[i] == 0x0A) single[offset++] = 0x0D;
      single[offset++] = line[i];
    }
    // Not even a line of one byte would fit any more: the walk can end.
    return offset + 4 <= kSingleBufferSize;
  });
}
