// The counting hooks of the benchmark's counting build. GCC and Clang call
// __cyg_profile_func_enter at the entry of every function of the files
// compiled with -finstrument-functions (lookup/ and store/ there), inlined
// ones included, with the function's address; the calls of the procedures
// that explain a Get's cost are counted by that address. This file itself is
// not instrumented.
#include "bench/call_counts.h"

#include <cstdint>
#include <cstdio>

#if defined(DODEVUZ_COUNTERS)
#include "lookup/lookup.h"
#include "store/store.h"

namespace {

struct Counted {
  const char* name;  // key printed, "<name>_calls"
  void* function;
  uint64_t calls;
};

Counted counted[] = {
    {"build_listing", reinterpret_cast<void*>(&build_listing), 0},
    {"lookup_word", reinterpret_cast<void*>(&lookup_word), 0},
    {"search_index", reinterpret_cast<void*>(&search_index), 0},
    {"compare_key", reinterpret_cast<void*>(&compare_key), 0},
    {"dict_byte", reinterpret_cast<void*>(&dict_byte), 0},
    {"index_entry", reinterpret_cast<void*>(&index_entry), 0},
    {"load_page", reinterpret_cast<void*>(&load_page), 0},
};

}  // namespace

extern "C" {
void __cyg_profile_func_enter(void* function, void* caller) __attribute__((no_instrument_function));
void __cyg_profile_func_exit(void* function, void* caller) __attribute__((no_instrument_function));

void __cyg_profile_func_enter(void* function, void*) {
  for (Counted& c : counted) {
    if (c.function == function) {
      ++c.calls;
      return;
    }
  }
}

void __cyg_profile_func_exit(void*, void*) {}
}

void call_counts_reset() {
  for (Counted& c : counted) c.calls = 0;
}

void print_call_counts() {
  for (const Counted& c : counted) {
    std::printf("%s_calls=%llu\n", c.name, static_cast<unsigned long long>(c.calls));
  }
}

#else

void call_counts_reset() {}
void print_call_counts() {}

#endif
