// Fuzzes the whole Get chain on an arbitrary passage against the sample
// dictionary: the first byte picks the intake, the rest is the clipboard text.
// Then "Single Dodevuz" on a selection of the listing pane and "Copy".
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "lookup/lookup.h"
#include "platform/in_memory.h"
#include "platform/recording.h"
#include "romaji/romaji.h"
#include "shell/shell.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  fuzz_support::enter_scratch_dir(true);
  reset_recording();
  set_clipboard_text(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  Window main = reinterpret_cast<Window>(1);
  dispatch_command(main, (data[0] & 1) ? kCmdGetJis : kCmdGetShift);

  // The listing stays inside its buffer, and the listing pane shows all of
  // it with CR LF line ends; the romaji stays inside its buffer.
  if (lookup.listing_buffer == nullptr) abort();
  const void* nul = std::memchr(lookup.listing_buffer, 0, kListingBufferSize);
  if (nul == nullptr) abort();
  std::string expected;
  for (const unsigned char* p = lookup.listing_buffer; p != nul; ++p) {
    if (*p == 0x0A) expected += '\r';
    expected += static_cast<char>(*p);
  }
  PaneRecord* pane = living_pane_at(kListingPaneY);
  if (pane == nullptr || pane->text != expected) abort();
  if (romaji.romaji_buffer == nullptr ||
      std::memchr(romaji.romaji_buffer, 0, kRomajiBufferSize) == nullptr) {
    abort();
  }

  // Select a stretch of the listing pane picked by the input, look it up, copy it.
  if (PaneRecord* listing = living_pane_at(kListingPaneY)) {
    uint32_t start = size > 1 ? data[1] : 0;
    listing->sel_start = start;
    listing->sel_end = start + (data[0] >> 1);
    dispatch_command(main, kCmdSingle);
    desktop.focus = listing;
    dispatch_command(main, kCmdCopy);
  }
  dispatch_command(main, kCmdClearAll);
  return 0;
}
