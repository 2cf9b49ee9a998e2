// The desktop program: WinMain, the main window and its message loop, and
// the About box. The window procedure only hands each message to its
// handler; every menu command goes to dispatch_command or to the desktop
// programs' own commands (desktop.h), and the handlers do the window work
// around them: the panes' layout, the status line, the clipboard watch, the
// text size, the keyboard and the About box.
#include <windows.h>

#include <string>

#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/data_folder.h"
#include "platform/win32.h"
#include "romaji/romaji.h"
#include "shell/desktop.h"
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
  HWND status_line;       // STATIC child below the panes
  int status_height;      // its height in pixels
  bool listening;         // registered as a clipboard format listener
};

MainWindowState main_state;

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
// proportions of their start-up sizes, and the status line below them.
void lay_out(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  int panes_height = height > main_state.status_height ? height - main_state.status_height : 0;
  for (PaneRole role : kPaneOrder) {
    if (HWND pane = pane_of(role)) {
      PaneRect r = pane_rect(role, width, panes_height);
      MoveWindow(pane, r.x, r.y, r.width, r.height, TRUE);
    }
  }
  if (main_state.status_line != nullptr) {
    MoveWindow(main_state.status_line, 0, panes_height, width, main_state.status_height, TRUE);
  }
}

void show_status(const char* text) {
  if (main_state.status_line == nullptr) return;
  std::u16string wide = euc_to_utf16(text, nullptr);  // ASCII: the same in any encoding
  SetWindowTextW(main_state.status_line, reinterpret_cast<const wchar_t*>(wide.c_str()));
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
  set_pane_text_size(step_text_points(id));
  lay_out(window);
}

void show_about(HWND window) {
  DialogBoxParamA(main_state.instance, MAKEINTRESOURCEA(2), window, about_dialog_proc, 0);
}

void run_command(HWND window, int id) {
  switch (id) {
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
  // The shortcut of a greyed item does nothing, so its state is kept current.
  update_next_item(window);
  update_forms_item(window);
  // A new window and one after "Clear All" show their three panes, empty.
  make_missing_panes(window);
  lay_out(window);
  show_status(describe_command(id));
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
  } else if (!bytes.empty()) {
    show_status("No Japanese text on the clipboard");
  }
}

// ---- Keyboard --------------------------------------------------------------------

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

// The window cannot shrink below a line of each pane and the status line.
void on_min_max_info(HWND window, MINMAXINFO* info) {
  int line = pane_line_height() + 8;  // a line, the border and the edit margins
  RECT r = {0, 0, min_client_width(line), min_client_height(line) + main_state.status_height};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, GetMenu(window) != nullptr, 0);
  info->ptMinTrackSize.x = r.right - r.left;
  info->ptMinTrackSize.y = r.bottom - r.top;
}

void on_paint(HWND window) {
  // Nothing is drawn: the white class background shows.
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
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = main_state.class_name;
  wc.lpszClassName = main_state.class_name;
  RegisterClassA(&wc);
}

// The status line: one line of the system's interface font, sunken.
void create_status_line(HWND window) {
  HFONT gui = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, gui);
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  main_state.status_height = tm.tmHeight + 6;
  main_state.status_line = CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_SUNKEN, 0, 0, 0, 0, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusLineId)), main_state.instance, nullptr);
  SendMessageW(main_state.status_line, WM_SETFONT, reinterpret_cast<WPARAM>(gui), FALSE);
}

void create_main_window(HINSTANCE instance, int show) {
  main_state.instance = instance;
  main_state.main_window =
      CreateWindowExA(0, main_state.class_name, "Dodevuz(J>E) demo", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (main_state.main_window == nullptr) return;
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
  // the window sized so that at start-up they lie where the shell makes
  // them, with the status line below.
  set_pane_text_size(desktop_shell.text_points);
  create_status_line(main_state.main_window);
  make_missing_panes(main_state.main_window);
  RECT r = {0, 0, kDesignClientWidth, kDesignClientHeight + main_state.status_height};
  AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, TRUE, 0);
  SetWindowPos(main_state.main_window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  lay_out(main_state.main_window);

  ShowWindow(main_state.main_window, show);
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
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      on_destroy(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The About box: the version and the dictionary's credit are filled in; it
// closes on "Ok" and on Enter (both command 1); Esc, command 2, leaves it
// open.
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SetDlgItemTextA(dialog, kAboutVersionId, "Version " DODEVUZ_VERSION);
      std::string credit = dictionary_credit("edict");
      std::u16string text = credit.empty() ? u"No dictionary in this folder"
                                           : u"Dictionary: " + euc_to_utf16(credit, nullptr);
      SetDlgItemTextW(dialog, kAboutCreditId, reinterpret_cast<const wchar_t*>(text.c_str()));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) EndDialog(dialog, 1);
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
  MSG msg = {};
  BOOL got;
  // GetMessageA gives -1 on failure: that ends the loop too, with status 1.
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    if (main_state.accelerators != nullptr &&
        TranslateAcceleratorA(main_state.main_window, main_state.accelerators, &msg)) {
      continue;
    }
    if (move_between_panes(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
