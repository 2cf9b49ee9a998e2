// `dodevuz get --all`: the text is read a part at a time into EUC-JP; the
// kanji buffer holds the next 39998 bytes of it; each page is the Get chain
// after the intake (listing, panes, romaji) on the dictionary opened once,
// and the text moves on by the bytes the page listed.
#include "cli/whole_text.h"

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "cli/cli.h"
#include "cli/input_encoding.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"

namespace {

constexpr size_t kReadSize = 1 << 16;
constexpr size_t kPageText = kKanjiBufferSize - 2;  // the passage bytes a page holds
// The lookup's key looks this far ahead: a page that holds only part of the
// text stops before a key would reach past it, and the next page takes over.
constexpr size_t kLookAhead = 20;
// A JIS text with neither line feed nor escape sequence is cut anyway once
// this much of it waits (at an even offset: two-byte mode keeps its pairs).
constexpr size_t kJisPartLimit = 1 << 20;

// The input, read a part at a time and turned into EUC-JP.
struct TextReader {
  const WholeTextRun* run;
  std::string raw;       // bytes read and not yet converted
  std::string jis_mode;  // the escape sequence in force at the start of raw
  uint64_t read;         // input bytes read
  uint64_t converted;    // input bytes converted
  bool at_end;           // nothing more to read (or a NUL ended the text)
  bool lossy_noted;
  bool failed;                  // not valid text: the run ends with status 2
  std::string* kept = nullptr;  // when set, gets the input bytes as they are converted
};

bool sjis_lead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool halfwidth_kana(unsigned char b) {
  return b >= 0xA1 && b <= 0xDF;
}

size_t utf8_boundary(const std::string& bytes) {
  size_t size = bytes.size();
  if (size == 0) return 0;
  size_t lead = size - 1;
  while (lead > 0 && size - lead < 4 && (static_cast<unsigned char>(bytes[lead]) & 0xC0) == 0x80) {
    --lead;
  }
  const auto b = static_cast<unsigned char>(bytes[lead]);
  const size_t need = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  return lead + need <= size ? size : lead;
}

// A half-width katakana takes a voicing mark that follows it, so no part
// ends between the two.
size_t sjis_boundary(const std::string& bytes) {
  size_t boundary = 0;
  bool after_kana = false;
  for (size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (!(after_kana && (b == 0xDE || b == 0xDF))) boundary = i;
    const size_t length = sjis_lead(b) ? 2 : 1;
    if (i + length > bytes.size()) return boundary;
    after_kana = halfwidth_kana(b);
    i += length;
  }
  return after_kana ? boundary : bytes.size();
}

// The escape sequence that starts at at: ESC $ ( F is four bytes, the
// others three.
std::string escape_at(const std::string& bytes, size_t at) {
  size_t length = at + 2 < bytes.size() && bytes[at + 1] == '$' && bytes[at + 2] == '(' ? 4 : 3;
  return bytes.substr(at, std::min(length, bytes.size() - at));
}

size_t jis_boundary(const std::string& bytes, std::string* mode) {
  size_t cut = bytes.rfind('\n');
  if (cut != std::string::npos) {
    ++cut;
  } else {
    size_t escape = bytes.rfind('\x1B');
    if (escape != std::string::npos && escape > 0) {
      cut = escape;
    } else if (bytes.size() >= kJisPartLimit) {
      size_t from = escape == std::string::npos ? 0 : escape + escape_at(bytes, escape).size();
      cut = bytes.size() - (bytes.size() - from) % 2;
    } else {
      return 0;
    }
  }
  // The last escape sequence before the cut is the mode the next part
  // starts in (none of them holds a line feed, so none is cut).
  const size_t at = bytes.rfind('\x1B', cut - 1);
  if (at != std::string::npos) *mode = escape_at(bytes, at);
  return cut;
}

// Whether the stepping of euc_whole_prefix from the start of text stops at
// position.
bool stepping_stops_at(std::string_view text, size_t position) {
  size_t at = 0;
  while (at < position) at += euc_lead_length(static_cast<unsigned char>(text[at]));
  return at == position;
}

// Reads and converts the next part onto euc. Returns false when nothing more
// comes (the end, a NUL, or text that is not valid, which sets failed).
bool read_part(TextReader& r, std::string* euc) {
  if (r.at_end) return false;
  const WholeTextRun& run = *r.run;
  std::vector<char> buffer(kReadSize);
  size_t n = std::fread(buffer.data(), 1, buffer.size(), run.in);
  r.read += n;
  r.raw.append(buffer.data(), n);
  if (n < buffer.size()) {
    if (std::ferror(run.in)) {
      std::fprintf(stderr, "dodevuz: cannot read %s: %s\n", run.source.c_str(),
                   std::strerror(errno));
    }
    r.at_end = true;
  }
  size_t nul = r.raw.find('\0');
  if (nul != std::string::npos) {
    std::fputs("dodevuz: the text ends at its first NUL byte; the rest is not read\n", stderr);
    r.raw.resize(nul);
    r.at_end = true;
  }

  std::string mode_after = r.jis_mode;
  const size_t cut = part_boundary(r.raw, run.encoding, r.at_end, &mode_after);
  if (cut == 0) return !r.at_end;

  // The part is checked as a whole text would be, in the mode it starts in.
  const std::string prefix = run.encoding == TextEncoding::kJis ? r.jis_mode : std::string();
  const std::string part = prefix + r.raw.substr(0, cut);
  size_t fault = first_invalid_byte(part, run.encoding);
  size_t escape = run.encoding == TextEncoding::kJis ? std::string::npos : first_jis_escape(part);
  if (fault != std::string::npos) {
    // "of M" when the text's length is known: a file, or a text read to its end.
    const uint64_t total = run.total_bytes > 0 ? run.total_bytes : r.at_end ? r.read : 0;
    const std::string of = total > 0 ? " of " + grouped(total) : std::string();
    std::fprintf(stderr,
                 "dodevuz: %s is not valid %s text (from byte %s%s); say which encoding it is "
                 "in with --utf8 (the default), --euc, --shift or --jis\n",
                 run.source.c_str(), encoding_name(run.encoding),
                 grouped(r.converted + fault - std::min(fault, prefix.size())).c_str(), of.c_str());
  } else if (escape != std::string::npos) {
    std::fprintf(stderr,
                 "dodevuz: %s holds a JIS escape sequence (at byte %s), not %s text; say which "
                 "encoding it is in with --utf8 (the default), --euc, --shift or --jis\n",
                 run.source.c_str(), grouped(r.converted + escape).c_str(),
                 encoding_name(run.encoding));
  }
  if (fault != std::string::npos || escape != std::string::npos) {
    r.failed = true;
    r.at_end = true;
    return false;
  }

  if (run.encoding == TextEncoding::kUtf8) {
    bool lossless = true;
    *euc += utf8_to_euc(part, &lossless);
    if (!lossless && !r.lossy_noted) {
      std::fputs("dodevuz: some characters have no EUC-JP code; they read as \xE3\x80\x93\n",
                 stderr);
      r.lossy_noted = true;
    }
  } else {
    *euc += text_as_euc(part, run.encoding);
  }
  if (r.kept != nullptr) r.kept->append(r.raw, 0, cut);
  r.converted += cut;
  r.raw.erase(0, cut);
  r.jis_mode = mode_after;
  return true;
}

// One pane's text as it is printed: the exact bytes, or UTF-8 for the
// terminal, where a character that a page boundary would split waits for
// the rest of it.
struct PaneWriter {
  FILE* out;
  bool raw;
  std::string carry;
  char last;

  void write(std::string_view euc) {
    if (euc.empty()) return;
    if (raw) {
      std::fwrite(euc.data(), 1, euc.size(), out);
      last = euc.back();
      return;
    }
    carry.append(euc);
    // No byte of a two- or three-byte character is below 0x80, so the
    // characters start afresh after the last ASCII byte.
    size_t ascii = carry.size();
    while (ascii > 0 && static_cast<unsigned char>(carry[ascii - 1]) >= 0x80) --ascii;
    size_t whole =
        ascii + euc_whole_prefix(std::string_view(carry).substr(ascii), carry.size() - ascii);
    // A 0x0D waits too: its 0x0A may come with the next page.
    if (whole > 0 && carry[whole - 1] == '\r') --whole;
    emit(std::string_view(carry).substr(0, whole));
    carry.erase(0, whole);
  }
  void emit(std::string_view euc) {
    std::string text = pane_text_for_terminal(euc);
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), out);
    last = text.back();
  }
  void finish() {
    if (!raw) {
      emit(carry);
      carry.clear();
      if (last != 0 && last != '\n') std::fputc('\n', out), last = '\n';
    }
  }
};

// A pane's text without the notice of a full listing at its end.
std::string_view page_text(Window pane) {
  std::string_view text = pane_text(pane);
  return text.substr(0, text.size() - std::min(text.size(), lookup.notice_text_length));
}

struct Progress {
  bool shown;
  std::chrono::steady_clock::time_point start, last;

  void report(uint64_t done, uint64_t total, bool final_line) {
    if (!shown) return;
    auto now = std::chrono::steady_clock::now();
    if (!final_line && now - last < std::chrono::milliseconds(200)) return;
    last = now;
    double seconds = std::chrono::duration<double>(now - start).count();
    double rate = seconds > 0 ? done / seconds / 1e6 : 0;
    std::string of = total > 0 ? " of " + grouped(total) : "";
    std::fprintf(stderr, "\rdodevuz: %s%s bytes listed, %.1f MB/s%s", grouped(done).c_str(),
                 of.c_str(), rate, final_line ? "\n" : "");
    std::fflush(stderr);
  }
};

}  // namespace

size_t part_boundary(const std::string& bytes, TextEncoding encoding, bool at_end,
                     std::string* mode) {
  if (at_end) return bytes.size();
  switch (encoding) {
    case TextEncoding::kEucJp:
      return euc_whole_prefix(bytes, bytes.size());
    case TextEncoding::kUtf8:
      return utf8_boundary(bytes);
    case TextEncoding::kShiftJis:
      return sjis_boundary(bytes);
    case TextEncoding::kJis:
    default:
      return jis_boundary(bytes, mode);
  }
}

TextStart read_text_start(const WholeTextRun& run, size_t want, size_t raw_limit) {
  TextStart start;
  TextReader reader{&run, {}, {}, 0, 0, false, false, false};
  reader.kept = &start.raw;
  while (start.euc.size() < want && reader.read < raw_limit && read_part(reader, &start.euc)) {
  }
  start.failed = reader.failed;
  if (!reader.at_end && reader.raw.empty()) {
    // The text may end just where the reading stopped.
    const int next = std::fgetc(run.in);
    if (next == EOF) {
      reader.at_end = true;
    } else {
      std::ungetc(next, run.in);
    }
  }
  start.whole = reader.at_end && reader.raw.empty();
  return start;
}

int list_whole_text(const WholeTextRun& run) {
  Window main_window = cli_main_window();
  // The dictionary and the tables once for the whole text.
  open_for_pages(main_window);
  // The intake's buffer, which the run fills page by page.
  unsigned char* const page = renew_kanji_buffer(main_window);
  if (page == nullptr) return kExitFailure;

  const bool both = run.pane == "both";
  FILE* romaji_file = both ? std::tmpfile() : nullptr;
  if (both && romaji_file == nullptr) {
    std::fprintf(stderr, "dodevuz: no room for the romaji text: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  PaneWriter listing_out{stdout, run.raw, {}, 0};
  PaneWriter romaji_out{romaji_file != nullptr ? romaji_file : stdout, true, {}, 0};
  if (!both && run.pane == "romaji") romaji_out.raw = run.raw;
  if (both) std::fputs("== listing ==\n", stdout);

  TextReader reader{&run, {}, {}, 0, 0, false, false, false};
  bool message_shown = false;
  Progress progress{run.progress, std::chrono::steady_clock::now(), {}};
  std::string text;  // EUC-JP not listed yet: at most a page and a part
  // A place where the stepping over text's characters from its start stops:
  // the last page's end, when the text moved on by whole characters. Each
  // page then steps over only the bytes it adds, not the whole page again.
  size_t known_stop = 0;
  for (;;) {
    while (text.size() < kPageText && read_part(reader, &text)) {
    }
    if (text.empty()) break;
    size_t stop = 0;
    const size_t length =
        euc_whole_prefix(text, kPageText, known_stop <= kPageText ? known_stop : 0, &stop);
    const bool last = reader.at_end && length == text.size();
    std::memset(page, 0, kKanjiBufferSize);
    std::memcpy(page, text.data(), length);
    run_page_chain(main_window, 0,
                   last ? kNoLimit : static_cast<int32_t>(length - std::min(length, kLookAhead)));

    if (run.pane != "romaji") listing_out.write(page_text(shell.listing_pane));
    if (run.pane != "listing") romaji_out.write(page_text(romaji.romaji_pane));
    const size_t step = static_cast<size_t>(std::max(lookup.listing_stop, 0));
    if (step == 0) {
      std::fputs("dodevuz: the listing cannot go on (no memory for its buffers)\n", stderr);
      break;
    }
    known_stop =
        stop <= text.size() && step <= stop && stepping_stops_at(text, step) ? stop - step : 0;
    text.erase(0, step);
    // The panes of a page are gone once printed; of the events only a
    // message counts, for the exit status.
    forget_destroyed_panes();
    for (const PlatformEvent& event : desktop.events) message_shown |= event.what == "message";
    desktop.events.clear();
    progress.report(reader.converted, run.total_bytes, false);
  }
  progress.report(reader.converted, run.total_bytes, true);

  listing_out.finish();
  if (both) {
    std::fputs("== romaji ==\n", stdout);
    romaji_out.finish();
    std::rewind(romaji_file);
    PaneWriter copy{stdout, false, {}, 0};
    std::vector<char> buffer(kReadSize);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), romaji_file)) > 0) {
      copy.write(std::string_view(buffer.data(), n));
    }
    copy.finish();
    std::fclose(romaji_file);
  } else {
    romaji_out.finish();
  }
  std::fflush(stdout);
  for (const PlatformEvent& event : desktop.events) message_shown |= event.what == "message";
  // A message shown on the way (a dictionary file that cannot be opened)
  // means the run failed, though its listing is printed.
  return reader.failed ? kExitUsage : message_shown ? kExitFailure : kExitOk;
}
