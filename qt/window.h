// The desktop program on Linux: its main window with the menu, the panes in
// a splitter, the status bar, the clipboard watch, the About box and the
// start-up, over Qt Widgets. Every menu item goes through the one command
// dispatch of the shell (shell.h) or the desktop programs' own commands
// (desktop.h); the panes and the clipboard are the Qt platform's
// (platform/qt.cpp).
#pragma once

#include <QString>

class QDialog;
class QMainWindow;
class QWidget;

// The pane area's size in pixels at start-up: the panes stacked from y 0 to
// y 394 at x 10 and 630 wide, with a margin of 10 on the right and at the
// bottom.
constexpr int kClientWidth = 650;
constexpr int kClientHeight = 404;

// Makes the main window: the title "Dodevuz(J>E) demo"; the menus File, Edit
// and View with the command ids in each action's data(), mnemonics and
// shortcuts; the three panes, empty, in a vertical splitter that fills a
// pane area of kClientWidth x kClientHeight at start-up and follows the
// window's size; a status bar below. Not yet shown. One main window at a
// time: a new one takes over the clipboard watch.
QMainWindow* create_main_window();

// Runs menu command id for window as its menu item or shortcut does: the
// shell's dispatch, then the About box (modal) or, for Exit, the window
// closed once control returns to the event loop; the desktop commands
// (Watch clipboard, text larger and smaller) here. Then every pane exists
// again and the status bar says what the command did.
void run_menu_command(QMainWindow* window, int id);

// Opens the text file at path as a Get lists the clipboard (open_text): its
// encoding detected, the whole text paged by NEXT. A file that cannot be
// read, or whose encoding cannot be told, gives a message box and the
// status; the panes stay as they were. Its folder becomes the last one.
void open_file(QMainWindow* window, const QString& path);

// The settings kept between runs (QSettings, organisation "dodevuz",
// application "dodevuz-qt": ~/.config/dodevuz/dodevuz-qt.conf on Linux):
// restored into a new window (a damaged or missing store gives the
// defaults), saved from a window about to close.
void restore_settings(QMainWindow* window);
void save_settings(QMainWindow* window);

// The status bar's text.
QString status_text(QMainWindow* window);

// Makes the About box owned by parent: frameless, the centred text
// "Dodevuz", the version, the credits of the dictionaries in the working
// directory with their licences and the program's licence, above the
// default button "Ok". Enter or the button closes it (accepted), Esc too
// (rejected).
QDialog* create_about_box(QWidget* parent);

// The program: `dodevuz-qt [-C DIR] [--clipboard FILE] [--command ID |
// --select TEXT]... [--size WxH] [--screenshot PNG]`. -C makes DIR the
// working directory, where the dictionary and the romaji table are looked
// for, before anything else. The other options serve scripts: put FILE's
// UTF-8 text on the clipboard, run menu commands and select text in the
// listing pane, in the order given, once the window is shown (at WxH when
// given), save a picture of the window and quit. Options it does not know
// are left to Qt. Returns the exit status.
int dodevuz_qt_main(int argc, char** argv);
