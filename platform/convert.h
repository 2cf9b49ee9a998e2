// Conversions between the program's EUC-JP bytes and the Unicode of the
// desktop and the terminal. They happen only at the edges (display, input,
// clipboards of other programs); the core never converts. Implemented with
// iconv on POSIX (convert_iconv.cpp) and the Win32 code-page calls on
// Windows (convert_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// EUC-JP to UTF-8. A byte sequence that does not convert is shown as U+FFFD
// (one per undecodable character), never dropped.
std::string euc_to_utf8(std::string_view euc);

// UTF-8 to EUC-JP. A character EUC-JP cannot hold becomes the geta mark
// (0xA2 0xAE); invalid UTF-8 bytes likewise. *lossless, when given, tells
// whether everything converted.
std::string utf8_to_euc(std::string_view utf8, bool* lossless = nullptr);

// EUC-JP to UTF-16 for a text pane, character by character, so that a
// selection in the pane maps back to the bytes it came from:
// (*byte_offsets)[i] is the byte offset in euc of the character that UTF-16
// unit i belongs to, and the vector has one more element, euc.size(), for the
// position just past the end. An undecodable byte becomes U+FFFD of its own.
std::u16string euc_to_utf16(std::string_view euc, std::vector<uint32_t>* byte_offsets);

// The byte offset in euc of UTF-16 position pos, given the offsets made by
// euc_to_utf16: positions past the end give euc's size.
uint32_t utf16_to_byte_offset(const std::vector<uint32_t>& byte_offsets, size_t pos);

// UTF-8 to Shift-JIS (code page 932) and to 7-bit JIS with escape sequences
// (ISO-2022-JP), for clipboards that hold Unicode text. Characters that do not
// convert become '?'.
std::string utf8_to_sjis(std::string_view utf8);
std::string utf8_to_jis(std::string_view utf8);

// Shift-JIS / JIS / EUC-JP to UTF-8, for tools and tests.
std::string sjis_to_utf8(std::string_view sjis);

// The Japanese encodings text may come in.
enum class TextEncoding { kUtf8, kEucJp, kShiftJis, kJis };

// The offset of the first byte of bytes that is not valid text in encoding (a
// character cut off at the end counts as invalid), or std::string_view::npos
// when all of it is. Shift-JIS includes the vendor characters of code page
// 932, EUC-JP those of its Windows variant and JIS X 0212, JIS the
// half-width katakana and JIS X 0212 sets.
size_t first_invalid_byte(std::string_view bytes, TextEncoding encoding);
