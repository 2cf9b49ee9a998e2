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
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kanji/kanji.h"
#include "lookup/lookup.h"
#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/qt.h"
#include "romaji/romaji.h"
#include "shell/desktop.h"
#include "shell/kanji_details.h"
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

// The three panes as the shell holds them, or nullptr.
QPlainTextEdit* the_romaji() {
  return qobject_cast<QPlainTextEdit*>(static_cast<QWidget*>(romaji.romaji_pane));
}
QPlainTextEdit* the_listing() {
  return qobject_cast<QPlainTextEdit*>(static_cast<QWidget*>(shell.listing_pane));
}
QPlainTextEdit* the_single() {
  return qobject_cast<QPlainTextEdit*>(static_cast<QWidget*>(shell.single_pane));
}

// A pane's place in the window's pane area.
QRect area_rect(QMainWindow* window, QWidget* pane) {
  return QRect(pane->mapTo(window->centralWidget(), QPoint(0, 0)), pane->size());
}

int pane_count(QMainWindow* window) {
  return static_cast<int>(window->centralWidget()->findChildren<QPlainTextEdit*>().size());
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

  void menu_holds_its_items_in_order();
  void both_gets_show_the_listing_and_romaji_of_the_passage();
  void next_pages_through_a_long_passage();
  void single_looks_up_the_selected_word();
  void dictionary_forms_lists_the_passage_again_by_dictionary_form();
  void copy_takes_the_focused_panes_selection();
  void add_to_word_list_appends_the_word_once_and_reports_a_failure();
  void kanji_details_fill_the_single_pane_and_a_selection_names_its_kanji();
  void copy_takes_the_shells_bytes_after_typing();
  void panes_are_read_only();
  void copy_through_the_keyboard_menu_keeps_the_panes_focus();
  void clear_all_removes_the_panes_and_empties_the_clipboard();
  void exit_empties_the_clipboard_and_closes_the_window();
  void closing_the_window_keeps_the_clipboard();
  void panes_follow_the_window();
  void panes_are_there_from_the_start();
  void shortcuts_and_mnemonics_run_their_commands();
  void tab_moves_between_the_panes();
  void status_bar_says_what_a_command_did();
  void watching_the_clipboard_gets_each_new_text_once();
  void text_size_grows_and_shrinks_for_the_session();
  void about_box_closes_on_enter_and_on_escape();
  void about_box_credits_every_dictionary_with_its_licence();
  void watch_never_empties_the_panes();
  void open_and_drop_list_a_file_in_each_encoding();
  void settings_are_kept_between_runs();
  void damaged_settings_give_the_defaults();
  void dark_palette_gives_dark_panes();
  void greyed_shortcut_says_why();
  void open_word_list_opens_the_file_or_its_folder();
  void missing_dictionary_shows_its_message_boxes();
  void line_ends_are_one_position_each();
  void program_ends_when_the_romaji_table_is_missing();
  void screenshot_after_a_get();

 public slots:
  void url_opened(const QUrl& url) { opened_urls_ << url; }

 private:
  QList<QUrl> opened_urls_;
  void trigger(int id);
  QAction* action_of(int id);
  void get_passage(int id);

  QTemporaryDir data_dir_;
  QString start_dir_;
  QString passage_;
  QMainWindow* window_ = nullptr;
};

void WindowTest::initTestCase() {
  QVERIFY(data_dir_.isValid());
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv", "deinflect.txt"}) {
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
  reset_desktop_shell();
  QApplication::clipboard()->clear();
  window_ = create_main_window();
  window_->show();
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_));
}

void WindowTest::cleanup() {
  reset_program_state();
  reset_desktop_shell();
  delete window_;
  window_ = nullptr;
  QDir::setCurrent(data_dir_.path());
}

QAction* WindowTest::action_of(int id) {
  for (QAction* menu : window_->menuBar()->actions()) {
    for (QAction* item : menu->menu()->actions()) {
      if (!item->isSeparator() && item->data().toInt() == id) return item;
    }
  }
  return nullptr;
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

void WindowTest::menu_holds_its_items_in_order() {
  QCOMPARE(window_->windowTitle(), QStringLiteral("Dodevuz(J>E) demo"));
  QList<QAction*> menus = window_->menuBar()->actions();
  QStringList titles;
  for (QAction* menu : menus) titles << menu->text();
  QCOMPARE(titles, QStringList({"&File", "&Edit", "&View", "&Options"}));

  // The program's texts and ids, each item with a mnemonic of its own in
  // its menu, and the shortcuts of the frequent commands.
  QStringList items;
  for (QAction* menu : menus) {
    QSet<QChar> mnemonics;
    for (QAction* item : menu->menu()->actions()) {
      if (item->isSeparator()) {
        items << QStringLiteral("-");
        continue;
      }
      QString text = item->text();
      qsizetype amp = text.indexOf(QLatin1Char('&'));
      QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(text));
      QVERIFY2(!mnemonics.contains(text[amp + 1].toLower()), qPrintable(text));
      mnemonics.insert(text[amp + 1].toLower());
      QString keys = item->shortcut().toString(QKeySequence::PortableText);
      items << text.remove(amp, 1) + QLatin1Char(' ') + item->data().toString() +
                   (keys.isEmpty() ? QString() : QLatin1Char(' ') + keys) +
                   (item->isCheckable() ? QStringLiteral(" checkable") : QString());
    }
    items << QStringLiteral("|");
  }
  QCOMPARE(
      items,
      QStringList({"Get Dodevuz JIS 108 Ctrl+Shift+J", "Get Dodevuz SHIFT 109 Ctrl+Shift+V",
                   "Get Dodevuz NEXT 111 Ctrl+N", "Single Dodevuz 105 Ctrl+L",
                   "Open... 119 Ctrl+O", "Clear All 110", "Watch clipboard 112 checkable", "-",
                   "About 102 F1", "Exit 101 Ctrl+Q", "|", "Copy 106 Ctrl+C",
                   "Add to Word List 113 Ctrl+D", "Kanji Details 117 Ctrl+K",
                   "Mark as Known 118 Ctrl+Shift+K", "Open Word List 121", "|",
                   "Larger Text 115 Ctrl++", "Smaller Text 116 Ctrl+-", "|",
                   "Dictionary forms 114 checkable", "Reset Settings 120", "|"}));
  QVERIFY(!action_of(kCmdWatchClipboard)->isChecked());  // not watching at start
  QVERIFY(!menus[0]->menu()->actions()[2]->isEnabled());  // NEXT: nothing listed yet
  QVERIFY(!menus[3]->menu()->actions()[0]->isChecked());  // the classic listing at start
}

void WindowTest::next_pages_through_a_long_passage() {
  // The sample passage over and over, nearly a whole kanji buffer of it.
  QString passage;
  while (passage.size() < 19000) passage += passage_;
  QApplication::clipboard()->setText(passage);
  trigger(kCmdGetShift);
  QAction* next = window_->menuBar()->actions()[0]->menu()->actions()[2];
  QCOMPARE(next->data().toInt(), kCmdNext);
  int pages = 1;
  int32_t listed = 0;
  // The pages' texts without their notices, and where the next item must
  // begin: every byte of the passage in one item, once.
  std::string listing, romaji_text;
  int32_t item_end = 0;
  auto take_page = [&] {
    std::string page(reinterpret_cast<const char*>(lookup.listing_text));
    std::string romaji_page(reinterpret_cast<const char*>(romaji.romaji_buffer));
    listing += page.substr(0, page.size() - lookup.notice_text_length);
    romaji_text += romaji_page.substr(0, romaji_page.size() - lookup.notice_text_length);
    for (int32_t k = 0; k < lookup.item_count; ++k) {
      QCOMPARE(lookup.items[k].passage_offset, item_end);
      item_end += lookup.items[k].passage_length;
    }
  };
  while (next->isEnabled() && pages < 50) {
    QPointer<QPlainTextEdit> listing_pane = the_listing();
    QPointer<QPlainTextEdit> romaji_pane = the_romaji();
    QVERIFY(listing_pane && romaji_pane);
    const QString notice =
        QString::fromLatin1(listing_notice(lookup.listing_stop, lookup.passage_length).c_str());
    QVERIFY(listing_pane->toPlainText().endsWith(notice + QLatin1Char('\n')));
    QVERIFY(romaji_pane->toPlainText().endsWith(notice + QLatin1Char('\n')));
    QVERIFY(lookup.listing_stop > listed);
    take_page();
    listed = lookup.listing_stop;
    trigger(kCmdNext);
    QCOMPARE(lookup.listing_start, listed);
    ++pages;
  }
  QVERIFY(pages >= 3);
  QCOMPARE(lookup.listing_stop, lookup.passage_length);
  QVERIFY(!the_listing()->toPlainText().contains(QStringLiteral("-- listing full")));
  take_page();
  QCOMPARE(item_end, lookup.passage_length);

  // Together the pages are what one `dodevuz get --all` of the same text
  // lists, listing and romaji.
  QTemporaryDir dir;
  QFile text(dir.filePath(QStringLiteral("passage.txt")));
  QVERIFY(text.open(QIODevice::WriteOnly));
  text.write(passage.toUtf8());
  text.close();
  for (const char* pane : {"listing", "romaji"}) {
    QProcess all;
    all.start(QStringLiteral(DODEVUZ_CLI_PROGRAM),
              {"get", "--all", "--raw", "--pane", pane, "-C", data_dir_.path(), text.fileName()});
    QVERIFY(all.waitForFinished(30000));
    QCOMPARE(all.exitCode(), 0);
    const std::string want = all.readAllStandardOutput().toStdString();
    QVERIFY2(want == (std::strcmp(pane, "listing") == 0 ? listing : romaji_text), pane);
  }

  // A Get starts afresh; Clear All forgets the passage.
  trigger(kCmdGetShift);
  QVERIFY(next->isEnabled());
  trigger(kCmdClearAll);
  QVERIFY(!next->isEnabled());
}

void WindowTest::both_gets_show_the_listing_and_romaji_of_the_passage() {
  get_passage(kCmdGetShift);
  QPointer<QPlainTextEdit> romaji_pane = the_romaji();
  QPointer<QPlainTextEdit> listing_pane = the_listing();
  QVERIFY(romaji_pane && listing_pane);
  QCOMPARE(area_rect(window_, romaji_pane), QRect(10, 0, 630, 100));
  QCOMPARE(area_rect(window_, listing_pane), QRect(10, 102, 630, 190));
  QVERIFY(romaji_pane->isVisible() && listing_pane->isVisible());
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
  QPointer<QPlainTextEdit> single_pane = the_single();
  QVERIFY(single_pane);
  get_passage(kCmdGetJis);
  QVERIFY(romaji_pane.isNull() && listing_pane.isNull());
  QVERIFY(!single_pane.isNull());
  QVERIFY(the_listing() && the_romaji());
  QCOMPARE(the_listing()->toPlainText(), listing);
  QCOMPARE(pane_count(window_), 3);
}

void WindowTest::single_looks_up_the_selected_word() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
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
    QPlainTextEdit* single_pane = the_single();
    QVERIFY(single_pane);
    QCOMPARE(area_rect(window_, single_pane), QRect(10, 294, 630, 100));
    QVERIFY(single_pane->frameShape() != QFrame::NoFrame);
    QCOMPARE(single_pane->toPlainText(), shown(lookup.single_buffer));
    QVERIFY2(single_pane->toPlainText().contains(c.entry), qPrintable(single_pane->toPlainText()));
    QCOMPARE(pane_count(window_), 3);  // the earlier single pane is gone
  }
}

void WindowTest::add_to_word_list_appends_the_word_once_and_reports_a_failure() {
  QTemporaryDir folder;
  for (const char* name : {"edict", "edict.jdx", "kanarom.cnv"}) {
    QVERIFY(QFile::copy(data_path(name), folder.filePath(QLatin1String(name))));
  }
  QVERIFY(QDir::setCurrent(folder.path()));
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
  const QString listing = listing_pane->toPlainText();
  const qsizetype at = listing.indexOf(QStringLiteral("勉強"));
  QVERIFY(at > 0);
  select(listing_pane, static_cast<int>(at), static_cast<int>(at + 2));
  trigger(kCmdAddToWordList);
  trigger(kCmdAddToWordList);
  QFile list(folder.filePath(QStringLiteral("wordlist.tsv")));
  QVERIFY(list.open(QIODevice::ReadOnly));
  const QStringList rows = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'));
  list.close();
  QCOMPARE(rows.size(), 2);  // one row and the empty text after its line end
  const QStringList fields = rows[0].split(QLatin1Char('\t'));
  QCOMPARE(fields.size(), 5);
  QCOMPARE(fields[0], QStringLiteral("勉強"));
  QCOMPARE(fields[1], QStringLiteral("べんきょう"));
  QCOMPARE(fields[2], QStringLiteral("(n,vs) study; learning; (P)"));
  QVERIFY2(fields[3].contains(QStringLiteral("勉強")), qPrintable(fields[3]));
  QVERIFY(the_single()->toPlainText().contains(QStringLiteral("勉強 [べんきょう]")));

  // Mark as Known takes the same word, once.
  trigger(kCmdMarkKnown);
  trigger(kCmdMarkKnown);
  QFile known(folder.filePath(QStringLiteral("known.tsv")));
  QVERIFY(known.open(QIODevice::ReadOnly));
  QCOMPARE(QString::fromUtf8(known.readAll()), QStringLiteral("勉強\tべんきょう\n"));

  // A word list that cannot be written: the message box, and the file as it was.
  QVERIFY(list.remove());
  QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("wordlist.tsv")));
  QStringList seen;
  {
    ModalCloser closer;
    trigger(kCmdAddToWordList);
    QTRY_VERIFY(!closer.seen.isEmpty());
    seen = closer.seen;
  }
  QCOMPARE(seen, QStringList{QStringLiteral("wordlist.tsv|Cannot write to word list file:")});
}

void WindowTest::kanji_details_fill_the_single_pane_and_a_selection_names_its_kanji() {
  QFile kanjidic(QStringLiteral("kanjidic"));
  QVERIFY(kanjidic.open(QIODevice::WriteOnly));
  kanjidic.write(
      to_euc(QStringLiteral("# kanji for the tests/Copyright The Testers - 2024/\n"
                            "勉 4A59 U52c9 B19 G3 S10 F1066 ベン つと.める {exertion}\n"
                            "強 362F U5f37 B57 G2 S11 キョウ つよ.い {strong}\n")));
  kanjidic.close();
  reset_kanji();
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
  const qsizetype at = listing_pane->toPlainText().indexOf(QStringLiteral("勉強"));
  QVERIFY(at > 0);
  select(listing_pane, static_cast<int>(at), static_cast<int>(at + 2));
  QCOMPARE(status_text(window_), QStringLiteral("勉: 10 strokes, grade 3"));

  trigger(kCmdKanjiDetails);
  const QString shown = the_single()->toPlainText();
  QVERIFY2(shown.startsWith(QStringLiteral("勉  JIS 4A59  U+52C9\n  Meanings:   exertion\n")),
           qPrintable(shown));
  QVERIFY2(shown.contains(QStringLiteral("\n\n強  JIS 362F")), qPrintable(shown));
  QCOMPARE(status_text(window_), QStringLiteral("Details of 2 kanji"));
  // Copy takes what the single pane shows.
  select(the_single(), 0, 1);
  the_single()->setFocus();
  trigger(kCmdCopy);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("勉"));

  // Without kanjidic the status says so and the single pane is empty.
  QVERIFY(kanjidic.remove());
  reset_kanji();
  select(listing_pane, static_cast<int>(at), static_cast<int>(at + 2));
  trigger(kCmdKanjiDetails);
  QCOMPARE(status_text(window_), QStringLiteral("No kanji dictionary: kanjidic is missing"));
  QCOMPARE(the_single()->toPlainText(), QString());
}

void WindowTest::dictionary_forms_lists_the_passage_again_by_dictionary_form() {
  get_passage(kCmdGetShift);
  const QString classic = the_listing()->toPlainText();
  const QString polite = QStringLiteral("(polite of 読む) 読む [よむ]");
  QVERIFY(!classic.contains(polite));

  trigger(kCmdDictionaryForms);
  QAction* item = window_->menuBar()->actions()[3]->menu()->actions()[0];
  QVERIFY(item->isChecked());
  QVERIFY(lookup.dictionary_forms);
  // The passage in hand is listed again at once, 読みます by 読む's entry.
  QVERIFY2(the_listing()->toPlainText().contains(QStringLiteral("読みます        ") + polite),
           qPrintable(the_listing()->toPlainText()));
  QCOMPARE(pane_count(window_), 3);
  QVERIFY(status_text(window_).startsWith(QStringLiteral("Dictionary forms")));

  trigger(kCmdDictionaryForms);
  QVERIFY(!item->isChecked());
  QCOMPARE(the_listing()->toPlainText(), classic);
}

void WindowTest::copy_takes_the_focused_panes_selection() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
  QPlainTextEdit* romaji_pane = the_romaji();
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
  QPlainTextEdit* single_pane = the_single();
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

  // Nothing selected: the clipboard keeps what it held.
  QApplication::clipboard()->setText(QStringLiteral("the reader's"));
  select(romaji_pane, 5, 5);
  trigger(kCmdCopy);
  QCOMPARE(clipboard->text(), QStringLiteral("the reader's"));
}

void WindowTest::copy_takes_the_shells_bytes_after_typing() {
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
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

// Selections are resolved against the program's own copy of a pane's text:
// a key typed, text pasted or dropped into a pane must change nothing, while
// selecting by keys and Copy still work.
void WindowTest::panes_are_read_only() {
  get_passage(kCmdGetShift);
  select(the_listing(), 0, 2);
  trigger(kCmdSingle);
  for (QPlainTextEdit* pane : {the_romaji(), the_listing(), the_single()}) {
    QVERIFY(pane != nullptr);
    QVERIFY(pane->isReadOnly());
    QVERIFY(!pane->acceptDrops());
  }
  QPlainTextEdit* listing_pane = the_listing();
  const QString before = listing_pane->toPlainText();
  listing_pane->setFocus();
  select(listing_pane, 0, 2);
  QTest::keyClicks(listing_pane, QStringLiteral("xyz"));
  QTest::keyClick(listing_pane, Qt::Key_Backspace);
  QApplication::clipboard()->setText(QStringLiteral("pasted"));
  QTest::keyClick(listing_pane, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(listing_pane->toPlainText(), before);
  // Shift and the arrow keys still select.
  QTextCursor cursor = listing_pane->textCursor();
  cursor.setPosition(0);
  listing_pane->setTextCursor(cursor);
  QTest::keyClick(listing_pane, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(listing_pane, Qt::Key_Right, Qt::ShiftModifier);
  QCOMPARE(listing_pane->textCursor().selectedText(), before.left(2));
  trigger(kCmdCopy);
  QCOMPARE(QApplication::clipboard()->text(), before.left(2));
}

void WindowTest::copy_through_the_keyboard_menu_keeps_the_panes_focus() {
  // Alt puts the focus on the menu bar while the user walks it; the pane
  // must have it back when "Copy" runs, or the romaji pane would be copied.
  get_passage(kCmdGetShift);
  QPlainTextEdit* listing_pane = the_listing();
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
  the_romaji()->selectAll();
  trigger(kCmdCopy);
  QVERIFY(!QApplication::clipboard()->text().isEmpty());
  QCOMPARE(pane_count(window_), 3);
  for (int round = 0; round < 2; ++round) {
    trigger(kCmdClearAll);
    // The panes are made anew, empty, as in a new window.
    QCOMPARE(pane_count(window_), 3);
    for (QPlainTextEdit* pane : {the_romaji(), the_listing(), the_single()}) {
      QVERIFY(pane != nullptr && pane->toPlainText().isEmpty());
    }
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    const QMimeData* data = QApplication::clipboard()->mimeData();
    QVERIFY(data == nullptr || data->formats().isEmpty());
  }
  QVERIFY(window_->isVisible());
  // A text the reader copied in another program is theirs to keep.
  QApplication::clipboard()->setText(QStringLiteral("a note of the reader's"));
  trigger(kCmdClearAll);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("a note of the reader's"));

  // And everything afresh with the next Get.
  get_passage(kCmdGetJis);
  QCOMPARE(pane_count(window_), 3);
  QCOMPARE(the_listing()->toPlainText(), shown(lookup.listing_text));
}

void WindowTest::exit_empties_the_clipboard_and_closes_the_window() {
  get_passage(kCmdGetShift);
  the_romaji()->selectAll();
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
  the_romaji()->selectAll();
  trigger(kCmdCopy);
  QString copied = QApplication::clipboard()->text();
  QVERIFY(!copied.isEmpty());
  QVERIFY(window_->close());
  QCOMPARE(QApplication::clipboard()->text(), copied);
  QCOMPARE(pane_count(window_), 3);
}

void WindowTest::panes_follow_the_window() {
  get_passage(kCmdGetShift);
  trigger(kCmdSingle);
  QWidget* area = window_->centralWidget();
  QCOMPARE(area->size(), QSize(kClientWidth, kClientHeight));
  for (QSize size : {QSize(1200, 900), QSize(900, 700), QSize(300, 200), QSize(650, 480)}) {
    window_->resize(size);
    QApplication::processEvents();
    QRect client = area->rect();
    QRect romaji = area_rect(window_, the_romaji());
    QRect listing = area_rect(window_, the_listing());
    QRect single = area_rect(window_, the_single());
    QString at = QStringLiteral("%1x%2").arg(client.width()).arg(client.height());
    // Inside the client area, in their order, the margins kept.
    for (QRect r : {romaji, listing, single}) {
      QVERIFY2(client.contains(r), qPrintable(at));
      QCOMPARE(r.left(), 10);
      QCOMPARE(r.width(), client.width() - 20);
      QVERIFY2(r.height() >= QFontMetrics(the_romaji()->font()).lineSpacing(), qPrintable(at));
    }
    QVERIFY(romaji.bottom() < listing.top() && listing.bottom() < single.top());
    QCOMPARE(single.bottom() + 1, client.height() - 10);
    // The heights keep their proportions 100 : 190 : 100 (a pixel or two).
    if (client.height() >= kClientHeight) {
      QVERIFY2(qAbs(listing.height() - 19 * romaji.height() / 10) <= 3, qPrintable(at));
      QVERIFY2(qAbs(romaji.height() - single.height()) <= 2, qPrintable(at));
    }
  }
  // The window cannot be made so small that a pane loses its line.
  window_->resize(100, 60);
  QApplication::processEvents();
  QVERIFY(area->height() >= 3 * QFontMetrics(the_romaji()->font()).lineSpacing());
}

void WindowTest::panes_are_there_from_the_start() {
  QCOMPARE(pane_count(window_), 3);
  // The listing, read most, has the largest share.
  QCOMPARE(area_rect(window_, the_romaji()), QRect(10, 0, 630, 100));
  QCOMPARE(area_rect(window_, the_listing()), QRect(10, 102, 630, 190));
  QCOMPARE(area_rect(window_, the_single()), QRect(10, 294, 630, 100));
  for (QPlainTextEdit* pane : {the_romaji(), the_listing(), the_single()}) {
    QVERIFY(pane->isVisible() && pane->toPlainText().isEmpty());
    // A fixed-pitch Japanese font, so that the glosses line up: every
    // Latin letter as wide as any other, a kana or kanji twice as wide.
    QFontMetricsF metrics(pane->font());
    QString family = QFontInfo(pane->font()).family();
    qreal letters = metrics.horizontalAdvance(QStringLiteral("MMMMMMMMMM"));
    QVERIFY2(qAbs(metrics.horizontalAdvance(QStringLiteral("iiiiiiiiii")) - letters) < 0.5,
             qPrintable(family));
    QVERIFY2(qAbs(metrics.horizontalAdvance(QStringLiteral("日本語です")) - letters) < 0.5,
             qPrintable(family));
    QCOMPARE(pane->font().pointSize(), kDefaultTextPoints);
  }
  QVERIFY(status_text(window_).isEmpty());
}

void WindowTest::shortcuts_and_mnemonics_run_their_commands() {
  // Ctrl+Shift+V in a pane: "Get Dodevuz SHIFT".
  QApplication::clipboard()->setText(passage_);
  the_romaji()->setFocus();
  QTest::keyClick(the_romaji(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("日本語")));

  // Ctrl+L on a selected word: "Single Dodevuz".
  QString listing = the_listing()->toPlainText();
  qsizetype at = listing.indexOf(QStringLiteral("東京"));
  select(the_listing(), static_cast<int>(at), static_cast<int>(at + 2));
  the_listing()->setFocus();
  QTest::keyClick(the_listing(), Qt::Key_L, Qt::ControlModifier);
  QVERIFY(the_single()->toPlainText().startsWith(QStringLiteral("東京 [とうきょう]")));

  // Ctrl+C in the listing pane is the program's Copy (EUC-JP beside the
  // Unicode text), not the pane's own.
  the_listing()->setFocus();
  select(the_listing(), static_cast<int>(at), static_cast<int>(at + 2));
  QTest::keyClick(the_listing(), Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("東京"));
  QCOMPARE(QApplication::clipboard()->mimeData()->data(QLatin1String(kEucMime)),
           to_euc(QStringLiteral("東京")));

  // Ctrl+Shift+J: "Get Dodevuz JIS".
  QApplication::clipboard()->setText(QStringLiteral("先生"));
  QTest::keyClick(the_listing(), Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier);
  QVERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("先生")));

  // Alt+F opens the File menu and types nothing into the pane; Esc closes it.
  QString before = the_listing()->toPlainText();
  the_listing()->setFocus();
  QTest::keyClick(the_listing(), Qt::Key_F, Qt::AltModifier);
  QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
  QCOMPARE(QApplication::activePopupWidget(), window_->menuBar()->actions()[0]->menu());
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
  QCOMPARE(the_listing()->toPlainText(), before);

  // F10 reaches the menu bar too: Down opens File, Down and Return run its
  // second item, "Get Dodevuz SHIFT".
  QApplication::clipboard()->setText(QStringLiteral("学生"));
  the_single()->setFocus();
  QTest::keyClick(the_single(), Qt::Key_F10);
  QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window_->menuBar()));
  QTest::keyClick(window_->menuBar(), Qt::Key_Down);
  QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
  QTRY_VERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("学生")));
}

void WindowTest::tab_moves_between_the_panes() {
  get_passage(kCmdGetShift);  // the panes are made anew, in another order
  the_romaji()->setFocus();
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(the_romaji()));
  QTest::keyClick(the_romaji(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(the_listing()));
  QTest::keyClick(the_listing(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(the_single()));
  QTest::keyClick(the_single(), Qt::Key_Backtab, Qt::ShiftModifier);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(the_listing()));
  QVERIFY(!the_listing()->toPlainText().contains(QLatin1Char('\t')));
}

void WindowTest::status_bar_says_what_a_command_did() {
  // No modal box for any of these.
  ModalCloser closer;
  get_passage(kCmdGetShift);
  QRegularExpression listed(
      QStringLiteral("^Listed (\\d+) words from ([\\d,]+) of ([\\d,]+) characters$"));
  QRegularExpressionMatch m = listed.match(status_text(window_));
  QVERIFY2(m.hasMatch(), qPrintable(status_text(window_)));
  QVERIFY(m.captured(1).toInt() >= 25);
  QCOMPARE(m.captured(2), m.captured(3));  // the whole passage
  QCOMPARE(m.captured(3), QString::fromStdString(with_thousands(passage_.toStdU32String().size())));

  QApplication::clipboard()->clear();
  trigger(kCmdGetShift);
  QCOMPARE(status_text(window_), QStringLiteral("The clipboard holds no text"));
  auto* image = new QMimeData;
  image->setImageData(QImage(4, 4, QImage::Format_RGB32));
  QApplication::clipboard()->setMimeData(image);
  trigger(kCmdGetJis);
  QCOMPARE(status_text(window_), QStringLiteral("The clipboard holds no text"));
  QApplication::clipboard()->setText(QStringLiteral("Only English, 123."));
  trigger(kCmdGetShift);
  QCOMPARE(status_text(window_), QStringLiteral("No Japanese text on the clipboard"));
  trigger(kCmdWatchClipboard);
  QCOMPARE(status_text(window_), QStringLiteral("Watching the clipboard"));
  trigger(kCmdWatchClipboard);
  QCOMPARE(status_text(window_), QStringLiteral("Stopped watching the clipboard"));
  QVERIFY(closer.seen.isEmpty());
}

void WindowTest::watching_the_clipboard_gets_each_new_text_once() {
  QClipboard* clipboard = QApplication::clipboard();
  // Count the Gets: each one makes a new listing pane.
  int gets = 0;
  QWidget* last_listing = the_listing();
  auto count_gets = [&] {
    if (the_listing() != last_listing) {
      ++gets;
      last_listing = the_listing();
    }
  };
  QTimer counter;
  QObject::connect(&counter, &QTimer::timeout, count_gets);
  counter.start(1);

  // Not watching: a change does nothing.
  clipboard->setText(QStringLiteral("日本"));
  QTest::qWait(3 * kWatchSettleMs);
  QCOMPARE(gets, 0);

  trigger(kCmdWatchClipboard);
  QVERIFY(action_of(kCmdWatchClipboard)->isChecked());
  // A burst of lines as a text hooker copies them: one Get, on the last.
  // Back to back, as a text hooker places line after line.
  for (const char* line : {"日本の学生", "東京", "毎朝電車で"}) {
    clipboard->setText(QString::fromUtf8(line));
  }
  QTRY_VERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("毎朝")));
  QTest::qWait(3 * kWatchSettleMs);
  count_gets();
  QCOMPARE(gets, 1);
  QVERIFY(status_text(window_).startsWith(QStringLiteral("Listed ")));

  // The next line after a pause: its own Get.
  clipboard->setText(QStringLiteral("辞書"));
  QTRY_VERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("辞書")));
  count_gets();
  QCOMPARE(gets, 2);

  // Our own Copy, an empty clipboard, English and an image: no Get.
  the_listing()->setFocus();
  the_listing()->selectAll();
  trigger(kCmdCopy);
  QTest::qWait(3 * kWatchSettleMs);
  clipboard->clear();
  QTest::qWait(3 * kWatchSettleMs);
  clipboard->setText(QStringLiteral("An English line."));
  QTest::qWait(3 * kWatchSettleMs);
  QCOMPARE(status_text(window_),
           QStringLiteral("Nothing to list: no Japanese text on the clipboard"));
  auto* image = new QMimeData;
  image->setImageData(QImage(4, 4, QImage::Format_RGB32));
  clipboard->setMimeData(image);
  QTest::qWait(3 * kWatchSettleMs);
  count_gets();
  QCOMPARE(gets, 2);
  QVERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("辞書")));

  // The selection clipboard is not watched, and off means off.
  clipboard->setText(QStringLiteral("先生"), QClipboard::Selection);
  QTest::qWait(3 * kWatchSettleMs);
  trigger(kCmdWatchClipboard);
  clipboard->setText(QStringLiteral("先生"));
  QTest::qWait(3 * kWatchSettleMs);
  count_gets();
  QCOMPARE(gets, 2);
}

void WindowTest::text_size_grows_and_shrinks_for_the_session() {
  QCOMPARE(the_listing()->font().pointSize(), kDefaultTextPoints);
  QTest::keyClick(the_listing(), Qt::Key_Plus, Qt::ControlModifier);
  trigger(kCmdTextLarger);
  QCOMPARE(the_listing()->font().pointSize(), kDefaultTextPoints + 2);
  QCOMPARE(status_text(window_), QStringLiteral("Text size %1 points").arg(kDefaultTextPoints + 2));
  // Panes made later keep the size.
  get_passage(kCmdGetShift);
  for (QPlainTextEdit* pane : {the_romaji(), the_listing(), the_single()}) {
    QCOMPARE(pane->font().pointSize(), kDefaultTextPoints + 2);
  }
  QTest::keyClick(the_listing(), Qt::Key_Minus, Qt::ControlModifier);
  QCOMPARE(the_romaji()->font().pointSize(), kDefaultTextPoints + 1);
}

void WindowTest::about_box_closes_on_enter_and_on_escape() {
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    QPointer<QDialog> seen;
    bool closed = false;
    QTimer::singleShot(0, [&] {
      seen = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!seen) return;
      QTest::keyClick(seen, key);
      closed = !seen->isVisible();
    });
    // Never hang the suite: whatever the keys did, the box goes in time.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) box->done(0);
    });
    guard.start(3000);
    trigger(kCmdAbout);
    QVERIFY2(closed, key == Qt::Key_Escape ? "Esc" : "Enter");
  }

  // Its face, on its own.
  QDialog* box = create_about_box(window_);
  QVERIFY(box->windowFlags() & Qt::FramelessWindowHint);
  QStringList labels;
  for (QLabel* label : box->findChildren<QLabel*>()) {
    labels << label->text();
    QVERIFY(label->alignment() & Qt::AlignHCenter);
  }
  // The name, the version, the credit each dictionary asks for (its first
  // line) and our licence.
  QCOMPARE(labels.size(), 4);
  QCOMPARE(labels[0], QStringLiteral("Dodevuz"));
  QVERIFY(labels[1].startsWith(QStringLiteral("Version ")) && labels[1].size() > 8);
  QCOMPARE(labels[2], QStringLiteral("edict: Dodevuz sample dictionary, written for the "
                                     "project's tests and demonstration"));
  QVERIFY(labels[3].contains(QStringLiteral("licence")));
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
  QCOMPARE(pane_count(window_), 3);
  QVERIFY(!the_listing()->toPlainText().isEmpty());
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


void WindowTest::about_box_credits_every_dictionary_with_its_licence() {
  // The names dictionary beside the main one, with its index, and a credit
  // whose "&" is no mnemonic.
  QFile names(QStringLiteral("enamdict"));
  QVERIFY(names.open(QIODevice::WriteOnly));
  names.write(to_euc(QStringLiteral("　？？？ /ENAMDICT/Copyright Electronic Dictionary Research "
                                    "& Development Group - 2019/\n")));
  names.close();
  QFile index(QStringLiteral("enamdict.jdx"));
  QVERIFY(index.open(QIODevice::WriteOnly));
  index.write(QByteArray("\x01\x00\x00\x00", 4));
  index.close();
  QDialog* box = create_about_box(window_);
  QStringList labels;
  for (QLabel* label : box->findChildren<QLabel*>()) labels << label->text();
  delete box;
  QFile::remove(QStringLiteral("enamdict"));
  QFile::remove(QStringLiteral("enamdict.jdx"));
  QCOMPARE(labels.size(), 4);
  QVERIFY2(labels[2].endsWith(QStringLiteral(
               "enamdict: ENAMDICT - Copyright Electronic Dictionary Research & Development "
               "Group - 2019. Licence: Creative Commons Attribution-ShareAlike (CC BY-SA)")),
           qPrintable(labels[2]));
}

// A watched change that brings no text (the clipboard's owner gone, an
// image) leaves the listing as it is and says there is nothing to list.
void WindowTest::watch_never_empties_the_panes() {
  QClipboard* clipboard = QApplication::clipboard();
  trigger(kCmdWatchClipboard);
  clipboard->setText(QStringLiteral("辞書"));
  QTRY_VERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("辞書")));
  QWidget* listing = the_listing();
  clipboard->clear();
  QTRY_COMPARE(status_text(window_), QStringLiteral("Nothing to list: the clipboard holds no text"));
  QCOMPARE(the_listing(), listing);
  QVERIFY(the_listing()->toPlainText().startsWith(QStringLiteral("辞書")));
  // An explicit Get keeps its classic behaviour: an empty passage.
  trigger(kCmdWatchClipboard);
  trigger(kCmdGetShift);
  QCOMPARE(status_text(window_), QStringLiteral("The clipboard holds no text"));
  QVERIFY(the_listing()->toPlainText().isEmpty());
}

void WindowTest::open_and_drop_list_a_file_in_each_encoding() {
  ModalCloser closer;
  get_passage(kCmdGetShift);
  const QString classic = the_listing()->toPlainText();
  QTemporaryDir folder;
  const std::string utf8 = passage_.toStdString();
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {{"passage-utf8.txt", utf8},
                        {"passage-sjis.txt", utf8_to_sjis(utf8)},
                        {"passage-euc.txt", utf8_to_euc(utf8)},
                        {"passage-jis.txt", utf8_to_jis(utf8)}};
  for (const Case& c : cases) {
    QString path = folder.filePath(QLatin1String(c.name));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(c.bytes.data(), static_cast<qint64>(c.bytes.size()));
    file.close();
    for (bool drop : {false, true}) {
      trigger(kCmdClearAll);
      if (drop) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window_, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_, &dropped);
      } else {
        open_file(window_, path);
      }
      QVERIFY2(the_listing()->toPlainText() == classic, c.name);
      QVERIFY2(status_text(window_).startsWith(QLatin1String(c.name)), qPrintable(status_text(window_)));
    }
  }
  QCOMPARE(QString::fromStdString(desktop_shell.last_folder), QDir(folder.path()).absolutePath());
  QVERIFY(closer.seen.isEmpty());
  // A file whose encoding cannot be told: a message, and the panes stay.
  QString bad = folder.filePath(QStringLiteral("binary.dat"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\x80\x80\xFF\xFF\x00\x01", 6));
  file.close();
  open_file(window_, bad);
  QCOMPARE(the_listing()->toPlainText(), classic);
  QCOMPARE(closer.seen.size(), 1);
  QVERIFY2(closer.seen[0].contains(QStringLiteral("Cannot open binary.dat: it is not text")),
           qPrintable(closer.seen[0]));
}

void WindowTest::settings_are_kept_between_runs() {
  QTemporaryDir config;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  QCoreApplication::setOrganizationName(QStringLiteral("dodevuz"));
  QCoreApplication::setApplicationName(QStringLiteral("dodevuz-qt"));
  trigger(kCmdTextLarger);
  trigger(kCmdTextLarger);
  trigger(kCmdDictionaryForms);
  trigger(kCmdWatchClipboard);
  window_->resize(900, 700);
  QApplication::processEvents();
  QSplitter* splitter = window_->centralWidget()->findChild<QSplitter*>();
  QVERIFY(splitter != nullptr);
  splitter->setSizes({80, 400, 120});
  const QList<int> sizes = splitter->sizes();
  desktop_shell.last_folder = "/tmp/読み物";
  save_settings(window_);
  QVERIFY(QFile::exists(QSettings().fileName()));

  // A new run: the defaults, then what was kept.
  reset_program_state();
  reset_desktop_shell();
  delete window_;
  window_ = create_main_window();
  window_->show();
  restore_settings(window_);
  QApplication::processEvents();
  QCOMPARE(the_listing()->font().pointSize(), kDefaultTextPoints + 2);
  QVERIFY(lookup.dictionary_forms && action_of(kCmdDictionaryForms)->isChecked());
  QVERIFY(desktop_shell.watching && action_of(kCmdWatchClipboard)->isChecked());
  QCOMPARE(window_->size(), QSize(900, 700));
  splitter = window_->centralWidget()->findChild<QSplitter*>();
  const QList<int> back = splitter->sizes();
  for (int k = 0; k < 3; ++k) QVERIFY2(qAbs(back[k] - sizes[k]) <= 2, qPrintable(QString::number(k)));
  QCOMPARE(desktop_shell.last_folder, std::string("/tmp/読み物"));

  // Reset Settings: the defaults at once, and nothing kept.
  trigger(kCmdResetSettings);
  QCOMPARE(status_text(window_), QStringLiteral("Settings reset to the defaults"));
  QCOMPARE(the_listing()->font().pointSize(), kDefaultTextPoints);
  QVERIFY(!lookup.dictionary_forms && !action_of(kCmdDictionaryForms)->isChecked());
  QVERIFY(!desktop_shell.watching && !action_of(kCmdWatchClipboard)->isChecked());
  QVERIFY(QSettings().allKeys().isEmpty());
  QVERIFY(area_rect(window_, the_listing()).height() > area_rect(window_, the_romaji()).height());
}

void WindowTest::damaged_settings_give_the_defaults() {
  QTemporaryDir config;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
  QCoreApplication::setOrganizationName(QStringLiteral("dodevuz"));
  QCoreApplication::setApplicationName(QStringLiteral("dodevuz-qt"));
  const QString path = QSettings().fileName();
  QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
  for (const QByteArray& damage :
       {QByteArray("\x00\xFF\x01[[[=\n\xC3", 9),
        QByteArray("[General]\nTextSize=400\nSplit=0,0,0\nWidth=-9\nDictionaryForms=yes\n")}) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damage);
    file.close();
    reset_desktop_shell();
    restore_settings(window_);
    QCOMPARE(desktop_shell.text_points, kDefaultTextPoints);
    QCOMPARE(the_listing()->font().pointSize(), kDefaultTextPoints);
    QVERIFY(!lookup.dictionary_forms && !desktop_shell.watching);
    QCOMPARE(desktop_shell.split[1], kDefaultSplit[1]);
  }
}

// Under a dark desktop palette the pane area and the panes are dark: no
// colour of the program's own is left.
void WindowTest::dark_palette_gives_dark_panes() {
  const QPalette light = QApplication::palette();
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  dark.setColor(QPalette::Base, QColor(25, 25, 25));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  QApplication::setPalette(dark);
  reset_program_state();
  delete window_;
  window_ = create_main_window();
  window_->show();
  QVERIFY(QTest::qWaitForWindowExposed(window_));
  get_passage(kCmdGetShift);
  QImage picture = window_->centralWidget()->grab().toImage();
  // A picture of the whole window to look at, when asked for.
  if (qEnvironmentVariableIsSet("DODEVUZ_DARK_PICTURE")) {
    window_->grab().save(qEnvironmentVariable("DODEVUZ_DARK_PICTURE"), "PNG");
  }
  QApplication::setPalette(light);
  // The margin left of the panes, and a blank place in the listing pane.
  for (QPoint at : {QPoint(4, 150), QPoint(620, area_rect(window_, the_listing()).top() + 60)}) {
    QColor colour = picture.pixelColor(at);
    QVERIFY2(colour.lightness() < 80, qPrintable(QStringLiteral("%1,%2: %3")
                                                     .arg(at.x())
                                                     .arg(at.y())
                                                     .arg(colour.name())));
  }
}

void WindowTest::greyed_shortcut_says_why() {
  QVERIFY(!action_of(kCmdNext)->isEnabled());
  the_listing()->setFocus();
  QTest::keyClick(the_listing(), Qt::Key_N, Qt::ControlModifier);
  QCOMPARE(status_text(window_), QStringLiteral("Nothing more to list"));
}

void WindowTest::open_word_list_opens_the_file_or_its_folder() {
  QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "url_opened");
  opened_urls_.clear();
  QFile::remove(QStringLiteral("wordlist.tsv"));
  trigger(kCmdOpenWordList);
  QFile list(QStringLiteral("wordlist.tsv"));
  QVERIFY(list.open(QIODevice::WriteOnly));
  list.close();
  trigger(kCmdOpenWordList);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  QFile::remove(QStringLiteral("wordlist.tsv"));
  const QString path = QDir::current().absoluteFilePath(QStringLiteral("wordlist.tsv"));
  QCOMPARE(opened_urls_,
           QList<QUrl>({QUrl::fromLocalFile(QDir::currentPath()), QUrl::fromLocalFile(path)}));
  QCOMPARE(status_text(window_), QStringLiteral("Opened ") + path);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
