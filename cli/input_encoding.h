// How the commands of the command line read text: UTF-8 unless --euc,
// --shift or --jis says otherwise (--utf8 says it outright). Every command
// that reads a passage, a text or an argument takes its encoding here, so the
// options, the check of the input and its message are the same for all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/convert.h"

// The options as usage texts write them.
constexpr char kEncodingOptions[] = "--utf8|--euc|--shift|--jis";

// The encoding an option names, or false when arg is not one of the four.
bool encoding_from_option(std::string_view arg, TextEncoding* encoding);

// "--utf8", "--euc", "--shift", "--jis".
const char* encoding_option(TextEncoding encoding);

// "UTF-8", "EUC-JP", "Shift-JIS", "JIS".
const char* encoding_name(TextEncoding encoding);

// Whether bytes, read from `source` (a file name, "standard input", "the
// text"), are valid text in encoding. When they are not, writes to standard
// error where the fault is and which options name the other encodings, and
// returns false: the command then ends with kExitUsage without running. Text
// holding a JIS escape sequence is JIS, whatever else it may pass for.
bool check_input_encoding(std::string_view bytes, TextEncoding encoding, const std::string& source);

// The offset of the first escape sequence of 7-bit JIS that designates a
// Japanese set (ESC $ ..., ESC ( I, ESC ( J) in bytes, or npos.
size_t first_jis_escape(std::string_view bytes);

// Text in encoding as EUC-JP, the program's own encoding. Shift-JIS and JIS
// go through the intake's conversions, exactly as a Get converts them; a NUL
// and what follows it are kept as they are, so that the caller can still
// tell that the text had one. UTF-8 goes through the edge conversion, with a
// note on standard error when a character has no EUC-JP code.
std::string text_as_euc(std::string_view bytes, TextEncoding encoding);

// n with its digits in groups of three: "1,234,567".
std::string grouped(uint64_t n);
