// Romaji: the table of kana sequences and their romaji, read from
// `kanarom.cnv`, and the transliteration of the listing text into the romaji
// buffer and pane.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lookup/lookup.h"
#include "platform/platform.h"

constexpr int kRomajiEntries = 500;    // table entries
constexpr int kSectionSize = 250;      // entries of a section
constexpr int kKatakanaSection = 250;  // first entry of the katakana section
constexpr int kSectionFill = 234;      // entries of a section ever filled
constexpr size_t kFieldSize = 7;       // bytes of a kana or romaji field
constexpr size_t kTableFileBufferSize = 5000;
constexpr size_t kTableFileRead = 4592;  // bytes of kanarom.cnv that are read
constexpr size_t kTableLineSize = 80;    // raw and decoded line
constexpr size_t kRomajiBufferSize = 40000;
constexpr size_t kKanaRunSize = 256;  // pending kana run
constexpr size_t kRunOutputSize = 256;
constexpr int kTableBuckets = 2048;    // buckets of the table's index by its first two bytes
extern const char kRomajiTableFile[];  // "kanarom.cnv"

struct RomajiEntry {
  unsigned char kana[kFieldSize];    // one to three kana, NUL-terminated
  unsigned char romaji[kFieldSize];  // at most 6 bytes, NUL-terminated
};

// The entries of the table grouped by the first two bytes of their kana, in
// table order within a group; only the entries of the kana's group can
// match it. Links are entry numbers + 1, 0 ending a chain: the zeroed index
// of a reset stands for the zeroed table, which matches nothing.
struct RomajiIndex {
  int16_t first[kTableBuckets];    // first entry (+ 1) of each bucket
  int16_t next[kRomajiEntries];    // next entry (+ 1) of the same bucket
  uint8_t length[kRomajiEntries];  // bytes of each entry's romaji
};

// Where the walk of build_romaji_text stood after a line end: the listing
// text offset past the 0x0A, the romaji buffer's length and line_text_end
// then. The pending run is empty there, so the walk can go on from it.
struct RomajiLineEnd {
  uint32_t text_end;
  uint32_t romaji_length;
  uint32_t line_text_end;
};
constexpr size_t kRomajiLineEnds = 4096;  // line ends remembered of one walk
// The longest listing text: every byte of the listing buffer a line end.
constexpr size_t kLastTextSize = 2 * kListingBufferSize;

// Program-wide state of the romaji subsystem; one instance, `romaji`.
struct Romaji {
  RomajiEntry table[kRomajiEntries];         // 0-249 hiragana, 250-499 katakana section
  MemoryBlock table_file_block;              // table file buffer of the last load
  MemoryBlock romaji_block;                  // block of the romaji buffer
  unsigned char* romaji_buffer;              // 40000 bytes, NUL-terminated; nullptr before any Get
  RomajiIndex index;                         // made anew by every load of the table
  unsigned char kana_run[kKanaRunSize];      // pending kana run
  size_t kana_run_length;                    // its bytes before the NUL
  unsigned char run_output[kRunOutputSize];  // romaji of the run being converted
  Window romaji_pane;                        // nullptr when there is none
  size_t romaji_length;                      // bytes of text in the romaji buffer
  bool romaji_cut;                           // no room left (or no buffer): the rest is left out
  unsigned char run_lead;                    // first byte of a run converted in parts, else 0
  size_t line_text_end;  // listing text offset past the last 0x0A whose romaji is whole and
                         // leaves room for a notice after it (0: none yet)
  // The last walk, so that a listing cut at one of its lines (the romaji pane
  // full first) is not spelled again from its start: its text and the line
  // ends it passed. Forgotten when the table is loaded (line_end_count 0).
  unsigned char last_text[kLastTextSize];
  size_t last_text_length;
  RomajiLineEnd line_ends[kRomajiLineEnds];
  size_t line_end_count;
  unsigned char
      kept_romaji[kRomajiBufferSize];  // the romaji taken over, while the buffer is renewed
};

extern Romaji romaji;

// Puts the romaji subsystem back to its state at program start.
void reset_romaji();

// Unlocks the table file buffer, then the romaji buffer ("Clear All",
// "Exit"): from then on there is no romaji text to read (romaji_buffer
// nullptr).
void unlock_romaji_buffers();

// Destroys the romaji pane, if there is one.
void destroy_romaji_pane();

// Makes an empty romaji pane at its place when there is none (a new window,
// or one after "Clear All"); a pane that is there is kept.
void make_empty_romaji_pane(Window main_window);

// Reads kanarom.cnv in the working directory into a new table (its first
// 4592 bytes; at most 234 entries a section) and indexes it; nothing else
// changes the table. Lines longer than 79 bytes
// (raw or decoded), mapping lines without a romaji text and kana or romaji
// texts longer than 6 bytes are skipped and fill no entry. When the file
// cannot be opened, prints "Unable to open: kanarom.cnv" and ends the program
// with status 1.
void load_romaji_table();

// Decodes one NUL-terminated line, JIS escape sequences into EUC-JP, into out
// (which has room for out_size bytes, NUL included). Output that does not
// fit is left out: out always holds a NUL-terminated prefix of the result.
void decode_jis_line(unsigned char* out, const unsigned char* in, size_t out_size = kTableLineSize);

// Transliterates the listing text (lookup.listing_text; nullptr reads as an
// empty text) into a new romaji buffer, then makes the romaji pane anew.
// Where the text begins as the last one did (a listing cut at a line, with
// the notice after it), the romaji of the lines they share is taken over
// from the last walk, which spelled them the same way.
// REQUIRES: the table has been loaded. Romaji that would pass 39999 bytes is
// left out, cut at a whole character, and romaji_cut is set: line_text_end
// then tells where the listing can be ended (end_listing_at) so that its
// romaji and notice fit.
void build_romaji_text(Window main_window);

// Converts the pending kana run and appends it to the romaji buffer (nothing
// when there is no romaji buffer). Does nothing for an empty run.
void flush_kana_run();

// Appends byte c (not 0) to the NUL-terminated string s of size bytes, if it fits.
void append_char(unsigned char* s, size_t size, unsigned char c);

// The index bucket of a kana that begins with bytes first and second.
constexpr int romaji_bucket(unsigned char first, unsigned char second) {
  return (first & 0x07) << 8 | second;  // 0xA4, 0xA5 and 0xA1 apart
}

// Makes romaji.index anew from romaji.table (load_romaji_table does).
void index_romaji_table();
