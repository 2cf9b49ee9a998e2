// End-to-end test of the desktop program: starts dodevuz.exe, puts text on
// the clipboard, sends the menu commands to the main window (found by its
// title) and reads back what the panes, the clipboard, the About box and
// the process's exit status show. Runs under Wine and Xvfb (run.sh), or on
// Windows.
//
// Run it in a folder holding dodevuz.exe, edict, kanarom.cnv and the sample
// passages (passage.sjis, passage.jis, passage.utf8.txt), and a long passage
// with what `dodevuz get --all` lists of it (long.sjis, long.listing,
// long.romaji; run.sh makes them); it indexes edict itself with the index
// builder. It prints one line per check and a last
// line "N passed, N failed"; the exit status is 1 when a check failed.
// With --show it only leaves the program showing a passage, for a screenshot.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "index/build_index.h"
#include "tests/wine/checks.h"

int checks_passed = 0, checks_failed = 0;

void check(bool ok, const std::string& what, const std::string& detail) {
  if (ok) {
    ++checks_passed;
    std::printf("ok   %s\n", what.c_str());
  } else {
    ++checks_failed;
    std::printf("FAIL %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
  }
  std::fflush(stdout);
}

std::string hex(const std::string& bytes, size_t limit) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(bytes[i]));
    out += b;
  }
  if (bytes.size() > limit) out += "...";
  return out;
}

namespace {

constexpr char kTitle[] = "Dodevuz(J>E) demo";
// The listing pane's top at start: below the romaji pane, the largest pane.
constexpr int kListingTop = 102;
constexpr DWORD kWaitMs = 15000;  // bound of every wait for the program

std::string read_file(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

std::wstring to_wide(UINT code_page, const std::string& in) {
  if (in.empty()) return {};
  int n = MultiByteToWideChar(code_page, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(code_page, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
  return out;
}

std::string from_wide(UINT code_page, const std::wstring& in) {
  if (in.empty()) return {};
  int n = WideCharToMultiByte(code_page, 0, in.data(), static_cast<int>(in.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(code_page, 0, in.data(), static_cast<int>(in.size()), out.data(), n,
                        nullptr, nullptr);
  }
  return out;
}

// What a pane shows, back in the program's EUC-JP.
std::string euc(const std::wstring& wide) {
  return from_wide(20932, wide);
}
std::wstring from_euc(const std::string& bytes) {
  return to_wide(20932, bytes);
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) {
    s.replace(at, from.size(), to);
  }
  return s;
}

// Waits up to ms for handle (nullptr: just waits), answering the messages
// sent to the driver's windows meanwhile: the clipboard's owner is one of
// them, and the system asks it about its data while others read it.
// Returns true when the handle was signalled.
bool wait_for(HANDLE handle, DWORD ms) {
  ULONGLONG until = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    ULONGLONG now = GetTickCount64();
    if (now >= until) return handle != nullptr && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    DWORD left = static_cast<DWORD>(until - now);
    DWORD r = MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE, left,
                                        QS_ALLINPUT);
    if (handle != nullptr && r == WAIT_OBJECT_0) return true;
  }
}

void idle(DWORD ms) {
  wait_for(nullptr, ms);
}

// ---- The clipboard, opened with a window of the driver's own ---------------

HWND clipboard_owner;

bool open_clipboard() {
  for (int i = 0; i < 200; ++i) {
    if (OpenClipboard(clipboard_owner)) return true;
    idle(10);
  }
  std::printf("# cannot open the clipboard\n");
  return false;
}

void put_clipboard(UINT format, const void* data, size_t size) {
  if (!open_clipboard()) return;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(block), data, size);
  GlobalUnlock(block);
  SetClipboardData(format, block);
  CloseClipboard();
}

void put_text(const std::string& bytes) {
  put_clipboard(CF_TEXT, bytes.c_str(), bytes.size() + 1);
}

void put_unicode(const std::wstring& text) {
  put_clipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::vector<UINT> clipboard_formats() {
  std::vector<UINT> formats;
  if (!open_clipboard()) return formats;
  UINT f = 0;
  while ((f = EnumClipboardFormats(f)) != 0) formats.push_back(f);
  CloseClipboard();
  return formats;
}

// The clipboard's data of format up to its NUL, as bytes; false when absent.
bool clipboard_bytes(UINT format, std::string* out) {
  out->clear();
  if (!open_clipboard()) return false;
  bool ok = false;
  if (HANDLE h = GetClipboardData(format)) {
    const char* p = static_cast<const char*>(GlobalLock(h));
    size_t size = GlobalSize(h);
    if (p != nullptr) {
      size_t unit = format == CF_UNICODETEXT ? 2 : 1;
      size_t n = 0;
      while (n + unit <= size && (unit == 1 ? p[n] != 0 : (p[n] != 0 || p[n + 1] != 0))) n += unit;
      out->assign(p, n);
      GlobalUnlock(h);
      ok = true;
    }
  }
  CloseClipboard();
  return ok;
}

std::wstring clipboard_unicode() {
  std::string bytes;
  clipboard_bytes(CF_UNICODETEXT, &bytes);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// ---- The program under test ------------------------------------------------

struct Program {
  PROCESS_INFORMATION process = {};
  HWND main = nullptr;
  DWORD thread = 0;
};

// The program keeps its settings in %APPDATA%\Dodevuz\settings.ini; each
// start has the driver's own APPDATA, and the defaults unless keep_settings.
std::string settings_file(const std::string& folder) {
  return folder + "\\appdata\\Dodevuz\\settings.ini";
}

bool start_program(const std::string& exe, const std::string& folder, const std::string& out_file,
                   Program* program, bool keep_settings = false,
                   const std::string& arguments = "") {
  SetEnvironmentVariableA("APPDATA", (folder + "\\appdata").c_str());
  if (!keep_settings) DeleteFileA(settings_file(folder).c_str());
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE out = CreateFileA(out_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = out;
  si.hStdError = out;
  std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  BOOL ok = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           folder.c_str(), &si, &program->process);
  CloseHandle(out);
  if (!ok) return false;
  for (DWORD waited = 0; waited < kWaitMs; waited += 20) {
    HWND h = nullptr;
    while ((h = FindWindowExA(nullptr, h, nullptr, kTitle)) != nullptr) {
      DWORD pid = 0;
      DWORD tid = GetWindowThreadProcessId(h, &pid);
      // Visible once the program has laid it out.
      if (pid == program->process.dwProcessId && IsWindowVisible(h)) {
        program->main = h;
        program->thread = tid;
        return true;
      }
    }
    if (wait_for(program->process.hProcess, 20)) return false;
  }
  return false;
}

// Waits for the process to end; its exit status, or -1 when it did not.
int wait_exit(Program* program) {
  if (!wait_for(program->process.hProcess, kWaitMs)) return -1;
  DWORD status = 0;
  GetExitCodeProcess(program->process.hProcess, &status);
  CloseHandle(program->process.hProcess);
  CloseHandle(program->process.hThread);
  program->process = {};
  return static_cast<int>(status);
}

void kill_program(Program* program) {
  if (program->process.hProcess == nullptr) return;
  TerminateProcess(program->process.hProcess, 99);
  wait_exit(program);
}

// A menu command, run to its end: the window procedure handles it before
// SendMessage returns.
bool command(const Program& program, int id) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(program.main, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_ABORTIFHUNG,
                             kWaitMs, &result) != 0;
}

struct Pane {
  HWND window;
  RECT rect;  // in the main window's client area
  LONG style;
};

BOOL CALLBACK collect_pane(HWND window, LPARAM param) {
  char cls[32] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (lstrcmpiA(cls, "Edit") == 0) {
    auto* panes = reinterpret_cast<std::vector<Pane>*>(param);
    Pane pane = {window, {}, GetWindowLongA(window, GWL_STYLE)};
    GetWindowRect(window, &pane.rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&pane.rect), 2);
    panes->push_back(pane);
  }
  return TRUE;
}

std::vector<Pane> panes_of(const Program& program) {
  std::vector<Pane> panes;
  EnumChildWindows(program.main, collect_pane, reinterpret_cast<LPARAM>(&panes));
  return panes;
}

HWND pane_at(const Program& program, int y) {
  for (const Pane& pane : panes_of(program)) {
    if (pane.rect.top == y) return pane.window;
  }
  return nullptr;
}

std::wstring window_text(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kWaitMs, &copied);
  text.resize(copied);
  return text;
}

void select_range(HWND pane, size_t start, size_t end) {
  SendMessageW(pane, EM_SETSEL, start, static_cast<LPARAM>(end));
}

HWND focus_of(const Program& program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(program.thread, &info);
  return info.hwndFocus;
}

// Gives a window of the program the focus, through the program's input
// state shared with the driver's thread for the moment.
void focus(const Program& program, HWND window) {
  DWORD self = GetCurrentThreadId();
  AttachThreadInput(self, program.thread, TRUE);
  SetFocus(window);
  AttachThreadInput(self, program.thread, FALSE);
}

// A click into a pane gives it the focus, as a reader's would.
void click(HWND pane) {
  SendMessageW(pane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(pane, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// The romaji, listing and single panes at their start-up places, empty.
bool three_empty_panes(const Program& program) {
  std::vector<Pane> panes = panes_of(program);
  if (panes.size() != 3) return false;
  for (const Pane& pane : panes) {
    if (!window_text(pane.window).empty()) return false;
  }
  return pane_at(program, 0) && pane_at(program, kListingTop) && pane_at(program, 294);
}

HWND status_line(const Program& program) {
  return GetDlgItem(program.main, 200);
}

RECT status_rect(const Program& program) {
  RECT r = {};
  HWND line = status_line(program);
  if (line == nullptr) return r;
  GetWindowRect(line, &r);
  MapWindowPoints(nullptr, program.main, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string status_text(const Program& program) {
  HWND line = status_line(program);
  return line == nullptr ? std::string("(no status line)") : from_wide(CP_UTF8, window_text(line));
}

// The program's panes by their place from the top: romaji, listing, single.
std::vector<Pane> panes_top_down(const Program& program) {
  std::vector<Pane> panes = panes_of(program);
  std::sort(panes.begin(), panes.end(),
            [](const Pane& a, const Pane& b) { return a.rect.top < b.rect.top; });
  return panes;
}

// Keys as the user types them, to the program's window in the foreground.
void bring_to_front(const Program& program) {
  DWORD self = GetCurrentThreadId();
  AttachThreadInput(self, program.thread, TRUE);
  SetForegroundWindow(program.main);
  SetActiveWindow(program.main);
  AttachThreadInput(self, program.thread, FALSE);
  idle(100);
}

void type_keys(std::initializer_list<WORD> held, WORD key) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  };
  for (WORD vk : held) add(vk, false);
  add(key, false);
  add(key, true);
  for (auto it = held.end(); it != held.begin();) add(*--it, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  idle(150);
}

// Waits up to ms for the listing pane's text to begin with prefix.
bool listing_begins(const Program& program, const std::wstring& prefix, DWORD ms = 3000) {
  for (DWORD waited = 0;; waited += 20) {
    HWND listing = pane_at(program, kListingTop);
    if (listing != nullptr && window_text(listing).rfind(prefix, 0) == 0) return true;
    if (waited >= ms) return false;
    idle(20);
  }
}

// Whether pred holds within ms (the program acts on typed keys in its own
// time).
template <typename Pred>
bool eventually(Pred pred, DWORD ms = 3000) {
  for (DWORD waited = 0;; waited += 20) {
    if (pred()) return true;
    if (waited >= ms) return false;
    idle(20);
  }
}

bool in_menu(const Program& program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(program.thread, &info);
  return (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
}

BOOL CALLBACK find_dialog(HWND window, LPARAM param) {
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK collect_type(HMODULE, LPSTR type, LONG_PTR param) {
  reinterpret_cast<std::vector<ULONG_PTR>*>(param)->push_back(
      IS_INTRESOURCE(type) ? reinterpret_cast<ULONG_PTR>(type) : 0);
  return TRUE;
}

// ---- Expectations ------------------------------------------------------------

std::set<std::string> edict_lines;

// The passage that a listing was made from: the listing less every gap of
// 8 or 16 blanks with the dictionary line (or the no-match text) after it.
// Also counts the words that were followed by a line beginning with them.
std::string passage_of_listing(const std::string& listing, int* words) {
  std::string passage;
  *words = 0;
  size_t i = 0;
  while (i < listing.size()) {
    if (listing.compare(i, 8, std::string(8, ' ')) == 0) {
      size_t j = i + 8;
      if (listing.compare(j, 8, std::string(8, ' ')) == 0) j += 8;
      size_t k = listing.find("\r\n", j);
      if (k != std::string::npos) {
        std::string line = listing.substr(j, k - j);
        if (edict_lines.count(line) != 0 || line == "  NOMATCH  ") {
          if (j == i + 8) ++*words;
          i = k + 2;
          continue;
        }
      }
    }
    passage.push_back(listing[i++]);
  }
  return passage;
}

// ---- The checks --------------------------------------------------------------

struct Samples {
  std::string sjis, jis, utf8, euc_crlf;
};

void check_resources(const std::string& exe) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  check(module != nullptr, "the executable loads as a data file");
  if (module == nullptr) return;

  char text[64] = {};
  LoadStringA(module, 1, text, sizeof text);
  check(std::strcmp(text, "zoveze") == 0, "string 1 is \"zoveze\"", text);

  HMENU menu = LoadMenuA(module, "ZOVEZE");
  check(menu != nullptr, "menu ZOVEZE loads");
  if (menu != nullptr) {
    std::string got;
    for (int top = 0; top < GetMenuItemCount(menu); ++top) {
      GetMenuStringA(menu, static_cast<UINT>(top), text, sizeof text, MF_BYPOSITION);
      got += std::string(text) + "{";
      HMENU sub = GetSubMenu(menu, top);
      for (int k = 0; sub != nullptr && k < GetMenuItemCount(sub); ++k) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID;
        GetMenuItemInfoA(sub, static_cast<UINT>(k), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) {
          got += "-;";
          continue;
        }
        GetMenuStringA(sub, static_cast<UINT>(k), text, sizeof text, MF_BYPOSITION);
        got += std::string(text) + "=" + std::to_string(info.wID) + ";";
      }
      got += "}";
    }
    const std::string want =
        "&File{Get Dodevuz &JIS\tCtrl+Shift+J=108;Get Dodevuz &SHIFT\tCtrl+Shift+V=109;"
        "Get Dodevuz &NEXT\tCtrl+N=111;Single &Dodevuz\tCtrl+L=105;&Open...\tCtrl+O=119;"
        "&Clear All=110;&Watch clipboard=112;-;&About\tF1=102;"
        "E&xit\tCtrl+Q=101;}&Edit{&Copy\tCtrl+C=106;&Add to Word List\tCtrl+D=113;"
        "&Kanji Details\tCtrl+K=117;Mark as K&nown\tCtrl+Shift+K=118;Open &Word List=121;}&View{&Larger Text\tCtrl++=115;S&maller Text\tCtrl+-=116;}"
        "&Options{&Dictionary forms=114;&Reset Settings=120;}";
    check(got == want, "the menu holds exactly its items, in order, with mnemonics and keys", got);
    DestroyMenu(menu);
  }

  // The shortcuts the menu shows, and the keys of Ctrl+plus and minus.
  HACCEL accelerators = LoadAcceleratorsA(module, "ZOVEZE");
  check(accelerators != nullptr, "accelerators ZOVEZE load");
  if (accelerators != nullptr) {
    ACCEL table[32];
    int n = CopyAcceleratorTableA(accelerators, table, 32);
    std::string got;
    for (int k = 0; k < n; ++k) {
      char entry[40];
      std::snprintf(entry, sizeof entry, "%s%s%02X=%u;", (table[k].fVirt & FCONTROL) ? "C" : "",
                    (table[k].fVirt & FSHIFT) ? "S" : "", table[k].key, table[k].cmd);
      got += entry;
    }
    check(got ==
              "CS4A=108;CS56=109;C4E=111;C4C=105;C4F=119;C43=106;C44=113;C4B=117;CS4B=118;70=102;C51=101;CBB=115;"
              "CSBB=115;C6B=115;CBD=116;C6D=116;",
          "the shortcuts: Ctrl+Shift+J, V, Ctrl+N, L, O, C, D, K, Ctrl+Shift+K, F1, Ctrl+Q, Ctrl+plus, Ctrl+minus",
          got);
  }

  // The About box's template: style, place, size and its five controls.
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  check(found != nullptr, "dialog 2 is there");
  if (found != nullptr) {
    const auto* p = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    const auto* t = reinterpret_cast<const DLGTEMPLATE*>(p);
    char got[128];
    std::snprintf(got, sizeof got, "style %08lX at %d,%d size %dx%d items %d",
                  static_cast<unsigned long>(t->style), t->x, t->y, t->cx, t->cy, t->cdit);
    check(std::string(got) == "style 80400000 at 22,17 size 220x140 items 5",
          "About box: WS_POPUP|WS_DLGFRAME at 22,17, 220x140, five controls", got);
    // After the header: menu 0, class 0, an empty title, and no font.
    p = reinterpret_cast<const WORD*>(t + 1);
    check(p[0] == 0 && p[1] == 0 && p[2] == 0, "About box: no menu, class or title");
    p += 3;
    std::string items;
    for (int k = 0; k < t->cdit; ++k) {
      p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
      const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
      p = reinterpret_cast<const WORD*>(item + 1);
      std::string cls = p[0] == 0xFFFF ? (p[1] == 0x82   ? "static"
                                          : p[1] == 0x80 ? "button"
                                                         : "?")
                                       : from_wide(CP_ACP, reinterpret_cast<LPCWSTR>(p));
      CharLowerA(cls.data());
      p += p[0] == 0xFFFF ? 2 : 1 + lstrlenW(reinterpret_cast<LPCWSTR>(p));
      std::wstring title = p[0] == 0xFFFF ? L"#" : reinterpret_cast<LPCWSTR>(p);
      p += p[0] == 0xFFFF ? 2 : 1 + title.size();
      p += 1 + p[0] / 2;  // creation data
      std::snprintf(got, sizeof got, "%s \"%s\" %d %08lX %d,%d,%d,%d;", cls.c_str(),
                    from_wide(CP_ACP, title).c_str(), static_cast<short>(item->id),
                    static_cast<unsigned long>(item->style), item->x, item->y, item->cx, item->cy);
      items += got;
    }
    check(items ==
              "static \"Dodevuz\" -1 50000001 0,9,220,8;static \"\" 201 50000001 0,21,220,8;"
              "static \"\" 202 50000081 6,33,208,66;static \"Dodevuz is free software under "
              "the MIT licence\" -1 50000001 0,101,220,8;button \"Ok\" 1 50010001 94,117,32,14;",
          "About box controls (the credits' \"&\" no mnemonic: SS_NOPREFIX)", items);
  }

  // The manifest declares per-monitor DPI awareness.
  HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  std::string declared;
  if (manifest != nullptr) {
    declared.assign(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                    SizeofResource(module, manifest));
  }
  check(declared.find("<dpiAwareness") != std::string::npos &&
            declared.find("PerMonitorV2") != std::string::npos &&
            declared.find("true/pm") != std::string::npos,
        "the manifest declares per-monitor DPI awareness");
  // Nothing else: no icon.
  std::vector<ULONG_PTR> types;
  EnumResourceTypesA(module, collect_type, reinterpret_cast<LONG_PTR>(&types));
  std::string kinds;
  for (ULONG_PTR type : types) kinds += std::to_string(type) + " ";
  check(kinds == "4 5 6 9 24 ",
        "the resources are a menu, a dialog, a string table, accelerators and the manifest",
        kinds);
  FreeLibrary(module);
}

void check_start(const Program& program) {
  char cls[32] = {};
  GetClassNameA(program.main, cls, sizeof cls);
  check(std::strcmp(cls, "zoveze") == 0, "main window of class \"zoveze\"", cls);
  LONG style = GetWindowLongA(program.main, GWL_STYLE);
  check((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW, "main window is WS_OVERLAPPEDWINDOW");
  check(three_empty_panes(program), "three empty panes before the first command");
  RECT client;
  GetClientRect(program.main, &client);
  RECT status = status_rect(program);
  check(client.right == 650 && status.top == 404 && status.bottom == client.bottom,
        "the client area holds the panes' 650 x 404 and the status line below",
        std::to_string(client.right) + "x" + std::to_string(status.top));
  check(status_text(program).empty(), "the status line is empty at start");

  // "Clear All" before any Get: the reader's clipboard is kept, nothing else
  // happens.
  put_text("before");
  command(program, 110);
  std::string kept;
  check(clipboard_bytes(CF_TEXT, &kept) && kept == "before",
        "Clear All keeps a text the program did not copy", hex(kept));
  command(program, 110);
  check(clipboard_bytes(CF_TEXT, &kept) && kept == "before" && three_empty_panes(program),
        "a second Clear All as well");
  command(program, 999);
  check(IsWindow(program.main) && three_empty_panes(program), "an unknown command does nothing");
}

// Runs a Get with what is on the clipboard; returns the listing pane's text.
std::wstring get(const Program& program, int id, const char* how, const Samples& samples) {
  command(program, id);
  HWND listing = pane_at(program, kListingTop);
  HWND romaji = pane_at(program, 0);
  check(listing != nullptr && romaji != nullptr,
        std::string(how) + ": listing pane at y 192 and romaji pane at y 0");
  if (listing == nullptr || romaji == nullptr) return {};
  std::wstring wide = window_text(listing);
  std::string text = euc(wide);
  int words = 0;
  std::string passage = passage_of_listing(text, &words);
  check(passage == samples.euc_crlf,
        std::string(how) + ": the listing is the passage with entry lines", hex(passage));
  check(words >= 25, std::string(how) + ": its words carry their entry lines",
        std::to_string(words) + " words");
  std::string r = euc(window_text(romaji));
  bool kana_left = false;
  for (size_t i = 0; i + 1 < r.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(r[i]);
    if (c >= 0x80) {
      kana_left = kana_left || c == 0xA4;
      ++i;
    }
  }
  size_t listing_lines = 0, romaji_lines = 0;
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++listing_lines;
  for (size_t at = 0; (at = r.find("\r\n", at)) != std::string::npos; at += 2) ++romaji_lines;
  check(!kana_left && romaji_lines == listing_lines && r.find("jisho") != std::string::npos &&
            r.find(euc(L"\u8F9E\u66F8")) != std::string::npos,
        std::string(how) + ": the romaji pane spells the kana out, line for line");
  return wide;
}

void check_session(const std::string& exe, const std::string& folder, const Samples& samples) {
  Program program;
  check(start_program(exe, folder, folder + "\\stdout.txt", &program),
        "dodevuz.exe starts and shows its window");
  if (program.main == nullptr) {
    kill_program(&program);
    return;
  }
  check_start(program);

  // The four ways in: bytes placed as 8-bit text are taken as they are,
  // Unicode text is converted for the command.
  put_text(samples.sjis);
  std::wstring listing = get(program, 109, "SHIFT, Shift-JIS bytes", samples);
  put_text(samples.jis);
  check(get(program, 108, "JIS, JIS bytes", samples) == listing, "JIS bytes give the same listing");
  std::wstring unicode = to_wide(CP_UTF8, samples.utf8);
  put_unicode(unicode);
  std::vector<UINT> formats = clipboard_formats();
  check(!formats.empty() && formats[0] == CF_UNICODETEXT, "Unicode text placed is listed first");
  check(get(program, 109, "SHIFT, Unicode text", samples) == listing,
        "Unicode text gives the same listing (SHIFT)");
  put_unicode(unicode);
  check(get(program, 108, "JIS, Unicode text", samples) == listing,
        "Unicode text gives the same listing (JIS)");
  put_text(samples.sjis);
  formats = clipboard_formats();
  check(!formats.empty() && formats[0] == CF_TEXT, "8-bit text placed is listed first");

  // Single Dodevuz on a selected word.
  HWND listing_pane = pane_at(program, kListingTop);
  const std::wstring word = L"\u8F9E\u66F8";  // the word for "dictionary"
  size_t at = listing.find(word);
  select_range(listing_pane, at, at + word.size());
  command(program, 105);
  HWND single = pane_at(program, 294);
  check(single != nullptr, "Single Dodevuz makes the single pane at y 294");
  std::wstring single_wide = single ? window_text(single) : L"";
  // Whole entry lines, each once, ending in 0D 0A; the word's own first.
  std::string single_text = euc(single_wide);
  bool all_lines = !single_text.empty();
  bool has_word = single_text.rfind(euc(word) + " ", 0) == 0;
  std::set<std::string> listed;
  for (size_t from = 0, end; (end = single_text.find("\r\n", from)) != std::string::npos;
       from = end + 2) {
    const std::string line = single_text.substr(from, end - from);
    all_lines = all_lines && edict_lines.count(line) != 0 && listed.insert(line).second;
  }
  check(all_lines && has_word, "the single pane holds the word's entry lines, each once",
        hex(single_text));

  // Add to Word List, twice: one UTF-8 row for the word, with the sentence
  // around it and a date.
  DeleteFileA((folder + "\\wordlist.tsv").c_str());
  command(program, 113);
  command(program, 113);
  const std::string rows = read_file("wordlist.tsv");
  const std::string head = from_wide(CP_UTF8, word) + "\t";
  check(rows.rfind(head, 0) == 0 && rows.find('\n') == rows.size() - 1 &&
            std::count(rows.begin(), rows.end(), '\t') == 4,
        "Add to Word List appends one UTF-8 row of five fields for the word, once", rows);
  // Mark as Known, twice: the word's headword and reading, once.
  DeleteFileA((folder + "\\known.tsv").c_str());
  command(program, 118);
  command(program, 118);
  const std::string known = read_file("known.tsv");
  check(known.rfind(head, 0) == 0 && known.find('\n') == known.size() - 1 &&
            std::count(known.begin(), known.end(), '\t') == 1,
        "Mark as Known appends one row for the word, once", known);
  // It looked the word up again: the single pane is a new one with the same lines.
  single = pane_at(program, 294);
  check(single != nullptr && euc(window_text(single)) == single_text,
        "Add to Word List shows the word's entry lines in the single pane");
  std::vector<Pane> panes = panes_of(program);
  bool styles = panes.size() == 3;
  for (const Pane& pane : panes) {
    styles =
        styles && pane.rect.left == 10 && pane.rect.right - pane.rect.left == 630 &&
        pane.rect.bottom - pane.rect.top == (pane.rect.top == kListingTop ? 190 : 100) &&
        (pane.style & 0xFFFF) == 0x0944 &&
        (pane.style & (WS_CHILD | WS_VISIBLE | WS_VSCROLL)) == (WS_CHILD | WS_VISIBLE | WS_VSCROLL);
  }
  check(styles, "three panes, 630 wide, multi-line and read-only with a vertical scroll bar");
  // A key typed over the selected word changes nothing of the listing pane.
  const std::wstring listing_before = window_text(listing_pane);
  SendMessageW(listing_pane, WM_CHAR, L'x', 0);
  check(window_text(listing_pane) == listing_before,
        "typing into the listing pane changes nothing");

  // The panes follow the window: inside the client area above the status
  // line, margins kept, heights in the proportions 100 : 190 : 100.
  RECT start_size;
  GetWindowRect(program.main, &start_size);
  for (SIZE size : {SIZE{900, 700}, SIZE{1000, 400}, SIZE{500, 900}}) {
    SetWindowPos(program.main, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(program.main, &client);
    RECT status = status_rect(program);
    std::vector<Pane> after = panes_top_down(program);
    std::string at = std::to_string(size.cx) + "x" + std::to_string(size.cy);
    bool inside = after.size() == 3 && status.bottom == client.bottom &&
                  status.right == client.right && after[2].rect.bottom == status.top - 10;
    for (size_t k = 0; inside && k < after.size(); ++k) {
      const RECT& r = after[k].rect;
      inside = r.left == 10 && r.right == client.right - 10 && r.top >= 0 &&
               (k == 0 || r.top == after[k - 1].rect.bottom + 2);
    }
    check(inside, "at " + at + " the panes fill the client area above the status line");
    if (!inside) continue;
    int h0 = after[0].rect.bottom - after[0].rect.top;
    int h1 = after[1].rect.bottom - after[1].rect.top;
    int h2 = after[2].rect.bottom - after[2].rect.top;
    check(std::abs(10 * h1 - 19 * h0) <= 20 && std::abs(h0 - h2) <= 2,
          "at " + at + " the panes keep their proportions",
          std::to_string(h0) + " " + std::to_string(h1) + " " + std::to_string(h2));
  }
  // Not smaller than a line of every pane.
  SetWindowPos(program.main, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  {
    std::vector<Pane> small = panes_top_down(program);
    HDC dc = GetDC(small.empty() ? nullptr : small[0].window);
    HGDIOBJ old = SelectObject(
        dc, reinterpret_cast<HGDIOBJ>(SendMessageW(small[0].window, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(small[0].window, dc);
    bool lines = small.size() == 3;
    for (const Pane& pane : small) lines = lines && pane.rect.bottom - pane.rect.top >= tm.tmHeight;
    check(lines, "the smallest window still shows a line of each pane",
          std::to_string(small.size() == 3 ? small[1].rect.bottom - small[1].rect.top : 0) + " < " +
              std::to_string(tm.tmHeight));
  }
  SetWindowPos(program.main, nullptr, 0, 0, start_size.right - start_size.left,
               start_size.bottom - start_size.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  std::vector<Pane> back = panes_top_down(program);
  check(back.size() == 3 && back[0].rect.bottom == 100 && back[1].rect.top == kListingTop &&
            back[2].rect.top == 294 && back[2].rect.bottom == 394,
        "back at the start-up size the panes are where they started");

  // Ordinary keys on the main window do nothing.
  SendMessageA(program.main, WM_KEYDOWN, VK_DELETE, 0x00530001);
  SendMessageA(program.main, WM_KEYDOWN, 'A', 0x001E0001);
  check(euc(window_text(single)) == single_text && panes_of(program).size() == 3,
        "key presses on the main window leave the panes as they are");

  // A Get replaces the listing and romaji panes and leaves the single pane.
  HWND old_listing = listing_pane;
  put_text(samples.sjis);
  command(program, 109);
  listing_pane = pane_at(program, kListingTop);
  check(listing_pane != nullptr && listing_pane != old_listing && pane_at(program, 294) == single,
        "a Get remakes the listing pane and keeps the single pane");

  // Copy: the selection of the focused pane, as EUC-JP bytes and as Unicode.
  click(listing_pane);
  check(focus_of(program) == listing_pane, "a click gives the listing pane the focus");
  size_t line_end = listing.find(L"\r\n", at);
  size_t start = at, end = line_end + 3;  // across the line end
  select_range(listing_pane, start, end);
  command(program, 106);
  std::string bytes;
  clipboard_bytes(CF_TEXT, &bytes);
  std::string want = euc(listing.substr(start, end - start));
  check(bytes == want && bytes.find("\r\n") != std::string::npos,
        "Copy in the listing pane: its bytes, 0D 0A included", hex(bytes));
  check(clipboard_unicode() == listing.substr(start, end - start),
        "Copy puts the same text as Unicode");
  formats = clipboard_formats();
  check(!formats.empty() && formats[0] == CF_TEXT, "Copy places the 8-bit text first");

  click(single);
  select_range(single, 0, static_cast<size_t>(-1));
  command(program, 106);
  clipboard_bytes(CF_TEXT, &bytes);
  check(bytes == single_text, "Copy in the single pane: its entry lines, 0D 0A included",
        hex(bytes));
  check(clipboard_unicode() == from_euc(single_text), "and as Unicode");

  HWND romaji = pane_at(program, 0);
  std::wstring romaji_wide = window_text(romaji);
  click(romaji);
  select_range(romaji, 3, 40);
  command(program, 106);
  clipboard_bytes(CF_TEXT, &bytes);
  check(bytes == euc(romaji_wide.substr(3, 37)), "Copy in the romaji pane", hex(bytes));

  focus(program, program.main);
  check(focus_of(program) == program.main, "the main window takes the focus");
  select_range(romaji, 0, 12);
  command(program, 106);
  clipboard_bytes(CF_TEXT, &bytes);
  check(bytes == euc(romaji_wide.substr(0, 12)),
        "Copy from the main window takes the romaji pane's selection", hex(bytes));
  select_range(romaji, 5, 5);
  put_unicode(L"the reader's note");
  command(program, 106);
  check(clipboard_unicode() == L"the reader's note",
        "Copy of an empty selection leaves the clipboard as it is");

  // Clear All: the program's own Copy goes, and no panes stay; Single then
  // looks up nothing.
  select_range(romaji, 0, 12);
  command(program, 106);
  command(program, 110);
  check(clipboard_formats().empty(), "Clear All empties the clipboard of the program's Copy");
  check(three_empty_panes(program), "Clear All leaves three empty panes");
  command(program, 105);
  single = pane_at(program, 294);
  check(single != nullptr && window_text(single).empty(),
        "Single after Clear All shows an empty pane");

  // The About box: Esc leaves it open, Enter closes it.
  PostMessageA(program.main, WM_COMMAND, 102, 0);
  HWND about = nullptr;
  for (DWORD waited = 0; about == nullptr && waited < kWaitMs; waited += 20) {
    idle(20);
    EnumThreadWindows(program.thread, find_dialog, reinterpret_cast<LPARAM>(&about));
  }
  check(about != nullptr, "About opens a dialog box");
  if (about != nullptr) {
    char text[32] = {};
    GetWindowTextA(about, text, sizeof text);
    check(text[0] == 0 && !IsWindowEnabled(program.main),
          "the About box has no title and is modal");
    HWND ok = GetDlgItem(about, IDOK);
    check(ok != nullptr && focus_of(program) == ok, "the Ok button has the focus");
    wchar_t version[64] = {}, credit[512] = {};
    GetDlgItemTextW(about, 201, version, 64);
    GetDlgItemTextW(about, 202, credit, 512);
    check(std::wstring(version).rfind(L"Version ", 0) == 0 && version[8] != 0,
          "the About box shows the version", from_wide(CP_UTF8, version));
    check(std::wstring(credit) ==
              L"edict: Dodevuz sample dictionary, written for the project's tests and "
              L"demonstration",
          "and the credit of the dictionary, its first line", from_wide(CP_UTF8, credit));
    PostMessageA(ok, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(ok, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    for (DWORD waited = 0; IsWindow(about) && waited < kWaitMs; waited += 20) idle(20);
    check(!IsWindow(about) && IsWindowEnabled(program.main), "Esc closes the About box");
  }
  // Once more, closed by Enter.
  PostMessageA(program.main, WM_COMMAND, 102, 0);
  about = nullptr;
  for (DWORD waited = 0; about == nullptr && waited < kWaitMs; waited += 20) {
    idle(20);
    EnumThreadWindows(program.thread, find_dialog, reinterpret_cast<LPARAM>(&about));
  }
  if (about != nullptr) {
    HWND ok = GetDlgItem(about, IDOK);
    PostMessageA(ok, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(ok, WM_KEYUP, VK_RETURN, 0xC01C0001);
    for (DWORD waited = 0; IsWindow(about) && waited < kWaitMs; waited += 20) idle(20);
  }
  check(about != nullptr && !IsWindow(about) && IsWindowEnabled(program.main), "Enter closes it");

  // Exit after a Copy: the clipboard is left empty, and the status is 0.
  put_text(samples.sjis);
  command(program, 109);
  select_range(pane_at(program, 0), 0, 10);
  command(program, 106);
  check(!clipboard_formats().empty(), "the copied text is on the clipboard");
  PostMessageA(program.main, WM_COMMAND, 101, 0);
  int status = wait_exit(&program);
  check(status == 0, "Exit ends the program with status 0", std::to_string(status));
  check(clipboard_formats().empty(), "Exit leaves the clipboard empty");
}

// Where a pane shows the character at index: x and y in pixels.
POINT char_at(HWND pane, size_t index) {
  LRESULT r = SendMessageW(pane, EM_POSFROMCHAR, index, 0);
  return POINT{static_cast<short>(LOWORD(r)), static_cast<short>(HIWORD(r))};
}

// The pixel height of a pane's lines: from its first line to its second.
int line_height_of(HWND pane) {
  LRESULT second = SendMessageW(pane, EM_LINEINDEX, 1, 0);
  if (second <= 0) return 0;
  return char_at(pane, static_cast<size_t>(second)).y - char_at(pane, 0).y;
}

// The desktop's own features on a fresh program: the status line, the
// font and its size, the keyboard, and watching the clipboard.
void check_desktop(const std::string& exe, const std::string& folder, const Samples& samples) {
  Program program;
  check(start_program(exe, folder, folder + "\\stdout.txt", &program),
        "dodevuz.exe starts for the desktop checks");
  if (program.main == nullptr) {
    kill_program(&program);
    return;
  }

  // The status line after each kind of Get; never a message box.
  put_text(samples.sjis);
  command(program, 109);
  std::string status = status_text(program);
  std::smatch m;
  check(std::regex_match(
            status, m,
            std::regex("Listed [1-9][0-9]* words from ([0-9,]+) of ([0-9,]+) characters")) &&
            m[1] == m[2],
        "a Get says how many words it listed from how many characters", status);
  if (open_clipboard()) {
    EmptyClipboard();
    CloseClipboard();
  }
  command(program, 108);
  check(status_text(program) == "The clipboard holds no text", "an empty clipboard says so",
        status_text(program));
  put_unicode(L"Only English here.");
  command(program, 109);
  check(status_text(program) == "No Japanese text on the clipboard",
        "a clipboard without Japanese says so", status_text(program));
  HWND box = nullptr;
  EnumThreadWindows(program.thread, find_dialog, reinterpret_cast<LPARAM>(&box));
  check(box == nullptr, "no message box for any of these");

  // A fixed-pitch Japanese font, larger and smaller for the session. The
  // listing begins 日本語, 8 blanks and the entry line "日本語 [": every
  // blank as wide as the next, each kanji as wide as two.
  put_text(samples.sjis);
  command(program, 109);
  HWND listing_pane = pane_at(program, kListingTop);
  int blank = char_at(listing_pane, 4).x - char_at(listing_pane, 3).x;
  int kanji = char_at(listing_pane, 3).x - char_at(listing_pane, 0).x;
  int gap = char_at(listing_pane, 11).x - char_at(listing_pane, 3).x;
  check(blank > 0 && gap == 8 * blank && std::abs(kanji - 6 * blank) <= 1,
        "the panes have a fixed-pitch Japanese font",
        std::to_string(blank) + " " + std::to_string(gap) + " " + std::to_string(kanji));
  int height = line_height_of(listing_pane);
  check(height >= 14, "readable at any code page", std::to_string(height) + " pixels a line");
  command(program, 115);
  command(program, 115);
  int larger = line_height_of(pane_at(program, kListingTop));
  check(larger > height && status_text(program) == "Text size 12 points",
        "Larger Text makes it larger", std::to_string(larger) + " " + status_text(program));
  put_text(samples.sjis);
  command(program, 109);
  check(line_height_of(pane_at(program, kListingTop)) == larger &&
            line_height_of(pane_at(program, 0)) == larger,
        "and the panes of the next Get keep the size");
  command(program, 116);
  check(line_height_of(pane_at(program, kListingTop)) < larger, "Smaller Text makes it smaller");

  // The keyboard, as a reader types: shortcuts, mnemonics, F10 and Tab.
  bring_to_front(program);
  HWND romaji = pane_at(program, 0);
  focus(program, romaji);
  put_unicode(L"\u5148\u751F");  // 先生
  type_keys({VK_CONTROL, VK_SHIFT}, 'V');
  check(listing_begins(program, L"\u5148\u751F"), "Ctrl+Shift+V runs Get Dodevuz SHIFT");
  HWND listing = pane_at(program, kListingTop);
  focus(program, listing);
  select_range(listing, 0, 2);
  type_keys({VK_CONTROL}, 'L');
  HWND single = pane_at(program, 294);
  check(single != nullptr && window_text(single).rfind(L"\u5148\u751F [", 0) == 0,
        "Ctrl+L runs Single Dodevuz on the selection", from_wide(CP_UTF8, window_text(single)));
  focus(program, pane_at(program, kListingTop));
  select_range(pane_at(program, kListingTop), 0, 2);
  type_keys({VK_CONTROL}, 'C');
  std::string bytes;
  clipboard_bytes(CF_TEXT, &bytes);
  check(bytes == euc(L"\u5148\u751F"), "Ctrl+C in a pane is the program's Copy", hex(bytes));
  put_text(samples.jis);
  type_keys({VK_CONTROL, VK_SHIFT}, 'J');
  check(listing_begins(program, L"\u65E5\u672C\u8A9E"), "Ctrl+Shift+J runs Get Dodevuz JIS");

  // Alt+F opens the File menu, S picks "Get Dodevuz SHIFT".
  put_unicode(L"\u5B66\u751F");  // 学生
  focus(program, pane_at(program, kListingTop));
  type_keys({VK_MENU}, 'F');
  check(eventually([&] { return in_menu(program); }), "Alt+F opens the File menu");
  type_keys({}, 'S');
  check(listing_begins(program, L"\u5B66\u751F"), "and its mnemonic S runs Get Dodevuz SHIFT");
  focus(program, pane_at(program, 0));
  type_keys({}, VK_F10);
  check(eventually([&] { return in_menu(program); }), "F10 reaches the menu");
  type_keys({}, VK_ESCAPE);
  type_keys({}, VK_ESCAPE);
  check(eventually([&] { return !in_menu(program); }), "Esc leaves it");

  focus(program, pane_at(program, 0));
  type_keys({}, VK_TAB);
  check(eventually([&] { return focus_of(program) == pane_at(program, kListingTop); }),
        "Tab goes from the romaji to the listing pane");
  type_keys({}, VK_TAB);
  check(eventually([&] { return focus_of(program) == pane_at(program, 294); }),
        "then to the single pane");
  type_keys({VK_SHIFT}, VK_TAB);
  check(eventually([&] { return focus_of(program) == pane_at(program, kListingTop); }),
        "Shift+Tab goes back");
  check(window_text(pane_at(program, kListingTop)).find(L'\t') == std::wstring::npos,
        "and types no tab into a pane");

  // Watching the clipboard: each new text is looked up once, a burst once.
  command(program, 112);
  check(status_text(program) == "Watching the clipboard", "and the status line says so",
        status_text(program));
  // Counts the Gets by the listing panes made while it waits.
  HWND seen = pane_at(program, kListingTop);
  int gets = 0;
  auto watch_for = [&](DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 5) {
      HWND now = pane_at(program, kListingTop);
      if (now != nullptr && now != seen) {
        ++gets;
        seen = now;
      }
      idle(5);
    }
  };
  // Back to back, as a text hooker places line after line.
  put_unicode(L"\u65E5\u672C\u306E\u5B66\u751F");  // 日本の学生
  put_unicode(L"\u6771\u4EAC");                    // 東京
  put_text(samples.sjis);                          // 8-bit Shift-JIS, as an older program places it
  watch_for(1500);
  check(gets == 1 && listing_begins(program, L"\u65E5\u672C\u8A9E", 0),
        "three quick changes give one Get, of the last", std::to_string(gets) + " Gets");
  put_text(samples.jis);  // 8-bit JIS: its escape sequences tell it apart
  watch_for(1500);
  check(gets == 2 && listing_begins(program, L"\u65E5\u672C\u8A9E", 0),
        "8-bit JIS text is looked up as JIS", std::to_string(gets) + " Gets");
  put_unicode(L"\u8F9E\u66F8");  // 辞書
  watch_for(1500);
  check(gets == 3 && listing_begins(program, L"\u8F9E\u66F8", 0), "the next line its own Get",
        std::to_string(gets) + " Gets");
  focus(program, pane_at(program, kListingTop));
  select_range(pane_at(program, kListingTop), 0, 2);
  command(program, 106);
  watch_for(800);
  check(gets == 3, "the program's own Copy is let be", std::to_string(gets) + " Gets");
  put_unicode(L"Only English here.");
  watch_for(800);
  if (open_clipboard()) {
    EmptyClipboard();
    CloseClipboard();
  }
  watch_for(800);
  check(gets == 3 && listing_begins(program, L"\u8F9E\u66F8", 0),
        "English text and an empty clipboard are let be", std::to_string(gets) + " Gets");
  check(status_text(program) == "Nothing to list: the clipboard holds no text",
        "a watched clipboard without text never empties the panes, and says so",
        status_text(program));
  command(program, 112);
  put_unicode(L"\u5148\u751F");
  watch_for(800);
  check(gets == 3 && status_text(program) == "Stopped watching the clipboard",
        "watching off: the clipboard is let be", std::to_string(gets) + " Gets");

  PostMessageA(program.main, WM_CLOSE, 0, 0);
  if (wait_exit(&program) != 0) kill_program(&program);
}

// Starts dodevuz.exe, lists the Shift-JIS passage and copies the listing's
// first three bytes with the program's Copy; false when it did not start.
bool start_get_and_copy(const std::string& exe, const std::string& folder, const Samples& samples,
                        Program* program) {
  check(start_program(exe, folder, folder + "\\stdout.txt", program), "dodevuz.exe starts again");
  if (program->main == nullptr) {
    kill_program(program);
    return false;
  }
  put_text(samples.sjis);
  command(*program, 109);
  HWND listing = pane_at(*program, kListingTop);
  focus(*program, listing);
  select_range(listing, 0, 3);
  command(*program, 106);
  return true;
}

// Closing the window from its title bar (WM_CLOSE) skips the clean-up: the
// copied text stays on the clipboard.
void check_close_box(const std::string& exe, const std::string& folder, const Samples& samples) {
  Program program;
  if (!start_get_and_copy(exe, folder, samples, &program)) return;
  PostMessageA(program.main, WM_CLOSE, 0, 0);
  int status = wait_exit(&program);
  std::string bytes;
  check(status == 0 && clipboard_bytes(CF_TEXT, &bytes) && bytes == euc(L"\u65E5\u672C\u8A9E"),
        "closing the window keeps the copied text on the clipboard", hex(bytes));
  if (status != 0) kill_program(&program);
}

// "Dictionary forms": off at start; on, it lists the passage in hand again
// with conjugated words by their dictionary form; off, the classic listing
// comes back as it was. (The check mark itself is the Qt test's: another
// process's menu state does not read back under Wine.)
void check_dictionary_forms(const std::string& exe, const std::string& folder,
                            const Samples& samples) {
  Program program;
  check(start_program(exe, folder, folder + "\\stdout.txt", &program),
        "dodevuz.exe starts for the dictionary forms");
  if (program.main == nullptr) {
    kill_program(&program);
    return;
  }
  // Off at start: the first Get gives the classic listing.
  put_text(samples.sjis);
  command(program, 109);
  const std::string classic = euc(window_text(pane_at(program, kListingTop)));
  // 読みます (polite of 読む) in the sample passage.
  const std::string polite = euc(L"\u8AAD\u307F\u307E\u3059        (polite of \u8AAD\u3080) ");
  check(classic.find(polite) == std::string::npos && classic.find("(polite") == std::string::npos,
        "Dictionary forms is off at start");
  command(program, 114);
  const std::string forms = euc(window_text(pane_at(program, kListingTop)));
  check(forms.find(polite) != std::string::npos &&
            status_text(program).rfind("Dictionary forms: ", 0) == 0,
        "Dictionary forms on lists yomimasu by the entry of yomu", hex(forms, 120));
  command(program, 114);
  check(euc(window_text(pane_at(program, kListingTop))) == classic &&
            status_text(program).rfind("Dictionary forms off", 0) == 0,
        "Dictionary forms off gives the classic listing back", status_text(program));
  command(program, 101);
  if (wait_exit(&program) != 0) kill_program(&program);
}

// The ends of the concatenation of pages that match the start of want, each
// page without its notice: a notice line may have a line end of its own
// before it (when the listing's last item did not end a line), so a page
// that ends in one may or may not take it from want.
std::set<size_t> pages_follow(const std::wstring& want, const std::set<size_t>& from,
                              const std::wstring& page) {
  std::set<size_t> ends;
  for (size_t at : from) {
    if (want.compare(at, page.size(), page) == 0) ends.insert(at + page.size());
    if (page.size() >= 2 && page.compare(page.size() - 2, 2, L"\r\n") == 0 &&
        want.compare(at, page.size() - 2, page, 0, page.size() - 2) == 0) {
      ends.insert(at + page.size() - 2);
    }
  }
  return ends;
}

// The notice that ends a full listing: its line, or empty when the text has none.
std::wstring notice_of(const std::wstring& text) {
  size_t at = text.rfind(L"-- listing full: ");
  if (at == std::wstring::npos || text.find(L"\r\n", at) != text.size() - 2) return {};
  return text.substr(at);
}

// A status line text that no command writes.
constexpr wchar_t kMark[] = L"(the driver's mark)";
constexpr char kMarkUtf8[] = "(the driver's mark)";

// "Get Dodevuz NEXT" through a passage of nearly a kanji buffer (the sample
// passage over and over, long.sjis), which the sample dictionary lists in
// more than three listings: page after page until a listing ends without
// the notice, the pages' listings and romaji texts, less their notices,
// must be what one `dodevuz get --all` of the same bytes prints (run.sh
// made long.listing and long.romaji with the native program), every byte of
// the passage listed once. NEXT is greyed at the end and after Clear All:
// its shortcut then sends no command (the menu state of another process
// does not read back under Wine, but the shortcut of a greyed item is
// refused by the system).
void check_next_paging(const std::string& exe, const std::string& folder, const Samples& samples) {
  const std::string passage = read_file("long.sjis");
  const std::wstring want_listing = from_euc(read_file("long.listing"));
  const std::wstring want_romaji = from_euc(read_file("long.romaji"));
  check(!passage.empty() && !want_listing.empty() && !want_romaji.empty(),
        "run.sh made the long passage and its listing by get --all");
  if (passage.empty() || want_listing.empty() || want_romaji.empty()) return;
  Program program;
  check(start_program(exe, folder, folder + "\\stdout.txt", &program),
        "dodevuz.exe starts for NEXT");
  if (program.main == nullptr) {
    kill_program(&program);
    return;
  }
  put_text(passage);
  command(program, 109);
  const std::wstring first_page = window_text(pane_at(program, kListingTop));

  std::set<size_t> listing_ends = {0}, romaji_ends = {0};
  std::wstring listing;  // the pages' listings without their notices
  std::string notices, bad_notice;
  long listed = 0, passage_length = -1;
  int pages = 0;
  bool shortcut_pages = false;
  for (;;) {
    HWND listing_pane = pane_at(program, kListingTop);
    HWND romaji_pane = pane_at(program, 0);
    if (listing_pane == nullptr || romaji_pane == nullptr) break;
    const std::wstring l = window_text(listing_pane);
    const std::wstring r = window_text(romaji_pane);
    const std::wstring notice = notice_of(l);
    ++pages;
    // "-- listing full: 5,262 of 39,249 bytes listed; Get Dodevuz NEXT goes on --"
    std::smatch m;
    const std::string line = from_wide(CP_UTF8, notice);
    if (!notice.empty()) {
      notices += line;
      long stop = -1, length = -1;
      if (std::regex_match(line, m,
                           std::regex("-- listing full: ([0-9,]+) of ([0-9,]+) bytes listed; "
                                      "Get Dodevuz NEXT goes on --\r\n"))) {
        stop = std::stol(replace_all(m[1].str(), ",", ""));
        length = std::stol(replace_all(m[2].str(), ",", ""));
      }
      if (stop <= listed || (passage_length >= 0 && length != passage_length) || length <= stop ||
          notice_of(r) != notice) {
        bad_notice += line;
      }
      listed = stop;
      passage_length = length;
    }
    const std::wstring page = l.substr(0, l.size() - notice.size());
    listing += page;
    listing_ends = pages_follow(want_listing, listing_ends, page);
    romaji_ends = pages_follow(want_romaji, romaji_ends, r.substr(0, r.size() - notice.size()));
    if (notice.empty() || pages > 40) break;
    if (pages == 1) {
      // The second page by the shortcut, Ctrl+N, as the reader goes on; the
      // status line is the last thing a command writes.
      bring_to_front(program);
      focus(program, program.main);
      SetWindowTextW(status_line(program), kMark);
      type_keys({VK_CONTROL}, 'N');
      shortcut_pages = eventually([&] { return status_text(program) != kMarkUtf8; }) &&
                       window_text(pane_at(program, kListingTop)) != first_page;
      if (!shortcut_pages) command(program, 111);
    } else {
      command(program, 111);
    }
  }
  check(shortcut_pages, "Ctrl+N goes on to the second page");
  check(pages >= 3, "the long passage takes three listings or more", std::to_string(pages));
  check(bad_notice.empty() && passage_length > 0,
        "each full page ends both panes with the notice of how far it got", bad_notice);
  check(listing_ends.count(want_listing.size()) != 0,
        "the pages' listings together are get --all's listing",
        std::to_string(listing.size()) + " of " + std::to_string(want_listing.size()) + "; " +
            notices);
  check(romaji_ends.count(want_romaji.size()) != 0,
        "the pages' romaji texts together are get --all's romaji");
  // Each byte once: the pages less their entry lines are the passage.
  std::string whole;
  for (size_t k = 0; k * samples.sjis.size() < passage.size(); ++k) whole += samples.euc_crlf;
  int words = 0;
  check(passage_of_listing(euc(listing), &words) == whole,
        "the pages list each byte of the passage once", std::to_string(words) + " words");

  // At the end NEXT is greyed: its shortcut sends nothing (the status line
  // would say what a command did), and the command itself lists nothing.
  HWND last = pane_at(program, kListingTop);
  const std::wstring last_text = window_text(last);
  bring_to_front(program);
  focus(program, program.main);
  SetWindowTextW(status_line(program), kMark);
  type_keys({VK_CONTROL}, 'N');
  idle(300);
  check(status_text(program) == "Nothing more to list" && pane_at(program, kListingTop) == last,
        "at the end NEXT is greyed: Ctrl+N lists nothing and says why", status_text(program));
  command(program, 111);
  check(pane_at(program, kListingTop) == last && window_text(last) == last_text,
        "NEXT at the end leaves the last page as it is");

  // A Get renews the passage; Clear All forgets it, and NEXT is greyed again.
  put_text(passage);
  command(program, 109);
  check(window_text(pane_at(program, kListingTop)) == first_page, "a Get starts the passage afresh");
  command(program, 110);
  bring_to_front(program);
  focus(program, program.main);
  SetWindowTextW(status_line(program), kMark);
  type_keys({VK_CONTROL}, 'N');
  idle(300);
  check(status_text(program) == "Nothing more to list" && three_empty_panes(program),
        "after Clear All NEXT is greyed: Ctrl+N lists nothing and says why",
        status_text(program));
  command(program, 111);
  check(three_empty_panes(program), "and NEXT after Clear All lists nothing");
  command(program, 101);
  if (wait_exit(&program) != 0) kill_program(&program);
}

// Exit keeps a text that another program copied after the program's Copy.
void check_exit_keeps_the_readers_clipboard(const std::string& exe, const std::string& folder,
                                            const Samples& samples) {
  Program program;
  if (!start_get_and_copy(exe, folder, samples, &program)) return;
  put_unicode(L"copied elsewhere");
  PostMessageA(program.main, WM_COMMAND, 101, 0);
  int status = wait_exit(&program);
  check(status == 0 && clipboard_unicode() == L"copied elsewhere",
        "Exit keeps a text copied in another program since");
  if (status != 0) kill_program(&program);
}

void check_missing_table(const std::string& exe, const std::string& folder,
                         const Samples& samples) {
  std::string empty = folder + "\\no-table";
  CreateDirectoryA(empty.c_str(), nullptr);
  CopyFileA((folder + "\\edict").c_str(), (empty + "\\edict").c_str(), FALSE);
  CopyFileA((folder + "\\edict.jdx").c_str(), (empty + "\\edict.jdx").c_str(), FALSE);
  DeleteFileA((empty + "\\kanarom.cnv").c_str());
  Program program;
  std::string out_file = empty + "\\stdout.txt";
  check(start_program(exe, empty, out_file, &program), "dodevuz.exe starts without kanarom.cnv");
  if (program.main == nullptr) {
    kill_program(&program);
    return;
  }
  put_text(samples.sjis);
  PostMessageA(program.main, WM_COMMAND, 109, 0);
  int status = wait_exit(&program);
  check(status == 1, "a Get without kanarom.cnv ends the program with status 1",
        std::to_string(status));
  std::string out = read_file(out_file);
  check(out.find("Unable to open: ") != std::string::npos, "and says so on standard output", out);
  if (status != 1) kill_program(&program);
}

// Leaves the program running after a Get of the Shift-JIS passage and a
// "Single Dodevuz" on its first word, for a screenshot; prints the window's place.
int show(const std::string& exe, const std::string& folder, const Samples& samples, int width,
         int height, const std::wstring& word) {
  Program program;
  if (!start_program(exe, folder, folder + "\\stdout.txt", &program)) return 1;
  if (width > 0 && height > 0) {
    SetWindowPos(program.main, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  put_text(samples.sjis);
  command(program, 109);
  std::vector<Pane> panes = panes_top_down(program);  // romaji, listing, single
  if (panes.size() != 3) return 1;
  HWND listing = panes[1].window;
  std::wstring text = window_text(listing);
  size_t at = text.find(word);
  if (at == std::wstring::npos) return 1;
  select_range(listing, at, at + word.size());
  command(program, 105);
  RECT r;
  GetWindowRect(program.main, &r);
  std::printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  return 0;
}

}  // namespace

// The client area's size.
SIZE client_size(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

// Lines of text the listing pane shows at once.
int listing_lines(const Program& program) {
  std::vector<Pane> panes = panes_top_down(program);
  if (panes.size() < 2) return 0;
  HWND listing = panes[1].window;
  RECT r = {};
  SendMessageW(listing, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  int line = line_height_of(listing);
  return line > 0 ? (r.bottom - r.top) / line : 0;
}

bool close_and_wait(Program* program) {
  PostMessageA(program->main, WM_CLOSE, 0, 0);
  int status = wait_exit(program);
  if (status != 0) kill_program(program);
  return status == 0;
}

// Settings kept between runs in the INI file under APPDATA; a damaged file
// gives the defaults; Reset Settings brings them back at once.
void check_settings(const std::string& exe, const std::string& folder, const Samples& samples) {
  Program program;
  if (!start_program(exe, folder, folder + "\\stdout.txt", &program)) {
    check(false, "dodevuz.exe starts for the settings checks");
    kill_program(&program);
    return;
  }
  const SIZE start = client_size(program.main);
  put_text(samples.sjis);
  command(program, 109);
  const int height = line_height_of(pane_at(program, kListingTop));
  command(program, 115);
  command(program, 115);
  command(program, 114);  // Dictionary forms on
  SetWindowPos(program.main, nullptr, 40, 30, 900, 650, SWP_NOZORDER);
  idle(200);
  RECT placed = {};
  GetWindowRect(program.main, &placed);
  check(close_and_wait(&program), "the window closes");
  const std::string kept = read_file(settings_file(folder));
  check(kept.find("TextSize=12\n") != std::string::npos &&
            kept.find("DictionaryForms=1\n") != std::string::npos &&
            kept.find("Width=900\n") != std::string::npos,
        "closing keeps the settings in %APPDATA%\\Dodevuz\\settings.ini", kept);

  check(start_program(exe, folder, folder + "\\stdout.txt", &program, true),
        "dodevuz.exe starts with the settings kept");
  if (program.main == nullptr) return kill_program(&program);
  RECT again = {};
  GetWindowRect(program.main, &again);
  check(again.right - again.left == placed.right - placed.left &&
            again.bottom - again.top == placed.bottom - placed.top && again.left == placed.left,
        "the window reopens where and as large as it was closed",
        std::to_string(again.left) + "," + std::to_string(again.top) + " " +
            std::to_string(again.right - again.left) + "x" + std::to_string(again.bottom - again.top));
  put_text(samples.sjis);
  command(program, 109);
  check(line_height_of(pane_at(program, 0)) > height, "with the text size it had");
  check(status_text(program).rfind("Listed ", 0) == 0, "a Get works as ever", status_text(program));
  command(program, 114);
  check(status_text(program).rfind("Dictionary forms off", 0) == 0,
        "and Dictionary forms on (the item turns it off)", status_text(program));
  command(program, 114);
  command(program, 120);
  check(status_text(program) == "Settings reset to the defaults", "Reset Settings says so",
        status_text(program));
  const SIZE reset = client_size(program.main);
  check(reset.cx == start.cx && reset.cy == start.cy &&
            line_height_of(pane_at(program, 0)) == height,
        "Reset Settings gives the start-up size and text size back",
        std::to_string(reset.cx) + "x" + std::to_string(reset.cy));
  command(program, 114);
  check(status_text(program).rfind("Dictionary forms: ", 0) == 0,
        "and Dictionary forms off (the item turns it on)", status_text(program));
  command(program, 114);
  check(GetFileAttributesA(settings_file(folder).c_str()) == INVALID_FILE_ATTRIBUTES,
        "and removes the settings file");
  kill_program(&program);

  // A damaged file: the defaults, never a failure.
  for (const std::string& damage :
       {std::string("\xFF\xFE\x00garbage[[[\n=\n", 14),
        std::string("[Dodevuz]\nTextSize=999\nWidth=-3\nSplit=0,x\nDictionaryForms=7\n")}) {
    CreateDirectoryA((folder + "\\appdata").c_str(), nullptr);
    CreateDirectoryA((folder + "\\appdata\\Dodevuz").c_str(), nullptr);
    if (FILE* f = std::fopen(settings_file(folder).c_str(), "wb")) {
      std::fwrite(damage.data(), 1, damage.size(), f);
      std::fclose(f);
    }
    check(start_program(exe, folder, folder + "\\stdout.txt", &program, true),
          "dodevuz.exe starts with a damaged settings file");
    if (program.main == nullptr) return kill_program(&program);
    const SIZE size = client_size(program.main);
    put_text(samples.sjis);
    command(program, 109);
    command(program, 114);
    check(size.cx == start.cx && size.cy == start.cy &&
              line_height_of(pane_at(program, 0)) == height &&
              status_text(program).rfind("Dictionary forms: ", 0) == 0,
          "a damaged settings file gives the defaults",
          std::to_string(size.cx) + "x" + std::to_string(size.cy) + " " + status_text(program));
    kill_program(&program);
  }
  DeleteFileA(settings_file(folder).c_str());
}

// The DPI of the programs started from now on: the user's setting, and the
// copy Wine keeps of it for its fonts.
void set_dpi(DWORD dpi) {
  for (const char* path : {"Control Panel\\Desktop", "Software\\Wine\\Fonts"}) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (key == nullptr) continue;
    RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
    RegCloseKey(key);
  }
}

// At 192 DPI the window, its layout and its fonts are twice as large: the
// listing shows as many lines as at 96 DPI.
void check_dpi(const std::string& exe, const std::string& folder, const Samples& samples) {
  auto lines_at = [&](DWORD dpi, SIZE* client) {
    set_dpi(dpi);
    Program program;
    int lines = -1;
    if (start_program(exe, folder, folder + "\\stdout.txt", &program)) {
      put_text(samples.sjis);
      command(program, 109);
      lines = listing_lines(program);
      *client = client_size(program.main);
    }
    kill_program(&program);
    return lines;
  };
  SIZE at96 = {}, at192 = {};
  const int lines96 = lines_at(96, &at96);
  const int lines192 = lines_at(192, &at192);
  set_dpi(96);
  const std::string detail = std::to_string(lines96) + " lines at 96 DPI (" +
                             std::to_string(at96.cx) + " wide), " + std::to_string(lines192) +
                             " at 192 DPI (" + std::to_string(at192.cx) + " wide)";
  check(lines96 > 3 && std::abs(lines192 - lines96) <= 1 && at192.cx >= 2 * at96.cx - 4,
        "at 192 DPI the listing shows as many lines as at 96 DPI, within one", detail);
}

// File > Open... in the system's dialog, for a file in each encoding: the
// listing of a Get of the same text.
void check_open(const std::string& exe, const std::string& folder, const Samples& samples) {
  if (FILE* f = std::fopen((folder + "\\passage.euc").c_str(), "wb")) {
    const std::string bytes = euc(to_wide(CP_UTF8, samples.utf8));
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  Program program;
  if (!start_program(exe, folder, folder + "\\stdout.txt", &program)) {
    check(false, "dodevuz.exe starts for the Open checks");
    return kill_program(&program);
  }
  put_text(samples.sjis);
  command(program, 109);
  const std::wstring classic = window_text(pane_at(program, kListingTop));
  struct Case {
    const char* file;
    const char* encoding;
  };
  for (const Case& c : {Case{"passage.utf8.txt", "UTF-8"}, Case{"passage.sjis", "Shift-JIS"},
                        Case{"passage.euc", "EUC-JP"}, Case{"passage.jis", "JIS"}}) {
    command(program, 110);
    PostMessageA(program.main, WM_COMMAND, 119, 0);
    HWND dialog = nullptr;
    for (DWORD waited = 0; dialog == nullptr && waited < kWaitMs; waited += 20) {
      idle(20);
      EnumThreadWindows(program.thread, find_dialog, reinterpret_cast<LPARAM>(&dialog));
    }
    if (dialog == nullptr) {
      check(false, std::string("Open... shows the system's dialog for ") + c.file);
      continue;
    }
    idle(300);
    const std::string path = folder + "\\" + c.file;
    // The file name box of either style of the dialog.
    for (int id : {0x47C, 0x480}) SetDlgItemTextA(dialog, id, path.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    const bool listed = eventually(
        [&] { return window_text(pane_at(program, kListingTop)) == classic; }, 5000);
    check(listed && status_text(program).rfind(std::string(c.file) + " (" + c.encoding + "): Listed", 0) == 0,
          std::string("Open... lists ") + c.file + " as a Get lists its text",
          status_text(program));
  }
  kill_program(&program);
}

int main(int argc, char** argv) {
  // --show [WIDTH HEIGHT [WORD]]: the window at that size, Single on WORD
  // (UTF-8; the first word of the sample passage by default).
  bool show_only = argc > 1 && std::strcmp(argv[1], "--show") == 0;
  int show_width = show_only && argc > 3 ? std::atoi(argv[2]) : 0;
  int show_height = show_only && argc > 3 ? std::atoi(argv[3]) : 0;
  // The word as typed, whatever the code page: from the Unicode command line.
  std::wstring show_word = L"\u65E5\u672C\u8A9E";
  int wide_count = 0;
  LPWSTR* wide_args = CommandLineToArgvW(GetCommandLineW(), &wide_count);
  if (show_only && wide_args != nullptr && wide_count > 4) show_word = wide_args[4];
  LocalFree(wide_args);
  ULONGLONG started = GetTickCount64();
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof cwd, cwd);
  std::string folder = cwd;
  std::string exe = folder + "\\dodevuz.exe";
  std::printf("# folder %s, ANSI code page %u\n", cwd, GetACP());

  std::string error;
  // A picture of a dictionary that comes with its index needs no new one.
  if (!show_only || GetFileAttributesA("edict.jdx") == INVALID_FILE_ATTRIBUTES) {
    check(build_index("edict", "edict.jdx", &error, nullptr), "edict.jdx is built", error);
  }
  std::string dictionary = show_only ? std::string() : read_file("edict");
  for (size_t from = 0; from < dictionary.size();) {
    size_t end = dictionary.find('\n', from);
    if (end == std::string::npos) end = dictionary.size();
    edict_lines.insert(dictionary.substr(from, end - from));
    from = end + 1;
  }

  Samples samples;
  samples.sjis = read_file("passage.sjis");
  samples.jis = read_file("passage.jis");
  samples.utf8 = read_file("passage.utf8.txt");
  samples.euc_crlf = replace_all(euc(to_wide(CP_UTF8, samples.utf8)), "\n", "\r\n");
  check(!samples.sjis.empty() && (show_only || (!samples.jis.empty() && !samples.euc_crlf.empty())),
        "the sample passages are there");

  clipboard_owner = CreateWindowExA(0, "STATIC", "driver", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    nullptr, nullptr);
  // Every check but the DPI one runs at 96 DPI, whatever a stopped run left.
  set_dpi(96);
  if (show_only) return show(exe, folder, samples, show_width, show_height, show_word);
  check_platform(samples.utf8, samples.jis);
  check_resources(exe);
  check_session(exe, folder, samples);
  check_desktop(exe, folder, samples);
  check_close_box(exe, folder, samples);
  check_dictionary_forms(exe, folder, samples);
  check_next_paging(exe, folder, samples);
  check_exit_keeps_the_readers_clipboard(exe, folder, samples);
  check_missing_table(exe, folder, samples);
  check_settings(exe, folder, samples);
  check_dpi(exe, folder, samples);
  check_open(exe, folder, samples);

  std::printf("# %llu ms\n", static_cast<unsigned long long>(GetTickCount64() - started));
  std::printf("%d passed, %d failed\n", checks_passed, checks_failed);
  return checks_failed == 0 ? 0 : 1;
}
