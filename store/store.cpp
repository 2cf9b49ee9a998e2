// The dictionary store's state, and the opening and closing of its slots.
#include "store/store.h"

#include <cstring>

Store store;

void reset_store(int frame_count) {
  std::memset(&store, 0, sizeof store);
  for (int s = 0; s < kSlotCount; ++s) {
    store.text_handle[s] = kFileError;
    store.index_handle[s] = kFileError;
  }
  for (int64_t& stamp : store.use_stamp) stamp = -1;
  store.frame_count = frame_count;
  store.use_clock = 1;
}
