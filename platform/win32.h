// What the Win32 platform (win32.cpp) offers the window front end beyond
// platform.h: the panes' font.
#pragma once

// Gives every pane, the living ones and those made from now on, a
// fixed-pitch Japanese font of points points at dpi dots per inch (0: the
// screen's resolution):
// the first of MS Gothic, VL Gothic and Noto Sans Mono CJK JP that the system
// has, else whatever fixed-pitch face it offers for Shift-JIS. Before the
// first call the panes keep the window system's default font (outside code
// page 932 a fixed-pitch Shift-JIS font of its height, so that Japanese shows
// at all).
void set_pane_text_size(int points, int dpi = 0);

// Pixels of one line of the panes' text, for the smallest pane that still
// shows one.
int pane_line_height();
