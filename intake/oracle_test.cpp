// The decoders against decoders they did not come from: every JIS X 0208 code
// through iconv (SHIFT_JIS and ISO-2022-JP to EUC-JP), every half-width
// katakana byte through iconv to Unicode and ICU's compatibility
// normalisation (NFKC) back to full width, and the sample passages against
// their UTF-8 original.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "intake/intake.h"
#include "tests/testing.h"

#ifdef DODEVUZ_HAVE_ICU
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#endif

using testing_support::euc;
using testing_support::hex;
using testing_support::read_file;

namespace {

// Converts with iconv; false when iconv rejects or cannot finish the input.
bool iconv_convert(const char* from, const char* to, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string source = in;
  out->assign(in.size() * 4 + 16, '\0');
  char* inp = source.data();
  char* outp = out->data();
  size_t inleft = source.size(), outleft = out->size();
  size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
  if (r != static_cast<size_t>(-1)) r = iconv(cd, nullptr, nullptr, &outp, &outleft);
  iconv_close(cd);
  out->resize(out->size() - outleft);
  return r != static_cast<size_t>(-1) && inleft == 0;
}

std::string decode(size_t (*convert)(const unsigned char*, size_t, unsigned char*, size_t),
                   const std::string& in) {
  std::string out(kKanjiBufferSize, '\0');
  out.resize(convert(reinterpret_cast<const unsigned char*>(in.data()), in.size(),
                     reinterpret_cast<unsigned char*>(out.data()), out.size()));
  return out;
}

// One JIS X 0208 character in EUC-JP: two bytes from 0xA1 to 0xFE.
bool is_euc_pair(const std::string& s) {
  return s.size() == 2 && static_cast<unsigned char>(s[0]) >= 0xA1 &&
         static_cast<unsigned char>(s[1]) >= 0xA1;
}

}  // namespace

TEST(SjisOracle, EveryJisX0208CodeMatchesIconv) {
  int compared = 0, rejected = 0;
  for (int lead = 0x81; lead <= 0xEF; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      std::string expected;
      if (!iconv_convert("SHIFT_JIS", "EUC-JP", code, &expected) || !is_euc_pair(expected)) {
        ++rejected;
        continue;
      }
      ASSERT_EQ(hex(decode(convert_sjis, code)), hex(expected)) << "Shift-JIS " << hex(code);
      ++compared;
    }
  }
  std::printf("Shift-JIS: %d codes compared with iconv, %d skipped\n", compared, rejected);
  EXPECT_GE(compared, 6879);  // the characters of JIS X 0208
}

TEST(JisOracle, EveryJisX0208PairMatchesIconv) {
  int compared = 0, rejected = 0;
  for (int row = 0x21; row <= 0x7E; ++row) {
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      const std::string code =
          std::string("\x1B$B") + static_cast<char>(row) + static_cast<char>(cell) + "\x1B(B";
      std::string expected;
      if (!iconv_convert("ISO-2022-JP", "EUC-JP", code, &expected) || !is_euc_pair(expected)) {
        ++rejected;
        continue;
      }
      ASSERT_EQ(hex(decode(convert_jis, code)), hex(expected)) << "JIS " << hex(code);
      ++compared;
    }
  }
  std::printf("JIS: %d pairs compared with iconv, %d skipped\n", compared, rejected);
  EXPECT_GE(compared, 6879);
}

#ifdef DODEVUZ_HAVE_ICU
namespace {

// Shift-JIS half-width bytes -> UTF-8 (U+FF61..U+FF9F) -> NFKC (full width,
// a letter and its mark composed where Unicode has the composed letter) ->
// EUC-JP. What EUC-JP cannot hold as one character (a letter with a mark it
// does not take, such as ア with U+3099, or ヷ, which JIS X 0208 lacks) is the
// letter followed by the mark; a mark standing alone is its spacing form, ゛
// or ゜.
std::string fullwidth_via_nfkc(const std::string& sjis_bytes) {
  std::string utf8;
  EXPECT_TRUE(iconv_convert("SHIFT_JIS", "UTF-8", sjis_bytes, &utf8)) << hex(sjis_bytes);
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfkc = unorm2_getNFKCInstance(&status);
  UChar in[16], out[16];
  int32_t in_length = 0, out_length = 0;
  u_strFromUTF8(in, 16, &in_length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  out_length = unorm2_normalize(nfkc, in, in_length, out, 16, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  char composed[64];
  int32_t composed_length = 0;
  u_strToUTF8(composed, sizeof composed, &composed_length, out, out_length, &status);
  std::string result;
  if (iconv_convert("UTF-8", "EUC-JP", std::string(composed, composed_length), &result)) {
    return result;
  }
  // Not one EUC-JP character: the decomposed form (NFKD), each code unit on
  // its own, marks spacing.
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&status);
  out_length = unorm2_normalize(nfkd, in, in_length, out, 16, &status);
  result.clear();
  for (int32_t i = 0; i < out_length; ++i) {
    UChar c = out[i] == 0x3099 ? 0x309B : out[i] == 0x309A ? 0x309C : out[i];
    char one[8];
    int32_t one_length = 0;
    u_strToUTF8(one, sizeof one, &one_length, &c, 1, &status);
    std::string part;
    EXPECT_TRUE(iconv_convert("UTF-8", "EUC-JP", std::string(one, one_length), &part));
    result += part;
  }
  return result;
}

}  // namespace

TEST(HalfwidthOracle, EveryLetterAloneAndWithEachMarkMatchesNfkc) {
  int compared = 0;
  for (int b = 0xA1; b <= 0xDF; ++b) {
    const std::string letter(1, static_cast<char>(b));
    const std::string alone = fullwidth_via_nfkc(letter);
    ASSERT_TRUE(is_euc_pair(alone)) << hex(letter) << " -> " << hex(alone);
    EXPECT_EQ(hex(decode(convert_sjis, letter)), hex(alone)) << hex(letter);
    // Followed by something that is no mark, the letter stays as it is.
    EXPECT_EQ(hex(decode(convert_sjis, letter + "A")), hex(alone + "A")) << hex(letter);
    for (const char* mark : {"\xDE", "\xDF"}) {
      const std::string in = letter + mark;
      EXPECT_EQ(hex(decode(convert_sjis, in)), hex(fullwidth_via_nfkc(in))) << hex(in);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 126);
}
#endif

TEST(SamplePassages, DecodeToTheSameTextAsTheirUtf8Original) {
  const std::string dir = std::string(DODEVUZ_SOURCE_DATA_DIR) + "/samples/";
  const std::string utf8 = read_file(dir + "passage.utf8.txt");
  const std::string shift_jis = read_file(dir + "passage.sjis");
  const std::string jis = read_file(dir + "passage.jis");
  ASSERT_FALSE(utf8.empty());
  ASSERT_FALSE(shift_jis.empty());
  ASSERT_FALSE(jis.empty());
  const std::string expected = euc(utf8);
  EXPECT_EQ(hex(decode(convert_sjis, shift_jis)), hex(expected));
  EXPECT_EQ(hex(decode(convert_jis, jis)), hex(expected));
}

TEST(SamplePassages, EveryPrefixDecodesSafely) {
  // Each prefix lies in a buffer of exactly its size, with no NUL behind it:
  // AddressSanitizer catches any read past the end of the text.
  const std::string dir = std::string(DODEVUZ_SOURCE_DATA_DIR) + "/samples/";
  for (const char* name : {"passage.sjis", "passage.jis"}) {
    const std::string text = read_file(dir + name);
    const auto convert = std::string(name) == "passage.sjis" ? convert_sjis : convert_jis;
    const std::string whole = decode(convert, text);
    for (size_t n = 0; n <= text.size(); ++n) {
      std::vector<unsigned char> prefix(text.begin(), text.begin() + n);
      std::string out(kKanjiBufferSize, '\0');
      size_t length =
          convert(prefix.data(), n, reinterpret_cast<unsigned char*>(out.data()), out.size());
      // What a prefix gives is a prefix of the whole, but for its last
      // character, which may be cut (a lone lead, a letter missing its mark).
      ASSERT_LE(length, whole.size() + 1) << name << " prefix " << n;
      const size_t common = length < 2 ? 0 : length - 2;
      ASSERT_EQ(out.substr(0, common), whole.substr(0, common)) << name << " prefix " << n;
    }
  }
}
