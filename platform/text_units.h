// Character boundaries of EUC-JP and UTF-8 byte strings, shared by the iconv
// and the Win32 conversions so that both split a text the same way:
//   0x00-0x7F              one byte (ASCII, line ends included)
//   0x8E, 0xA1-0xFE        lead byte of a two-byte character
//   0x8F                   lead byte of a three-byte character (JIS X 0212)
//   anything else          no character starts here: one undecodable byte
// A lead byte whose trail bytes are missing or outside 0xA1-0xFE is
// undecodable on its own, and the next byte starts afresh, so a stray lead
// byte never swallows the ASCII after it.
#pragma once

#include <cstddef>
#include <string_view>

// Bytes of the EUC-JP character at the start of s (s not empty), and
// whether it is well-formed; an ill-formed start is always one byte.
size_t euc_char_length(std::string_view s, bool* well_formed);

// Bytes of the UTF-8 sequence at the start of s (s not empty) when it is a
// whole, well-formed one; else 1, so that an invalid byte is skipped alone.
size_t utf8_char_length(std::string_view s);
