// The commonness of a reading (readings.h): the ranked dictionary, read whole
// once, and searched by reading with a binary search over its lines.
#include "readings/readings.h"

#include <algorithm>
#include <cstdlib>

#include "platform/platform.h"

Readings readings;

namespace {

// The reading of the line at offset: its bytes up to the blank before " /".
std::string_view reading_at(uint32_t offset) {
  const std::string_view text = readings.text;
  const size_t blank = text.find(' ', offset);
  const size_t eol = text.find('\n', offset);
  if (blank == std::string_view::npos || (eol != std::string_view::npos && eol < blank)) {
    return text.substr(offset, 0);
  }
  return text.substr(offset, blank - offset);
}

// The words of the line at offset: what stands between " /" and the line end.
std::string_view words_at(uint32_t offset) {
  const std::string_view text = readings.text;
  size_t eol = text.find('\n', offset);
  if (eol == std::string_view::npos) eol = text.size();
  const size_t start = offset + reading_at(offset).size() + 1;
  return start < eol ? text.substr(start, eol - start) : std::string_view();
}

void look_for_readings() {
  readings.looked_for = true;
  // DODEVUZ_READINGS names the file outright; set but empty, there is none.
  if (const char* named = std::getenv(kReadingsVariable); named != nullptr) {
    if (*named != 0) load_readings(named);
    return;
  }
  if (load_readings(kReadingsFile)) return;
#ifndef _WIN32
  load_readings(kSystemReadingsFile);
#endif
}

}  // namespace

namespace {
uint32_t readings_made = 1;  // generations handed out; never reset
}  // namespace

void reset_readings() {
  readings.generation = ++readings_made;
  readings.looked_for = false;
  readings.text.clear();
  readings.text.shrink_to_fit();
  readings.lines.clear();
  readings.lines.shrink_to_fit();
}

bool load_readings(const char* path) {
  readings.generation = ++readings_made;
  readings.text.clear();
  readings.lines.clear();
  uint32_t size = 0;
  if (file_size(path, &size) != 0 || size == 0) return false;
  const int32_t file = file_open_read(path);
  if (file < 0) return false;
  std::string text(size, '\0');
  const int32_t got = file_read_at(file, 0, text.data(), size);
  file_close(file);
  if (got != static_cast<int32_t>(size)) return false;

  // The words without conjugated endings follow their heading line; a file
  // without the heading is read whole.
  size_t from = text.find("\n;; okuri-nasi entries.");
  from = from == std::string::npos ? 0 : from + 1;
  readings.text = std::move(text);
  const std::string_view all = readings.text;
  for (size_t at = from; at < all.size();) {
    size_t eol = all.find('\n', at);
    if (eol == std::string_view::npos) eol = all.size();
    const std::string_view line = all.substr(at, eol - at);
    if (!line.empty() && line[0] != ';' && line.find(" /") != std::string_view::npos) {
      readings.lines.push_back(static_cast<uint32_t>(at));
    }
    at = eol + 1;
  }
  const auto by_reading = [](uint32_t a, uint32_t b) { return reading_at(a) < reading_at(b); };
  if (!std::is_sorted(readings.lines.begin(), readings.lines.end(), by_reading)) {
    std::stable_sort(readings.lines.begin(), readings.lines.end(), by_reading);
  }
  if (readings.lines.empty()) readings.text.clear();
  return !readings.lines.empty();
}

ReadingUse reading_use(std::string_view line) {
  ReadingUse use{false, 0, 0};
  const size_t blank = line.find(' ');
  const std::string_view headword = line.substr(0, blank);
  std::string_view reading = headword;
  if (blank != std::string_view::npos && blank + 1 < line.size() && line[blank + 1] == '[') {
    const size_t close = line.find(']', blank);
    if (close != std::string_view::npos) reading = line.substr(blank + 2, close - blank - 2);
  }
  // "/(p,s,f) Name/": the tags of the first gloss.
  const size_t tags = line.find("/(");
  if (tags != std::string_view::npos) {
    const size_t close = line.find(')', tags);
    if (close != std::string_view::npos) {
      use.tags =
          1 + static_cast<int>(std::count(line.begin() + static_cast<ptrdiff_t>(tags),
                                          line.begin() + static_cast<ptrdiff_t>(close), ','));
    }
  }

  if (!readings.looked_for) look_for_readings();
  if (readings.lines.empty() || headword.empty() || reading.empty()) return use;
  auto first = std::lower_bound(readings.lines.begin(), readings.lines.end(), reading,
                                [](uint32_t a, std::string_view r) { return reading_at(a) < r; });
  size_t scanned = 0;
  for (auto it = first; it != readings.lines.end() && scanned < kMaxCompoundLines;
       ++it, ++scanned) {
    const std::string_view r = reading_at(*it);
    if (r.substr(0, reading.size()) != reading) break;
    const bool same_reading = r.size() == reading.size();
    // "/渋谷/澁谷;annotation/": each word up to its ';' or '/'.
    std::string_view words = words_at(*it);
    while (!words.empty()) {
      if (words[0] == '/') {
        words.remove_prefix(1);
        continue;
      }
      const size_t end = words.find('/');
      std::string_view word = words.substr(0, end);
      word = word.substr(0, word.find(';'));
      if (same_reading && word == headword) {
        use.listed = true;
      } else if (!same_reading && word.size() > headword.size() &&
                 word.substr(0, headword.size()) == headword) {
        ++use.compounds;
      }
      if (end == std::string_view::npos) break;
      words.remove_prefix(end);
    }
  }
  return use;
}
