// The transliteration: the listing text with every run of kana spelled in
// romaji through the table, into the romaji buffer and a new romaji pane.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "lookup/lookup.h"
#include "platform/pane_layout.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"

namespace {

constexpr size_t kRomajiLimit = kRomajiBufferSize - 1;  // bytes of text, NUL apart
constexpr size_t kRunLimit = kKanaRunSize - 2;          // 127 kana
constexpr size_t kOutputLimit = kRunOutputSize - 1;

const unsigned char kUnmatched[] = "#";
const unsigned char kEmptyText[] = "";

// Bytes of the whole EUC-JP characters at the start of bytes that fit in
// room: romaji is ASCII, but a table may spell a kana in anything.
size_t whole_characters(const unsigned char* bytes, size_t count, size_t room) {
  size_t n = 0;
  while (n < count) {
    const size_t width = euc_lead_length(bytes[n]);
    if (n + width > room) break;
    n += width;
  }
  return n;
}

// Appends count bytes to the romaji buffer: all of them, or, when they do
// not fit, none (whole) or the whole characters that fit (romaji). Once
// something does not fit the buffer is closed: the text ends there, not
// with holes.
void put_romaji(const unsigned char* bytes, size_t count, bool whole) {
  if (romaji.romaji_cut || romaji.romaji_buffer == nullptr) return;
  size_t room = kRomajiLimit - romaji.romaji_length;
  if (count > room) {
    romaji.romaji_cut = true;
    if (whole) return;
    count = whole_characters(bytes, count, room);
  }
  std::memcpy(romaji.romaji_buffer + romaji.romaji_length, bytes, count);
  romaji.romaji_length += count;
  romaji.romaji_buffer[romaji.romaji_length] = 0;
}

// The romaji of the first table entry that fits the run at byte k, its
// length and the bytes it takes; the unmatched mark and one byte when none
// does. Bytes from length on read as zero. Only the bytes k, k+1, k+3 and
// k+5 are compared. Entries that fit have the run's bytes k and k+1 as their
// first two, so only their bucket of the index is tried, in table order.
const unsigned char* match_at(const unsigned char* run, size_t length, size_t k, size_t* step,
                              size_t* text_length) {
  auto at = [&](size_t i) -> unsigned char { return i < length ? run[i] : 0; };
  const unsigned char first = at(k);
  const unsigned char second = at(k + 1);
  const RomajiIndex& index = romaji.index;
  for (int link = index.first[romaji_bucket(first, second)]; link != 0;
       link = index.next[link - 1]) {
    const int e = link - 1;
    const unsigned char* key = romaji.table[e].kana;
    if (first != key[0] || second != key[1]) continue;
    if (key[2] != 0) {
      if (at(k + 3) != key[3]) continue;
      if (key[4] != 0) {
        if (at(k + 5) != key[5]) continue;
        *step = 6;
      } else {
        *step = 4;
      }
    } else {
      *step = 2;
    }
    *text_length = index.length[e];
    return romaji.table[e].romaji;
  }
  *step = 1;
  *text_length = 1;
  return kUnmatched;
}

// Capitals, then each '*' becomes the byte after it (a gemination mark
// doubles the next letter), then onto the romaji buffer. A '*' with nothing
// after it stays, rather than end the text early.
void finish_output(unsigned char* out, size_t length, bool capitals) {
  if (capitals) {
    for (size_t i = 0; i < length; ++i) {
      if (out[i] >= 'a' && out[i] <= 'z') out[i] = out[i] - 'a' + 'A';
    }
  }
  for (size_t i = 0; i + 1 < length; ++i) {
    if (out[i] == '*') out[i] = out[i + 1];
  }
  put_romaji(out, length, false);
}

// Converts length bytes of run (bytes past them read as zero) and appends
// the romaji. The run output holds 255 bytes; a longer result is finished
// and appended in pieces, each gemination mark at a piece's end carried on
// to the next piece so that it still doubles the letter after it.
void convert_kana(const unsigned char* run, size_t length, bool capitals) {
  unsigned char* out = romaji.run_output;
  std::memset(out, 0, kRunOutputSize);
  size_t n = 0;
  for (size_t k = 0; k < length;) {
    size_t step;
    size_t text_length;
    const unsigned char* text = match_at(run, length, k, &step, &text_length);
    // One byte stays free for the 't' '-' that a final '*' becomes.
    if (n + text_length + 1 > kOutputLimit) {
      size_t carry = 0;
      while (carry < n && out[n - 1 - carry] == '*') ++carry;
      if (carry == n) carry = 0;
      finish_output(out, n - carry, capitals);
      std::memmove(out, out + n - carry, carry);
      std::memset(out + carry, 0, kRunOutputSize - carry);
      n = carry;
    }
    std::memcpy(out + n, text, text_length);
    n += text_length;
    k += step;
  }
  if (n > 0 && out[n - 1] == '*') {
    out[n - 1] = 't';
    out[n++] = '-';
  }
  finish_output(out, n, capitals);
}

// The run is full: converts its first part and keeps the rest. The cut
// falls where the conversion of the whole run would pass from one entry to
// the next, at least 6 bytes before the end (so the kana to come cannot
// change how the first part matches), and not just after a gemination mark.
void convert_run_part() {
  unsigned char* run = romaji.kana_run;
  const size_t length = romaji.kana_run_length;
  size_t cut = 0;
  size_t cut_any = 0;
  for (size_t k = 0; k + 6 <= length;) {
    size_t step;
    size_t text_length;
    const unsigned char* text = match_at(run, length, k, &step, &text_length);
    k += step;
    if (k + 6 > length) break;
    cut_any = k;
    if (text_length == 0 || text[text_length - 1] != '*') cut = k;
  }
  if (cut == 0) cut = cut_any;
  if (cut == 0) cut = length;
  if (romaji.run_lead == 0) romaji.run_lead = run[0];
  convert_kana(run, cut, romaji.run_lead == 0xA5);
  std::memmove(run, run + cut, length - cut);
  std::memset(run + (length - cut), 0, kKanaRunSize - (length - cut));
  romaji.kana_run_length = length - cut;
}

// append_char on the pending run, whose length is kept rather than measured.
void append_to_run(unsigned char c) {
  const size_t length = romaji.kana_run_length;
  if (c == 0 || length + 2 > kKanaRunSize) return;
  romaji.kana_run[length] = c;
  romaji.kana_run[length + 1] = 0;
  romaji.kana_run_length = length + 1;
}

// Adds a kana (second byte 0 for a lone first byte) to the pending run.
void add_to_run(unsigned char first, unsigned char second) {
  if (romaji.kana_run_length + (second != 0 ? 2 : 1) > kRunLimit) convert_run_part();
  append_to_run(first);
  append_to_run(second);
}

}  // namespace

void append_char(unsigned char* s, size_t size, unsigned char c) {
  if (c == 0) return;
  size_t length = strnlen(reinterpret_cast<char*>(s), size);
  if (length + 2 > size) return;  // no room for the byte and the NUL
  s[length] = c;
  s[length + 1] = 0;
}

void flush_kana_run() {
  const size_t length = romaji.kana_run_length;
  if (length == 0) return;
  // A run converted in parts keeps the capitals of its beginning.
  unsigned char lead = romaji.run_lead != 0 ? romaji.run_lead : romaji.kana_run[0];
  convert_kana(romaji.kana_run, length, lead == 0xA5);
  std::memset(romaji.kana_run, 0, kKanaRunSize);
  romaji.kana_run_length = 0;
  romaji.run_lead = 0;
}

void build_romaji_text(Window main_window) {
  const unsigned char* text = lookup.listing_text != nullptr ? lookup.listing_text : kEmptyText;
  size_t limit = lookup.listing_text != nullptr && lookup.listing_text_size != 0
                     ? lookup.listing_text_size
                     : SIZE_MAX;
  size_t length = strnlen(reinterpret_cast<const char*>(text), limit);
  // Bytes from the end of the text on read as zero: a character cut short
  // by the end is never read past it.
  auto at = [&](size_t i) -> unsigned char { return i < length ? text[i] : 0; };

  // The last line end of the last walk within what this text shares with
  // its text: the walk goes on from there, with the romaji before it.
  const RomajiLineEnd* resume = nullptr;
  if (romaji.line_end_count > 0 && romaji.romaji_buffer != nullptr) {
    const size_t shared = std::min(length, romaji.last_text_length);
    const size_t same =
        static_cast<size_t>(std::mismatch(text, text + shared, romaji.last_text).first - text);
    const RomajiLineEnd* ends = romaji.line_ends;
    const RomajiLineEnd* after = std::upper_bound(
        ends, ends + romaji.line_end_count, same,
        [](size_t offset, const RomajiLineEnd& end) { return offset < end.text_end; });
    if (after != ends) resume = after - 1;
  }
  if (resume != nullptr) {
    std::memcpy(romaji.kept_romaji, romaji.romaji_buffer, resume->romaji_length);
  }

  romaji.romaji_buffer = renew_block(&romaji.romaji_block, kRomajiBufferSize, true);
  romaji.romaji_length = 0;
  romaji.romaji_cut = romaji.romaji_buffer == nullptr;  // nowhere to write: no walk
  std::memset(romaji.kana_run, 0, kKanaRunSize);
  romaji.kana_run_length = 0;
  romaji.run_lead = 0;
  romaji.line_text_end = 0;
  size_t start = 0;
  if (resume != nullptr && romaji.romaji_buffer != nullptr) {
    std::memcpy(romaji.romaji_buffer, romaji.kept_romaji, resume->romaji_length);
    romaji.romaji_length = resume->romaji_length;
    romaji.line_text_end = resume->line_text_end;
    start = resume->text_end;
    romaji.line_end_count = static_cast<size_t>(resume - romaji.line_ends) + 1;
  } else {
    romaji.line_end_count = 0;
  }
  // Whatever happens below, the line ends recorded are those of this text.
  romaji.last_text_length = std::min(length, kLastTextSize);
  std::memcpy(romaji.last_text, text, romaji.last_text_length);

  for (size_t i = start; i < length && !romaji.romaji_cut;) {
    unsigned char b0 = text[i];
    unsigned char b1 = at(i + 1);
    if (b0 < 0x80) {
      flush_kana_run();
      // A '-' before a full stop is a long vowel mark or the 't' '-' of a
      // final gemination: "at." reads better than "at-.".
      if (b0 == '.' && romaji.romaji_length > 0 &&
          romaji.romaji_buffer[romaji.romaji_length - 1] == '-') {
        romaji.romaji_buffer[--romaji.romaji_length] = 0;
      }
      put_romaji(&b0, 1, true);
      i += 1;
      if (b0 == 0x0A && !romaji.romaji_cut && romaji.romaji_length <= kRomajiLimit - kNoticeRoom) {
        romaji.line_text_end = i;
      }
      if (b0 == 0x0A && !romaji.romaji_cut && romaji.line_end_count < kRomajiLineEnds &&
          i <= romaji.last_text_length && romaji.kana_run_length == 0 && romaji.run_lead == 0) {
        romaji.line_ends[romaji.line_end_count++] = {static_cast<uint32_t>(i),
                                                     static_cast<uint32_t>(romaji.romaji_length),
                                                     static_cast<uint32_t>(romaji.line_text_end)};
      }
      // The ASCII after it (glosses, blanks) is copied as it comes: the run
      // is empty, and only a full stop and a line end have rules of their own.
      unsigned char* out = romaji.romaji_buffer;
      size_t n = romaji.romaji_length;
      while (i < length && n < kRomajiLimit && text[i] < 0x80 && text[i] != '.' &&
             text[i] != 0x0A) {
        out[n++] = text[i++];
      }
      out[n] = 0;
      romaji.romaji_length = n;
    } else if (b0 == 0xA1 && b1 == 0xBC) {  // long vowel mark
      add_to_run(b0, b1);
      i += 2;
    } else if (b0 == 0xA1 && (b1 == 0xA1 || b1 == 0xA2 || b1 == 0xA3 || b1 == 0xD6 || b1 == 0xD7)) {
      i += 2;  // ideographic space, comma, full stop, corner brackets: dropped, run goes on
    } else if (b0 == 0x8F) {  // JIS X 0212
      flush_kana_run();
      unsigned char c[3] = {b0, b1, b1 != 0 ? at(i + 2) : static_cast<unsigned char>(0)};
      put_romaji(c, c[1] == 0 ? 1 : c[2] == 0 ? 2 : 3, true);
      i += 3;
    } else if (b0 == 0xA4 || b0 == 0xA5) {
      // A kana's first byte before an ASCII byte (broken text) goes alone,
      // so the ASCII byte (a line end, say) is still copied.
      if (b1 < 0x80) {
        add_to_run(b0, 0);
        i += 1;
      } else {
        add_to_run(b0, b1);
        i += 2;
      }
    } else {
      flush_kana_run();
      unsigned char c[2] = {b0, b1};
      put_romaji(c, b1 == 0 ? 1 : 2, true);
      i += 2;
    }
  }
  flush_kana_run();

  pane_destroy(romaji.romaji_pane);
  romaji.romaji_pane = pane_create(
      main_window, kPaneX, kRomajiPaneY, kPaneWidth, kRomajiPaneHeight, kBorderedPaneStyle,
      romaji.romaji_buffer != nullptr ? romaji.romaji_buffer : kEmptyText);
}
