// The reading-to-learn commands of the command line: `known`, `vocab` and
// `export-cards` (study.cpp), with their usage texts.
#pragma once

#include <string>

int command_known(int argc, char** argv);
int command_vocab(int argc, char** argv);
int command_export_cards(int argc, char** argv);

extern const char kUsageKnown[];
extern const char kUsageVocab[];
extern const char kUsageExportCards[];

// One card's word (UTF-8): its entry's headword, reading and glosses ("; "
// between them, as the word list joins them), the sentence it came in, and
// the text it stood as there (empty when not known).
struct CardWord {
  std::string headword, reading, glosses, sentence, text;
};

// The header lines of a card file for Anki 2.1.55 and later: tab-separated,
// HTML fields, the Basic note type, the deck, the column names, and which
// columns hold the note's id, its deck and its tags.
std::string card_file_header(const std::string& deck);

// One note of a card file, with its line end: the word's stable id (the same
// headword and reading, the same id), the word, the back (reading, the
// senses as a numbered list, the sentence with the word in bold), the deck
// and the tag "dodevuz". Text is HTML-escaped (< > & " ' and tabs), so no
// field holds a tab or a line end.
std::string card_note(const CardWord& word, const std::string& deck);
