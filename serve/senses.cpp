// Sense grouping of entry lines for the reading page's popup.
#include "serve/senses.h"

#include <algorithm>
#include <cctype>

namespace {

struct Tag {
  const char* name;
  const char* meaning;
  bool pos;
};

// The tags the dictionaries write in parentheses, with what a reader is told
// on hover. Tags not here stay part of the gloss's text.
constexpr Tag kTags[] = {
    // Parts of speech.
    {"n", "noun", true},
    {"n-adv", "adverbial noun", true},
    {"n-t", "noun (temporal)", true},
    {"n-suf", "noun used as a suffix", true},
    {"n-pref", "noun used as a prefix", true},
    {"n-pr", "proper noun", true},
    {"pn", "pronoun", true},
    {"num", "numeric", true},
    {"ctr", "counter", true},
    {"pref", "prefix", true},
    {"suf", "suffix", true},
    {"prt", "particle", true},
    {"conj", "conjunction", true},
    {"int", "interjection", true},
    {"exp", "expression", true},
    {"adv", "adverb", true},
    {"adv-n", "adverbial noun", true},
    {"adv-to", "adverb taking 'to'", true},
    {"adj", "adjective", true},
    {"adj-i", "i-adjective", true},
    {"adj-ix", "i-adjective (yoi/ii class)", true},
    {"adj-na", "na-adjective", true},
    {"adj-no", "noun that may take 'no'", true},
    {"adj-pn", "pre-noun adjectival", true},
    {"adj-t", "'taru' adjective", true},
    {"adj-f", "noun or verb acting prenominally", true},
    {"adj-ku", "'ku' adjective (archaic)", true},
    {"adj-shiku", "'shiku' adjective (archaic)", true},
    {"adj-nari", "archaic na-adjective", true},
    {"aux", "auxiliary", true},
    {"aux-v", "auxiliary verb", true},
    {"aux-adj", "auxiliary adjective", true},
    {"cop", "copula", true},
    {"cop-da", "copula", true},
    {"v1", "ichidan verb", true},
    {"v1-s", "ichidan verb (kureru)", true},
    {"v5", "godan verb", true},
    {"v5aru", "godan verb (-aru)", true},
    {"v5b", "godan verb (-bu)", true},
    {"v5g", "godan verb (-gu)", true},
    {"v5k", "godan verb (-ku)", true},
    {"v5k-s", "godan verb (iku/yuku)", true},
    {"v5m", "godan verb (-mu)", true},
    {"v5n", "godan verb (-nu)", true},
    {"v5r", "godan verb (-ru)", true},
    {"v5r-i", "godan verb (-ru, irregular)", true},
    {"v5s", "godan verb (-su)", true},
    {"v5t", "godan verb (-tsu)", true},
    {"v5u", "godan verb (-u)", true},
    {"v5u-s", "godan verb (-u, special)", true},
    {"v5uru", "godan verb (uru)", true},
    {"v2a-s", "nidan verb (archaic)", true},
    {"v4r", "yodan verb (archaic)", true},
    {"vi", "intransitive verb", true},
    {"vt", "transitive verb", true},
    {"vk", "kuru verb", true},
    {"vn", "irregular -nu verb", true},
    {"vr", "irregular -ru verb", true},
    {"vs", "noun taking suru", true},
    {"vs-i", "suru verb", true},
    {"vs-s", "suru verb (special)", true},
    {"vs-c", "su verb (archaic suru)", true},
    {"vz", "zuru verb", true},
    // Usage, style and writing.
    {"uk", "usually written in kana", false},
    {"uK", "usually written in kanji", false},
    {"arch", "archaic", false},
    {"obs", "obsolete", false},
    {"obsc", "obscure", false},
    {"rare", "rare", false},
    {"col", "colloquial", false},
    {"fam", "familiar", false},
    {"fem", "used by women", false},
    {"male", "used by men", false},
    {"hon", "honorific", false},
    {"hum", "humble", false},
    {"pol", "polite", false},
    {"sl", "slang", false},
    {"m-sl", "manga slang", false},
    {"vulg", "vulgar", false},
    {"X", "rude or X-rated", false},
    {"derog", "derogatory", false},
    {"sens", "sensitive", false},
    {"abbr", "abbreviation", false},
    {"id", "idiom", false},
    {"yoji", "four-character idiom", false},
    {"poet", "poetical", false},
    {"chn", "children's language", false},
    {"on-mim", "onomatopoeia or mimesis", false},
    {"gikun", "reading by meaning (gikun)", false},
    {"ateji", "kanji used for their sound (ateji)", false},
    {"ik", "irregular kana", false},
    {"iK", "irregular kanji", false},
    {"io", "irregular okurigana", false},
    {"oK", "old kanji", false},
    {"ok", "old kana", false},
    {"comp", "computing", false},
    {"math", "mathematics", false},
    {"ling", "linguistics", false},
    {"Buddh", "Buddhism", false},
    {"MA", "martial arts", false},
    {"food", "food", false},
    {"geom", "geometry", false},
    {"physics", "physics", false},
    {"gram", "grammar", false},
    {"ksb", "Kansai dialect", false},
    {"ktb", "Kantou dialect", false},
    {"osb", "Osaka dialect", false},
    {"kyb", "Kyoto dialect", false},
    // The names dictionary.
    {"p", "place name", false},
    {"s", "surname", false},
    {"f", "female given name", false},
    {"m", "male given name", false},
    {"g", "given name", false},
    {"h", "full name", false},
    {"u", "person's name", false},
    {"pr", "product name", false},
    {"c", "company name", false},
    {"co", "company name", false},
    {"st", "station name", false},
    {"o", "organisation name", false},
};

const Tag* find_tag(std::string_view name) {
  for (const Tag& t : kTags) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

bool all_digits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The parts of a tag group "adj-na,n" when every one of them is a tag (or
// "P"), else none.
bool split_tags(std::string_view group, std::vector<std::string_view>* parts) {
  parts->clear();
  size_t at = 0;
  while (at <= group.size()) {
    const size_t comma = std::min(group.find(',', at), group.size());
    std::string_view part = trim(group.substr(at, comma - at));
    if (part != "P" && find_tag(part) == nullptr) return false;
    parts->push_back(part);
    at = comma + 1;
  }
  return !parts->empty();
}

void add_unique(std::vector<std::string>* list, std::string_view item) {
  if (std::find(list->begin(), list->end(), item) == list->end()) list->emplace_back(item);
}

}  // namespace

const char* tag_meaning(std::string_view tag) {
  const Tag* t = find_tag(tag);
  return t ? t->meaning : nullptr;
}

bool is_pos_tag(std::string_view tag) {
  const Tag* t = find_tag(tag);
  return t != nullptr && t->pos;
}

SenseList group_senses(const std::vector<std::string>& glosses) {
  SenseList out;
  // Tags seen before the sense they belong to exists ("(n) (1) ...").
  std::vector<std::string> pending_pos, pending_labels;
  bool numbered = false;  // a sense marker has been seen
  auto current = [&]() -> Sense& {
    if (out.senses.empty()) out.senses.emplace_back();
    return out.senses.back();
  };
  auto flush_pending = [&]() {
    Sense& s = current();
    for (const std::string& t : pending_pos) add_unique(&s.pos, t);
    for (const std::string& t : pending_labels) add_unique(&s.labels, t);
    pending_pos.clear();
    pending_labels.clear();
  };
  std::vector<std::string_view> parts;
  for (const std::string& whole : glosses) {
    std::string_view g = trim(whole);
    // A line's own sequence number ("EntL1234X") says nothing to a reader.
    if (g.rfind("EntL", 0) == 0) continue;
    while (!g.empty() && (g.front() == '(' || g.front() == '{')) {
      const char close_mark = g.front() == '(' ? ')' : '}';
      const size_t close = g.find(close_mark);
      if (close == std::string_view::npos) break;
      const std::string_view group = g.substr(1, close - 1);
      if (all_digits(group)) {
        // A new sense, unless this is the first marker and nothing has
        // been said yet.
        if (numbered || (!out.senses.empty() && !out.senses.back().glosses.empty())) {
          out.senses.emplace_back();
        }
        numbered = true;
        flush_pending();
      } else if (split_tags(group, &parts)) {
        for (std::string_view t : parts) {
          if (t == "P") {
            out.common = true;
          } else if (is_pos_tag(t)) {
            add_unique(&pending_pos, t);
          } else {
            add_unique(&pending_labels, t);
          }
        }
      } else {
        break;
      }
      g = trim(g.substr(close + 1));
    }
    if (!pending_pos.empty() || !pending_labels.empty()) {
      // Tags before a gloss of a sense with glosses already, in a line without
      // markers, still describe that one sense.
      flush_pending();
    }
    if (!g.empty()) current().glosses.emplace_back(g);
  }
  if (!pending_pos.empty() || !pending_labels.empty()) flush_pending();
  // Tags left over without a gloss ("(P)" at the end) make no sense of their
  // own: an empty last sense goes, its tags joining the one before.
  while (out.senses.size() > 1 && out.senses.back().glosses.empty()) {
    Sense last = std::move(out.senses.back());
    out.senses.pop_back();
    for (const std::string& t : last.pos) add_unique(&out.senses.back().pos, t);
    for (const std::string& t : last.labels) add_unique(&out.senses.back().labels, t);
  }
  return out;
}
