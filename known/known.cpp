// The known words' rows: read in whole (a reader's list is small next to the
// dictionary), changed only by appending one row at a time.
#include "known/known.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/text_units.h"

KnownWords known_words;

void reset_known_words() {
  known_words = KnownWords{};
}

namespace {

bool valid_utf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8_char_length(s.substr(i));
    if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80) return false;
    i += n;
  }
  return true;
}

// A field as it may stand in a row: no tab or line end, no blanks at its ends.
std::string clean_field(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string key_of(std::string_view headword, std::string_view reading) {
  std::string key(headword);
  key += '\t';
  key += reading;
  return key;
}

// One row's fields; false for a damaged line.
bool parse_row(std::string_view row, std::string* key, bool* known) {
  if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
  const size_t tab = row.find('\t');
  if (tab == 0 || tab == std::string_view::npos || !valid_utf8(row)) return false;
  const size_t second = row.find('\t', tab + 1);
  const std::string_view reading = row.substr(
      tab + 1, second == std::string_view::npos ? std::string_view::npos : second - tab - 1);
  *known = true;
  if (second != std::string_view::npos) {
    const std::string_view mark = row.substr(second + 1);
    if (mark == kRemovedMark) {
      *known = false;
    } else if (!mark.empty()) {
      return false;
    }
  }
  *key = key_of(row.substr(0, tab), reading);
  return true;
}

bool read_file(const char* path, std::string* bytes) {
  bytes->clear();
  uint32_t size = 0;
  if (file_size(path, &size) != 0) return true;  // not there yet
  const int32_t file = file_open_read(path);
  if (file == kFileError) return false;
  bytes->resize(size);
  uint32_t got = 0;
  while (got < size) {
    const int32_t n = file_read_at(file, got, bytes->data() + got, size - got);
    if (n <= 0) break;
    got += static_cast<uint32_t>(n);
  }
  file_close(file);
  bytes->resize(got);
  return got == size;
}

}  // namespace

void parse_known_words(std::string_view text) {
  const KnownOutcome last = known_words.last;
  reset_known_words();
  known_words.last = last;
  known_words.text = text;
  // A byte order mark, which some editors write, is no part of the first word.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(at, end - at);
    at = end + 1;
    ++number;
    if (row.empty() || row == "\r") continue;
    std::string key;
    bool known = false;
    if (!parse_row(row, &key, &known)) {
      known_words.damaged.push_back(number);
      continue;
    }
    auto [place, added] = known_words.rows.emplace(key, known);
    if (added) {
      known_words.order.push_back(std::move(key));
    } else {
      place->second = known;
    }
  }
}

bool read_known_words(const char* path) {
  std::string bytes;
  const bool read = read_file(path, &bytes);
  parse_known_words(read ? bytes : std::string());
  return read;
}

bool read_known_words_again(const char* path, KnownWords&& kept) {
  std::string bytes;
  const bool read = read_file(path, &bytes);
  if (!read) bytes.clear();
  if (bytes != kept.text) {
    parse_known_words(bytes);
    return read;
  }
  const KnownOutcome last = known_words.last;
  known_words = std::move(kept);
  known_words.last = last;
  return read;
}

bool word_known(std::string_view headword, std::string_view reading) {
  const auto& rows = known_words.rows;
  if (auto exact = rows.find(key_of(headword, reading)); exact != rows.end()) return exact->second;
  if (reading.empty()) return false;
  auto any = rows.find(key_of(headword, ""));
  return any != rows.end() && any->second;
}

std::vector<std::string> known_word_list() {
  std::vector<std::string> out;
  for (const std::string& key : known_words.order) {
    if (known_words.rows.at(key)) out.push_back(key);
  }
  return out;
}

KnownOutcome mark_known(const char* path, std::string_view headword, std::string_view reading,
                        bool known) {
  const std::string word = clean_field(headword);
  const std::string kana = clean_field(reading);
  if (word.empty()) return known_words.last = KnownOutcome::kNoWord;
  std::string row = key_of(word, kana);
  if (!known) {
    row += '\t';
    row += kRemovedMark;
  }
  row += '\n';
  // The look at the file and the append are one step under the file's lock
  // (the word list's), so two programs marking at once agree on the result.
  bool changes = false;
  std::string content;
  const int status = file_append_checked(path, [&](std::string_view existing) {
    content = existing;
    parse_known_words(existing);
    changes = word_known(word, kana) != known;
    if (!changes) return std::string();
    // A file whose last row lost its line end (edited by hand) keeps it whole.
    if (!existing.empty() && existing.back() != '\n') row = "\n" + row;
    return row;
  });
  if (status != 0) {
    parse_known_words(std::string_view());
    return known_words.last = KnownOutcome::kFailed;
  }
  if (!changes) return known_words.last = known ? KnownOutcome::kAlready : KnownOutcome::kAbsent;
  parse_known_words(content + row);
  return known_words.last = known ? KnownOutcome::kMarked : KnownOutcome::kRemoved;
}

const char* known_outcome_text() {
  switch (known_words.last) {
    case KnownOutcome::kMarked:
      return "marked as known";
    case KnownOutcome::kAlready:
      return "already known";
    case KnownOutcome::kRemoved:
      return "no longer known";
    case KnownOutcome::kAbsent:
      return "was not known";
    case KnownOutcome::kFailed:
      return "could not write known.tsv";
    case KnownOutcome::kNoWord:
    case KnownOutcome::kNone:
      break;
  }
  return "nothing to mark";
}
