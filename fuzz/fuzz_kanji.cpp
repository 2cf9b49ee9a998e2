// Fuzzes the kanji dictionary: the input is a kanjidic whose lines go to the
// line parser one by one (each a copy of exactly its bytes, so a read past a
// line's end is seen) and then through the table as a file, with look-ups of
// every kanji it names and of the input's own bytes as a text.
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "kanji/kanji.h"
#include "platform/recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::enter_scratch_dir(false);
  reset_recording();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string line(bytes.substr(at, end - at));
    KanjiDetails details;
    if (parse_kanji_line(line, &details) && details.kanji.size() != 2) abort();
    at = end + 1;
  }

  fuzz_support::write_bytes(kKanjiFile, data, size);
  reset_kanji();
  for (uint16_t code : kanji_in_text(bytes)) {
    KanjiDetails details;
    if (find_kanji(code, &details)) {
      const std::string block = kanji_block(details);
      if (block.compare(0, 2, details.kanji) != 0) abort();
      kanji_status(details);
    }
  }
  // Every line in the table lies inside the file and is within the bound.
  for (const KanjiLineRef& ref : kanji.table) {
    if (ref.length > kMaxKanjiLine || ref.offset > size || ref.length > size - ref.offset) abort();
  }
  kanji_json_text(bytes.substr(0, 512));
  reset_kanji();
  return 0;
}
