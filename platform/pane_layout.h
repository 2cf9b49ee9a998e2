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
// ES_AUTOVSCROLL | ES_NOHIDESEL: the romaji and single panes.
constexpr uint32_t kBorderedPaneStyle = 0x50A00144;
constexpr uint32_t kListingPaneStyle = 0x50200144;  // the same without WS_BORDER
