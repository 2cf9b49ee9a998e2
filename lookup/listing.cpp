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
// The walk steps by whole characters (euc_lead_length: a JIS X 0212
// character has three bytes), and a word ends where a character of the
// passage ends, so no item ever holds part of a character.
#include <algorithm>
#include <cstring>
#include <string>

#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/text_units.h"
#include "store/store.h"

namespace {

constexpr size_t kGap = 8;  // blanks between a word and its entry line
constexpr size_t kMaxKey = 20;
// The last byte of the buffer is never written, so the zero fill always
// terminates the text.
constexpr size_t kCapacity = kListingBufferSize - 1;

// The listing being written. Every item is written whole or not at all.
struct Listing {
  unsigned char* out;
  size_t used;
  bool full;
  size_t passage_end;  // items are cut here

  // Records the item that the walk has just written from listing offset
  // `from` on, for passage bytes [position, position + advance). Copied bytes
  // extend a passed run that ends where they start.
  void record(ItemKind kind, size_t position, size_t advance, size_t from, size_t line_length) {
    const size_t length = std::min(advance, passage_end - position);
    ListingItem* last = lookup.item_count > 0 ? &lookup.items[lookup.item_count - 1] : nullptr;
    if (kind == ItemKind::kPassed && last != nullptr && last->kind == ItemKind::kPassed &&
        static_cast<size_t>(last->passage_offset + last->passage_length) == position) {
      last->passage_length += static_cast<int32_t>(length);
      last->listing_length += static_cast<int32_t>(used - from);
      return;
    }
    if (static_cast<size_t>(lookup.item_count) >= kMaxListingItems) return;
    ListingItem& item = lookup.items[lookup.item_count++];
    item.passage_offset = static_cast<int32_t>(position);
    item.passage_length = static_cast<int32_t>(length);
    item.listing_offset = static_cast<int32_t>(from);
    item.listing_length = static_cast<int32_t>(used - from);
    item.line_offset = kind == ItemKind::kPassed ? -1 : static_cast<int32_t>(used - line_length);
    item.line_length = static_cast<int32_t>(line_length);
    item.prefix_length = 0;
    item.kind = kind;
    item.slot = kind == ItemKind::kWord ? lookup.word_slot : 0;
  }

  bool room_for(size_t n) {
    if (used + n > kCapacity) full = true;
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

void record_step_end(size_t listing_end, size_t position) {
  // Each step writes one byte at least, so this never refuses one.
  if (lookup.step_count >= static_cast<int32_t>(kListingBufferSize)) return;
  lookup.step_ends[lookup.step_count++] = {static_cast<int32_t>(listing_end),
                                           static_cast<int32_t>(position)};
}

// Digits in groups of three: 39998 -> "39,998".
std::string grouped(int32_t n) {
  std::string digits = std::to_string(n < 0 ? 0 : n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// Cuts the listing back to its first `steps` steps and ends it with the
// notice, on a line of its own. The steps end at most kNoticeRoom bytes
// before the buffer's last byte, so the notice always fits. The record of
// items is cut at the same place (a step never ends inside a word).
void close_listing(int32_t steps) {
  unsigned char* out = lookup.listing_buffer;
  const size_t end = steps > 0 ? static_cast<size_t>(lookup.step_ends[steps - 1].listing_end) : 0;
  const int32_t stop = steps > 0 ? lookup.step_ends[steps - 1].position : lookup.listing_start;
  std::memset(out + end, 0, kListingBufferSize - end);
  lookup.step_count = steps;
  lookup.listing_length = end;
  lookup.listing_stop = stop;
  lookup.listing_full = true;

  int32_t items = 0;
  while (items < lookup.item_count && lookup.items[items].passage_offset < stop) ++items;
  lookup.item_count = items;
  if (items > 0) {
    ListingItem& last = lookup.items[items - 1];
    last.passage_length = std::min(last.passage_length, stop - last.passage_offset);
    last.listing_length =
        std::min(last.listing_length, static_cast<int32_t>(end) - last.listing_offset);
  }

  // Counted in the whole text the passage is a page of, when it is one.
  const std::string notice = listing_notice(
      static_cast<int32_t>(
          std::min<size_t>(whole_text_position(static_cast<size_t>(stop)), INT32_MAX)),
      static_cast<int32_t>(std::min<size_t>(
          whole_text_length(static_cast<size_t>(lookup.passage_length)), INT32_MAX)));
  const std::string line = (end > 0 && out[end - 1] != 0x0A ? "\n" : "") + notice + "\n";
  std::memcpy(out + end, line.data(), std::min(line.size(), kCapacity - end));
  lookup.notice_text_length = line.size() + std::count(line.begin(), line.end(), '\n');
}

// The number of steps that end at most kNoticeRoom bytes before the
// buffer's last byte (the listing offsets of step ends rise with the steps).
int32_t steps_leaving_notice_room(int32_t steps) {
  while (steps > 0 &&
         static_cast<size_t>(lookup.step_ends[steps - 1].listing_end) > kCapacity - kNoticeRoom) {
    --steps;
  }
  return steps;
}

}  // namespace

std::string listing_notice(int32_t listed, int32_t passage_length) {
  return "-- listing full: " + grouped(listed) + " of " + grouped(passage_length) +
         " bytes listed; Get Dodevuz NEXT goes on --";
}

void set_dictionary_forms(bool on) {
  lookup.dictionary_forms = on;
}

void forget_listing_position() {
  lookup.listing_full = false;
}

bool listing_has_more() {
  return lookup.listing_buffer != nullptr && lookup.listing_full &&
         lookup.listing_stop < lookup.passage_length;
}

void build_listing(Window main_window) {
  build_listing_page(main_window, 0, kNoLimit);
}

void build_listing_page(Window main_window, int32_t start, int32_t limit) {
  lookup.item_count = 0;
  lookup.step_count = 0;
  lookup.listing_full = false;
  lookup.listing_length = 0;
  lookup.notice_text_length = 0;
  lookup.listing_buffer = renew_block(&lookup.listing_block, kListingBufferSize, true);
  const unsigned char* passage = intake.kanji_buffer;
  // The passage ends at its NUL; a step that would carry the walk past it
  // ends the walk too, so nothing behind the NUL is ever read.
  const size_t end =
      passage == nullptr ? 0 : strnlen(reinterpret_cast<const char*>(passage), kKanjiBufferSize);
  lookup.passage_length = static_cast<int32_t>(end);
  size_t position = std::min(static_cast<size_t>(std::max(start, 0)), end);
  lookup.listing_start = static_cast<int32_t>(position);
  lookup.listing_stop = lookup.listing_start;
  if (lookup.listing_buffer == nullptr) {
    message_box(main_window, "malloc failed for kanji buffers2!", " ");
    return;
  }
  if (passage == nullptr) return;
  const size_t stop_at = std::min(end, static_cast<size_t>(std::max(limit, 0)));
  Listing listing{lookup.listing_buffer, 0, false, end};
  unsigned char* key = lookup.search_key;
  const unsigned char* line = lookup.entry_line;

  // The first character boundary at or after the position, stepping from
  // the passage's first byte (euc_lead_length). The walk steps by whole
  // characters, but it may have begun inside one (a start given by the
  // caller).
  size_t boundary = 0;
  while (position < stop_at && !listing.full) {
    const unsigned char b = passage[position];
    if (b <= 0x7E) {
      if (!listing.room_for(1)) break;
      listing.put(b);
      listing.record(ItemKind::kPassed, position, 1, listing.used - 1, 0);
      position += 1;
      record_step_end(listing.used, position);
      continue;
    }
    // In the "Dictionary forms" mode a word may start at kana too (しない,
    // いる, ファイル), at a character boundary; where the mode finds nothing,
    // the walk goes on as it always does.
    if (lookup.dictionary_forms) {
      while (boundary < position) boundary += euc_lead_length(passage[boundary]);
    }
    if (lookup.dictionary_forms && boundary == position && b != 0xA1) {
      FormsMatch match;
      if (lookup_forms(passage + position, end - position, b == 0xA4, &match, 1) == 1) {
        const size_t prefix_length = std::strlen(reinterpret_cast<const char*>(match.prefix));
        const size_t line_length = std::strlen(reinterpret_cast<const char*>(match.line));
        if (!listing.room_for(match.surface_length + kGap + prefix_length + line_length)) break;
        const size_t from = listing.used;
        listing.text(passage + position, match.surface_length);
        listing.gap(kGap);
        listing.text(match.prefix, prefix_length);
        listing.text(match.line, line_length);
        lookup.word_slot = match.slot;
        listing.record(ItemKind::kWord, position, match.surface_length, from, line_length);
        ListingItem* item = lookup.item_count > 0 ? &lookup.items[lookup.item_count - 1] : nullptr;
        if (item != nullptr && item->passage_offset == static_cast<int32_t>(position)) {
          item->prefix_length = static_cast<int32_t>(prefix_length);
        }
        position += match.surface_length;
        record_step_end(listing.used, std::min(position, end));
        continue;
      }
    }
    // Bytes from the position that the passage still holds, up to n: the
    // listing never takes a byte from beyond the passage's end (no NUL
    // inside the listing).
    auto available = [&](size_t n) { return end - position < n ? end - position : n; };
    // n bytes from the position raised to the end of the character they
    // end in: a word whose headword holds ASCII (Ｊ-ＰＯＰ) may end at an odd
    // byte, and a three-byte character is never cut.
    auto whole_characters = [&](size_t n) {
      size_t at = 0;
      while (at < n && position + at < end) at += euc_lead_length(passage[position + at]);
      return at;
    };
    if (b == 0xA1 || b == 0xA4 || b == 0xA5) {
      const size_t n = available(2);
      if (!listing.room_for(n)) break;
      const size_t from = listing.used;
      listing.text(passage + position, n);
      listing.record(ItemKind::kPassed, position, 2, from, 0);
      position += 2;
      record_step_end(listing.used, std::min(position, end));
      continue;
    }

    const size_t key_length = available(kMaxKey);
    std::memcpy(key, passage + position, key_length);
    key[key_length] = 0;
    lookup_word();  // may drop the key's last byte, when below 0x20

    // Off a character boundary, a character that matches nothing and whose
    // second byte starts a kana is passed over by one byte, so that the walk
    // falls back into step with the passage's characters. At a boundary the
    // 0xA4 is the kanji's own second byte, and the kanji is listed whole.
    while (boundary < position) boundary += euc_lead_length(passage[boundary]);
    const bool no_match = is_no_match(line);
    if (no_match && key[1] == 0xA4 && boundary != position) {
      listing.record(ItemKind::kPassed, position, 1, listing.used, 0);
      position += 1;
      continue;
    }

    // The word is the run of key bytes that the line begins with, after
    // its leading ASCII; from a further dictionary, the headword alone.
    size_t i = static_cast<size_t>(lookup.word_length);
    const size_t line_length = strnlen(reinterpret_cast<const char*>(line), kEntryLineSize);

    if (i > 0) {
      i = whole_characters(i);  // a partly matching character counts whole
      // The word's bytes are the passage's (those of the key, and the key
      // byte that the lookup dropped or the rest of a character it ends in).
      const size_t word = available(i);
      if (!listing.room_for(word + kGap + line_length)) break;
      const size_t from = listing.used;
      listing.text(passage + position, word);
      listing.gap(kGap);
      listing.text(line, line_length);
      listing.record(ItemKind::kWord, position, i, from, line_length);
      position += i;
    } else {
      // A character without a word is listed and passed over whole.
      const size_t step = whole_characters(1);
      const size_t character = available(step);
      if (!listing.room_for(character + 2 * kGap + line_length)) break;
      const size_t from = listing.used;
      listing.text(passage + position, character);
      listing.gap(2 * kGap);
      listing.text(line, line_length);
      const bool no_match_text =
          std::strcmp(reinterpret_cast<const char*>(line), kNoMatchText) == 0;
      listing.record(no_match_text ? ItemKind::kNoMatch : ItemKind::kWord, position, step, from,
                     line_length);
      position += step;
    }
    record_step_end(listing.used, std::min(position, end));
  }

  lookup.listing_length = listing.used;
  lookup.listing_stop = static_cast<int32_t>(std::min(position, end));
  // A walk that stopped on a full buffer gives back the steps that stand in
  // the notice's room and ends with the notice.
  if (listing.full) close_listing(steps_leaving_notice_room(lookup.step_count));
}

bool end_page_listing() {
  if (lookup.listing_buffer == nullptr || lookup.listing_full || lookup.step_count == 0 ||
      lookup.listing_stop >= lookup.passage_length) {
    return false;
  }
  close_listing(steps_leaving_notice_room(lookup.step_count));
  return true;
}

bool end_listing_at(size_t text_end) {
  if (lookup.listing_buffer == nullptr || lookup.listing_text == nullptr) return false;
  // Each 0x0A of the listing has a 0x0D before it in the text.
  const size_t length = std::min(text_end, lookup.listing_text_size);
  const size_t line_feeds = std::count(lookup.listing_text, lookup.listing_text + length, 0x0A);
  const size_t listing_end = std::min(length - line_feeds, lookup.listing_length);
  int32_t steps = lookup.step_count;
  while (steps > 0 && static_cast<size_t>(lookup.step_ends[steps - 1].listing_end) > listing_end) {
    --steps;
  }
  if (steps == 0 || steps == lookup.step_count) return false;
  close_listing(steps);
  return true;
}

void build_listing_text() {
  // The listing buffer gains a 0x0D before each 0x0A. Its fixed 40960 bytes
  // can thus need more than the usual 40000 of the listing text, so the text
  // is sized from the listing and nothing of it is cut.
  const unsigned char* source = lookup.listing_buffer;
  const size_t source_length =
      source == nullptr ? 0 : strnlen(reinterpret_cast<const char*>(source), kListingBufferSize);
  const size_t line_feeds =
      source == nullptr ? 0 : std::count(source, source + source_length, 0x0A);
  const size_t size = std::max(kListingTextSize, source_length + line_feeds + 1);

  lookup.listing_text = renew_block(&lookup.listing_text_block, size, true);
  lookup.listing_text_size = lookup.listing_text == nullptr ? 0 : size;
  if (lookup.listing_text == nullptr) return;
  // A line at a time.
  unsigned char* text = lookup.listing_text;
  size_t out = 0;
  for (size_t i = 0; i < source_length;) {
    const auto* line_end =
        static_cast<const unsigned char*>(std::memchr(source + i, 0x0A, source_length - i));
    const size_t n = line_end == nullptr ? source_length - i : line_end - (source + i);
    std::memcpy(text + out, source + i, n);
    out += n;
    i += n;
    if (line_end == nullptr) break;
    text[out++] = 0x0D;
    text[out++] = 0x0A;
    ++i;
  }
  text[out] = 0;
}

size_t place_listing_text(std::string_view text) {
  const size_t length = euc_whole_prefix(text, kListingTextSize - 1);
  lookup.listing_text = renew_block(&lookup.listing_text_block, kListingTextSize, true);
  lookup.listing_text_size = lookup.listing_text == nullptr ? 0 : kListingTextSize;
  if (lookup.listing_text == nullptr) return 0;
  std::memcpy(lookup.listing_text, text.data(), length);
  return length;
}

void unlock_listing_text() {
  memory_unlock(lookup.listing_text_block);
  // Unlocked memory is not to be read: the text goes with the lock.
  lookup.listing_text = nullptr;
  lookup.listing_text_size = 0;
}
