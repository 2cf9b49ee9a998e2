// The lookup of the "Dictionary forms" mode: at a position of the passage,
// the longest run of characters that is a word of the dictionary either as it
// stands or once the deinflection table has taken its endings off
// (食べました -> 食べる). A form counts only where an entry's headword is
// exactly that form (or, for a form all in hiragana or all in katakana, its
// reading: 頁 [ページ]), and, for a form reached by rules, where the entry's
// tags allow the last rule.
//
// Every check goes through search_index and so through the page cache: the
// exact headword "食べる" is searched as the key "食べる " (headword and the
// blank after it), a reading as "たべる]". Before any form is checked, the
// prefixes of the text are searched as the classic lookup searches them: a
// form whose unchanged beginning is longer than the longest prefix found
// cannot be in the dictionary and costs no search.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <tuple>

#include "deinflect/deinflect.h"
#include "lookup/lookup.h"
#include "readings/readings.h"
#include "store/store.h"

FormsMemo forms_memo = [] {
  FormsMemo m{};
  m.filter_after = kWordFilterAfter;
  return m;
}();

namespace {

constexpr size_t kMaxSurface = 20;  // bytes of text a word may take, as the classic key
constexpr int kMaxRun = 4096;       // entries of one key looked at
constexpr int kMaxCandidates = 32;  // entries kept for ranking

// Characters that may belong to a word: two-byte JIS X 0208 characters other
// than the punctuation of row 1, and of row 1 the marks that live inside
// words (ー, 々, the iteration marks ヽヾゝゞ).
bool word_character(const unsigned char* p, size_t available) {
  if (available < 2 || p[0] < 0xA1 || p[0] == 0xFF || p[1] < 0xA1 || p[1] == 0xFF) return false;
  if (p[0] != 0xA1) return true;
  return (p[1] >= 0xB3 && p[1] <= 0xB6) || p[1] == 0xB9 || p[1] == 0xBC;
}

bool all_hiragana(const unsigned char* text, size_t length) {
  for (size_t i = 0; i < length; i += 2) {
    if (text[i] != 0xA4) return false;
  }
  return true;
}

// Katakana and the long-vowel mark ー only: a loanword, which the dictionary
// may hold under a kanji headword with the word as its reading (頁 [ページ]).
bool all_katakana(const unsigned char* text, size_t length) {
  for (size_t i = 0; i + 1 < length; i += 2) {
    if (text[i] != 0xA5 && !(text[i] == 0xA1 && text[i + 1] == 0xBC)) return false;
  }
  return true;
}

// Whether the entry's line ends in "/(P)/", the mark of a word in common
// use. The mark stands at the line's end, which a long line's cut copy does
// not reach, so the line end is looked for in the text itself.
bool common_entry(int32_t entry) {
  constexpr int kLongestLine = 8192;
  int32_t p = index_entry(entry);
  for (int n = 0; n < kLongestLine && dict_byte(p) != 0x0A; ++n) ++p;
  const char tail[] = "(P)/";
  for (int i = 0; i < 4; ++i) {
    if (dict_byte(p - 4 + i) != static_cast<unsigned char>(tail[i])) return false;
  }
  return true;
}

// Whether the entry's line, from the entry's position on, holds the mark
// (a long line's cut copy may not reach it).
bool line_holds(int32_t entry, const char* mark) {
  constexpr int kLongestLine = 8192;
  const size_t n = std::strlen(mark);
  const int32_t from = index_entry(entry);
  for (int32_t p = from; p - from < kLongestLine && dict_byte(p) != 0x0A; ++p) {
    size_t i = 0;
    while (i < n && dict_byte(p + static_cast<int32_t>(i)) == static_cast<unsigned char>(mark[i])) {
      ++i;
    }
    if (i == n) return true;
  }
  return false;
}

// Whether the entry's word is written in kana: its headword holds no kanji,
// or the line marks it "(uk)", a word usually written in kana.
bool written_in_kana(int32_t entry, const unsigned char* line) {
  for (const unsigned char* p = line; *p != ' ' && *p != 0 && p[1] != 0; p += *p >= 0x80 ? 2 : 1) {
    // Rows 16 and up of JIS X 0208 are kanji; 々 (row 1) stands for one.
    if (*p >= 0xB0 || (p[0] == 0xA1 && p[1] == 0xB9)) return line_holds(entry, "(uk)");
  }
  return true;
}

// Whether the line's first tag group holds only the tags of a suffix, a
// prefix or a counter: 人 [じん] "(suf)", 前 [ぜん] "(n-pref)".
bool affix_only(const unsigned char* line) {
  const char* group = std::strstr(reinterpret_cast<const char*>(line), "/(");
  if (group == nullptr) return false;
  group += 2;
  const char* end = std::strchr(group, ')');
  if (end == nullptr) return false;
  for (const char* tag = group; tag < end;) {
    const char* comma = std::find(tag, end, ',');
    const std::string_view name(tag, static_cast<size_t>(comma - tag));
    if (name != "suf" && name != "pref" && name != "n-suf" && name != "n-pref" && name != "ctr") {
      return false;
    }
    tag = comma + (comma < end ? 1 : 0);
  }
  return true;
}

// Whether one of the line's tag groups ("(adv,prt)") names the tag.
bool has_tag(const unsigned char* line, const char* tag) {
  const size_t n = std::strlen(tag);
  for (const unsigned char* p = line; *p != 0; ++p) {
    if (*p != '(' && *p != ',') continue;
    if (std::strncmp(reinterpret_cast<const char*>(p + 1), tag, n) == 0 &&
        (p[1 + n] == ',' || p[1 + n] == ')')) {
      return true;
    }
  }
  return false;
}

// Whether the text (available bytes) begins with the polite ending: ます,
// ませ(ん), まし(た).
bool polite_follows(const unsigned char* text, size_t available) {
  if (available < 4 || text[0] != 0xA4 || text[1] != 0xDE || text[2] != 0xA4) return false;
  return text[3] == 0xB9 || text[3] == 0xBB || text[3] == 0xB7;
}

// Whether the character is one of the particles that stand alone between
// words: の, は, が, を, に, で, と, も, へ, や.
bool particle_character(const unsigned char* p, size_t available) {
  if (available < 2 || p[0] != 0xA4) return false;
  for (const unsigned char c : {0xCE, 0xCF, 0xAC, 0xF2, 0xCB, 0xC7, 0xC8, 0xE2, 0xD8, 0xE4}) {
    if (p[1] == c) return true;
  }
  return false;
}

// Whether the form is a verb's continuative as it stands (より -> よる), one
// rule that leaves the stem with no ending after it.
bool bare_continuative(const Form& form) {
  if (form.step_count != 1) return false;
  const int stem = class_index("STEM", 4);
  return stem >= 0 && (deinflect.rules[form.steps[0]].yields & (ClassSet{1} << stem)) != 0;
}

// Whether the text (available bytes) begins with a comma, 、 or ，.
bool comma_follows(const unsigned char* text, size_t available) {
  return available >= 2 && text[0] == 0xA1 && (text[1] == 0xA2 || text[1] == 0xA4);
}

struct Candidate {
  int32_t entry;
  int slot;  // the dictionary slot of the entry
  const Form* form;
  bool common;     // the line is marked (P), a word in common use
  bool affix;      // the line's first sense is a suffix, prefix or counter only
  ReadingUse use;  // how common its reading is (names dictionary only)
  unsigned char line[kEntryLineSize];
};

// The exact surface first, then words in common use (できる before the rare でく for できません,
// 含む before 含まれる), then words before suffixes and prefixes (a word
// listed on its own is 人 [ひと] and 前 [まえ] more often than the suffix
// 人 [じん] or the prefix 前 [ぜん]), then fewer rules, then rules higher in the table (行く
// before 行う for 行った), then the commoner reading where names meet rare
// words, then the lower dictionary slot, then index order.
bool ranks_before(const Candidate& a, const Candidate& b) {
  if ((a.form->step_count == 0) != (b.form->step_count == 0)) return a.form->step_count == 0;
  if (a.common != b.common) return a.common;
  if (a.affix != b.affix) return b.affix;
  if (a.form->step_count != b.form->step_count) return a.form->step_count < b.form->step_count;
  for (int s = 0; s < a.form->step_count; ++s) {
    if (a.form->steps[s] != b.form->steps[s]) return a.form->steps[s] < b.form->steps[s];
  }
  // Then the main dictionary and the names by how common the reading is
  // (a name's use, and a rare word's that weigh_rare_words gave it; none
  // otherwise), the reader's own words after them; then the lower slot, a
  // name's tags, index order.
  auto key = [](const Candidate& c) {
    const int group = c.slot == 0 || c.slot == kNamesSlot ? 0 : 1;
    return std::make_tuple(group, !c.use.listed, -c.use.compounds, c.slot, -c.use.tags, c.entry);
  };
  return key(a) < key(b);
}

// The classes of the irregular verbs, する (vs-i) and 来る (vk), in the table
// loaded.
ClassSet irregular_classes() {
  ClassSet set = 0;
  for (const char* name : {"vs-i", "vk"}) {
    const int k = class_index(name, std::strlen(name));
    if (k >= 0) set |= ClassSet{1} << k;
  }
  return set;
}

// The memo's place for a key of the slot; nullptr when the memo's memory
// cannot be had.
FormsMemoEntry* forms_memo_place(int slot, const unsigned char* key, size_t bytes) {
  if (forms_memo.places == nullptr) {
    static FormsMemoEntry* const places = zeroed_places<FormsMemoEntry>(kFormsMemoPlaces);
    static unsigned char* const ring = zeroed_places<unsigned char>(kFormsMemoRingBytes);
    if (places == nullptr || ring == nullptr) return nullptr;
    forms_memo.places = places;
    forms_memo.ring = ring;
  }
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(slot);
  for (size_t i = 0; i < bytes; ++i) hash = (hash ^ key[i]) * 16777619u;
  return &forms_memo.places[(hash ^ hash >> 15) % kFormsMemoPlaces];
}

static_assert(kEmptySurfaceSize >= kMaxSurface);

// The context number of the surfaces found empty (FormsMemo::context) for
// the slots ready now, their openings and the table loaded; a new number
// whenever any of them differs from the last lookup's.
uint32_t surface_context(const bool* ready) {
  uint32_t ready_bits = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) ready_bits |= uint32_t{ready[slot]} << slot;
  if (forms_memo.context == 0 || forms_memo.context_ready != ready_bits ||
      forms_memo.context_table != deinflect.generation ||
      std::memcmp(forms_memo.context_openings, store.opening, sizeof store.opening) != 0) {
    ++forms_memo.context;
    forms_memo.context_ready = ready_bits;
    forms_memo.context_table = deinflect.generation;
    std::memcpy(forms_memo.context_openings, store.opening, sizeof store.opening);
  }
  return forms_memo.context;
}

// The place of a surface among those found empty; nullptr when the memo's
// memory cannot be had.
EmptySurface* empty_surface_place(uint32_t context, const unsigned char* text, size_t length,
                                  bool at_kana) {
  if (forms_memo.empty == nullptr) {
    static EmptySurface* const empty = zeroed_places<EmptySurface>(kEmptySurfacePlaces);
    if (empty == nullptr) return nullptr;
    forms_memo.empty = empty;
  }
  uint32_t hash = 2166136261u ^ (at_kana ? 1u : 0u) ^ context << 1;
  for (size_t i = 0; i < length; ++i) hash = (hash ^ text[i]) * 16777619u;
  return &forms_memo.empty[(hash ^ hash >> 15) % kEmptySurfacePlaces];
}

// The place of a surface's outcome; nullptr when the memo's memory cannot
// be had.
SurfaceResult* surface_result_place(uint32_t context, const unsigned char* text, size_t length,
                                    bool at_kana, bool polite, bool comma) {
  if (forms_memo.results == nullptr) {
    static SurfaceResult* const results = zeroed_places<SurfaceResult>(kSurfaceResultPlaces);
    if (results == nullptr) return nullptr;
    forms_memo.results = results;
  }
  uint32_t hash =
      2166136261u ^ (at_kana ? 1u : 0u) ^ (polite ? 2u : 0u) ^ (comma ? 4u : 0u) ^ context << 3;
  for (size_t i = 0; i < length; ++i) hash = (hash ^ text[i]) * 16777619u;
  return &forms_memo.results[(hash ^ hash >> 15) % kSurfaceResultPlaces];
}

// Whether the slot's filter, made now if it is time, says the key (a form
// and its terminator) may be a headword or reading there; true without one.
bool may_hold(int slot, const unsigned char* key, size_t length) {
  if (forms_memo.lookups < forms_memo.filter_after || store.opening[slot] == 0) return true;
  return !word_filter_usable(slot, true) || word_filter_may_hold(slot, key, length);
}

// Whether the slot's filter is made and usable, so that its prefixes need
// not be searched.
bool filtered(int slot) {
  if (forms_memo.lookups < forms_memo.filter_after || store.opening[slot] == 0) return false;
  return word_filter_usable(slot, true);
}

// search_first_entry through the memo of the runs' first entries.
int32_t first_entry(int slot, int32_t length, const unsigned char* key) {
  // The search depends on the key's bytes up to its NUL, as search_first_entry
  // reads it.
  const size_t bytes =
      length > 0 ? strnlen(reinterpret_cast<const char*>(key), static_cast<size_t>(length)) : 0;
  if (length <= 0 || bytes > kFirstEntryKeySize || !slot_ready(slot) || store.opening[slot] == 0) {
    return search_first_entry(slot, length, key);
  }
  if (forms_memo.firsts == nullptr) {
    static FirstEntry* const firsts = zeroed_places<FirstEntry>(kFirstEntryPlaces);
    if (firsts == nullptr) return search_first_entry(slot, length, key);
    forms_memo.firsts = firsts;
  }
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(slot);
  for (size_t i = 0; i < bytes; ++i) hash = (hash ^ key[i]) * 16777619u;
  FirstEntry& place = forms_memo.firsts[(hash ^ hash >> 15) % kFirstEntryPlaces];
  if (place.opening == store.opening[slot] && place.slot == slot && place.length == bytes &&
      std::memcmp(place.key, key, bytes) == 0) {
    ++forms_memo.first_hits;
    lookup.current_entry = place.current;
    return place.first;
  }
  const int32_t first = search_first_entry(slot, length, key);
  place.opening = store.opening[slot];
  place.first = first;
  place.current = lookup.current_entry;
  place.slot = static_cast<uint8_t>(slot);
  place.length = static_cast<uint8_t>(bytes);
  std::memcpy(place.key, key, bytes);
  return first;
}

bool same_surface(const SurfaceResult& r, uint32_t context, const unsigned char* text,
                  size_t length, bool at_kana, bool polite, bool comma) {
  return r.context == context && r.readings == readings.generation && r.length == length &&
         r.at_kana == at_kana && r.polite == polite && r.comma == comma &&
         std::memcmp(r.text, text, length) == 0;
}

struct Search {
  bool at_kana;
  ClassSet irregular;
  bool surface_is_word;  // the surface as it stands is a word of its own (see find)
  Candidate candidates[kMaxCandidates];
  int count;

  void offer(const Form* form, const FormsMemoLine& m) {
    const int slot = store.current_slot;
    for (int i = 0; i < count; ++i) {
      if (candidates[i].entry != m.found || candidates[i].slot != slot) continue;
      Candidate better{m.found,           slot, form, candidates[i].common, candidates[i].affix,
                       candidates[i].use, {}};
      if (ranks_before(better, candidates[i])) candidates[i].form = form;
      return;
    }
    if (count == kMaxCandidates) return;
    Candidate& c = candidates[count++];
    c.entry = m.found;
    c.slot = slot;
    c.form = form;
    std::memcpy(c.line, m.line, kEntryLineSize);
    c.line[kEntryLineSize - 1] = 0;
    c.common = m.common;
    c.affix = m.affix;
    c.use = slot == kNamesSlot ? use_of(c.line) : ReadingUse{};
  }

  static ReadingUse use_of(const unsigned char* line) {
    return reading_use(
        std::string_view(reinterpret_cast<const char*>(line),
                         strnlen(reinterpret_cast<const char*>(line), kEntryLineSize)));
  }

  // Where a name stands among the candidates, the main dictionary's words
  // not marked common are weighed by their reading too (上野 [こうずけ], a
  // former province, against the name 上野 [うえの]); only then, since it
  // costs a look into the ranked dictionary each.
  void weigh_rare_words() {
    bool names = false;
    for (int i = 0; i < count; ++i) names = names || candidates[i].slot == kNamesSlot;
    if (!names) return;
    for (int i = 0; i < count; ++i) {
      Candidate& c = candidates[i];
      if (c.slot != 0 || c.common) continue;
      c.use = use_of(c.line);
      c.use.tags = 0;  // the main dictionary's tags are not a name's
    }
  }

  // Leaves out the words as they stand that do not inflect.
  void drop_uninflected() {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
      const Candidate& c = candidates[i];
      if (c.form->step_count == 0 && (entry_classes(c.line) & deinflect.inflecting) == 0) continue;
      if (kept != i) candidates[kept] = c;
      ++kept;
    }
    count = kept;
  }

  // Leaves out the verbs reached by the bare continuative alone.
  void drop_bare_continuatives() {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
      const Candidate& c = candidates[i];
      if (bare_continuative(*c.form)) continue;
      if (kept != i) candidates[kept] = c;
      ++kept;
    }
    count = kept;
  }

  // Whether the entry line is one the form may stand for.
  bool allowed(const Form& form, const FormsMemoLine& m) const {
    const ClassSet tags = entry_classes(m.line);
    if (form.step_count > 0 && (tags & form.classes) == 0) return false;
    if (!at_kana) return true;
    // Hiragana spells particles and endings as often as words, and reads as
    // the kana of many a rare verb: これ is not 凝る's imperative, だけ not
    // 抱く's, について not 似つく's. At hiragana only a word written in kana
    // (its headword, or an entry marked (uk), usually kana) is listed: なる,
    // できる, ある, いる, それぞれ, ただし; and the irregular する and 来る,
    // words of the grammar whatever their marks.
    if (!m.kana && (tags & irregular) == 0) return false;
    if (form.step_count > 0 || (tags & deinflect.inflecting) != 0) return true;
    // A word that does not inflect, as it stands: of three characters or
    // more, in common use, and not a particle. Shorter runs of kana start
    // inside other words too often (のど of などの, けが of だけが, のみ the
    // particle read as 鑿), and so do rare ones (これはと of これはとても).
    return form.length >= 6 && !m.particle && m.common;
  }

  // Every entry whose headword (terminator ' ') or reading (terminator ']')
  // is exactly the form. The index holds every position of the text, so the
  // run of "文字 " also holds 大文字, 絵文字 and every other headword ending
  // in 文字, ordered by what follows them: the run is walked whole (up to
  // kMaxRun), and only a position that starts a line (a headword) or follows
  // " [" (a reading) has its line cut and checked. What the walk finds is
  // kept in forms_memo and taken from there when the key comes again.
  void find(const Form& form, unsigned char terminator) {
    unsigned char key[kFormsMemoKeySize] = {};
    std::memcpy(key, form.text, form.length);
    key[form.length] = terminator;
    const size_t length = form.length + size_t{1};
    const int slot = store.current_slot;
    // A form reached by rules is only the word of a line whose tags name
    // one of its classes (allowed): none can, or the dictionary has no such
    // line (the names), and its run need not be walked.
    // The classes first: they cost no read of the filter's memory.
    if ((form.step_count > 0 &&
         (form.classes == 0 ||
          (filtered(slot) && word_filter_lacks_classes(slot, form.classes)))) ||
        !may_hold(slot, key, length)) {
      ++forms_memo.filtered;
      return;
    }
    FormsMemoEntry* memo = forms_memo_place(slot, key, length);
    if (memo == nullptr) {
      walk(form, terminator, key, length,
           [&](const FormsMemoLine& m) { take(form, terminator, m); });
      return;
    }
    FormsMemoEntry& place = *memo;
    if (place.opening == store.opening[slot] && place.slot == slot && place.length == length &&
        std::memcmp(place.key, key, length) == 0 &&
        forms_memo.bytes_made - place.first_byte <= kFormsMemoRingBytes) {
      ++forms_memo.hits;
      const unsigned char* record = forms_memo.ring + place.first_byte % kFormsMemoRingBytes;
      static FormsMemoLine m;
      for (size_t i = 0; i < place.line_count; ++i) {
        record = unpack_line(record, &m);
        take(form, terminator, m);
      }
      return;
    }
    static FormsMemoLine found_lines[kFormsMemoMostLines];
    size_t found_count = 0;
    bool keep = store.opening[slot] != 0;
    walk(form, terminator, key, length, [&](const FormsMemoLine& m) {
      take(form, terminator, m);
      if (found_count == kFormsMemoMostLines) keep = false;
      if (keep) found_lines[found_count++] = m;
    });
    if (!keep) return;
    place.opening = store.opening[slot];
    place.slot = static_cast<uint8_t>(slot);
    place.length = static_cast<uint8_t>(length);
    place.line_count = static_cast<uint16_t>(found_count);
    std::memcpy(place.key, key, length);
    // A key's lines lie together; where they would run past the ring's end,
    // they start again at its beginning.
    size_t bytes = 0;
    for (size_t i = 0; i < found_count; ++i) bytes += record_size(found_lines[i]);
    uint64_t at = forms_memo.bytes_made;
    if (at % kFormsMemoRingBytes + bytes > kFormsMemoRingBytes) {
      at += kFormsMemoRingBytes - at % kFormsMemoRingBytes;
    }
    place.first_byte = at;
    unsigned char* record = forms_memo.ring + at % kFormsMemoRingBytes;
    for (size_t i = 0; i < found_count; ++i) record = pack_line(found_lines[i], record);
    forms_memo.bytes_made = at + bytes;
  }

  // The bytes of the line (its 0x0A included, its NUL not).
  static size_t line_bytes(const FormsMemoLine& m) {
    return strnlen(reinterpret_cast<const char*>(m.line), kEntryLineSize - 1);
  }
  static size_t record_size(const FormsMemoLine& m) { return kFormsMemoRecordHead + line_bytes(m); }

  // A line as it is kept in the ring: entry, found, the marks, its length
  // and its bytes. Returns the end of the record.
  static unsigned char* pack_line(const FormsMemoLine& m, unsigned char* record) {
    const size_t n = line_bytes(m);
    std::memcpy(record, &m.entry, 4);
    std::memcpy(record + 4, &m.found, 4);
    record[8] = static_cast<unsigned char>(m.common | m.affix << 1 | m.kana << 2 | m.particle << 3);
    record[9] = static_cast<unsigned char>(n);
    std::memcpy(record + kFormsMemoRecordHead, m.line, n);
    return record + kFormsMemoRecordHead + n;
  }
  static const unsigned char* unpack_line(const unsigned char* record, FormsMemoLine* m) {
    std::memcpy(&m->entry, record, 4);
    std::memcpy(&m->found, record + 4, 4);
    m->common = (record[8] & 1) != 0;
    m->affix = (record[8] & 2) != 0;
    m->kana = (record[8] & 4) != 0;
    m->particle = (record[8] & 8) != 0;
    const size_t n = record[9];
    std::memcpy(m->line, record + kFormsMemoRecordHead, n);
    std::memset(m->line + n, 0, kEntryLineSize - n);
    return record + kFormsMemoRecordHead + n;
  }

  // One line the walk of a form's key found.
  void take(const Form& form, unsigned char terminator, const FormsMemoLine& m) {
    // The kana as they stand are a word of their own when they are a
    // headword (より, とき) or the reading of a word in common use (無し
    // [なし]); a rare reading (に依り [により]) does not make them one.
    if (form.step_count == 0 && (terminator == ' ' || m.common)) surface_is_word = true;
    if (allowed(form, m)) offer(&form, m);
  }

  // The walk through the run of the key (the form and its terminator), in
  // index order: each line found goes to found, with what the ranking reads
  // of it.
  template <typename Found>
  static void walk(const Form& form, unsigned char terminator, const unsigned char* key,
                   size_t key_length, Found found) {
    const auto length = static_cast<int32_t>(key_length);
    const int32_t first = first_entry(store.current_slot, length, key);
    if (first == 0) return;
    FormsMemoLine m{};
    int status = kNotFound;
    const int32_t count = store.entry_count[store.current_slot];
    for (int32_t entry = first, n = 0; entry <= count && n < kMaxRun; ++entry, ++n) {
      lookup.current_entry = entry;
      if (compare_key(length, key) != 0) break;
      const int32_t p = index_entry(entry);
      const bool starts_word = terminator == ' '
                                   ? dict_byte(p - 1) == 0x0A
                                   : dict_byte(p - 1) == '[' && dict_byte(p - 2) == ' ';
      if (!starts_word) continue;
      search_index(kCheckMode, store.current_slot, entry, length, key, &status, &m.found, m.line);
      if (status != kFound || !matches(form, terminator, m.line)) continue;
      m.entry = entry;
      m.common = common_entry(m.found);
      m.affix = affix_only(m.line);
      m.kana = written_in_kana(m.found, m.line);
      m.particle = has_tag(m.line, "prt");
      found(m);
    }
  }

  // The line's headword, or its reading in brackets after it, is the form
  // byte for byte (the index folds katakana to hiragana; a word does not).
  static bool matches(const Form& form, unsigned char terminator, const unsigned char* line) {
    if (terminator == ' ') {
      return std::memcmp(line, form.text, form.length) == 0 && line[form.length] == ' ';
    }
    const unsigned char* blank =
        static_cast<const unsigned char*>(std::memchr(line, ' ', kEntryLineSize));
    if (blank == nullptr || blank[1] != '[') return false;
    const unsigned char* reading = blank + 2;
    if (reading + form.length + 1 >= line + kEntryLineSize) return false;
    return std::memcmp(reading, form.text, form.length) == 0 && reading[form.length] == ']';
  }
};

}  // namespace

namespace {

// The lookup at one position; look_ahead lets a particle pass to the word
// that starts after it (see lookup_forms).
int forms_at(const unsigned char* text, size_t available, bool at_kana, FormsMatch* matches,
             int capacity, bool look_ahead) {
  if (!deinflect.loaded || capacity < 1) return 0;

  size_t limit = 0;
  while (limit + 2 <= kMaxSurface && word_character(text + limit, available - limit)) limit += 2;
  if (limit == 0) return 0;

  bool ready[kSlotCount] = {};
  for (int slot = 0; slot < kSlotCount; ++slot) ready[slot] = slot_ready(slot);
  const uint32_t context = surface_context(ready);

  // Of every open dictionary (the main one, names, the reader's own words),
  // the longest prefix of the text that begins any indexed text; searched
  // only once a surface is not known to reach nothing.
  size_t matched[kSlotCount] = {};
  bool have_matched = false;
  auto find_matched = [&] {
    unsigned char key[kMaxSurface + 1] = {};
    std::memcpy(key, text, limit);
    for (int slot = 0; slot < kSlotCount; ++slot) {
      if (!ready[slot]) continue;
      // A filtered dictionary's keys are ruled out by its filter instead.
      if (filtered(slot)) {
        matched[slot] = limit;
        continue;
      }
      store.current_slot = slot;
      for (size_t k = 2; k <= limit; k += 2) {
        if (first_entry(slot, static_cast<int32_t>(k), key) == 0) break;
        matched[slot] = k;
      }
    }
    store.current_slot = 0;
    have_matched = true;
  };

  const ClassSet irregular = irregular_classes();
  static Form forms[kMaxForms];  // large; one lookup runs at a time
  static Search search;
  // The entries of the surface of length bytes, ranked: how many there are;
  // the first min(that, capacity) of them are put in matches.
  auto rank = [&](size_t length, EmptySurface* empty, bool polite, bool comma) -> int {
    ++forms_memo.lookups;
    if (!have_matched) find_matched();
    const int count = deinflect_word(text, length, forms, kMaxForms);
    search.at_kana = at_kana;
    search.irregular = irregular;
    search.surface_is_word = false;
    search.count = 0;
    for (int i = 0; i < count; ++i) {
      const Form& form = forms[i];
      // A bare continuative stem is too weak a guess at kana (ため is not
      // 溜める) and for one character (帰 of 帰って is not 帰る's stem): the
      // word has to show an ending there.
      if (form.step_count > 0 && deinflect.rules[form.steps[0]].ending_length == 0 &&
          (at_kana || length <= 2)) {
        continue;
      }
      for (int slot = 0; slot < kSlotCount; ++slot) {
        if (!ready[slot] || form.kept > matched[slot]) continue;
        store.current_slot = slot;
        search.find(form, ' ');
        if (all_hiragana(form.text, form.length) || all_katakana(form.text, form.length)) {
          search.find(form, ']');
        }
      }
    }
    store.current_slot = 0;
    if (search.count == 0 && empty != nullptr && context != 0) {
      empty->context = context;
      empty->length = static_cast<uint8_t>(length);
      empty->at_kana = at_kana;
      std::memcpy(empty->text, text, length);
    }
    // The polite ending ます follows a verb's continuative only: a word that
    // does not inflect, with ます after it, ends inside a verb (真となり of
    // 真となります is not the noun 真となり).
    if (polite) search.drop_uninflected();
    // A continuative as it stands is a guess at kana: より, とき, なし are the
    // particle and the nouns 時, 無し far more often than よる, とく, なす. Where
    // the kana are a word of their own, the verb is listed for them only
    // where a comma shows the continuative ending a clause (があり、,
    // しており、, により、).
    if (at_kana && search.surface_is_word && !comma) {
      search.drop_bare_continuatives();
    }
    if (search.count == 0) return 0;

    search.weigh_rare_words();
    std::sort(search.candidates, search.candidates + search.count, ranks_before);
    const int n = std::min(search.count, capacity);
    for (int i = 0; i < n; ++i) {
      const Candidate& c = search.candidates[i];
      FormsMatch& m = matches[i];
      m.surface_length = length;
      m.entry = c.entry;
      m.slot = c.slot;
      std::memcpy(m.line, c.line, kEntryLineSize);
      m.line[kEntryLineSize - 1] = 0;
      m.prefix[0] = 0;
      if (c.form->step_count > 0) describe_form(text, length, *c.form, m.prefix, kFormsPrefixSize);
    }
    return search.count;
  };

  // One kana alone is an ending, a particle or a piece of a longer word (き
  // of べき, し of もし) far more often than a word.
  const size_t shortest = at_kana ? 4 : 2;
  for (size_t length = limit; length >= shortest; length -= 2) {
    EmptySurface* empty = empty_surface_place(context, text, length, at_kana);
    if (empty != nullptr && empty->context == context && empty->length == length &&
        empty->at_kana == at_kana && std::memcmp(empty->text, text, length) == 0) {
      ++forms_memo.empty_hits;
      continue;
    }
    // Of a surface met before, the outcome is known: all but the look
    // ahead below, which depends on the text after it.
    const bool polite = polite_follows(text + length, available - length);
    const bool comma = comma_follows(text + length, available - length);
    SurfaceResult* known =
        context == 0 ? nullptr
                     : surface_result_place(context, text, length, at_kana, polite, comma);
    int n = 0;
    if (known != nullptr && same_surface(*known, context, text, length, at_kana, polite, comma) &&
        (known->count <= 1 || capacity == 1)) {
      ++forms_memo.result_hits;
      if (known->count == 0) continue;
      matches[0] = known->best;
      n = 1;
    } else {
      const int count = rank(length, empty, polite, comma);
      n = std::min(count, capacity);
      if (known != nullptr && context != 0) {
        known->context = context;
        known->readings = readings.generation;
        known->length = static_cast<uint8_t>(length);
        known->at_kana = at_kana;
        known->polite = polite;
        known->comma = comma;
        std::memcpy(known->text, text, length);
        known->count = count;
        if (n > 0) known->best = matches[0];
      }
      if (n == 0) continue;
    }

    // A particle followed by a word reads as the particle and the word (の +
    // すべて, not 伸す [のす] + べて): where the word found one character on
    // ends further than the one found here, nothing is listed here, and the
    // next position lists the longer word. An expression led by the particle
    // (において, のです) is the dictionary's own reading and stays.
    if (look_ahead && at_kana && length > 2 && particle_character(text, available) &&
        !has_tag(matches[0].line, "exp")) {
      FormsMatch next;
      if (forms_at(text + 2, available - 2, text[2] == 0xA4, &next, 1, false) == 1 &&
          2 + next.surface_length > length) {
        return 0;
      }
    }
    return n;
  }
  return 0;
}

}  // namespace

void reset_forms_memo() {
  if (forms_memo.places != nullptr) {
    std::fill_n(forms_memo.places, kFormsMemoPlaces, FormsMemoEntry{});
  }
  if (forms_memo.empty != nullptr)
    std::fill_n(forms_memo.empty, kEmptySurfacePlaces, EmptySurface{});
  if (forms_memo.results != nullptr) {
    std::fill_n(forms_memo.results, kSurfaceResultPlaces, SurfaceResult{});
  }
  if (forms_memo.firsts != nullptr) std::fill_n(forms_memo.firsts, kFirstEntryPlaces, FirstEntry{});
  forms_memo.bytes_made = 0;
  forms_memo.hits = 0;
  forms_memo.empty_hits = 0;
  forms_memo.result_hits = 0;
  forms_memo.first_hits = 0;
  for (WordFilter& f : forms_memo.filters) f.opening = 0;
  forms_memo.lookups = 0;
  forms_memo.filtered = 0;
  forms_memo.filter_after = kWordFilterAfter;
}

int lookup_forms(const unsigned char* text, size_t available, bool at_kana, FormsMatch* matches,
                 int capacity) {
  return forms_at(text, available, at_kana, matches, capacity, true);
}
