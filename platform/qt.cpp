// The Qt platform of the desktop program on Linux (X11 and Wayland): blocks
// from the C heap, modal QMessageBox dialogs, the system clipboard through
// QClipboard, and panes as QPlainTextEdit widgets that show the program's
// EUC-JP text converted to Unicode.
//
// A pane keeps the program's own copy of the EUC-JP text it was made with
// and the byte offset of every UTF-16 unit it shows, so that a selection in
// the pane (QTextCursor positions, in UTF-16 units) maps back to the bytes
// the shell copies or looks up, whatever the user typed into it since.
#include "platform/qt.h"

#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/convert.h"
#include "platform/platform.h"

namespace {

// Window styles the shell asks for (the Win32 bits it passes on).
constexpr uint32_t kStyleVisible = 0x10000000;
constexpr uint32_t kStyleBorder = 0x00800000;
constexpr uint32_t kStyleVScroll = 0x00200000;
constexpr uint32_t kStyleHScroll = 0x00100000;
constexpr uint32_t kStyleAutoHScroll = 0x0080;
constexpr uint32_t kStyleReadOnly = 0x0800;

// The selected bytes as they are, beside the Unicode text of a Copy.
constexpr char kEucMimeType[] = "text/plain;charset=EUC-JP";

struct QtPane {
  QPointer<QPlainTextEdit> edit;  // null once Qt deleted it (with its window)
  QPlainTextEdit* handle;         // the Window the shell holds
  std::string euc;                // the text the pane was made with
  std::vector<uint32_t> offsets;  // byte offset in euc of each UTF-16 unit shown, and one past
};

struct PaneSlot {
  int y;  // the row of the panes it takes
  QPointer<QWidget> slot;
};

// Program-wide state of this platform: the panes made and not destroyed, and
// the slots a front end laid out for them.
struct QtDesktop {
  std::vector<QtPane> panes;
  std::vector<PaneSlot> pane_slots;
};

QtDesktop qt_desktop;

// Panes whose widget went with their window are forgotten, so that a new
// widget at the same address is never taken for one of them.
void forget_dead_panes() {
  std::erase_if(qt_desktop.panes, [](const QtPane& p) { return p.edit.isNull(); });
}

QtPane* find_pane(Window window) {
  forget_dead_panes();
  for (QtPane& pane : qt_desktop.panes) {
    if (static_cast<QWidget*>(pane.handle) == static_cast<QWidget*>(window)) return &pane;
  }
  return nullptr;
}

QWidget* widget_of(Window window) {
  return static_cast<QWidget*>(window);
}

// The slot of the window of area for panes at row y, or nullptr.
QWidget* slot_for(QWidget* area, int y) {
  std::erase_if(qt_desktop.pane_slots, [](const PaneSlot& s) { return s.slot.isNull(); });
  for (const PaneSlot& s : qt_desktop.pane_slots) {
    if (s.y == y && s.slot->window() == area->window()) return s.slot;
  }
  return nullptr;
}

bool have_gui() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

QString pane_shown_text(std::string_view euc, std::vector<uint32_t>* offsets) {
  std::vector<uint32_t> unit_offsets;
  std::u16string wide = euc_to_utf16(euc, &unit_offsets);
  QString shown;
  shown.reserve(static_cast<qsizetype>(wide.size()));
  offsets->clear();
  offsets->reserve(wide.size() + 1);
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    if (c == u'\r' || c == u'\n') {
      // A text document counts a line break as one position, so each line
      // end becomes one break standing for all of its bytes: CR LF (the
      // listing text's), CR CR LF (a passage that came with CR LF), a lone
      // LF (the entry lines of the single pane) or a lone CR.
      size_t first = i;
      if (c == u'\r') {
        size_t j = i;
        while (j < wide.size() && wide[j] == u'\r') ++j;
        if (j < wide.size() && wide[j] == u'\n') i = j;
      }
      shown.append(QChar(u'\n'));
      offsets->push_back(unit_offsets[first]);
      continue;
    }
    shown.append(QChar(c));
    offsets->push_back(unit_offsets[i]);
  }
  offsets->push_back(static_cast<uint32_t>(euc.size()));
  return shown;
}

void set_pane_slot(int y, QWidget* slot) {
  std::erase_if(qt_desktop.pane_slots, [&](const PaneSlot& s) {
    return s.slot.isNull() || (s.y == y && s.slot->window() == slot->window());
  });
  qt_desktop.pane_slots.push_back({y, slot});
}

// ---- Memory blocks ---------------------------------------------------------

MemoryBlock memory_alloc(size_t size, bool zero_fill) {
  return zero_fill ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
}

unsigned char* memory_lock(MemoryBlock block) {
  return static_cast<unsigned char*>(block);
}

void memory_unlock(MemoryBlock) {}

void memory_free(MemoryBlock block) {
  std::free(block);
}

// ---- Message boxes ---------------------------------------------------------

void message_box(Window owner, const char* text, const char* caption) {
  if (!have_gui()) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption), QString::fromUtf8(text),
                  QMessageBox::Ok, widget_of(owner));
  box.exec();
}

// ---- Clipboard -------------------------------------------------------------

bool clipboard_read_text(Window, ClipboardIntake intake, std::string* text) {
  text->clear();
  if (!have_gui()) return false;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (data == nullptr || !data->hasText()) return false;
  QString unicode = data->text();
  // A clipboard text ends at its first NUL.
  qsizetype nul = unicode.indexOf(QChar(u'\0'));
  if (nul >= 0) unicode.truncate(nul);
  QByteArray utf8 = unicode.toUtf8();
  std::string_view view(utf8.constData(), static_cast<size_t>(utf8.size()));
  // What a Japanese desktop hands a program that asks for 8-bit text.
  *text = intake == ClipboardIntake::kJis ? utf8_to_jis(view) : utf8_to_sjis(view);
  return true;
}

void clipboard_write_text(Window, const unsigned char* bytes, size_t length) {
  if (!have_gui()) return;
  std::string euc(reinterpret_cast<const char*>(bytes), length);
  // Unicode text for every other program, with the line ends of this
  // system (LF; the panes' texts end lines with CR LF); beside it the
  // selected bytes exactly as they are, as EUC-JP text.
  QString unicode = QString::fromStdString(euc_to_utf8(euc));
  unicode.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  auto* data = new QMimeData;
  data->setText(unicode);
  data->setData(QLatin1String(kEucMimeType), QByteArray::fromStdString(euc));
  QGuiApplication::clipboard()->setMimeData(data);  // the clipboard owns it
}

bool clipboard_holds_own_copy() {
  if (!have_gui()) return false;
  // The EUC-JP text beside the Unicode one is ours alone.
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data != nullptr && data->hasFormat(QLatin1String(kEucMimeType));
}

void clipboard_empty(Window) {
  if (!have_gui()) return;
  QGuiApplication::clipboard()->clear();
}

// ---- Panes -----------------------------------------------------------------

Window pane_create(Window parent, int x, int y, int width, int height, uint32_t style,
                   const unsigned char* text) {
  if (!have_gui()) return nullptr;
  forget_dead_panes();
  // The panes lie in the main window's client area: below its menu bar.
  QWidget* area = widget_of(parent);
  if (auto* main = qobject_cast<QMainWindow*>(area); main != nullptr && main->centralWidget()) {
    area = main->centralWidget();
  }
  QWidget* slot = slot_for(area, y);
  auto* edit = new QPlainTextEdit(slot != nullptr ? slot : area);
  if (slot != nullptr) {
    // The slot's layout keeps the pane filling it as the window is resized.
    if (slot->layout() == nullptr) {
      auto* layout = new QVBoxLayout(slot);
      layout->setContentsMargins(0, 0, 0, 0);
    }
    slot->layout()->addWidget(edit);
  } else {
    edit->setGeometry(x, y, width, height);
  }
  // Tab moves the focus to the next pane rather than into the text.
  edit->setTabChangesFocus(true);
  if ((style & kStyleBorder) == 0) edit->setFrameShape(QFrame::NoFrame);
  edit->setVerticalScrollBarPolicy((style & kStyleVScroll) ? Qt::ScrollBarAlwaysOn
                                                           : Qt::ScrollBarAsNeeded);
  edit->setHorizontalScrollBarPolicy((style & kStyleHScroll) ? Qt::ScrollBarAlwaysOn
                                                             : Qt::ScrollBarAlwaysOff);
  // Without horizontal scrolling a multi-line pane wraps its lines.
  edit->setLineWrapMode((style & kStyleAutoHScroll) ? QPlainTextEdit::NoWrap
                                                    : QPlainTextEdit::WidgetWidth);
  if (style & kStyleReadOnly) {
    // Nothing typed, pasted or dropped: selecting (by mouse and keys),
    // scrolling and Copy stay.
    edit->setReadOnly(true);
    edit->setAcceptDrops(false);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }

  QtPane pane{edit, edit, reinterpret_cast<const char*>(text), {}};
  edit->setPlainText(pane_shown_text(pane.euc, &pane.offsets));
  qt_desktop.panes.push_back(std::move(pane));
  if (style & kStyleVisible) edit->show();
  return static_cast<QWidget*>(edit);
}

void pane_destroy(Window window) {
  QtPane* pane = find_pane(window);
  if (pane == nullptr) return;
  delete pane->edit.data();
  forget_dead_panes();
}

void pane_selection(Window window, uint32_t* start, uint32_t* end) {
  QtPane* pane = find_pane(window);
  if (pane == nullptr) {
    *start = *end = 0;
    return;
  }
  QTextCursor cursor = pane->edit->textCursor();
  // Positions the user's typing added past the shown text map to the end of
  // the shell's copy.
  *start = utf16_to_byte_offset(pane->offsets, static_cast<size_t>(cursor.selectionStart()));
  *end = utf16_to_byte_offset(pane->offsets, static_cast<size_t>(cursor.selectionEnd()));
}

Window focus_window() {
  if (!have_gui()) return nullptr;
  // The pane itself, when the focus lies in one of its parts (its viewport).
  for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
    if (find_pane(static_cast<QWidget*>(w)) != nullptr) return static_cast<QWidget*>(w);
  }
  return static_cast<QWidget*>(QApplication::focusWidget());
}

// ---- Notices on the console ------------------------------------------------

void console_notice(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

// ---- Ending the program ----------------------------------------------------

[[noreturn]] void end_program(int status) {
  // At once: the rest of a Get chain must not run, so the event loop is not
  // asked to wind down.
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(status);
}
