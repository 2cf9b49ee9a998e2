// Helpers shared by the tests: a scratch directory to run in, files written
// from bytes, hand-made indexes, and readable byte dumps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "test_paths.h"

namespace testing_support {

// A fresh directory under the system's temporary folder that becomes the
// working directory while the object lives (the program opens its files
// relative to the working directory). Removed with its files afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Writes bytes to the file at path (relative to the working directory).
void write_file(const std::string& path, std::string_view bytes);

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// An edict.jdx image: word 0 (zero), then each position little-endian.
std::string index_bytes(const std::vector<int32_t>& positions);

// Copies the sample data (edict, edict.jdx, kanarom.cnv) from the build's
// data folder into the working directory.
void copy_sample_data();

// "A4 A2 41" style dump of bytes, for failure messages.
std::string hex(std::string_view bytes);

// Bytes from a UTF-8 literal converted to EUC-JP (through iconv).
std::string euc(std::string_view utf8);

}  // namespace testing_support
