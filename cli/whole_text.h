// `dodevuz get --all`: a text of any length listed as consecutive Gets, each
// starting where the previous listing stopped, with the fixed buffers of a
// Get and memory that does not grow with the text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/convert.h"

// How a whole text is read and printed.
struct WholeTextRun {
  FILE* in;              // read a part at a time, never whole
  std::string source;    // its name in messages: a file name or "standard input"
  uint64_t total_bytes;  // its size when known (a regular file), else 0
  TextEncoding encoding;
  std::string pane;  // "listing", "romaji" or "both"
  bool raw;          // the panes' EUC-JP bytes with 0x0D 0x0A line ends
  bool progress;     // a progress line on standard error
};

// Lists the whole text on the dictionary and romaji table of the working
// directory (opened once) and prints the panes as one listing and one romaji
// text: every passage byte listed once, the pages joined without their
// notices, so that no page or part boundary shows. The input is read in parts
// cut at whole characters of its encoding and checked part by part; a part
// that is not valid text ends the run with a message (status 2), after what
// was listed before it. A NUL byte ends the text, as it ends a passage.
// Returns the exit status: 1 after a message box (a dictionary file that
// cannot be opened), as for a Get.
int list_whole_text(const WholeTextRun& run);

// The offset just past the last whole character of bytes in encoding that
// may end a part: what follows it can be converted on its own. For JIS the
// part ends after a line feed (or before an escape sequence); *mode becomes
// the escape sequence in force at that offset. With at_end, all of bytes.
size_t part_boundary(const std::string& bytes, TextEncoding encoding, bool at_end,
                     std::string* mode);

// The start of a text, as far as one Get reads it: read and checked part by
// part as list_whole_text reads it, until its EUC-JP holds want bytes or
// more, the text ends, or raw_limit input bytes are read, so that memory
// stays bounded whatever the text's length. Messages about the text (not
// valid, a NUL) are written on the way.
struct TextStart {
  std::string raw;      // the input bytes converted, as they are (for the clipboard)
  std::string euc;      // their EUC-JP
  bool whole = false;   // the text ends within them (at a NUL too)
  bool failed = false;  // not valid text: the message is written, the status is 2
};
TextStart read_text_start(const WholeTextRun& run, size_t want, size_t raw_limit);
