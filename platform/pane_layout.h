// Where the three result panes lie in the main window's client area, in
// pixels, and their window styles: the romaji pane on top (made by the
// romaji subsystem), the listing pane and the single pane below it (made by
// the shell). Front ends that let the panes follow the window start from
// these places.
#pragma once

#include <cstdint>

constexpr int kPaneX = 10;
constexpr int kPaneWidth = 630;
constexpr int kRomajiPaneY = 0, kRomajiPaneHeight = 190;
constexpr int kListingPaneY = 192, kListingPaneHeight = 100;
constexpr int kSinglePaneY = 294, kSinglePaneHeight = 100;
// WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE |
// ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY: the romaji and single panes.
// The panes are read-only (ES_READONLY, 0x0800): a selection is resolved
// against the program's own copy of the pane's text, so text typed or
// dragged into a pane would make "Single Dodevuz" and "Copy" take other bytes
// than the reader sees selected.
constexpr uint32_t kBorderedPaneStyle = 0x50A00944;
constexpr uint32_t kListingPaneStyle = 0x50200944;  // the same without WS_BORDER
