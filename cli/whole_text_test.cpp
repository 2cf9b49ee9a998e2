// `dodevuz get --all`: a long text in every encoding, read in parts and
// listed page after page, against a run of Gets that each start where the
// previous listing stopped; where parts may end; and the memory of a run,
// measured, for a text ten times longer.
#include "cli/whole_text.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/input_encoding.h"
#include "intake/intake.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/in_memory.h"
#include "platform/text_units.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "store/store.h"
#include "tests/testing.h"

namespace {

using testing_support::euc;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::write_file;

const std::string kData = DODEVUZ_DATA_DIR;

struct Outcome {
  int status;
  std::string out, err;
};

// Runs `dodevuz ARGS <input` in the working directory.
Outcome dodevuz(const std::string& args, const std::string& input = "/dev/null") {
  std::string command =
      std::string(DODEVUZ_BINARY_DIR) + "/dodevuz " + args + " >stdout.txt 2>stderr.txt <" + input;
  int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stdout.txt"), read_file("stderr.txt")};
}

// A pane's text without the notice of a full listing.
std::string without_notice(Window pane) {
  std::string_view text = pane_text(pane);
  return std::string(
      text.substr(0, text.size() - std::min(text.size(), lookup.notice_text_length)));
}

// The sample passage's lines with what makes page and part ends interesting
// between them: a JIS X 0212 kanji, CR LF pairs, lines shifted by a few
// ASCII bytes so that no two ends fall alike; about 150 KB.
std::string long_text(bool with_jis_x_0212) {
  const std::string passage = euc(read_file(kData + "/samples/passage.utf8.txt"));
  std::string text;
  for (int i = 0; text.size() < 150000; ++i) {
    text += std::string(i % 7, 'a');
    if (with_jis_x_0212 && i % 3 == 0) text += "\x8F\xB0\xA1";
    text += passage;
    if (i % 2 == 0) text += "\r\n";
  }
  return text;
}

// What a reader gets with Gets of consecutive pieces of the text, each
// starting where the previous listing stopped: the listing and the romaji
// of each page, without the notices.
void pages_of(const std::string& text, std::string* listing, std::string* romaji_text,
              bool forms = false) {
  start_afresh();
  set_dictionary_forms(forms);
  ASSERT_EQ(chdir(kData.c_str()), 0);
  for (size_t position = 0; position < text.size();) {
    const std::string_view rest = std::string_view(text).substr(position);
    const size_t placed = place_passage(rest);
    run_get_chain(cli_main_window());
    *listing += without_notice(shell.listing_pane);
    *romaji_text += without_notice(romaji.romaji_pane);
    // Every page but the last fills its listing long before its passage ends.
    if (placed < rest.size()) {
      ASSERT_TRUE(lookup.listing_full) << position;
    }
    if (!lookup.listing_full) break;
    position += lookup.listing_stop;
  }
  reset_program_state();
}

TEST(GetAll, ListsEveryByteOnceAsGetsOfConsecutivePagesWouldInEveryEncoding) {
  for (bool jis_x_0212 : {true, false}) {
    const std::string text = long_text(jis_x_0212);
    std::string listing, romaji_text;
    {
      ScratchDir scratch;
      pages_of(text, &listing, &romaji_text);
    }
    ScratchDir dir;
    const std::string utf8 = euc_to_utf8(text);
    struct Input {
      const char* option;
      TextEncoding encoding;
      std::string bytes;
    };
    std::vector<Input> inputs = {{"--euc", TextEncoding::kEucJp, text},
                                 {"--utf8", TextEncoding::kUtf8, utf8}};
    // Shift-JIS has no JIS X 0212, nor has the JIS of the clipboard.
    if (!jis_x_0212) {
      inputs.push_back({"--jis", TextEncoding::kJis, utf8_to_jis(utf8)});
      inputs.push_back({"--shift", TextEncoding::kShiftJis, utf8_to_sjis(utf8)});
    }
    for (const Input& input : inputs) {
      SCOPED_TRACE(std::string(input.option) + (jis_x_0212 ? " with JIS X 0212" : ""));
      // The test's own conversions hold the text whole.
      ASSERT_TRUE(text_as_euc(input.bytes, input.encoding) == text);
      write_file("text.in", input.bytes);
      Outcome run = dodevuz(std::string("get --all --raw --pane listing -C ") + kData + " " +
                            input.option + " text.in");
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");  // no progress line when standard error is a file
      EXPECT_TRUE(run.out == listing) << run.out.size() << " bytes for " << listing.size();
      run = dodevuz(std::string("get --all --raw --pane romaji -C ") + kData + " " + input.option +
                    " text.in");
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_TRUE(run.out == romaji_text) << run.out.size() << " bytes for " << romaji_text.size();
    }
  }
}

// The run reads the deinflection table once, as a Get in the mode does for
// its passage; without it the pages came out classic.
TEST(GetAll, DictionaryFormsModeListsThePagesAsGetsInTheModeWould) {
  const std::string text = long_text(false);
  std::string listing, romaji_text, classic, classic_romaji;
  {
    ScratchDir scratch;
    pages_of(text, &listing, &romaji_text, true);
    pages_of(text, &classic, &classic_romaji, false);
  }
  ASSERT_NE(listing, classic);
  ScratchDir dir;
  write_file("text.in", text);
  Outcome run = dodevuz("get --all --forms --raw --pane listing --euc -C " + kData + " text.in");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out == listing) << run.out.size() << " bytes for " << listing.size();
  run = dodevuz("get --all --forms --raw --pane romaji --euc -C " + kData + " text.in");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out == romaji_text) << run.out.size() << " bytes for " << romaji_text.size();
}

TEST(GetAll, BothPanesAsOneTextEachForTheTerminal) {
  ScratchDir dir;
  const std::string text = long_text(false);
  std::string listing, romaji_text;
  pages_of(text, &listing, &romaji_text);
  write_file("text.in", euc_to_utf8(text));
  Outcome run = dodevuz("get --all -C " + kData + " text.in");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected = "== listing ==\n" + pane_text_for_terminal(listing) +
                               "== romaji ==\n" + pane_text_for_terminal(romaji_text);
  EXPECT_TRUE(run.out == expected) << run.out.size() << " bytes for " << expected.size();
  EXPECT_EQ(run.out.find("-- listing full"), std::string::npos);
}

TEST(GetAll, SessionPagesGiveTheSameItemsAsOneRun) {
  ScratchDir dir;
  // A passage the kanji buffer holds whole, paged with get-next.
  std::string text = long_text(false).substr(0, 30000);
  text.resize(euc_whole_prefix(text, text.size()));
  write_file("text.sjis", utf8_to_sjis(euc_to_utf8(text)));
  write_file("script.txt",
             "get-shift text.sjis\nshow listing\nget-next\nshow listing\nget-next\n"
             "show listing\nget-next\nshow listing\nget-next\nshow listing\n"
             "get-next\nshow listing\nget-next\n");
  Outcome session = dodevuz("session -C " + kData, "script.txt");
  Outcome all = dodevuz("get --all --shift --pane listing -C " + kData + " text.sjis");
  ASSERT_EQ(session.status, 0) << session.err;
  ASSERT_EQ(all.status, 0) << all.err;
  // The notices and the line each stands on go; the rest, line ends apart
  // (a notice starts a line of its own), is the same.
  std::string paged;
  size_t pages = 0, done = 0;
  for (size_t at = 0; at < session.out.size();) {
    size_t end = session.out.find('\n', at);
    std::string line = session.out.substr(at, end - at);
    at = end + 1;
    if (line.rfind("-- listing full: ", 0) == 0) {
      ++pages;
    } else if (line == "nothing more") {
      ++done;
    } else {
      paged += line;
    }
  }
  EXPECT_GE(pages, 2u);
  EXPECT_EQ(done, 1u);
  std::string whole;
  for (char c : all.out) {
    if (c != '\n') whole += c;
  }
  EXPECT_TRUE(paged == whole) << paged.size() << " bytes for " << whole.size();
}

TEST(GetAll, TheTextEndsAtANulAndTextThatIsNotValidEndsTheRun) {
  ScratchDir dir;
  write_file("nul.txt", std::string("abc\0def", 7));
  Outcome run = dodevuz("get --all --euc --raw -C " + kData + " nul.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "abc");
  EXPECT_NE(run.err.find("ends at its first NUL byte"), std::string::npos) << run.err;

  // 200 KB of good UTF-8, then a byte that is not: what came before is listed.
  std::string text(200000, 'x');
  write_file("bad.txt", text + "\xFF" + "y");
  run = dodevuz("get --all --raw -C " + kData + " bad.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("is not valid UTF-8 text (from byte 200,000 of 200,002)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find_first_not_of('x'), std::string::npos);
  EXPECT_GE(run.out.size(), size_t{65536});
}

TEST(PartBoundary, APartEndsOnlyWhereTheRestConvertsOnItsOwn) {
  std::string mode;
  // EUC-JP: a two-byte and a three-byte character are not split.
  EXPECT_EQ(part_boundary("a\xC6\xFC", TextEncoding::kEucJp, false, &mode), 3u);
  EXPECT_EQ(part_boundary("a\xC6", TextEncoding::kEucJp, false, &mode), 1u);
  EXPECT_EQ(part_boundary("a\x8F\xB0", TextEncoding::kEucJp, false, &mode), 1u);
  EXPECT_EQ(part_boundary("a\x8F\xB0\xA1", TextEncoding::kEucJp, false, &mode), 4u);
  EXPECT_EQ(part_boundary("a\r", TextEncoding::kEucJp, false, &mode), 2u);
  // UTF-8: four-byte characters too.
  EXPECT_EQ(part_boundary("a\xF0\x9F\x98", TextEncoding::kUtf8, false, &mode), 1u);
  EXPECT_EQ(part_boundary("a\xF0\x9F\x98\x80", TextEncoding::kUtf8, false, &mode), 5u);
  EXPECT_EQ(part_boundary("\xE6\x97", TextEncoding::kUtf8, false, &mode), 0u);
  // Shift-JIS: a trail byte may look like ASCII; a half-width katakana keeps
  // the voicing mark after it, and waits for one.
  EXPECT_EQ(part_boundary("a\x93\x7B", TextEncoding::kShiftJis, false, &mode), 3u);
  EXPECT_EQ(part_boundary("a\x93", TextEncoding::kShiftJis, false, &mode), 1u);
  EXPECT_EQ(part_boundary("a\xB6\xDE", TextEncoding::kShiftJis, false, &mode), 1u);
  EXPECT_EQ(part_boundary("a\xB6\xDE"
                          "b",
                          TextEncoding::kShiftJis, false, &mode),
            4u);
  // JIS: after a line feed, in the mode of the last escape sequence.
  mode.clear();
  EXPECT_EQ(part_boundary("\x1B$B\x46\x7C\n\x46", TextEncoding::kJis, false, &mode), 6u);
  EXPECT_EQ(mode, "\x1B$B");
  EXPECT_EQ(part_boundary("\x1B$B\x46\x7C\x1B(B", TextEncoding::kJis, false, &mode), 5u);
  EXPECT_EQ(part_boundary("\x1B$(D\x30\x21\n", TextEncoding::kJis, false, &mode), 7u);
  EXPECT_EQ(mode, "\x1B$(D");
  EXPECT_EQ(part_boundary("\x46\x7C", TextEncoding::kJis, false, &mode), 0u);
  // At the end of the input the whole rest is a part.
  EXPECT_EQ(part_boundary("a\xC6", TextEncoding::kEucJp, true, &mode), 2u);
}

// Runs `dodevuz ARGS` (output thrown away, standard error to stderr.txt),
// with its data (heap and private mappings) limited to limit_kb when that is
// not 0. Returns the exit status (-1 when it did not exit), and in *peak_kb
// its peak resident size in kB (VmHWM: libraries, stack and data), read
// under ptrace as it exits, or -1. (A child's ru_maxrss would count the
// pages of the test that the fork copied; VmHWM counts the program's alone.)
int run_dodevuz(const std::vector<std::string>& args, long limit_kb, long* peak_kb) {
  const std::string program = std::string(DODEVUZ_BINARY_DIR) + "/dodevuz";
  *peak_kb = -1;
  pid_t child = fork();
  if (child == 0) {
    int out = open("/dev/null", O_WRONLY);
    int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    if (limit_kb > 0) {
      struct rlimit limit {};
      limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(limit_kb) * 1024;
      if (setrlimit(RLIMIT_DATA, &limit) != 0) _exit(126);
    }
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  // Stopped at the exec, then at the exit, while its memory is still there
  // (where tracing is not permitted, it just runs).
  if (waitpid(child, &status, 0) != child) return -1;
  if (!WIFSTOPPED(status)) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
  ptrace(PTRACE_CONT, child, nullptr, nullptr);
  while (waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
    int deliver = 0;
    if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
      std::ifstream in("/proc/" + std::to_string(child) + "/status");
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmHWM:", 0) == 0) *peak_kb = std::atol(line.c_str() + 6);
      }
    } else if (WSTOPSIG(status) != SIGTRAP) {
      deliver = WSTOPSIG(status);
    }
    ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(deliver)));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes copies of the sample passage until the file holds bytes bytes,
// without holding the text in memory.
void write_repeated(const std::string& path, const std::string& passage, size_t bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  for (size_t written = 0; written < bytes; written += passage.size()) {
    std::fwrite(passage.data(), 1, passage.size(), out);
  }
  std::fclose(out);
}

TEST(GetAll, MemoryStaysBoundedWhateverTheTextsLength) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers need memory of their own";
#endif
  ScratchDir dir;
  const std::string passage = euc(read_file(kData + "/samples/passage.utf8.txt"));
  write_repeated("one.euc", passage, 1000000);
  write_repeated("ten.euc", passage, 10000000);
  // A run needs some 4 MB of data (the frames, the buffers, the panes'
  // texts of one page); 6 MB holds ten times the text, both panes included,
  // as it holds the text once: nothing of the text is kept.
  const long limit_kb = 6 * 1024;
  long one = 0, ten = 0, tenth = 0;
  EXPECT_EQ(run_dodevuz({"get", "--all", "--euc", "--pane", "both", "-C", kData, "one.euc"},
                        limit_kb, &one),
            0)
      << read_file("stderr.txt");
  EXPECT_EQ(run_dodevuz({"get", "--all", "--euc", "--pane", "both", "-C", kData, "ten.euc"},
                        limit_kb, &ten),
            0)
      << read_file("stderr.txt");
  // The limit is real: a run does not fit in a tenth of it.
  EXPECT_NE(run_dodevuz({"get", "--all", "--euc", "-C", kData, "one.euc"}, limit_kb / 10, &tenth),
            0);
  // Resident, libraries included, the whole program stays under 8 MB with
  // the 48 frames of the default cache, and 10 MB of text takes no more
  // than 1 MB (give or take a few pages).
  if (one < 0 || ten < 0) GTEST_SKIP() << "no peak to read: tracing is not permitted here";
  RecordProperty("peak_kb_1mb", std::to_string(one));
  RecordProperty("peak_kb_10mb", std::to_string(ten));
  EXPECT_LT(ten, 8000);
  EXPECT_LE(ten, one + 256) << one << " kB for 1 MB";
}

// The same bound with the full dictionary, whose 28 MB go through the 48
// frames over and over; by default a run caches the dictionary up to its
// bound (2350 frames, 27.5 MiB) and stays under 40 MB.
TEST(GetAll, PeakResidentSizeWithTheFullDictionaryStaysUnder8MBWith48Frames) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers need memory of their own";
#endif
  const std::filesystem::path full = std::filesystem::path(DODEVUZ_SOURCE_DATA_DIR) / ".." / "dict";
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
    if (!std::filesystem::exists(full / name)) {
      GTEST_SKIP() << "no full dictionary in " << full << " (make full-dict)";
    }
  }
  ScratchDir dir;
  write_repeated("text.euc", euc(read_file(kData + "/samples/passage.utf8.txt")), 300000);
  long peak = 0, whole = 0;
  EXPECT_EQ(
      run_dodevuz({"get", "--all", "--euc", "--cache-pages", "48", "-C", full.string(), "text.euc"},
                  0, &peak),
      0)
      << read_file("stderr.txt");
  EXPECT_EQ(run_dodevuz({"get", "--all", "--euc", "-C", full.string(), "text.euc"}, 0, &whole), 0)
      << read_file("stderr.txt");
  if (peak < 0 || whole < 0) GTEST_SKIP() << "no peak to read: tracing is not permitted here";
  RecordProperty("peak_kb_full_dictionary", std::to_string(peak));
  RecordProperty("peak_kb_full_dictionary_default", std::to_string(whole));
  EXPECT_LT(peak, 8000);
  EXPECT_LT(whole, 39062);  // kB: 40 MB
}

}  // namespace
