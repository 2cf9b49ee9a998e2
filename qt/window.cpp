// The main window, its menus, the panes in their splitter, the status bar,
// the clipboard watch, the About box and the start-up of dodevuz-qt. The
// window draws nothing itself: every command goes through run_menu_command.
#include "qt/window.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/data_folder.h"
#include "platform/platform.h"
#include "platform/qt.h"
#include "romaji/romaji.h"
#include "shell/desktop.h"
#include "shell/kanji_details.h"
#include "shell/shell.h"

#ifndef DODEVUZ_VERSION
#define DODEVUZ_VERSION "unknown"
#endif

namespace {

struct MenuItem {
  const char* text;  // with its mnemonic; nullptr: a separator
  int id;
  const char* keys;  // its shortcuts, ";" between two; nullptr for none
  bool checkable;
};

// The items as the menus show them: the program's texts with a mnemonic
// each, and shortcuts for the frequent commands.
constexpr MenuItem kFileMenu[] = {
    {"Get Dodevuz &JIS", kCmdGetJis, "Ctrl+Shift+J", false},
    {"Get Dodevuz &SHIFT", kCmdGetShift, "Ctrl+Shift+V", false},
    {"Get Dodevuz &NEXT", kCmdNext, "Ctrl+N", false},
    {"Single &Dodevuz", kCmdSingle, "Ctrl+L", false},
    {"&Open...", kCmdOpenFile, "Ctrl+O", false},
    {"&Clear All", kCmdClearAll, nullptr, false},
    {"&Watch clipboard", kCmdWatchClipboard, nullptr, true},
    {nullptr, 0, nullptr, false},
    {"&About", kCmdAbout, "F1", false},
    {"E&xit", kCmdExit, "Ctrl+Q", false},
};
constexpr MenuItem kEditMenu[] = {
    {"&Copy", kCmdCopy, "Ctrl+C", false},
    {"&Add to Word List", kCmdAddToWordList, "Ctrl+D", false},
    {"&Kanji Details", kCmdKanjiDetails, "Ctrl+K", false},
    {"Mark as K&nown", kCmdMarkKnown, "Ctrl+Shift+K", false},
    {"Open &Word List", kCmdOpenWordList, nullptr, false},
};
constexpr MenuItem kViewMenu[] = {
    {"&Larger Text", kCmdTextLarger, "Ctrl++;Ctrl+=", false},
    {"S&maller Text", kCmdTextSmaller, "Ctrl+-", false},
};
constexpr MenuItem kOptionsMenu[] = {
    {"&Dictionary forms", kCmdDictionaryForms, nullptr, true},
    {"&Reset Settings", kCmdResetSettings, nullptr, false},
};

// Program-wide state of the Qt front end: the parts of the one main window.
struct QtFrontEnd {
  QPointer<QMainWindow> window;
  QSplitter* splitter;     // the three pane slots, romaji, listing, single
  QWidget* pane_slots[3];  // in that order
  QLabel* status;          // the status bar's text
  QAction* watch_action;   // "Watch clipboard", checked while watching
  QAction* forms_action;   // "Dictionary forms", checked while the mode is on
  QAction* next_action;    // "Get Dodevuz NEXT", enabled while there is more to list
  QTimer* watch_timer;     // single-shot: the clipboard settled
};

QtFrontEnd front;

Window window_handle(QMainWindow* window) {
  return static_cast<QWidget*>(window);
}

// The fixed-pitch Japanese font of the panes, so that the gloss column of
// the listing lines up: VL Gothic (Debian's fonts-vlgothic), else another
// monospaced face with Japanese, else the system's monospaced face.
QFont pane_font(int points) {
  QFont font;
  font.setFamilies({QStringLiteral("VL Gothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                    QStringLiteral("IPAGothic"), QStringLiteral("TakaoGothic"),
                    QStringLiteral("monospace")});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSize(points);
  return font;
}

// The panes inherit the splitter's font; each slot keeps at least a line.
void apply_text_size() {
  QFont font = pane_font(desktop_shell.text_points);
  front.splitter->setFont(font);
  int line = QFontMetrics(font).lineSpacing() + 6;  // the pane's frame and margin
  for (QWidget* slot : front.pane_slots) slot->setMinimumHeight(line);
}

// The panes' heights in the proportions of the split, within the splitter's
// height (the start-up pane area's when it has none yet).
void apply_split() {
  int total = front.splitter->height() > 0 && front.splitter->isVisible()
                  ? front.splitter->height()
                  : kSinglePaneY + kSinglePaneHeight;
  total -= 2 * front.splitter->handleWidth();
  const int* shares = desktop_shell.split;
  const int sum = shares[0] + shares[1] + shares[2];
  QList<int> sizes;
  for (int k = 0; k < 3; ++k) {
    sizes << static_cast<int>(static_cast<long long>(total) * shares[k] / sum);
    front.splitter->setStretchFactor(k, shares[k]);
  }
  front.splitter->setSizes(sizes);
}

// Tab goes from the romaji pane to the listing pane to the single pane,
// whichever were made last.
void order_panes() {
  auto* romaji_pane = static_cast<QWidget*>(romaji.romaji_pane);
  auto* listing_pane = static_cast<QWidget*>(shell.listing_pane);
  auto* single_pane = static_cast<QWidget*>(shell.single_pane);
  if (romaji_pane && listing_pane) QWidget::setTabOrder(romaji_pane, listing_pane);
  if (listing_pane && single_pane) QWidget::setTabOrder(listing_pane, single_pane);
}

void show_status(const char* text) {
  if (front.status != nullptr) front.status->setText(QString::fromUtf8(text));
}

// A new selection in the listing pane names its first kanji's strokes and
// grade on the status line; each listing pane is followed once.
void follow_listing_selection() {
  auto* pane = qobject_cast<QPlainTextEdit*>(static_cast<QWidget*>(shell.listing_pane));
  if (pane == nullptr || pane->property("dodevuz-kanji-note").toBool()) return;
  pane->setProperty("dodevuz-kanji-note", true);
  QObject::connect(pane, &QPlainTextEdit::selectionChanged, pane, [] {
    if (const char* note = selection_kanji_status()) show_status(euc_to_utf8(note).c_str());
  });
}

// The watch's step once the clipboard has settled: the program's own Copy,
// an empty text and one without Japanese are let be; any other text is
// looked up as "Get Dodevuz SHIFT" (JIS when it holds escape sequences).
void look_up_clipboard(QMainWindow* window) {
  if (!desktop_shell.watching) return;
  if (clipboard_holds_own_copy()) return;
  std::string bytes;
  clipboard_read_text(window_handle(window), ClipboardIntake::kShiftJis, &bytes);
  int id = watch_command_for(bytes);
  if (id != 0) {
    run_menu_command(window, id);
  } else {
    // Nothing to list: the panes stay as they are.
    show_status(describe_unwatched(bytes));
  }
}

// The clipboard changed: (re)start the pause, so that a burst of changes
// gives one look-up, of the last. The selection clipboard is not watched.
void clipboard_changed() {
  if (desktop_shell.watching && front.watch_timer != nullptr) front.watch_timer->start();
}

template <size_t N>
void add_menu(QMainWindow* window, const char* title, const MenuItem (&items)[N]) {
  QMenu* menu = window->menuBar()->addMenu(QString::fromLatin1(title));
  for (const MenuItem& item : items) {
    if (item.text == nullptr) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromLatin1(item.text));
    action->setData(item.id);
    action->setCheckable(item.checkable);
    if (item.keys != nullptr) {
      QList<QKeySequence> keys;
      for (const QString& k : QString::fromLatin1(item.keys).split(QLatin1Char(';'))) {
        keys << QKeySequence(k, QKeySequence::PortableText);
      }
      action->setShortcuts(keys);
      // Also while the focus is in a pane or the menu bar.
      action->setShortcutContext(Qt::WindowShortcut);
    }
    if (item.id == kCmdWatchClipboard) front.watch_action = action;
    if (item.id == kCmdDictionaryForms) front.forms_action = action;
    if (item.id == kCmdNext) {
      front.next_action = action;
      action->setEnabled(false);
      // Greyed out unless the last listing stopped before its passage's end.
      QObject::connect(menu, &QMenu::aboutToShow, action,
                       [action] { action->setEnabled(next_available()); });
    }
    int id = item.id;
    QObject::connect(action, &QAction::triggered, window,
                     [window, id] { run_menu_command(window, id); });
  }
}

// Keys that are the window's shortcuts win over the panes: a text pane
// claims Ctrl+C for its own copy (which would leave out the EUC-JP text and
// wake the watch), and Alt with a letter is the menu's mnemonic.
class ShortcutKeys : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (event->type() != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(receiver);
    auto* window = qobject_cast<QMainWindow*>(parent());
    if (widget == nullptr || window == nullptr || widget->window() != window) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    // Alt alone is left to the menu bar, which opens on its release.
    const int k = key->key();
    if (k == Qt::Key_Alt || k == Qt::Key_Control || k == Qt::Key_Shift || k == Qt::Key_Meta) {
      return false;
    }
    if (mods == Qt::AltModifier) return true;
    QKeySequence pressed(key->keyCombination());
    for (QAction* action : window->findChildren<QAction*>()) {
      for (const QKeySequence& keys : action->shortcuts()) {
        if (keys.matches(pressed) != QKeySequence::ExactMatch) continue;
        // The shortcut of a greyed item does nothing; the status says why.
        if (!action->isEnabled()) {
          if (const char* reason = greyed_reason(action->data().toInt())) show_status(reason);
        }
        return true;
      }
    }
    return false;
  }
};

// A file dragged onto the window is taken; dropped, it is opened.
class FileDrops : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    auto* window = qobject_cast<QMainWindow*>(receiver);
    if (window == nullptr) return false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(event);
      if (!dropped_file(drag->mimeData()).isEmpty()) {
        drag->acceptProposedAction();
        return true;
      }
    } else if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      QString path = dropped_file(drop->mimeData());
      if (!path.isEmpty()) {
        drop->acceptProposedAction();
        open_file(window, path);
        return true;
      }
    }
    return false;
  }

 private:
  // The first local file of a drop, or empty.
  static QString dropped_file(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
  }
};


void print_usage() {
  std::fputs(
      "usage: dodevuz-qt [--reader] [-C DIR] [--clipboard FILE]\n"
      "                  [--command ID | --select TEXT]... [--size WxH] [--screenshot PNG]\n"
      "  -C DIR            use the dictionary and romaji table in DIR (edict, edict.jdx,\n"
      "                    kanarom.cnv); else the working directory when it holds edict,\n"
      "                    the folder `dodevuz setup` made, or the sample data\n"
      "  --reader          use the reader's dictionary folder made by `dodevuz setup`\n"
      "                    ($XDG_DATA_HOME/dodevuz) when it holds a dictionary\n"
      "  --clipboard FILE  put FILE's UTF-8 text on the clipboard at start\n"
      "  --command ID      run menu command ID once the window is shown (108 Get JIS,\n"
      "                    109 Get SHIFT, 111 NEXT, 105 Single, 106 Copy, 110 Clear All,\n"
      "                    101 Exit, 112 Watch clipboard, 113 Add to Word List,\n"
      "                    115 larger text, 116 smaller text, 117 Kanji Details,\n"
      "                    118 Mark as Known, 120 Reset Settings)\n"
      "  --select TEXT     then select the first TEXT in the listing pane and focus it\n"
      "  --size WxH        show the window W x H pixels large\n"
      "  --screenshot PNG  after the commands, save the window as PNG and quit\n",
      stderr);
}

// A step of a script: a menu command, or (select non-empty) a selection in
// the listing pane.
struct Step {
  int id;
  QString select;
};

struct Options {
  const char* folder = nullptr;
  bool reader = false;
  const char* clipboard_file = nullptr;
  std::vector<Step> steps;
  const char* screenshot = nullptr;
  int width = 0, height = 0;  // --size; 0: the start-up size
};

// Selects the first occurrence of text in the listing pane and gives it the
// focus, as a user would before "Single Dodevuz" or "Copy".
void select_in_listing(const QString& text) {
  auto* pane = qobject_cast<QPlainTextEdit*>(static_cast<QWidget*>(shell.listing_pane));
  if (pane == nullptr) return;
  QTextCursor found = pane->document()->find(text);
  if (found.isNull()) return;
  pane->setTextCursor(found);
  // The focus counts only in the active window.
  pane->activateWindow();
  pane->setFocus();
  QApplication::processEvents();
}

// Our options; anything else is left to Qt (-platform, -style, ...).
bool parse_options(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return false;
    if (arg == "--reader") {
      options->reader = true;
      continue;
    }
    bool takes_value = arg == "-C" || arg == "--clipboard" || arg == "--command" ||
                       arg == "--screenshot" || arg == "--select" || arg == "--size";
    if (!takes_value) continue;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "dodevuz-qt: %s needs a value\n", arg.c_str());
      return false;
    }
    const char* value = argv[++i];
    if (arg == "-C") {
      options->folder = value;
    } else if (arg == "--clipboard") {
      options->clipboard_file = value;
    } else if (arg == "--screenshot") {
      options->screenshot = value;
    } else if (arg == "--size") {
      if (std::sscanf(value, "%dx%d", &options->width, &options->height) != 2 ||
          options->width <= 0 || options->height <= 0 || options->width > 10000 ||
          options->height > 10000) {
        std::fprintf(stderr, "dodevuz-qt: not a size: %s\n", value);
        return false;
      }
    } else if (arg == "--select") {
      if (*value == '\0') return false;
      options->steps.push_back({0, QString::fromLocal8Bit(value)});
    } else {
      char* end = nullptr;
      long id = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || id < 0 || id > 0xFFFF) {
        std::fprintf(stderr, "dodevuz-qt: not a command id: %s\n", value);
        return false;
      }
      options->steps.push_back({static_cast<int>(id), QString()});
    }
  }
  return true;
}

}  // namespace

QMainWindow* create_main_window() {
  auto* window = new QMainWindow;
  window->setWindowTitle(QStringLiteral("Dodevuz(J>E) demo"));
  front = QtFrontEnd{};
  front.window = window;

  // The pane area: the colour of the desktop's text fields (light or dark),
  // with the margins of the panes' places; inside it the splitter, whose
  // 2-pixel handles are the gaps between the panes.
  auto* area = new QWidget;
  area->setAutoFillBackground(true);
  area->setBackgroundRole(QPalette::Base);
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(kPaneX, 0, kDesignClientWidth - kPaneX - kPaneWidth,
                             kDesignClientHeight - kSinglePaneY - kSinglePaneHeight);
  front.splitter = new QSplitter(Qt::Vertical);
  front.splitter->setHandleWidth(kListingPaneY - kRomajiPaneY - kRomajiPaneHeight);
  front.splitter->setChildrenCollapsible(false);
  const int rows[] = {kRomajiPaneY, kListingPaneY, kSinglePaneY};
  for (int k = 0; k < 3; ++k) {
    front.pane_slots[k] = new QWidget;
    front.splitter->addWidget(front.pane_slots[k]);
    // The share of the height each pane keeps when the window grows.
    front.splitter->setStretchFactor(k, desktop_shell.split[k]);
    set_pane_slot(rows[k], front.pane_slots[k]);
  }
  layout->addWidget(front.splitter);
  window->setCentralWidget(area);

  add_menu(window, "&File", kFileMenu);
  add_menu(window, "&Edit", kEditMenu);
  add_menu(window, "&View", kViewMenu);
  add_menu(window, "&Options", kOptionsMenu);
  // F10 opens the menu as Alt does.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
  QObject::connect(f10, &QShortcut::activated, window, [window] {
    QMenuBar* bar = window->menuBar();
    if (!bar->actions().isEmpty()) {
      bar->setFocus(Qt::ShortcutFocusReason);
      bar->setActiveAction(bar->actions().first());
    }
  });
  QApplication::instance()->installEventFilter(new ShortcutKeys(window));
  // A file dropped anywhere on the window is opened; the read-only panes
  // take no drops of their own.
  window->setAcceptDrops(true);
  window->installEventFilter(new FileDrops(window));

  front.status = new QLabel;
  window->statusBar()->addWidget(front.status, 1);
  window->statusBar()->setSizeGripEnabled(true);

  front.watch_timer = new QTimer(window);
  front.watch_timer->setSingleShot(true);
  front.watch_timer->setInterval(kWatchSettleMs);
  QObject::connect(front.watch_timer, &QTimer::timeout, window,
                   [window] { look_up_clipboard(window); });
  QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, window, clipboard_changed);
  if (front.watch_action != nullptr) front.watch_action->setChecked(desktop_shell.watching);

  apply_text_size();
  make_missing_panes(window_handle(window));
  order_panes();
  follow_listing_selection();

  // The start-up size: the pane area exactly as large as the panes' places.
  area->setFixedSize(kClientWidth, kClientHeight);
  window->layout()->activate();
  window->resize(window->sizeHint());
  apply_split();
  area->setMinimumSize(0, 0);
  area->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  return window;
}

namespace {

// "Open...": a file chosen in the system's dialog, from the folder of the
// last one.
void choose_file(QMainWindow* window) {
  QString path = QFileDialog::getOpenFileName(
      window, QStringLiteral("Open"), QString::fromStdString(desktop_shell.last_folder),
      QStringLiteral("Text files (*.txt *.text);;All files (*)"));
  if (!path.isEmpty()) open_file(window, path);
}

// "Open Word List": the file in the program the desktop has for it, or its
// folder while there is no file yet.
void open_word_list() {
  QString path = QString::fromStdString(word_list_path());
  const bool there = QFileInfo::exists(path);
  QString target = there ? path : QFileInfo(path).absolutePath();
  const bool opened = QDesktopServices::openUrl(QUrl::fromLocalFile(target));
  show_status(set_status(
      (opened ? (there ? "Opened " : "No word list yet; opened its folder ")
              : "Could not open ") +
      target.toStdString()));
}

// Every setting back to its default, for this window now and the next start.
void reset_settings(QMainWindow* window) {
  if (desktop_shell.watching) run_menu_command(window, kCmdWatchClipboard);
  if (lookup.dictionary_forms) run_menu_command(window, kCmdDictionaryForms);
  apply_settings(DesktopSettings{});
  apply_text_size();
  window->showNormal();
  window->resize(window->sizeHint().width(), window->sizeHint().height());
  apply_split();
  QSettings().clear();
}

}  // namespace

void open_file(QMainWindow* window, const QString& path) {
  QFileInfo info(path);
  desktop_shell.last_folder = info.absolutePath().toStdString();
  QFile file(path);
  const std::string name = info.fileName().toStdString();
  if (!file.open(QIODevice::ReadOnly)) {
    std::string text = "Cannot read " + path.toStdString() + ": " + file.errorString().toStdString();
    show_status(set_status(text));
    QMessageBox::warning(window, QStringLiteral("Open"), QString::fromStdString(text));
    return;
  }
  QByteArray bytes = file.readAll();
  const char* problem = open_text(window_handle(window), bytes.toStdString(), name);
  // As after any Get.
  if (front.window == window && front.next_action != nullptr) {
    front.next_action->setEnabled(next_available());
  }
  make_missing_panes(window_handle(window));
  order_panes();
  show_status(desktop_shell.status);
  if (problem != nullptr) {
    QMessageBox::warning(window, QStringLiteral("Open"), QString::fromUtf8(problem));
  }
}

void restore_settings(QMainWindow* window) {
  QSettings stored;
  DesktopSettings settings;
  for (const QString& key : stored.allKeys()) {
    read_setting(&settings, key.toStdString(), stored.value(key).toString().toStdString());
  }
  apply_settings(settings);
  apply_text_size();
  if (front.forms_action != nullptr) front.forms_action->setChecked(lookup.dictionary_forms);
  if (settings.width > 0 && settings.height > 0) window->resize(settings.width, settings.height);
  if (settings.x != kUnsetPosition && settings.y != kUnsetPosition) {
    window->move(settings.x, settings.y);
  }
  if (settings.maximized) window->setWindowState(window->windowState() | Qt::WindowMaximized);
  apply_split();
  if (settings.watching && !desktop_shell.watching) run_menu_command(window, kCmdWatchClipboard);
}

void save_settings(QMainWindow* window) {
  DesktopSettings settings = current_settings();
  const QRect normal = window->normalGeometry().isValid() ? window->normalGeometry()
                                                          : window->geometry();
  settings.x = window->pos().x();
  settings.y = window->pos().y();
  settings.width = normal.width();
  settings.height = normal.height();
  settings.maximized = window->isMaximized();
  if (front.window == window) {
    QList<int> sizes = front.splitter->sizes();
    if (sizes.size() == 3 && sizes[0] > 0 && sizes[1] > 0 && sizes[2] > 0) {
      for (int k = 0; k < 3; ++k) settings.split[k] = sizes[k];
    }
  }
  QSettings stored;
  stored.clear();
  for (const auto& [key, value] : setting_values(settings)) {
    stored.setValue(QString::fromStdString(key), QString::fromStdString(value));
  }
  stored.sync();
}

void run_menu_command(QMainWindow* window, int id) {
  switch (id) {
    case kCmdOpenFile:
      choose_file(window);
      return;
    case kCmdOpenWordList:
      open_word_list();
      return;
    case kCmdResetSettings:
      reset_settings(window);
      show_status(describe_command(id));
      return;
    case kCmdWatchClipboard: {
      const bool watching = toggle_watching();
      if (front.watch_action != nullptr) front.watch_action->setChecked(watching);
      if (!watching && front.watch_timer != nullptr) front.watch_timer->stop();
      show_status(describe_command(id));
      return;
    }
    case kCmdTextLarger:
    case kCmdTextSmaller:
      step_text_points(id);
      if (front.window == window) apply_text_size();
      show_status(describe_command(id));
      return;
    default:
      break;
  }
  switch (dispatch_command(window_handle(window), id)) {
    case CommandResult::kShowAbout: {
      QDialog* box = create_about_box(window);
      box->exec();
      delete box;
      break;
    }
    case CommandResult::kCloseWindow:
      // As a posted close: the command ends first, then the window goes.
      QTimer::singleShot(0, window, [window] { window->close(); });
      return;
    case CommandResult::kDone:
    case CommandResult::kUnknown:
      break;
  }
  // The shortcut of a greyed item does nothing, so its state is kept current.
  if (front.window == window && front.next_action != nullptr) {
    front.next_action->setEnabled(next_available());
  }
  if (front.window == window && front.forms_action != nullptr) {
    front.forms_action->setChecked(lookup.dictionary_forms);
  }
  make_missing_panes(window_handle(window));
  order_panes();
  follow_listing_selection();
  show_status(describe_command(id));
}

QString status_text(QMainWindow* window) {
  return front.window == window && front.status != nullptr ? front.status->text() : QString();
}

QDialog* create_about_box(QWidget* parent) {
  auto* box = new QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
  box->setModal(true);
  // Laid out in dialog units of the default font: a quarter of its average
  // character width across, an eighth of its height down.
  QFontMetrics metrics(box->font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int base_x = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  const int base_y = metrics.height();
  auto dlu = [&](int x, int y, int w, int h) {
    return QRect(x * base_x / 4, y * base_y / 8, w * base_x / 4, h * base_y / 8);
  };
  QRect whole = dlu(0, 0, 220, 140);
  box->setFixedSize(whole.size());

  // Without a title bar the box needs a frame of its own to stand out.
  auto* frame = new QFrame(box);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(2);
  frame->setGeometry(QRect(QPoint(0, 0), whole.size()));

  QString credits;
  for (const std::string& credit : dictionary_credits()) {
    if (!credits.isEmpty()) credits += QLatin1Char('\n');
    credits += QString::fromStdString(euc_to_utf8(credit));
  }
  const std::string kanji_credit =
      kanji_dictionary_credit(kKanjiFile, euc_to_utf8(dictionary_credit("edict")));
  if (!kanji_credit.empty()) credits += "\n" + QString::fromStdString(kanji_credit);
  const QString texts[] = {
      QStringLiteral("Dodevuz"),
      QStringLiteral("Version " DODEVUZ_VERSION),
      credits.isEmpty() ? QStringLiteral("No dictionary in this folder") : credits,
      QStringLiteral("Dodevuz is free software under the MIT licence"),
  };
  const QRect places[] = {dlu(0, 9, 220, 8), dlu(0, 21, 220, 8), dlu(6, 33, 208, 66),
                          dlu(0, 101, 220, 8)};
  for (int k = 0; k < 4; ++k) {
    auto* label = new QLabel(texts[k], box);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(k == 2);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(places[k]);
  }
  auto* ok = new QPushButton(QStringLiteral("Ok"), box);
  ok->setGeometry(dlu(94, 117, 32, 14));
  ok->setDefault(true);
  ok->setFocus();
  QObject::connect(ok, &QPushButton::clicked, box, &QDialog::accept);

  // Placed at (22, 17) dialog units from the owner's client area.
  if (parent != nullptr) {
    QWidget* client = parent;
    if (auto* main = qobject_cast<QMainWindow*>(parent); main && main->centralWidget()) {
      client = main->centralWidget();
    }
    QRect at = dlu(22, 17, 0, 0);
    box->move(client->mapToGlobal(at.topLeft()));
  }
  return box;
}

int dodevuz_qt_main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, &options)) {
    print_usage();
    return 2;
  }
  // Read before -C changes the working directory, so a relative FILE is
  // taken from where the program was started.
  QByteArray clipboard_text;
  if (options.clipboard_file != nullptr) {
    QFile file(QString::fromLocal8Bit(options.clipboard_file));
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "dodevuz-qt: cannot read %s\n", options.clipboard_file);
      return 2;
    }
    clipboard_text = file.readAll();
  }
  // Likewise a relative picture path.
  QString screenshot;
  if (options.screenshot != nullptr) {
    screenshot = QFileInfo(QString::fromLocal8Bit(options.screenshot)).absoluteFilePath();
  }
  // The dictionary folder as every dodevuz program finds it: -C DIR, the
  // working directory, the reader's folder, the sample data. --reader (of
  // older desktop entries) puts the reader's folder before -C.
  std::string reader_folder = options.reader ? reader_data_folder() : std::string();
  if (holds_dictionary(reader_folder)) options.folder = reader_folder.c_str();
  const DictionaryFolder found =
      find_dictionary_folder(options.folder != nullptr ? options.folder : "");
  if (!found.path.empty() && chdir(found.path.c_str()) != 0) {
    std::fprintf(stderr, "dodevuz-qt: cannot use folder %s: %s\n", found.path.c_str(),
                 std::strerror(errno));
    return 2;
  }

  QApplication app(argc, argv);
  if (found.source == FolderSource::kNone) {
    const std::string message = no_dictionary_message(found);
    std::fprintf(stderr, "dodevuz-qt: %s\n", message.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Dodevuz"), QString::fromStdString(message));
    return 1;
  }
  QCoreApplication::setOrganizationName(QStringLiteral("dodevuz"));
  QCoreApplication::setApplicationName(QStringLiteral("dodevuz-qt"));
  QMainWindow* window = create_main_window();
  // A scripted run (commands, a picture) starts from the defaults and keeps
  // nothing; the reader's runs reopen as they were closed.
  const bool keeps_settings = options.steps.empty() && options.screenshot == nullptr;
  if (keeps_settings) restore_settings(window);
  if (found.source == FolderSource::kSample) {
    const std::string note = sample_dictionary_note(found);
    std::fprintf(stderr, "dodevuz-qt: %s\n", note.c_str());
    show_status(note.c_str());
  }
  if (options.width > 0) window->resize(options.width, options.height);
  window->show();
  if (options.clipboard_file != nullptr) {
    QApplication::clipboard()->setText(QString::fromUtf8(clipboard_text));
  }

  int status = 0;
  if (!options.steps.empty() || options.screenshot != nullptr) {
    QTimer::singleShot(0, window, [&] {
      for (const Step& step : options.steps) {
        if (step.select.isEmpty()) {
          run_menu_command(window, step.id);
        } else {
          select_in_listing(step.select);
        }
      }
      if (options.screenshot != nullptr) {
        QApplication::processEvents();
        if (!window->grab().save(screenshot, "PNG")) {
          std::fprintf(stderr, "dodevuz-qt: cannot write %s\n", options.screenshot);
          status = 1;
        }
        QApplication::quit();
      }
    });
  }
  int loop_status = app.exec();
  if (keeps_settings) save_settings(window);
  delete window;
  return status != 0 ? status : loop_status;
}
