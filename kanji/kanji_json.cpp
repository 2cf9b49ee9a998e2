// The details of a text's kanji as a whole: the blocks the panes and the
// command line show, and the same as JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "kanji/kanji.h"
#include "platform/convert.h"

namespace {

// A JSON string of UTF-8 text.
std::string json_string(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string json_list(const std::vector<std::string>& euc_items) {
  std::string out = "[";
  for (size_t i = 0; i < euc_items.size(); ++i) {
    if (i > 0) out += ", ";
    out += json_string(euc_to_utf8(euc_items[i]));
  }
  return out + "]";
}

std::string json_number(int n) {
  return n == 0 ? "null" : std::to_string(n);
}

std::string kanji_json(uint16_t code, const KanjiDetails* d) {
  const std::string kanji{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  std::string out = "  {\"kanji\": " + json_string(euc_to_utf8(kanji));
  if (d == nullptr) return out + ", \"found\": false}";
  char codes[48];
  std::snprintf(codes, sizeof codes, ", \"jis\": \"%04X\"", d->jis);
  out += ", \"found\": true";
  out += codes;
  std::snprintf(codes, sizeof codes, "\"U+%04X\"", static_cast<unsigned>(d->unicode));
  out += std::string(", \"unicode\": ") + (d->unicode != 0 ? codes : "null");
  out += ",\n   \"meanings\": " + json_list(d->meanings);
  out += ",\n   \"on\": " + json_list(d->on_readings);
  out += ",\n   \"kun\": " + json_list(d->kun_readings);
  out += ",\n   \"names\": " + json_list(d->name_readings);
  out += ",\n   \"strokes\": " + json_number(d->strokes);
  out += ", \"grade\": " + json_number(d->grade);
  out += ", \"frequency\": " + json_number(d->frequency);
  out += ", \"radical\": " + json_number(d->radical) + "}";
  return out;
}

}  // namespace

std::string kanji_blocks(std::string_view euc, bool first_only) {
  std::string out;
  for (uint16_t code : kanji_in_text(euc)) {
    KanjiDetails d;
    if (!out.empty()) out += "\r\n";
    out += find_kanji(code, &d) ? kanji_block(d) : kanji_missing_block(code);
    if (first_only) break;
  }
  return out;
}

std::string kanji_json_text(std::string_view euc) {
  const std::vector<uint16_t> codes = kanji_in_text(euc);
  std::string out = "[";
  for (size_t i = 0; i < codes.size(); ++i) {
    KanjiDetails d;
    out += i == 0 ? "\n" : ",\n";
    out += kanji_json(codes[i], find_kanji(codes[i], &d) ? &d : nullptr);
  }
  out += codes.empty() ? "]\n" : "\n]\n";
  return out;
}
