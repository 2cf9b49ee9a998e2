// An entry line's glosses as a dictionary shows them: grouped by the line's
// own sense markers "(1)", "(2)", each sense with its part-of-speech tags
// and its other labels ("uk", "arch", a name's "p"/"s"/"f"), and "(P)" taken
// as the entry's "common" mark. Works on the glosses of one line in the
// order the line has them, UTF-8.
//
// A gloss may begin with tag groups "(n,adj-no) (1) (uk) text": a group of
// digits starts a new sense; a group whose comma-separated parts are all
// known tags gives those tags to the sense; the first group that is neither
// ("(to) eat") is the gloss's own text. A line without sense markers is one
// sense, its glosses synonyms of each other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct Sense {
  std::vector<std::string> pos;     // part-of-speech tags: "n", "v5r", "adj-i"
  std::vector<std::string> labels;  // other tags: "uk", "arch", "p"
  std::vector<std::string> glosses;
};

struct SenseList {
  bool common = false;  // the line is marked "(P)"
  std::vector<Sense> senses;
};

SenseList group_senses(const std::vector<std::string>& glosses);

// What a tag means, for a hint over its label ("uk": "usually written in
// kana"), or nullptr when it is not a tag this program knows.
const char* tag_meaning(std::string_view tag);

// Whether a known tag names a part of speech.
bool is_pos_tag(std::string_view tag);
