// The dodevuz command line: the program's menu commands run from a shell over
// the portable platform (panes and clipboard in memory, message boxes as
// "[caption] text" lines on standard error). main() calls dodevuz_main alone;
// the commands and the helpers below are the library the tests link too.
//
// Exit status: 0 when the command ran, 1 when it could not (a file that cannot
// be read, a directory that cannot be entered, a faulty index, a missing
// kanarom.cnv), 2 for a usage error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "store/store.h"

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Runs `dodevuz ARGS...`; returns the exit status.
int dodevuz_main(int argc, char** argv);

// The commands, each given the arguments after its name.
int command_get(int argc, char** argv);
int command_decode(int argc, char** argv);
int command_romaji(int argc, char** argv);
int command_single(int argc, char** argv);
int command_session(int argc, char** argv);
int command_index(int argc, char** argv);
int command_setup(int argc, char** argv);  // setup.cpp
extern const char kUsageSetup[];
int command_serve(int argc, char** argv);

// `dodevuz serve` runs in a program of its own, dodevuz-serve: the whole
// command line with the HTTP server linked in. The HTTP library brings the
// TLS and compression libraries along, and loading them alone would make
// every other command twice as big in memory. dodevuz-serve sets
// serve_runner and runs dodevuz_main; in dodevuz it stays null, and `serve`
// runs dodevuz-serve from dodevuz's own folder with the same arguments (a
// message and status 1 when it is not there). port is -1 for the default.
using ServeRunner = int (*)(int port);
extern ServeRunner serve_runner;

// Makes the dictionary folder the working directory: directory when named
// (-C DIR), else the folder find_dictionary_folder finds, with a note when
// it is the sample data. Returns false after a message on standard error
// (a folder that cannot be entered, none that holds a dictionary).
bool enter_dictionary_folder(bool named, const std::string& directory);

// The window that owns message boxes and panes: the main window of the
// command line, which has no pane of its own.
Window cli_main_window();

// Every subsystem and the in-memory desktop as at program start, the page
// cache set up for frame_count frames, the main window focused.
void start_afresh(int frame_count = kDefaultFrameCount);

// The usage text: of all commands, or of one (nullptr when name is unknown).
const char* usage_text(const char* command = nullptr);

// The whole content of path, or of standard input for "-". Returns false with
// a message in *error when it cannot be read.
bool read_input(const std::string& path, std::string* bytes, std::string* error);

// The length of the part of a passage (EUC-JP) that a kanji buffer takes: the
// text up to its first NUL, cut at the last whole character that leaves room
// for two NULs. Notes a NUL or a cut on standard error.
size_t passage_fit(std::string_view euc);

// Puts a passage (EUC-JP) into a new kanji buffer with place_euc_passage,
// noting a NUL or a cut on standard error. Returns the bytes placed.
size_t place_passage(std::string_view euc);

// A pane's EUC-JP text as the terminal shows it: UTF-8, 0x0D 0x0A as 0x0A,
// each undecodable character as U+FFFD.
std::string pane_text_for_terminal(std::string_view euc);

// Writes a pane's text to standard output: for the terminal (ending with a
// line feed), or the exact bytes when raw.
void print_pane_text(std::string_view euc, bool raw);

// The text of a pane (its shell's copy), or empty when pane is nullptr.
std::string_view pane_text(Window pane);
