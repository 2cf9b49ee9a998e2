// Panes, focus and clipboard held in the program's own memory: the desktop of
// the command line and of the tests. A front end drives it (sets the
// clipboard, a pane's selection, the focus) and reads what it holds.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

struct PaneRecord {
  Window parent;
  int x, y, width, height;
  uint32_t style;
  std::string text;    // the EUC-JP text the pane was made with
  uint32_t sel_start;  // selection, byte offsets into text
  uint32_t sel_end;
  bool alive;  // false once destroyed
};

// One thing the program did to its platform, in order: "alloc", "unlock",
// "free", "message", "clipboard-empty", "clipboard-write", "pane-create",
// "pane-destroy". subject is the block or pane concerned, text the detail.
struct PlatformEvent {
  std::string what;
  const void* subject;
  std::string text;
};

struct InMemoryDesktop {
  std::deque<PaneRecord> panes;  // every pane made, in order; a pane's address is its handle
  Window focus;                  // the window with the keyboard focus
  bool clipboard_has_text;
  std::string clipboard;  // the clipboard's text bytes
  bool clipboard_is_own;  // clipboard_write_text put them there
  std::vector<PlatformEvent> events;
};

extern InMemoryDesktop desktop;

// Empties the desktop: no panes, no focus, an empty clipboard, no events.
void reset_desktop();

// Lets go of the panes that were destroyed: the oldest records go, the text of
// the others is freed. Handles of living panes stay valid. For a long run of
// commands (a whole text listed page by page) whose memory must not grow.
void forget_destroyed_panes();

// The record of a pane, or nullptr for a window that is not a pane.
PaneRecord* pane_record(Window pane);

// The newest living pane at y, or nullptr (panes are told apart by their row).
PaneRecord* living_pane_at(int y);

// Puts bytes on the clipboard as a program other than this one would.
void set_clipboard_text(const std::string& bytes);
