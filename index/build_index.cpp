// The index builder. It may hold the whole text in memory (the program that
// searches the index never does): the text, two folded copies of it and 16
// bytes per entry, about 110 MB for the full dictionary.
#include "index/build_index.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/convert.h"
#include "platform/text_units.h"

namespace {

constexpr unsigned char kLineEnd = 0x0A;

bool is_letter(unsigned char b) {
  return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// Characters that the listing looks up rather than copies: not ASCII, not a
// row-1 symbol, not hiragana or katakana.
bool looked_up(unsigned char lead) {
  return lead >= 0x80 && lead != 0xA1 && lead != 0xA4 && lead != 0xA5;
}

// The text as the comparison reads it, in two copies: copy[k] has A-Z as a-z
// everywhere and 0xA5 as 0xA4 at file offsets of parity k. An entry at file
// offset o compares copy[o % 2] from o on, so its katakana fold falls on the
// even offsets from its own position. Each copy is followed by kOrderSpan
// line ends, which is what positions past the text read as.
struct FoldedText {
  std::vector<unsigned char> copy[2];
};

FoldedText fold_text(std::string_view text) {
  FoldedText f;
  for (int parity = 0; parity < 2; ++parity) {
    std::vector<unsigned char>& c = f.copy[parity];
    c.assign(text.size() + kOrderSpan, kLineEnd);
    for (size_t i = 0; i < text.size(); ++i) {
      unsigned char b = static_cast<unsigned char>(text[i]);
      if (b >= 'A' && b <= 'Z') {
        b += 0x20;
      } else if (b == 0xA5 && i % 2 == static_cast<size_t>(parity)) {
        b = 0xA4;
      }
      c[i] = b;
    }
  }
  return f;
}

// The first folded byte of the entry at position p.
const unsigned char* folded_at(const FoldedText& f, int32_t position) {
  size_t offset = static_cast<size_t>(position) - 1;
  return f.copy[offset % 2].data() + offset;
}

int compare_folded(const FoldedText& f, int32_t a, int32_t b) {
  return std::memcmp(folded_at(f, a), folded_at(f, b), kOrderSpan);
}

// A sort item: the first 8 folded bytes as a big-endian number, so that most
// comparisons never touch the text.
struct Keyed {
  uint64_t prefix;
  int32_t position;
};

std::string describe_errno(const std::string& what, const char* path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool read_whole(const char* path, std::string* bytes, std::string* error) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) {
    *error = describe_errno("cannot open", path);
    return false;
  }
  bytes->clear();
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes->append(chunk, got);
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    *error = describe_errno("cannot read", path);
    return false;
  }
  return true;
}

}  // namespace

bool check_text(std::string_view text, std::string* error) {
  if (text.size() > kMaxTextSize) {
    *error = "the dictionary has " + std::to_string(text.size()) +
             " bytes, too many for 32-bit positions";
    return false;
  }
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    // The lookup takes a NUL in the text as the end of a match, so no order
    // of the index could serve the lines around it.
    *error = "the dictionary holds a NUL byte at position " + std::to_string(nul + 1);
    return false;
  }
  if (!text.empty() && static_cast<unsigned char>(text.back()) != kLineEnd) {
    *error = "the dictionary's last line has no line end (0x0A)";
    return false;
  }
  return true;
}

std::vector<int32_t> index_positions(std::string_view text, IndexStats* stats) {
  IndexStats local;
  IndexStats& s = stats != nullptr ? *stats : local;
  s = IndexStats{};
  s.text_bytes = text.size();
  std::vector<int32_t> out;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  auto add = [&](size_t offset, uint32_t& counter) {
    out.push_back(static_cast<int32_t>(offset + 1));
    ++counter;
  };

  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(static_cast<char>(kLineEnd), start);
    if (end == std::string_view::npos) end = text.size();
    ++s.lines;
    size_t line_start = start;
    start = end + 1;

    // Headword: up to the first blank.
    size_t head_end = line_start;
    while (head_end < end && byte(head_end) != ' ') ++head_end;
    bool header =
        head_end - line_start >= 2 && byte(line_start) == 0xA1 && byte(line_start + 1) == 0xA1;
    if (head_end == line_start || header) {
      ++s.skipped_lines;
      continue;
    }
    add(line_start, s.headwords);
    for (size_t i = line_start + euc_lead_length(byte(line_start)); i < head_end;
         i += euc_lead_length(byte(i))) {
      if (looked_up(byte(i))) add(i, s.inner_characters);
    }

    // Reading: [kana] after the blanks that end the headword.
    size_t i = head_end;
    while (i < end && byte(i) == ' ') ++i;
    if (i < end && byte(i) == '[') {
      ++i;
      if (i < end && byte(i) != ']' && byte(i) != ' ') add(i, s.readings);
      while (i < end && byte(i) != ']') ++i;
    }

    // Glosses: from the first '/' on. Groups in () or {} that come before a
    // gloss's text are its tags; groups after the text are part of it.
    while (i < end && byte(i) != '/') ++i;
    bool leading = true;  // no text of this gloss seen yet
    bool in_tag = false;  // inside a tag group
    int depth = 0;        // nesting of () and {}
    for (; i < end; ++i) {
      unsigned char b = byte(i);
      if (b == '/') {
        leading = true;
        in_tag = false;
        depth = 0;
        continue;
      }
      if (b == '(' || b == '{') {
        if (depth == 0) in_tag = leading;
        ++depth;
        continue;
      }
      if (b == ')' || b == '}') {
        if (depth > 0 && --depth == 0) in_tag = false;
        continue;
      }
      if (depth == 0 && b != ' ') leading = false;
      if (is_letter(b) && !is_letter(byte(i - 1)) && !in_tag) add(i, s.words);
    }
  }
  s.entries = static_cast<uint32_t>(out.size());
  return out;
}

void sort_positions(std::string_view text, std::vector<int32_t>* positions) {
  FoldedText f = fold_text(text);
  std::vector<Keyed> keyed(positions->size());
  for (size_t k = 0; k < keyed.size(); ++k) {
    const unsigned char* p = folded_at(f, (*positions)[k]);
    uint64_t prefix = 0;
    for (int j = 0; j < 8; ++j) prefix = prefix << 8 | p[j];
    keyed[k] = Keyed{prefix, (*positions)[k]};
  }
  std::sort(keyed.begin(), keyed.end(), [&f](const Keyed& a, const Keyed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    int r = std::memcmp(folded_at(f, a.position) + 8, folded_at(f, b.position) + 8, kOrderSpan - 8);
    if (r != 0) return r < 0;
    return a.position < b.position;
  });
  for (size_t k = 0; k < keyed.size(); ++k) (*positions)[k] = keyed[k].position;
}

bool check_entries(std::string_view text, const std::vector<int32_t>& entries, std::string* fault) {
  for (size_t k = 0; k < entries.size(); ++k) {
    int32_t p = entries[k];
    if (p < 1 || static_cast<uint64_t>(p) > text.size()) {
      *fault = "entry " + std::to_string(k + 1) + " holds position " + std::to_string(p) +
               ", outside the dictionary (1 to " + std::to_string(text.size()) + ")";
      return false;
    }
  }
  FoldedText f = fold_text(text);
  for (size_t k = 1; k < entries.size(); ++k) {
    if (compare_folded(f, entries[k - 1], entries[k]) > 0) {
      *fault = "entries " + std::to_string(k) + " and " + std::to_string(k + 1) +
               " are out of order (positions " + std::to_string(entries[k - 1]) + " and " +
               std::to_string(entries[k]) + ")";
      return false;
    }
  }
  return true;
}

bool build_index(const char* edict_path, const char* jdx_path, std::string* error,
                 IndexStats* stats) {
  std::string text;
  if (!read_whole(edict_path, &text, error)) return false;
  if (!check_text(text, error)) {
    *error = std::string(edict_path) + ": " + *error;
    return false;
  }
  std::vector<int32_t> positions = index_positions(text, stats);
  sort_positions(text, &positions);

  std::string temporary = std::string(jdx_path) + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) {
    *error = describe_errno("cannot create", temporary.c_str());
    return false;
  }
  // Word 0, then the entries, little-endian whatever the machine.
  std::vector<unsigned char> chunk(4, 0);
  chunk.reserve(1 << 16);
  bool ok = true;
  auto flush = [&] {
    ok = ok && std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    chunk.clear();
  };
  for (int32_t position : positions) {
    uint32_t u = static_cast<uint32_t>(position);
    for (int j = 0; j < 4; ++j) chunk.push_back(static_cast<unsigned char>(u >> (8 * j)));
    if (chunk.size() >= (1 << 16)) flush();
  }
  flush();
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    *error = describe_errno("cannot write", temporary.c_str());
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, jdx_path, ec);
  if (ec) {
    *error = "cannot rename " + temporary + " to " + jdx_path + ": " + ec.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool check_index(const char* edict_path, const char* jdx_path, std::string* fault) {
  std::string text, index;
  if (!read_whole(edict_path, &text, fault) || !read_whole(jdx_path, &index, fault)) return false;
  if (!check_text(text, fault)) {
    *fault = std::string(edict_path) + ": " + *fault;
    return false;
  }
  // A length that is not whole words is a cut or a file of something else.
  if (index.size() % 4 != 0) {
    *fault = std::string(jdx_path) + ": " + std::to_string(index.size()) +
             " bytes, not a whole number of 4-byte entries (" + std::to_string(index.size() % 4) +
             " bytes past the last whole one)";
    return false;
  }
  std::vector<int32_t> entries;
  size_t count = index.size() / 4 >= 1 ? index.size() / 4 - 1 : 0;
  entries.reserve(count);
  for (size_t k = 1; k <= count; ++k) {
    uint32_t u = 0;
    for (int j = 3; j >= 0; --j) u = u << 8 | static_cast<unsigned char>(index[4 * k + j]);
    entries.push_back(static_cast<int32_t>(u));
  }
  if (!check_entries(text, entries, fault)) {
    *fault = std::string(jdx_path) + ": " + *fault;
    return false;
  }
  // An index cut at a whole entry is still in order: its count tells.
  const size_t expected = index_positions(text, nullptr).size();
  if (count != expected) {
    *fault = std::string(jdx_path) + ": " + std::to_string(count) + " entries, where " +
             edict_path + " calls for " + std::to_string(expected);
    return false;
  }
  return true;
}

bool user_dictionary_from_utf8(std::string_view utf8, std::string* euc, std::string* error) {
  euc->clear();
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  size_t number = 0;
  while (!utf8.empty()) {
    ++number;
    const size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Line by line, so the fault can be named; a NUL would end the lookup's
    // match early, so it is no character of a dictionary either.
    bool lossless = true;
    std::string converted = utf8_to_euc(line, &lossless);
    if (!lossless || line.find('\0') != std::string_view::npos) {
      *error = "line " + std::to_string(number) +
               " holds a character that EUC-JP has no code for, or is not UTF-8";
      return false;
    }
    *euc += converted;
    *euc += '\n';
  }
  return check_text(*euc, error);
}

bool write_user_dictionary(std::string_view utf8, const char* euc_path, std::string* error) {
  std::string euc;
  if (!user_dictionary_from_utf8(utf8, &euc, error)) return false;
  std::string temporary = std::string(euc_path) + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) {
    *error = describe_errno("cannot create", temporary.c_str());
    return false;
  }
  bool ok = std::fwrite(euc.data(), 1, euc.size(), out) == euc.size();
  if (std::fclose(out) != 0) ok = false;
  if (!ok) {
    *error = describe_errno("cannot write", temporary.c_str());
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, euc_path, ec);
  if (ec) {
    *error = "cannot rename " + temporary + " to " + euc_path + ": " + ec.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
