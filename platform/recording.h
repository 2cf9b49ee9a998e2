// The recording platform of the tests: real files, blocks from the C heap
// that a test can make fail, and a log of every message box and of what was
// done to panes, clipboard and blocks (the in-memory desktop's events).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/in_memory.h"
#include "platform/platform.h"

struct RecordedMessage {
  Window owner;
  std::string text;
  std::string caption;
};

struct Recording {
  std::vector<RecordedMessage> messages;  // every message box, in order
  // Given the size of a block, whether its allocation (or its lock) fails.
  std::function<bool(size_t)> alloc_fails;
  std::function<bool(size_t)> lock_fails;
  size_t live_blocks;  // allocated and not yet freed
};

extern Recording recording;

// Thrown by end_program, so that a test sees the program end.
struct ProgramEnded {
  int status;
};

// Forgets everything recorded, clears the desktop and every failure.
void reset_recording();
