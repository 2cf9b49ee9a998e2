// Fuzzes the transliteration on arbitrary listing text with the sample
// romaji table.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "lookup/lookup.h"
#include "platform/recording.h"
#include "romaji/romaji.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::enter_scratch_dir(true);
  reset_recording();
  static bool loaded = false;
  if (!loaded) {
    load_romaji_table();
    loaded = true;
  }
  // The listing text is at most 40,000 bytes and NUL-terminated.
  size_t n = size < kListingTextSize - 1 ? size : kListingTextSize - 1;
  std::vector<unsigned char> text(data, data + n);
  text.push_back(0);
  fuzz_support::check_romaji_of(text.data());
  return 0;
}
