// Helpers of the tests that drive the whole program through its commands:
// the texts and panes a command leaves behind, as a user would see them.
#pragma once

#include <string>

#include "platform/in_memory.h"
#include "romaji/romaji.h"
#include "shell/shell.h"

namespace testing_support {

// s with a carriage return before every line feed, as panes show listings.
inline std::string with_crlf(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A NUL-terminated buffer of the program as a string; empty for no buffer.
inline std::string text_of(const unsigned char* p) {
  return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
}

// The in-memory record of each of the three panes, or nullptr when there is none.
inline PaneRecord* listing_pane() {
  return pane_record(shell.listing_pane);
}
inline PaneRecord* single_pane() {
  return pane_record(shell.single_pane);
}
inline PaneRecord* romaji_pane() {
  return pane_record(romaji.romaji_pane);
}

}  // namespace testing_support
