// What the Qt platform (qt.cpp) offers beyond platform.h: the text a pane
// shows for the program's EUC-JP text, for the front end's tests.
#pragma once

#include <QString>

class QWidget;
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

// Makes slot the home of every pane the shell makes at row y of the window
// that holds slot: such a pane fills the slot (a part of a splitter, say)
// instead of lying at its pixel place. A slot that Qt deleted is forgotten.
void set_pane_slot(int y, QWidget* slot);
