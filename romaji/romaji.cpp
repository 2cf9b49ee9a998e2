// The romaji subsystem's state.
#include "romaji/romaji.h"

#include <cstring>

#include "platform/pane_layout.h"

Romaji romaji;

const char kRomajiTableFile[] = "kanarom.cnv";

void reset_romaji() {
  // Blocks of an earlier run are given back; at program start they are null.
  for (MemoryBlock block : {romaji.table_file_block, romaji.romaji_block}) {
    memory_unlock(block);
    memory_free(block);
  }
  std::memset(&romaji, 0, sizeof romaji);
}

void unlock_romaji_buffers() {
  memory_unlock(romaji.table_file_block);
  memory_unlock(romaji.romaji_block);
  // Unlocked memory is not to be read: the romaji text goes with the lock.
  romaji.romaji_buffer = nullptr;
}

void destroy_romaji_pane() {
  if (romaji.romaji_pane != nullptr) pane_destroy(romaji.romaji_pane);
  romaji.romaji_pane = nullptr;
}

void make_empty_romaji_pane(Window main_window) {
  static const unsigned char kEmpty[] = "";
  if (romaji.romaji_pane != nullptr) return;
  romaji.romaji_pane = pane_create(main_window, kPaneX, kRomajiPaneY, kPaneWidth, kRomajiPaneHeight,
                                   kBorderedPaneStyle, kEmpty);
}
