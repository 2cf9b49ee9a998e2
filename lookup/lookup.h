// The lookup engine: binary search of the index under a kana- and
// case-folding comparison, the longest-match lookups, and the segmentation of
// the passage into the listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/platform.h"
#include "store/store.h"

constexpr size_t kSearchKeySize = 100;  // bytes of the search key
constexpr size_t kEntryLineSize = 200;  // bytes of the entry line buffer
constexpr size_t kListingBufferSize = 40960;
constexpr size_t kListingTextSize = 40000;  // the listing pane's text
constexpr size_t kSingleBufferSize = 2000;
constexpr int kMaxPrefix = 20;    // characters tried per lookup
constexpr int kProbeBudget = 40;  // probes of one binary search
constexpr int kSearchMode = 1;
constexpr int kCheckMode = 2;
constexpr int kFound = 3;
constexpr int kNotFound = 4;
// Listing bytes kept free for the notice that ends a listing which is full.
constexpr size_t kNoticeRoom = 100;
// A listing walk that is not limited (build_listing_page).
constexpr int32_t kNoLimit = INT32_MAX;
extern const char kNoMatchText[];  // "  NOMATCH  \n"

// Every item of the listing advances the walk by at least one passage byte,
// and the passage is at most a kanji buffer: this many items always fit.
constexpr size_t kMaxListingItems = 40000;

// What the walk wrote for an item.
enum class ItemKind : uint8_t {
  kPassed,   // a run of ASCII, kana and row-1 symbols, copied as it stands
  kWord,     // a word, 8 blanks (16 when the line does not begin like it) and an entry line
  kNoMatch,  // a character, 16 blanks and the no-match text
};

// One item of the listing as build_listing wrote it. Offsets are bytes from
// the start of the passage (the kanji buffer) and of the listing buffer.
struct ListingItem {
  int32_t passage_offset;  // first passage byte of the item
  int32_t passage_length;  // passage bytes the walk moved over (cut at the passage's end)
  int32_t listing_offset;  // first byte written for the item
  int32_t listing_length;  // bytes written for it
  int32_t line_offset;     // its entry line (or the no-match text); -1 for a passed run
  int32_t line_length;     // bytes of that line with its 0x0A; 0 for a passed run
  int32_t prefix_length;   // bytes of the "Dictionary forms" description just before the
                           // line ("(past of 書く) "); 0 for any other item
  ItemKind kind;
  int32_t slot;  // the dictionary slot of a word's line; 0 for the other kinds
};

// Where one step of the walk ends (a copied byte or character, a word, a
// no-match item): the listing offset just past it, and the passage position
// the walk goes on from. A full listing is cut back at one of these.
struct StepEnd {
  int32_t listing_end;
  int32_t position;
};

// Program-wide state of the lookup engine; one instance, `lookup`.
struct Lookup {
  unsigned char search_key[kSearchKeySize];  // NUL-terminated EUC-JP key
  unsigned char entry_line[kEntryLineSize];  // one entry line, 0x0A, NUL; or the no-match text
  int32_t current_entry;                     // index entry under comparison
  MemoryBlock listing_block;                 // block of the listing buffer
  unsigned char* listing_buffer;             // 40960 bytes, NUL-terminated; nullptr before any Get
  MemoryBlock listing_text_block;            // block of the listing text
  unsigned char* listing_text;   // listing with 0x0D before each 0x0A; nullptr before any Get
  size_t listing_text_size;      // bytes of the listing text block
  MemoryBlock single_block;      // block of the single buffer
  unsigned char* single_buffer;  // 2000 bytes that lookup_selection fills
  int32_t word_slot;             // the dictionary slot of lookup_word's line
  int32_t word_length;           // bytes of the key that the listing writes as the word
  int32_t headword_slot;         // the dictionary slot of lookup_headword's line
  ListingItem items[kMaxListingItems];  // the items of the last listing, in passage order
  int32_t item_count;                   // items of the last listing

  // The walk of the last listing, for "Get Dodevuz NEXT" and the notice.
  int32_t passage_length;     // bytes of the passage in the kanji buffer
  int32_t listing_start;      // passage position the walk began at
  int32_t listing_stop;       // position where it stopped: passage_length when it reached the end
  bool listing_full;          // it stopped because the next item would not fit
  size_t listing_length;      // bytes of items in the listing buffer, the notice apart
  size_t notice_text_length;  // bytes of the notice at the end of the listing text (0: none)
  int32_t step_count;         // steps of the walk, each with its end in step_ends
  StepEnd step_ends[kListingBufferSize];
  bool dictionary_forms;  // "Dictionary forms": conjugated words listed by their own entry
};

extern Lookup lookup;

// Puts the lookup engine back to its state at program start.
void reset_lookup();

// 0 when the text at the current entry's position begins with the key's
// first length bytes (katakana folded to hiragana at even offsets, A-Z to
// a-z); else the folded difference key byte - text byte where they part.
int32_t compare_key(int32_t length, const unsigned char* key);

// The places of a memo, all zero, from calloc: its pages cost memory (and
// the time of clearing them) only once a place is written, so a Get that
// writes a few places does not clear megabytes. Held for the rest of the
// program; nullptr without memory.
template <typename Place>
Place* zeroed_places(size_t count) {
  static_assert(std::is_trivially_default_constructible_v<Place> &&
                std::is_trivially_copyable_v<Place>);
  return static_cast<Place*>(std::calloc(count, sizeof(Place)));
}

// What the searches of search mode found, by key: a search is a function of
// the slot's files and the key's bytes up to its NUL (at most length), so a
// key searched again is answered here, and only its line is read from the
// dictionary. A passage repeats its words, and each word's shorter prefixes
// are searched again for every word that begins alike. The places are
// overwritten as keys come (one place per hash); an entry counts only for
// the opening of the slot it was made in (store.opening), so nothing of
// another dictionary or an earlier Get is ever taken. It stands apart from
// `lookup`, which reset_lookup clears: since openings never repeat, the memo
// needs no reset, and clearing it would make all of its 1 MB resident.
constexpr size_t kSearchMemoPlaces = 16384;
constexpr size_t kSearchMemoKeySize = 40;  // bytes of the longest key kept
struct SearchMemoEntry {
  uint32_t opening;  // store.opening of the slot when made; 0 = empty
  int32_t first;     // the first matching entry; 0 = not found
  int32_t current;   // the current entry the search left
  // How lookup_word_in_slot's walk from `first` through the entries that
  // match the key went (it depends on nothing else once the key holds the
  // key's whole first character): the last entry whose line it read, and
  // whether that line begins with the first character (1) or the next entry
  // no longer matches (2); 0 while the walk was not made.
  int32_t walk_last;
  uint8_t walk_end;
  uint8_t slot;
  uint8_t length;  // bytes of key
  unsigned char key[kSearchMemoKeySize];
};
struct SearchMemo {
  SearchMemoEntry places[kSearchMemoPlaces];
  uint64_t hits;  // statistics: searches answered here
};
extern SearchMemo search_memo;

// The memo's entry of the key's first bytes (at most kSearchMemoKeySize) in
// the slot as it is open now, or nullptr when there is none.
SearchMemoEntry* find_search_memo(int slot, const unsigned char* key, size_t bytes);

// Search mode (1): the first entry whose text begins with the key's first
// length bytes. Check mode (2): whether entry start does. On status 3 the
// entry line is cut into line and *entry set; on status 4 neither is written.
// line has kEntryLineSize bytes: a line longer than 198 bytes is cut there,
// and the 0x0A and NUL still follow. A slot that is not ready (slot_ready)
// finds nothing.
void search_index(int mode, int slot, int32_t start, int32_t length, const unsigned char* key,
                  int* status, int32_t* entry, unsigned char* line);

// Search mode without the line: the first entry whose text begins with the
// key's first length bytes, 0 when there is none (or the slot is not
// ready). For a caller that needs to know only whether, or where, a key's
// run begins; nothing of the text is read when the search memo knows the key.
int32_t search_first_entry(int slot, int32_t length, const unsigned char* key);

// Longest match of the search key in every open dictionary slot; leaves one
// entry line (or the no-match text) in the entry line buffer and its slot in
// lookup.word_slot. Slot 0 gives the line of its longest matching prefix
// (lookup_word_in_slot); a further slot gives a line only for a prefix that
// is one of its headwords (the line begins with the prefix and a blank). The
// line whose word has the most matching bytes (listed_word_length for slot
// 0) wins, slot 0 and then the lower slot on equal lengths; but a headword
// of a further slot wins over a line of slot 0 of the same length that is
// not the word's own (a longer headword that begins with it: 高橋財政 for
// 高橋). Of the names dictionary's entries of the winning headword, the one
// with the commonest reading is chosen (reading_use). With slot 0 alone
// open this is lookup_word_in_slot(0). lookup.word_length is the word's
// length before it is taken to a character boundary: listed_word_length
// for slot 0's line, the headword's for a further slot's (a blank after it
// in the passage is not taken along).
void lookup_word();

// The same for one slot alone: of the entries matching the longest prefix
// (then the next shorter one, ...), the first in index order whose line
// begins with the key's whole first character (euc_lead_length); when there
// is none, the line of the last entry matching the one-character prefix.
void lookup_word_in_slot(int slot);

// The longest prefix of the search key that is a whole headword (a line
// that begins with it and a blank) of any open slot, slot 0 and then the
// lower slot on equal lengths: its line in the entry line buffer and its
// bytes returned, its slot in lookup.headword_slot; 0 and the no-match text
// when there is none. The key is left as it was.
size_t lookup_headword();

// The bytes of the key that the entry line begins with, after the line's
// leading ASCII (0x02 to 0x7E): the word the listing writes before the line.
// Plain byte equality, up to the blank that ends the line's headword (a
// blank after the word in the passage is never part of it); 0 for the
// no-match text, and 0 for a line that
// shares only part of the key's first character (another kanji of the same
// lead byte), which holds no word of the key.
size_t listed_word_length(const unsigned char* key, const unsigned char* line);

// The search key := the first length bytes of bytes (at most 99) and a NUL;
// nothing of an earlier key remains.
void set_search_key(const unsigned char* bytes, size_t length);

// Visits every entry line that matches a prefix of the search key, each line
// once however many entries, prefixes and slots lead to it, in this order:
// for each prefix length, longest first across every open slot, slot 0 and
// then every further open slot; in each, the lines that begin with that
// prefix (katakana and hiragana, upper and lower case alike, as the index
// compares), then the other lines that match it, each group in index order
// (a longer name of the names dictionary thus comes before the main
// dictionary's lines of its first character). visit gets the line
// in the entry line buffer (its bytes, 0x0A, NUL) and its length with the
// 0x0A; returning false ends the walk. The key is left as slot 0's lookup
// leaves it (its last byte dropped when below 0x20).
using SelectionLineVisitor = std::function<bool(const unsigned char* line, size_t length)>;
void for_each_selection_line(const SelectionLineVisitor& visit);

// A new single buffer (2000 bytes, zero), filled with the lines of
// for_each_selection_line, whole lines only, each with 0x0D inserted before
// its 0x0A; the first line that would not fit the kSingleBufferSize bytes
// together with the text's NUL ends the list. An empty key, or no slot with
// a file open (any_slot_open), looks nothing up, and the entry line buffer
// holds the no-match text; so it does when the buffer cannot be had
// (single_buffer nullptr).
void lookup_selection();

// Whether an entry line (as lookup_word leaves it) reads as the no-match
// text. Only its bytes 2 and 6 are tested, the 'N' and 'T' of "  NOMATCH":
// line must have at least 7 bytes.
bool is_no_match(const unsigned char* line);

// Bytes of the description put before a deinflected word's entry line.
constexpr size_t kFormsPrefixSize = 128;

// One entry found for a word in the "Dictionary forms" mode.
struct FormsMatch {
  size_t surface_length;  // bytes of the text that the word takes
  int32_t entry;          // its index entry
  int slot;               // the dictionary slot the entry is in
  unsigned char
      prefix[kFormsPrefixSize];  // "(polite past of 食べる) ", or empty for the word as it stands
  unsigned char line[kEntryLineSize];  // the entry line, 0x0A, NUL
};

// The "Dictionary forms" lookup of the text at its start (EUC-JP, available
// bytes): the longest run of up to 20 bytes of word characters (no ASCII, no
// punctuation) that is a headword of any open dictionary as it stands, or
// reaches one through the deinflection table with the entry's tags allowing
// the rules used. Fills matches with that run's entries, at most capacity:
// the word as it stands first, then words marked (P), words before
// suffixes, prefixes and counters, fewer rules, rules higher in the table,
// the lower slot, index order. at_kana: the text starts
// with hiragana, so only words written in kana (or marked (uk)) and する, 来る
// count, a word that does not inflect only from three kana on and when
// marked (P), never a particle, one kana alone or a bare continuative stem;
// a godan continuative as it stands (より -> よる) not where the kana are a
// headword or the reading of a word marked (P), unless a comma follows. At a
// particle (の, は, が, を, に, で, と, も, へ, や) nothing is found when the
// word found from the next character ends further, unless the word here is
// an expression (において). Returns the number of matches; 0 when nothing is
// reached or no table is loaded.
int lookup_forms(const unsigned char* text, size_t available, bool at_kana, FormsMatch* matches,
                 int capacity);

// What the "Dictionary forms" lookup found for a form, by key: the form's
// bytes and its terminator (' ' for a headword, ']' for a reading) in one
// slot. The walk through the index's run of such a key reads a line for
// every text in the dictionary that holds the key (大文字 and 絵文字 for 文字),
// each on a page of its own; a text repeats its words, and every surface
// gives dozens of forms, so the lines the walk found are kept here, with
// what the ranking reads of them. Like the search memo it serves only the
// opening it was made in. The lines lie in a ring of bytes, each with its
// own length (most lines are far shorter than the line buffer): a key whose
// lines have been overwritten since is walked again.
constexpr size_t kFormsMemoPlaces = 65536;
constexpr size_t kFormsMemoRingBytes = size_t{3} << 20;
constexpr size_t kFormsMemoRecordHead = 10;  // entry, found (4 bytes each), marks, length
constexpr size_t kFormsMemoMostLines = 64;   // lines of one key kept at most
constexpr size_t kFormsMemoKeySize = 50;     // a form (kFormSize - 1 bytes) and its terminator
struct FormsMemoLine {
  int32_t entry;  // the index entry of the line (headword or reading)
  int32_t found;  // the entry search_index's check left (the line's)
  bool common;    // the line is marked (P)
  bool affix;     // its first sense is a suffix, prefix or counter only
  bool kana;      // the word is written in kana (or marked (uk))
  bool particle;  // a tag group names "prt"
  unsigned char line[kEntryLineSize];
};
struct FormsMemoEntry {
  uint32_t opening;  // store.opening of the slot when made; 0 = empty
  uint8_t slot;
  uint8_t length;       // bytes of key
  uint16_t line_count;  // lines found
  uint64_t first_byte;  // where its lines begin in the ring (bytes_made then)
  unsigned char key[kFormsMemoKeySize];
};
//
// Beside them, the surfaces (the text's first bytes, as the lookup tries
// them longest first) that reached no entry at all, whatever text follows
// them: most of the longer ones. These depend on the deinflection table
// too, so they serve one context: the same openings of the same slots and
// the same table (Deinflect::generation).
//
// Its 4.9 MB are had on the mode's first lookup, so that the classic
// listing never pays for them; without them every key is walked.
constexpr size_t kEmptySurfacePlaces = 32768;
constexpr size_t kEmptySurfaceSize = 20;  // bytes of the longest surface tried
struct EmptySurface {
  uint32_t context;  // FormsMemo::context when found; 0 = empty
  uint8_t length;    // bytes of text
  bool at_kana;
  unsigned char text[kEmptySurfaceSize];
};
//
// And the ranked outcome of each surface the lookup settled on: a text
// repeats its words, and a word's surface gives the same top entry wherever
// it stands. What a surface's outcome depends on besides its bytes: whether
// the text starts with hiragana, whether ます or a comma follows it, the
// context above, and the ranked dictionary of readings (Readings::
// generation). An outcome of no entry (all dropped) is kept too. Only the
// top entry is kept, so a hit serves a caller that asks for one entry, or a
// surface that has one. 1.5 MB, had on the mode's first lookup.
constexpr size_t kSurfaceResultPlaces = 4096;
struct SurfaceResult {
  uint32_t context;   // FormsMemo::context when found; 0 = empty
  uint32_t readings;  // Readings::generation when found
  uint8_t length;     // bytes of text
  bool at_kana;
  bool polite;  // ます follows
  bool comma;   // a comma follows
  unsigned char text[kEmptySurfaceSize];
  int32_t count;    // entries found, 0 for none
  FormsMatch best;  // the first of them when count > 0
};
//
// And where the runs of the keys it searches begin (search_first_entry), by
// slot and key: the prefixes of the text that decide which forms can be in
// a dictionary at all, and the forms' own keys. They are far more than the
// search memo holds; 3 MB, had on the mode's first lookup, keep them for a
// long text. Like the search memo, an entry serves only the opening it was
// made in.
constexpr size_t kFirstEntryPlaces = 65536;
constexpr size_t kFirstEntryKeySize = 32;  // bytes of the longest key kept
struct FirstEntry {
  uint32_t opening;  // store.opening of the slot when made; 0 = empty
  int32_t first;     // what search_first_entry returned
  int32_t current;   // the current entry it left
  uint8_t slot;
  uint8_t length;  // bytes of key
  unsigned char key[kFirstEntryKeySize];
};
//
// Over a long text the mode searches each dictionary for far more keys than
// it holds words: every candidate form, in every dictionary. Once it has
// looked up kWordFilterAfter surfaces, it reads each open dictionary's text
// once, a chunk at a time, and keeps a filter of its headwords (with the
// blank after them) and readings (with the ']' after them): a key the
// filter does not know is no headword or reading there, and is not
// searched. Bits: the power of two at or above half the text's bytes
// (some 1 in 50 keys passes in vain), at most kWordFilterMostBits; a filter
// serves only the opening it was made from.
constexpr uint64_t kWordFilterAfter = 16384;
constexpr uint64_t kWordFilterMostBits = uint64_t{1} << 26;  // 8 MiB
constexpr int kWordFilterHashes = 6;
struct WordFilter {
  uint32_t opening;  // store.opening of the slot when made; 0 = none
  bool usable;       // made whole (false: the text could not be read)
  bool readings;     // it holds the readings too, not only the headwords
  // Every word class that a tag of the file's lines names (entry_classes
  // of each line as the lookup cuts it), by the deinflection table of that
  // generation (0: none was loaded): a dictionary of names has none.
  uint64_t classes;
  uint32_t classes_table;
  uint64_t bit_count;  // a power of two, 4096 or more
  uint64_t* bits;      // bit_count / 64 words; nullptr without a filter
};
struct FormsMemo {
  FormsMemoEntry* places;  // kFormsMemoPlaces, zero at first; nullptr before the first lookup
  unsigned char* ring;     // kFormsMemoRingBytes
  EmptySurface* empty;     // kEmptySurfacePlaces, zero at first
  SurfaceResult* results;  // kSurfaceResultPlaces, zero at first
  FirstEntry* firsts;      // kFirstEntryPlaces, zero at first
  uint64_t bytes_made;     // bytes ever put in the ring, the gaps at its end counted
  uint64_t hits;           // statistics: keys answered here
  uint64_t empty_hits;     // statistics: surfaces known to reach nothing
  uint64_t result_hits;    // statistics: surfaces whose outcome was known
  uint64_t first_hits;     // statistics: searches answered by firsts
  WordFilter filters[kSlotCount];
  uint64_t lookups;       // surfaces looked up since the filters could be made
  uint64_t filter_after;  // lookups before the filters are made (kWordFilterAfter)
  uint64_t filtered;      // statistics: keys the filters spared a search
  // The context of the surfaces: a number for each set of openings, ready
  // slots and table in turn (1, 2, ...).
  uint32_t context;
  uint32_t context_openings[kSlotCount];
  uint32_t context_ready;  // bit s: slot s ready
  uint32_t context_table;
};
extern FormsMemo forms_memo;

// Forgets everything the "Dictionary forms" lookup's memos hold (keys,
// surfaces, outcomes, statistics); their memory stays for the next lookup.
// The memos never serve another dictionary or table than their own, so this
// is for tests that count what is searched.
void reset_forms_memo();

// The slot's word filter (forms_memo.filters), made now when the slot was
// opened since it was last made, or with_readings and it holds headwords
// only: false when it cannot be (no memory, the text cannot be read), and
// every key must then be searched. The classic lookup asks only for
// headwords: the filter then holds half the keys, and lets far fewer pass
// in vain.
bool word_filter_usable(int slot, bool with_readings);

// Whether key (length bytes: a headword and its blank, or a reading and its
// ']') may be a headword or reading of the slot; true unless the slot's
// filter is usable and does not know the key.
bool word_filter_may_hold(int slot, const unsigned char* key, size_t length);

// Whether the slot's filter is made and knows that none of the slot's lines
// carries any of the word classes (a ClassSet of the deinflection table
// loaded now): a form reached by rules that must be one of them is then no
// word of the slot.
bool word_filter_lacks_classes(int slot, uint64_t classes);

// What the exact-headword look-ups of the further dictionaries found
// (lookup_word asks the names dictionary at almost every position of a
// text for the longest prefix that is one of its headwords), by slot and
// probe (the prefix and its blank). The run of a probe holds every name
// that ends in it (山田 for 小山田, 奥山田, ...), each line on a page of its
// own, so a probe's walk and the ranking of its readings read dozens of
// pages; a text repeats its names, and each is walked once. A place keeps
// the first line whose headword is the probe (or that there is none within
// the walk) and, once ranked, the line with the commonest reading from a
// given entry on; lines longer than kHeadwordMemoLineSize are read again
// from their entry. Like the search memo it serves only the opening it was
// made in, the ranking only the ranked readings it was made with
// (Readings::generation). Once a further slot was looked up
// kHeadwordFilterAfter times (a long text: one Get of a passage takes some
// 2,500), the slot's word filter rules out the probes of prefixes that are
// no headword, and the prefixes themselves are no longer searched. 2 MB,
// had on the first look-up of a further slot.
constexpr size_t kHeadwordMemoPlaces = 4096;
constexpr uint64_t kHeadwordFilterAfter = 1024;
constexpr size_t kHeadwordMemoLineSize = 96;  // bytes of a line kept, its 0x0A and NUL included
constexpr size_t kHeadwordProbeSize = kMaxPrefix * 2 + 1;  // bytes of the longest probe
struct HeadwordMemoEntry {
  uint32_t opening;     // store.opening of the slot when made; 0 = empty
  uint32_t readings;    // Readings::generation of the ranking; 0 = not ranked
  int32_t entry;        // the line's entry; 0 = no line within the walk
  int32_t ranked_from;  // the entry the ranking started from
  int32_t ranked;       // the entry of the line it chose
  uint8_t slot;
  uint8_t length;        // bytes of probe, its blank included
  uint8_t line_bytes;    // bytes of line, NUL included; 0 = not kept
  uint8_t ranked_bytes;  // the same for ranked_line
  unsigned char probe[kHeadwordProbeSize];
  unsigned char line[kHeadwordMemoLineSize];
  unsigned char ranked_line[kHeadwordMemoLineSize];
};
struct HeadwordMemo {
  HeadwordMemoEntry* places;  // kHeadwordMemoPlaces; nullptr before the first look-up
  uint64_t lookups;           // look-ups of further slots (the filters serve past kWordFilterAfter)
  uint64_t hits;              // statistics: probes answered here
  uint64_t ranked_hits;       // statistics: rankings answered here
  uint64_t filtered;          // statistics: probes the filters spared
};
extern HeadwordMemo headword_memo;

// Forgets what the headword memo holds, its count of look-ups and its statistics (its memory
// stays): for tests that count what is searched.
void reset_headword_memo();

// Segments the kanji buffer into a new listing buffer, which replaces (and
// frees) the previous one. The walk stops before an item that would not fit
// whole, so the listing stays NUL-terminated within its 40960 bytes; the
// listing then ends with the notice (listing_notice) on a line of its own,
// for which room is kept. When the buffer cannot be had, "malloc failed for
// kanji buffers2!" is shown and listing_buffer is nullptr.
//
// Each item written is recorded in lookup.items, in passage order: adjacent
// copied bytes form one passed run, each looked-up position one word or
// no-match item. The items lie end to end from where the walk began (a byte
// the walk passes over without writing anything joins a passed run), and the
// last one ends where the listing stopped; the notice is not an item.
void build_listing(Window main_window);

// The listing text anew from the listing buffer: its bytes with a 0x0D
// before every 0x0A, nothing else changed. The block has the usual 40000
// bytes, or more when the line ends need it, so nothing is cut. A missing
// listing buffer reads as empty; without memory listing_text is nullptr.
void build_listing_text();

// A listing text of given text (EUC-JP, line ends as they are): a new
// 40000-byte block holding text cut at a whole character so that its NUL
// fits. Returns the bytes placed (0 without memory; listing_text nullptr).
size_t place_listing_text(std::string_view text);

// Unlocks the listing text's block ("Clear All", "Exit"): from then on there
// is no listing text to read (listing_text nullptr).
void unlock_listing_text();

// The same walk from passage position start (a position where an earlier
// listing stopped). It also stops, without a notice, at the first item
// boundary at or past limit: a caller that holds only part of a longer text
// in the kanji buffer stops where the lookups still see whole keys.
void build_listing_page(Window main_window, int32_t start, int32_t limit);

// The notice that ends a full listing, one ASCII line without its line end:
// "-- listing full: 6,231 of 39,998 bytes listed; Get Dodevuz NEXT goes on --"
// (the passage bytes listed so far and the passage's length; for a page of a
// longer text, the text's bytes listed so far and the whole text's length).
std::string listing_notice(int32_t listed, int32_t passage_length);

// Cuts the listing after its last step that ends at or before offset
// text_end of the listing text (0x0D before each 0x0A counted; text_end just
// past a 0x0A) and ends it with the notice; NEXT then goes on from there.
// Returns false, changing nothing, when no step ends there or the listing
// already ends there.
bool end_listing_at(size_t text_end);

// A listing that stopped at its walk's limit, before the end of its passage
// (a page of a longer text), ends with the notice as a full one does, so
// that the reader sees that NEXT goes on. Returns false, changing nothing,
// for a listing that is full already or reached its passage's end.
bool end_page_listing();

// True when the last listing stopped before the end of its passage because
// it was full: "Get Dodevuz NEXT" goes on from listing_stop.
bool listing_has_more();

// Turns the "Dictionary forms" mode on or off for the listings and Single
// lookups that follow.
void set_dictionary_forms(bool on);

// Forgets where the last listing stopped, so that NEXT has nothing to go on
// with ("Clear All", "Exit").
void forget_listing_position();
