// The desktop program: WinMain, the main window and its message loop, and
// the About box. The window procedure only hands each message to its
// handler; every menu command goes to dispatch_command or to the desktop
// programs' own commands (desktop.h), and the handlers do the window work
// around them: the panes' layout at the monitor's DPI, the status line, the
// clipboard watch, the text size, files opened and dropped, the settings
// file, the keyboard and the About box.
#include <windows.h>
// After windows.h, which they need.
#include <commdlg.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/data_folder.h"
#include "platform/win32.h"
#include "romaji/romaji.h"
#include "shell/desktop.h"
#include "shell/kanji_details.h"
#include "shell/shell.h"

#ifndef DODEVUZ_VERSION
#define DODEVUZ_VERSION "unknown"
#endif

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

namespace {

constexpr int kStatusLineId = 200;     // the status line below the panes
constexpr int kAboutVersionId = 201;   // About box: the version
constexpr int kAboutCreditId = 202;    // About box: the dictionary's credit
constexpr UINT_PTR kWatchTimerId = 1;  // the clipboard settled

// Program-wide state of the window front end.
struct MainWindowState {
  HINSTANCE instance;     // given at start-up
  HWND main_window;       // owner of message boxes and the clipboard, parent of the panes
  char class_name[10];    // string resource 1: class, menu, accelerator and icon name
  HFONT font;             // the start-up font, made and measured once
  HGDIOBJ previous_font;  // the font the device context held before it
  HACCEL accelerators;    // the shortcuts of the menu commands
  std::vector<ACCEL> keys;  // the same as a table, to tell a greyed command's key
  HWND status_line;       // STATIC child below the panes
  HFONT status_font;      // its font, at the window's DPI
  int status_height;      // its height in pixels
  int dpi;                // of the window's monitor (96 without DPI awareness)
  bool listening;         // registered as a clipboard format listener
};

MainWindowState main_state;

// ---- DPI -------------------------------------------------------------------------

// Pixels at the window's DPI for n pixels at 96 DPI, and back.
int scaled(int n) {
  return MulDiv(n, main_state.dpi, 96);
}
int unscaled(int n) {
  return MulDiv(n, 96, main_state.dpi);
}

// The DPI of the window's monitor: GetDpiForWindow where the system has it
// (Windows 10 and later, Wine), else the screen's.
int dpi_of(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  static const auto dpi_for_window = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  UINT dpi = dpi_for_window != nullptr && window != nullptr ? dpi_for_window(window) : 0;
  if (dpi == 0) {
    HDC dc = GetDC(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(nullptr, dc);
  }
  return dpi > 0 ? static_cast<int>(dpi) : 96;
}

// The window rectangle around a client area, at the window's DPI.
RECT window_rect_for(int client_width, int client_height) {
  RECT r = {0, 0, client_width, client_height};
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust_for_dpi != nullptr) {
    adjust_for_dpi(&r, WS_OVERLAPPEDWINDOW, TRUE, 0, static_cast<UINT>(main_state.dpi));
  } else {
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, TRUE, 0);
  }
  return r;
}

// ---- Panes and status line ---------------------------------------------------

// The three panes in the order Tab walks them.
HWND pane_of(PaneRole role) {
  switch (role) {
    case PaneRole::kRomaji:
      return static_cast<HWND>(romaji.romaji_pane);
    case PaneRole::kListing:
      return static_cast<HWND>(shell.listing_pane);
    case PaneRole::kSingle:
      return static_cast<HWND>(shell.single_pane);
  }
  return nullptr;
}

constexpr PaneRole kPaneOrder[] = {PaneRole::kRomaji, PaneRole::kListing, PaneRole::kSingle};

// Places the panes in the client area above the status line, in the
// proportions of the split, with margins and gaps scaled to the DPI, and the
// status line below them.
void lay_out(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  int panes_height = height > main_state.status_height ? height - main_state.status_height : 0;
  for (PaneRole role : kPaneOrder) {
    if (HWND pane = pane_of(role)) {
      PaneRect r = pane_rect(role, unscaled(width), unscaled(panes_height));
      int top = scaled(r.y), bottom = std::min(scaled(r.y + r.height), panes_height);
      MoveWindow(pane, scaled(r.x), top, std::min(scaled(r.width), width), bottom - top, TRUE);
    }
  }
  if (main_state.status_line != nullptr) {
    MoveWindow(main_state.status_line, 0, panes_height, width, main_state.status_height, TRUE);
  }
}

std::wstring from_utf8(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  }
  return wide;
}

std::string to_utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  }
  return text;
}

// The status is UTF-8: it may name a file.
void show_status(const char* text) {
  if (main_state.status_line == nullptr) return;
  SetWindowTextW(main_state.status_line, from_utf8(text).c_str());
}

// ---- Commands ------------------------------------------------------------------

// "Get Dodevuz NEXT" is greyed out unless the last listing stopped before
// the end of its passage.
void update_next_item(HWND window) {
  EnableMenuItem(GetMenu(window), kCmdNext,
                 MF_BYCOMMAND | (next_available() ? MF_ENABLED : MF_GRAYED));
}

// Watching starts or stops listening for clipboard changes.
void toggle_watch(HWND window) {
  const bool watching = toggle_watching();
  if (watching && !main_state.listening) {
    main_state.listening = AddClipboardFormatListener(window) != FALSE;
  } else if (!watching && main_state.listening) {
    RemoveClipboardFormatListener(window);
    main_state.listening = false;
    KillTimer(window, kWatchTimerId);
  }
  CheckMenuItem(GetMenu(window), kCmdWatchClipboard,
                MF_BYCOMMAND | (watching ? MF_CHECKED : MF_UNCHECKED));
}

// "Dictionary forms" shows its mode as a check mark.
void update_forms_item(HWND window) {
  CheckMenuItem(GetMenu(window), kCmdDictionaryForms,
                MF_BYCOMMAND | (lookup.dictionary_forms ? MF_CHECKED : MF_UNCHECKED));
}

void change_text_size(HWND window, int id) {
  set_pane_text_size(step_text_points(id), main_state.dpi);
  lay_out(window);
}

// The listing pane's selection when the status line last named its kanji;
// an edit control tells no one of a new selection, so the message loop asks
// after each click and key in the pane.
uint32_t noted_selection[2];

void follow_listing_selection(const MSG& msg) {
  if (msg.hwnd == nullptr || msg.hwnd != static_cast<HWND>(shell.listing_pane)) return;
  if (msg.message != WM_LBUTTONUP && msg.message != WM_KEYUP) return;
  uint32_t start = 0, end = 0;
  pane_selection(shell.listing_pane, &start, &end);
  if (start == noted_selection[0] && end == noted_selection[1]) return;
  noted_selection[0] = start;
  noted_selection[1] = end;
  if (const char* note = selection_kanji_status()) show_status(note);
}

// ---- Settings file -----------------------------------------------------------------

// %APPDATA%\Dodevuz\settings.ini: the user's own, never beside the program.
std::wstring settings_path() {
  wchar_t folder[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(L"APPDATA", folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(folder) + L"\\Dodevuz\\settings.ini";
}

std::string read_whole_file(const std::wstring& path, bool* read) {
  std::string bytes;
  *read = false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size = {};
  // A text of 1 GB or more is not read.
  if (GetFileSizeEx(file, &size) && size.QuadPart < (1LL << 30)) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    *read = bytes.empty() ||
            (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
             got == bytes.size());
  }
  CloseHandle(file);
  if (!*read) bytes.clear();
  return bytes;
}

DesktopSettings load_settings() {
  bool read = false;
  std::string text = read_whole_file(settings_path(), &read);
  return read ? settings_from_text(text) : DesktopSettings{};
}

// Written whole to a new file that then takes the old one's place, so a
// crash midway leaves the old settings.
void save_settings(HWND window) {
  const std::wstring path = settings_path();
  if (path.empty()) return;
  DesktopSettings settings = current_settings();
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  if (GetWindowPlacement(window, &placement)) {
    const RECT& r = placement.rcNormalPosition;
    settings.x = r.left;
    settings.y = r.top;
    settings.width = unscaled(r.right - r.left);
    settings.height = unscaled(r.bottom - r.top);
    settings.maximized = placement.showCmd == SW_SHOWMAXIMIZED;
  }
  // The folder and any of its parents that are missing.
  const std::wstring folder = path.substr(0, path.rfind(L'\\'));
  for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
       at = folder.find(L'\\', at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring fresh = path + L".new";
  HANDLE file = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = settings_text(settings);
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size();
  CloseHandle(file);
  if (!ok || !MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(fresh.c_str());
  }
}

// ---- Files opened and dropped --------------------------------------------------------

// As after any command: NEXT's state, the three panes, their places.
void after_command(HWND window);

void open_path(HWND window, const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : path.substr(0, slash);
  desktop_shell.last_folder = to_utf8(folder);
  const std::string name = to_utf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
  bool read = false;
  std::string bytes = read_whole_file(path, &read);
  if (!read) {
    show_status(set_status("Cannot read " + to_utf8(path)));
    MessageBoxW(window, from_utf8(desktop_shell.status).c_str(), L"Open", MB_OK | MB_ICONWARNING);
    return;
  }
  const char* problem = open_text(window, bytes, name);
  after_command(window);
  show_status(desktop_shell.status);
  if (problem != nullptr) {
    MessageBoxW(window, from_utf8(problem).c_str(), L"Open", MB_OK | MB_ICONWARNING);
  }
}

// "Open...": the system's dialog, from the folder of the last file.
void choose_file(HWND window) {
  wchar_t path[4096] = {};
  const std::wstring folder = from_utf8(desktop_shell.last_folder);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = window;
  ofn.lpstrFilter = L"Text files (*.txt)\0*.txt;*.text\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = static_cast<DWORD>(sizeof path / sizeof path[0]);
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (GetOpenFileNameW(&ofn)) open_path(window, path);
}

// A file dropped on the window: the first one is opened.
void on_drop_files(HWND window, HDROP drop) {
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  UINT got = length > 0 ? DragQueryFileW(drop, 0, path.data(), length + 1) : 0;
  DragFinish(drop);
  if (got == 0) return;
  path.resize(got);
  SetForegroundWindow(window);
  open_path(window, path);
}

// "Open Word List": the file in the program the system has for it, or its
// folder while there is none yet.
void open_word_list(HWND window) {
  const std::string path = word_list_path();
  const bool there = GetFileAttributesW(from_utf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string target = there ? path : path.substr(0, path.find_last_of("\\/"));
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(window, L"open", from_utf8(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  show_status(set_status(
      (result > 32 ? (there ? "Opened " : "No word list yet; opened its folder ")
                   : "Could not open ") +
      target));
}

// ---- Reset -----------------------------------------------------------------------------

void update_forms_item(HWND window);

// The window at its start-up size for the DPI, where it is.
void size_for_start(HWND window) {
  RECT r = window_rect_for(scaled(kDesignClientWidth),
                           scaled(kDesignClientHeight) + main_state.status_height);
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void reset_settings(HWND window) {
  if (desktop_shell.watching) toggle_watch(window);
  if (lookup.dictionary_forms) {
    dispatch_command(window, kCmdDictionaryForms);
    update_forms_item(window);
  }
  apply_settings(DesktopSettings{});
  set_pane_text_size(desktop_shell.text_points, main_state.dpi);
  ShowWindow(window, SW_RESTORE);
  size_for_start(window);
  lay_out(window);
  const std::wstring path = settings_path();
  if (!path.empty()) DeleteFileW(path.c_str());
}

void show_about(HWND window) {
  DialogBoxParamA(main_state.instance, MAKEINTRESOURCEA(2), window, about_dialog_proc, 0);
}

void run_command(HWND window, int id) {
  switch (id) {
    case kCmdOpenFile:
      choose_file(window);
      return;
    case kCmdOpenWordList:
      open_word_list(window);
      return;
    case kCmdResetSettings:
      reset_settings(window);
      show_status(describe_command(id));
      return;
    case kCmdWatchClipboard:
      toggle_watch(window);
      show_status(describe_command(id));
      return;
    case kCmdTextLarger:
    case kCmdTextSmaller:
      change_text_size(window, id);
      show_status(describe_command(id));
      return;
    default:
      break;
  }
  switch (dispatch_command(window, id)) {
    case CommandResult::kShowAbout:
      show_about(window);
      return;
    case CommandResult::kCloseWindow:
      PostMessageA(window, WM_CLOSE, 0, 0);
      return;
    case CommandResult::kUnknown:
      return;
    case CommandResult::kDone:
      break;
  }
  after_command(window);
  show_status(describe_command(id));
}

void after_command(HWND window) {
  // The shortcut of a greyed item does nothing, so its state is kept current.
  update_next_item(window);
  update_forms_item(window);
  // A new window and one after "Clear All" show their three panes, empty.
  make_missing_panes(window);
  lay_out(window);
}

// ---- Clipboard watch -------------------------------------------------------------

// The clipboard changed: (re)start the pause, so that a burst of changes
// gives one look-up, of the last. The program's own Copy is let be.
void on_clipboard_update(HWND window) {
  if (!desktop_shell.watching || clipboard_holds_own_copy()) return;
  SetTimer(window, kWatchTimerId, kWatchSettleMs, nullptr);
}

// The clipboard settled: its text, unless it is our own Copy, empty or
// without Japanese, is looked up (JIS when it holds escape sequences).
void on_watch_timer(HWND window) {
  KillTimer(window, kWatchTimerId);
  if (!desktop_shell.watching || clipboard_holds_own_copy()) return;
  std::string bytes;
  clipboard_read_text(window, ClipboardIntake::kShiftJis, &bytes);
  int id = watch_command_for(bytes);
  if (id != 0) {
    run_command(window, id);
  } else {
    // Nothing to list: the panes stay as they are.
    show_status(describe_unwatched(bytes));
  }
}

// ---- Keyboard --------------------------------------------------------------------

// The shortcut of a greyed command does nothing but say why in the status
// line; returns whether the key was such a shortcut.
bool explain_greyed_key(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  const bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
  for (const ACCEL& key : main_state.keys) {
    if (!(key.fVirt & FVIRTKEY) || key.key != msg.wParam) continue;
    if (((key.fVirt & FCONTROL) != 0) != control || ((key.fVirt & FSHIFT) != 0) != shift ||
        ((key.fVirt & FALT) != 0) != alt) {
      continue;
    }
    if (const char* reason = greyed_reason(key.cmd)) {
      show_status(reason);
      return true;
    }
    return false;
  }
  return false;
}

// Tab and Shift+Tab in a pane move the focus to the next or previous pane;
// returns whether the key was taken.
bool move_between_panes(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
  int count = static_cast<int>(sizeof kPaneOrder / sizeof kPaneOrder[0]);
  int at = -1;
  for (int k = 0; k < count; ++k) {
    if (pane_of(kPaneOrder[k]) == msg.hwnd) at = k;
  }
  if (at < 0) return false;
  int step = (GetKeyState(VK_SHIFT) & 0x8000) ? count - 1 : 1;
  for (int k = (at + step) % count; k != at; k = (k + step) % count) {
    if (HWND pane = pane_of(kPaneOrder[k])) {
      SetFocus(pane);
      break;
    }
  }
  return true;
}

// ---- Window messages -------------------------------------------------------------

void on_size(HWND window) {
  lay_out(window);
}

// The status line's font: the system's message font at the window's DPI.
void make_status_font() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  LOGFONTW lf = {};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    lf = metrics.lfMessageFont;
  } else {
    lstrcpynW(lf.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
  }
  // 9 points at the window's DPI, whatever the system's DPI.
  lf.lfHeight = -MulDiv(9, main_state.dpi, 72);
  lf.lfWidth = 0;
  HFONT font = CreateFontIndirectW(&lf);
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC dc = GetDC(main_state.main_window);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(main_state.main_window, dc);
  main_state.status_height = tm.tmHeight + scaled(6);
  if (main_state.status_line != nullptr) {
    SendMessageW(main_state.status_line, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  HFONT previous = main_state.status_font;
  main_state.status_font = font;
  if (previous != nullptr && previous != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(previous);
}

// The window moved to a monitor of another DPI (or the DPI changed): fonts
// and layout at the new DPI, in the place the system suggests.
void on_dpi_changed(HWND window, WPARAM wparam, const RECT* suggested) {
  main_state.dpi = HIWORD(wparam) > 0 ? HIWORD(wparam) : 96;
  make_status_font();
  set_pane_text_size(desktop_shell.text_points, main_state.dpi);
  SetWindowPos(window, nullptr, suggested->left, suggested->top,
               suggested->right - suggested->left, suggested->bottom - suggested->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  lay_out(window);
}

// The window cannot shrink below a line of each pane and the status line.
void on_min_max_info(HWND window, MINMAXINFO* info) {
  // A line, the border and the edit margins, in pixels at 96 DPI.
  int line = unscaled(pane_line_height()) + 8;
  RECT r = window_rect_for(scaled(min_client_width(line)),
                           scaled(min_client_height(line)) + main_state.status_height);
  (void)window;
  info->ptMinTrackSize.x = r.right - r.left;
  info->ptMinTrackSize.y = r.bottom - r.top;
}

void on_paint(HWND window) {
  // Nothing is drawn: the class background, the system's window colour, shows.
  PAINTSTRUCT ps;
  BeginPaint(window, &ps);
  EndPaint(window, &ps);
}

// Read-only panes keep the colours of text that can be read, not the grey
// of a disabled field; the status line keeps its own.
LRESULT on_static_colours(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (reinterpret_cast<HWND>(lparam) == main_state.status_line) {
    return DefWindowProcA(window, message, wparam, lparam);
  }
  HDC dc = reinterpret_cast<HDC>(wparam);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

void on_destroy(HWND window) {
  if (main_state.listening) RemoveClipboardFormatListener(window);
  main_state.listening = false;
  PostQuitMessage(0);
}

}  // namespace

void register_main_class(HINSTANCE instance) {
  LoadStringA(instance, 1, main_state.class_name, static_cast<int>(sizeof main_state.class_name));
  WNDCLASSA wc = {};
  wc.style = CS_VREDRAW | CS_HREDRAW;
  wc.lpfnWndProc = main_window_proc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, main_state.class_name);  // none: the system's default icon
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);  // the system's colours
  wc.lpszMenuName = main_state.class_name;
  wc.lpszClassName = main_state.class_name;
  RegisterClassA(&wc);
}

// The status line: one line of the system's message font, sunken.
void create_status_line(HWND window) {
  main_state.status_line = CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_SUNKEN | SS_NOPREFIX, 0, 0,
      0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusLineId)),
      main_state.instance, nullptr);
  make_status_font();
}

void create_main_window(HINSTANCE instance, int show) {
  main_state.instance = instance;
  DesktopSettings settings = load_settings();
  apply_settings(settings);
  main_state.main_window =
      CreateWindowExA(0, main_state.class_name, "Dodevuz(J>E) demo", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (main_state.main_window == nullptr) return;
  main_state.dpi = dpi_of(main_state.main_window);
  HDC dc = GetDC(main_state.main_window);
  LOGFONTA lf = {};
  lf.lfHeight = 6;
  lf.lfWidth = 6;
  lf.lfEscapement = 0;
  lf.lfOrientation = 0;
  lf.lfWeight = 400;
  lf.lfItalic = 0;
  lf.lfUnderline = 0;
  lf.lfStrikeOut = 0;
  lf.lfCharSet = ANSI_CHARSET;
  lf.lfOutPrecision = 0;
  lf.lfClipPrecision = 0;
  lf.lfQuality = 0;
  lf.lfPitchAndFamily = FIXED_PITCH;
  lstrcpynA(lf.lfFaceName, "System", LF_FACESIZE);
  main_state.font = CreateFontIndirectA(&lf);
  main_state.previous_font = SelectObject(dc, main_state.font);
  // Measured once at start-up, as the window always has been; nothing lays
  // out by these figures (the panes have fonts of their own).
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  ReleaseDC(main_state.main_window, dc);

  // The panes in a fixed-pitch Japanese font, all three from the start;
  // the window sized so that at start-up the pane area is 650 x 404 pixels
  // at 96 DPI (scaled to the monitor's), with the status line below; or as
  // it was when it was last closed.
  set_pane_text_size(desktop_shell.text_points, main_state.dpi);
  create_status_line(main_state.main_window);
  make_missing_panes(main_state.main_window);
  size_for_start(main_state.main_window);
  if (settings.width > 0 && settings.height > 0) {
    RECT r = {settings.x, settings.y, settings.x + scaled(settings.width),
              settings.y + scaled(settings.height)};
    // A place on no monitor (one since unplugged) is left to the system.
    const bool placed = settings.x != kUnsetPosition && settings.y != kUnsetPosition &&
                        MonitorFromRect(&r, MONITOR_DEFAULTTONULL) != nullptr;
    SetWindowPos(main_state.main_window, nullptr, r.left, r.top, r.right - r.left,
                 r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE | (placed ? 0 : SWP_NOMOVE));
  }
  lay_out(main_state.main_window);
  update_forms_item(main_state.main_window);
  if (settings.watching) toggle_watch(main_state.main_window);
  DragAcceptFiles(main_state.main_window, TRUE);

  ShowWindow(main_state.main_window,
             settings.maximized && show == SW_SHOWNORMAL ? SW_SHOWMAXIMIZED : show);
  UpdateWindow(main_state.main_window);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITMENUPOPUP:
      update_next_item(window);
      return 0;
    case WM_COMMAND:
      if (lparam == 0) run_command(window, LOWORD(wparam));  // menus and shortcuts only
      return 0;
    case WM_PAINT:
      on_paint(window);
      return 0;
    case WM_SIZE:
      on_size(window);
      return 0;
    case WM_GETMINMAXINFO:
      on_min_max_info(window, reinterpret_cast<MINMAXINFO*>(lparam));
      return 0;
    case WM_CLIPBOARDUPDATE:
      on_clipboard_update(window);
      return 0;
    case WM_TIMER:
      if (wparam == kWatchTimerId) on_watch_timer(window);
      return 0;
    case WM_CTLCOLORSTATIC:
      return on_static_colours(window, message, wparam, lparam);
    case WM_HSCROLL:
    case WM_KEYDOWN:  // keys have no effect; system keys still reach the menu
      return 0;
    case WM_DROPFILES:
      on_drop_files(window, reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED:
      on_dpi_changed(window, wparam, reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE:
      save_settings(window);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      on_destroy(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The About box: the version and the dictionaries' credits are filled in;
// it closes on "Ok", Enter (command 1) and Esc (command 2).
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SetDlgItemTextA(dialog, kAboutVersionId, "Version " DODEVUZ_VERSION);
      std::string credits;
      for (const std::string& credit : dictionary_credits()) {
        credits += (credits.empty() ? "" : "\n") + credit;
      }
      std::u16string text = credits.empty() ? u"No dictionary in this folder"
                                            : euc_to_utf16(credits, nullptr);
      const std::string kanji_credit = kanji_dictionary_credit(kKanjiFile, dictionary_credit("edict"));
      if (!kanji_credit.empty()) text += u"\r\n" + euc_to_utf16(kanji_credit, nullptr);
      SetDlgItemTextW(dialog, kAboutCreditId, reinterpret_cast<const wchar_t*>(text.c_str()));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
  // The dictionary folder as every dodevuz program finds it: the working
  // directory when it holds edict, the program's own folder, the reader's
  // folder in the application data, the sample data beside the program.
  const DictionaryFolder found = find_dictionary_folder(std::string());
  if (found.source == FolderSource::kNone) {
    MessageBoxA(nullptr, no_dictionary_message(found).c_str(), "Dodevuz", MB_OK | MB_ICONERROR);
    return 1;
  }
  if (!found.path.empty()) SetCurrentDirectoryA(found.path.c_str());
  if (previous == nullptr) register_main_class(instance);
  create_main_window(instance, show);
  // Without a main window no quit message would ever come.
  if (main_state.main_window == nullptr) return 1;
  if (found.source == FolderSource::kSample) show_status(sample_dictionary_note(found).c_str());
  main_state.accelerators = LoadAcceleratorsA(instance, main_state.class_name);
  if (main_state.accelerators != nullptr) {
    int count = CopyAcceleratorTableA(main_state.accelerators, nullptr, 0);
    main_state.keys.resize(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0) CopyAcceleratorTableA(main_state.accelerators, main_state.keys.data(), count);
  }
  MSG msg = {};
  BOOL got;
  // GetMessageA gives -1 on failure: that ends the loop too, with status 1.
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    if (explain_greyed_key(msg)) continue;
    if (main_state.accelerators != nullptr &&
        TranslateAcceleratorA(main_state.main_window, main_state.accelerators, &msg)) {
      continue;
    }
    if (move_between_panes(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    follow_listing_selection(msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
