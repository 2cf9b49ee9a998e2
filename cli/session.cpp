// `dodevuz session`: the desktop program driven line by line from standard
// input. Menu commands go through the one dispatch_command, as the window
// procedure sends them; selecting and focusing stand in for the mouse.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "wordlist/wordlist.h"

namespace {

// What the clipboard's bytes are, so that `clipboard` can show them.
enum class ClipboardBytes { kEucJp, kShiftJis, kJis };

struct Session {
  std::string start_directory;  // FILE operands are relative to it
  ClipboardBytes clipboard = ClipboardBytes::kEucJp;
  int line_number = 0;
};

void complain(const Session& s, const std::string& what) {
  std::fprintf(stderr, "dodevuz: line %d: %s\n", s.line_number, what.c_str());
}

// The pane named romaji, listing or single; *known is false for another name.
Window pane_named(const std::string& name, bool* known) {
  *known = true;
  if (name == "romaji") return romaji.romaji_pane;
  if (name == "listing") return shell.listing_pane;
  if (name == "single") return shell.single_pane;
  *known = false;
  return nullptr;
}

// The living pane named by the first word of args, or nullptr after a
// complaint.
PaneRecord* living_pane(const Session& s, const std::string& name) {
  bool known;
  Window pane = pane_named(name, &known);
  if (!known) {
    complain(s, "no pane called '" + name + "' (romaji, listing or single)");
    return nullptr;
  }
  PaneRecord* record = pane ? pane_record(pane) : nullptr;
  if (record == nullptr || !record->alive) complain(s, "there is no " + name + " pane");
  return record && record->alive ? record : nullptr;
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
    size_t end = text.find_first_of(" \t", at);
    out.push_back(text.substr(at, end - at));
    at = end;
  }
  return out;
}

bool parse_offset(const std::string& word, uint32_t* value) {
  if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  unsigned long long v = std::strtoull(word.c_str(), nullptr, 10);
  if (errno != 0 || v > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

void print_terminal_text(const std::string& utf8, const char* when_empty) {
  if (utf8.empty()) {
    std::puts(when_empty);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  if (utf8.back() != '\n') std::fputc('\n', stdout);
}

void show_clipboard(const Session& s) {
  std::string bytes;
  if (!desktop.clipboard_has_text) {
    std::puts("(empty)");
    return;
  }
  bytes = desktop.clipboard.substr(0, desktop.clipboard.find('\0'));
  std::string utf8;
  switch (s.clipboard) {
    case ClipboardBytes::kEucJp:
      utf8 = pane_text_for_terminal(bytes);
      break;
    case ClipboardBytes::kShiftJis:
      utf8 = plain_line_ends(sjis_to_utf8(bytes));
      break;
    case ClipboardBytes::kJis: {
      // JIS text is never longer in EUC-JP; two bytes more for the NULs.
      std::vector<unsigned char> euc(bytes.size() + 2);
      size_t length = convert_jis(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size(), euc.data(), euc.size());
      utf8 = pane_text_for_terminal(
          std::string_view(reinterpret_cast<const char*>(euc.data()), length));
      break;
    }
  }
  print_terminal_text(utf8, "(empty)");
}

// get-jis / get-shift [FILE]: the file's bytes go on the clipboard as another
// program would put them there; without FILE the clipboard is read as it is.
void get(Session& s, std::string file, bool jis) {
  file.erase(file.find_last_not_of(" \t") + 1);
  if (!file.empty()) {
    std::string path = file[0] == '/' ? file : s.start_directory + "/" + file;
    std::string bytes, error;
    if (!read_input(path, &bytes, &error)) {
      complain(s, error);
      return;
    }
    set_clipboard_text(bytes);
    s.clipboard = jis ? ClipboardBytes::kJis : ClipboardBytes::kShiftJis;
  }
  dispatch_command(cli_main_window(), jis ? kCmdGetJis : kCmdGetShift);
}

// Runs one line; returns false when the session ends (exit).
bool run_line(Session& s, const std::string& command, const std::string& rest) {
  Window main_window = cli_main_window();
  std::vector<std::string> args = words(rest);
  if (command == "get-jis" || command == "get-shift") {
    get(s, rest, command == "get-jis");
  } else if (command == "select") {
    uint32_t start, end;
    if (args.size() != 3 || !parse_offset(args[1], &start) || !parse_offset(args[2], &end)) {
      complain(s, "select PANE START END, with byte offsets");
    } else if (PaneRecord* pane = living_pane(s, args[0])) {
      // A selection dragged backwards is the same selection.
      pane->sel_start = std::min(start, end);
      pane->sel_end = std::max(start, end);
    }
  } else if (command == "select-text") {
    size_t space = rest.find_first_of(" \t");
    std::string name = rest.substr(0, space);
    std::string text = space == std::string::npos ? "" : rest.substr(space + 1);
    if (text.empty()) {
      complain(s, "select-text PANE TEXT");
    } else if (PaneRecord* pane = living_pane(s, name)) {
      size_t at = pane->text.find(utf8_to_euc(text));
      if (at == std::string::npos) {
        complain(s, "the " + name + " pane does not hold '" + text + "'");
      } else {
        pane->sel_start = static_cast<uint32_t>(at);
        pane->sel_end = static_cast<uint32_t>(at + utf8_to_euc(text).size());
      }
    }
  } else if (command == "focus") {
    if (args.size() == 1 && args[0] == "main") {
      desktop.focus = main_window;
    } else if (args.size() != 1) {
      complain(s, "focus PANE|main");
    } else if (PaneRecord* pane = living_pane(s, args[0])) {
      desktop.focus = pane;
    }
  } else if (command == "get-next") {
    // The menu item is greyed out then; here it says so.
    if (next_available()) {
      dispatch_command(main_window, kCmdNext);
    } else {
      std::puts("nothing more");
    }
  } else if (command == "single") {
    dispatch_command(main_window, kCmdSingle);
  } else if (command == "add-word") {
    dispatch_command(main_window, kCmdAddToWordList);
    std::puts(word_list_outcome_text());
  } else if (command == "forms") {
    dispatch_command(main_window, kCmdDictionaryForms);
    std::puts(lookup.dictionary_forms ? "Dictionary forms: on" : "Dictionary forms: off");
  } else if (command == "copy") {
    dispatch_command(main_window, kCmdCopy);
    s.clipboard = ClipboardBytes::kEucJp;  // Copy puts the program's own bytes there
  } else if (command == "clear") {
    dispatch_command(main_window, kCmdClearAll);
  } else if (command == "about") {
    if (dispatch_command(main_window, kCmdAbout) == CommandResult::kShowAbout) {
      std::puts("Dodevuz");
      std::puts("Ok");
    }
  } else if (command == "exit") {
    dispatch_command(main_window, kCmdExit);
    return false;
  } else if (command == "show") {
    bool known;
    Window pane = args.size() == 1 ? pane_named(args[0], &known) : nullptr;
    if (args.size() != 1 || !known) {
      complain(s, "show romaji|listing|single");
    } else if (pane == nullptr) {
      std::puts("(no pane)");
    } else {
      print_terminal_text(pane_text_for_terminal(pane_text(pane)), "(empty pane)");
    }
  } else if (command == "clipboard") {
    show_clipboard(s);
  } else if (command == "set-clipboard" || command == "set-clipboard-jis") {
    bool jis = command == "set-clipboard-jis";
    set_clipboard_text(jis ? utf8_to_jis(rest) : utf8_to_sjis(rest));
    s.clipboard = jis ? ClipboardBytes::kJis : ClipboardBytes::kShiftJis;
  } else {
    complain(s, "unknown command '" + command + "' (see dodevuz help session)");
  }
  return true;
}

}  // namespace

int command_session(int argc, char** argv) {
  std::string directory;
  bool has_directory = false;
  bool forms = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage_text("session"), stdout);
      return kExitOk;
    }
    if (arg == "--forms") {
      forms = true;
    } else if (arg == "-C" && i + 1 < argc) {
      directory = argv[++i];
      has_directory = true;
    } else if (arg.rfind("-C", 0) == 0 && arg.size() > 2) {
      directory = arg.substr(2);
      has_directory = true;
    } else {
      std::fprintf(stderr, "dodevuz: session takes no %s\n%s", arg.c_str(), usage_text("session"));
      return kExitUsage;
    }
  }

  Session s;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    std::fprintf(stderr, "dodevuz: cannot tell the working directory: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  s.start_directory = cwd;
  if (!enter_dictionary_folder(has_directory, directory)) return kExitFailure;
  start_afresh();
  set_dictionary_forms(forms);

  int status = kExitOk;
  std::string line;
  while (std::getline(std::cin, line)) {
    ++s.line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    // The script is UTF-8 (its TEXT operands are turned into the program's
    // encodings); a line in another encoding is not run as mojibake.
    if (size_t fault = first_invalid_byte(line, TextEncoding::kUtf8); fault != std::string::npos) {
      complain(s, "not valid UTF-8 (from byte " + std::to_string(fault) +
                      "); a session script is UTF-8, its files any encoding");
      status = kExitUsage;
      continue;
    }
    size_t end = line.find_first_of(" \t", start);
    std::string command = line.substr(start, end - start);
    std::string rest;
    if (end != std::string::npos) {
      size_t from = line.find_first_not_of(" \t", end);
      if (from != std::string::npos) rest = line.substr(from);
    }
    if (!run_line(s, command, rest)) break;
    std::fflush(stdout);
  }
  return status;
}
