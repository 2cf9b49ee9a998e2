// Panes, focus and clipboard held in memory, for the command line and tests.
#include "platform/in_memory.h"

InMemoryDesktop desktop;

void reset_desktop() {
  desktop = InMemoryDesktop{};
}

PaneRecord* pane_record(Window pane) {
  for (PaneRecord& p : desktop.panes) {
    if (&p == pane) return &p;
  }
  return nullptr;
}

PaneRecord* living_pane_at(int y) {
  for (auto it = desktop.panes.rbegin(); it != desktop.panes.rend(); ++it) {
    if (it->alive && it->y == y) return &*it;
  }
  return nullptr;
}

void set_clipboard_text(const std::string& bytes) {
  desktop.clipboard_has_text = true;
  desktop.clipboard_is_own = false;
  desktop.clipboard = bytes;
}

bool clipboard_read_text(Window, ClipboardIntake, std::string* text) {
  text->clear();
  if (!desktop.clipboard_has_text) return false;
  // A clipboard text ends at its first NUL.
  *text = desktop.clipboard.substr(0, desktop.clipboard.find('\0'));
  return true;
}

void clipboard_write_text(Window owner, const unsigned char* bytes, size_t length) {
  desktop.clipboard_has_text = true;
  desktop.clipboard_is_own = true;
  desktop.clipboard.assign(reinterpret_cast<const char*>(bytes), length);
  desktop.events.push_back({"clipboard-write", owner, desktop.clipboard});
}

void clipboard_empty(Window owner) {
  desktop.clipboard_has_text = false;
  desktop.clipboard_is_own = false;
  desktop.clipboard.clear();
  desktop.events.push_back({"clipboard-empty", owner, {}});
}

bool clipboard_holds_own_copy() {
  return desktop.clipboard_is_own;
}

Window pane_create(Window parent, int x, int y, int width, int height, uint32_t style,
                   const unsigned char* text) {
  desktop.panes.push_back(PaneRecord{parent, x, y, width, height, style,
                                     std::string(reinterpret_cast<const char*>(text)), 0, 0, true});
  PaneRecord* pane = &desktop.panes.back();
  desktop.events.push_back({"pane-create", pane, std::to_string(y)});
  return pane;
}

void forget_destroyed_panes() {
  // A deque keeps the other records where they are when its first goes.
  while (!desktop.panes.empty() && !desktop.panes.front().alive) desktop.panes.pop_front();
  for (PaneRecord& pane : desktop.panes) {
    if (!pane.alive) std::string().swap(pane.text);
  }
}

void pane_destroy(Window pane) {
  PaneRecord* p = pane_record(pane);
  if (p == nullptr || !p->alive) return;
  p->alive = false;
  if (desktop.focus == pane) desktop.focus = nullptr;
  desktop.events.push_back({"pane-destroy", pane, std::to_string(p->y)});
}

void pane_selection(Window pane, uint32_t* start, uint32_t* end) {
  PaneRecord* p = pane_record(pane);
  if (p == nullptr || !p->alive) {
    *start = *end = 0;
    return;
  }
  *start = p->sel_start;
  *end = p->sel_end;
}

Window focus_window() {
  return desktop.focus;
}
