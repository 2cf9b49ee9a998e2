// The window shell's commands, on any platform: the one dispatch of the menu
// commands by id, the Get chain, "Single Dodevuz", "Copy" and the clean-up of
// "Clear All" and "Exit". The window procedure of the desktop program, the
// command line and the tests all go through dispatch_command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/pane_layout.h"
#include "platform/platform.h"
#include "store/store.h"

// Menu command ids.
constexpr int kCmdExit = 101;
constexpr int kCmdAbout = 102;
constexpr int kCmdSingle = 105;
constexpr int kCmdCopy = 106;
constexpr int kCmdGetJis = 108;
constexpr int kCmdGetShift = 109;
constexpr int kCmdClearAll = 110;
constexpr int kCmdNext = 111;             // "Get Dodevuz NEXT"
constexpr int kCmdAddToWordList = 113;    // "Add to Word List"
constexpr int kCmdDictionaryForms = 114;  // "Dictionary forms", a checkable item
constexpr int kCmdMarkKnown = 118;        // "Mark as Known"

constexpr size_t kSelectionBufferSize = 50;
constexpr size_t kCopyBufferSize = 40000;

// What the dispatch did, for a front end that has to act on it.
enum class CommandResult { kDone, kShowAbout, kCloseWindow, kUnknown };

// Program-wide state of the shell; one instance, `shell`.
struct Shell {
  Window main_window;                                    // of the last command dispatched
  Window listing_pane;                                   // nullptr when there is none
  Window single_pane;                                    // nullptr when there is none
  unsigned char selection_buffer[kSelectionBufferSize];  // first 50 selected bytes, no NUL
  MemoryBlock copy_block;  // buffer of the last Copy (freed by the next)
  bool get_blocks_locked;  // a Get ran and no clean-up since
};

extern Shell shell;

// Puts every subsystem back to its state at program start (tests, and a
// front end that starts afresh), the page cache set up for frame_count
// frames (bounded_frame_count); only the kanji table is kept (reset_kanji).
void reset_program_state(int frame_count = kDefaultFrameCount);

// The same for everything but the dictionaries: the store keeps its open
// files and its page cache, and the deinflection table stays loaded, so a
// server that runs one request after another reads each dictionary page once.
void reset_passage_state();

// Runs one menu command. About and Exit leave the window work (the About box,
// WM_CLOSE) to the front end, as the result says.
CommandResult dispatch_command(Window main_window, int id);

// The Get chain after the intake: open the dictionary, (in the "Dictionary
// forms" mode, read deinflect.txt anew), build the listing, the
// listing pane, load the romaji table (which ends the program when
// kanarom.cnv is missing), the romaji text and pane. Every step runs whatever
// the previous one reported.
void run_get_chain(Window main_window);

// "Get Dodevuz NEXT": the same chain on the kanji buffer as it is, the
// listing walk going on from where the last listing stopped. NEXT pages
// through a long text, so the cache grows to frames_for_run_of_pages() when
// it is smaller (and stays so for later commands). Does nothing when
// next_available() is false.
void run_next_chain(Window main_window);

// Whether "Get Dodevuz NEXT" has something to list: the last listing was full
// before the end of its passage, and no Clear All or Exit came since. The
// front ends grey the command out otherwise.
bool next_available();

// The page frames of a run of many pages (`get --all`, the reading page's
// server, "Get Dodevuz NEXT" through a long text): a frame for every page of
// both files of each dictionary in the working directory (edict, enamdict,
// userdict and their indexes; a slot counts only with both files), so that
// no page is read twice in the run, at least kDefaultFrameCount and at most
// kRunFrameBound (kFormsRunFrameBound in the forms mode). A single Get keeps
// kDefaultFrameCount; a frame is 12 KiB, and a frame costs memory only once a
// page has been read into it.
// 27.5 MiB: the whole of edict and edict.jdx (2,314 pages of the full
// dictionary) and some more; the names look-ups' memo and filter take 3 MiB.
constexpr int kRunFrameBound = 2350;
// In the "Dictionary forms" mode its memos and word filters (about 17 MiB over
// a long text) share that budget: they spare far more page reads than the
// frames they take the place of.
constexpr int kFormsRunFrameBound = 900;  // 10.5 MiB
static_assert(kRunFrameBound <= kMaxFrameCount && kFormsRunFrameBound <= kRunFrameBound);
int frames_for_run_of_pages();

// The files of a run of pages (run_page_chain), once for the whole run: the
// Get's blocks locked until the next clean-up, the dictionaries opened, in
// the "Dictionary forms" mode the deinflection table read, and the romaji
// table loaded (which ends the program when kanarom.cnv is missing).
void open_for_pages(Window main_window);

// One page of a longer text on the dictionary and romaji table already in
// place (no files opened): the listing from passage position start, stopping
// at limit as build_listing_page does, then both panes as a Get makes them.
void run_page_chain(Window main_window, int32_t start, int32_t limit);

// The last step of every chain: when the romaji buffer filled before the
// listing's end, both panes end at the romaji's last whole line, with the
// notice (the listing cut, its pane and the romaji made again).
void end_where_romaji_stops(Window main_window);

// "Dictionary forms": turns the mode on or off (lookup.dictionary_forms, off
// at start; the front end shows it as the item's check mark). When a Get has
// run, its passage is listed again at once in the new mode, with the listing
// and romaji panes made anew.
void toggle_dictionary_forms(Window main_window);

// The listing text anew from the listing buffer (build_listing_text), then
// the listing pane anew (make_listing_pane).
void create_listing_pane(Window main_window);

// The listing pane anew with the listing text as it stands (empty when there
// is none).
void make_listing_pane(Window main_window);

// "Single Dodevuz": the listing pane's selection (at most 50 bytes of the
// listing text) becomes the search key, lookup_selection fills a new single
// buffer, and the single pane is made anew with it.
void lookup_selected_text(Window main_window);

// "Add to Word List": "Single Dodevuz" for the listing pane's selection (so
// the single pane shows what it finds), then the word's entry line goes to
// wordlist.tsv in the working directory (selected_entry). Its sentence is the passage's around the word
// whose listing item holds the selection's start (the listing text's own
// when there is no passage behind it, as for a text looked up directly). A
// file that cannot be written is reported ("Cannot write to word list
// file:", caption "wordlist.tsv") and is left as it was. The outcome is in
// word_list.last.
void add_selected_word(Window main_window);

// The entry a command on the listing's selection acts on, after "Single
// Dodevuz" ran for it: in the "Dictionary forms" mode the entry of the
// selection's dictionary form (line and how the text came from it, "(past
// of 泣く)"); else, or when it has none, the longest headword of any
// dictionary that the selection begins with (lookup_headword), else the
// first line Single would list. A line of the names dictionary counts only
// when its headword is the whole selection (blanks and line ends at its end
// apart): a name is never taken for the start of a longer word. Both texts
// EUC-JP without the line end; line empty when there is no entry.
struct SelectedEntry {
  std::string line;
  std::string form;
};
SelectedEntry selected_entry();

// "Mark as Known": the selection's entry (selected_entry, after "Single
// Dodevuz" for it) is marked known in known.tsv in the working directory.
// A file that cannot be written is reported ("Cannot write to known words
// file:", caption "known.tsv"). The outcome is in known_words.last.
void mark_selected_known(Window main_window);

// "Copy": the selection of the focused pane (listing, else single, else the
// romaji pane) out of the shell's copy of that pane's text goes to the
// clipboard, owned by that pane. Selections are cut at the end of that text.
void copy_selection(Window main_window);

// The clean-up steps of "Clear All" and "Exit": empty the clipboard, close
// every dictionary slot, unlock the last Get's blocks (first frame block, listing text,
// romaji table file buffer, romaji buffer, the other frame blocks), destroy
// the listing, single and romaji panes. Whatever does not exist is skipped.
void clean_up(Window main_window);
