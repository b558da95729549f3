// SPDX-License-Identifier: MIT
// Allocation functions for the string buffer: blocks not zeroed, so that init
// must set what it reads, and guard bytes after each, checked at release, so that
// a write past a block shows. A release of a block not handed out, or overrun,
// stops the run. `fail_at` refuses one allocation (1-based; 0 none).
#ifndef YUTIL_TESTS_STRING_BUFF_GUARDED_ALLOC_H
#define YUTIL_TESTS_STRING_BUFF_GUARDED_ALLOC_H

#include <algorithm>
#include <map>
#include <vector>

#include "fuzz_input.h"

namespace guarded {

constexpr size_t kGuard = 16;
inline std::map<void *, uint32_t> live;  // block -> size asked
inline std::vector<void *> released;
inline int fail_at, allocs;

inline bool intact(const void *p, uint32_t size) {
  auto *tail = static_cast<const unsigned char *>(p) + size;
  return std::all_of(tail, tail + kGuard, [](unsigned char c) { return c == 0xa5; });
}

inline void *alloc(uint32_t size) {
  if (++allocs == fail_at) return nullptr;
  auto *p = static_cast<unsigned char *>(malloc(size + kGuard));
  memset(p, 0xcc, size);
  memset(p + size, 0xa5, kGuard);
  live[p] = size;
  return p;
}

inline void release(void *p) {
  FUZZ_REQUIRE(live.count(p) == 1, "release of a block not handed out");
  FUZZ_REQUIRE(intact(p, live[p]), "written past a block of %u bytes", live[p]);
  live.erase(p);
  released.push_back(p);
  free(p);
}

// Before each run.
inline void reset() {
  live.clear(), released.clear(), fail_at = allocs = 0;
}

}  // namespace guarded

#endif
