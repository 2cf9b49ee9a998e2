// Character boundaries of EUC-JP and UTF-8, and the mapping of a pane's
// UTF-16 positions back to bytes: the parts of the edge conversions that
// need no conversion library.
#include "platform/text_units.h"

#include "platform/convert.h"
#include "platform/shift_jis.h"

namespace {

bool euc_trail(unsigned char c) {
  return c >= 0xA1 && c <= 0xFE;
}

}  // namespace

size_t euc_char_length(std::string_view s, bool* well_formed) {
  unsigned char lead = static_cast<unsigned char>(s[0]);
  if (lead < 0x80) {
    *well_formed = true;
    return 1;
  }
  size_t length = euc_lead_length(lead);
  *well_formed = length > 1 && s.size() >= length;
  for (size_t i = 1; *well_formed && i < length; ++i) {
    *well_formed = euc_trail(static_cast<unsigned char>(s[i]));
  }
  return *well_formed ? length : 1;
}

size_t first_c1_byte(std::string_view euc) {
  for (size_t at = 0; at < euc.size();) {
    const auto lead = static_cast<unsigned char>(euc[at]);
    if (lead >= 0x80 && lead <= 0xA0 && lead != 0x8E && lead != 0x8F) return at;
    at += euc_lead_length(lead);
  }
  return std::string_view::npos;
}

size_t utf8_char_length(std::string_view s) {
  unsigned char lead = static_cast<unsigned char>(s[0]);
  size_t length = lead < 0x80                    ? 1
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                  : lead >= 0xE0                 ? 3
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                                                 : 0;
  if (length == 0 || s.size() < length) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

uint32_t utf16_to_byte_offset(const std::vector<uint32_t>& byte_offsets, size_t pos) {
  if (byte_offsets.empty()) return 0;
  if (pos >= byte_offsets.size()) return byte_offsets.back();
  return byte_offsets[pos];
}

std::string sjis_without_extensions(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size());
  size_t i = 0;
  while (i < sjis.size()) {
    unsigned char lead = static_cast<unsigned char>(sjis[i]);
    bool two = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!two || i + 1 >= sjis.size()) {
      out.push_back(sjis[i++]);
    } else if (lead >= 0xF0 && lead <= 0xFC) {
      out.push_back('?');
      i += 2;
    } else {
      out.append(sjis.substr(i, 2));
      i += 2;
    }
  }
  return out;
}

std::string sjis_to_seven_bit_jis(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size() + 16);
  bool two_byte = false;
  auto set_mode = [&](bool want) {
    if (want == two_byte) return;
    out += want ? "\x1B$B" : "\x1B(B";
    two_byte = want;
  };
  const auto* bytes = reinterpret_cast<const unsigned char*>(sjis.data());
  size_t i = 0;
  while (i < sjis.size()) {
    unsigned char lead = bytes[i];
    int row = lead, cell = 0;
    size_t used = 1;
    if (lead >= 0xA1 && lead <= 0xDF) {
      // No half-width katakana in 7-bit JIS: the full-width kana, a voicing
      // mark that follows merged into it (ｶﾞ is ガ).
      used = halfwidth_to_fullwidth(bytes, sjis.size(), i, &row, &cell);
    } else if (((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) &&
               i + 1 < sjis.size() && bytes[i + 1] >= 0x40 && bytes[i + 1] <= 0xFC &&
               bytes[i + 1] != 0x7F) {
      if (lead >= 0xF0) {
        // The user-defined area and the IBM extensions lie outside JIS X 0208.
        set_mode(false);
        out.push_back('?');
        i += 2;
        continue;
      }
      cell = bytes[i + 1];
      used = 2;
    } else {
      set_mode(false);
      out.push_back(lead < 0x80 ? static_cast<char>(lead) : '?');
      ++i;
      continue;
    }
    sjis_to_jis(&row, &cell);
    set_mode(true);
    out.push_back(static_cast<char>(row & 0x7F));
    out.push_back(static_cast<char>(cell & 0x7F));
    i += used;
  }
  set_mode(false);
  return out;
}

std::string plain_line_ends(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  // Whole stretches up to each 0x0D at a time.
  for (size_t from = 0; from < text.size();) {
    size_t cr = text.find('\r', from);
    if (cr == std::string_view::npos) cr = text.size();
    plain.append(text.substr(from, cr - from));
    if (cr == text.size()) break;
    if (cr + 1 >= text.size() || text[cr + 1] != '\n') plain.push_back('\r');
    from = cr + 1;
  }
  return plain;
}
