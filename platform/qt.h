// What the Qt platform (qt.cpp) offers beyond platform.h: the text a pane
// shows for the program's EUC-JP text, for the front end's tests.
#pragma once

#include <QString>
#include <cstdint>
#include <string_view>
#include <vector>

// The Unicode text a pane shows for euc, and in *offsets the byte offset in
// euc of each UTF-16 unit of it, plus euc.size() for the position just past
// the end (the form utf16_to_byte_offset reads). Every line end, CR LF, a lone
// LF or CR, or CRs before an LF, is shown as one line break, the one position
// a text document gives it, and maps to the line end's first byte; so a
// document position is an index into the shown text.
QString pane_shown_text(std::string_view euc, std::vector<uint32_t>* offsets);
