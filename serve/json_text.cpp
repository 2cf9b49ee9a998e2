#include "serve/json_text.h"

#include <charconv>
#include <cstring>

namespace {

// Whether any of the eight bytes at p is a control character, '"' or '\\':
// a byte below 0x20, or one equal to 0x22 or 0x5C, sets its high bit in
// (x - 0x20..) & ~x, (y - 0x01..) & ~y for y = x ^ 0x22.. or x ^ 0x5C.. .
bool needs_escape(const char* p) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  uint64_t x;
  std::memcpy(&x, p, sizeof x);
  const uint64_t quote = x ^ (kOnes * '"'), backslash = x ^ (kOnes * '\\');
  return (((x - kOnes * 0x20) & ~x) | ((quote - kOnes) & ~quote) |
          ((backslash - kOnes) & ~backslash)) &
         kHighs;
}

}  // namespace

void append_json_string(std::string* out, std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  // The bytes that need no escape go in stretches; every byte of a multibyte
  // character is 0x80 or more, so only ASCII is ever escaped.
  size_t stretch = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    // Eight bytes at a time while none needs an escape (most of a listing).
    while (i + 8 <= utf8.size() && !needs_escape(utf8.data() + i)) i += 8;
    if (i == utf8.size()) break;
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out->append(utf8.data() + stretch, i - stretch);
    stretch = i + 1;
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\b':
        out->append("\\b");
        break;
      case '\f':
        out->append("\\f");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
        out->append(escape, sizeof escape);
      }
    }
  }
  out->append(utf8.data() + stretch, utf8.size() - stretch);
  out->push_back('"');
}

void append_json_key(std::string* out, std::string_view name) {
  if (!out->empty() && out->back() != '{') out->push_back(',');
  out->push_back('"');
  out->append(name);
  out->append("\":");
}

void append_json_number(std::string* out, int64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out->append(digits, static_cast<size_t>(end - digits));
}

void append_json_bool(std::string* out, bool b) {
  out->append(b ? "true" : "false");
}
