// Kanji details: a kanji's meanings, readings, stroke count, school grade,
// frequency and radical, from the kanji dictionary `kanjidic` beside edict.
//
// kanjidic is EUC-JP text, one kanji a line, lines ending in a line feed:
//   KANJI JIS FIELD... READING... [T1 READING...] [T2 READING...] {MEANING}...
// KANJI is the two-byte EUC-JP character, JIS its JIS X 0208 code in four hex
// digits (the EUC-JP bytes less 0x80 each). The fields that follow are
// separated by blanks:
//   U<hex>      Unicode code point        B<n>  radical number
//   G<n>        school grade (1-6 primary school, 8 secondary, 9-10 names)
//   S<n>        stroke count (the first S; later ones are common miscounts)
//   F<n>        frequency rank among the 2,500 most used
//   J<n>        an older proficiency level
//   other letter codes (dictionary numbers, pinyin, ...) are skipped.
// Readings are katakana (on readings) or hiragana (kun readings, "." before
// the okurigana, "-" for an affix). After "T1" the readings are those used in
// names, after "T2" the names of the kanji as a radical. Each meaning is in
// braces and may hold blanks. A line starting with '#' is a comment.
//
// The file is not kept in memory: the first look-up reads it through once and
// keeps a table of (code, offset, length) sorted by code; each later look-up
// is a binary search and one read of the kanji's line. Lines that are damaged
// (no kanji or code, a code that does not match the kanji, a meaning without
// its closing brace, a character cut short, a line over kMaxKanjiLine bytes)
// are left out of the table with a note on the console. A missing kanjidic
// turns the feature off quietly: every look-up finds nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr char kKanjiFile[] = "kanjidic";
// Longest line taken, its line end excluded; real lines are about 500 bytes.
constexpr size_t kMaxKanjiLine = 4096;

// Where one kanji's line lies in the file.
struct KanjiLineRef {
  uint16_t code;    // EUC-JP bytes of the kanji, lead byte high
  uint32_t offset;  // of the line's first byte
  uint32_t length;  // of the line, its line end excluded (<= kMaxKanjiLine)
};

// Program-wide state of the kanji details; one instance, `kanji`.
struct KanjiState {
  bool loaded = false;              // the table was built (or found nothing to build from)
  bool available = false;           // kanjidic was read and holds at least one good line
  std::vector<KanjiLineRef> table;  // sorted by code, one entry per code
  uint32_t skipped = 0;             // damaged lines left out of the table
};

extern KanjiState kanji;

// Back to the start: no table; the next look-up reads kanjidic again (from
// the working directory as it is then).
void reset_kanji();

// The fields of one kanji's line. Texts are EUC-JP, except the meanings
// (ASCII as the file has them). Numbers are 0 when the line lacks the field.
struct KanjiDetails {
  std::string kanji;                       // the character, two bytes
  uint16_t jis = 0;                        // JIS X 0208 code
  uint32_t unicode = 0;                    // U
  int radical = 0;                         // B
  int grade = 0;                           // G
  int strokes = 0;                         // the first S
  int frequency = 0;                       // F
  int level = 0;                           // J
  std::vector<std::string> on_readings;    // katakana
  std::vector<std::string> kun_readings;   // hiragana, "." and "-" as in the file
  std::vector<std::string> name_readings;  // after T1
  std::vector<std::string> meanings;       // without their braces
};

// Parses one line (without its line end; it ends at the end of the view,
// never beyond). Returns false, *out unspecified, when the line is damaged
// as the header above says, or is a comment.
bool parse_kanji_line(std::string_view line, KanjiDetails* out);

// Whether kanjidic could be read and holds any kanji; builds the table on
// the first call.
bool kanji_available();

// The details of the kanji whose EUC-JP bytes are code (0xB4C1 for 漢).
// Returns false when kanjidic is missing or does not hold it.
bool find_kanji(uint16_t code, KanjiDetails* out);

// The kanji of EUC-JP text in the order they first appear, each once: every
// two-byte character of JIS X 0208 rows 16 to 84 (lead bytes 0xB0-0xF4),
// the rows kanjidic covers (the iteration mark 々 is no kanji of its own).
// Ill-formed bytes are stepped over.
std::vector<uint16_t> kanji_in_text(std::string_view euc);

// The first kanji of EUC-JP text, or 0 when it has none.
uint16_t first_kanji(std::string_view euc);

// A readable block of a kanji's details, EUC-JP, every line ending in
// 0x0D 0x0A (the panes' line ends):
//   漢  JIS 3441  U+6F22
//     Meanings:   Sino-; China
//     On:         カン
//     ...
// Lines for fields the kanji lacks are left out.
std::string kanji_block(const KanjiDetails& details);

// The block of a kanji kanjidic lacks: "X  not in the kanji dictionary".
std::string kanji_missing_block(uint16_t code);

// The one-line summary for a status line, EUC-JP: "漢: 13 strokes, grade 3"
// ("..., no grade" when it has none; only the kanji when it lacks both).
std::string kanji_status(const KanjiDetails& details);

// What a grade means: "primary school, year 3", "secondary school", "for
// names", or "" for 0 and unknown grades.
const char* kanji_grade_text(int grade);

// The blocks of every kanji of EUC-JP text (of the first alone when
// first_only), EUC-JP with 0x0D 0x0A line ends, a blank line between
// blocks; a kanji kanjidic lacks is named as such. Empty when the text holds
// no kanji.
std::string kanji_blocks(std::string_view euc, bool first_only);

// The same details as a JSON array (UTF-8), one object a kanji:
//   {"kanji": "漢", "found": true, "jis": "3441", "unicode": "U+6F22",
//    "meanings": [...], "on": [...], "kun": [...], "names": [...],
//    "strokes": 13, "grade": 3, "frequency": 1487, "radical": 85}
// with null for a number the kanji lacks, and {"kanji": "X", "found": false}
// for a kanji the file lacks.
std::string kanji_json_text(std::string_view euc);
