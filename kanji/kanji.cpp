// The kanji dictionary's table, its line parser and the texts made from a
// kanji's details. kanji.h gives the line format; this file says why the
// look-up is as it is.
#include "kanji/kanji.h"

#include <algorithm>
#include <bitset>
#include <cstdio>

#include "platform/platform.h"
#include "platform/text_units.h"

KanjiState kanji;

void reset_kanji() {
  kanji = KanjiState{};
}

namespace {

bool is_euc_byte(unsigned char b) {
  return b >= 0xA1 && b <= 0xFE;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number of at most 9 digits in base 10 or 16; false when text is empty,
// too long or holds anything else.
bool read_number(std::string_view text, int base, uint32_t* value) {
  if (text.empty() || text.size() > 9) return false;
  uint32_t v = 0;
  for (char c : text) {
    const int d = hex_value(c);
    if (d < 0 || d >= base) return false;
    v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

// Whether every character of an EUC-JP token is whole (its trail bytes are
// there and in range), so that no reading ends in half a character.
bool whole_characters(std::string_view token) {
  size_t at = 0;
  while (at < token.size()) {
    bool well_formed = false;
    at += euc_char_length(token.substr(at), &well_formed);
    if (!well_formed) return false;
  }
  return true;
}

// A letter-coded field. Returns false when a field the details keep holds no
// number (the line is then taken as damaged).
bool read_field(std::string_view token, KanjiDetails* out) {
  const char code = token[0];
  const std::string_view value = token.substr(1);
  int* slot = nullptr;
  switch (code) {
    case 'B':
      slot = &out->radical;
      break;
    case 'G':
      slot = &out->grade;
      break;
    case 'S':
      slot = &out->strokes;
      break;
    case 'F':
      slot = &out->frequency;
      break;
    case 'J':
      slot = &out->level;
      break;
    case 'U':
      return read_number(value, 16, &out->unicode);
    default:
      return true;  // dictionary numbers, pinyin, Korean readings, ...
  }
  // Two-letter codes that start with one of these letters (none exist today)
  // are not theirs.
  if (!value.empty() && value[0] >= 'A' && value[0] <= 'Z') return true;
  uint32_t number = 0;
  if (!read_number(value, 10, &number) || number > 100000) return false;
  if (*slot == 0) *slot = static_cast<int>(number);  // the first S is the count
  return true;
}

// Hiragana (0xA4 rows), katakana (0xA5 rows) or neither, by the first kana
// of a reading (after an affix mark).
enum class Kana { kNone, kHiragana, kKatakana };

Kana reading_kana(std::string_view token) {
  size_t at = token[0] == '-' ? 1 : 0;
  if (at + 1 >= token.size()) return Kana::kNone;
  const auto lead = static_cast<unsigned char>(token[at]);
  if (lead == 0xA4) return Kana::kHiragana;
  if (lead == 0xA5) return Kana::kKatakana;
  return Kana::kNone;
}

void append_joined(std::string* out, const std::vector<std::string>& items, const char* between) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) *out += between;
    *out += items[i];
  }
}

void append_line(std::string* out, const char* label, const std::string& value) {
  if (value.empty()) return;
  char head[32];
  std::snprintf(head, sizeof head, "  %-12s", label);
  *out += head;
  *out += value;
  *out += "\r\n";
}

std::string kanji_text(uint16_t code) {
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// Reads kanjidic through once, keeping where each good line lies.
void build_table() {
  kanji.loaded = true;
  const int32_t file = file_open_read(kKanjiFile);
  if (file == kFileError) return;  // no kanjidic: the feature is off, quietly
  std::string pending;             // a line begun in an earlier block
  uint32_t pending_offset = 0;     // where it began
  uint32_t line_number = 0;
  static char block[65536];
  uint32_t offset = 0;
  KanjiDetails details;
  auto finish_line = [&](uint32_t start) {
    ++line_number;
    std::string_view line = pending;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool comment = !line.empty() && line[0] == '#';
    if (line.empty() || comment) return;
    // A line over the bound was kept only to its first kMaxKanjiLine + 1 bytes.
    if (line.size() <= kMaxKanjiLine && parse_kanji_line(line, &details)) {
      const auto code = static_cast<uint16_t>(static_cast<unsigned char>(details.kanji[0]) << 8 |
                                              static_cast<unsigned char>(details.kanji[1]));
      kanji.table.push_back({code, start, static_cast<uint32_t>(line.size())});
      return;
    }
    ++kanji.skipped;
    char note[96];
    std::snprintf(note, sizeof note, "%s: line %u is damaged and left out\n", kKanjiFile,
                  line_number);
    console_notice(note);
  };
  for (;;) {
    const int32_t got = file_read_at(file, offset, block, sizeof block);
    if (got <= 0) break;
    for (int32_t i = 0; i < got; ++i) {
      if (block[i] == '\n') {
        finish_line(pending_offset);
        pending.clear();
        pending_offset = offset + static_cast<uint32_t>(i) + 1;
      } else if (pending.size() <= kMaxKanjiLine) {
        pending.push_back(block[i]);
      }
    }
    offset += static_cast<uint32_t>(got);
  }
  if (!pending.empty()) finish_line(pending_offset);  // a last line without its line end
  file_close(file);
  std::stable_sort(kanji.table.begin(), kanji.table.end(),
                   [](const KanjiLineRef& a, const KanjiLineRef& b) { return a.code < b.code; });
  // A kanji listed twice keeps its first line.
  kanji.table.erase(
      std::unique(kanji.table.begin(), kanji.table.end(),
                  [](const KanjiLineRef& a, const KanjiLineRef& b) { return a.code == b.code; }),
      kanji.table.end());
  kanji.available = !kanji.table.empty();
}

}  // namespace

bool parse_kanji_line(std::string_view line, KanjiDetails* out) {
  *out = KanjiDetails{};
  // The kanji, a blank, its JIS code in four hex digits.
  if (line.size() < 7) return false;
  const auto lead = static_cast<unsigned char>(line[0]);
  const auto trail = static_cast<unsigned char>(line[1]);
  if (!is_euc_byte(lead) || !is_euc_byte(trail) || line[2] != ' ') return false;
  uint32_t jis = 0;
  if (!read_number(line.substr(3, 4), 16, &jis) || jis != ((lead & 0x7Fu) << 8 | (trail & 0x7Fu))) {
    return false;
  }
  if (line.size() > 7 && line[7] != ' ') return false;
  out->kanji = std::string(line.substr(0, 2));
  out->jis = static_cast<uint16_t>(jis);

  int section = 0;  // 0: the kanji's own readings; 1: names (T1); 2: radical names (T2)
  size_t at = 7;
  while (at < line.size()) {
    if (line[at] == ' ') {
      ++at;
      continue;
    }
    if (line[at] == '{') {
      const size_t close = line.find('}', at + 1);
      if (close == std::string_view::npos) return false;  // cut short
      out->meanings.emplace_back(line.substr(at + 1, close - at - 1));
      at = close + 1;
      continue;
    }
    size_t end = line.find(' ', at);
    if (end == std::string_view::npos) end = line.size();
    const std::string_view token = line.substr(at, end - at);
    at = end;
    const char first = token[0];
    if (first == 'T' && token.size() == 2 && token[1] >= '0' && token[1] <= '9') {
      section = token[1] - '0';
      continue;
    }
    if (first >= 'A' && first <= 'Z') {
      if (!read_field(token, out)) return false;
      continue;
    }
    if (!whole_characters(token)) return false;
    const Kana kana = reading_kana(token);
    if (kana == Kana::kNone) continue;  // nothing this program shows
    if (section == 1) {
      out->name_readings.emplace_back(token);
    } else if (section == 0) {
      (kana == Kana::kKatakana ? out->on_readings : out->kun_readings).emplace_back(token);
    }
  }
  return true;
}

bool kanji_available() {
  if (!kanji.loaded) build_table();
  return kanji.available;
}

bool find_kanji(uint16_t code, KanjiDetails* out) {
  if (!kanji_available()) return false;
  const auto it =
      std::lower_bound(kanji.table.begin(), kanji.table.end(), code,
                       [](const KanjiLineRef& ref, uint16_t c) { return ref.code < c; });
  if (it == kanji.table.end() || it->code != code) return false;
  const int32_t file = file_open_read(kKanjiFile);
  if (file == kFileError) return false;
  std::string line(it->length, '\0');
  const int32_t got = file_read_at(file, it->offset, line.data(), it->length);
  file_close(file);
  // The file changed since the table was made: the line is not what it was.
  if (got != static_cast<int32_t>(it->length)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return parse_kanji_line(line, out) && kanji_text(code) == out->kanji;
}

namespace {

// Calls take(code) for every kanji of euc in order until it returns false.
template <typename Take>
void walk_kanji(std::string_view euc, Take take) {
  size_t at = 0;
  while (at < euc.size()) {
    bool well_formed = false;
    const size_t length = euc_char_length(euc.substr(at), &well_formed);
    if (well_formed && length == 2) {
      const auto lead = static_cast<unsigned char>(euc[at]);
      const auto code = static_cast<uint16_t>(lead << 8 | static_cast<unsigned char>(euc[at + 1]));
      if (lead >= 0xB0 && lead <= 0xF4 && !take(code)) return;
    }
    at += length;
  }
}

}  // namespace

std::vector<uint16_t> kanji_in_text(std::string_view euc) {
  std::vector<uint16_t> found;
  std::bitset<0x10000> seen;
  walk_kanji(euc, [&](uint16_t code) {
    if (!seen.test(code)) found.push_back(code);
    seen.set(code);
    return true;
  });
  return found;
}

uint16_t first_kanji(std::string_view euc) {
  uint16_t first = 0;
  walk_kanji(euc, [&](uint16_t code) {
    first = code;
    return false;
  });
  return first;
}

const char* kanji_grade_text(int grade) {
  static const char* const kPrimary[] = {"primary school, year 1", "primary school, year 2",
                                         "primary school, year 3", "primary school, year 4",
                                         "primary school, year 5", "primary school, year 6"};
  if (grade >= 1 && grade <= 6) return kPrimary[grade - 1];
  if (grade == 8) return "secondary school";
  if (grade == 9 || grade == 10) return "for names";
  return "";
}

std::string kanji_block(const KanjiDetails& d) {
  std::string out = d.kanji;
  char head[48];
  std::snprintf(head, sizeof head, "  JIS %04X", d.jis);
  out += head;
  if (d.unicode != 0) {
    std::snprintf(head, sizeof head, "  U+%04X", static_cast<unsigned>(d.unicode));
    out += head;
  }
  out += "\r\n";
  std::string value;
  append_joined(&value, d.meanings, "; ");
  append_line(&out, "Meanings:", value);
  value.clear();
  append_joined(&value, d.on_readings, ", ");
  append_line(&out, "On:", value);
  value.clear();
  append_joined(&value, d.kun_readings, ", ");
  append_line(&out, "Kun:", value);
  value.clear();
  append_joined(&value, d.name_readings, ", ");
  append_line(&out, "Names:", value);
  char number[64];
  auto numbered = [&](const char* label, int n, const char* note) {
    if (n == 0) return;
    if (note != nullptr && *note != 0) {
      std::snprintf(number, sizeof number, "%d (%s)", n, note);
    } else {
      std::snprintf(number, sizeof number, "%d", n);
    }
    append_line(&out, label, number);
  };
  numbered("Strokes:", d.strokes, nullptr);
  numbered("Grade:", d.grade, kanji_grade_text(d.grade));
  numbered("Frequency:", d.frequency, "of the 2,500 most used");
  numbered("Radical:", d.radical, nullptr);
  return out;
}

std::string kanji_missing_block(uint16_t code) {
  return kanji_text(code) + "  not in the kanji dictionary\r\n";
}

std::string kanji_status(const KanjiDetails& d) {
  std::string out = d.kanji;
  if (d.strokes == 0 && d.grade == 0) return out;
  char tail[64];
  if (d.grade != 0) {
    std::snprintf(tail, sizeof tail, ": %d strokes, grade %d", d.strokes, d.grade);
  } else {
    std::snprintf(tail, sizeof tail, ": %d strokes, no grade", d.strokes);
  }
  return out + tail;
}
