// The romaji subsystem's state.
#include "romaji/romaji.h"

#include <cstring>

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
