// The Shift-JIS arithmetic and the half-width katakana fold: the clipboard
// decoders of the intake and the edge conversion that builds 7-bit JIS both
// use them. Pure functions over bytes; nothing else is needed.
#pragma once

#include <cstddef>

// Shift-JIS lead and trail (low 8 bits used) -> JIS X 0208 row and cell, in
// place. For a valid code both lie from 0x21 to 0x7E; other input gives other
// values, which the caller stores modulo 256.
void sjis_to_jis(int* lead, int* trail);

// The half-width katakana byte in[position] (0xA1 to 0xDF), merged with a
// voicing mark at in[position + 1] that applies to it, -> the Shift-JIS code
// of the full-width character in *first, *second. in[position + 1] is read
// only when position + 1 < length; past that the byte counts as a NUL.
// Returns the input bytes used: 2 when a mark was merged, 1 otherwise.
size_t halfwidth_to_fullwidth(const unsigned char* in, size_t length, size_t position, int* first,
                              int* second);
