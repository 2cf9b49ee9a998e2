// What the romaji tests share: a clean program state in a scratch
// directory, a table file written from UTF-8, and one text transliterated.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "lookup/lookup.h"
#include "platform/recording.h"
#include "romaji/romaji.h"
#include "tests/testing.h"

namespace romaji_test {

inline const Window kMainWindow = reinterpret_cast<Window>(0x1000);

class RomajiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_recording();
    reset_lookup();
    reset_romaji();
  }
  void TearDown() override {
    reset_lookup();
    reset_romaji();
  }

  // Writes kanarom.cnv as the bytes given and loads it.
  void load_bytes(std::string_view bytes) {
    testing_support::write_file("kanarom.cnv", bytes);
    load_romaji_table();
  }
  // The same from UTF-8 lines, converted to EUC-JP.
  void load_table(std::string_view utf8) { load_bytes(testing_support::euc(utf8)); }

  // The romaji buffer made from a listing text of exactly these bytes: the
  // text's block ends with its NUL, so a read past it is caught.
  std::string romanize_bytes(std::string_view bytes) {
    text_.assign(bytes.begin(), bytes.end());
    text_.push_back(0);
    lookup.listing_text = text_.data();
    lookup.listing_text_size = text_.size();
    build_romaji_text(kMainWindow);
    return romaji.romaji_buffer == nullptr ? std::string()
                                           : reinterpret_cast<const char*>(romaji.romaji_buffer);
  }
  std::string romanize(std::string_view utf8) { return romanize_bytes(testing_support::euc(utf8)); }

  std::string entry_kana(int n) { return reinterpret_cast<const char*>(romaji.table[n].kana); }
  std::string entry_romaji(int n) { return reinterpret_cast<const char*>(romaji.table[n].romaji); }

  testing_support::ScratchDir dir_;
  std::vector<unsigned char> text_;
};

}  // namespace romaji_test
