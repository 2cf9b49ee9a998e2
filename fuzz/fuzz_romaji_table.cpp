// Fuzzes the romaji table loader and its JIS line decoder on arbitrary table
// files, then transliterates a fixed text of every kind of kana with the
// table that came out.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "lookup/lookup.h"
#include "platform/recording.h"
#include "romaji/romaji.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::enter_scratch_dir(false);
  reset_recording();

  // The decoder alone, on the first line of the input.
  unsigned char line[kTableLineSize] = {};
  size_t n = size < kTableLineSize - 1 ? size : kTableLineSize - 1;
  std::memcpy(line, data, n);
  unsigned char out[kTableLineSize];
  decode_jis_line(out, line);
  if (std::memchr(out, 0, sizeof out) == nullptr) abort();

  // The loader on the whole input as kanarom.cnv.
  fuzz_support::write_bytes(kRomajiTableFile, data, size);
  load_romaji_table();
  for (const RomajiEntry& e : romaji.table) {
    if (std::memchr(e.kana, 0, kFieldSize) == nullptr) abort();
    if (std::memchr(e.romaji, 0, kFieldSize) == nullptr) abort();
  }

  // hiragana ka, small tsu, katakana ka, long vowel mark, ASCII, a kanji.
  static unsigned char text[] = {0xA4, 0xAB, 0xA4, 0xC3, 0xA5, 0xAB, 0xA1,
                                 0xBC, '.',  0xB0, 0xA1, 0x0D, 0x0A, 0x00};
  fuzz_support::check_romaji_of(text);
  return 0;
}
