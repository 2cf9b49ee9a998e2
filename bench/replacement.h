// Page replacement over a recorded trace of page accesses, for the
// benchmark's trace build: how many page loads a Get needs with a given
// number of frames under least-recently-used replacement (what the store
// does) and under the optimal replacement, which evicts the page needed
// furthest in the future and so needs the fewest loads any replacement can.
#pragma once

#include <cstdint>
#include <vector>

// Every access of a Get, in order: a text page p as p, an index page q as
// kIndexPageBase + q.
constexpr uint32_t kIndexPageBase = 1u << 30;
extern std::vector<uint32_t> page_trace;

// Loads of a cache of frames frames that starts empty, on trace.
uint64_t lru_loads(const std::vector<uint32_t>& trace, int frames);
uint64_t optimal_loads(const std::vector<uint32_t>& trace, int frames);

// Distinct pages of the trace: the loads that no cache can avoid.
uint64_t distinct_pages(const std::vector<uint32_t>& trace);
