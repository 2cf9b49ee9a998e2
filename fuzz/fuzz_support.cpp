// What the fuzz targets share.
#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz_support {

namespace fs = std::filesystem;

namespace {

char scratch[] = "/tmp/dodevuz-fuzz-XXXXXX";

// The scratch directory goes when the fuzzer exits (a crash leaves it).
void remove_scratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace

void enter_scratch_dir(bool with_sample_data) {
  static bool done = false;
  if (done) return;
  done = true;
  char* pattern = scratch;
  if (mkdtemp(pattern) == nullptr) abort();
  std::atexit(remove_scratch);
  if (with_sample_data) {
    const char* from = getenv("DODEVUZ_FUZZ_DATA");
    fs::path data = from ? from : DODEVUZ_DEFAULT_FUZZ_DATA;
    for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
      fs::copy_file(data / name, fs::path(pattern) / name, fs::copy_options::overwrite_existing);
    }
  }
  if (chdir(pattern) != 0) abort();
}

void write_bytes(const char* name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name, "wb");
  if (f == nullptr) abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

}  // namespace fuzz_support
