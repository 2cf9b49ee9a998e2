// Least-recently-used and optimal replacement over a page trace. Both are
// written apart from the store, so that the LRU count also checks the
// store's own page loads.
#include "bench/replacement.h"

#include <cstddef>
#include <iterator>
#include <limits>
#include <list>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

std::vector<uint32_t> page_trace;

uint64_t lru_loads(const std::vector<uint32_t>& trace, int frames) {
  std::list<uint32_t> order;  // most recently used first
  std::unordered_map<uint32_t, std::list<uint32_t>::iterator> resident;
  uint64_t loads = 0;
  for (uint32_t page : trace) {
    auto it = resident.find(page);
    if (it != resident.end()) {
      order.splice(order.begin(), order, it->second);
      continue;
    }
    ++loads;
    if (static_cast<int>(resident.size()) == frames) {
      resident.erase(order.back());
      order.pop_back();
    }
    order.push_front(page);
    resident[page] = order.begin();
  }
  return loads;
}

uint64_t optimal_loads(const std::vector<uint32_t>& trace, int frames) {
  // next[i]: the index of the next access to trace[i]'s page, or "never".
  const size_t never = std::numeric_limits<size_t>::max();
  std::vector<size_t> next(trace.size(), never);
  std::unordered_map<uint32_t, size_t> seen;
  for (size_t i = trace.size(); i-- > 0;) {
    auto it = seen.find(trace[i]);
    if (it != seen.end()) next[i] = it->second;
    seen[trace[i]] = i;
  }
  // The resident pages ordered by their next use; the last one goes.
  std::set<std::pair<size_t, uint32_t>> by_next_use;
  std::unordered_map<uint32_t, size_t> next_use;
  uint64_t loads = 0;
  for (size_t i = 0; i < trace.size(); ++i) {
    const uint32_t page = trace[i];
    auto it = next_use.find(page);
    if (it != next_use.end()) {
      by_next_use.erase({it->second, page});
    } else {
      ++loads;
      if (static_cast<int>(next_use.size()) == frames) {
        auto victim = std::prev(by_next_use.end());
        next_use.erase(victim->second);
        by_next_use.erase(victim);
      }
    }
    next_use[page] = next[i];
    by_next_use.insert({next[i], page});
  }
  return loads;
}

uint64_t distinct_pages(const std::vector<uint32_t>& trace) {
  return std::unordered_set<uint32_t>(trace.begin(), trace.end()).size();
}
