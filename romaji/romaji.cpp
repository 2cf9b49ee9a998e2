// The romaji subsystem's state.
#include "romaji/romaji.h"

#include <cstring>

Romaji romaji;

const char kRomajiTableFile[] = "kanarom.cnv";

void reset_romaji() { std::memset(&romaji, 0, sizeof romaji); }
