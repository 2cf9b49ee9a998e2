// The deinflection table's loader and the walk over its rules.
//
// The walk is breadth first over forms: from the surface, every rule whose
// ending the form ends with gives a new form (the ending replaced by the
// base), and so on from each new form, as long as the rules chain (a rule's
// yields meet the previous rule's applies). Rules that only make stems
// (書か, 食べ) let endings stack: 書かれていました comes apart as polite past,
// progressive, te-form, passive, 書く. All lengths are bounded: a table holds
// at most kMaxRules, a form kFormSize bytes, a walk kMaxForms forms of at
// most kMaxSteps rules.
#include "deinflect/deinflect.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/convert.h"

Deinflect deinflect;

const char kDeinflectFile[] = "deinflect.txt";

void reset_deinflect() {
  std::memset(&deinflect, 0, sizeof deinflect);
}

namespace {

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t';
}

bool is_class_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

struct Field {
  const unsigned char* start;
  size_t length;
  bool is(const char* text) const {
    return length == std::strlen(text) && std::memcmp(start, text, length) == 0;
  }
};

// The table being parsed: rules go into `table` and only replace the
// program-wide table once every line has been read.
struct Parser {
  Deinflect* table;
  int line_number;

  bool fail(const char* what) {
    std::snprintf(table->error, sizeof table->error, "%s line %d: %s", kDeinflectFile, line_number,
                  what);
    return false;
  }

  // Interns one class name; stems are upper case, bound stems end in '-'.
  bool add_class(Field name, ClassSet* set) {
    if (name.length == 0 || name.length >= kClassNameSize) {
      return fail("a class name is empty or longer than 15 letters");
    }
    for (size_t i = 0; i < name.length; ++i) {
      if (!is_class_char(name.start[i])) {
        return fail("a class name holds a character other than letters, digits and '-'");
      }
    }
    int k = 0;
    for (; k < table->class_count; ++k) {
      if (std::strlen(table->class_names[k]) == name.length &&
          std::memcmp(table->class_names[k], name.start, name.length) == 0) {
        break;
      }
    }
    if (k == table->class_count) {
      if (k == kMaxClasses) return fail("more than 64 classes");
      std::memcpy(table->class_names[k], name.start, name.length);
      table->class_names[k][name.length] = 0;
      ++table->class_count;
      const ClassSet bit = ClassSet{1} << k;
      if (name.start[0] >= 'A' && name.start[0] <= 'Z') {
        table->stems |= bit;
        if (name.start[name.length - 1] == '-') table->bound |= bit;
      } else {
        table->word_classes |= bit;
      }
    }
    *set |= ClassSet{1} << k;
    return true;
  }

  // A comma-separated list of classes; "-" (when allowed) for none.
  bool classes(Field field, bool none_allowed, ClassSet* set) {
    *set = 0;
    if (field.is("-")) {
      return none_allowed ? true : fail("a rule must say which classes it applies to");
    }
    const unsigned char* p = field.start;
    const unsigned char* end = field.start + field.length;
    while (p <= end) {
      const unsigned char* comma = p;
      while (comma < end && *comma != ',') ++comma;
      if (!add_class(Field{p, static_cast<size_t>(comma - p)}, set)) return false;
      p = comma + 1;
    }
    return true;
  }

  // An ending or a base: "-" for none, else whole two-byte EUC-JP characters.
  bool kana(Field field, unsigned char* out, uint8_t* length) {
    std::memset(out, 0, kEndingSize);
    *length = 0;
    if (field.is("-")) return true;
    if (field.length >= kEndingSize) return fail("an ending or base longer than 16 characters");
    if (field.length % 2 != 0) return fail("an ending or base is not Japanese text");
    for (size_t i = 0; i < field.length; ++i) {
      if (field.start[i] < 0xA1 || field.start[i] == 0xFF) {
        return fail("an ending or base is not Japanese text");
      }
    }
    std::memcpy(out, field.start, field.length);
    *length = static_cast<uint8_t>(field.length);
    return true;
  }

  bool rule(const unsigned char* line, size_t length) {
    Field fields[4];
    const unsigned char* p = line;
    const unsigned char* end = line + length;
    for (Field& f : fields) {
      while (p < end && is_blank(*p)) ++p;
      f.start = p;
      while (p < end && !is_blank(*p)) ++p;
      f.length = static_cast<size_t>(p - f.start);
      if (f.length == 0) {
        return fail("a rule needs five fields: ending, base, applies, yields, name");
      }
    }
    while (p < end && is_blank(*p)) ++p;
    const unsigned char* name_end = end;
    while (name_end > p && is_blank(name_end[-1])) --name_end;
    Field name{p, static_cast<size_t>(name_end - p)};
    if (name.length == 0)
      return fail("a rule needs five fields: ending, base, applies, yields, name");

    if (table->rule_count == kMaxRules) return fail("more than 512 rules");
    DeinflectRule& r = table->rules[table->rule_count];
    if (!kana(fields[0], r.ending, &r.ending_length)) return false;
    if (!kana(fields[1], r.base, &r.base_length)) return false;
    if (r.ending_length == 0 && r.base_length == 0) {
      return fail("a rule with neither ending nor base changes nothing");
    }
    if (!classes(fields[2], false, &r.applies)) return false;
    if (!classes(fields[3], true, &r.yields)) return false;
    if (name.length >= kRuleNameSize) return fail("a name longer than 47 characters");
    for (size_t i = 0; i < name.length; ++i) {
      if (name.start[i] < 0x20 || name.start[i] > 0x7E) {
        return fail("a name holds a character that is not printable ASCII");
      }
    }
    std::memset(r.name, 0, sizeof r.name);
    if (!name.is("-")) std::memcpy(r.name, name.start, name.length);
    // A noun that takes する keeps its own form; a verb or adjective has an
    // ending that rules give back.
    if (r.base_length > 0) table->inflecting |= r.applies & table->word_classes;
    ++table->rule_count;
    return true;
  }
};

// The bucket of an ending's (or a form's) last character.
int ending_bucket(const unsigned char* last_two) {
  return (last_two[0] * 31 + last_two[1]) % kEndingBuckets;
}

// Fills the table's rule index (Deinflect::by_ending) from its rules.
void index_rules(Deinflect* table) {
  int counts[kEndingBuckets] = {};
  table->without_ending_count = 0;
  for (int n = 0; n < table->rule_count; ++n) {
    const DeinflectRule& r = table->rules[n];
    if (r.ending_length == 0) {
      table->without_ending[table->without_ending_count++] = static_cast<int16_t>(n);
    } else {
      ++counts[ending_bucket(r.ending + r.ending_length - 2)];
    }
  }
  table->bucket_start[0] = 0;
  for (int b = 0; b < kEndingBuckets; ++b) {
    table->bucket_start[b + 1] = static_cast<uint16_t>(table->bucket_start[b] + counts[b]);
  }
  int next[kEndingBuckets];
  for (int b = 0; b < kEndingBuckets; ++b) next[b] = table->bucket_start[b];
  for (int n = 0; n < table->rule_count; ++n) {
    const DeinflectRule& r = table->rules[n];
    if (r.ending_length == 0) continue;
    table->by_ending[next[ending_bucket(r.ending + r.ending_length - 2)]++] =
        static_cast<int16_t>(n);
  }
}

// The parse goes into this scratch table first, so that a rejected table
// leaves nothing half made.
Deinflect scratch;

}  // namespace

bool parse_deinflect_table(const unsigned char* text, size_t length) {
  std::memset(&scratch, 0, sizeof scratch);
  Parser parser{&scratch, 0};
  size_t at = 0;
  bool ok = true;
  while (at < length && ok) {
    size_t end = at;
    while (end < length && text[end] != 0x0A) ++end;
    ++parser.line_number;
    size_t line_end = end;
    if (line_end > at && text[line_end - 1] == 0x0D) --line_end;
    size_t first = at;
    while (first < line_end && is_blank(text[first])) ++first;
    if (first < line_end && text[first] != '#') {
      if (std::memchr(text + first, 0, line_end - first) != nullptr) {
        ok = parser.fail("a NUL byte");
      } else {
        ok = parser.rule(text + first, line_end - first);
      }
    }
    at = end + 1;
  }
  if (ok && scratch.rule_count == 0) {
    std::snprintf(scratch.error, sizeof scratch.error, "%s: no rules", kDeinflectFile);
    ok = false;
  }
  if (!ok) {
    char error[sizeof deinflect.error];
    std::memcpy(error, scratch.error, sizeof error);
    reset_deinflect();
    std::memcpy(deinflect.error, error, sizeof error);
    return false;
  }
  index_rules(&scratch);
  scratch.loaded = true;
  // Never the same number twice in a run, not even after a reset.
  static uint32_t tables_loaded = 0;
  scratch.generation = ++tables_loaded;
  std::memcpy(&deinflect, &scratch, sizeof deinflect);
  return true;
}

bool load_deinflect_table(Window owner) {
  uint32_t size = 0;
  const int32_t file = file_open_read(kDeinflectFile);
  std::string utf8;
  bool read = file != kFileError && file_size(kDeinflectFile, &size) == 0;
  if (read) {
    if (size > kTableFileLimit) size = kTableFileLimit;
    utf8.resize(size);
    const int32_t got = size == 0 ? 0 : file_read_at(file, 0, utf8.data(), size);
    read = got >= 0;
    utf8.resize(got < 0 ? 0 : static_cast<size_t>(got));
  }
  file_close(file);
  if (!read) {
    reset_deinflect();
    std::snprintf(deinflect.error, sizeof deinflect.error, "Cannot open deinflection table: %s",
                  kDeinflectFile);
    message_box(owner, deinflect.error, " ");
    return false;
  }

  // Converted line by line, so that a line that is not UTF-8 (or holds a
  // character EUC-JP has no code for) is reported by its number.
  std::string euc;
  size_t at = 0;
  int line_number = 0;
  while (at < utf8.size()) {
    size_t end = utf8.find('\n', at);
    if (end == std::string::npos) end = utf8.size();
    ++line_number;
    bool lossless = true;
    euc += utf8_to_euc(std::string_view(utf8).substr(at, end - at), &lossless);
    euc += '\n';
    if (!lossless) {
      reset_deinflect();
      std::snprintf(deinflect.error, sizeof deinflect.error,
                    "%s line %d: not UTF-8, or a character EUC-JP does not have", kDeinflectFile,
                    line_number);
      message_box(owner, deinflect.error, " ");
      return false;
    }
    at = end + 1;
  }
  if (!parse_deinflect_table(reinterpret_cast<const unsigned char*>(euc.data()), euc.size())) {
    message_box(owner, deinflect.error, " ");
    return false;
  }
  return true;
}

int class_index(const char* name, size_t length) {
  // A name of that length ends where the given one does; its first byte
  // rules most names out before any comparison. Every tag of every line is
  // looked up here.
  if (length == 0 || length >= kClassNameSize) return -1;
  for (int k = 0; k < deinflect.class_count; ++k) {
    const char* known = deinflect.class_names[k];
    if (known[0] == name[0] && known[length] == 0 && std::memcmp(known, name, length) == 0) {
      return k;
    }
  }
  return -1;
}

ClassSet entry_classes(const unsigned char* line) {
  ClassSet set = 0;
  // Tags stand in parentheses, several to a group: "(v5k,vt)", "(n,vs)".
  for (const unsigned char* p = line; *p != 0; ++p) {
    if (*p != '(') continue;
    const unsigned char* q = p + 1;
    for (;;) {
      const unsigned char* start = q;
      while (is_class_char(*q)) ++q;
      const int k = class_index(reinterpret_cast<const char*>(start), q - start);
      if (k >= 0 && (deinflect.word_classes >> k & 1) != 0) set |= ClassSet{1} << k;
      if (*q != ',') break;
      ++q;
    }
    p = q - 1;  // q may stand on the NUL: the loop steps onto it and ends
  }
  return set;
}

int deinflect_word(const unsigned char* surface, size_t length, Form* forms, int capacity) {
  if (capacity < 1 || length >= kFormSize) return 0;
  Form& first = forms[0];
  std::memset(&first, 0, sizeof first);
  std::memcpy(first.text, surface, length);
  first.length = static_cast<uint8_t>(length);
  first.kept = static_cast<uint8_t>(length);
  int count = 1;
  for (int i = 0; i < count; ++i) {
    if (forms[i].step_count == kMaxSteps) continue;
    // The rules that may apply, in table order: those without an ending
    // merged with those whose ending ends in the form's last character.
    const int16_t* with = deinflect.by_ending;
    const int16_t* with_end = with;
    if (forms[i].length >= 2) {
      const int b = ending_bucket(forms[i].text + forms[i].length - 2);
      with = deinflect.by_ending + deinflect.bucket_start[b];
      with_end = deinflect.by_ending + deinflect.bucket_start[b + 1];
    }
    const int16_t* without = deinflect.without_ending;
    const int16_t* without_end = without + deinflect.without_ending_count;
    while (with < with_end || without < without_end) {
      const int n =
          without == without_end || (with < with_end && *with < *without) ? *with++ : *without++;
      const Form& f = forms[i];
      const DeinflectRule& r = deinflect.rules[n];
      if (f.step_count > 0 ? (r.yields & f.classes) == 0
                           : r.yields != 0 && (r.yields & ~deinflect.bound) == 0) {
        continue;
      }
      if (r.ending_length > f.length) continue;
      const size_t stem = f.length - r.ending_length;
      if (std::memcmp(f.text + stem, r.ending, r.ending_length) != 0) continue;
      const size_t made = stem + r.base_length;
      if (made == 0 || made >= kFormSize) continue;

      unsigned char text[kFormSize] = {};
      std::memcpy(text, f.text, stem);
      std::memcpy(text + stem, r.base, r.base_length);
      bool seen = false;
      for (int k = 0; k < count && !seen; ++k) {
        seen = forms[k].length == made && forms[k].classes == r.applies &&
               std::memcmp(forms[k].text, text, made) == 0;
      }
      if (seen) continue;
      if (count == capacity) return count;
      Form& g = forms[count++];
      std::memset(&g, 0, sizeof g);
      std::memcpy(g.text, text, made);
      g.length = static_cast<uint8_t>(made);
      g.kept = static_cast<uint8_t>(stem < f.kept ? stem : f.kept);
      g.classes = r.applies;
      std::memcpy(g.steps, f.steps, sizeof g.steps);
      g.step_count = f.step_count;
      g.steps[g.step_count++] = static_cast<int16_t>(n);
    }
  }
  return count;
}

size_t describe_form(const unsigned char* surface, size_t surface_length, const Form& form,
                     unsigned char* out, size_t out_size) {
  if (out_size == 0) return 0;
  out[0] = 0;
  if (surface_length >= kFormSize) return 0;
  // The form after each step, replayed from the surface: the one shown is
  // the one reached before any trailing unnamed steps.
  int shown_after = form.step_count;
  while (shown_after > 0 && deinflect.rules[form.steps[shown_after - 1]].name[0] == 0) {
    --shown_after;
  }
  unsigned char shown[kFormSize] = {};
  size_t shown_length = surface_length;
  std::memcpy(shown, surface, surface_length);
  for (int s = 0; s < shown_after; ++s) {
    const DeinflectRule& r = deinflect.rules[form.steps[s]];
    if (r.ending_length > shown_length) return 0;
    const size_t stem = shown_length - r.ending_length;
    if (stem + r.base_length >= kFormSize) return 0;
    std::memcpy(shown + stem, r.base, r.base_length);
    shown_length = stem + r.base_length;
    shown[shown_length] = 0;
  }

  std::string text = "(";
  bool named = false;
  for (int s = 0; s < form.step_count; ++s) {
    const DeinflectRule& r = deinflect.rules[form.steps[s]];
    if (r.name[0] == 0) continue;
    // A stem says nothing inside a word: 書いている is progressive, not
    // progressive of te-form.
    if (s > 0 && (r.yields & ~deinflect.stems) == 0) continue;
    if (named) text += " of ";
    text += r.name;
    named = true;
  }
  if (!named) return 0;
  text += " of ";
  text.append(reinterpret_cast<const char*>(shown), shown_length);
  text += ") ";
  if (text.size() + 1 > out_size) return 0;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = 0;
  return text.size();
}
