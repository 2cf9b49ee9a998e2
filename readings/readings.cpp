// The commonness of a reading (readings.h): the ranked dictionary, searched
// by reading with a binary search, over the bytes of the open file through a
// few pages when the file is in order, else over the sorted lines of the
// whole file.
#include "readings/readings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

Readings readings;

namespace {

uint32_t readings_made = 1;  // generations handed out; never reset

// The line that opens the entries without a conjugated ending.
constexpr std::string_view kPlainHeading = ";; okuri-nasi entries.";

// A line "READING /WORD/WORD/.../" of the ranked dictionary; comments begin
// with ';'.
bool is_entry(std::string_view line) {
  return !line.empty() && line[0] != ';' && line.find(" /") != std::string_view::npos;
}

// An entry line's reading: its bytes up to the first blank.
std::string_view reading_of(std::string_view line) {
  const size_t blank = line.find(' ');
  return blank == std::string_view::npos ? line.substr(0, 0) : line.substr(0, blank);
}

// An entry line's words: what follows the blank after its reading.
std::string_view words_of(std::string_view line) {
  const size_t start = reading_of(line).size() + 1;
  return start < line.size() ? line.substr(start) : std::string_view();
}

// Adds what an entry line says of headword read as reading to use; false
// once the line's reading no longer begins with reading (the lines that
// follow in order cannot either).
bool weigh_line(std::string_view line, std::string_view headword, std::string_view reading,
                ReadingUse* use) {
  const std::string_view r = reading_of(line);
  if (r.substr(0, reading.size()) != reading) return false;
  const bool same_reading = r.size() == reading.size();
  // "/渋谷/澁谷;annotation/": each word up to its ';' or '/'.
  std::string_view words = words_of(line);
  while (!words.empty()) {
    if (words[0] == '/') {
      words.remove_prefix(1);
      continue;
    }
    const size_t end = words.find('/');
    std::string_view word = words.substr(0, end);
    word = word.substr(0, word.find(';'));
    if (same_reading && word == headword) {
      use->listed = true;
    } else if (!same_reading && word.size() > headword.size() &&
               word.substr(0, headword.size()) == headword) {
      ++use->compounds;
    }
    if (end == std::string_view::npos) break;
    words.remove_prefix(end);
  }
  return true;
}

// ---- The file read through pages -------------------------------------------

// The frame holding the page of byte at, read into the least recently used
// frame on a miss; nullptr at or past the end. A read that fails or falls
// short of the size seen at load ends the file there for the rest of the
// run, so that no walk over it can go on reading what is not there.
const ReadingsPage* page_of(uint32_t at) {
  if (at >= readings.size) return nullptr;
  const uint32_t number = at / kReadingsPageSize;
  ReadingsPage* oldest = &readings.pages[0];
  for (ReadingsPage& page : readings.pages) {
    if (page.used != 0 && page.number == number) {
      page.used = ++readings.clock;
      return &page;
    }
    if (page.used < oldest->used) oldest = &page;
  }
  const uint32_t start = number * kReadingsPageSize;
  const uint32_t want = std::min(kReadingsPageSize, readings.size - start);
  const int32_t got = file_read_at(readings.file, start, oldest->data, want);
  if (got < static_cast<int32_t>(want))
    readings.size = start + static_cast<uint32_t>(std::max(got, 0));
  if (got <= 0) {
    oldest->used = 0;
    return nullptr;
  }
  oldest->number = number;
  oldest->bytes = std::min(static_cast<uint32_t>(got), want);
  oldest->used = ++readings.clock;
  return oldest;
}

// The line that begins at byte at, without its '\n', copied into buffer.
std::string_view paged_line(uint32_t at, std::string& buffer) {
  buffer.clear();
  for (const ReadingsPage* page; (page = page_of(at)) != nullptr;) {
    const uint32_t from = at - page->number * kReadingsPageSize;
    if (from >= page->bytes) break;
    const char* start = page->data + from;
    const size_t count = page->bytes - from;
    if (const void* eol = std::memchr(start, '\n', count); eol != nullptr) {
      buffer.append(start, static_cast<const char*>(eol) - start);
      break;
    }
    buffer.append(start, count);
    at += static_cast<uint32_t>(count);
  }
  return buffer;
}

// Where the line after the one at byte at (whose bytes are line) begins.
uint32_t after(uint32_t at, std::string_view line) {
  return static_cast<uint32_t>(
      std::min<uint64_t>(uint64_t{at} + line.size() + 1, uint64_t{readings.size}));
}

// The first line start at or after byte at within the entries' section
// (the file's size when there is none).
uint32_t line_start_from(uint32_t at) {
  if (at <= readings.section) return readings.section;
  for (uint32_t p = at - 1; const ReadingsPage* page = page_of(p);) {
    const uint32_t from = p - page->number * kReadingsPageSize;
    if (from >= page->bytes) break;
    const char* start = page->data + from;
    if (const void* eol = std::memchr(start, '\n', page->bytes - from); eol != nullptr) {
      return p + static_cast<uint32_t>(static_cast<const char*>(eol) - start) + 1;
    }
    p += page->bytes - from;
  }
  return readings.size;
}

// The first entry line that begins in [lo, hi) and whose reading is not
// below target, else beyond: a binary search over the bytes, each probe
// the first entry line at or after the middle of the range. Entry lines
// before lo read below target, and those from hi on not below it.
uint32_t first_not_below(uint32_t lo, uint32_t hi, std::string_view target, uint32_t beyond,
                         std::string& buffer) {
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    uint32_t at = line_start_from(mid);
    std::string_view line;
    while (at < hi && at < readings.size && !is_entry(line = paged_line(at, buffer))) {
      at = after(at, line);
    }
    if (at >= hi || at >= readings.size) {
      hi = mid;  // no entry line begins in [mid, hi)
    } else if (reading_of(line) < target) {
      lo = after(at, line);
    } else {
      beyond = at;
      hi = mid;
    }
  }
  return beyond;
}

// The first entry line whose reading is not below target (the file's size
// when none is): the page marks narrow the search to a page or two.
uint32_t paged_lower_bound(std::string_view target, std::string& buffer) {
  const auto mark = std::lower_bound(
      readings.marks.begin(), readings.marks.end(), target,
      [](const ReadingsMark& m, std::string_view t) { return std::string_view(m.reading) < t; });
  const uint32_t lo =
      mark == readings.marks.begin() ? readings.section : std::prev(mark)->offset + 1;
  const uint32_t hi = mark == readings.marks.end() ? readings.size : mark->offset;
  return first_not_below(lo, hi, target, hi, buffer);
}

// Streams the open file once, a line at a time: where its entries without a
// conjugated ending begin, whether they stand in order of their readings,
// and a mark for each page on which one begins. False when out of order.
bool check_order(std::string& buffer) {
  readings.section = 0;
  for (uint32_t at = 0; at < readings.size;) {
    const std::string_view line = paged_line(at, buffer);
    if (at > 0 && line.substr(0, kPlainHeading.size()) == kPlainHeading) {
      readings.section = at;
      break;
    }
    at = after(at, line);
  }
  std::string previous;
  for (uint32_t at = readings.section; at < readings.size;) {
    const std::string_view line = paged_line(at, buffer);
    if (is_entry(line)) {
      const std::string_view reading = reading_of(line);
      if (!readings.marks.empty() && reading < previous) return false;
      if (readings.marks.empty() ||
          readings.marks.back().offset / kReadingsPageSize != at / kReadingsPageSize) {
        readings.marks.push_back({at, std::string(reading)});
      }
      previous.assign(reading);
    }
    at = after(at, line);
  }
  return true;
}

// ---- The file read whole (out of order) ------------------------------------

// The line of the whole file that begins at offset, without its '\n'.
std::string_view whole_line(uint32_t offset) {
  const std::string_view text = readings.text;
  const size_t eol = text.find('\n', offset);
  return text.substr(offset, eol == std::string_view::npos ? std::string_view::npos : eol - offset);
}

bool load_whole(const char* path, uint32_t size) {
  const int32_t file = file_open_read(path);
  if (file < 0) return false;
  std::string text(size, '\0');
  const int32_t got = file_read_at(file, 0, text.data(), size);
  file_close(file);
  if (got != static_cast<int32_t>(size)) return false;

  // The words without conjugated endings follow their heading line; a file
  // without the heading is read whole.
  size_t from = text.find("\n" + std::string(kPlainHeading));
  from = from == std::string::npos ? 0 : from + 1;
  readings.text = std::move(text);
  const std::string_view all = readings.text;
  for (size_t at = from; at < all.size();) {
    size_t eol = all.find('\n', at);
    if (eol == std::string_view::npos) eol = all.size();
    if (is_entry(all.substr(at, eol - at))) readings.lines.push_back(static_cast<uint32_t>(at));
    at = eol + 1;
  }
  std::stable_sort(readings.lines.begin(), readings.lines.end(), [](uint32_t a, uint32_t b) {
    return reading_of(whole_line(a)) < reading_of(whole_line(b));
  });
  if (readings.lines.empty()) readings.text.clear();
  return !readings.lines.empty();
}

// ----------------------------------------------------------------------------

void close_readings() {
  file_close(readings.file);
  readings.file = kFileError;
  readings.size = 0;
  readings.section = 0;
  readings.marks.clear();
  readings.marks.shrink_to_fit();
  for (ReadingsPage& page : readings.pages) page.used = 0;
  readings.clock = 0;
  readings.text.clear();
  readings.text.shrink_to_fit();
  readings.lines.clear();
  readings.lines.shrink_to_fit();
  for (ReadingsMemo& memo : readings.memo) memo.key = std::string();
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

// What the ranked dictionary says of headword read as reading, added to use.
void ranked_use(std::string_view headword, std::string_view reading, ReadingUse* use) {
  size_t scanned = 0;
  if (readings.file != kFileError) {
    std::string buffer;
    for (uint32_t at = paged_lower_bound(reading, buffer);
         at < readings.size && scanned < kMaxCompoundLines;) {
      const std::string_view entry = paged_line(at, buffer);
      at = after(at, entry);
      if (!is_entry(entry)) continue;
      ++scanned;
      if (!weigh_line(entry, headword, reading, use)) break;
    }
    return;
  }
  auto first = std::lower_bound(
      readings.lines.begin(), readings.lines.end(), reading,
      [](uint32_t a, std::string_view r) { return reading_of(whole_line(a)) < r; });
  for (auto it = first; it != readings.lines.end() && scanned < kMaxCompoundLines;
       ++it, ++scanned) {
    if (!weigh_line(whole_line(*it), headword, reading, use)) break;
  }
}

}  // namespace

void reset_readings() {
  readings.generation = ++readings_made;
  readings.looked_for = false;
  close_readings();
}

bool load_readings(const char* path) {
  readings.generation = ++readings_made;
  close_readings();
  uint32_t size = 0;
  if (file_size(path, &size) != 0 || size == 0) return false;
  readings.file = file_open_read(path);
  if (readings.file < 0) return false;
  readings.size = size;
  std::string buffer;
  const bool ordered = check_order(buffer);
  const bool whole = readings.size == size;  // no read fell short
  if (ordered && whole && !readings.marks.empty()) return true;
  close_readings();
  return !ordered && whole && load_whole(path, size);
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
  if (headword.empty() || reading.empty()) return use;
  if (readings.file == kFileError && readings.lines.empty()) return use;
  // A text names the same few hundred people and places over and over.
  const size_t hash = std::hash<std::string_view>{}(headword) ^
                      std::hash<std::string_view>{}(reading)*size_t{0x9E3779B9};
  ReadingsMemo& memo = readings.memo[hash % kReadingsMemo];
  const std::string_view key = memo.key;
  if (key.size() == headword.size() + 1 + reading.size() && key.starts_with(headword) &&
      key[headword.size()] == ' ' && key.ends_with(reading)) {
    use.listed = memo.listed;
    use.compounds = memo.compounds;
    return use;
  }
  ranked_use(headword, reading, &use);
  memo.key.assign(headword).append(1, ' ').append(reading);
  memo.listed = use.listed;
  memo.compounds = use.compounds;
  return use;
}
