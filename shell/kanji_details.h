// "Kanji Details" of the desktop programs: the details of the kanji of the
// listing pane's selection in the single pane, and the status line's note on
// the selection's first kanji, from kanjidic in the working directory.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Menu command id of "&Kanji Details" (Edit menu, Ctrl+K).
constexpr int kCmdKanjiDetails = 117;

// Bytes of the selection-status text, its NUL included.
constexpr size_t kKanjiStatusSize = 96;

enum class KanjiDetailsOutcome {
  kNone,          // not asked yet
  kShown,         // the single pane shows the details of `shown` kanji
  kNoKanji,       // the selection holds no kanji (or nothing is selected)
  kNoDictionary,  // kanjidic is missing or holds no kanji
};

// Program-wide state of the command; one instance, `kanji_details`.
struct KanjiDetailsShell {
  KanjiDetailsOutcome last;       // of the last show_kanji_details
  size_t shown;                   // kanji whose blocks the single pane shows
  char status[kKanjiStatusSize];  // EUC-JP, NUL-terminated: the selection's note
};

extern KanjiDetailsShell kanji_details;

// Back to the start (the kanji table is reset_kanji's).
void reset_kanji_details();

// "Kanji Details": the blocks of every kanji of the listing pane's
// selection (kanji_blocks) fill a new single buffer, cut after the last
// whole block that fits its kSingleBufferSize bytes with their NUL (the
// first block alone is cut at a whole character), and the single pane is
// made anew with it, so Copy takes from what it shows. With no kanji or no
// kanjidic the single pane is made empty. The outcome is in
// kanji_details.last.
void show_kanji_details(Window main_window);

// The status after "Kanji Details": "Details of N kanji", "No kanji in the
// selection" or "No kanji dictionary: kanjidic is missing".
const char* kanji_details_outcome_text();

// The status line's note on the listing pane's selection as it is now: the
// first kanji's strokes and grade ("漢: 13 strokes, grade 3", EUC-JP, in
// kanji_details.status), or nullptr when the selection holds no kanji
// kanjidic knows (the status line then keeps what it said).
const char* selection_kanji_status();
