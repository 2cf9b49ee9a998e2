// Hand-made dictionaries for the lookup engine's tests: lines written to
// edict in the scratch directory, an index over chosen positions sorted in
// the folding order, and the store opened over them.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "lookup/lookup.h"
#include "platform/recording.h"
#include "store/store.h"
#include "tests/testing.h"

namespace test_dictionary {

// The text from a 1-based position up to and including its line end, folded
// as the index is ordered: katakana's first byte 0xA5 as 0xA4 at even
// offsets, A-Z as a-z everywhere. Written apart from compare_key, as the
// oracle the search is checked against.
inline std::string folded_line(const std::string& text, int32_t position) {
  std::string out;
  for (size_t i = 0; position - 1 + i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[position - 1 + i]);
    if (i % 2 == 0 && c == 0xA5) c = 0xA4;
    if (c >= 'A' && c <= 'Z') c += 0x20;
    out.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return out;
}

// Positions sorted by their folded lines (ties by position).
inline void sort_positions(const std::string& text, std::vector<int32_t>* positions) {
  std::stable_sort(positions->begin(), positions->end(), [&](int32_t a, int32_t b) {
    const std::string fa = folded_line(text, a), fb = folded_line(text, b);
    const auto ua = std::basic_string<unsigned char>(fa.begin(), fa.end());
    const auto ub = std::basic_string<unsigned char>(fb.begin(), fb.end());
    return ua < ub;
  });
}

// The 1-based positions of every line's first byte.
inline std::vector<int32_t> line_starts(const std::string& text) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 0 || text[i - 1] == '\n') out.push_back(static_cast<int32_t>(i + 1));
  }
  return out;
}

// The positions of every character of every line (EUC-JP: two bytes from
// 0xA1 up, one below), the way an index of words inside lines is made.
inline std::vector<int32_t> character_starts(const std::string& text) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != '\n') out.push_back(static_cast<int32_t>(i + 1));
    i += c >= 0xA1 ? 2 : 1;
  }
  return out;
}

// Writes edict and an index of the given positions (sorted here), opens the
// store and returns the sorted positions: entry k is element k - 1.
inline std::vector<int32_t> open_dictionary_with(const std::string& text,
                                                 std::vector<int32_t> positions) {
  sort_positions(text, &positions);
  testing_support::write_file("edict", text);
  testing_support::write_file("edict.jdx", testing_support::index_bytes(positions));
  open_dictionaries(nullptr);
  return positions;
}

// Writes a further dictionary (text and an index of every line's start and
// every character, sorted here) under the given file name, e.g. "enamdict";
// the store opens it with the next open_dictionaries.
inline void write_dictionary(const std::string& name, const std::string& text) {
  std::vector<int32_t> positions = character_starts(text);
  sort_positions(text, &positions);
  testing_support::write_file(name, text);
  testing_support::write_file(name + ".jdx", testing_support::index_bytes(positions));
}

// Joins lines, each ended by a line end.
inline std::string lines(const std::vector<std::string>& each) {
  std::string out;
  for (const std::string& line : each) out += line + "\n";
  return out;
}

inline std::string entry_line() {
  return reinterpret_cast<const char*>(lookup.entry_line);
}

inline void set_key(const std::string& key) {
  std::fill(std::begin(lookup.search_key), std::end(lookup.search_key), 0);
  std::copy(key.begin(), key.end(), lookup.search_key);
}

}  // namespace test_dictionary
