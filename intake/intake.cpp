// The two clipboard decoders and the kanji buffer they fill.
//
// Shift-JIS, as read here:
//   0x81-0x9F, 0xE0-0xEF  lead of a two-byte JIS X 0208 code; the trail is
//                         taken as part of the pair whatever it is, and
//                         converted when it lies in 0x40-0xFC (0x7F too),
//                         copied as it stands otherwise;
//   0xA1-0xDF             half-width katakana; 0xDE and 0xDF after a letter
//                         they fit are its voiced / semi-voiced mark;
//   anything else         copied as one byte (ASCII, 0x80, 0xA0, 0xF0-0xFF).
// 7-bit JIS, as read here: ESC n switches two-byte mode on for n = '$' or 'K'
//   and off for any other n; ESC $ and ESC ( take one more byte (the final
//   byte, never looked at), every other escape is two bytes long. CR and LF
//   end two-byte mode. In two-byte mode each pair is raised by 0x80 per byte,
//   modulo 256, with no range check (a pair holding 0x80 is copied as it is).
// EUC-JP out: a JIS X 0208 row and cell each plus 0x80.
//
// Malformed text is never refused: bytes that fit neither encoding are copied
// through, because a reader would rather see a stray byte than lose the text.

#include "intake/intake.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text_units.h"

Intake intake;

void reset_intake() {
  // The block of an earlier run is given back; at program start it is null.
  memory_unlock(intake.kanji_block);
  memory_free(intake.kanji_block);
  intake = Intake{};
}

namespace {

constexpr unsigned char kEsc = 0x1B;

bool is_sjis_lead(unsigned x) {
  return (x >= 0x81 && x <= 0x9F) || (x >= 0xE0 && x <= 0xEF);
}
bool is_halfwidth(unsigned x) {
  return x >= 0xA1 && x <= 0xDF;
}

// The input ends at its first NUL or after length bytes.
bool at_end(const unsigned char* in, size_t length, size_t i) {
  return i >= length || in[i] == 0;
}

// Writes a Shift-JIS code as EUC-JP.
void put_sjis_as_euc(int lead, int trail, unsigned char* out) {
  sjis_to_jis(&lead, &trail);
  out[0] = static_cast<unsigned char>(lead + 0x80);
  out[1] = static_cast<unsigned char>(trail + 0x80);
}

// Clears out and returns the room for text in it: two bytes stay for the NULs.
size_t prepare_output(unsigned char* out, size_t out_size) {
  if (out_size == 0) return 0;
  std::memset(out, 0, out_size);
  return out_size < 2 ? 0 : out_size - 2;
}

}  // namespace

namespace {

unsigned char* new_kanji_buffer(Window owner) {
  intake.kanji_buffer = renew_block(&intake.kanji_block, kKanjiBufferSize, false);
  // Allocated but not locked: the one failure worth a word to the reader.
  if (intake.kanji_buffer == nullptr && intake.kanji_block != nullptr) {
    message_box(owner, "malloc failed for kanji buffers!", " ");
  }
  return intake.kanji_buffer;
}

}  // namespace

unsigned char* renew_kanji_buffer(Window owner) {
  // A caller that fills the buffer itself leaves no whole text behind it.
  intake.text.clear();
  intake.page_start = intake.page_length = 0;
  return new_kanji_buffer(owner);
}

size_t convert_sjis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size) {
  const size_t room = prepare_output(out, out_size);
  size_t i = 0, o = 0;
  while (!at_end(in, length, i)) {
    const unsigned char x = in[i];
    if (is_sjis_lead(x)) {
      if (at_end(in, length, i + 1)) {
        // A lead with nothing behind it is copied, and the text ends.
        if (o + 1 > room) break;
        out[o++] = x;
        break;
      }
      if (o + 2 > room) break;
      const unsigned char t = in[i + 1];
      if (t >= 0x40 && t <= 0xFC) {
        put_sjis_as_euc(x, t, out + o);
      } else {
        out[o] = x;
        out[o + 1] = t;
      }
      i += 2;
      o += 2;
    } else if (is_halfwidth(x)) {
      if (o + 2 > room) break;
      int s1, s2;
      // A next byte that is no mark for this letter is read again as a
      // character of its own: taking it up with the letter would drop it
      // (ｺﾝ would read as コ).
      i += halfwidth_to_fullwidth(in, length, i, &s1, &s2);
      put_sjis_as_euc(s1, s2, out + o);
      o += 2;
    } else {
      if (o + 1 > room) break;
      out[o++] = x;
      ++i;
    }
  }
  return o;
}

size_t convert_jis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size) {
  const size_t room = prepare_output(out, out_size);
  bool two_byte = false;
  size_t i = 0, o = 0;
  while (!at_end(in, length, i)) {
    const unsigned char x = in[i];
    if (x == kEsc) {
      // Only the byte after ESC counts; an escape cut short by the end of
      // the text ends the conversion there.
      if (at_end(in, length, i + 1)) break;
      const unsigned char n = in[i + 1];
      two_byte = n == '$' || n == 'K';
      const size_t escape_length = n == '$' || n == '(' ? 3 : 2;
      if (escape_length == 3 && at_end(in, length, i + 2)) break;
      i += escape_length;
    } else if (x == '\n' || x == '\r' || !two_byte) {
      if (x == '\n' || x == '\r') two_byte = false;
      if (o + 1 > room) break;
      out[o++] = x;
      ++i;
    } else if (at_end(in, length, i + 1)) {
      // Half a pair at the end of the text: kept as the byte it is rather
      // than raised into a lead byte with no trail.
      if (o + 1 > room) break;
      out[o++] = x;
      break;
    } else {
      if (o + 2 > room) break;
      const unsigned char y = in[i + 1];
      if (x == 0x80 || y == 0x80) {
        // Raised, 0x80 would wrap to a NUL and end the passage in the middle
        // of the buffer; the pair is copied through as it stands instead.
        out[o] = x;
        out[o + 1] = y;
      } else {
        out[o] = static_cast<unsigned char>(x + 0x80);
        out[o + 1] = static_cast<unsigned char>(y + 0x80);
      }
      i += 2;
      o += 2;
    }
  }
  return o;
}

size_t convert_euc(const unsigned char* in, size_t length, unsigned char* out, size_t out_size) {
  const size_t room = prepare_output(out, out_size);
  size_t end = 0;
  while (!at_end(in, length, end)) ++end;
  const size_t n = euc_whole_prefix(std::string_view(reinterpret_cast<const char*>(in), end), room);
  if (n > 0) std::memcpy(out, in, n);
  return n;
}

namespace {

using Converter = size_t (*)(const unsigned char*, size_t, unsigned char*, size_t);

// The clipboard's whole text is kept, however long: the kanji buffer holds
// its first page, and NEXT pages on to its end.
void read_clipboard(Window owner, ClipboardIntake encoding, Converter convert) {
  std::string text;
  // No text on the clipboard leaves text empty: an empty passage.
  clipboard_read_text(owner, encoding, &text);
  if (!intake.keep_whole_text) {
    unsigned char* buffer = renew_kanji_buffer(owner);
    if (buffer != nullptr) {
      convert(reinterpret_cast<const unsigned char*>(text.data()), text.size(), buffer,
              kKanjiBufferSize);
    }
    return;
  }
  // A half-width katakana of Shift-JIS becomes two bytes, JIS never grows;
  // two more for the NULs.
  std::vector<unsigned char> euc(2 * text.size() + 2);
  size_t length = convert(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                          euc.data(), euc.size());
  place_whole_text(owner, std::string(reinterpret_cast<const char*>(euc.data()), length));
}

}  // namespace

void read_clipboard_sjis(Window owner) {
  read_clipboard(owner, ClipboardIntake::kShiftJis, convert_sjis);
}

void read_clipboard_jis(Window owner) {
  read_clipboard(owner, ClipboardIntake::kJis, convert_jis);
}

size_t place_whole_text(Window owner, std::string text) {
  text.resize(std::min(text.size(), text.find('\0')));
  intake.text = std::move(text);
  return place_text_page(owner, 0);
}

size_t place_text_page(Window owner, size_t start) {
  std::string text = std::move(intake.text);
  unsigned char* buffer = new_kanji_buffer(owner);
  intake.text = std::move(text);
  intake.page_start = std::min(start, intake.text.size());
  intake.page_length = 0;
  if (buffer == nullptr) return 0;
  const std::string_view rest = std::string_view(intake.text).substr(intake.page_start);
  intake.page_length = convert_euc(reinterpret_cast<const unsigned char*>(rest.data()),
                                   rest.size(), buffer, kKanjiBufferSize);
  return intake.page_length;
}

bool text_continues() {
  return intake.kanji_buffer != nullptr &&
         intake.page_start + intake.page_length < intake.text.size();
}

int32_t page_walk_limit() {
  if (!text_continues()) return INT32_MAX;
  return static_cast<int32_t>(intake.page_length - std::min(intake.page_length, kPageLookAhead));
}

size_t whole_text_length(size_t passage_length) {
  return intake.text.empty() ? passage_length : intake.text.size();
}

size_t whole_text_position(size_t passage_position) {
  return intake.text.empty() ? passage_position : intake.page_start + passage_position;
}

size_t place_euc_passage(Window owner, const unsigned char* text, size_t length) {
  unsigned char* buffer = renew_kanji_buffer(owner);
  if (buffer == nullptr) return 0;
  return convert_euc(text, length, buffer, kKanjiBufferSize);
}
