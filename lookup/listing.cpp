// Segmentation of the passage into the listing: ASCII, kana and row-1
// symbols are copied; at any other character the longest word is looked up
// and written with 8 blanks and its entry line, and the walk goes on behind
// the word.
//
// Passage bytes (EUC-JP) by their first byte:
//   0x00           end of the passage
//   0x01-0x7E      ASCII, copied (1 byte)
//   0xA1 0xA4 0xA5 row-1 symbol, hiragana, katakana, copied (2 bytes)
//   anything else  kanji and the rest: looked up
#include <cstring>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "store/store.h"

namespace {

constexpr size_t kGap = 8;  // blanks between a word and its entry line
constexpr size_t kMaxKey = 20;

// The listing being written. Every item is written whole or not at all, and
// the last byte of the buffer is never written, so the zero fill always
// terminates the text.
struct Listing {
  unsigned char* out;
  size_t used;
  bool full;

  bool room_for(size_t n) {
    if (used + n > kListingBufferSize - 1) full = true;
    return !full;
  }
  void put(unsigned char b) { out[used++] = b; }
  void gap(size_t n) {
    std::memset(out + used, ' ', n);
    used += n;
  }
  void text(const unsigned char* s, size_t n) {
    std::memcpy(out + used, s, n);
    used += n;
  }
};

}  // namespace

void build_listing(Window main_window) {
  lookup.listing_buffer = renew_block(&lookup.listing_block, kListingBufferSize, true);
  if (lookup.listing_buffer == nullptr) {
    message_box(main_window, "malloc failed for kanji buffers2!", " ");
    return;
  }
  const unsigned char* passage = intake.kanji_buffer;
  if (passage == nullptr) return;
  // The passage ends at its NUL; a step that would carry the walk past it
  // ends the walk too, so nothing behind the NUL is ever read.
  const size_t end = strnlen(reinterpret_cast<const char*>(passage), kKanjiBufferSize);
  Listing listing{lookup.listing_buffer, 0, false};
  unsigned char* key = lookup.search_key;
  const unsigned char* line = lookup.entry_line;

  size_t position = 0;
  while (position < end && !listing.full) {
    const unsigned char b = passage[position];
    if (b <= 0x7E) {
      if (!listing.room_for(1)) break;
      listing.put(b);
      position += 1;
      continue;
    }
    // In the "Dictionary forms" mode a word may start at hiragana too (しない,
    // いる); where the mode finds nothing, the walk goes on as it always does.
    if (lookup.dictionary_forms && (b == 0xA4 || (b != 0xA1 && b != 0xA5))) {
      FormsMatch match;
      if (lookup_forms(passage + position, end - position, b == 0xA4, &match, 1) == 1) {
        const size_t prefix_length = std::strlen(reinterpret_cast<const char*>(match.prefix));
        const size_t line_length = std::strlen(reinterpret_cast<const char*>(match.line));
        if (!listing.room_for(match.surface_length + kGap + prefix_length + line_length)) break;
        listing.text(passage + position, match.surface_length);
        listing.gap(kGap);
        listing.text(match.prefix, prefix_length);
        listing.text(match.line, line_length);
        position += match.surface_length;
        continue;
      }
    }
    if (b == 0xA1 || b == 0xA4 || b == 0xA5) {
      if (!listing.room_for(2)) break;
      listing.put(b);
      listing.put(position + 1 < end ? passage[position + 1] : 0);
      position += 2;
      continue;
    }

    const size_t key_length = end - position < kMaxKey ? end - position : kMaxKey;
    std::memcpy(key, passage + position, key_length);
    key[key_length] = 0;
    lookup_word();  // may drop the key's last byte, when below 0x20

    // A character that matches nothing and whose second byte starts a kana
    // is passed over by one byte; the kana is then copied.
    if (line[2] == 'N' && line[6] == 'T' && key[1] == 0xA4) {
      position += 1;
      continue;
    }

    // The word is the run of key bytes that the line begins with, after
    // its leading ASCII.
    size_t j = 0;
    while (j < kEntryLineSize - 1 && line[j] >= 0x02 && line[j] <= 0x7E) ++j;
    size_t i = 0;
    while (key[i] != 0 && j + i < kEntryLineSize && line[j + i] == key[i]) ++i;
    const size_t line_length = strnlen(reinterpret_cast<const char*>(line), kEntryLineSize);
    // Bytes of the word that lie past the key (the count raised to even, or
    // a dropped control byte) are the passage's, or NUL past its end.
    const size_t key_left = std::strlen(reinterpret_cast<const char*>(key));
    auto word_byte = [&](size_t n) -> unsigned char {
      if (n < key_left) return key[n];
      return position + n < end ? passage[position + n] : 0;
    };

    if (i > 0) {
      if (i % 2 == 1) ++i;  // a partly matching two-byte character counts whole
      if (!listing.room_for(i + kGap + line_length)) break;
      for (size_t n = 0; n < i; ++n) listing.put(word_byte(n));
      listing.gap(kGap);
      listing.text(line, line_length);
      position += i;
    } else {
      if (!listing.room_for(2 + 2 * kGap + line_length)) break;
      listing.put(word_byte(0));
      listing.put(word_byte(1));
      listing.gap(2 * kGap);
      listing.text(line, line_length);
      position += 2;
    }
  }
}
