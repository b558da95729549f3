// SPDX-License-Identifier: MIT
// Allocation through the platform allocator with the library's type tags.
#ifndef YUTIL_SRC_YCURS_ALLOC_TAGS_H
#define YUTIL_SRC_YCURS_ALLOC_TAGS_H

#include "quillet.h"
#include "ycurs.h"

// Site identifiers: one per call site that allocates.
enum : uint32_t {
  kSiteContext = 0xb00e3800,
  kSiteTrieSibling = 0xb00e3c00,
  kSiteTrieRoot = 0xb00e3c01,
  kSiteTrieChild = 0xb00e3c02,
  kSiteExpandText = 0xb00e3c03,
};

// One zero-filled block of `size` bytes of the tagged `type`; null with errno set.
#define YUTIL_QUILLET_CALLOC(site, type, size)                                             \
  __quillet_calloc((site), &g_##type##_tag_cache, g_##type##_tag_name, &g_yutil_tag_cache, \
                   g_yutil_tag_name, 1, (size))

#endif
