// The romaji table loader: kanarom.cnv into the 500-entry table, each line
// through the JIS line decoder first.
//
// kanarom.cnv, as read here. Only its first 4592 bytes are read.
//   - Lines end in 0x0A (a 0x0D before it is harmless). A line, line feed
//     included, has at most 79 bytes, and so has its decoded form.
//   - Every line is decoded from 7-bit JIS (ESC $ B, ESC $ @, ESC $ ( D, back
//     with ESC ( B or ESC ( J) before it is looked at; EUC-JP bytes pass
//     unchanged. Decoding starts in ASCII mode on every line.
//   - The first two decoded bytes tell the kind of the line:
//       '#'              comment
//       '$' 'h' or 'H'   the next lines fill the hiragana section (entries
//                        0-249) from its first entry
//       '$' 'k' or 'K'   the same for the katakana section (entries 250-499)
//       anything else    mapping line: kana text, blanks or tabs, romaji text
//                        (ended by a blank, tab, CR or LF); the rest is
//                        ignored. Both texts have at most 6 bytes: one to
//                        three EUC-JP kana, and romaji in which '*' marks
//                        the doubling of the next consonant.
//   - Lines before the first section line fill the hiragana section.
//   - Reading stops with the 234th entry of a section.
// Entries are tried in table order and the first that fits wins, so a
// sequence of two or three kana has to come before the kana it begins with.

#include <cstdio>
#include <cstring>

#include "romaji/romaji.h"

namespace {

enum class JisMode { kAscii, k0208, k0212 };

bool is_one_of(unsigned char c, const char* set) {
  return c != 0 && std::strchr(set, c) != nullptr;
}

// Splits a mapping line the way strtok(line, " \t") and then
// strtok(nullptr, " \t\r\n") would, without touching the line, and stores
// the two texts in entry. Returns false, storing nothing, when the line has
// no romaji text or a text does not fit its field.
bool store_mapping(const unsigned char* line, RomajiEntry* entry) {
  const unsigned char* p = line;
  while (is_one_of(*p, " \t")) ++p;
  const unsigned char* kana = p;
  while (*p != 0 && !is_one_of(*p, " \t")) ++p;
  size_t kana_length = p - kana;
  if (kana_length == 0 || *p == 0) return false;  // no delimiter: no second token
  ++p;                                            // strtok ends the first token here
  while (is_one_of(*p, " \t\r\n")) ++p;
  const unsigned char* text = p;
  while (*p != 0 && !is_one_of(*p, " \t\r\n")) ++p;
  size_t text_length = p - text;
  // A cut text would spell the wrong romaji or match the wrong kana.
  if (text_length == 0 || kana_length > kFieldSize - 1 || text_length > kFieldSize - 1) {
    return false;
  }
  std::memset(entry, 0, sizeof *entry);
  std::memcpy(entry->kana, kana, kana_length);
  std::memcpy(entry->romaji, text, text_length);
  return true;
}

bool only_blanks(const unsigned char* data, size_t from, size_t end) {
  for (size_t i = from; i < end; ++i) {
    if (!is_one_of(data[i], " \t\r\n")) return false;
  }
  return true;
}

}  // namespace

void decode_jis_line(unsigned char* out, const unsigned char* in, size_t out_size) {
  if (out_size == 0) return;
  out[0] = 0;
  JisMode mode = JisMode::kAscii;
  size_t written_0212 = 0;  // bytes written since ESC $ ( D
  size_t n = 0;
  bool full = false;
  // Writes count bytes (1 or 2) or, once they no longer fit, nothing more at all.
  auto put = [&](unsigned char a, unsigned char b, size_t count) {
    if (full || n + count > out_size - 1) {
      full = true;
      return;
    }
    out[n++] = a;
    if (count == 2) out[n++] = b;
    out[n] = 0;
  };
  for (size_t i = 0; in[i] != 0;) {
    if (in[i] == 0x1B) {
      // && stops at the first byte that differs, so the NUL is never passed.
      if (in[i + 1] == '$' && in[i + 2] == '(' && in[i + 3] == 'D') {
        mode = JisMode::k0212;
        written_0212 = 0;
        i += 4;
        continue;
      }
      if (in[i + 1] == '$' && (in[i + 2] == 'B' || in[i + 2] == '@')) {
        mode = JisMode::k0208;
        i += 3;
        continue;
      }
      if (in[i + 1] == '(' && (in[i + 2] == 'J' || in[i + 2] == 'B')) {
        mode = JisMode::kAscii;
        i += 3;
        continue;
      }
    }
    unsigned char c = in[i++];
    switch (mode) {
      case JisMode::kAscii:
        put(c, 0, 1);
        break;
      case JisMode::k0208:
        put(c | 0x80, 0, 1);
        break;
      case JisMode::k0212:
        // Each pair becomes 0x8F and its two bytes with bit 7 set.
        if (written_0212++ % 2 == 0) {
          // Room for the whole three-byte character, or it is left out.
          if (n + 3 > out_size - 1) full = true;
          put(0x8F, c | 0x80, 2);
        } else {
          put(c | 0x80, 0, 1);
        }
        break;
    }
  }
}

void load_romaji_table() {
  unsigned char* data = renew_block(&romaji.table_file_block, kTableFileBufferSize, true);
  std::memset(romaji.table, 0, sizeof romaji.table);
  std::memset(&romaji.index, 0, sizeof romaji.index);  // the empty table's
  romaji.line_end_count = 0;

  int32_t file = file_open_read(kRomajiTableFile);
  if (file == kFileError) {
    std::printf("Unable to open: %s\n", kRomajiTableFile);
    std::fflush(stdout);
    end_program(1);
  }
  if (data == nullptr) {  // no buffer to read into: the table stays empty
    file_close(file);
    return;
  }
  int32_t got = file_read_at(file, 0, data, kTableFileRead);
  size_t end = got > 0 ? static_cast<size_t>(got) : 0;
  if (end > kTableFileRead) end = kTableFileRead;
  // Whether the file goes on past the bytes read: then a last line without
  // its line feed was cut by the read, and is left out rather than stored
  // half.
  bool file_goes_on = false;
  if (end == kTableFileRead) {
    unsigned char probe;
    file_goes_on = file_read_at(file, kTableFileRead, &probe, 1) == 1;
  }

  int section = 0;  // first entry of the current section
  int n = 0;        // entries of the current section filled
  size_t pos = 0;
  while (pos < end) {
    size_t line_end = pos;
    while (line_end < end && data[line_end] != '\n') ++line_end;
    bool has_line_feed = line_end < end;
    if (!has_line_feed && file_goes_on) break;
    size_t next = has_line_feed ? line_end + 1 : end;
    size_t length = next - pos;

    // A longer line is cut to the raw line's 79 bytes: that still tells a
    // comment or section line, but a cut mapping line is skipped.
    unsigned char raw[kTableLineSize];
    bool too_long = length > kTableLineSize - 1;
    size_t keep = too_long ? kTableLineSize - 1 : length;
    std::memcpy(raw, data + pos, keep);
    raw[keep] = 0;
    pos = next;

    // Room for twice the line: JIS X 0212 pairs grow by half when decoded,
    // so a decoded form longer than 79 bytes is seen, not silently cut.
    unsigned char decoded[2 * kTableLineSize];
    decode_jis_line(decoded, raw, sizeof decoded);
    if (std::strlen(reinterpret_cast<char*>(decoded)) > kTableLineSize - 1) too_long = true;

    if (decoded[0] == '#') {
      // comment
    } else if (decoded[0] == '$' && (decoded[1] == 'h' || decoded[1] == 'H')) {
      section = 0;
      n = 0;
    } else if (decoded[0] == '$' && (decoded[1] == 'k' || decoded[1] == 'K')) {
      section = kKatakanaSection;
      n = 0;
    } else if (!too_long && store_mapping(decoded, &romaji.table[section + n])) {
      ++n;
    }
    if (n == kSectionFill) {
      // The table author is told that lines were left unread.
      if (!only_blanks(data, pos, end) || file_goes_on) {
        console_notice("Too many romaji table entries!\n");
      }
      break;
    }
  }
  file_close(file);
  index_romaji_table();
}

void index_romaji_table() {
  romaji.line_end_count = 0;  // a walk of another table is not taken over
  RomajiIndex& index = romaji.index;
  std::memset(&index, 0, sizeof index);
  // Chained from the last entry to the first, so each chain is in table order.
  for (int e = kRomajiEntries - 1; e >= 0; --e) {
    const RomajiEntry& entry = romaji.table[e];
    const int bucket = romaji_bucket(entry.kana[0], entry.kana[1]);
    index.next[e] = index.first[bucket];
    index.first[bucket] = static_cast<int16_t>(e + 1);
    index.length[e] =
        static_cast<uint8_t>(strnlen(reinterpret_cast<const char*>(entry.romaji), kFieldSize - 1));
  }
}
