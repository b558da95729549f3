// SPDX-License-Identifier: MIT
/* Interface of the platform's accounting allocator (libquillet.so). */
#ifndef YUTIL_PLATFORM_QUILLET_H
#define YUTIL_PLATFORM_QUILLET_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returns a zero-filled block of count * element_size bytes attributed to the
 * type and library tags and to the call site, or null with errno set. */
void *__quillet_calloc(uint32_t site_id, uint32_t *type_cache, const char *type_name,
                       uint32_t *library_cache, const char *library_name, size_t count,
                       size_t element_size);

/* Releases a block from __quillet_calloc; never given null by the library. */
void __quillet_free(void *block);

#ifdef __cplusplus
}
#endif

#endif
