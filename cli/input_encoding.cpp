// Input encodings of the command line: the options, the check, the
// conversion into EUC-JP.
#include "cli/input_encoding.h"

#include <cstdio>
#include <vector>

#include "intake/intake.h"

namespace {

struct EncodingNames {
  TextEncoding encoding;
  const char* option;
  const char* name;
};

constexpr EncodingNames kEncodings[] = {
    {TextEncoding::kUtf8, "--utf8", "UTF-8"},
    {TextEncoding::kEucJp, "--euc", "EUC-JP"},
    {TextEncoding::kShiftJis, "--shift", "Shift-JIS"},
    {TextEncoding::kJis, "--jis", "JIS"},
};

const EncodingNames& names_of(TextEncoding encoding) {
  for (const EncodingNames& e : kEncodings) {
    if (e.encoding == encoding) return e;
  }
  return kEncodings[0];
}

}  // namespace

bool encoding_from_option(std::string_view arg, TextEncoding* encoding) {
  for (const EncodingNames& e : kEncodings) {
    if (arg == e.option) {
      *encoding = e.encoding;
      return true;
    }
  }
  return false;
}

const char* encoding_option(TextEncoding encoding) {
  return names_of(encoding).option;
}

const char* encoding_name(TextEncoding encoding) {
  return names_of(encoding).name;
}

std::string grouped(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

bool check_input_encoding(std::string_view bytes, TextEncoding encoding,
                          const std::string& source) {
  size_t fault = first_invalid_byte(bytes, encoding);
  if (fault != std::string_view::npos) {
    std::fprintf(stderr,
                 "dodevuz: %s is not valid %s text (from byte %s of %s); say which encoding "
                 "it is in with --utf8 (the default), --euc, --shift or --jis\n",
                 source.c_str(), encoding_name(encoding), grouped(fault).c_str(),
                 grouped(bytes.size()).c_str());
    return false;
  }
  // 7-bit JIS is valid ASCII, and so valid in every other encoding, but read
  // as any of them it would show its escape sequences and letters for kanji.
  size_t escape = encoding == TextEncoding::kJis ? std::string_view::npos : first_jis_escape(bytes);
  if (escape != std::string_view::npos) {
    std::fprintf(stderr,
                 "dodevuz: %s holds a JIS escape sequence (at byte %s), not %s text; say which "
                 "encoding it is in with --utf8 (the default), --euc, --shift or --jis\n",
                 source.c_str(), grouped(escape).c_str(), encoding_name(encoding));
    return false;
  }
  return true;
}

bool detect_input_encoding(std::string_view bytes, bool whole, const std::string& source,
                           TextEncoding* encoding) {
  // A line feed is one byte in each of the four encodings and never inside a
  // character: the part up to the last one holds whole characters only.
  if (!whole && bytes.rfind('\n') != std::string_view::npos) {
    bytes = bytes.substr(0, bytes.rfind('\n') + 1);
  }
  const DetectedEncoding found = detect_encoding(bytes);
  if (found.outcome != Detection::kFound) {
    std::fprintf(stderr, "dodevuz: %s %s; say which encoding it is in with --utf8, --euc, "
                 "--shift or --jis\n", source.c_str(), detection_problem(found.outcome));
    return false;
  }
  *encoding = found.encoding;
  return true;
}

std::string text_as_euc(std::string_view bytes, TextEncoding encoding) {
  bool lossless = true;
  std::string euc = text_in_euc(bytes, encoding, &lossless);
  if (!lossless) {
    std::fputs("dodevuz: some characters have no EUC-JP code; they read as \xE3\x80\x93\n",
               stderr);
  }
  return euc;
}
