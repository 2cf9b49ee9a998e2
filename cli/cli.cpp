// The dodevuz command line: argument parsing, the one-shot commands (get,
// decode, romaji, single, index) and their output. The program's files
// (edict, edict.jdx, kanarom.cnv) are opened relative to the working
// directory, so input files are read before `-C DIR` changes it.
#include "cli/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/input_encoding.h"
#include "cli/study.h"
#include "cli/whole_text.h"
#include "index/build_index.h"
#include "intake/intake.h"
#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/data_folder.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"
#include "wordlist/wordlist.h"

namespace {

const char kUsageGet[] =
    "usage: dodevuz get [--utf8|--euc|--shift|--jis|--auto] [-C DIR]\n"
    "                   [--pane listing|romaji|both] [--raw] [--cache-pages N] [--forms]\n"
    "                   [--all] [FILE|-]\n"
    "  Runs a Get on the passage in FILE (standard input for - or no FILE) and\n"
    "  prints the listing pane and the romaji pane. The passage is UTF-8 unless\n"
    "  --euc, --shift or --jis says otherwise; --auto tells the encoding from\n"
    "  the text itself, as the desktop programs' Open does (see the README).\n"
    "  --jis and --shift put the file's\n"
    "  bytes on the clipboard and run \"Get Dodevuz JIS\" / \"Get Dodevuz SHIFT\";\n"
    "  UTF-8 and EUC-JP are placed in the kanji buffer directly. A passage longer\n"
    "  than the 40000-byte buffer (in EUC-JP) is cut at a whole character, and a\n"
    "  listing that fills its buffer ends with a notice of how far it got.\n"
    "    -C DIR           use the dictionary and romaji table in DIR\n"
    "    --pane P         listing, romaji or both (the default; with headings)\n"
    "    --raw            the pane's exact EUC-JP bytes, 0x0D 0x0A line ends;\n"
    "                     one pane only (the listing unless --pane says)\n"
    "    --cache-pages N  page frames of the dictionary cache, 1 to 8192 (default 48;\n"
    "                     with --all, one for every page of the dictionaries, up to 2350)\n"
    "    --forms          \"Dictionary forms\": a conjugated word is listed with the\n"
    "                     entry of its dictionary form (rules from DIR/deinflect.txt)\n"
    "    --all            the whole text, of any length: listed page after page as\n"
    "                     \"Get Dodevuz NEXT\" goes on, printed as one listing (and\n"
    "                     one romaji text) without the notices; a progress line on\n"
    "                     standard error when it is a terminal\n";

static_assert(kMaxFrameCount == 8192, "the usage of get names the bound of --cache-pages");
static_assert(kRunFrameBound == 2350, "the usage of get names the bound of the --all cache");

const char kUsageDecode[] =
    "usage: dodevuz decode [--utf8|--euc|--shift|--jis] [--raw] [FILE|-]\n"
    "  Converts a passage (UTF-8 unless an option says otherwise; JIS and\n"
    "  Shift-JIS as the Get commands do) and prints the kanji buffer's text:\n"
    "  UTF-8, or the EUC-JP bytes with --raw.\n";

const char kUsageRomaji[] =
    "usage: dodevuz romaji [--utf8|--euc|--shift|--jis] [-C DIR] [--raw] [FILE|-]\n"
    "  Spells the kana of any text in romaji with DIR/kanarom.cnv, as the romaji\n"
    "  pane shows a listing. The text is UTF-8 unless an option says otherwise;\n"
    "  the output is UTF-8, or EUC-JP bytes with 0x0D 0x0A line ends with --raw.\n";

const char kUsageSingle[] =
    "usage: dodevuz single [--utf8|--euc|--shift|--jis] [-C DIR] [--raw] [--forms|--all]\n"
    "                      [--add] [--kanji] TEXT\n"
    "  Runs \"Single Dodevuz\" with TEXT selected in the listing pane and prints\n"
    "  every entry line that matches the start of TEXT (its first 50 bytes in\n"
    "  EUC-JP). TEXT is UTF-8 unless an option says otherwise. With --forms the\n"
    "  entries of TEXT's dictionary forms come first (食べました: 食べる).\n"
    "  --all prints every matching line once, in the single pane's order, without\n"
    "  the pane's 2000-byte limit.\n"
    "    --add            also \"Add to Word List\": the word's entry goes to\n"
    "                     DIR/wordlist.tsv with TEXT as its sentence (once)\n"
    "    --kanji          after the entries, the details of TEXT's first kanji\n"
    "                     from DIR/kanjidic (as `dodevuz kanji` prints them)\n";

const char kUsageKanji[] =
    "usage: dodevuz kanji [--utf8|--euc|--shift|--jis] [-C DIR] [--json|--raw] TEXT\n"
    "  Prints, for every kanji of TEXT (each once, in order), its meanings, on\n"
    "  readings, kun readings (okurigana after the dot, - marks an affix), readings\n"
    "  in names, stroke count, school grade, frequency rank and radical number, from\n"
    "  DIR/kanjidic (make full-dict or dodevuz setup puts it there).\n"
    "    --json      the same as a JSON array, one object a kanji; a kanji the\n"
    "                file lacks has \"found\": false\n"
    "    --raw       the blocks' exact EUC-JP bytes, 0x0D 0x0A line ends\n";

const char kUsageSession[] =
    "usage: dodevuz session [-C DIR] [--forms]\n"
    "  Reads menu commands from standard input, one a line, and runs each as\n"
    "  the desktop program would; panes and clipboard are held in memory.\n"
    "    get-jis [FILE]       clipboard := FILE's bytes, then \"Get Dodevuz JIS\"\n"
    "    get-shift [FILE]     the same with \"Get Dodevuz SHIFT\" (no FILE: the\n"
    "                         clipboard as it is)\n"
    "    open FILE            the desktop programs' \"Open...\": FILE's encoding told\n"
    "                         as get --auto tells it, the whole text kept for NEXT;\n"
    "                         prints the status line\n"
    "    get-next             \"Get Dodevuz NEXT\": the listing goes on where the\n"
    "                         last one stopped full; \"nothing more\" when it did not\n"
    "    select PANE START END  select bytes START to END (just past the end) of\n"
    "                         PANE: romaji, listing or single\n"
    "    select-text PANE TEXT  select the first occurrence of TEXT (UTF-8)\n"
    "    focus PANE|main      give the keyboard focus to a pane or the main window\n"
    "    kanji-details        \"Kanji Details\": the details of the listing's\n"
    "                         selection's kanji in the single pane (DIR/kanjidic)\n"
    "    kanji-status         print the status line's note on the listing's\n"
    "                         selection: its first kanji's strokes and grade\n"
    "    forms                \"Dictionary forms\": turn the mode on or off (off at\n"
    "                         start, or on with --forms)\n"
    "    single, copy, clear, about, exit\n"
    "                         \"Single Dodevuz\", \"Copy\", \"Clear All\", \"About\",\n"
    "                         \"Exit\" (clean-up, then status 0)\n"
    "    add-word             \"Add to Word List\": the listing's selection, and\n"
    "                         print what became of it (added, already listed,\n"
    "                         nothing to add, not written)\n"
    "    mark-known           \"Mark as Known\": the listing's selection goes to\n"
    "                         known.tsv; print what became of it\n"
    "    show PANE            print the pane's text (UTF-8), or \"(no pane)\"\n"
    "    clipboard            print the clipboard's text (UTF-8), or \"(empty)\"\n"
    "    set-clipboard TEXT   put TEXT (UTF-8) on the clipboard in Shift-JIS, as\n"
    "                         a Japanese desktop program would (for get-shift)\n"
    "    set-clipboard-jis TEXT   the same in 7-bit JIS (for get-jis)\n"
    "  Lines starting with # and blank lines are ignored. FILE is relative to\n"
    "  the directory the session started in, not to -C DIR. The script is\n"
    "  UTF-8: a line that is not is reported and not run, and the session\n"
    "  then ends with status 2.\n";

const char kUsageIndex[] =
    "usage: dodevuz index [-C DIR] [--check | --from-utf8 FILE]\n"
    "  Builds the index of every dictionary in DIR: edict.jdx from edict, and\n"
    "  enamdict.jdx and userdict.jdx when enamdict and userdict are there; or\n"
    "  with --check verifies that each index is whole (as many 4-byte entries as\n"
    "  its text calls for), lies inside its text and is in the order the lookup\n"
    "  searches. An index is written beside and renamed into place.\n"
    "    --from-utf8 FILE  first write DIR/userdict from FILE, entry lines in\n"
    "                      UTF-8 (converted to EUC-JP; the old userdict is\n"
    "                      replaced only when the whole file converts)\n";

const char kUsageServe[] =
    "usage: dodevuz serve [-C DIR] [--port N]\n"
    "  Serves the reading page on http://127.0.0.1:N/ (8080 unless --port says;\n"
    "  0 takes any free port), for this machine only: paste Japanese text, and\n"
    "  every word shows its reading above it and its entry under the pointer.\n"
    "  The address is printed when the server is ready; Ctrl+C ends it.\n"
    "    -C DIR      use the dictionary and romaji table in DIR\n"
    "    --port N    the port to listen on, 0 to 65535\n";

const char kUsageAll[] =
    "dodevuz: a Japanese-to-English reading aid. Every dictionary word of a\n"
    "passage is listed with its entry line, the listing is spelled in romaji,\n"
    "and a selected word shows every entry that matches it.\n"
    "\n"
    "usage: dodevuz COMMAND [OPTIONS] [ARGS]\n"
    "       dodevuz help [COMMAND]\n"
    "       dodevuz --version\n"
    "       dodevuz --where [-C DIR]\n"
    "\n"
    "The dictionary (edict, edict.jdx) and the romaji table (kanarom.cnv) are\n"
    "read from DIR with -C DIR; else from the working directory when it holds\n"
    "edict; else from the folder `dodevuz setup` made; else from the sample\n"
    "data installed with the program. `dodevuz --where` prints the folder.\n"
    "Text is read as UTF-8 unless --euc, --shift or --jis says otherwise.\n"
    "Exit status: 0 done, 1 failed (a file cannot be read, a faulty index, no\n"
    "kanarom.cnv), 2 usage error or input not valid in its encoding.\n";

struct CommandEntry {
  const char* name;
  int (*run)(int, char**);
  const char* usage;
};

const CommandEntry kCommands[] = {
    {"get", command_get, kUsageGet},
    {"decode", command_decode, kUsageDecode},
    {"romaji", command_romaji, kUsageRomaji},
    {"single", command_single, kUsageSingle},
    {"kanji", command_kanji, kUsageKanji},
    {"session", command_session, kUsageSession},
    {"index", command_index, kUsageIndex},
    {"setup", command_setup, kUsageSetup},
    {"serve", command_serve, kUsageServe},
    {"known", command_known, kUsageKnown},
    {"vocab", command_vocab, kUsageVocab},
    {"export-cards", command_export_cards, kUsageExportCards},
};

const CommandEntry* find_command(const char* name) {
  for (const CommandEntry& c : kCommands) {
    if (std::strcmp(c.name, name) == 0) return &c;
  }
  return nullptr;
}

void print_all_usage(FILE* out) {
  std::fputs(kUsageAll, out);
  for (const CommandEntry& c : kCommands) {
    std::fputc('\n', out);
    std::fputs(c.usage, out);
  }
}

int usage_error(const char* command, const std::string& problem) {
  std::fprintf(stderr, "dodevuz: %s\n", problem.c_str());
  const CommandEntry* c = command ? find_command(command) : nullptr;
  if (c != nullptr) std::fputs(c->usage, stderr);
  std::fputs("Try 'dodevuz --help'.\n", stderr);
  return kExitUsage;
}

// The options of one command line; each command says which it takes.
struct Options {
  TextEncoding encoding = TextEncoding::kUtf8;
  bool has_encoding = false;
  bool detect = false;  // --auto: the encoding told from the text
  std::string directory;
  bool has_directory = false;
  std::string pane;  // empty when not given
  bool raw = false;
  bool check = false;
  bool all = false;
  bool add = false;       // single --add
  bool kanji = false;     // single --kanji
  bool json = false;      // kanji --json
  std::string from_utf8;  // index --from-utf8 FILE
  bool forms = false;
  bool help = false;
  long cache_pages = kDefaultFrameCount;
  bool has_cache_pages = false;
  long port = -1;  // -1 when not given
  std::vector<std::string> operands;
};

// Parses argv against the options named in `accepted` (e.g. "--euc --raw -C").
// Returns false with *problem set on an unknown option, a missing value, or
// two different encodings.
bool parse_options(int argc, char** argv, const char* accepted, Options* o, std::string* problem) {
  auto takes = [&](const std::string& option) {
    std::string list = std::string(" ") + accepted + " ";
    return list.find(" " + option + " ") != std::string::npos;
  };
  bool options_end = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      o->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
    } else if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--auto" && takes(arg)) {
      if (o->has_encoding) {
        *problem =
            std::string("give one encoding, not ") + encoding_option(o->encoding) + " and " + arg;
        return false;
      }
      o->detect = true;
    } else if (TextEncoding encoding; encoding_from_option(arg, &encoding)) {
      if (o->detect && takes(arg)) {
        *problem = "give one encoding, not --auto and " + arg;
        return false;
      }
      if (!takes(arg)) {
        *problem = "unknown option for this command: " + arg;
        return false;
      }
      if (o->has_encoding && o->encoding != encoding) {
        *problem =
            std::string("give one encoding, not ") + encoding_option(o->encoding) + " and " + arg;
        return false;
      }
      o->encoding = encoding;
      o->has_encoding = true;
    } else if (arg.rfind("-C", 0) == 0 && takes("-C")) {
      if (arg.size() > 2) {
        o->directory = arg.substr(2);
      } else if (i + 1 < argc) {
        o->directory = argv[++i];
      } else {
        *problem = "-C needs a directory";
        return false;
      }
      o->has_directory = true;
    } else if (arg == "--pane" && takes(arg)) {
      if (i + 1 >= argc) {
        *problem = "--pane needs listing, romaji or both";
        return false;
      }
      o->pane = argv[++i];
      if (o->pane != "listing" && o->pane != "romaji" && o->pane != "both") {
        *problem = "--pane takes listing, romaji or both, not " + o->pane;
        return false;
      }
    } else if (arg == "--cache-pages" && takes(arg)) {
      const char* value = i + 1 < argc ? argv[++i] : "";
      char* end = nullptr;
      errno = 0;
      o->cache_pages = std::strtol(value, &end, 10);
      o->has_cache_pages = true;
      if (*value == '\0' || *end != '\0' || errno != 0 ||
          bounded_frame_count(o->cache_pages) != o->cache_pages) {
        *problem = "--cache-pages takes a number from " + std::to_string(kMinFrameCount) + " to " +
                   std::to_string(kMaxFrameCount);
        return false;
      }
    } else if (arg == "--port" && takes(arg)) {
      const char* value = i + 1 < argc ? argv[++i] : "";
      char* end = nullptr;
      errno = 0;
      o->port = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || errno != 0 || o->port < 0 || o->port > 65535) {
        *problem = "--port takes a number from 0 to 65535";
        return false;
      }
    } else if (arg == "--raw" && takes(arg)) {
      o->raw = true;
    } else if (arg == "--all" && takes(arg)) {
      o->all = true;
    } else if (arg == "--check" && takes(arg)) {
      o->check = true;
    } else if (arg == "--add" && takes(arg)) {
      o->add = true;
    } else if (arg == "--kanji" && takes(arg)) {
      o->kanji = true;
    } else if (arg == "--json" && takes(arg)) {
      o->json = true;
    } else if (arg == "--from-utf8" && takes(arg)) {
      if (i + 1 >= argc) {
        *problem = "--from-utf8 needs a FILE";
        return false;
      }
      o->from_utf8 = argv[++i];
    } else if (arg == "--forms" && takes(arg)) {
      o->forms = true;
    } else {
      *problem = "unknown option: " + arg;
      return false;
    }
  }
  return true;
}

// Enters the dictionary folder: DIR when -C gave one, else the one found.
// Returns false after a message.
bool enter_directory(const Options& o) {
  return enter_dictionary_folder(o.has_directory, o.directory);
}

// The one input operand (standard input when none), read in whole and
// checked against the command's encoding. Returns the exit status of a
// failure (unreadable: kExitFailure; not valid text: kExitUsage), or kExitOk.
// With --auto the encoding is told from the bytes first (o.encoding then
// says which it found); text whose encoding cannot be told is a usage error.
int read_operand(Options& o, std::string* bytes) {
  std::string path = o.operands.empty() ? "-" : o.operands[0];
  std::string error;
  if (!read_input(path, bytes, &error)) {
    std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
    return kExitFailure;
  }
  if (o.detect &&
      !detect_input_encoding(*bytes, true, path == "-" ? "standard input" : path, &o.encoding)) {
    return kExitUsage;
  }
  if (!check_input_encoding(*bytes, o.encoding, path == "-" ? "standard input" : path)) {
    return kExitUsage;
  }
  return kExitOk;
}

// Text up to its first NUL, which ends every text of the program.
std::string_view up_to_nul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

// A listing text of text (EUC-JP, line ends as 0x0D 0x0A), with a note when
// it is cut or there is no memory for it. Returns the bytes placed.
size_t place_text(std::string_view text) {
  size_t length = place_listing_text(text);
  if (lookup.listing_text == nullptr) {
    std::fputs("dodevuz: no memory for the text\n", stderr);
  } else if (length < text.size()) {
    std::fprintf(stderr,
                 "dodevuz: the text is %zu bytes; only its first %zu (whole characters) fit\n",
                 text.size(), length);
  }
  return length;
}

// Line ends as the panes write them: 0x0D before every 0x0A (an existing
// 0x0D 0x0A pair is kept as it is).
std::string with_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

// The status of a command that ran the program's chain: a message shown on
// the way (a dictionary file that cannot be opened, memory that cannot be
// had) means it failed, though its panes are printed as the desktop shows
// them.
int status_after_messages() {
  for (const PlatformEvent& event : desktop.events) {
    if (event.what == "message") return kExitFailure;
  }
  return kExitOk;
}

void print_heading_and_pane(const char* heading, Window pane) {
  std::printf("== %s ==\n", heading);
  std::string text = pane_text_for_terminal(pane_text(pane));
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
}

// `single --all`: the lines of the single pane's order, every one, printed as
// they come (the pane's bytes with --raw), with the key a selection of TEXT
// would give.
int single_all(const std::string& text, bool raw) {
  set_search_key(reinterpret_cast<const unsigned char*>(text.data()),
                 std::min(text.size(), kSelectionBufferSize));
  size_t lines = 0;
  if (lookup.search_key[0] != 0 && any_slot_open()) {
    for_each_selection_line([&](const unsigned char* line, size_t length) {
      std::string_view bytes(reinterpret_cast<const char*>(line), length);
      std::string out = raw ? with_crlf(bytes) : pane_text_for_terminal(bytes);
      std::fwrite(out.data(), 1, out.size(), stdout);
      ++lines;
      return true;
    });
  }
  if (lines == 0) std::fputs("dodevuz: no entry matches the text\n", stderr);
  return status_after_messages();
}

// Input read beyond the kanji buffer's share of EUC-JP: enough for any text
// that converts to it, and a bound for one that converts to almost nothing
// (7-bit JIS of escape sequences alone).
constexpr size_t kPassageReadLimit = size_t{4} << 20;

// The input operand, "-" for standard input, open for reading: a folder is
// refused, and --auto reads the text's first part to tell its encoding.
struct OpenInput {
  FILE* in = nullptr;
  bool from_stdin = false;
  std::string name;   // as messages name it
  uint64_t size = 0;  // of a regular file; 0 when unknown
  std::string head;   // read for --auto, to be listed first
  OpenInput() = default;
  OpenInput(const OpenInput&) = delete;
  OpenInput& operator=(const OpenInput&) = delete;
  ~OpenInput() {
    if (in != nullptr && !from_stdin) std::fclose(in);
  }
};

// Returns kExitOk, kExitFailure (unreadable) or kExitUsage (--auto found no
// encoding).
int open_input(Options& o, OpenInput* input) {
  const std::string path = o.operands.empty() ? "-" : o.operands[0];
  input->from_stdin = path == "-";
  input->name = input->from_stdin ? "standard input" : path;
  input->in = input->from_stdin ? stdin : std::fopen(path.c_str(), "rb");
  if (input->in == nullptr) {
    std::fprintf(stderr, "dodevuz: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return kExitFailure;
  }
  struct stat info {};
  const bool known = fstat(fileno(input->in), &info) == 0;
  if (known && S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "dodevuz: cannot read %s: %s\n", path.c_str(), std::strerror(EISDIR));
    return kExitFailure;
  }
  if (known && S_ISREG(info.st_mode)) input->size = static_cast<uint64_t>(info.st_size);
  if (o.detect) {
    input->head.resize(kDetectionHead);
    input->head.resize(std::fread(input->head.data(), 1, input->head.size(), input->in));
    if (!detect_input_encoding(input->head, input->head.size() < kDetectionHead, input->name,
                               &o.encoding)) {
      return kExitUsage;
    }
  }
  return kExitOk;
}

// Reads the start of the input operand that a plain Get lists (see
// read_text_start) and notes what it leaves out. Returns the exit status of
// a failure (unreadable: kExitFailure; not valid text: kExitUsage), or kExitOk.
int read_passage_start(Options& o, TextStart* start) {
  OpenInput input;
  if (const int status = open_input(o, &input); status != kExitOk) return status;
  WholeTextRun run{input.in, input.name, input.size, o.encoding, "listing",
                   false,    false,      {},         input.head};
  *start = read_text_start(run, kKanjiBufferSize, kPassageReadLimit);
  if (start->failed) return kExitUsage;
  if (std::ferror(input.in)) return kExitFailure;  // read_text_start said so
  if (start->whole) {
    passage_fit(start->euc);
  } else {
    const size_t length = euc_whole_prefix(start->euc, kKanjiBufferSize - 2);
    std::fprintf(stderr,
                 "dodevuz: the passage is longer than the %zu-byte kanji buffer holds in "
                 "EUC-JP; only its first %zu (whole characters) are read\n",
                 kKanjiBufferSize, length);
  }
  return kExitOk;
}

// `get --all`: the input is opened here, before -C changes the directory,
// and read a part at a time by list_whole_text.
int get_all(Options& o, const std::string& pane) {
  OpenInput input;
  if (const int status = open_input(o, &input); status != kExitOk) return status;
  start_afresh();
  set_dictionary_forms(o.forms);
  if (!enter_directory(o)) return kExitFailure;
  // Sized in the dictionary's folder, for the files found there.
  reset_store(o.has_cache_pages ? static_cast<int>(o.cache_pages) : frames_for_run_of_pages());
  WholeTextRun run{
      input.in, input.name, input.size, o.encoding, pane, o.raw, isatty(STDERR_FILENO) != 0,
      {},       input.head};
  return list_whole_text(run);
}

}  // namespace

bool enter_dictionary_folder(bool named, const std::string& directory) {
  if (named) {
    if (chdir(directory.c_str()) != 0) {
      std::fprintf(stderr, "dodevuz: cannot enter %s: %s\n", directory.c_str(),
                   std::strerror(errno));
      return false;
    }
    return true;
  }
  const DictionaryFolder found = find_dictionary_folder(std::string());
  switch (found.source) {
    case FolderSource::kNone:
      std::fprintf(stderr, "dodevuz: %s\n", no_dictionary_message(found).c_str());
      return false;
    case FolderSource::kSample:
      std::fprintf(stderr, "dodevuz: %s\n", sample_dictionary_note(found).c_str());
      break;
    case FolderSource::kNamed:
    case FolderSource::kWorkingDirectory:
    case FolderSource::kReaderFolder:
      break;
  }
  if (!found.path.empty() && chdir(found.path.c_str()) != 0) {
    std::fprintf(stderr, "dodevuz: cannot enter %s: %s\n", found.path.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

Window cli_main_window() {
  // Any distinct address serves: the in-memory desktop only compares windows.
  static int main_window;
  return &main_window;
}

void start_afresh(int frame_count) {
  reset_program_state(frame_count);
  reset_desktop();
  desktop.focus = cli_main_window();
}

const char* usage_text(const char* command) {
  if (command == nullptr) return kUsageAll;
  const CommandEntry* c = find_command(command);
  return c ? c->usage : nullptr;
}

bool read_input(const std::string& path, std::string* bytes, std::string* error) {
  bytes->clear();
  bool from_stdin = path == "-";
  FILE* in = from_stdin ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes->append(buffer, n);
  // A directory opens but does not read (EISDIR): an error, not an empty text.
  bool failed = std::ferror(in) != 0;
  int read_errno = errno;
  if (!from_stdin) std::fclose(in);
  if (failed) {
    *error = "cannot read " + (from_stdin ? std::string("standard input") : path) + ": " +
             std::strerror(read_errno);
    return false;
  }
  return true;
}

size_t passage_fit(std::string_view euc) {
  std::string_view text = up_to_nul(euc);
  if (text.size() < euc.size()) {
    std::fputs("dodevuz: the passage ends at its first NUL byte; the rest is not read\n", stderr);
  }
  size_t length = euc_whole_prefix(text, kKanjiBufferSize - 2);
  if (length < text.size()) {
    std::fprintf(stderr,
                 "dodevuz: the passage is %zu bytes in EUC-JP; only its first %zu (whole "
                 "characters) fit in the %zu-byte kanji buffer\n",
                 text.size(), length, kKanjiBufferSize);
  }
  return length;
}

size_t place_passage(std::string_view euc) {
  passage_fit(euc);  // the notes
  return place_euc_passage(cli_main_window(), reinterpret_cast<const unsigned char*>(euc.data()),
                           euc.size());
}

std::string pane_text_for_terminal(std::string_view euc) {
  // 0x0D and 0x0A never occur inside an EUC-JP character, so the line ends
  // can go before the decoding.
  return euc_to_utf8(plain_line_ends(euc));
}

void print_pane_text(std::string_view euc, bool raw) {
  if (raw) {
    std::fwrite(euc.data(), 1, euc.size(), stdout);
    return;
  }
  std::string text = pane_text_for_terminal(euc);
  // A text cut short (the single pane's last line) still ends its line.
  if (!text.empty() && text.back() != '\n') text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string_view pane_text(Window pane) {
  PaneRecord* record = pane ? pane_record(pane) : nullptr;
  return record ? std::string_view(record->text) : std::string_view();
}

int command_get(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(
          argc, argv,
          "--euc --utf8 --jis --shift --auto -C --pane --raw --cache-pages --forms --all", &o,
          &problem)) {
    return usage_error("get", problem);
  }
  if (o.help) return std::fputs(kUsageGet, stdout), kExitOk;
  if (o.operands.size() > 1) return usage_error("get", "get reads one passage");
  if (o.raw && o.pane == "both") return usage_error("get", "--raw prints one pane, not both");
  std::string pane = o.pane.empty() ? (o.raw ? "listing" : "both") : o.pane;
  if (o.all) return get_all(o, pane);

  // Only the start of the input that the kanji buffer takes is read,
  // converted and checked, so memory stays bounded whatever its length.
  TextStart start;
  if (int status = read_passage_start(o, &start); status != kExitOk) return status;
  start_afresh(static_cast<int>(o.cache_pages));
  set_dictionary_forms(o.forms);
  if (!enter_directory(o)) return kExitFailure;

  Window main_window = cli_main_window();
  bool jis = o.encoding == TextEncoding::kJis;
  if (jis || o.encoding == TextEncoding::kShiftJis) {
    // The Get command converts and cuts the passage itself; the notes on
    // what it leaves out come from the same conversion.
    set_clipboard_text(start.raw);
    intake.keep_whole_text = false;  // one Get: the passage as the buffer holds it
    dispatch_command(main_window, jis ? kCmdGetJis : kCmdGetShift);
  } else {
    place_euc_passage(main_window, reinterpret_cast<const unsigned char*>(start.euc.data()),
                      start.euc.size());
    run_get_chain(main_window);
  }

  if (pane == "both") {
    print_heading_and_pane("listing", shell.listing_pane);
    print_heading_and_pane("romaji", romaji.romaji_pane);
  } else {
    print_pane_text(pane_text(pane == "listing" ? shell.listing_pane : romaji.romaji_pane), o.raw);
  }
  return status_after_messages();
}

int command_decode(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "--euc --utf8 --jis --shift --raw", &o, &problem)) {
    return usage_error("decode", problem);
  }
  if (o.help) return std::fputs(kUsageDecode, stdout), kExitOk;
  if (o.operands.size() > 1) return usage_error("decode", "decode reads one passage");

  std::string bytes;
  if (int status = read_operand(o, &bytes); status != kExitOk) return status;
  std::string euc = text_as_euc(bytes, o.encoding);
  print_pane_text(std::string_view(euc).substr(0, passage_fit(euc)), o.raw);
  return kExitOk;
}

int command_romaji(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "--euc --utf8 --jis --shift -C --raw", &o, &problem)) {
    return usage_error("romaji", problem);
  }
  if (o.help) return std::fputs(kUsageRomaji, stdout), kExitOk;
  if (o.operands.size() > 1) return usage_error("romaji", "romaji reads one text");

  std::string bytes;
  if (int status = read_operand(o, &bytes); status != kExitOk) return status;
  std::string text = with_crlf(up_to_nul(text_as_euc(bytes, o.encoding)));
  start_afresh();
  if (!enter_directory(o)) return kExitFailure;

  place_text(text);
  load_romaji_table();  // ends the program when kanarom.cnv is missing
  build_romaji_text(cli_main_window());
  print_pane_text(pane_text(romaji.romaji_pane), o.raw);
  return kExitOk;
}

int command_single(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "--euc --utf8 --jis --shift -C --raw --forms --all --add --kanji",
                     &o, &problem)) {
    return usage_error("single", problem);
  }
  if (o.help) return std::fputs(kUsageSingle, stdout), kExitOk;
  if (o.operands.size() != 1) return usage_error("single", "single looks up one TEXT");
  if (o.all && o.forms) return usage_error("single", "give --all or --forms, not both");
  if (o.all && o.add) return usage_error("single", "give --all or --add, not both");
  if (o.all && o.kanji) return usage_error("single", "give --all or --kanji, not both");

  if (!check_input_encoding(o.operands[0], o.encoding, "the text")) return kExitUsage;
  std::string text(up_to_nul(text_as_euc(o.operands[0], o.encoding)));
  if (text.size() > kSelectionBufferSize) {
    std::fprintf(stderr, "dodevuz: only the first %zu bytes of the text are looked up\n",
                 kSelectionBufferSize);
  }
  start_afresh();
  set_dictionary_forms(o.forms);
  if (!enter_directory(o)) return kExitFailure;

  Window main_window = cli_main_window();
  open_dictionaries(main_window);  // as a Get does
  if (o.all) return single_all(text, o.raw);
  // TEXT stands as the whole listing, selected, as a reader would select a
  // word of it.
  size_t length = place_text(text);
  make_listing_pane(main_window);
  PaneRecord* listing = pane_record(shell.listing_pane);
  listing->sel_start = 0;
  listing->sel_end = static_cast<uint32_t>(length);
  dispatch_command(main_window, o.add ? kCmdAddToWordList : kCmdSingle);

  std::string_view found = pane_text(shell.single_pane);
  if (found.empty()) std::fputs("dodevuz: no entry matches the text\n", stderr);
  print_pane_text(found, o.raw);
  if (o.kanji && !kanji_available()) {
    std::fputs("dodevuz: no kanji details: kanjidic is missing\n", stderr);
  } else if (o.kanji) {
    const std::string block = kanji_blocks(text, true);
    if (!block.empty()) print_pane_text((o.raw ? "\r\n" : "\n") + block, o.raw);
  }
  if (o.add) {
    std::fprintf(stderr, "dodevuz: %s\n", word_list_outcome_text());
    if (word_list.last == WordListOutcome::kFailed) return kExitFailure;
  }
  return status_after_messages();
}

int command_kanji(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "--euc --utf8 --jis --shift -C --json --raw", &o, &problem)) {
    return usage_error("kanji", problem);
  }
  if (o.help) return std::fputs(kUsageKanji, stdout), kExitOk;
  if (o.operands.size() != 1) return usage_error("kanji", "kanji looks up one TEXT");
  if (o.json && o.raw) return usage_error("kanji", "give --json or --raw, not both");
  if (!check_input_encoding(o.operands[0], o.encoding, "the text")) return kExitUsage;
  const std::string text(up_to_nul(text_as_euc(o.operands[0], o.encoding)));
  if (!enter_directory(o)) return kExitFailure;

  reset_kanji();
  if (!kanji_available()) {
    std::fputs(
        "dodevuz: no kanji dictionary: kanjidic is missing or holds no kanji (make full-dict, "
        "or dodevuz setup, puts it beside edict)\n",
        stderr);
    return kExitFailure;
  }
  if (kanji_in_text(text).empty()) std::fputs("dodevuz: the text holds no kanji\n", stderr);
  if (o.json) {
    std::fputs(kanji_json_text(text).c_str(), stdout);
  } else {
    print_pane_text(kanji_blocks(text, false), o.raw);
  }
  return kExitOk;
}

int command_index(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "-C --check --from-utf8", &o, &problem)) {
    return usage_error("index", problem);
  }
  if (o.help) return std::fputs(kUsageIndex, stdout), kExitOk;
  if (o.from_utf8.empty() && !o.operands.empty()) {
    return usage_error("index", "index takes no file: use -C DIR");
  }
  if (!o.operands.empty()) return usage_error("index", "--from-utf8 takes one FILE");
  if (!o.from_utf8.empty() && o.check) {
    return usage_error("index", "give --from-utf8 or --check, not both");
  }
  // The UTF-8 file is named from where the command started, before -C.
  std::string utf8;
  if (!o.from_utf8.empty()) {
    std::string error;
    if (!read_input(o.from_utf8, &utf8, &error)) {
      std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
      return kExitFailure;
    }
    if (!check_input_encoding(utf8, TextEncoding::kUtf8, o.from_utf8)) return kExitUsage;
  }
  if (!enter_directory(o)) return kExitFailure;
  if (!o.from_utf8.empty()) {
    std::string error;
    if (!write_user_dictionary(utf8, kSlotTextFile[kNamedSlots - 1], &error)) {
      std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
      return kExitFailure;
    }
    std::printf("%s: written from %s\n", kSlotTextFile[kNamedSlots - 1], o.from_utf8.c_str());
  }

  // Every dictionary there is: the main one always, the others when their
  // text is present.
  for (int slot = 0; slot < kNamedSlots; ++slot) {
    const char* text = kSlotTextFile[slot];
    const char* index = kSlotIndexFile[slot];
    uint32_t ignored = 0;
    if (slot > 0 && file_size(text, &ignored) != 0) continue;
    if (o.check) {
      std::string fault;
      if (!check_index(text, index, &fault)) {
        std::fprintf(stderr, "dodevuz: %s\n", fault.c_str());  // it names the file
        return kExitFailure;
      }
      std::printf("%s: every entry lies in %s, in the order the lookup searches\n", index, text);
      continue;
    }
    std::string error;
    IndexStats stats;
    if (!build_index(text, index, &error, &stats)) {
      std::fprintf(stderr, "dodevuz: %s\n", error.c_str());
      return kExitFailure;
    }
    std::printf(
        "%s: %u entries for %u lines of %s (%u headwords, %u further characters of "
        "headwords, %u readings, %u English words; %u lines not indexed)\n",
        index, stats.entries, stats.lines, text, stats.headwords, stats.inner_characters,
        stats.readings, stats.words, stats.skipped_lines);
  }
  return kExitOk;
}

// `dodevuz --where [-C DIR]`: the dictionary folder the commands would use.
static int print_where(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "-C", &o, &problem)) return usage_error(nullptr, problem);
  if (!o.operands.empty()) return usage_error(nullptr, "--where takes no file: use -C DIR");
  if (!enter_directory(o)) return kExitFailure;
  char folder[4096];
  if (getcwd(folder, sizeof folder) == nullptr) {
    std::fprintf(stderr, "dodevuz: cannot tell the folder: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  std::puts(folder);
  return kExitOk;
}

ServeRunner serve_runner = nullptr;

int command_serve(int argc, char** argv) {
  Options o;
  std::string problem;
  if (!parse_options(argc, argv, "-C --port", &o, &problem)) return usage_error("serve", problem);
  if (o.help) return std::fputs(kUsageServe, stdout), kExitOk;
  if (!o.operands.empty()) return usage_error("serve", "serve takes no file: use -C DIR");
  if (serve_runner != nullptr) {
    if (!enter_directory(o)) return kExitFailure;
    return serve_runner(o.port >= 0 ? static_cast<int>(o.port) : -1);
  }
  // The server program lies beside this one, in the build folder as where
  // it is installed.
  std::string server = "dodevuz-serve";
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    self[length] = 0;
    if (const char* slash = std::strrchr(self, '/')) {
      server = std::string(self, static_cast<size_t>(slash + 1 - self)) + server;
    }
  }
  std::vector<char*> args;
  args.push_back(server.data());
  args.push_back(const_cast<char*>("serve"));
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  std::fflush(nullptr);
  execv(server.c_str(), args.data());
  if (errno == ENOENT) {
    std::fputs(
        "dodevuz: this dodevuz was built without the server; install libcpp-httplib-dev and "
        "nlohmann-json3-dev (scripts/install-deps.sh serve) and build it again\n",
        stderr);
  } else {
    std::fprintf(stderr, "dodevuz: cannot run %s: %s\n", server.c_str(), std::strerror(errno));
  }
  return kExitFailure;
}

int dodevuz_main(int argc, char** argv) {
  if (argc < 2) {
    print_all_usage(stderr);
    return kExitUsage;
  }
  std::string first = argv[1];
  if (first == "--help" || first == "-h") {
    print_all_usage(stdout);
    return kExitOk;
  }
  if (first == "--where") return print_where(argc - 2, argv + 2);
  if (first == "--version") {
    std::puts("dodevuz " DODEVUZ_VERSION);
    return kExitOk;
  }
  if (first == "help") {
    if (argc < 3) {
      print_all_usage(stdout);
      return kExitOk;
    }
    const char* usage = usage_text(argv[2]);
    if (usage == nullptr) return usage_error(nullptr, std::string("no such command: ") + argv[2]);
    std::fputs(usage, stdout);
    return kExitOk;
  }
  const CommandEntry* command = find_command(argv[1]);
  if (command == nullptr) return usage_error(nullptr, "no such command: " + first);
  return command->run(argc - 2, argv + 2);
}
