// The commands for reading to learn: `known` (the known words of known.tsv),
// `vocab` (a text's words, most frequent first, and the share of it that is
// known) and `export-cards` (a file a flash-card program imports as it is).
// Their files lie in the dictionary folder (-C DIR); a FILE operand is named
// from where the command started.
#include "cli/study.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cli/cli.h"
#include "cli/input_encoding.h"
#include "cli/whole_text.h"
#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/platform.h"
#include "shell/desktop.h"
#include "wordlist/wordlist.h"

const char kUsageKnown[] =
    "usage: dodevuz known [-C DIR] add|remove HEADWORD [READING]\n"
    "       dodevuz known [-C DIR] list\n"
    "  The words you know, in DIR/known.tsv (one word a line: headword, tab,\n"
    "  reading; UTF-8). add marks a word known, remove takes it back, list prints\n"
    "  the known words, one \"HEADWORD<TAB>READING\" a line. The file is only ever\n"
    "  appended to: a removal is a line of its own (HEADWORD<TAB>READING<TAB>\n"
    "  removed), and the last line of a word holds. Without READING the word is\n"
    "  known in every reading. A damaged line is skipped with a note.\n";

const char kUsageVocab[] =
    "usage: dodevuz vocab [--utf8|--euc|--shift|--jis] [-C DIR] [--forms|--no-forms]\n"
    "                     [--min N] [--all] [--tsv|--json] [--cache-pages N] [FILE|-]\n"
    "  Lists the distinct words of a text of any length, most frequent first:\n"
    "  each with its count, its entry (headword, reading, first senses) and the\n"
    "  first sentence it occurs in. Words are counted by their dictionary form\n"
    "  (as --forms lists them; --no-forms: by the classic listing's entry).\n"
    "  Words in DIR/known.tsv are left out unless --all. At the end: how many\n"
    "  of the text's word occurrences are known (the share of the text known).\n"
    "    --min N     only words that occur at least N times\n"
    "    --tsv       a header line, then count, headword, reading, glosses,\n"
    "                sentence, text (the word as it first stood) and known (1 or\n"
    "                0) a line; the share goes to standard error\n"
    "    --json      one JSON object: the words and the counts\n"
    "    --cache-pages N  page frames of the dictionary cache (default 4096, 48 MiB;\n"
    "                up to 8192): memory is this and the distinct words, whatever\n"
    "                the text's length\n";

const char kUsageExportCards[] =
    "usage: dodevuz export-cards [-C DIR] [--from FILE] [--out FILE] [--all]\n"
    "                            [--deck NAME]\n"
    "  Writes the words of DIR/wordlist.tsv (or of FILE: a word list, or what\n"
    "  `vocab --tsv` printed) as flash cards in a text file that Anki 2.1.55 and\n"
    "  later imports as it is: header lines that name the separator, the note\n"
    "  type, the deck and the columns, then one note a line (a stable id, the\n"
    "  word, its reading, senses and sentence, the deck, the tags). Words\n"
    "  exported before (DIR/exported.tsv) are left out unless --all.\n"
    "    --out FILE  write to FILE (standard output without it)\n"
    "    --deck NAME the deck's name (Dodevuz)\n";

namespace {

constexpr char kExportedFile[] = "exported.tsv";
constexpr char kVocabHeader[] = "count\theadword\treading\tglosses\tsentence\ttext\tknown";
constexpr size_t kVocabSenses = 3;  // glosses shown per word in the listing
// Page frames of the dictionary cache for vocab (48 MiB at most): the forms
// lookups of a long text reach most of the dictionaries, and with a Get's 48
// frames they read each page again some hundred times (683,000 page reads
// for 40 kB of prose, 9,500 with these frames).
constexpr int kVocabCachePages = 4096;

// The options of the three commands, parsed here as the other commands do.
struct StudyOptions {
  TextEncoding encoding = TextEncoding::kUtf8;
  bool has_encoding = false;
  std::string directory;
  bool forms = true;
  long min = 1;
  long cache_pages = kVocabCachePages;
  bool all = false;
  bool tsv = false;
  bool json = false;
  std::string from, out, deck = "Dodevuz";
  bool help = false;
  std::vector<std::string> operands;
};

int study_usage_error(const char* usage, const std::string& problem) {
  std::fprintf(stderr, "dodevuz: %s\n%sTry 'dodevuz --help'.\n", problem.c_str(), usage);
  return kExitUsage;
}

bool parse_study_options(int argc, char** argv, const std::string& accepted, StudyOptions* o,
                         std::string* problem) {
  auto takes = [&](const std::string& option) {
    return (" " + accepted + " ").find(" " + option + " ") != std::string::npos;
  };
  auto value = [&](int* i, const std::string& option, std::string* into) {
    if (*i + 1 >= argc) {
      *problem = option + " needs a value";
      return false;
    }
    *into = argv[++*i];
    return true;
  };
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    TextEncoding encoding;
    if (arg == "-" || arg.empty() || arg[0] != '-') {
      o->operands.push_back(arg);
    } else if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (takes("--utf8") && encoding_from_option(arg, &encoding)) {
      if (o->has_encoding && o->encoding != encoding) {
        *problem = "give one encoding";
        return false;
      }
      o->encoding = encoding;
      o->has_encoding = true;
    } else if (arg == "-C" && takes(arg)) {
      if (!value(&i, arg, &o->directory)) return false;
    } else if (arg.rfind("-C", 0) == 0 && arg.size() > 2 && takes("-C")) {
      o->directory = arg.substr(2);
    } else if (arg == "--min" && takes(arg)) {
      std::string n;
      if (!value(&i, arg, &n)) return false;
      char* end = nullptr;
      errno = 0;
      o->min = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || errno != 0 || o->min < 1) {
        *problem = "--min takes a whole number from 1";
        return false;
      }
    } else if (arg == "--cache-pages" && takes(arg)) {
      std::string n;
      if (!value(&i, arg, &n)) return false;
      char* end = nullptr;
      errno = 0;
      o->cache_pages = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || errno != 0 ||
          bounded_frame_count(o->cache_pages) != o->cache_pages) {
        *problem = "--cache-pages takes a number from " + std::to_string(kMinFrameCount) + " to " +
                   std::to_string(kMaxFrameCount);
        return false;
      }
    } else if ((arg == "--forms" || arg == "--no-forms") && takes(arg)) {
      o->forms = arg == "--forms";
    } else if (arg == "--all" && takes(arg)) {
      o->all = true;
    } else if (arg == "--tsv" && takes(arg)) {
      o->tsv = true;
    } else if (arg == "--json" && takes(arg)) {
      o->json = true;
    } else if (arg == "--from" && takes(arg)) {
      if (!value(&i, arg, &o->from)) return false;
    } else if (arg == "--out" && takes(arg)) {
      if (!value(&i, arg, &o->out)) return false;
    } else if (arg == "--deck" && takes(arg)) {
      if (!value(&i, arg, &o->deck)) return false;
    } else {
      *problem = "unknown option: " + arg;
      return false;
    }
  }
  if (o->tsv && o->json) {
    *problem = "give --tsv or --json, not both";
    return false;
  }
  return true;
}

bool enter(const StudyOptions& o) {
  if (o.directory.empty() || chdir(o.directory.c_str()) == 0) return true;
  std::fprintf(stderr, "dodevuz: cannot enter %s: %s\n", o.directory.c_str(), std::strerror(errno));
  return false;
}

// Reads known.tsv of the working directory, noting damaged lines.
bool load_known() {
  if (!read_known_words(kKnownFile)) {
    std::fprintf(stderr, "dodevuz: cannot read %s\n", kKnownFile);
    return false;
  }
  const std::vector<size_t>& damaged = known_words.damaged;
  for (size_t k = 0; k < damaged.size() && k < 5; ++k) {
    std::fprintf(stderr, "dodevuz: %s line %zu is damaged; it is skipped\n", kKnownFile,
                 damaged[k]);
  }
  if (damaged.size() > 5) {
    std::fprintf(stderr, "dodevuz: %s: %zu damaged lines in all are skipped\n", kKnownFile,
                 damaged.size());
  }
  return true;
}

std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", b);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A UTF-8 field of a tab-separated line: no tab or line end in it.
std::string tsv_field(std::string_view euc) {
  std::string out = euc_to_utf8(euc);
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

// The first n glosses of "gloss; gloss; ..." (as entry_fields joins them).
std::string first_glosses(const std::string& glosses, size_t n) {
  size_t at = 0;
  for (size_t k = 0; k < n; ++k) {
    at = glosses.find("; ", at);
    if (at == std::string::npos) return glosses;
    if (k + 1 < n) at += 2;
  }
  return glosses.substr(0, at) + "; ...";
}

// ---- vocab ---------------------------------------------------------------

// One distinct word of the text (EUC-JP), by its entry.
struct VocabWord {
  std::string headword, reading, glosses, sentence, text;
  uint64_t count = 0;
  size_t first = 0;  // the order it first came in
  bool known = false;
};

struct Vocabulary {
  std::unordered_map<std::string, VocabWord> words;  // by "headword\treading"
  uint64_t occurrences = 0;
};

// The words of one page of the text, as its listing found them.
void count_page(Vocabulary* v, std::string_view page) {
  const unsigned char* listing = lookup.listing_buffer;
  if (listing == nullptr) return;
  for (int32_t n = 0; n < lookup.item_count; ++n) {
    const ListingItem& item = lookup.items[n];
    if (item.kind != ItemKind::kWord || item.line_offset < 0) continue;
    const std::string_view line(reinterpret_cast<const char*>(listing) + item.line_offset,
                                static_cast<size_t>(item.line_length));
    EntryFields f = entry_fields(line);
    if (f.headword.empty()) continue;
    ++v->occurrences;
    std::string key = f.headword + '\t' + f.reading;
    auto [place, added] = v->words.try_emplace(std::move(key));
    VocabWord& w = place->second;
    ++w.count;
    if (!added) continue;
    w.first = v->words.size();
    w.headword = std::move(f.headword);
    w.reading = std::move(f.reading);
    w.glosses = std::move(f.glosses);
    const auto offset = static_cast<size_t>(item.passage_offset);
    const auto length = static_cast<size_t>(item.passage_length);
    if (offset <= page.size()) {
      w.text = std::string(page.substr(offset, length));
      w.sentence = std::string(sentence_around(page, offset, length));
    }
  }
}

std::string share_text(uint64_t known, uint64_t all) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f", all == 0 ? 0.0 : 100.0 * known / all);
  return with_thousands(known) + " of " + with_thousands(all) + " word occurrences (" + percent +
         " %)";
}

int print_vocabulary(const Vocabulary& v, const StudyOptions& o) {
  std::vector<const VocabWord*> order;
  uint64_t known_occurrences = 0;
  size_t known_words_met = 0;
  for (auto& [key, w] : v.words) {
    const_cast<VocabWord&>(w).known = word_known(euc_to_utf8(w.headword), euc_to_utf8(w.reading));
    if (w.known) known_occurrences += w.count, ++known_words_met;
    if ((o.all || !w.known) && w.count >= static_cast<uint64_t>(o.min)) order.push_back(&w);
  }
  std::sort(order.begin(), order.end(), [](const VocabWord* a, const VocabWord* b) {
    return a->count != b->count ? a->count > b->count : a->first < b->first;
  });
  const std::string share = share_text(known_occurrences, v.occurrences);
  const std::string distinct =
      with_thousands(known_words_met) + " of " + with_thousands(v.words.size()) + " distinct words";
  if (o.json) {
    std::printf("{\"words\": [");
    for (size_t k = 0; k < order.size(); ++k) {
      const VocabWord& w = *order[k];
      std::printf(
          "%s\n  {\"count\": %llu, \"headword\": %s, \"reading\": %s, \"glosses\": %s, "
          "\"sentence\": %s, \"text\": %s, \"known\": %s}",
          k == 0 ? "" : ",", static_cast<unsigned long long>(w.count),
          json_string(euc_to_utf8(w.headword)).c_str(), json_string(euc_to_utf8(w.reading)).c_str(),
          json_string(euc_to_utf8(w.glosses)).c_str(), json_string(euc_to_utf8(w.sentence)).c_str(),
          json_string(euc_to_utf8(w.text)).c_str(), w.known ? "true" : "false");
    }
    std::printf(
        "\n], \"occurrences\": %llu, \"known_occurrences\": %llu, \"distinct\": %zu, "
        "\"known_distinct\": %zu}\n",
        static_cast<unsigned long long>(v.occurrences),
        static_cast<unsigned long long>(known_occurrences), v.words.size(), known_words_met);
    return kExitOk;
  }
  if (o.tsv) {
    std::printf("%s\n", kVocabHeader);
    for (const VocabWord* w : order) {
      std::printf("%llu\t%s\t%s\t%s\t%s\t%s\t%d\n", static_cast<unsigned long long>(w->count),
                  tsv_field(w->headword).c_str(), tsv_field(w->reading).c_str(),
                  tsv_field(w->glosses).c_str(), tsv_field(w->sentence).c_str(),
                  tsv_field(w->text).c_str(), w->known ? 1 : 0);
    }
    std::fprintf(stderr, "dodevuz: known: %s; %s\n", share.c_str(), distinct.c_str());
    return kExitOk;
  }
  for (const VocabWord* w : order) {
    std::string head = euc_to_utf8(w->headword);
    if (!w->reading.empty()) head += " [" + euc_to_utf8(w->reading) + "]";
    std::printf("%7llu  %s  %s%s\n", static_cast<unsigned long long>(w->count), head.c_str(),
                euc_to_utf8(first_glosses(w->glosses, kVocabSenses)).c_str(),
                w->known ? "  (known)" : "");
    if (!w->sentence.empty()) std::printf("         %s\n", euc_to_utf8(w->sentence).c_str());
  }
  std::printf("known: %s; %s\n", share.c_str(), distinct.c_str());
  return kExitOk;
}

// ---- export-cards --------------------------------------------------------

std::string html_escaped(std::string_view s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
      case '\r':
        out += ' ';
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Where a sense number "(2)" stands in a gloss, or npos.
size_t sense_mark(const std::string& gloss, size_t* length) {
  for (size_t at = gloss.find('('); at != std::string::npos; at = gloss.find('(', at + 1)) {
    size_t end = at + 1;
    while (end < gloss.size() && std::isdigit(static_cast<unsigned char>(gloss[end]))) ++end;
    if (end > at + 1 && end < gloss.size() && gloss[end] == ')') {
      *length = end + 1 - at;
      return at;
    }
  }
  return std::string::npos;
}

// The senses of "gloss; gloss; ...": a gloss with a sense number, "(v5r)
// (2) to form", starts a new one (the number goes: the list numbers them);
// without numbers the glosses are one sense.
std::vector<std::string> senses_of(const std::string& glosses) {
  std::vector<std::string> senses;
  for (size_t at = 0; at < glosses.size();) {
    size_t end = glosses.find("; ", at);
    if (end == std::string::npos) end = glosses.size();
    std::string gloss = glosses.substr(at, end - at);
    at = end + 2;
    size_t length = 0;
    const size_t mark = sense_mark(gloss, &length);
    if (mark != std::string::npos) {
      gloss.erase(mark, length);
      while (mark < gloss.size() && gloss[mark] == ' ') gloss.erase(mark, 1);
      while (!gloss.empty() && gloss.back() == ' ') gloss.pop_back();
    }
    if (senses.empty() || mark != std::string::npos) {
      senses.push_back(gloss);
    } else {
      senses.back() += "; " + gloss;
    }
  }
  return senses;
}

// The sentence with the word in bold: where the text it stood as, else the
// longest start of its headword, is first found in it.
std::string sentence_html(const CardWord& w) {
  const std::string& s = w.sentence;
  size_t at = std::string::npos, length = 0;
  if (!w.text.empty() && (at = s.find(w.text)) != std::string::npos) {
    length = w.text.size();
  } else {
    // Shorter starts of the headword, by whole UTF-8 characters.
    for (size_t n = w.headword.size(); n > 0; --n) {
      if (n < w.headword.size() && (static_cast<unsigned char>(w.headword[n]) & 0xC0) == 0x80) {
        continue;
      }
      if ((at = s.find(w.headword.substr(0, n))) != std::string::npos) {
        length = n;
        break;
      }
    }
  }
  if (at == std::string::npos) return html_escaped(s);
  return html_escaped(s.substr(0, at)) + "<b>" + html_escaped(s.substr(at, length)) + "</b>" +
         html_escaped(s.substr(at + length));
}

std::string card_back(const CardWord& w) {
  std::string back;
  if (!w.reading.empty()) back += "<div class=\"reading\">" + html_escaped(w.reading) + "</div>";
  const std::vector<std::string> senses = senses_of(w.glosses);
  if (!senses.empty()) {
    back += "<ol class=\"senses\">";
    for (const std::string& sense : senses) back += "<li>" + html_escaped(sense) + "</li>";
    back += "</ol>";
  }
  if (!w.sentence.empty()) back += "<div class=\"sentence\">" + sentence_html(w) + "</div>";
  return back;
}

}  // namespace

// "dz" and 16 hex digits of a 64-bit FNV-1a hash of "headword\treading": the
// same word gets the same id in every export, so that importing again
// updates its note.
std::string card_guid(const CardWord& w) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : w.headword + "\t" + w.reading) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  char out[24];
  std::snprintf(out, sizeof out, "dz%016llx", static_cast<unsigned long long>(h));
  return out;
}

std::string card_note(const CardWord& w, const std::string& deck) {
  return card_guid(w) + "\t" + html_escaped(w.headword) + "\t" + card_back(w) + "\t" +
         html_escaped(deck) + "\tdodevuz\n";
}

std::string card_file_header(const std::string& deck) {
  return "#separator:tab\n#html:true\n#notetype:Basic\n#deck:" + html_escaped(deck) +
         "\n#columns:guid\tFront\tBack\tDeck\tTags\n#guid column:1\n#deck column:4\n"
         "#tags column:5\n";
}

namespace {

std::vector<std::string> split_tabs(std::string_view line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    const size_t tab = line.find('\t', at);
    fields.emplace_back(line.substr(at, tab == std::string_view::npos ? line.npos : tab - at));
    if (tab == std::string_view::npos) return fields;
    at = tab + 1;
  }
}

// The words of a word list (headword, reading, glosses, sentence, ...) or of
// `vocab --tsv` (after its header line), UTF-8. Lines with too few fields
// are skipped with a note.
std::vector<CardWord> card_words(const std::string& rows, const std::string& source) {
  std::vector<CardWord> words;
  bool vocab = rows.rfind(kVocabHeader, 0) == 0;
  size_t number = 0;
  for (size_t at = 0; at < rows.size();) {
    size_t end = rows.find('\n', at);
    if (end == std::string::npos) end = rows.size();
    std::string line = rows.substr(at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || (vocab && number == 1)) continue;
    const std::vector<std::string> f = split_tabs(line);
    const size_t need = vocab ? 6 : 4;
    if (f.size() < need || f[vocab ? 1 : 0].empty()) {
      std::fprintf(stderr, "dodevuz: %s line %zu is not a word's row; it is skipped\n",
                   source.c_str(), number);
      continue;
    }
    if (vocab) {
      words.push_back({f[1], f[2], f[3], f[4], f[5]});
    } else {
      words.push_back({f[0], f[1], f[2], f[3], {}});
    }
  }
  return words;
}

bool read_whole(const char* path, std::string* bytes, bool missing_is_empty) {
  std::string error;
  struct stat info {};
  if (missing_is_empty && stat(path, &info) != 0 && errno == ENOENT) {
    bytes->clear();
    return true;
  }
  if (read_input(path, bytes, &error)) return true;
  std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
  return false;
}

}  // namespace

int command_known(int argc, char** argv) {
  StudyOptions o;
  std::string problem;
  if (!parse_study_options(argc, argv, "-C", &o, &problem)) {
    return study_usage_error(kUsageKnown, problem);
  }
  if (o.help) return std::fputs(kUsageKnown, stdout), kExitOk;
  const std::string what = o.operands.empty() ? "" : o.operands[0];
  const bool list = what == "list";
  if (list
          ? o.operands.size() != 1
          : (what != "add" && what != "remove") || o.operands.size() < 2 || o.operands.size() > 3) {
    return study_usage_error(kUsageKnown, "known takes add|remove HEADWORD [READING], or list");
  }
  for (const std::string& operand : o.operands) {
    if (!check_input_encoding(operand, TextEncoding::kUtf8, "the word")) return kExitUsage;
  }
  if (!enter(o)) return kExitFailure;
  if (list) {
    if (!load_known()) return kExitFailure;
    for (const std::string& word : known_word_list()) std::printf("%s\n", word.c_str());
    return kExitOk;
  }
  const std::string reading = o.operands.size() == 3 ? o.operands[2] : "";
  mark_known(kKnownFile, o.operands[1], reading, what == "add");
  std::printf("%s\n", known_outcome_text());
  return known_words.last == KnownOutcome::kFailed ? kExitFailure : kExitOk;
}

int command_vocab(int argc, char** argv) {
  StudyOptions o;
  std::string problem;
  if (!parse_study_options(argc, argv,
                           "--utf8 -C --forms --no-forms --min --all --tsv --json --cache-pages",
                           &o, &problem)) {
    return study_usage_error(kUsageVocab, problem);
  }
  if (o.help) return std::fputs(kUsageVocab, stdout), kExitOk;
  if (o.operands.size() > 1) return study_usage_error(kUsageVocab, "vocab reads one text");
  // The text is opened before -C changes the directory, and read a part at
  // a time as `get --all` reads it.
  const std::string path = o.operands.empty() ? "-" : o.operands[0];
  const bool from_stdin = path == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path.c_str(), "rb");
  struct stat info {};
  if (in == nullptr || (fstat(fileno(in), &info) == 0 && S_ISDIR(info.st_mode))) {
    std::fprintf(stderr, "dodevuz: cannot read %s: %s\n", path.c_str(),
                 std::strerror(in == nullptr ? errno : EISDIR));
    if (in != nullptr && !from_stdin) std::fclose(in);
    return kExitFailure;
  }
  start_afresh(static_cast<int>(o.cache_pages));
  set_dictionary_forms(o.forms);
  int status = kExitFailure;
  if (enter(o) && load_known()) {
    Vocabulary vocabulary;
    WholeTextRun run{in, from_stdin ? "standard input" : path, 0, o.encoding, "none", false, false,
                     {}, {}};
    run.visit_page = [&](std::string_view page) { count_page(&vocabulary, page); };
    status = list_whole_text(run);
    if (status != kExitUsage) {
      const int printed = print_vocabulary(vocabulary, o);
      if (status == kExitOk) status = printed;
    }
  }
  if (!from_stdin) std::fclose(in);
  return status;
}

int command_export_cards(int argc, char** argv) {
  StudyOptions o;
  std::string problem;
  if (!parse_study_options(argc, argv, "-C --from --out --all --deck", &o, &problem)) {
    return study_usage_error(kUsageExportCards, problem);
  }
  if (o.help) return std::fputs(kUsageExportCards, stdout), kExitOk;
  if (!o.operands.empty()) {
    return study_usage_error(kUsageExportCards, "export-cards takes no operand: use --from FILE");
  }
  // FILE operands are named from where the command started.
  std::string rows;
  if (!o.from.empty() && !read_whole(o.from.c_str(), &rows, false)) return kExitFailure;
  FILE* out = stdout;
  if (!o.out.empty() && (out = std::fopen(o.out.c_str(), "wb")) == nullptr) {
    std::fprintf(stderr, "dodevuz: cannot write %s: %s\n", o.out.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  int status = kExitFailure;
  std::string exported;
  if (enter(o) && (!o.from.empty() || read_whole(kWordListFile, &rows, true)) &&
      read_whole(kExportedFile, &exported, true)) {
    status = kExitOk;
    const std::string source = o.from.empty() ? kWordListFile : o.from;
    if (!check_input_encoding(rows, TextEncoding::kUtf8, source)) status = kExitUsage;
    std::vector<std::string> done;  // "headword\treading" of the words exported before
    for (size_t at = 0; at < exported.size();) {
      size_t end = exported.find('\n', at);
      if (end == std::string::npos) end = exported.size();
      done.push_back(exported.substr(at, end - at));
      at = end + 1;
    }
    std::sort(done.begin(), done.end());
    std::string text = card_file_header(o.deck);
    std::string marks;
    std::unordered_set<std::string> marked;
    size_t cards = 0;
    for (const CardWord& w :
         status == kExitOk ? card_words(rows, source) : std::vector<CardWord>{}) {
      const std::string key = w.headword + "\t" + w.reading;
      const bool before = std::binary_search(done.begin(), done.end(), key);
      if (before && !o.all) continue;
      if (!before && marked.insert(key).second) marks += key + "\n";
      text += card_note(w, o.deck);
      ++cards;
    }
    const bool written =
        std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
    if (!written) {
      std::fprintf(stderr, "dodevuz: cannot write %s\n",
                   o.out.empty() ? "the cards" : o.out.c_str());
      status = kExitFailure;
    } else if (status == kExitOk) {
      // Remembered only once the cards are out.
      if (!marks.empty() &&
          file_append(kExportedFile, marks.data(), static_cast<uint32_t>(marks.size())) != 0) {
        std::fprintf(stderr, "dodevuz: cannot write %s; the words will be exported again\n",
                     kExportedFile);
      }
      std::fprintf(stderr, "dodevuz: %zu cards written\n", cards);
    }
  }
  if (out != stdout && std::fclose(out) != 0) status = kExitFailure;
  return status;
}
