// Fuzzes the edge conversions between EUC-JP and Unicode that the desktop
// front ends put around the clipboard and the panes: any bytes as EUC-JP,
// UTF-8 and Shift-JIS. A pane's UTF-16 positions must map back to character
// boundaries of the EUC-JP bytes it shows, whatever they are.
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  euc_to_utf8(bytes);
  std::vector<uint32_t> offsets;
  const std::u16string units = euc_to_utf16(bytes, &offsets);
  if (offsets.size() != units.size() + 1 || offsets.back() != bytes.size()) abort();
  for (size_t i = 1; i < offsets.size(); ++i) {
    if (offsets[i] < offsets[i - 1]) abort();
  }
  for (size_t pos = 0; pos <= units.size() + 2; ++pos) {
    if (utf16_to_byte_offset(offsets, pos) > bytes.size()) abort();
  }

  // The same bytes as text from other programs' clipboards.
  bool lossless = false;
  const std::string euc = utf8_to_euc(bytes, &lossless);
  if (euc.find('\0') != std::string::npos && bytes.find('\0') == std::string::npos) abort();
  utf8_to_sjis(bytes);
  utf8_to_jis(bytes);
  sjis_to_utf8(bytes);
  return 0;
}
