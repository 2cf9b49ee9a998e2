// Text intake: the clipboard's text, in Shift-JIS or in 7-bit JIS with escape
// sequences, becomes the kanji buffer in EUC-JP. The byte conversions are pure
// functions over a byte string; read_clipboard_* add the clipboard and the
// buffer around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/shift_jis.h"

constexpr size_t kKanjiBufferSize = 40000;  // bytes of the kanji buffer
constexpr size_t kKanjiClearSize = 39998;   // bytes cleared before a conversion
// A page of a longer text stops this many bytes before the page's end, where
// a lookup's key would reach past it; the next page takes over from there.
constexpr size_t kPageLookAhead = 20;

// Program-wide state of the intake; one instance, `intake`.
struct Intake {
  MemoryBlock kanji_block;      // block of the current kanji buffer
  unsigned char* kanji_buffer;  // the passage in EUC-JP, two NULs, zeros; nullptr before any Get
                                // and after a Get whose buffer could not be had
  // The whole text behind the passage, when it came whole (the clipboard, a
  // file): the kanji buffer holds the page of it from page_start on, of
  // page_length bytes. Empty when the passage is all there is.
  std::string text;
  size_t page_start;
  size_t page_length;
  // Whether a Get keeps the clipboard's whole text for NEXT (the desktop
  // programs, the session); the command line's one-Get `get` lists the
  // passage cut to the buffer, as ever.
  bool keep_whole_text = true;
};

extern Intake intake;

// Puts the intake back to its state at program start.
void reset_intake();

// Converts Shift-JIS text into EUC-JP in out, which has room for out_size
// bytes. The input ends at its first NUL or after `length` bytes, whichever
// comes first (pass SIZE_MAX for a NUL-terminated text); no byte past that end
// is read. out is cleared to zero first, and the converted text is cut at the
// last whole character that leaves room for two NULs behind it, so out always
// holds the text, two NULs and zeros (out_size < 2: nothing is written).
// Returns the length of the converted text.
//
// Every character of the output starts at the offset of the input character
// it came from, except behind a half-width katakana byte that takes no mark:
// it becomes a two-byte character, and the output runs one byte ahead.
size_t convert_sjis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size);

// The same for 7-bit JIS text with escape sequences. The output is never
// longer than the input.
size_t convert_jis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size);

// The same for text that is EUC-JP already: copied as it is up to its first
// NUL or length bytes, cut at the last whole character (euc_lead_length)
// that leaves room for two NULs.
size_t convert_euc(const unsigned char* in, size_t length, unsigned char* out, size_t out_size);

// The Get commands' first steps: the clipboard's text becomes a new kanji
// buffer (the previous block is freed). When the block cannot be allocated
// (no message) or locked ("malloc failed for kanji buffers!"),
// intake.kanji_buffer is left nullptr, which the later steps read as an empty
// passage. No text on the clipboard gives an empty passage.
void read_clipboard_sjis(Window owner);
void read_clipboard_jis(Window owner);

// A passage that is EUC-JP already (a file, a terminal) becomes a new kanji
// buffer as the clipboard's text would: the text up to its first NUL or
// length bytes, cut by convert_euc. The block's failures are those of
// read_clipboard_*. Returns the bytes placed.
size_t place_euc_passage(Window owner, const unsigned char* text, size_t length);

// The whole text (EUC-JP, up to its first NUL) is kept and its first page
// becomes a new kanji buffer (place_text_page). Returns the bytes placed.
size_t place_whole_text(Window owner, std::string text);

// A new kanji buffer holding the page of the whole text that begins at byte
// start (a character boundary): as much as the buffer holds, cut at a whole
// character. Returns the bytes placed (0 without memory).
size_t place_text_page(Window owner, size_t start);

// Whether the whole text goes on past the page in the kanji buffer.
bool text_continues();

// Where the walk of the page in the kanji buffer stops so that every lookup
// sees a whole key: before the page's last kPageLookAhead bytes when the
// text goes on past it, else INT32_MAX (no limit).
int32_t page_walk_limit();

// The length of the whole text behind the passage, and where in it a
// passage position lies; without a whole text, the passage is the text.
size_t whole_text_length(size_t passage_length);
size_t whole_text_position(size_t passage_position);

// ---- What encoding a text is in ----

// What detect_encoding found.
enum class Detection { kFound, kNotText, kUndecided };

struct DetectedEncoding {
  Detection outcome;
  TextEncoding encoding;  // when found
};

// The encoding of a text whose encoding nobody said, by these rules, in
// order: a UTF-8 byte order mark, or valid UTF-8 (plain ASCII included), is
// UTF-8; 7-bit text holding a JIS escape sequence that designates a
// Japanese set is JIS; text valid in only one of EUC-JP and Shift-JIS is
// that one; text valid in both is the one in which more of it reads as kana
// (at least twice as many, and some), and undecided otherwise. Text valid
// in none of the four is not text.
DetectedEncoding detect_encoding(std::string_view bytes);

// Why detect_encoding found nothing, for a message after the text's name:
// "is not text in UTF-8, Shift-JIS, EUC-JP or JIS", "reads as Shift-JIS and
// as EUC-JP alike; cannot tell which it is".
const char* detection_problem(Detection outcome);

// The offset of the first escape sequence of 7-bit JIS that designates a
// Japanese set (ESC $ ..., ESC ( I, ESC ( J) in bytes, or npos.
size_t first_jis_escape(std::string_view bytes);

// Text in encoding as EUC-JP, the program's own encoding. Shift-JIS and JIS
// go through this intake's conversions, exactly as a Get converts them (up
// to the first NUL; what follows it is kept as it is); UTF-8 goes through
// the edge conversion (*lossless: whether every character had a code; a
// leading byte order mark is dropped).
std::string text_in_euc(std::string_view bytes, TextEncoding encoding, bool* lossless = nullptr);

// A new kanji buffer (the previous block is freed), not cleared: for a caller
// that fills it page by page itself. nullptr when the block cannot be had,
// with "malloc failed for kanji buffers!" when it was allocated but would not
// lock.
unsigned char* renew_kanji_buffer(Window owner);
