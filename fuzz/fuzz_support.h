// What the fuzz targets share: a scratch working directory made once per
// process, with the sample data in it, and the check of a romaji walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lookup/lookup.h"
#include "romaji/romaji.h"

namespace fuzz_support {

// Makes a fresh directory under /tmp the working directory (once per process)
// and copies the sample data (edict, edict.jdx, kanarom.cnv) from the folder
// named by DODEVUZ_FUZZ_DATA (the build's data folder by default) into it.
void enter_scratch_dir(bool with_sample_data);

// Writes bytes to a file in the working directory.
void write_bytes(const char* name, const uint8_t* data, size_t size);

// Transliterates text (NUL-terminated) as the romaji pane's listing text and
// stops the run unless a NUL-terminated romaji buffer comes out. Inline: the
// targets link the romaji code, this support library does not.
inline void check_romaji_of(unsigned char* text) {
  lookup.listing_text = text;
  build_romaji_text(nullptr);
  lookup.listing_text = nullptr;
  if (romaji.romaji_buffer == nullptr ||
      std::memchr(romaji.romaji_buffer, 0, kRomajiBufferSize) == nullptr) {
    abort();
  }
}

}  // namespace fuzz_support
