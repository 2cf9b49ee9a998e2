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

size_t first_jis_escape(std::string_view bytes) {
  // ESC $ designates a two-byte set (JIS X 0208, 0212); ESC ( I and ESC ( J
  // the half-width katakana and JIS Roman. ESC ( B alone, back to ASCII,
  // is left out: terminals' reset sequences hold it too.
  for (size_t at = bytes.find('\x1B'); at != std::string_view::npos;
       at = bytes.find('\x1B', at + 1)) {
    if (at + 2 >= bytes.size()) break;
    char next = bytes[at + 1], last = bytes[at + 2];
    if (next == '$' || (next == '(' && (last == 'I' || last == 'J'))) return at;
  }
  return std::string_view::npos;
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

std::string text_as_euc(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kEucJp:
      return std::string(bytes);
    case TextEncoding::kUtf8: {
      bool lossless = true;
      std::string euc = utf8_to_euc(bytes, &lossless);
      if (!lossless) {
        std::fputs("dodevuz: some characters have no EUC-JP code; they read as \xE3\x80\x93\n",
                   stderr);
      }
      return euc;
    }
    case TextEncoding::kShiftJis:
    case TextEncoding::kJis:
      break;
  }
  std::string_view text = bytes.substr(0, bytes.find('\0'));
  // A half-width katakana byte of Shift-JIS becomes two bytes; JIS never
  // grows. Room for the intake's two NULs besides.
  std::vector<unsigned char> out(2 * text.size() + 2);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  size_t length = encoding == TextEncoding::kJis
                      ? convert_jis(in, text.size(), out.data(), out.size())
                      : convert_sjis(in, text.size(), out.data(), out.size());
  std::string euc(reinterpret_cast<const char*>(out.data()), length);
  euc.append(bytes.substr(text.size()));
  return euc;
}
