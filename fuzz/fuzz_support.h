// What the fuzz targets share: a scratch working directory made once per
// process, with the sample data in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_support {

// Makes a fresh directory under /tmp the working directory (once per process)
// and copies the sample data (edict, edict.jdx, kanarom.cnv) from the folder
// named by DODEVUZ_FUZZ_DATA (the build's data folder by default) into it.
void enter_scratch_dir(bool with_sample_data);

// Writes bytes to a file in the working directory.
void write_bytes(const char* name, const uint8_t* data, size_t size);

}  // namespace fuzz_support
