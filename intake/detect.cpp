// What encoding a text is in when nobody said (a file opened or dropped,
// `get --auto`), and any of the four as EUC-JP.
#include <cstdint>
#include <vector>

#include "intake/intake.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool seven_bit(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Kana characters of text read as EUC-JP (rows 4 and 5: 0xA4 and 0xA5
// leads) or as Shift-JIS (0x82 0x9F-0xF1 hiragana, 0x83 0x40-0x96
// katakana). Japanese prose is kana for the most part; the same bytes read
// the other way are kanji and half-width katakana of no use.
size_t kana_count(std::string_view bytes, TextEncoding encoding) {
  size_t kana = 0;
  for (size_t i = 0; i + 1 < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const unsigned char trail = static_cast<unsigned char>(bytes[i + 1]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (encoding == TextEncoding::kEucJp) {
      if ((lead == 0xA4 || lead == 0xA5) && trail >= 0xA1 && trail <= 0xF6) ++kana;
      i += lead == 0x8F ? 3 : 2;
    } else {
      if ((lead == 0x82 && trail >= 0x9F && trail <= 0xF1) ||
          (lead == 0x83 && trail >= 0x40 && trail <= 0x96)) {
        ++kana;
      }
      // Half-width katakana are one byte long.
      i += lead >= 0xA1 && lead <= 0xDF ? 1 : 2;
    }
  }
  return kana;
}

bool valid(std::string_view bytes, TextEncoding encoding) {
  return first_invalid_byte(bytes, encoding) == std::string_view::npos;
}

}  // namespace

DetectedEncoding detect_encoding(std::string_view bytes) {
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark ||
      (valid(bytes, TextEncoding::kUtf8) && first_jis_escape(bytes) == std::string_view::npos)) {
    return {Detection::kFound, TextEncoding::kUtf8};
  }
  if (seven_bit(bytes)) return {Detection::kFound, TextEncoding::kJis};  // it holds an escape
  const bool euc = valid(bytes, TextEncoding::kEucJp);
  const bool sjis = valid(bytes, TextEncoding::kShiftJis);
  if (euc && !sjis) return {Detection::kFound, TextEncoding::kEucJp};
  if (sjis && !euc) return {Detection::kFound, TextEncoding::kShiftJis};
  if (!euc && !sjis) return {Detection::kNotText, TextEncoding::kUtf8};
  const size_t euc_kana = kana_count(bytes, TextEncoding::kEucJp);
  const size_t sjis_kana = kana_count(bytes, TextEncoding::kShiftJis);
  if (euc_kana > 0 && euc_kana >= 2 * sjis_kana) return {Detection::kFound, TextEncoding::kEucJp};
  if (sjis_kana > 0 && sjis_kana >= 2 * euc_kana) {
    return {Detection::kFound, TextEncoding::kShiftJis};
  }
  return {Detection::kUndecided, TextEncoding::kUtf8};
}

const char* detection_problem(Detection outcome) {
  return outcome == Detection::kNotText
             ? "is not text in UTF-8, Shift-JIS, EUC-JP or JIS"
             : "reads as Shift-JIS and as EUC-JP alike; cannot tell which it is";
}

size_t first_jis_escape(std::string_view bytes) {
  // ESC $ designates a two-byte set (JIS X 0208, 0212); ESC ( I and ESC ( J
  // the half-width katakana and JIS Roman. ESC ( B alone, back to ASCII,
  // is left out: terminals' reset sequences hold it too.
  for (size_t at = bytes.find('\x1B'); at != std::string_view::npos;
       at = bytes.find('\x1B', at + 1)) {
    if (at + 2 >= bytes.size()) break;
    char next = bytes[at + 1], last = bytes[at + 2];
    if (next == '$' || (next == '(' && (last == 'I' || last == 'J'))) return at;
  }
  return std::string_view::npos;
}

std::string text_in_euc(std::string_view bytes, TextEncoding encoding, bool* lossless) {
  if (lossless != nullptr) *lossless = true;
  switch (encoding) {
    case TextEncoding::kEucJp:
      return std::string(bytes);
    case TextEncoding::kUtf8:
      if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        bytes.remove_prefix(kByteOrderMark.size());
      }
      return utf8_to_euc(bytes, lossless);
    case TextEncoding::kShiftJis:
    case TextEncoding::kJis:
      break;
  }
  std::string_view text = bytes.substr(0, bytes.find('\0'));
  // A half-width katakana byte of Shift-JIS becomes two bytes; JIS never
  // grows. Room for the intake's two NULs besides.
  std::vector<unsigned char> out(2 * text.size() + 2);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  size_t length = encoding == TextEncoding::kJis
                      ? convert_jis(in, text.size(), out.data(), out.size())
                      : convert_sjis(in, text.size(), out.data(), out.size());
  std::string euc(reinterpret_cast<const char*>(out.data()), length);
  euc.append(bytes.substr(text.size()));
  return euc;
}
