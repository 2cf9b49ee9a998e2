// The main window, its menu, the About box and the start-up of dodevuz-qt.
// The window draws nothing and handles no keys: everything goes through the
// seven menu items and the shell's dispatch.
#include "qt/window.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "platform/platform.h"
#include "shell/shell.h"

namespace {

struct MenuItem {
  const char* text;  // nullptr: a separator
  int id;
};

// The items exactly as the menu shows them, without mnemonics or shortcuts.
constexpr MenuItem kFileMenu[] = {
    {"Get Dodevuz JIS", kCmdGetJis},
    {"Get Dodevuz SHIFT", kCmdGetShift},
    {"Single Dodevuz", kCmdSingle},
    {"Clear All", kCmdClearAll},
    {nullptr, 0},
    {"About", kCmdAbout},
    {"Exit", kCmdExit},
};
constexpr MenuItem kEditMenu[] = {{"Copy", kCmdCopy}};

Window window_handle(QMainWindow* window) {
  return static_cast<QWidget*>(window);
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
    int id = item.id;
    QObject::connect(action, &QAction::triggered, window,
                     [window, id] { run_menu_command(window, id); });
  }
}

// The About box: Esc, which rejects a dialog, leaves it open; only the "Ok"
// button (also pressed by Enter, as the default button) closes it.
class AboutBox : public QDialog {
 public:
  using QDialog::QDialog;
  void reject() override {}
};

void print_usage() {
  std::fputs(
      "usage: dodevuz-qt [--reader] [-C DIR] [--clipboard FILE]\n"
      "                  [--command ID | --select TEXT]... [--screenshot PNG]\n"
      "  -C DIR            use the dictionary and romaji table in DIR (edict, edict.jdx,\n"
      "                    kanarom.cnv); the working directory otherwise\n"
      "  --reader          use the reader's dictionary folder made by `dodevuz setup`\n"
      "                    ($XDG_DATA_HOME/dodevuz) when it holds a dictionary\n"
      "  --clipboard FILE  put FILE's UTF-8 text on the clipboard at start\n"
      "  --command ID      run menu command ID once the window is shown (108 Get JIS,\n"
      "                    109 Get SHIFT, 105 Single, 106 Copy, 110 Clear All, 101 Exit)\n"
      "  --select TEXT     then select the first TEXT in the listing pane and focus it\n"
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
                       arg == "--screenshot" || arg == "--select";
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
  auto* area = new QWidget;
  // The panes keep their places whatever the window's size; the area shows
  // white where they are not.
  area->setMinimumSize(kClientWidth, kClientHeight);
  area->setAutoFillBackground(true);
  QPalette palette = area->palette();
  palette.setColor(QPalette::Window, Qt::white);
  area->setPalette(palette);
  window->setCentralWidget(area);
  add_menu(window, "File", kFileMenu);
  add_menu(window, "Edit", kEditMenu);
  window->resize(window->sizeHint());
  return window;
}

void run_menu_command(QMainWindow* window, int id) {
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
      break;
    case CommandResult::kDone:
    case CommandResult::kUnknown:
      break;
  }
}

QDialog* create_about_box(QWidget* parent) {
  auto* box = new AboutBox(parent, Qt::Dialog | Qt::FramelessWindowHint);
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
  QRect whole = dlu(0, 0, 154, 75);
  box->setFixedSize(whole.size());

  // Without a title bar the box needs a frame of its own to stand out.
  auto* frame = new QFrame(box);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(2);
  frame->setGeometry(QRect(QPoint(0, 0), whole.size()));

  auto* name = new QLabel(QStringLiteral("Dodevuz"), box);
  name->setAlignment(Qt::AlignCenter);
  name->setGeometry(dlu(-3, 9, 154, 8));
  auto* empty = new QLabel(QString(), box);
  empty->setAlignment(Qt::AlignCenter);
  empty->setGeometry(dlu(30, 34, 94, 8));
  auto* ok = new QPushButton(QStringLiteral("Ok"), box);
  ok->setGeometry(dlu(61, 51, 32, 14));
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
  // The full dictionary of the reader's folder, when setup made one, in
  // place of the folder -C names (the sample data, for the desktop entry).
  std::string reader_folder = options.reader ? reader_data_folder() : std::string();
  if (holds_dictionary(reader_folder)) options.folder = reader_folder.c_str();
  if (options.folder != nullptr && chdir(options.folder) != 0) {
    std::fprintf(stderr, "dodevuz-qt: cannot use folder %s: %s\n", options.folder,
                 std::strerror(errno));
    return 2;
  }

  QApplication app(argc, argv);
  QMainWindow* window = create_main_window();
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
  delete window;
  return status != 0 ? status : loop_status;
}
