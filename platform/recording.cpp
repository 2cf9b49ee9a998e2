// The recording platform of the tests.
#include "platform/recording.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

Recording recording;

void reset_recording() {
  recording.messages.clear();
  recording.alloc_fails = nullptr;
  recording.lock_fails = nullptr;
  reset_desktop();
}

// A block remembers its size, so that a test can fail the lock of one kind
// of block.
struct RecordedBlock {
  size_t size;
  unsigned char* data;
};

MemoryBlock memory_alloc(size_t size, bool zero_fill) {
  if (recording.alloc_fails && recording.alloc_fails(size)) return nullptr;
  auto* block = new RecordedBlock{size, static_cast<unsigned char*>(std::malloc(size ? size : 1))};
  // Fill what is not asked to be zero with garbage, so that code relying on
  // an unasked-for zero fill shows up.
  std::memset(block->data, zero_fill ? 0 : 0xCD, size);
  ++recording.live_blocks;
  desktop.events.push_back({"alloc", block, std::to_string(size)});
  return block;
}

unsigned char* memory_lock(MemoryBlock block) {
  if (block == nullptr) return nullptr;
  auto* b = static_cast<RecordedBlock*>(block);
  if (recording.lock_fails && recording.lock_fails(b->size)) return nullptr;
  return b->data;
}

void memory_unlock(MemoryBlock block) {
  if (block == nullptr) return;
  desktop.events.push_back({"unlock", block, {}});
}

void memory_free(MemoryBlock block) {
  if (block == nullptr) return;
  auto* b = static_cast<RecordedBlock*>(block);
  desktop.events.push_back({"free", block, {}});
  std::free(b->data);
  delete b;
  --recording.live_blocks;
}

void message_box(Window owner, const char* text, const char* caption) {
  recording.messages.push_back({owner, text, caption});
  desktop.events.push_back({"message", owner, text});
}

void console_notice(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

[[noreturn]] void end_program(int status) {
  throw ProgramEnded{status};
}
