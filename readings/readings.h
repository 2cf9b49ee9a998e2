// How common a reading is for a written word: what chooses, among the names
// dictionary's several entries of one headword (渋谷 [しだや], 渋谷 [しぶや],
// ...), the one a reader most likely means.
//
// Two signs are weighed. The entry's own tags: an entry marked as a place, a
// surname and a given name at once ("/(p,s,f) ...") is a widely used
// reading. And, when there is one, a ranked dictionary of an input method
// (`SKK-JISYO.L`: EUC-JP lines `READING /WORD/WORD/.../`, sorted by
// reading), read only as a list of which words are written for which
// reading: a reading under which the dictionary lists the headword is
// common, and one that many of its longer words share (しぶやく /渋谷区/) more
// common still. The file is looked for once, on first need: the one that
// the environment variable DODEVUZ_READINGS names (set but empty: none),
// else in the dictionary folder and then where the system keeps it; without
// it the tags alone decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// The ranked dictionary's file, in the dictionary folder or the system's.
constexpr char kReadingsFile[] = "SKK-JISYO.L";
constexpr char kSystemReadingsFile[] = "/usr/share/skk/SKK-JISYO.L";
constexpr char kReadingsVariable[] = "DODEVUZ_READINGS";

// Lines of the ranked dictionary scanned for longer words of one reading.
constexpr size_t kMaxCompoundLines = 4096;

// The file is read through a few pages of its own, least recently used
// replaced first: 96 KiB, however large the file.
constexpr uint32_t kReadingsPageSize = 12 * 1024;
constexpr int kReadingsPages = 8;

struct ReadingsPage {
  uint32_t number;  // which page of the file: bytes from number * kReadingsPageSize
  uint32_t bytes;   // how many of them were read (fewer at the end of the file)
  uint64_t used;    // when it was last used, by Readings::clock; 0: the frame is empty
  char data[kReadingsPageSize];
};

// The first entry line that begins on one page of the file, and its reading.
struct ReadingsMark {
  uint32_t offset;
  std::string reading;
};

// What the ranked dictionary said of one headword and reading, kept for
// the next time they are asked: 512 of them, one place each by a hash.
constexpr size_t kReadingsMemo = 512;

struct ReadingsMemo {
  std::string key;  // the headword, a blank and the reading; empty: none kept
  bool listed;
  int compounds;
};

// Program-wide state; one instance, `readings`.
//
// A file whose entry lines without a conjugated ending (after the line
// ";; okuri-nasi entries.", or all of them without that line) stand in
// ascending byte order of their readings, as the input method's own files
// do, is kept open and read through the pages: a reading is found by a
// binary search over the file's bytes (the middle of a range, then the next
// line start), narrowed first by the reading that begins each page. A file
// found out of order is read whole instead and its lines sorted.
struct Readings {
  bool looked_for;  // the file was looked for (found or not)
  // Paged: the open file (kFileError when none), its size, where its
  // entries without a conjugated ending begin, and a mark for every page on
  // which an entry line begins (some hundreds for the whole file).
  int32_t file = kFileError;
  uint32_t size;
  uint32_t section;
  std::vector<ReadingsMark> marks;
  ReadingsPage pages[kReadingsPages];
  uint64_t clock;  // page uses so far
  // Read whole, when out of order: the whole file, EUC-JP, and the offsets
  // of its entry lines in ascending byte order of their readings; both
  // empty otherwise.
  std::string text;
  std::vector<uint32_t> lines;
  ReadingsMemo memo[kReadingsMemo];  // emptied with every load and reset
  // Which ranked dictionary of the run this is: a new number with every
  // load and reset (never 0, never the same twice), so that what was ranked
  // by one is not taken for another's.
  uint32_t generation = 1;
};

extern Readings readings;

// Puts the readings back to their state at program start: the file is
// looked for again on next need.
void reset_readings();

// Takes the ranked dictionary from the file at path; false (and none kept)
// when it cannot be read or holds no entry. The file is streamed once to
// check its order (bounded memory) and kept open when in order; entries out
// of order are read whole and sorted.
bool load_readings(const char* path);

// How common reading is for headword (both EUC-JP): higher is commoner.
struct ReadingUse {
  bool listed;    // the ranked dictionary lists headword for this reading
  int compounds;  // its longer words that begin with both (a bounded count)
  int tags;       // tags of the entry line ("(p,s,f)": 3)
  bool operator<(const ReadingUse& o) const {
    if (listed != o.listed) return !listed;
    if (compounds != o.compounds) return compounds < o.compounds;
    return tags < o.tags;
  }
};

// The use of an entry line "HEADWORD [READING] /(TAGS) gloss/" (a line
// without a reading reads its headword as one). Looks for the ranked
// dictionary on first call.
ReadingUse reading_use(std::string_view line);
