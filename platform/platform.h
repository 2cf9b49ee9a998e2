// The calls the program makes of its platform: read-only files, memory
// blocks, message boxes, the clipboard and text panes. The core includes this
// header and nothing of any window system.
//
// One implementation is linked into each program:
//   portable.cpp   POSIX files, malloc'd blocks, message boxes on stderr,
//                  clipboard and panes held in memory (the command line);
//   recording.cpp  the same files, plus a log of every call and failures on
//                  demand (the tests; see recording.h);
//   win32.cpp      positioned ReadFile, GlobalAlloc/GlobalLock, MessageBoxA,
//                  the Win32 clipboard and Unicode EDIT windows (dodevuz.exe);
//   qt.cpp         the C heap, QMessageBox, QClipboard and QPlainTextEdit
//                  panes (dodevuz-qt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A window: the main window or one of its panes (an HWND on Win32).
// nullptr means no window.
using Window = void*;

// ---- Files -----------------------------------------------------------------

// The handle value that every failed open returns (HFILE_ERROR).
constexpr int32_t kFileError = -1;

// Opens a regular file read-only. Returns its handle, or kFileError when the
// file is missing, unreadable or not a regular file (a directory, say).
int32_t file_open_read(const char* path);

// Stores the size in bytes of the regular file at path. Returns 0 on success,
// non-zero on failure (then *size is left alone).
int file_size(const char* path, uint32_t* size);

// Reads up to count bytes from byte offset `offset` of an open file: one
// positioned read. Returns the number of bytes read (0 at the end), or -1 on
// failure, a bad handle included.
int32_t file_read_at(int32_t file, uint32_t offset, void* buffer, uint32_t count);

// Closes an open file. A handle of kFileError is ignored.
void file_close(int32_t file);

// Appends count bytes to the end of the regular file at path, making it when
// it is missing; nothing before its old end is ever rewritten or cut. The
// bytes go in one write; should they not all go (a full disk, a size limit),
// what did go is taken back, so the file ends as it was. Returns 0 when all
// were written, -1 otherwise (the file cannot be made or opened for writing,
// a read-only folder, a directory of that name, a failed write).
//
// Appends of this program and of any other that appends the same way are one
// at a time: each holds the file's advisory lock from its look at the file
// to the end of its write, and a failed write is taken back only as far as
// where it began, never into bytes another program appended.
int file_append(const char* path, const void* bytes, uint32_t count);

// The read-check-append of a list that must not hold a row twice, as one
// step under the same lock: choose is given the file's whole content (empty
// when it is missing) and returns the bytes to append, or nothing. Returns 0
// when the chosen bytes were written or there was nothing to write, -1 when
// the file could not be read or the write failed (the file then ends as it
// was), as file_append.
using AppendChoice = std::function<std::string(std::string_view content)>;
int file_append_checked(const char* path, const AppendChoice& choose);

// ---- Memory blocks ---------------------------------------------------------

// A block of the platform's global memory (an HGLOBAL on Win32).
using MemoryBlock = void*;

// Allocates a moveable block of size bytes, zero-filled when zero_fill is
// set. Returns nullptr when the memory cannot be had.
MemoryBlock memory_alloc(size_t size, bool zero_fill);

// Locks a block and returns its address, or nullptr when it cannot be locked
// (a null block included).
unsigned char* memory_lock(MemoryBlock block);

// Unlocks a block; a null block is ignored. Unlocking does not free.
void memory_unlock(MemoryBlock block);

// Returns a block to the system, locked or not; a null block is ignored.
void memory_free(MemoryBlock block);

// Replaces the block in *slot by a fresh one of size bytes and locks it: the
// block that *slot held before is freed, since nothing reads an earlier
// command's block again. Returns the locked address, or nullptr when the
// block could not be allocated (*slot is then nullptr) or locked (*slot then
// holds the new, unlocked block).
unsigned char* renew_block(MemoryBlock* slot, size_t size, bool zero_fill);

// ---- Message boxes ---------------------------------------------------------

// Shows text under caption with an OK button, owned by owner, and returns
// when the user has closed it.
void message_box(Window owner, const char* text, const char* caption);

// ---- Clipboard -------------------------------------------------------------

// How a Get command is going to read the clipboard's text. Where the
// clipboard holds Unicode text (a modern desktop), the platform converts it to
// the bytes that command expects; bytes placed as plain 8-bit text are handed
// over as they are.
enum class ClipboardIntake { kShiftJis, kJis };

// Copies the clipboard's text, up to its terminating NUL, into *text.
// Returns false, with *text empty, when the clipboard holds no text or cannot
// be opened.
bool clipboard_read_text(Window owner, ClipboardIntake intake, std::string* text);

// Opens the clipboard with owner, empties it, puts length bytes of EUC-JP
// text on it and closes it.
void clipboard_write_text(Window owner, const unsigned char* bytes, size_t length);

// Opens the clipboard with owner, empties it and closes it.
void clipboard_empty(Window owner);

// Whether the clipboard holds what this program's clipboard_write_text put
// there (and nothing has replaced it since), so that a watch of the
// clipboard can let the program's own Copy be.
bool clipboard_holds_own_copy();

// ---- Panes -----------------------------------------------------------------

// Makes and shows a multi-line text pane, a child of parent at (x, y) in its
// client area, of the given size in pixels and window style, holding text (a
// NUL-terminated EUC-JP string). Returns the pane, or nullptr.
Window pane_create(Window parent, int x, int y, int width, int height, uint32_t style,
                   const unsigned char* text);

// Destroys a pane; nullptr is ignored.
void pane_destroy(Window pane);

// The pane's selection as byte offsets into the text it was made with: start
// and the offset just past its end. A null or unknown pane gives 0 and 0.
void pane_selection(Window pane, uint32_t* start, uint32_t* end);

// The window that has the keyboard focus, or nullptr.
Window focus_window();

// ---- Notices on the console ------------------------------------------------

// Writes one line (text ends in a line feed) for whoever keeps the data files,
// such as a romaji table with entries left unread: on standard output in the
// desktop programs, on standard error in the command line, whose standard
// output carries the panes.
void console_notice(const char* text);

// ---- Ending the program ----------------------------------------------------

// Ends the process with status; the one exit of the program. The recording
// platform throws ProgramEnded instead (recording.h), so tests can see it.
[[noreturn]] void end_program(int status);
