// What the two desktop programs (the Win32 window and the Qt window) share
// beyond the command dispatch: the layout of the three panes in a client
// area of any size, the empty panes a new window shows, the one-line
// feedback after each command, the decision whether a new clipboard text is
// to be looked up while the clipboard is watched, the text size of the
// panes, and the dictionary credit of the About box. No window system here:
// the front ends apply what these say.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// Menu command ids of the desktop programs beyond the shell's.
constexpr int kCmdWatchClipboard = 112;  // checkable: Get on every new clipboard text
constexpr int kCmdTextLarger = 115;
constexpr int kCmdTextSmaller = 116;

// The client area the panes were laid out for: at this size every pane has
// the place and size the shell makes it with.
constexpr int kDesignClientWidth = 650;
constexpr int kDesignClientHeight = 404;

// Text size of the panes, in points.
constexpr int kDefaultTextPoints = 10;
constexpr int kMinTextPoints = 6;
constexpr int kMaxTextPoints = 36;

// The pause after a clipboard change before the watch looks it up: a text
// hooker or a user copying line after line gives one Get, on the last line.
constexpr int kWatchSettleMs = 150;

// Bytes of the status text, its NUL included.
constexpr size_t kStatusSize = 160;

enum class PaneRole { kRomaji, kListing, kSingle };

struct PaneRect {
  int x, y, width, height;
};

// Program-wide state the desktop programs share; one instance,
// `desktop_shell`.
struct DesktopShell {
  bool watching = false;                 // "Watch clipboard" is on (off at start)
  int text_points = kDefaultTextPoints;  // text size of the panes, kept for the session
  char status[kStatusSize] = {};         // what the last command did, NUL-terminated
};

extern DesktopShell desktop_shell;

// Back to the start: not watching, the default text size, no status.
void reset_desktop_shell();

// Where a pane lies in a client area of client_width x client_height
// pixels. The margins (10 left, right and below) and the 2-pixel gaps stay;
// the heights share what is left in the proportions 190 : 100 : 100, so at
// kDesignClientWidth x kDesignClientHeight each pane is exactly where the
// shell makes it. A client area smaller than the margins gives empty panes
// inside it, never negative sizes.
PaneRect pane_rect(PaneRole role, int client_width, int client_height);

// The smallest client area that still shows a line of every pane, for panes
// whose one line (borders included) is pane_line_height pixels high.
int min_client_width(int pane_line_height);
int min_client_height(int pane_line_height);

// Makes every pane that does not exist, empty, at its place: a new window
// shows its three panes before the first Get, and after "Clear All".
void make_missing_panes(Window main_window);

// The status after menu command id ran through dispatch_command (or after a
// watch toggled), in desktop_shell.status:
//   Get, NEXT: "Listed N words from X of Y bytes" (numbers with thousands
//           separators), "The clipboard holds no text" or "No Japanese text
//           on the clipboard";
//   Single: "N entry lines for the selection" or "Nothing selected in the
//           listing";
//   Copy:   "Copied N bytes";
//   Add to Word List: "Added to wordlist.tsv", "Already in wordlist.tsv",
//           "Could not write wordlist.tsv" or "Nothing to add: select a
//           word in the listing";
//   Kanji Details: kanji_details_outcome_text() (kanji_details.h);
//   Mark as Known: "Marked as known in known.tsv", "Already known", "Could
//           not write known.tsv" or "Nothing to mark: select a word in the
//           listing";
//   Clear All: "Cleared"; Watch: "Watching the clipboard" or "Stopped
//   watching the clipboard"; text size: "Text size N points".
// Other ids leave the status as it is. Returns desktop_shell.status.
const char* describe_command(int id);

// Whether EUC-JP text holds a Japanese character: kana, kanji (JIS X 0208
// rows 16 to 84 or JIS X 0212) or half-width katakana. Punctuation, Latin,
// Greek and Cyrillic letters and box drawing alone are not Japanese.
bool holds_japanese(const unsigned char* euc, size_t length);

// What the watch does with the clipboard's text as 8-bit bytes (Shift-JIS,
// or JIS when it holds escape sequences): its Get command, or 0 when it is
// empty or holds no Japanese character. The caller has already set aside
// the program's own Copy.
int watch_command_for(const std::string& clipboard_bytes);

// "Watch clipboard" on when it was off, off when it was on. Returns whether
// it is on now; the front end starts or stops its listening to match.
bool toggle_watching();

// Steps the text size one point larger (kCmdTextLarger) or smaller
// (kCmdTextSmaller) within kMinTextPoints..kMaxTextPoints. Returns the new
// size.
int step_text_points(int id);

// "1,234,567": n with thousands separators.
std::string with_thousands(size_t n);

// The credit of the dictionary in use, in EUC-JP: the glosses of the first
// line of the edict at path (its name and its copyright holder), joined by
// " - ". Empty when the file cannot be read or its first line has no
// gloss.
std::string dictionary_credit(const char* path);

// The credit of the kanji dictionary, for the About box under the
// dictionary's: "Kanji: NAME, HOLDER, CC BY-SA" from the first line of the
// kanjidic at path ("# NAME .../.../Copyright HOLDER/DATE/"), with "the same
// holder" for a holder the dictionary's credit already names. Empty when
// the file cannot be read or its first line is no such comment.
std::string kanji_dictionary_credit(const char* path, const std::string& dictionary_credit);
