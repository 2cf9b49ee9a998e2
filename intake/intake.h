// Text intake: the clipboard's text, in Shift-JIS or in 7-bit JIS with escape
// sequences, becomes the kanji buffer in EUC-JP. The byte conversions are pure
// functions over a byte string; read_clipboard_* add the clipboard and the
// buffer around them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "platform/shift_jis.h"

constexpr size_t kKanjiBufferSize = 40000;  // bytes of the kanji buffer
constexpr size_t kKanjiClearSize = 39998;   // bytes cleared before a conversion

// Program-wide state of the intake; one instance, `intake`.
struct Intake {
  MemoryBlock kanji_block;      // block of the current kanji buffer
  unsigned char* kanji_buffer;  // the passage in EUC-JP, two NULs, zeros; nullptr before any Get
                                // and after a Get whose buffer could not be had
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

// A new kanji buffer (the previous block is freed), not cleared: for a caller
// that fills it page by page itself. nullptr when the block cannot be had,
// with "malloc failed for kanji buffers!" when it was allocated but would not
// lock.
unsigned char* renew_kanji_buffer(Window owner);
