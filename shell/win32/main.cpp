// The desktop program: WinMain, the main window and its message loop, and
// the About box. Every menu command goes to dispatch_command; this file only
// does the window work the dispatch leaves to it (the About box, WM_CLOSE).
#include <windows.h>

#include "shell/shell.h"

namespace {

// Program-wide state of the window front end.
struct MainWindowState {
  HINSTANCE instance;     // given at start-up
  HWND main_window;       // owner of message boxes and the clipboard, parent of the panes
  char class_name[10];    // string resource 1: class, menu and icon name
  HFONT font;             // the start-up font, made and measured once
  HGDIOBJ previous_font;  // the font the device context held before it
  int char_width;         // tmAveCharWidth of the start-up font
  int char_height;        // tmHeight
  int line_height;        // tmHeight + tmExternalLeading
  HACCEL shortcuts;       // the accelerator table named like the class
};

MainWindowState main_state;

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

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

void create_main_window(HINSTANCE instance, int show) {
  main_state.instance = instance;
  main_state.main_window =
      CreateWindowExA(0, main_state.class_name, "Dodevuz(J>E) demo", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
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
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  main_state.char_width = tm.tmAveCharWidth;
  main_state.char_height = tm.tmHeight;
  main_state.line_height = tm.tmHeight + tm.tmExternalLeading;
  ReleaseDC(main_state.main_window, dc);
  ShowWindow(main_state.main_window, show);
  UpdateWindow(main_state.main_window);
}

// "Get Dodevuz NEXT" is greyed out unless the last listing stopped before
// the end of its passage.
void update_next_item(HWND window) {
  EnableMenuItem(GetMenu(window), kCmdNext,
                 MF_BYCOMMAND | (next_available() ? MF_ENABLED : MF_GRAYED));
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITMENUPOPUP:
      update_next_item(window);
      return 0;
    case WM_COMMAND:
      switch (dispatch_command(window, LOWORD(wparam))) {
        case CommandResult::kShowAbout:
          DialogBoxParamA(main_state.instance, MAKEINTRESOURCEA(2), window, about_dialog_proc, 0);
          break;
        case CommandResult::kCloseWindow:
          PostMessageA(window, WM_CLOSE, 0, 0);
          break;
        case CommandResult::kDone:
        case CommandResult::kUnknown:
          break;
      }
      update_next_item(window);
      return 0;
    case WM_PAINT: {
      // Nothing is drawn: the white class background shows.
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_SIZE:  // the panes keep their places
    case WM_HSCROLL:
    case WM_KEYDOWN:  // keys have no effect; system keys still reach the menu
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The About box closes on "Ok" and on Enter (both command 1); Esc, command
// 2, leaves it open.
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
  if (previous == nullptr) register_main_class(instance);
  create_main_window(instance, show);
  // Without a main window no quit message would ever come.
  if (main_state.main_window == nullptr) return 1;
  MSG msg = {};
  BOOL got;
  // GetMessageA gives -1 on failure: that ends the loop too, with status 1.
  main_state.shortcuts = LoadAcceleratorsA(instance, main_state.class_name);
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
    if (main_state.shortcuts != nullptr &&
        TranslateAcceleratorA(main_state.main_window, main_state.shortcuts, &msg)) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return got == 0 ? static_cast<int>(msg.wParam) : 1;
}
