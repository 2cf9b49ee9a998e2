// The listing's words of a whole text, for the quality report (`make
// quality`, bench/quality.py): the text (EUC-JP) goes through the listing
// walk passage by passage, the way "Get Dodevuz NEXT" pages through it, and
// every word item of the record is printed as one tab-separated line:
//
//   byte offset in the text, bytes of the word, headword, reading (or "-"),
//   "forms" when a dictionary-forms description stands before the line
//   (else "-"), "vs" when the entry takes する (else "-")
//
// all in UTF-8. Run in the dictionary's folder:
//   dodevuz-quality-items [--forms] TEXT.euc
#include <cstdio>
#include <cstring>
#include <string>

#include "deinflect/deinflect.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "shell/shell.h"
#include "store/store.h"

namespace {

std::string read_all(const char* path) {
  std::string bytes;
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
  std::fclose(in);
  return bytes;
}

// The longest run of whole EUC-JP characters of at most limit bytes, ending
// at a line end when there is one in it.
size_t passage_length(const std::string& text, size_t from, size_t limit) {
  if (text.size() - from <= limit) return text.size() - from;
  size_t end = text.rfind('\n', from + limit - 1);
  if (end != std::string::npos && end >= from) return end + 1 - from;
  size_t at = from;
  while (at < text.size()) {
    const auto c = static_cast<unsigned char>(text[at]);
    const size_t length = c == 0x8F ? 3 : c >= 0x8E ? 2 : 1;
    if (at + length - from > limit) break;
    at += length;
  }
  return at - from;
}

void print_items(size_t base) {
  for (int32_t i = 0; i < lookup.item_count; ++i) {
    const ListingItem& item = lookup.items[i];
    if (item.kind != ItemKind::kWord) continue;
    const auto* line = reinterpret_cast<const char*>(lookup.listing_buffer + item.line_offset);
    std::string text(line, static_cast<size_t>(item.line_length));
    const size_t blank = text.find(' ');
    std::string headword = text.substr(0, blank);
    std::string reading = "-";
    if (blank != std::string::npos && blank + 1 < text.size() && text[blank + 1] == '[') {
      const size_t close = text.find(']', blank);
      if (close != std::string::npos) reading = text.substr(blank + 2, close - blank - 2);
    }
    const bool vs = text.find("(vs") != std::string::npos ||
                    text.find(",vs,") != std::string::npos ||
                    text.find(",vs)") != std::string::npos;
    std::printf("%zu\t%d\t%s\t%s\t%s\t%s\n", base + static_cast<size_t>(item.passage_offset),
                item.passage_length, euc_to_utf8(headword).c_str(), euc_to_utf8(reading).c_str(),
                item.prefix_length > 0 ? "forms" : "-", vs ? "vs" : "-");
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool forms = argc > 2 && std::strcmp(argv[1], "--forms") == 0;
  const char* path = argv[argc - 1];
  if (argc < 2 || (argc > 2 && !forms)) {
    std::fputs("usage: dodevuz-quality-items [--forms] TEXT.euc\n", stderr);
    return 2;
  }
  const std::string text = read_all(path);
  reset_program_state();
  open_dictionaries(nullptr);
  lookup.dictionary_forms = forms;
  if (forms && !load_deinflect_table(nullptr)) return 1;

  for (size_t from = 0; from < text.size();) {
    const size_t length = passage_length(text, from, kKanjiBufferSize - 2);
    intake.kanji_buffer = renew_block(&intake.kanji_block, kKanjiBufferSize, true);
    if (intake.kanji_buffer == nullptr || length == 0) return 1;
    std::memcpy(intake.kanji_buffer, text.data() + from, length);
    // Page by page, as NEXT goes on where a full listing stopped.
    int32_t start = 0;
    for (;;) {
      build_listing_page(nullptr, start, kNoLimit);
      print_items(from);
      if (!lookup.listing_full || lookup.listing_stop <= start ||
          lookup.listing_stop >= lookup.passage_length) {
        break;
      }
      start = lookup.listing_stop;
    }
    from += length;
  }
  return 0;
}
