// Tests of dodevuz-qt that drive the real widgets on Qt's offscreen platform:
// the menu, both Gets from a clipboard holding the sample passage, selections
// in the panes mapped back to the shell's bytes, Single, Copy, Clear All,
// Exit, the About box and the message boxes, and the program's exit when the
// romaji table is missing.
#include "qt/window.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/qt.h"
#include "romaji/romaji.h"
#include "shell/shell.h"
#include "test_paths.h"

namespace {

const char kEucMime[] = "text/plain;charset=EUC-JP";

QString data_path(const char* name) {
  return QString::fromUtf8(DODEVUZ_DATA_DIR) + QLatin1Char('/') + QLatin1String(name);
}

// The Unicode text a pane shows for the program's EUC-JP text: its line ends
// as single line breaks.
QString shown(const unsigned char* euc) {
  QString text = QString::fromStdString(euc_to_utf8(reinterpret_cast<const char*>(euc)));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

QByteArray to_euc(const QString& text) {
  return QByteArray::fromStdString(utf8_to_euc(text.toStdString()));
}

// The living pane at row y of the window's pane area, or nullptr.
QPlainTextEdit* pane_at(QMainWindow* window, int y) {
  for (auto* pane :
       window->centralWidget()->findChildren<QPlainTextEdit*>(Qt::FindDirectChildrenOnly)) {
    if (pane->geometry().y() == y) return pane;
  }
  return nullptr;
}

int pane_count(QMainWindow* window) {
  return static_cast<int>(
      window->centralWidget()->findChildren<QPlainTextEdit*>(Qt::FindDirectChildrenOnly).size());
}

void select(QPlainTextEdit* pane, int start, int end) {
  QTextCursor cursor(pane->document());
  cursor.setPosition(start);
  cursor.setPosition(end, QTextCursor::KeepAnchor);
  pane->setTextCursor(cursor);
}

// Closes every modal box that opens while it lives, by its OK button (or,
// for another dialog, by accepting it), and records "caption|text".
class ModalCloser {
 public:
  ModalCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.push_back(box->windowTitle() + QLatin1Char('|') + box->text());
        buttons.push_back(box->standardButtons());
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
      } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->accept();
      }
    });
    timer_.start(10);
  }
  QStringList seen;
  std::vector<QMessageBox::StandardButtons> buttons;

 private:
  QTimer timer_;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void menu_holds_the_seven_items_in_order();
  void both_gets_show_the_listing_and_romaji_of_the_passage();
  void single_looks_up_the_selected_word();
  void copy_takes_the_focused_panes_selection();
  void copy_takes_the_shells_bytes_after_typing();
  void copy_through_the_keyboard_menu_keeps_the_panes_focus();
  void clear_all_removes_the_panes_and_empties_the_clipboard();
  void exit_empties_the_clipboard_and_closes_the_window();
  void closing_the_window_keeps_the_clipboard();
  void resizing_moves_no_pane();
  void about_box_closes_on_enter_not_on_escape();
  void missing_dictionary_shows_its_message_boxes();
  void line_ends_are_one_position_each();
  void program_ends_when_the_romaji_table_is_missing();
  void screenshot_after_a_get();

 private:
  void trigger(int id);
  void get_passage(int id);

  QTemporaryDir data_dir_;
  QString start_dir_;
  QString passage_;
  QMainWindow* window_ = nullptr;
};

void WindowTest::initTestCase() {
  QVERIFY(data_dir_.isValid());
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
    QVERIFY2(QFile::copy(data_path(name), data_dir_.filePath(QLatin1String(name))), name);
  }
  QFile passage(QStringLiteral(DODEVUZ_SOURCE_DATA_DIR "/samples/passage.utf8.txt"));
  QVERIFY(passage.open(QIODevice::ReadOnly));
  passage_ = QString::fromUtf8(passage.readAll());
  start_dir_ = QDir::currentPath();
  QVERIFY(QDir::setCurrent(data_dir_.path()));
}

void WindowTest::init() {
  reset_program_state();
  QApplication::clipboard()->clear();
  window_ = create_main_window();
  window_->show();
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_));
}

void WindowTest::cleanup() {
  reset_program_state();
  delete window_;
  window_ = nullptr;
  QDir::setCurrent(data_dir_.path());
}

void WindowTest::trigger(int id) {
  for (QAction* menu : window_->menuBar()->actions()) {
    for (QAction* item : menu->menu()->actions()) {
      if (!item->isSeparator() && item->data().toInt() == id) {
        item->trigger();
        return;
      }
    }
  }
  QFAIL("no menu item for the id");
}

void WindowTest::get_passage(int id) {
  QApplication::clipboard()->setText(passage_);
  trigger(id);
}

void WindowTest::menu_holds_the_seven_items_in_order() {
  QCOMPARE(window_->windowTitle(), QStringLiteral("Dodevuz(J>E) demo"));
  QList<QAction*> menus = window_->menuBar()->actions();
  QCOMPARE(menus.size(), 2);
  QCOMPARE(menus[0]->text(), QStringLiteral("File"));
  QCOMPARE(menus[1]->text(), QStringLiteral("Edit"));

  QStringList items;
  for (QAction* menu : menus) {
    for (QAction* item : menu->menu()->actions()) {
      items << (item->isSeparator() ? QStringLiteral("-")
                                    : item->text() + QLatin1Char(' ') + item->data().toString());
      QVERIFY(item->shortcut().isEmpty());
      QVERIFY(!item->text().contains(QLatin1Char('&')));
    }
    items << QStringLiteral("|");
  }
  QCOMPARE(items,
           QStringList({"Get Dodevuz JIS 108", "Get Dodevuz SHIFT 109", "Single Dodevuz 105",
                        "Clear All 110", "-", "About 102", "Exit 101", "|", "Copy 106", "|"}));
}

void WindowTest::both_gets_show_the_listing_and_romaji_of_the_passage() {
  get_passage(kCmdGetShift);
  QPointer<QPlainTextEdit> romaji_pane = pane_at(window_, 0);
  QPointer<QPlainTextEdit> listing_pane = pane_at(window_, 192);
  QVERIFY(romaji_pane && listing_pane);
  QCOMPARE(romaji_pane->geometry(), QRect(10, 0, 630, 190));
  QCOMPARE(listing_pane->geometry(), QRect(10, 192, 630, 100));
  QVERIFY(romaji_pane->isVisible() && listing_pane->isVisible());
  QVERIFY(!listing_pane->isReadOnly());
  QCOMPARE(listing_pane->frameShape(), QFrame::NoFrame);  // the listing pane has no border
  QVERIFY(romaji_pane->frameShape() != QFrame::NoFrame);

  // The panes show the shell's texts exactly, line ends as line breaks.
  QString listing = listing_pane->toPlainText();
  QCOMPARE(listing, shown(lookup.listing_text));
  QCOMPARE(romaji_pane->toPlainText(), shown(romaji.romaji_buffer));
  QVERIFY(listing.startsWith(
      QStringLiteral("日本語        日本語 [にほんご] /(n) the Japanese language/(P)/\n")));
  QVERIFY(listing.contains(QStringLiteral("東京 [とうきょう] /(n) Tokyo")));
  QVERIFY(romaji_pane->toPlainText().contains(QStringLiteral("[nihongo]")));

  // Single in between: the next Get replaces the listing and romaji panes,
  // and leaves the single pane alone.
  trigger(kCmdSingle);
  QPointer<QPlainTextEdit> single_pane = pane_at(window_, 294);
  QVERIFY(single_pane);
  get_passage(kCmdGetJis);
  QVERIFY(romaji_pane.isNull() && listing_pane.isNull());
  QVERIFY(!single_pane.isNull());
  QVERIFY(pane_at(window_, 192) && pane_at(window_, 0));
  QCOMPARE(pane_at(window_, 192)->toPlainText(), listing);
  QCOMPARE(pane_count(window_), 3);
}

void WindowTest::single_looks_up_the_selected_word() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = pane_at(window_, 192);
  QString listing = listing_pane->toPlainText();

  // 東京 lies several lines down: each line end before it stands for two
  // bytes of the listing text, one position of the pane.
  struct Case {
    QString word;
    QString entry;
  };
  for (const Case& c :
       {Case{"勉強", "勉強 [べんきょう] /(n,vs) study/learning/(P)/\n"},
        Case{"東京", "東京 [とうきょう] /(n) Tokyo (capital city of Japan)/(P)/\n"}}) {
    qsizetype at = listing.indexOf(c.word);
    QVERIFY(at > 0);
    select(listing_pane, static_cast<int>(at), static_cast<int>(at + c.word.size()));
    trigger(kCmdSingle);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(lookup.search_key)), to_euc(c.word));
    QPlainTextEdit* single_pane = pane_at(window_, 294);
    QVERIFY(single_pane);
    QCOMPARE(single_pane->geometry(), QRect(10, 294, 630, 100));
    QVERIFY(single_pane->frameShape() != QFrame::NoFrame);
    QCOMPARE(single_pane->toPlainText(), shown(lookup.single_buffer));
    QVERIFY2(single_pane->toPlainText().contains(c.entry), qPrintable(single_pane->toPlainText()));
    QCOMPARE(pane_count(window_), 3);  // the earlier single pane is gone
  }
}

void WindowTest::copy_takes_the_focused_panes_selection() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = pane_at(window_, 192);
  QPlainTextEdit* romaji_pane = pane_at(window_, 0);
  QString listing = listing_pane->toPlainText();
  const QClipboard* clipboard = QApplication::clipboard();

  // Listing pane: a selection over a line end copies its CR LF.
  qsizetype start = listing.indexOf(QStringLiteral("勉強"));
  qsizetype end = listing.indexOf(QLatin1Char('\n'), start) + 4;
  select(listing_pane, static_cast<int>(start), static_cast<int>(end));
  listing_pane->setFocus();
  QCOMPARE(focus_window(), static_cast<Window>(static_cast<QWidget*>(listing_pane)));
  trigger(kCmdCopy);
  QString selected = listing.mid(start, end - start);
  QCOMPARE(clipboard->text(), selected);
  QByteArray euc = clipboard->mimeData()->data(QLatin1String(kEucMime));
  QCOMPARE(euc, to_euc(QString(selected).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))));
  QVERIFY(euc.contains("\r\n"));

  // Single pane: from the single buffer.
  select(listing_pane, static_cast<int>(start), static_cast<int>(start + 2));
  trigger(kCmdSingle);
  QPlainTextEdit* single_pane = pane_at(window_, 294);
  single_pane->setFocus();
  single_pane->selectAll();
  trigger(kCmdCopy);
  QCOMPARE(clipboard->mimeData()->data(QLatin1String(kEucMime)),
           QByteArray(reinterpret_cast<const char*>(lookup.single_buffer)));
  QCOMPARE(clipboard->text(), shown(lookup.single_buffer));

  // Romaji pane, focused or not: the focus on the main window copies its
  // selection too.
  QString romaji_text = romaji_pane->toPlainText();
  for (bool focus_romaji : {true, false}) {
    select(romaji_pane, 3, 12);
    if (focus_romaji) {
      romaji_pane->setFocus();
    } else {
      window_->setFocus();
    }
    trigger(kCmdCopy);
    QCOMPARE(clipboard->text(), romaji_text.mid(3, 9));
    QCOMPARE(clipboard->mimeData()->data(QLatin1String(kEucMime)), to_euc(romaji_text.mid(3, 9)));
  }

  // Nothing selected: an empty text replaces what the clipboard held.
  select(romaji_pane, 5, 5);
  trigger(kCmdCopy);
  QCOMPARE(clipboard->text(), QString());
  QVERIFY(clipboard->mimeData()->hasFormat(QLatin1String(kEucMime)));
}

void WindowTest::copy_takes_the_shells_bytes_after_typing() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = pane_at(window_, 192);
  QString before = listing_pane->toPlainText();
  QTextCursor cursor(listing_pane->document());
  cursor.insertText(QStringLiteral("xyz"));  // what a user might type
  listing_pane->setFocus();
  select(listing_pane, 0, 2);
  trigger(kCmdCopy);
  QCOMPARE(QApplication::clipboard()->text(), before.left(2));

  // A selection reaching past the shell's text is cut at its end.
  listing_pane->moveCursor(QTextCursor::End);
  cursor = listing_pane->textCursor();
  cursor.insertText(QStringLiteral("more typing"));
  select(listing_pane, static_cast<int>(before.size()) - 1,
         static_cast<int>(listing_pane->document()->characterCount()) - 1);
  trigger(kCmdCopy);
  QCOMPARE(QApplication::clipboard()->mimeData()->data(QLatin1String(kEucMime)),
           QByteArray("\r\n"));
}

void WindowTest::copy_through_the_keyboard_menu_keeps_the_panes_focus() {
  // Alt puts the focus on the menu bar while the user walks it; the pane
  // must have it back when "Copy" runs, or the romaji pane would be copied.
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = pane_at(window_, 192);
  select(listing_pane, 0, 3);
  listing_pane->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Alt);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window_->menuBar()));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);  // to Edit
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);   // opens it
  QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);  // Copy
  QTRY_COMPARE(QApplication::clipboard()->text(), listing_pane->toPlainText().left(3));
}

void WindowTest::clear_all_removes_the_panes_and_empties_the_clipboard() {
  get_passage(kCmdGetShift);
  trigger(kCmdSingle);
  pane_at(window_, 0)->selectAll();
  trigger(kCmdCopy);
  QVERIFY(!QApplication::clipboard()->text().isEmpty());
  QCOMPARE(pane_count(window_), 3);
  for (int round = 0; round < 2; ++round) {
    trigger(kCmdClearAll);
    QCOMPARE(pane_count(window_), 0);
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    const QMimeData* data = QApplication::clipboard()->mimeData();
    QVERIFY(data == nullptr || data->formats().isEmpty());
  }
  QVERIFY(window_->isVisible());

  // And everything afresh with the next Get.
  get_passage(kCmdGetJis);
  QCOMPARE(pane_count(window_), 2);
  QCOMPARE(pane_at(window_, 192)->toPlainText(), shown(lookup.listing_text));
}

void WindowTest::exit_empties_the_clipboard_and_closes_the_window() {
  get_passage(kCmdGetShift);
  pane_at(window_, 0)->selectAll();
  trigger(kCmdCopy);
  QVERIFY(!QApplication::clipboard()->text().isEmpty());
  trigger(kCmdExit);
  QVERIFY(QApplication::clipboard()->text().isEmpty());
  QCOMPARE(pane_count(window_), 0);
  QTRY_VERIFY(!window_->isVisible());
}

void WindowTest::closing_the_window_keeps_the_clipboard() {
  // The close box skips the clean-up: what was copied stays for others.
  get_passage(kCmdGetShift);
  pane_at(window_, 0)->selectAll();
  trigger(kCmdCopy);
  QString copied = QApplication::clipboard()->text();
  QVERIFY(!copied.isEmpty());
  QVERIFY(window_->close());
  QCOMPARE(QApplication::clipboard()->text(), copied);
  QCOMPARE(pane_count(window_), 2);
}

void WindowTest::resizing_moves_no_pane() {
  get_passage(kCmdGetShift);
  trigger(kCmdSingle);
  for (QSize size : {QSize(900, 700), QSize(300, 200)}) {
    window_->resize(size);
    QApplication::processEvents();
    QCOMPARE(pane_at(window_, 0)->geometry(), QRect(10, 0, 630, 190));
    QCOMPARE(pane_at(window_, 192)->geometry(), QRect(10, 192, 630, 100));
    QCOMPARE(pane_at(window_, 294)->geometry(), QRect(10, 294, 630, 100));
  }
}

void WindowTest::about_box_closes_on_enter_not_on_escape() {
  QPointer<QDialog> seen;
  bool stayed_on_escape = false;
  bool closed_on_enter = false;
  QTimer::singleShot(0, [&] {
    seen = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!seen) return;
    QTest::keyClick(seen, Qt::Key_Escape);
    stayed_on_escape = seen->isVisible();
    QTest::keyClick(seen, Qt::Key_Return);
    closed_on_enter = !seen->isVisible();
  });
  // Never hang the suite: whatever the keys did, the box goes in time.
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->done(0);
  });
  guard.start(3000);
  trigger(kCmdAbout);
  QVERIFY(stayed_on_escape);
  QVERIFY(closed_on_enter);

  // Its face, on its own.
  QDialog* box = create_about_box(window_);
  QVERIFY(box->windowFlags() & Qt::FramelessWindowHint);
  QStringList labels;
  for (QLabel* label : box->findChildren<QLabel*>()) {
    labels << label->text();
    QVERIFY(label->alignment() & Qt::AlignHCenter);
  }
  QCOMPARE(labels, QStringList({"Dodevuz", ""}));
  QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
  QCOMPARE(buttons.size(), 1);
  QCOMPARE(buttons[0]->text(), QStringLiteral("Ok"));
  QVERIFY(buttons[0]->isDefault());
  delete box;
}

void WindowTest::missing_dictionary_shows_its_message_boxes() {
  QTemporaryDir without_edict;
  for (const char* name : {"edict.jdx", "kanarom.cnv"}) {
    QVERIFY(QFile::copy(data_path(name), without_edict.filePath(QLatin1String(name))));
  }
  QVERIFY(QDir::setCurrent(without_edict.path()));
  QStringList seen;
  {
    ModalCloser closer;
    get_passage(kCmdGetShift);
    seen = closer.seen;
    for (auto buttons : closer.buttons)
      QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }
  QVERIFY2(seen.size() >= 2, qPrintable(seen.join(QLatin1Char(';'))));
  QCOMPARE(seen[0], QStringLiteral("edict|Cannot open dictionary file:"));
  QCOMPARE(seen[1], QStringLiteral(" |Stat() error"));
  // The chain goes on: the panes are made all the same.
  QCOMPARE(pane_count(window_), 2);
}

void WindowTest::line_ends_are_one_position_each() {
  // Bytes: A CR LF B LF C CR CR LF D CR, then 日 (two bytes).
  const std::string euc = std::string("A\r\nB\nC\r\r\nD\r") + utf8_to_euc("日");
  std::vector<uint32_t> offsets;
  QString text = pane_shown_text(euc, &offsets);
  QCOMPARE(text, QStringLiteral("A\nB\nC\nD\n日"));
  QCOMPARE(offsets, (std::vector<uint32_t>{0, 1, 3, 4, 5, 6, 9, 10, 11, 13}));

  // A pane shows it with the same positions, and maps its selections back.
  Window pane = pane_create(static_cast<QWidget*>(window_), 10, 0, 630, 190, 0x50A00144,
                            reinterpret_cast<const unsigned char*>(euc.c_str()));
  auto* edit = static_cast<QPlainTextEdit*>(static_cast<QWidget*>(pane));
  QCOMPARE(edit->toPlainText(), text);
  struct Case {
    int from, to;
    uint32_t start, end;
  };
  for (Case c : {Case{1, 2, 1, 3}, Case{5, 6, 6, 9}, Case{8, 9, 11, 13}, Case{0, 9, 0, 13},
                 Case{4, 4, 5, 5}}) {
    select(edit, c.from, c.to);
    uint32_t start = 0, end = 0;
    pane_selection(pane, &start, &end);
    QCOMPARE(start, c.start);
    QCOMPARE(end, c.end);
  }
  pane_destroy(pane);
  uint32_t start = 7, end = 7;
  pane_selection(pane, &start, &end);  // a destroyed pane has no selection
  QCOMPARE(start, 0u);
  QCOMPARE(end, 0u);
}

void WindowTest::program_ends_when_the_romaji_table_is_missing() {
  QTemporaryDir without_table;
  for (const char* name : {"edict", "edict.jdx"}) {
    QVERIFY(QFile::copy(data_path(name), without_table.filePath(QLatin1String(name))));
  }
  QProcess program;
  program.start(QStringLiteral(DODEVUZ_QT_PROGRAM),
                {"-C", without_table.path(), "--clipboard",
                 QStringLiteral(DODEVUZ_SOURCE_DATA_DIR "/samples/passage.utf8.txt"), "--command",
                 "109", "--screenshot", without_table.filePath("never.png")});
  QVERIFY(program.waitForFinished(30000));
  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 1);
  QCOMPARE(program.readAllStandardOutput(), QByteArray("Unable to open: kanarom.cnv\n"));
  // The chain stopped there: no romaji pane, no picture.
  QVERIFY(!QFile::exists(without_table.filePath("never.png")));
}

void WindowTest::screenshot_after_a_get() {
  QTemporaryDir out;
  QString png = out.filePath("window.png");
  QProcess program;
  program.start(QStringLiteral(DODEVUZ_QT_PROGRAM),
                {"-C", data_dir_.path(), "--clipboard",
                 QStringLiteral(DODEVUZ_SOURCE_DATA_DIR "/samples/passage.utf8.txt"), "--command",
                 "109", "--screenshot", png});
  QVERIFY(program.waitForFinished(30000));
  QCOMPARE(program.exitCode(), 0);
  QImage image(png);
  QVERIFY(!image.isNull());
  QVERIFY(image.width() >= kClientWidth && image.height() >= kClientHeight);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
