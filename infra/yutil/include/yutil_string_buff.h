// SPDX-License-Identifier: MIT
/* Bounded string buffer: a fixed-capacity text filled piece by piece with
 * printf-style formatting, handed out in steps while counting what was sent.
 * Storage comes from the caller's allocation functions; the buffer never grows.
 * A piece that does not fit is not written at all, and the buffer then refuses
 * every further piece (sticky overflow). One thread at a time per buffer.
 * "Invalid" below means null, without the magic word, or with counts that break
 * the field comments (len < capacity, sent <= len): such a record is refused
 * untouched, never written through. */
#ifndef YUTIL_YUTIL_STRING_BUFF_H
#define YUTIL_YUTIL_STRING_BUFF_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

#define YUTIL_STRING_BUFF_MAGIC 0x99aa99aau

/* Returns `size` bytes (need not be zeroed) or null. */
typedef void *(*yutil_string_buff_alloc_fn)(uint32_t size);
/* Releases a block obtained from the matching allocation function. */
typedef void (*yutil_string_buff_free_fn)(void *block);

typedef struct yutil_string_buff_s {
  uint32_t magic;                    /* YUTIL_STRING_BUFF_MAGIC while valid, 0 once freed */
  yutil_string_buff_free_fn free_fn; /* releases text and the record */
  char *text;                        /* capacity bytes; always NUL-terminated */
  uint32_t len;                      /* characters written, NUL excluded; < capacity */
  uint32_t capacity;                 /* storage size, NUL included */
  uint32_t sent;                     /* leading characters reported as passed on; <= len */
  int32_t overflow;                  /* 1 once a piece did not fit; never cleared */
} yutil_string_buff_s;

/* Creates an empty buffer of `capacity` bytes and stores it through out. Returns 0;
 * 22 when out, alloc_fn or free_fn is null or capacity is 0 (nothing allocated);
 * 12 when an allocation fails (nothing left allocated). *out is set only on 0. */
int yutil_string_buff_init(yutil_string_buff_s **out, yutil_string_buff_alloc_fn alloc_fn,
                           yutil_string_buff_free_fn free_fn, uint32_t capacity);

/* Releases the storage and the record; does nothing for null or an invalid record. */
void yutil_string_buff_free(yutil_string_buff_s *buf);

/* 1 when buf is not null and carries the magic word, else 0. */
int yutil_string_buff_is_valid(const yutil_string_buff_s *buf);

/* Append formatted text. Return the characters appended; 0 when nothing was
 * appended: invalid buffer, null format, formatter error (buffer unchanged), or
 * a piece that does not fit with its NUL (buffer unchanged, overflow set). */
int yutil_string_buff_printf(yutil_string_buff_s *buf, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
int yutil_string_buff_vprintf(yutil_string_buff_s *buf, const char *format, va_list args)
    __attribute__((format(printf, 2, 0)));

/* Stores the text not yet sent (NUL-terminated, valid until the buffer is freed)
 * and its length. Returns 0; 22 when buf is invalid or an output is null
 * (nothing written). */
int yutil_string_buff_get(yutil_string_buff_s *buf, char **text_out, uint32_t *len_out);

/* Marks count more characters as sent, at most up to the end of the text.
 * Returns 0; 22 when buf is invalid. */
int yutil_string_buff_sent(yutil_string_buff_s *buf, uint32_t count);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
