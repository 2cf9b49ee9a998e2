// The edge conversions of convert.h with the C library's iconv.
//
// EUC-JP text is split into characters here (text_units.h), not by iconv, so
// that every undecodable character becomes exactly one U+FFFD and a pane's
// UTF-16 positions map back to the bytes they came from. A well-formed
// character that iconv has no mapping for is one undecodable character.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/convert.h"
#include "platform/text_units.h"

namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char16_t kReplacementUtf16 = 0xFFFD;
constexpr char kGeta[] = "\xA2\xAE";  // EUC-JP mark for a character it cannot hold

// One iconv descriptor for the life of a call.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts in whole; appends to *out. Returns false, leaving *out as it
  // was, when iconv rejects any byte of it.
  bool convert(std::string_view in, std::string* out) {
    if (!ok()) return false;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* inp = const_cast<char*>(in.data());
    size_t inleft = in.size();
    size_t start = out->size();
    for (;;) {
      char* outp = buffer;
      size_t outleft = sizeof buffer;
      size_t r = iconv(cd_, &inp, &inleft, &outp, &outleft);
      out->append(buffer, static_cast<size_t>(outp - buffer));
      if (r != static_cast<size_t>(-1) && inleft == 0) break;
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        out->resize(start);
        return false;
      }
    }
    return flush(out);
  }

  // Converts as much of *in as converts and stops at the first byte iconv
  // rejects; *in is left pointing there. Returns the errno of the stop
  // (EILSEQ or EINVAL), or 0 when everything converted. The shift state is
  // kept, so a stateful encoding can go on after the caller's repair.
  int convert_prefix(std::string_view* in, std::string* out) {
    char buffer[4096];
    char* inp = const_cast<char*>(in->data());
    size_t inleft = in->size();
    int stop = 0;
    while (inleft > 0) {
      char* outp = buffer;
      size_t outleft = sizeof buffer;
      size_t r = iconv(cd_, &inp, &inleft, &outp, &outleft);
      out->append(buffer, static_cast<size_t>(outp - buffer));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        stop = errno;
        break;
      }
    }
    *in = std::string_view(inp, inleft);
    return stop;
  }

  // Writes what brings a stateful encoding back to its initial state.
  bool flush(std::string* out) {
    char buffer[16];
    char* outp = buffer;
    size_t outleft = sizeof buffer;
    size_t r = iconv(cd_, nullptr, nullptr, &outp, &outleft);
    out->append(buffer, static_cast<size_t>(outp - buffer));
    return r != static_cast<size_t>(-1);
  }

 private:
  iconv_t cd_;
};

// The Microsoft form of EUC-JP (NEC row 13, the IBM kanji), for the codes
// the standard table has no character for; opened only when one turns up,
// so ordinary text loads nothing more.
class VendorTable {
 public:
  explicit VendorTable(const char* to) : to_(to) {}
  Converter& get() {
    if (!cd_) cd_ = std::make_unique<Converter>(to_, "EUC-JP-MS");
    return *cd_;
  }

 private:
  const char* to_;
  std::unique_ptr<Converter> cd_;
};

// Converts text of a multi-byte encoding to UTF-8; each stretch iconv
// rejects becomes one U+FFFD. char_length gives the length of the
// (undecodable) character at the start of what remains.
std::string to_utf8_replacing(const char* from, std::string_view in,
                              size_t (*char_length)(std::string_view)) {
  std::string out;
  out.reserve(in.size() * 3 / 2 + 4);
  Converter cd("UTF-8", from);
  if (!cd.ok()) return out;
  while (!in.empty()) {
    if (cd.convert_prefix(&in, &out) == 0) break;
    out += kReplacementUtf8;
    in.remove_prefix(char_length(in));
  }
  return out;
}

// The Shift-JIS character at the start of s: lead bytes 0x81-0x9F and
// 0xE0-0xFC take a trail byte 0x40-0x7E or 0x80-0xFC.
size_t sjis_char_length(std::string_view s) {
  unsigned char lead = static_cast<unsigned char>(s[0]);
  bool two = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
  if (!two || s.size() < 2) return 1;
  unsigned char trail = static_cast<unsigned char>(s[1]);
  return (trail >= 0x40 && trail <= 0xFC && trail != 0x7F) ? 2 : 1;
}

// UTF-8 into an encoding of a Japanese code page; each character that does
// not convert becomes `replacement`. Stateful encodings (ISO-2022-JP) are
// returned to ASCII before the replacement is written.
std::string from_utf8_replacing(const char* to, std::string_view in, std::string_view replacement,
                                bool* lossless, const char* fallback = nullptr) {
  std::string out;
  out.reserve(in.size() + 8);
  bool all = true;
  Converter cd(to, "UTF-8");
  if (cd.ok()) {
    while (!in.empty()) {
      if (cd.convert_prefix(&in, &out) == 0) break;
      size_t length = utf8_char_length(in);
      bool repaired = false;
      if (fallback != nullptr && length > 1) {
        // A character of a vendor's extension of the code set (the full-width
        // tilde, minus sign and the like of Windows text) has a place there.
        Converter alternative(fallback, "UTF-8");
        repaired = alternative.convert(in.substr(0, length), &out);
      }
      if (!repaired) {
        cd.flush(&out);
        out += replacement;
        all = false;
      }
      in.remove_prefix(length);
    }
    cd.flush(&out);
  } else {
    all = false;
  }
  if (lossless != nullptr) *lossless = all;
  return out;
}

// Appends UTF-16LE bytes to a UTF-16 string.
void append_utf16le(std::string_view bytes, std::u16string* out) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
}

}  // namespace

namespace {

// The UTF-8 of one well-formed EUC-JP character: iconv's, else the vendor
// table's, else U+FFFD.
void character_to_utf8(std::string_view one, Converter& cd, VendorTable& vendor, std::string* out) {
  if (!cd.convert(one, out) && !vendor.get().convert(one, out)) *out += kReplacementUtf8;
}

// The UTF-8 that character_to_utf8 gave for each two-byte code (lead and
// trail 0xA1-0xFE) the first time it came, so that iconv is asked once per
// character rather than for every occurrence: a listing repeats the same
// few thousand characters millions of times. Per thread, as the server
// converts on several.
struct CodeUtf8 {
  uint8_t length;  // bytes in utf8; 0 while the code has not come yet
  char utf8[7];
};
constexpr int kCells = 94;  // 0xA1-0xFE
thread_local CodeUtf8 two_byte_utf8[kCells * kCells];

bool ascii_only(const char* eight) {
  uint64_t word;
  std::memcpy(&word, eight, sizeof word);
  return (word & 0x8080808080808080u) == 0;
}

}  // namespace

std::string euc_to_utf8(std::string_view euc) {
  std::string out;
  out.reserve(euc.size() * 3 / 2 + 4);
  std::unique_ptr<Converter> cd;  // opened when a character is new
  auto converter = [&]() -> Converter& {
    if (!cd) cd = std::make_unique<Converter>("UTF-8", "EUC-JP");
    return *cd;
  };
  VendorTable vendor("UTF-8");
  const char* const text = euc.data();
  const size_t size = euc.size();
  size_t at = 0;
  while (at < size) {
    // ASCII (most of a listing) passes through in stretches.
    size_t end = at;
    while (end + 8 <= size && ascii_only(text + end)) end += 8;
    while (end < size && static_cast<unsigned char>(text[end]) < 0x80) ++end;
    out.append(text + at, end - at);
    at = end;
    if (at == size) break;
    const auto lead = static_cast<unsigned char>(text[at]);
    const auto trail = at + 1 < size ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (lead >= 0xA1 && lead <= 0xFE && trail >= 0xA1 && trail <= 0xFE) {
      CodeUtf8& code = two_byte_utf8[(lead - 0xA1) * kCells + (trail - 0xA1)];
      if (code.length == 0) {
        std::string one;
        character_to_utf8(euc.substr(at, 2), converter(), vendor, &one);
        if (one.size() > sizeof code.utf8) {  // not expected of any code; not kept
          out += one;
          at += 2;
          continue;
        }
        std::memcpy(code.utf8, one.data(), one.size());
        code.length = static_cast<uint8_t>(one.size());
      }
      out.append(code.utf8, code.length);
      at += 2;
      continue;
    }
    // Half-width kana, JIS X 0212 and undecodable bytes, one at a time.
    bool well_formed;
    const size_t length = euc_char_length(euc.substr(at), &well_formed);
    if (well_formed) {
      character_to_utf8(euc.substr(at, length), converter(), vendor, &out);
    } else {
      out += kReplacementUtf8;
    }
    at += length;
  }
  return out;
}

namespace {

// The EUC-JP that utf8_to_euc gives for each character of U+3000-U+9FFF
// (punctuation, kana, kanji) and U+FF00-U+FFEF (full-width forms) the first
// time it comes, so that iconv is asked once per character rather than for
// every occurrence, as euc_to_utf8 keeps its answers. Per thread, as the
// server converts on several.
struct CodeEuc {
  uint8_t length;  // bytes in euc; 0 while the character has not come yet
  bool lossless;   // false when euc is the geta mark
  char euc[3];     // three bytes for a JIS X 0212 code, else two
};
constexpr uint32_t kWideFirst = 0x3000, kWideEnd = 0xA000;
constexpr uint32_t kFormsFirst = 0xFF00, kFormsEnd = 0xFFF0;
constexpr size_t kCachedCodes = (kWideEnd - kWideFirst) + (kFormsEnd - kFormsFirst);
thread_local CodeEuc code_euc[kCachedCodes];

// The place of the well-formed three-byte character at p in code_euc, or -1.
long cached_code(const unsigned char* p, size_t available) {
  if (available < 3 || (p[0] & 0xF0) != 0xE0 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) {
    return -1;
  }
  const uint32_t code =
      (uint32_t{p[0] & 0x0Fu} << 12) | (uint32_t{p[1] & 0x3Fu} << 6) | (p[2] & 0x3Fu);
  if (code >= kWideFirst && code < kWideEnd) return static_cast<long>(code - kWideFirst);
  if (code >= kFormsFirst && code < kFormsEnd) {
    return static_cast<long>(kWideEnd - kWideFirst + code - kFormsFirst);
  }
  return -1;
}

}  // namespace

std::string utf8_to_euc(std::string_view utf8, bool* lossless) {
  std::string out;
  out.reserve(utf8.size() + 8);
  bool all = true;
  const auto* text = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  size_t at = 0;
  while (at < size) {
    // ASCII and the characters kept above go at once; the rest, up to the
    // next of them, through iconv as a whole. Such a stretch never ends
    // inside a character: it stops only where ASCII or a well-formed
    // character begins, and neither is ever part of a malformed one.
    if (text[at] < 0x80) {
      out.push_back(static_cast<char>(text[at++]));
      continue;
    }
    if (const long place = cached_code(text + at, size - at); place >= 0) {
      CodeEuc& code = code_euc[place];
      if (code.length == 0) {
        bool converted = true;
        const std::string one =
            from_utf8_replacing("EUC-JP", utf8.substr(at, 3), kGeta, &converted, "EUC-JP-MS");
        if (one.empty() || one.size() > 3) {  // not expected of any code; not kept
          out += one;
          all = all && converted;
          at += 3;
          continue;
        }
        std::memcpy(code.euc, one.data(), one.size());
        code.lossless = converted;
        code.length = static_cast<uint8_t>(one.size());
      }
      out.append(code.euc, code.length);
      all = all && code.lossless;
      at += 3;
      continue;
    }
    size_t end = at + 1;
    while (end < size && text[end] >= 0x80 && cached_code(text + end, size - end) < 0) ++end;
    bool converted = true;
    out += from_utf8_replacing("EUC-JP", utf8.substr(at, end - at), kGeta, &converted, "EUC-JP-MS");
    all = all && converted;
    at = end;
  }
  if (lossless != nullptr) *lossless = all;
  return out;
}

std::u16string euc_to_utf16(std::string_view euc, std::vector<uint32_t>* byte_offsets) {
  std::u16string out;
  out.reserve(euc.size() + 1);
  if (byte_offsets != nullptr) {
    byte_offsets->clear();
    byte_offsets->reserve(euc.size() + 1);
  }
  Converter cd("UTF-16LE", "EUC-JP");
  VendorTable vendor("UTF-16LE");
  std::string units;
  size_t offset = 0;
  std::string_view rest = euc;
  while (!rest.empty()) {
    bool well_formed;
    size_t length = euc_char_length(rest, &well_formed);
    size_t before = out.size();
    unsigned char c = static_cast<unsigned char>(rest[0]);
    if (c < 0x80) {
      out.push_back(c);
    } else {
      units.clear();
      std::string_view one = rest.substr(0, length);
      if (well_formed && (cd.convert(one, &units) || vendor.get().convert(one, &units))) {
        append_utf16le(units, &out);
      }
      if (out.size() == before) out.push_back(kReplacementUtf16);
    }
    if (byte_offsets != nullptr) {
      byte_offsets->insert(byte_offsets->end(), out.size() - before, static_cast<uint32_t>(offset));
    }
    rest.remove_prefix(length);
    offset += length;
  }
  if (byte_offsets != nullptr) byte_offsets->push_back(static_cast<uint32_t>(euc.size()));
  return out;
}

std::string utf8_to_sjis(std::string_view utf8) {
  return sjis_without_extensions(from_utf8_replacing("CP932", utf8, "?", nullptr));
}

std::string utf8_to_jis(std::string_view utf8) {
  // Through the Shift-JIS of the other Get, so that both give the reader the
  // same characters.
  return sjis_to_seven_bit_jis(utf8_to_sjis(utf8));
}

std::string sjis_to_utf8(std::string_view sjis) {
  return to_utf8_replacing("CP932", sjis, sjis_char_length);
}

namespace {

// Whether a text of ASCII and two-byte codes (lead and trail 0xA1-0xFE) is
// valid EUC-JP, as first_invalid_byte's conversions would find it: all of it
// converts in one of the two charsets. Which of them converts each code is
// asked of iconv the first time the code comes and kept. False for any other
// text (the conversions then decide).
constexpr uint8_t kAsked = 4, kInMs = 1, kInStandard = 2;
thread_local uint8_t two_byte_valid[kCells * kCells];
thread_local uint8_t ascii_valid[0x80];

uint8_t charsets_converting(std::string_view one) {
  uint8_t found = kAsked;
  for (auto [charset, bit] : {std::pair{"EUC-JP-MS", kInMs}, std::pair{"EUC-JP", kInStandard}}) {
    Converter cd("UTF-8", charset);
    std::string out;
    if (cd.ok() && cd.convert(one, &out)) found |= bit;
  }
  return found;
}

bool euc_valid_by_codes(std::string_view bytes) {
  uint8_t all = kInMs | kInStandard;
  const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 0; at < bytes.size() && all != 0;) {
    const unsigned char lead = text[at];
    uint8_t* known;
    size_t length;
    if (lead < 0x80) {
      known = &ascii_valid[lead];
      length = 1;
    } else if (lead >= 0xA1 && lead <= 0xFE && at + 1 < bytes.size() && text[at + 1] >= 0xA1 &&
               text[at + 1] <= 0xFE) {
      known = &two_byte_valid[(lead - 0xA1) * kCells + (text[at + 1] - 0xA1)];
      length = 2;
    } else {
      return false;
    }
    if (*known == 0) *known = charsets_converting(bytes.substr(at, length));
    all &= *known;
    at += length;
  }
  return all != 0;
}

// The first byte that none of the encoding's charsets converts, or npos.
size_t first_unconverted_byte(std::string_view bytes, TextEncoding encoding) {
  if (encoding == TextEncoding::kEucJp && euc_valid_by_codes(bytes)) {
    return std::string_view::npos;
  }
  // Text is valid when one of the charsets of its encoding converts all of
  // it; the variants differ in their vendor and supplementary characters.
  const char* charsets[3] = {};
  switch (encoding) {
    case TextEncoding::kUtf8:
      charsets[0] = "UTF-8";
      break;
    case TextEncoding::kEucJp:
      charsets[0] = "EUC-JP-MS", charsets[1] = "EUC-JP";
      break;
    case TextEncoding::kShiftJis:
      charsets[0] = "CP932", charsets[1] = "SHIFT_JISX0213";
      break;
    case TextEncoding::kJis:
      charsets[0] = "ISO-2022-JP-2", charsets[1] = "ISO-2022-JP-3";
      break;
  }
  size_t furthest = 0;
  for (const char* charset : charsets) {
    if (charset == nullptr) break;
    Converter cd("UTF-8", charset);
    if (!cd.ok()) continue;
    std::string_view rest = bytes;
    std::string out;
    // EINVAL: a character cut off at the end.
    int stop = cd.convert_prefix(&rest, &out);
    if (stop == 0 && cd.flush(&out)) return std::string_view::npos;
    furthest = std::max(furthest, bytes.size() - rest.size());
  }
  return furthest;
}

}  // namespace

size_t first_invalid_byte(std::string_view bytes, TextEncoding encoding) {
  const size_t fault = first_unconverted_byte(bytes, encoding);
  // The charsets take the C1 bytes for control characters; EUC-JP has none.
  return encoding == TextEncoding::kEucJp ? std::min(fault, first_c1_byte(bytes)) : fault;
}
