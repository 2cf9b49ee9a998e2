// What every platform shares on top of its memory calls.
#include "platform/platform.h"

unsigned char* renew_block(MemoryBlock* slot, size_t size, bool zero_fill) {
  if (*slot != nullptr) {
    memory_unlock(*slot);
    memory_free(*slot);
  }
  *slot = memory_alloc(size, zero_fill);
  return *slot == nullptr ? nullptr : memory_lock(*slot);
}
