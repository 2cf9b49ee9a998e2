// The portable platform of the command line: blocks from the C heap, message
// boxes as lines on standard error, and the in-memory desktop.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/in_memory.h"
#include "platform/platform.h"

MemoryBlock memory_alloc(size_t size, bool zero_fill) {
  void* p = zero_fill ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
  return p;
}

unsigned char* memory_lock(MemoryBlock block) {
  return static_cast<unsigned char*>(block);
}

void memory_unlock(MemoryBlock) {}

void memory_free(MemoryBlock block) {
  std::free(block);
}

void message_box(Window owner, const char* text, const char* caption) {
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  // The command line ends with a failure status after a message.
  desktop.events.push_back({"message", owner, text});
}

void console_notice(const char* text) {
  std::fputs(text, stderr);
}

[[noreturn]] void end_program(int status) {
  std::fflush(stdout);
  std::exit(status);
}
