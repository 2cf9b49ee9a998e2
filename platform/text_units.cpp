// Character boundaries of EUC-JP and UTF-8, and the mapping of a pane's
// UTF-16 positions back to bytes: the parts of the edge conversions that
// need no conversion library.
#include "platform/text_units.h"

#include "platform/convert.h"

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
