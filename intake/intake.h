// Text intake: the clipboard's text, in Shift-JIS or in 7-bit JIS with escape
// sequences, becomes the kanji buffer in EUC-JP. The byte conversions are pure
// functions over a byte string; read_clipboard_* add the clipboard and the
// buffer around them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr size_t kKanjiBufferSize = 40000;   // bytes of the kanji buffer
constexpr size_t kKanjiClearSize = 39998;    // bytes cleared before a conversion

// Program-wide state of the intake; one instance, `intake`.
struct Intake {
  MemoryBlock kanji_block;      // block of the current kanji buffer
  unsigned char* kanji_buffer;  // the passage in EUC-JP, two NULs, zeros; nullptr before any Get
};

extern Intake intake;

// Puts the intake back to its state at program start.
void reset_intake();

// Converts NUL-terminated (or `length`-byte) Shift-JIS text into out, which
// has room for out_size bytes; out is cleared to zero first. The converted
// text is cut at the last whole character that leaves room for two NULs.
// Returns the length of the converted text.
size_t convert_sjis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size);

// The same for 7-bit JIS text with escape sequences.
size_t convert_jis(const unsigned char* in, size_t length, unsigned char* out, size_t out_size);

// Shift-JIS lead and trail (low 8 bits used) -> JIS X 0208 row and cell, in place.
void sjis_to_jis(int* lead, int* trail);

// The half-width katakana byte *first at in[position], merged with a voicing
// mark at in[position + 1] that applies, -> Shift-JIS code in *first, *second.
void halfwidth_to_fullwidth(const unsigned char* in, size_t position, int* first, int* second);

// The Get commands' first steps: the clipboard's text becomes a new kanji buffer.
void read_clipboard_sjis(Window owner);
void read_clipboard_jis(Window owner);
