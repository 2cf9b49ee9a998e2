// Helpers shared by the tests.
#include "tests/testing.h"

#include <iconv.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  previous_ = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "dodevuz-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string index_bytes(const std::vector<int32_t>& positions) {
  std::string out(4, '\0');
  for (int32_t p : positions) {
    uint32_t u = static_cast<uint32_t>(p);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
  }
  return out;
}

void copy_sample_data() {
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
    fs::copy_file(fs::path(DODEVUZ_DATA_DIR) / name, name, fs::copy_options::overwrite_existing);
  }
}

std::string hex(std::string_view bytes) {
  std::string out;
  char cell[4];
  for (unsigned char c : bytes) {
    std::snprintf(cell, sizeof cell, "%02X", c);
    if (!out.empty()) out.push_back(' ');
    out += cell;
  }
  return out;
}

std::string euc(std::string_view utf8) {
  iconv_t cd = iconv_open("EUC-JP", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string in(utf8), out(utf8.size() * 2 + 8, '\0');
  char* inp = in.data();
  char* outp = out.data();
  size_t inleft = in.size(), outleft = out.size();
  size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) throw std::runtime_error("not convertible to EUC-JP");
  out.resize(out.size() - outleft);
  return out;
}

}  // namespace testing_support
