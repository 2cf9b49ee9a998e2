// The reading page's study requests: mark a word known (or no longer known)
// in known.tsv, and add a word to the word list, both in the server's
// dictionary folder. A word is named by its headword and reading as the
// listing gave them; the word list takes the dictionary's own entry line for
// it, never text from the request.
#include <nlohmann/json.hpp>
#include <string>

#include "known/known.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "serve/serve.h"
#include "shell/shell.h"
#include "store/store.h"
#include "wordlist/wordlist.h"

using nlohmann::json;

namespace {

// Bytes of a request's word or sentence: more is no word of the dictionary.
constexpr size_t kWordBytes = 200;
constexpr size_t kSentenceBytes = 2000;

std::string reply(int* status, int code, const json& body) {
  *status = code;
  return body.dump();
}

// A string member of the request, at most limit bytes and without NUL;
// absent reads as empty when optional.
bool string_member(const json& request, const char* name, size_t limit, bool optional,
                   std::string* value, std::string* problem) {
  auto member = request.find(name);
  if (member == request.end() && optional) return value->clear(), true;
  if (member == request.end() || !member->is_string()) {
    *problem = std::string("the request needs \"") + name + "\", a string";
    return false;
  }
  *value = member->get<std::string>();
  if (value->size() > limit || value->find('\0') != std::string::npos) {
    *problem = std::string("\"") + name + "\" is too long or holds a NUL character";
    return false;
  }
  return true;
}

bool parse_word(const std::string& body, json* request, std::string* headword, std::string* reading,
                std::string* problem) {
  *request = json::parse(body, nullptr, false);
  if (request->is_discarded() || !request->is_object()) {
    *problem = "the request must be a JSON object";
    return false;
  }
  if (!string_member(*request, "headword", kWordBytes, false, headword, problem) ||
      !string_member(*request, "reading", kWordBytes, true, reading, problem)) {
    return false;
  }
  if (headword->empty()) {
    *problem = "\"headword\" is empty";
    return false;
  }
  return true;
}

Window study_window() {
  static int main_window;
  return &main_window;
}

// The entry line (EUC-JP, without its line end) of the dictionaries' word
// with this headword and reading (UTF-8); empty when there is none.
std::string entry_line_of(const std::string& headword, const std::string& reading) {
  reset_program_state();
  reset_desktop();
  open_dictionaries(study_window());
  const std::string key = utf8_to_euc(headword);
  const std::string kana = utf8_to_euc(reading);
  set_search_key(reinterpret_cast<const unsigned char*>(key.data()), key.size());
  std::string found;
  for_each_selection_line([&](const unsigned char* line, size_t length) {
    std::string text(reinterpret_cast<const char*>(line), length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const EntryFields f = entry_fields(text);
    if (f.headword != key || f.reading != kana) return true;
    found = std::move(text);
    return false;
  });
  reset_program_state();
  return found;
}

}  // namespace

std::string api_known(const std::string& body, int* status) {
  json request;
  std::string headword, reading, problem;
  if (!parse_word(body, &request, &headword, &reading, &problem)) {
    return reply(status, 400, json{{"error", problem}});
  }
  bool known = true;
  if (auto k = request.find("known"); k != request.end()) {
    if (!k->is_boolean())
      return reply(status, 400, json{{"error", "\"known\" must be true or false"}});
    known = k->get<bool>();
  }
  const KnownOutcome outcome = mark_known(kKnownFile, headword, reading, known);
  if (outcome == KnownOutcome::kFailed) {
    return reply(status, 500,
                 json{{"error", "known.tsv cannot be written in the server's folder"}});
  }
  return reply(status, 200,
               json{{"known", word_known(headword, reading)}, {"outcome", known_outcome_text()}});
}

std::string api_add_word(const std::string& body, int* status) {
  json request;
  std::string headword, reading, sentence, form, problem;
  if (!parse_word(body, &request, &headword, &reading, &problem) ||
      !string_member(request, "sentence", kSentenceBytes, true, &sentence, &problem) ||
      !string_member(request, "form", kWordBytes, true, &form, &problem)) {
    return reply(status, 400, json{{"error", problem}});
  }
  const std::string line = entry_line_of(headword, reading);
  if (line.empty())
    return reply(status, 404, json{{"error", "no entry of the dictionary has that word"}});
  const WordListOutcome outcome =
      add_word(kWordListFile, line, utf8_to_euc(sentence), utf8_to_euc(form));
  if (outcome == WordListOutcome::kFailed) {
    return reply(status, 500,
                 json{{"error", "wordlist.tsv cannot be written in the server's folder"}});
  }
  return reply(status, 200, json{{"outcome", word_list_outcome_text()}});
}
