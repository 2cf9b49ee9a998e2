// Known words: the words a reader already knows, in `known.tsv` beside the
// dictionary, so that a text's new words can be told from the rest.
//
// A row is tab-separated UTF-8 ending in a line feed:
//   headword <TAB> reading                 the word is known
//   headword <TAB> reading <TAB> removed   it is no longer known
// The file is only ever appended to, one whole row per write, so that two
// programs marking words at once lose none: a removal is a row of its own,
// and the last row of a word says what holds. An empty reading stands for
// every reading of the headword (a row of the word's own reading still wins).
// A line that is not such a row (not UTF-8, no tab, an empty headword, an
// unknown third field) is damaged: it is skipped, and its number noted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

constexpr char kKnownFile[] = "known.tsv";
constexpr char kRemovedMark[] = "removed";

enum class KnownOutcome {
  kNone,     // nothing asked yet
  kMarked,   // a row was appended: the word is known now
  kAlready,  // it was known; nothing written
  kRemoved,  // a removal row was appended
  kAbsent,   // it was not known; nothing written
  kNoWord,   // no word given, or no entry for the selection
  kFailed,   // the file could not be read or written; it is as it was
};

// Program-wide state of the known words; one instance, `known_words`.
struct KnownWords {
  // "headword\treading" (UTF-8) -> whether the last row of it says known.
  std::unordered_map<std::string, bool> rows;
  std::vector<std::string> order;           // the keys of rows as they first came
  std::vector<size_t> damaged;              // 1-based numbers of the damaged lines last read
  KnownOutcome last = KnownOutcome::kNone;  // of the last mark_known
  std::string text;                         // what rows, order and damaged were read from
};

extern KnownWords known_words;

// Puts the known words back to their state at program start (none).
void reset_known_words();

// Reads the rows of text (a known.tsv's whole content) into known_words,
// replacing what was there.
void parse_known_words(std::string_view text);

// Reads the file at path into known_words. A missing file is an empty list;
// false when it is there but cannot be read (known_words is then empty).
bool read_known_words(const char* path);

// read_known_words for a program that starts afresh and reads the file again
// and again (the reading page's server, at every page): the rows of kept,
// known_words as an earlier read left it, are taken as they stand when the
// file holds the text they were read from, and the file is parsed otherwise.
bool read_known_words_again(const char* path, KnownWords&& kept);

// Whether the word (UTF-8) is known, as known_words says.
bool word_known(std::string_view headword, std::string_view reading);

// The known words in the order they were first marked, each
// "headword\treading".
std::vector<std::string> known_word_list();

// Marks the word (UTF-8; tabs and line ends in it become blanks) known, or
// no longer known, in the file at path: reads the file first and appends
// one row only when that changes what it says. Records the outcome in
// known_words.last and returns it; known_words then holds the file as it is.
KnownOutcome mark_known(const char* path, std::string_view headword, std::string_view reading,
                        bool known = true);

// What became of the last mark_known, for a status line or the command line:
// "marked as known", "already known", "no longer known", "was not known",
// "nothing to mark" or "could not write known.tsv".
const char* known_outcome_text();
