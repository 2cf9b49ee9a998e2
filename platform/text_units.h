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
#include <string>
#include <string_view>

// Bytes of the EUC-JP character whose first byte is lead, by the table
// above: 1 for ASCII and for a byte that starts no character (0x80-0x8D,
// 0x90-0xA0, 0xFF: it stands alone, so it never swallows the byte behind
// it), 2 for 0x8E and 0xA1-0xFE, 3 for 0x8F. The trail bytes are not looked
// at: this is where the next character starts if the text is well-formed.
// Every walk of EUC-JP text by characters steps with it.
constexpr size_t euc_lead_length(unsigned char lead) {
  if (lead == 0x8F) return 3;
  if (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) return 2;
  return 1;
}

// Bytes of the longest prefix of text, at most limit bytes, that ends where
// a character ends as euc_lead_length steps. A last character cut short by
// the end of text is taken (the text ends with it) when its whole length
// would fit. The stepping may begin at from, a place where the stepping from
// the start stops on its way (a caller that knows one saves stepping over
// the bytes before it again); *stop, when asked for, is where it stopped
// (past the end for a last character cut short).
constexpr size_t euc_whole_prefix(std::string_view text, size_t limit, size_t from = 0,
                                  size_t* stop = nullptr) {
  size_t at = from;
  while (at < text.size()) {
    const size_t next = at + euc_lead_length(static_cast<unsigned char>(text[at]));
    if (next > limit) break;
    at = next;
  }
  if (stop != nullptr) *stop = at;
  return at < text.size() ? at : text.size();
}

// text with each 0x0D 0x0A pair as a lone 0x0A (the panes' line ends as a
// file or a terminal wants them); a 0x0D on its own is kept.
std::string plain_line_ends(std::string_view text);

// Bytes of the EUC-JP character at the start of s (s not empty), and
// whether it is well-formed; an ill-formed start is always one byte.
size_t euc_char_length(std::string_view s, bool* well_formed);

// The offset of the first character of EUC-JP text (stepping by
// euc_lead_length) that is a C1 byte, 0x80-0x8D or 0x90-0xA0, or npos. No
// EUC-JP character starts with one, though some converters read them as
// control characters: a text that holds one is no EUC-JP.
size_t first_c1_byte(std::string_view euc);

// Bytes of the UTF-8 sequence at the start of s (s not empty) when it is a
// whole, well-formed one; else 1, so that an invalid byte is skipped alone.
size_t utf8_char_length(std::string_view s);

// Shift-JIS with every two-byte code led by 0xF0-0xFC (the user-defined area
// and the IBM extensions, which Japanese systems produce for characters such
// as 髙 but which no JIS X 0208 row holds) replaced by one '?', as the Get
// commands read no such code. Everything else is kept byte for byte.
std::string sjis_without_extensions(std::string_view sjis);

// Shift-JIS as 7-bit JIS (ESC $ B for JIS X 0208, ESC ( B for ASCII, back in
// ASCII at the end). Half-width katakana become full-width, a voicing mark
// merged into the kana before it; a byte that is neither ASCII nor part of a
// two-byte JIS X 0208 code becomes '?'.
std::string sjis_to_seven_bit_jis(std::string_view sjis);
