// Fuzzes the Shift-JIS and JIS intakes: the first byte picks the decoder, the
// rest is the clipboard text. The kanji buffer must end in two NULs inside its
// 40,000 bytes, whatever the text.
#include <cstdlib>
#include <string>

#include "intake/intake.h"
#include "platform/in_memory.h"
#include "platform/recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool jis = data[0] & 1;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  reset_recording();
  set_clipboard_text(text);
  if (jis) {
    read_clipboard_jis(nullptr);
  } else {
    read_clipboard_sjis(nullptr);
  }
  if (intake.kanji_buffer == nullptr) abort();
  size_t length = 0;
  while (length < kKanjiBufferSize && intake.kanji_buffer[length] != 0) ++length;
  if (length + 2 > kKanjiBufferSize || intake.kanji_buffer[length + 1] != 0) abort();
  for (size_t i = length; i < kKanjiClearSize; ++i) {
    if (intake.kanji_buffer[i] != 0) abort();
  }
  return 0;
}
