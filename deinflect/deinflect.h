// Deinflection: the table of inflected endings (deinflect.txt) and the walk
// that takes the endings of a conjugated word off, one at a time, to the
// forms a dictionary lists (食べました -> 食べる, 書かれている -> 書く).
// The walk only proposes forms; whether a form is a word is for the lookup
// to find out in the dictionary.
//
// The table's format is described at the top of data/deinflect.txt. Its text
// is UTF-8 and is converted to EUC-JP line by line when loaded; everything
// here works on EUC-JP bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr int kMaxRules = 512;             // rules of a table
constexpr int kMaxClasses = 64;            // distinct class names of a table
constexpr size_t kClassNameSize = 16;      // bytes of a class name, NUL included
constexpr size_t kEndingSize = 33;         // bytes of an ending or base, NUL included
constexpr size_t kRuleNameSize = 48;       // bytes of a rule's name, NUL included
constexpr size_t kFormSize = 49;           // bytes of a form, NUL included
constexpr int kMaxSteps = 8;               // rules applied to reach one form
constexpr int kMaxForms = 96;              // forms one surface can give
constexpr size_t kTableFileLimit = 65536;  // bytes of deinflect.txt read at most
constexpr int kEndingBuckets = 128;        // see Deinflect::by_ending
extern const char kDeinflectFile[];        // "deinflect.txt"

// A set of classes: bit k is the table's class k.
using ClassSet = uint64_t;

struct DeinflectRule {
  unsigned char ending[kEndingSize];  // EUC-JP, NUL-terminated; empty for "-"
  unsigned char base[kEndingSize];    // EUC-JP, NUL-terminated; empty for "-"
  uint8_t ending_length;              // bytes of ending
  uint8_t base_length;                // bytes of base
  ClassSet applies;                   // classes of the word the rule reaches
  ClassSet yields;                    // classes of the inflected form, for further rules
  char name[kRuleNameSize];           // English name; empty for an unnamed step
};

// Program-wide state of the deinflection table; one instance, `deinflect`.
struct Deinflect {
  DeinflectRule rules[kMaxRules];                // in the order of the file
  int rule_count;                                // rules in use
  char class_names[kMaxClasses][kClassNameSize]  // class k's name, as written
      ;
  int class_count;                // classes named so far
  ClassSet stems;                 // upper-case classes: forms other rules build on
  ClassSet bound;                 // stems whose name ends in '-': never a word alone
  ClassSet word_classes;          // lower-case classes: tags of entry lines
  uint64_t word_class_starts[4];  // bit b: a word class's name begins with byte b
  ClassSet inflecting;            // word classes whose own ending changes (v1, adj-i; not vs)
  bool loaded;                    // a whole table is in rules
  uint32_t generation;  // which table of the run this is: 1, 2, ... with every table loaded
  // The rules by the last character of their ending (its two bytes hashed
  // to one of kEndingBuckets), each bucket in table order, and the rules
  // without an ending: the walk tries on a form only the rules that could
  // take its ending off.
  uint16_t bucket_start[kEndingBuckets + 1];  // bucket b: by_ending[start[b] .. start[b + 1])
  int16_t by_ending[kMaxRules];
  int16_t without_ending[kMaxRules];
  int without_ending_count;
  char error[160];  // what was wrong with the last table rejected
};

extern Deinflect deinflect;

// Puts the table back to its state at program start: no rules, not loaded.
void reset_deinflect();

// Parses a table given as EUC-JP lines (already converted). On success the
// rules replace the table's and loaded is set. A malformed line rejects the
// whole table: loaded is false, no rules are kept, and error says
// "deinflect.txt line N: what". Never reads past length.
bool parse_deinflect_table(const unsigned char* text, size_t length);

// Reads kDeinflectFile from the working directory (at most kTableFileLimit
// bytes), converts it from UTF-8 and parses it. On failure shows a message
// box owned by owner (caption " ") and returns false with the table empty.
bool load_deinflect_table(Window owner);

// The index of a class name in the table, or -1 when the table never names it.
int class_index(const char* name, size_t length);

// The word classes an entry line carries: every comma-separated token inside
// parentheses of the line ("(v5k,vt)", "(n,vs)") that the table names as a
// word class. line is NUL-terminated.
ClassSet entry_classes(const unsigned char* line);

// One form reached from a surface.
struct Form {
  unsigned char text[kFormSize];  // EUC-JP, NUL-terminated
  uint8_t length;                 // bytes of text
  uint8_t kept;                   // leading bytes of text that are the surface's own
  ClassSet classes;               // what the form must be: the last rule's applies (0: none)
  int16_t steps[kMaxSteps];       // rules applied, outermost ending first
  uint8_t step_count;             // 0 for the surface itself
};

// Every form the table reaches from surface (EUC-JP, whole two-byte
// characters), the surface itself first, then breadth first: fewer rules
// before more, rules in table order. A rule takes off an ending only on a
// character boundary; a further rule applies only where its yields meet the
// previous rule's applies, and a rule that yields only bound stems is never
// the first. Equal forms with equal classes come once. Returns the number of
// forms written (at most capacity; forms that would not fit kFormSize are
// not made).
int deinflect_word(const unsigned char* surface, size_t length, Form* forms, int capacity);

// The listing's description of a form reached by rules: "(NAMES of FORM) "
// in out (NUL-terminated, at most out_size bytes with its NUL), where NAMES
// are the rules' names, outermost first, joined by " of ", leaving out
// unnamed steps and stems that do not end the word, and FORM is the form
// reached before any trailing unnamed steps (勉強した -> "(past of 勉強する) ").
// Writes an empty text when no step is named, or when the whole would not
// fit. Returns the bytes written, NUL excluded.
size_t describe_form(const unsigned char* surface, size_t surface_length, const Form& form,
                     unsigned char* out, size_t out_size);
