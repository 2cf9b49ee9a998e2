// The edge conversions of convert.h with the Win32 code-page calls:
// MultiByteToWideChar / WideCharToMultiByte with code page 20932 (EUC-JP),
// 932 (Shift-JIS) and UTF-8; 7-bit JIS is built from the Shift-JIS.
//
// EUC-JP text is split into characters by the same boundaries as the iconv
// build (text_units.h), so that every undecodable character becomes exactly
// one U+FFFD and a pane's UTF-16 positions map back to the bytes they came from.
#include <windows.h>

#include "platform/convert.h"
#include "platform/text_units.h"

namespace {

constexpr UINT kEucJp = 20932;
constexpr UINT kShiftJis = 932;
constexpr wchar_t kReplacement = 0xFFFD;
constexpr char kGeta[] = "\xA2\xAE";  // EUC-JP mark for a character it cannot hold

// One well-formed multi-byte EUC-JP character to one UTF-16 unit, or
// U+FFFD. The system's table reads 0x8F as a character of its own, so a
// three-byte character converts only when it comes back as one unit.
wchar_t euc_char_to_unit(std::string_view ch) {
  wchar_t units[4];
  int n = MultiByteToWideChar(kEucJp, MB_ERR_INVALID_CHARS, ch.data(), static_cast<int>(ch.size()),
                              units, 4);
  if (n != 1 || units[0] < 0x80 || (units[0] >= 0xD800 && units[0] <= 0xDFFF)) return kReplacement;
  return units[0];
}

std::wstring to_wide(UINT code_page, std::string_view in) {
  std::wstring out;
  if (in.empty()) return out;
  int n = MultiByteToWideChar(code_page, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(code_page, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
  return out;
}

// UTF-16 to a code page. default_char, when given, stands for every
// character the code page cannot hold; best-fit look-alikes are not used, so
// nothing is silently changed into another character.
std::string from_wide(UINT code_page, std::wstring_view in, const char* default_char,
                      bool* used_default = nullptr) {
  std::string out;
  if (used_default != nullptr) *used_default = false;
  if (in.empty()) return out;
  std::wstring collapsed;
  if (default_char != nullptr) {
    // None of the Japanese code pages holds a character outside the basic
    // plane: a surrogate pair becomes one unit that has no place either, so
    // it is replaced once, not once per half.
    for (size_t i = 0; i < in.size(); ++i) {
      bool high = in[i] >= 0xD800 && in[i] <= 0xDBFF;
      bool pair = high && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF;
      collapsed.push_back(in[i] >= 0xD800 && in[i] <= 0xDFFF ? wchar_t{0xFFFF} : in[i]);
      if (pair) ++i;
    }
    in = collapsed;
  }
  DWORD flags = default_char != nullptr ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL used = FALSE;
  BOOL* used_ptr = default_char != nullptr ? &used : nullptr;
  int n = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                              default_char, used_ptr);
  if (n <= 0) {
    if (used_default != nullptr) *used_default = true;
    return out;
  }
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), out.data(), n,
                      default_char, used_ptr);
  if (used_default != nullptr) *used_default = used != FALSE;
  return out;
}

}  // namespace

std::u16string euc_to_utf16(std::string_view euc, std::vector<uint32_t>* byte_offsets) {
  std::u16string out;
  out.reserve(euc.size() + 1);
  if (byte_offsets != nullptr) {
    byte_offsets->clear();
    byte_offsets->reserve(euc.size() + 1);
  }
  size_t offset = 0;
  std::string_view rest = euc;
  while (!rest.empty()) {
    bool well_formed;
    size_t length = euc_char_length(rest, &well_formed);
    unsigned char c = static_cast<unsigned char>(rest[0]);
    if (c < 0x80) {
      out.push_back(c);
    } else if (well_formed) {
      out.push_back(static_cast<char16_t>(euc_char_to_unit(rest.substr(0, length))));
    } else {
      out.push_back(static_cast<char16_t>(kReplacement));
    }
    // Every character is one UTF-16 unit: the code page holds nothing
    // outside the basic plane.
    if (byte_offsets != nullptr) byte_offsets->push_back(static_cast<uint32_t>(offset));
    rest.remove_prefix(length);
    offset += length;
  }
  if (byte_offsets != nullptr) byte_offsets->push_back(static_cast<uint32_t>(euc.size()));
  return out;
}

std::string euc_to_utf8(std::string_view euc) {
  std::u16string wide = euc_to_utf16(euc, nullptr);
  return from_wide(CP_UTF8,
                   std::wstring_view(reinterpret_cast<const wchar_t*>(wide.data()), wide.size()),
                   nullptr);
}

std::string utf8_to_euc(std::string_view utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size() + 8);
  bool all = true;
  // Stretches of valid UTF-8 convert in one call; each invalid byte, and
  // each character the table cannot hold, becomes the geta mark.
  size_t start = 0;
  auto flush = [&](size_t end) {
    if (end == start) return;
    std::wstring wide = to_wide(CP_UTF8, utf8.substr(start, end - start));
    bool used_default = false;
    std::string euc = from_wide(kEucJp, wide, "?", &used_default);
    if (!used_default) {
      out += euc;
    } else {
      // Character by character, so that only the ones without a place
      // become the mark (a '?' of the text itself stays a '?').
      for (size_t i = 0; i < wide.size(); ++i) {
        size_t units = (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size()) ? 2 : 1;
        bool missing = false;
        std::string one =
            from_wide(kEucJp, std::wstring_view(wide).substr(i, units), "?", &missing);
        if (missing || one.empty()) {
          out += kGeta;
          all = false;
        } else {
          out += one;
        }
        i += units - 1;
      }
    }
    start = end;
  };
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t length = utf8_char_length(utf8.substr(i));
    if (length == 1 && lead >= 0x80) {
      flush(i);
      out += kGeta;
      all = false;
      start = i + 1;
    }
    i += length;
  }
  flush(utf8.size());
  if (lossless != nullptr) *lossless = all;
  return out;
}

std::string utf8_to_sjis(std::string_view utf8) {
  // The code page holds the full-width tilde at the place Japanese systems
  // give the wave dash too.
  std::wstring wide = to_wide(CP_UTF8, utf8);
  for (wchar_t& c : wide) {
    if (c == 0x301C) c = 0xFF5E;
  }
  return sjis_without_extensions(from_wide(kShiftJis, wide, "?"));
}

std::string utf8_to_jis(std::string_view utf8) {
  // Through the Shift-JIS of the other Get, so that both give the reader the
  // same characters (and the same as the iconv build).
  return sjis_to_seven_bit_jis(utf8_to_sjis(utf8));
}

std::string sjis_to_utf8(std::string_view sjis) {
  return from_wide(CP_UTF8, to_wide(kShiftJis, sjis), nullptr);
}

namespace {

// The first byte that the system's conversion of the encoding refuses, or
// npos.
size_t first_unconverted_byte(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::kJis) {
    // The system's ISO-2022-JP decoder takes no strictness flag: 7-bit JIS
    // is valid as long as it stays 7-bit.
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (static_cast<unsigned char>(bytes[i]) >= 0x80) return i;
    }
    return std::string_view::npos;
  }
  UINT code_page = encoding == TextEncoding::kUtf8    ? CP_UTF8
                   : encoding == TextEncoding::kEucJp ? kEucJp
                                                      : kShiftJis;
  auto valid = [&](size_t length) {
    return length == 0 || MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(),
                                              static_cast<int>(length), nullptr, 0) > 0;
  };
  if (valid(bytes.size())) return std::string_view::npos;
  // The call says only whether all of it converts: the longest prefix that
  // does, found by halving, ends where the fault begins (or just before the
  // character it cuts).
  size_t good = 0, bad = bytes.size();
  while (bad - good > 1) {
    size_t middle = good + (bad - good) / 2;
    (valid(middle) ? good : bad) = middle;
  }
  return good;
}

}  // namespace

size_t first_invalid_byte(std::string_view bytes, TextEncoding encoding) {
  const size_t fault = first_unconverted_byte(bytes, encoding);
  // Code page 20932 takes the C1 bytes for control characters; EUC-JP has
  // none.
  if (encoding != TextEncoding::kEucJp) return fault;
  const size_t c1 = first_c1_byte(bytes);
  return c1 < fault ? c1 : fault;
}
