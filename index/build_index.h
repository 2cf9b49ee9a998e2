// The index builder: makes `edict.jdx` for an `edict` text file, and checks
// that an existing `edict.jdx` is in the order the lookup searches it.
//
// Entries are 1-based positions into the text (signed 32-bit little-endian,
// after a word 0 that is no entry). They are sorted by the text that starts at
// each position, compared byte by byte as the lookup compares a key with it:
//  - A-Z read as a-z, at every offset;
//  - 0xA5 (the lead byte of katakana) reads as 0xA4 (that of hiragana) at
//    even offsets from the entry's position, not from the start of the file;
//  - a line end 0x0A is compared like any other byte, and positions past the
//    end of the text read as 0x0A;
//  - bytes are unsigned; the first kOrderSpan bytes are compared, and ties
//    are broken by position so that the output is always the same.
//
// Indexed positions, per entry line `HEADWORD [READING] /gloss/gloss/`:
//  - the first byte of the headword;
//  - every further character of the headword that the listing looks up
//    (lead byte 0x80 or above, but not 0xA1 symbols, 0xA4 hiragana or 0xA5
//    katakana): each kanji of a compound finds the compound;
//  - the first byte of the reading, after '[';
//  - the first letter of every run of ASCII letters in the glosses, except
//    inside the tags that open a gloss: parenthesised or braced groups before
//    its text, such as (n), (v5r), (adj-i), (P) or {comp}.
// Header lines, whose headword begins with a full-width blank (0xA1 0xA1),
// empty lines and lines that begin with a blank are not indexed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Bytes compared when ordering entries: more than the longest key the lookups
// compare (20 two-byte characters), so every search finds its whole run.
constexpr int kOrderSpan = 50;

// Largest text indexed: a position plus the bytes a comparison reads past it
// stays within signed 32 bits.
constexpr uint32_t kMaxTextSize = 0x7FFFFFFF - 64;

// What a build indexed.
struct IndexStats {
  uint64_t text_bytes = 0;        // size of edict
  uint32_t lines = 0;             // lines of edict
  uint32_t skipped_lines = 0;     // header, empty and blank-led lines
  uint32_t headwords = 0;         // first bytes of headwords
  uint32_t inner_characters = 0;  // further characters of headwords
  uint32_t readings = 0;          // first bytes of readings
  uint32_t words = 0;             // English words of the glosses
  uint32_t entries = 0;           // all of the above: the entries written
};

// Makes jdx_path from the text file at edict_path. The index is written to a
// temporary file beside jdx_path and renamed over it only when complete, so
// a failed build leaves any previous index in place. On failure returns false
// with a message in *error. stats may be null.
bool build_index(const char* edict_path, const char* jdx_path, std::string* error,
                 IndexStats* stats);

// Checks the pair: the text is usable (see check_text), the index is a
// whole number of 4-byte words holding as many entries as the text calls for
// (index_positions), every entry lies
// inside the text (1 to its size), and each entry's text is not ordered
// before the previous one's (ties in either order pass, since the search
// cannot tell them apart). Returns false with the first fault in *fault.
bool check_index(const char* edict_path, const char* jdx_path, std::string* fault);

// Writes the dictionary text a reader wrote in UTF-8 (entry lines
// `HEADWORD [READING] /gloss/gloss/`) to euc_path as the EUC-JP text the
// lookup reads: a leading byte-order mark is dropped, CR LF becomes LF, and
// the last line gains its line end. Every line must convert whole; otherwise
// nothing is written and *error names the first line that does not. The
// text is written beside euc_path and renamed over it only when complete.
bool write_user_dictionary(std::string_view utf8, const char* euc_path, std::string* error);

// The conversion step of write_user_dictionary, in memory.
bool user_dictionary_from_utf8(std::string_view utf8, std::string* euc, std::string* error);

// The in-memory steps of the two calls above, for the tests and for callers
// that hold the text already. text is the whole of edict.

// Rejects a text that the lookup cannot serve correctly: one too large for
// signed 32-bit positions (kMaxTextSize), one that holds a NUL byte (the
// lookup's comparison takes NUL as the end of a match), or one whose last line
// has no line end. Returns false with a message in *error.
bool check_text(std::string_view text, std::string* error);

// The positions to index, in the order of the text. stats may be null.
std::vector<int32_t> index_positions(std::string_view text, IndexStats* stats);

// Sorts positions (each 1 to text size) into index order.
void sort_positions(std::string_view text, std::vector<int32_t>* positions);

// entries[0] is entry 1. Checks range and order as check_index does.
bool check_entries(std::string_view text, const std::vector<int32_t>& entries, std::string* fault);
