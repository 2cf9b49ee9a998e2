// What the two desktop programs (the Win32 window and the Qt window) share
// beyond the command dispatch: the layout of the three panes in a client
// area of any size, the empty panes a new window shows, the one-line
// feedback after each command, the decision whether a new clipboard text is
// to be looked up while the clipboard is watched, the text size of the
// panes, a text file opened or dropped, the settings kept between runs, and
// the dictionaries' credits of the About box. No window system here: the
// front ends apply what these say.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// Menu command ids of the desktop programs beyond the shell's.
constexpr int kCmdWatchClipboard = 112;  // checkable: Get on every new clipboard text
constexpr int kCmdTextLarger = 115;
constexpr int kCmdTextSmaller = 116;
constexpr int kCmdOpenFile = 119;       // "&Open...", Ctrl+O: a text file
constexpr int kCmdResetSettings = 120;  // "&Reset Settings": the defaults, the file removed
constexpr int kCmdOpenWordList = 121;   // "Open &Word List": in the system's program for it

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

// Bytes of the status text (UTF-8: it may name a file), its NUL included.
constexpr size_t kStatusSize = 640;

// The shares of the pane area's height that the romaji, listing and single
// panes get at start: the listing, read most, the largest.
constexpr int kDefaultSplit[3] = {100, 190, 100};

enum class PaneRole { kRomaji, kListing, kSingle };

struct PaneRect {
  int x, y, width, height;
};

// Program-wide state the desktop programs share; one instance,
// `desktop_shell`.
struct DesktopShell {
  bool watching = false;                 // "Watch clipboard" is on (off at start)
  int text_points = kDefaultTextPoints;  // text size of the panes, kept for the session
  int split[3] = {kDefaultSplit[0], kDefaultSplit[1], kDefaultSplit[2]};  // pane shares
  std::string last_folder;        // where the last file was opened from (UTF-8), or empty
  std::string opened_name;        // the name of the file the passage came from, or empty
  char status[kStatusSize] = {};  // what the last command did, NUL-terminated UTF-8
};

extern DesktopShell desktop_shell;

// Back to the start: not watching, the default text size and split, no
// status.
void reset_desktop_shell();

// Where a pane lies in a client area of client_width x client_height
// pixels. The margins (10 left, right and below) and the 2-pixel gaps stay;
// the heights share what is left in the proportions of desktop_shell.split
// (with the shares 190 : 100 : 100 of the shell's own places, each pane lies
// at kDesignClientWidth x kDesignClientHeight exactly where the shell makes
// it). A client area smaller than the margins gives empty panes inside it,
// never negative sizes.
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
//   Get, NEXT: "Listed N words from X of Y characters" (numbers with
//           thousands separators; X and Y count the whole text, of which the
//           passage may be a page), "The clipboard holds no text" or "No
//           Japanese text on the clipboard";
//   Open:   the same after "NAME (ENCODING): ", or "NAME is empty";
//   Single: "N entry lines for the selection" or "Nothing selected in the
//           listing";
//   Copy:   "Copied N characters";
//   Add to Word List: "Added to PATH", "Already in PATH", "Could not write
//           PATH" (PATH the word list's full path) or "Nothing to add:
//           select a word in the listing";
//   Kanji Details: kanji_details_outcome_text() (kanji_details.h);
//   Mark as Known: "Marked as known in known.tsv", "Already known", "Could
//           not write known.tsv" or "Nothing to mark: select a word in the
//           listing";
//   Clear All: "Cleared"; Watch: "Watching the clipboard" or "Stopped
//   watching the clipboard"; text size: "Text size N points"; Reset
//   Settings: "Settings reset to the defaults".
// Other ids leave the status as it is. Returns desktop_shell.status.
const char* describe_command(int id);

// Puts text (UTF-8) in the status, cut at a whole character to its buffer.
// Returns desktop_shell.status.
const char* set_status(std::string_view text);

// Why the shortcut of a greyed command does nothing, for the status line
// ("Nothing more to list" for NEXT), or nullptr when command id is not
// greyed out.
const char* greyed_reason(int id);

// The status after a watched clipboard change that was not looked up:
// "Nothing to list: the clipboard holds no text" or "Nothing to list: no
// Japanese text on the clipboard". The panes stay as they are.
const char* describe_unwatched(const std::string& clipboard_bytes);

// The full path of the word list, wordlist.tsv in the working directory
// (the platform's separators), for the status line and Open Word List.
std::string word_list_path();

// Characters of EUC-JP text (euc_lead_length steps), up to length bytes.
size_t euc_characters(const unsigned char* text, size_t length);

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

// The About box's credits, in EUC-JP, one per dictionary a Get opens (or
// has opened) in the working directory: edict always when it is there,
// enamdict and userdict when their index is there too. Each names its file
// and its credit; a dictionary of the Electronic Dictionary Research and
// Development Group adds its licence, "Creative Commons
// Attribution-ShareAlike (CC BY-SA)". Empty when there is no dictionary.
std::vector<std::string> dictionary_credits();

// ---- A text file, opened or dropped ----

// Lists a file's bytes as a Get lists the clipboard's text: their encoding
// detected (detect_encoding), the whole text kept in pages for NEXT. name
// (UTF-8, the file's name as the reader knows it) goes in the status. When
// the encoding cannot be told, nothing changes and a message (UTF-8,
// "Cannot open NAME: it ...") is returned for the front end to show, and
// put in the status; nullptr otherwise.
const char* open_text(Window main_window, const std::string& bytes, const std::string& name);

// ---- Settings kept between runs ----

// What the desktop programs keep between runs. Window sizes are pixels at
// 96 DPI (the front end scales them); a width or height of 0 and a
// position of kUnsetPosition leave the choice to the system.
constexpr int kUnsetPosition = -32768;
struct DesktopSettings {
  int x = kUnsetPosition, y = kUnsetPosition;
  int width = 0, height = 0;
  bool maximized = false;
  int split[3] = {kDefaultSplit[0], kDefaultSplit[1], kDefaultSplit[2]};
  int text_points = kDefaultTextPoints;
  bool dictionary_forms = false;
  bool watching = false;
  std::string last_folder;  // UTF-8
};

// The settings as the program stands now (window geometry left at its
// defaults: the front end fills it in).
DesktopSettings current_settings();

// Sets desktop_shell's text size, split and last folder and the "Dictionary
// forms" mode from settings; watching is the front end's to start.
void apply_settings(const DesktopSettings& settings);

// One setting from its key and its text ("TextSize", "12"): a key it does
// not know, or a value that is no number or out of its range, leaves the
// setting as it was. Returns whether it was taken.
bool read_setting(DesktopSettings* settings, std::string_view key, std::string_view value);

// Every setting as key and value text, in the order a file lists them.
std::vector<std::pair<std::string, std::string>> setting_values(const DesktopSettings& settings);

// The settings file's text: "[Dodevuz]" and a "Key=Value" line each; and
// back. Lines that are damaged or unknown are passed over, so a damaged
// file gives the defaults for what it lost, never a failure.
std::string settings_text(const DesktopSettings& settings);
DesktopSettings settings_from_text(std::string_view text);
