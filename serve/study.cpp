// The reading page's study request: mark a word known (or no longer known)
// in known.tsv, in the server's dictionary folder. A word is named by its
// headword and reading as the listing gave them. (Adding a word to the word
// list is /api/wordlist, in reading.cpp.)
#include <nlohmann/json.hpp>
#include <string>

#include "known/known.h"
#include "serve/serve.h"

using nlohmann::json;

namespace {

// Bytes of a request's word: more is no word of the dictionary.
constexpr size_t kWordBytes = 200;

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
