// The word list: the words a reader chose to keep, one row each in
// `wordlist.tsv` beside the dictionary, for a flash-card program to import.
//
// A row is tab-separated UTF-8 ending in a line feed:
//   headword <TAB> reading <TAB> glosses <TAB> sentence <TAB> date [<TAB> form]
// taken from an entry line `HEADWORD [READING] /gloss/gloss/` (the reading
// empty for a kana headword, the glosses joined by "; "), the sentence of the
// passage around the word, and the date as YYYY-MM-DD. A word met in a
// conjugated form (the "Dictionary forms" mode) is kept by its dictionary
// form's entry, with how the text came from it, "(past of 泣く)", as a sixth
// field; other rows have five. Tabs and line ends
// inside a field become blanks. The file is only ever appended to: rows
// already there are never rewritten, and a word (headword and reading) that
// is there is not added again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

constexpr char kWordListFile[] = "wordlist.tsv";
// Bytes of passage kept on each side of the word when its sentence runs on.
constexpr size_t kSentenceReach = 150;

enum class WordListOutcome {
  kNone,           // nothing asked yet
  kAdded,          // a row was appended
  kAlreadyListed,  // the word was there; nothing written
  kNoEntry,        // nothing selected, or no entry line for it
  kFailed,         // the file could not be written; it is as it was
};

// Program-wide state of the word list; one instance, `word_list`.
struct WordList {
  WordListOutcome last;  // of the last add_word
  char date[11];         // the date rows get, YYYY-MM-DD; empty: today's
};

extern WordList word_list;

// Puts the word list back to its state at program start.
void reset_word_list();

// The fields of an entry line (EUC-JP; it ends at its first CR, LF or NUL),
// still in EUC-JP.
struct EntryFields {
  std::string headword;
  std::string reading;
  std::string glosses;
};
EntryFields entry_fields(std::string_view line);

// The sentence of text (EUC-JP) around bytes [offset, offset + length):
// from just after the last 。．！？.!? or line end before the word to the
// next one after it (a mark is kept, a line end is not), at most
// kSentenceReach bytes on either side of the word, cut at whole characters,
// without blanks at either end.
std::string_view sentence_around(std::string_view text, size_t offset, size_t length);

// The row for an entry line and a sentence (both EUC-JP) on date.
std::string word_list_row(std::string_view line, std::string_view sentence, std::string_view date,
                          std::string_view form = {});

// What became of the last add_word, for the command line: "added to
// wordlist.tsv", "already in wordlist.tsv", "nothing to add" or "could not
// write wordlist.tsv".
const char* word_list_outcome_text();

// Today's date as YYYY-MM-DD (word_list.date when it is set).
std::string word_list_date();

// Appends the row of line, sentence and form (EUC-JP; form empty for a word
// as it stands) to the file at path unless a row with the same headword and
// reading is there. Records and returns the outcome; an empty line is
// kNoEntry and touches nothing.
WordListOutcome add_word(const char* path, std::string_view line, std::string_view sentence,
                         std::string_view form = {});
