// SPDX-License-Identifier: MIT
// The exported allocation tags. Weak, so that a program or the platform may bring
// its own definitions; the cache words are the allocator's to fill.
#include "alloc_tags.h"

#define YUTIL_TAG(type, text)                                           \
  extern __attribute__((weak)) const char g_##type##_tag_name[] = text; \
  __attribute__((weak)) __thread uint32_t g_##type##_tag_cache = 0;

extern "C" {
YUTIL_TAG(yutil, "yutil")
YUTIL_TAG(ycurs_ctx_s, "ycurs_ctx_s")
YUTIL_TAG(tries, "tries")
YUTIL_TAG(BYTE, "BYTE")
}
