// The word list's rows and their appending. The program's text is EUC-JP;
// the file is UTF-8 for the programs that import it, converted here at the
// edge.
#include "wordlist/wordlist.h"

#include <cstring>
#include <ctime>
#include <vector>

#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/text_units.h"

WordList word_list;

void reset_word_list() {
  word_list = WordList{};
}

namespace {

// Whether the character at text[i] ends a sentence, and whether it is a line
// end (which the sentence leaves out).
bool ends_sentence(std::string_view text, size_t i, bool* line_end) {
  const auto b = static_cast<unsigned char>(text[i]);
  *line_end = b == '\n' || b == '\r';
  if (*line_end || b == '!' || b == '?') return true;
  // A full stop ends a sentence before a blank or a line end, not inside
  // "3.5" or "file.txt".
  if (b == '.') return i + 1 >= text.size() || text[i + 1] == ' ' || text[i + 1] == '\n';
  if (b != 0xA1 || i + 1 >= text.size()) return false;
  const auto c = static_cast<unsigned char>(text[i + 1]);
  return c == 0xA3 || c == 0xA5 || c == 0xA9 || c == 0xAA;  // 。 ． ？ ！
}

bool is_blank_at(std::string_view text, size_t i, size_t* length) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b == ' ' || b == '\t') return *length = 1, true;
  if (b == 0xA1 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA1) {
    return *length = 2, true;  // the full-width blank
  }
  return false;
}

// A field of a row: UTF-8, with no tab or line end left in it.
std::string field(std::string_view euc) {
  std::string out = euc_to_utf8(euc);
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

// The first two fields of each row of a word list, as "headword\treading".
bool row_listed(std::string_view rows, const std::string& key) {
  size_t at = 0;
  while (at < rows.size()) {
    size_t end = rows.find('\n', at);
    if (end == std::string_view::npos) end = rows.size();
    std::string_view row = rows.substr(at, end - at);
    if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
    const size_t second_tab = row.find('\t', row.find('\t') + 1);
    const std::string_view first_two =
        row.find('\t') == std::string_view::npos
            ? row
            : row.substr(0, second_tab == std::string_view::npos ? row.size() : second_tab);
    if (first_two == key) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace

EntryFields entry_fields(std::string_view line) {
  line = line.substr(0, line.find_first_of(std::string_view("\r\n\0", 3)));
  EntryFields f;
  const size_t blank = line.find(' ');
  f.headword = std::string(line.substr(0, blank));
  if (blank == std::string_view::npos) return f;
  std::string_view rest = line.substr(blank + 1);
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    f.reading =
        std::string(rest.substr(1, close == std::string_view::npos ? rest.size() - 1 : close - 1));
    rest = close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
  }
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  // "/gloss/gloss/": the slashes at both ends go (the last may be missing,
  // as in the single pane), those between become "; ".
  if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  while (!rest.empty() && (rest.back() == '/' || rest.back() == ' ')) rest.remove_suffix(1);
  for (size_t i = 0; i < rest.size();) {
    const auto b = static_cast<unsigned char>(rest[i]);
    const size_t n = std::min(euc_lead_length(b), rest.size() - i);
    if (b == '/') {
      f.glosses += "; ";
    } else {
      f.glosses.append(rest.substr(i, n));
    }
    i += n;
  }
  return f;
}

std::string_view sentence_around(std::string_view text, size_t offset, size_t length) {
  if (offset > text.size()) offset = text.size();
  if (length > text.size() - offset) length = text.size() - offset;
  const size_t word_end = offset + length;
  // Forward over whole characters from the start: EUC-JP cannot be read
  // backwards safely.
  size_t start = 0, end = text.size();
  std::vector<size_t> boundaries;  // character starts within reach before the word
  for (size_t i = 0; i < text.size();) {
    const size_t n =
        std::min(euc_lead_length(static_cast<unsigned char>(text[i])), text.size() - i);
    bool line_end = false;
    if (i + n <= offset) {
      if (i + kSentenceReach >= offset) boundaries.push_back(i);
      if (ends_sentence(text, i, &line_end)) start = i + n;
    } else if (i >= word_end && ends_sentence(text, i, &line_end)) {
      end = line_end ? i : i + n;
      break;
    }
    if (i >= word_end && i + n > word_end + kSentenceReach) {
      end = i;
      break;
    }
    i += n;
  }
  // Within reach before the word: the first whole character from there.
  if (offset - start > kSentenceReach) {
    for (size_t b : boundaries) {
      if (b >= start) {
        start = b;
        break;
      }
    }
  }
  if (end < word_end) end = word_end;
  std::string_view s = text.substr(start, end - start);
  size_t n = 0;
  while (!s.empty() && is_blank_at(s, 0, &n)) s.remove_prefix(n);
  while (!s.empty()) {
    const auto last = static_cast<unsigned char>(s.back());
    if (last == ' ' || last == '\t') {
      s.remove_suffix(1);
    } else if (s.size() >= 2 && last == 0xA1 &&
               static_cast<unsigned char>(s[s.size() - 2]) == 0xA1) {
      s.remove_suffix(2);
    } else {
      break;
    }
  }
  return s;
}

std::string word_list_row(std::string_view line, std::string_view sentence, std::string_view date) {
  const EntryFields f = entry_fields(line);
  std::string row = field(f.headword);
  row += '\t';
  row += field(f.reading);
  row += '\t';
  row += field(f.glosses);
  row += '\t';
  row += field(sentence);
  row += '\t';
  row += field(date);
  row += '\n';
  return row;
}

const char* word_list_outcome_text() {
  switch (word_list.last) {
    case WordListOutcome::kAdded:
      return "added to wordlist.tsv";
    case WordListOutcome::kAlreadyListed:
      return "already in wordlist.tsv";
    case WordListOutcome::kFailed:
      return "could not write wordlist.tsv";
    case WordListOutcome::kNoEntry:
    case WordListOutcome::kNone:
      break;
  }
  return "nothing to add";
}

std::string word_list_date() {
  if (word_list.date[0] != 0)
    return std::string(word_list.date, strnlen(word_list.date, sizeof word_list.date));
  const std::time_t now = std::time(nullptr);
  char out[16] = "";
  if (const std::tm* local = std::localtime(&now))
    std::strftime(out, sizeof out, "%Y-%m-%d", local);
  return out;
}

WordListOutcome add_word(const char* path, std::string_view line, std::string_view sentence) {
  line = line.substr(0, line.find_first_of(std::string_view("\r\n\0", 3)));
  if (line.empty()) return word_list.last = WordListOutcome::kNoEntry;
  std::string row = word_list_row(line, sentence, word_list_date());

  // The look for the word and the append are one step under the file's
  // lock, so two programs adding the same word write it once.
  const size_t second_tab = row.find('\t', row.find('\t') + 1);
  const std::string key = row.substr(0, second_tab);
  bool listed = false;
  const int status = file_append_checked(path, [&](std::string_view existing) {
    listed = row_listed(existing, key);
    if (listed) return std::string();
    // A file whose last row lost its line end (edited by hand) keeps it whole.
    return !existing.empty() && existing.back() != '\n' ? "\n" + row : row;
  });
  if (status != 0) return word_list.last = WordListOutcome::kFailed;
  if (listed) return word_list.last = WordListOutcome::kAlreadyListed;
  return word_list.last = WordListOutcome::kAdded;
}
