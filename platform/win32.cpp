// The Win32 platform of the desktop program: moveable global memory blocks,
// MessageBoxA, the system clipboard, and panes as Unicode EDIT controls that
// show the program's EUC-JP text converted to UTF-16.
//
// A pane keeps the program's own copy of the EUC-JP text it was made with
// and the byte offset of every UTF-16 unit it shows, so that a selection in
// the pane (EM_GETSEL, in UTF-16 units) maps back to the bytes the shell
// copies or looks up, whatever the user typed into it since.
#include "platform/win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/convert.h"
#include "platform/platform.h"

namespace {

struct PaneText {
  HWND window;
  std::string euc;                // the text the pane was made with
  std::vector<uint32_t> offsets;  // byte offset in euc of each UTF-16 unit shown, and one past
};

// Program-wide state of this platform: the living panes and their font.
struct Win32Desktop {
  std::vector<PaneText> panes;
  HFONT text_font;  // set_pane_text_size's font; nullptr before the first call
};

Win32Desktop win32_desktop;

PaneText* find_pane(HWND window) {
  for (PaneText& pane : win32_desktop.panes) {
    if (pane.window == window) return &pane;
  }
  return nullptr;
}

// Another program may hold the clipboard for a moment (a clipboard viewer,
// a program putting text on it): try again for a short while before giving
// up.
bool open_clipboard(Window owner) {
  for (int attempt = 0; attempt < 25; ++attempt) {
    if (OpenClipboard(static_cast<HWND>(owner))) return true;
    Sleep(attempt < 5 ? 1 : 10);
  }
  return false;
}

// Which text the clipboard's owner placed: CF_TEXT or CF_UNICODETEXT,
// whichever it put first, or 0 when it holds neither. The system lists the
// formats in the order they were placed and the ones it synthesises from
// them after, so the first of the two is the one a program put there.
UINT placed_text_format() {
  UINT format = 0;
  while ((format = EnumClipboardFormats(format)) != 0) {
    if (format == CF_TEXT || format == CF_UNICODETEXT) return format;
  }
  return 0;
}

// The clipboard data of format as bytes up to its first NUL unit, never
// beyond the block's size (a block without a NUL is taken whole).
template <typename Unit>
bool clipboard_units(UINT format, std::basic_string<Unit>* out) {
  HANDLE data = GetClipboardData(format);
  if (data == nullptr) return false;
  const Unit* units = static_cast<const Unit*>(GlobalLock(data));
  if (units == nullptr) return false;
  size_t limit = GlobalSize(data) / sizeof(Unit);
  size_t length = 0;
  while (length < limit && units[length] != 0) ++length;
  out->assign(units, length);
  GlobalUnlock(data);
  return true;
}

// Puts size bytes on the open clipboard as format; the clipboard owns the
// block from then on.
void put_on_clipboard(UINT format, const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return;
  void* p = GlobalLock(block);
  if (p == nullptr) {
    GlobalFree(block);
    return;
  }
  std::memcpy(p, bytes, size);
  GlobalUnlock(block);
  if (SetClipboardData(format, block) == nullptr) GlobalFree(block);
}

// The pane's UTF-16 text and, per unit, the byte it came from. A lone line
// feed (the entry lines of the single pane) is shown as CR LF, since an EDIT
// control breaks lines only there; both units map to the line feed's byte.
std::wstring pane_wide_text(const std::string& euc, std::vector<uint32_t>* offsets) {
  std::vector<uint32_t> char_offsets;
  std::u16string wide = euc_to_utf16(euc, &char_offsets);
  std::wstring shown;
  shown.reserve(wide.size() + 16);
  offsets->clear();
  offsets->reserve(wide.size() + 16);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == u'\n' && (i == 0 || wide[i - 1] != u'\r')) {
      shown.push_back(L'\r');
      offsets->push_back(char_offsets[i]);
    }
    shown.push_back(static_cast<wchar_t>(wide[i]));
    offsets->push_back(char_offsets[i]);
  }
  offsets->push_back(static_cast<uint32_t>(euc.size()));
  return shown;
}

// The font of the panes where the system's own cannot show Japanese: the
// default font of EDIT controls is made for the ANSI code page, and outside
// a Japanese one (932) it has no kana or kanji. Then the panes get a
// fixed-pitch font of the Shift-JIS character set, of the same height,
// made once; under code page 932 they keep the default.
HFONT pane_font() {
  if (win32_desktop.text_font != nullptr) return win32_desktop.text_font;
  static HFONT font = nullptr;
  static bool chosen = false;
  if (chosen) return font;
  chosen = true;
  if (GetACP() == 932) return nullptr;
  LOGFONTW system = {};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof system, &system);
  LOGFONTW lf = {};
  lf.lfHeight = system.lfHeight != 0 ? system.lfHeight : 16;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  font = CreateFontIndirectW(&lf);
  return font;
}

int CALLBACK note_face(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// Whether the system has a font of this face for Shift-JIS text.
bool have_face(const wchar_t* face) {
  LOGFONTW lf = {};
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, note_face, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

}  // namespace

void set_pane_text_size(int points, int dpi) {
  if (dpi <= 0) {
    HDC dc = GetDC(nullptr);
    dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
  }
  LOGFONTW lf = {};
  lf.lfHeight = -MulDiv(points, dpi > 0 ? dpi : 96, 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  for (const wchar_t* face : {L"MS Gothic", L"VL Gothic", L"Noto Sans Mono CJK JP"}) {
    if (have_face(face)) {
      lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
      break;
    }
  }
  HFONT font = CreateFontIndirectW(&lf);
  if (font == nullptr) return;
  HFONT previous = win32_desktop.text_font;
  win32_desktop.text_font = font;
  for (const PaneText& pane : win32_desktop.panes) {
    SendMessageW(pane.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (previous != nullptr) DeleteObject(previous);
}

int pane_line_height() {
  HDC dc = GetDC(nullptr);
  HFONT font = pane_font();
  HGDIOBJ old =
      SelectObject(dc, font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm.tmHeight + tm.tmExternalLeading;
}

// ---- Memory blocks ---------------------------------------------------------

MemoryBlock memory_alloc(size_t size, bool zero_fill) {
  return GlobalAlloc(GMEM_MOVEABLE | (zero_fill ? GMEM_ZEROINIT : 0), size ? size : 1);
}

unsigned char* memory_lock(MemoryBlock block) {
  if (block == nullptr) return nullptr;
  return static_cast<unsigned char*>(GlobalLock(static_cast<HGLOBAL>(block)));
}

void memory_unlock(MemoryBlock block) {
  if (block != nullptr) GlobalUnlock(static_cast<HGLOBAL>(block));
}

void memory_free(MemoryBlock block) {
  if (block == nullptr) return;
  HGLOBAL h = static_cast<HGLOBAL>(block);
  // Freed locked or not: drop every lock first.
  for (int i = 0; i < 256 && (GlobalFlags(h) & GMEM_LOCKCOUNT) != 0; ++i) GlobalUnlock(h);
  GlobalFree(h);
}

// ---- Message boxes ---------------------------------------------------------

void message_box(Window owner, const char* text, const char* caption) {
  MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

// ---- Clipboard -------------------------------------------------------------

bool clipboard_read_text(Window owner, ClipboardIntake intake, std::string* text) {
  text->clear();
  if (!open_clipboard(owner)) return false;
  bool ok = false;
  UINT format = placed_text_format();
  if (format == CF_UNICODETEXT) {
    // Text a Unicode program placed: the bytes of the encoding the command reads.
    std::wstring wide;
    if (clipboard_units(CF_UNICODETEXT, &wide)) {
      std::string utf8;
      if (!wide.empty()) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
        if (n > 0) {
          utf8.resize(static_cast<size_t>(n));
          WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                              n, nullptr, nullptr);
        }
      }
      *text = intake == ClipboardIntake::kJis ? utf8_to_jis(utf8) : utf8_to_sjis(utf8);
      ok = true;
    }
  } else if (format == CF_TEXT) {
    // Bytes placed as 8-bit text are taken as they are.
    ok = clipboard_units(CF_TEXT, text);
  }
  CloseClipboard();
  if (!ok) text->clear();
  return ok;
}

// A format of our own beside a Copy's text: it tells the program's own Copy
// from text that another program placed.
UINT own_copy_format() {
  static const UINT format = RegisterClipboardFormatW(L"Dodevuz copy");
  return format;
}

bool clipboard_holds_own_copy() {
  return own_copy_format() != 0 && IsClipboardFormatAvailable(own_copy_format());
}

void clipboard_write_text(Window owner, const unsigned char* bytes, size_t length) {
  if (!open_clipboard(owner)) return;
  EmptyClipboard();
  // The EUC-JP bytes as 8-bit text, for this program's own Get commands and
  // for programs that read EUC-JP; beside them the same text as Unicode, for
  // every other program.
  std::string euc(reinterpret_cast<const char*>(bytes), length);
  put_on_clipboard(CF_TEXT, euc.c_str(), euc.size() + 1);
  std::u16string wide = euc_to_utf16(euc, nullptr);
  put_on_clipboard(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  if (own_copy_format() != 0) put_on_clipboard(own_copy_format(), "", 1);
  CloseClipboard();
}

void clipboard_empty(Window owner) {
  if (!open_clipboard(owner)) return;
  EmptyClipboard();
  CloseClipboard();
}

// ---- Panes -----------------------------------------------------------------

Window pane_create(Window parent, int x, int y, int width, int height, uint32_t style,
                   const unsigned char* text) {
  PaneText pane;
  pane.euc = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  std::wstring shown = pane_wide_text(pane.euc, &pane.offsets);
  pane.window =
      CreateWindowExW(0, L"EDIT", shown.c_str(), style, x, y, width, height,
                      static_cast<HWND>(parent), nullptr, GetModuleHandleW(nullptr), nullptr);
  if (pane.window == nullptr) return nullptr;
  if (HFONT font = pane_font())
    SendMessageW(pane.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ShowWindow(pane.window, SW_SHOW);
  win32_desktop.panes.push_back(std::move(pane));
  return win32_desktop.panes.back().window;
}

void pane_destroy(Window pane) {
  if (pane == nullptr) return;
  HWND window = static_cast<HWND>(pane);
  DestroyWindow(window);
  auto& panes = win32_desktop.panes;
  panes.erase(std::remove_if(panes.begin(), panes.end(),
                             [window](const PaneText& p) { return p.window == window; }),
              panes.end());
}

void pane_selection(Window pane, uint32_t* start, uint32_t* end) {
  *start = 0;
  *end = 0;
  PaneText* text = find_pane(static_cast<HWND>(pane));
  if (text == nullptr || !IsWindow(text->window)) return;
  // Through the pointers, not the return value, whose 16-bit halves would
  // cut positions past 65535.
  DWORD first = 0, last = 0;
  SendMessageW(text->window, EM_GETSEL, reinterpret_cast<WPARAM>(&first),
               reinterpret_cast<LPARAM>(&last));
  if (last < first) std::swap(first, last);
  *start = utf16_to_byte_offset(text->offsets, first);
  *end = utf16_to_byte_offset(text->offsets, last);
}

Window focus_window() {
  return GetFocus();
}

// ---- Notices on the console ------------------------------------------------

void console_notice(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// ---- Ending the program ----------------------------------------------------

[[noreturn]] void end_program(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}
