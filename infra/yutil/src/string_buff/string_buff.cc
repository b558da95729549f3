// SPDX-License-Identifier: MIT
// Bounded string buffer. Each piece is formatted once, straight into the room
// left; a piece that turns out not to fit is cut off again by putting the NUL
// back at the old end of the text, so the text never holds part of a piece.
#include "yutil_string_buff.h"

#include <errno.h>
#include <limits.h>
#include <stddef.h>
#include <stdio.h>

namespace {

// The most the formatter is handed: it cannot report a longer piece, GCC 14 checks
// the size against INT_MAX, and on 32-bit targets against PTRDIFF_MAX, which is the
// same. A piece of exactly INT_MAX characters thus never fits.
constexpr size_t kMaxFormatRoom = INT_MAX;

bool is_valid(const yutil_string_buff_s *buf) {
  return buf != nullptr && buf->magic == YUTIL_STRING_BUFF_MAGIC;
}

// A valid record whose counts still hold: text below its storage, the sent part
// within the text. Every call that reads or writes the text goes through here, so a
// record scribbled over by its caller is refused rather than written past.
bool is_intact(const yutil_string_buff_s *buf) {
  return is_valid(buf) && buf->text != nullptr && buf->len < buf->capacity && buf->sent <= buf->len;
}

__attribute__((format(printf, 2, 0))) int append(yutil_string_buff_s *buf, const char *format,
                                                 va_list args) {
  if (!is_intact(buf) || buf->overflow != 0 || format == nullptr) return 0;
  char *end = buf->text + buf->len;
  // At least 1 while len < capacity; unsigned, so capacities past 2 GiB stay positive.
  uint32_t room = buf->capacity - buf->len;
  size_t size = room < kMaxFormatRoom ? room : kMaxFormatRoom;
  int n = vsnprintf(end, size, format, args);
  // Compared with the size handed over, not the room: a piece that filled it was cut.
  if (n >= 0 && static_cast<size_t>(n) < size) {
    buf->len += static_cast<uint32_t>(n);
    return n;
  }
  // Too long, or a formatter error: whatever was written after the old end is
  // scratch beyond the text.
  *end = '\0';
  if (n >= 0) buf->overflow = 1;
  return 0;
}

}  // namespace

extern "C" {

int yutil_string_buff_init(yutil_string_buff_s **out, yutil_string_buff_alloc_fn alloc_fn,
                           yutil_string_buff_free_fn free_fn, uint32_t capacity) {
  if (out == nullptr || alloc_fn == nullptr || free_fn == nullptr || capacity == 0) return EINVAL;
  auto *buf = static_cast<yutil_string_buff_s *>(alloc_fn(sizeof(yutil_string_buff_s)));
  if (buf == nullptr) return ENOMEM;
  auto *text = static_cast<char *>(alloc_fn(capacity));
  if (text == nullptr) {
    free_fn(buf);
    return ENOMEM;
  }
  // The allocation function need not zero anything: every field is set here.
  text[0] = '\0';
  buf->magic = YUTIL_STRING_BUFF_MAGIC;
  buf->free_fn = free_fn;
  buf->text = text;
  buf->len = 0;
  buf->capacity = capacity;
  buf->sent = 0;
  buf->overflow = 0;
  *out = buf;
  return 0;
}

void yutil_string_buff_free(yutil_string_buff_s *buf) {
  // Counts are not read here, so even a record with broken ones is released.
  if (!is_valid(buf) || buf->text == nullptr) return;
  // Cleared first, so a stale pointer to a record not yet reused reads as invalid.
  buf->magic = 0;
  yutil_string_buff_free_fn release = buf->free_fn;
  release(buf->text);
  release(buf);
}

int yutil_string_buff_is_valid(const yutil_string_buff_s *buf) {
  return is_valid(buf) ? 1 : 0;
}

int yutil_string_buff_vprintf(yutil_string_buff_s *buf, const char *format, va_list args) {
  return append(buf, format, args);
}

int yutil_string_buff_printf(yutil_string_buff_s *buf, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = append(buf, format, args);
  va_end(args);
  return n;
}

int yutil_string_buff_get(yutil_string_buff_s *buf, char **text_out, uint32_t *len_out) {
  if (!is_intact(buf) || text_out == nullptr || len_out == nullptr) return EINVAL;
  *text_out = buf->text + buf->sent;
  *len_out = buf->len - buf->sent;
  return 0;
}

int yutil_string_buff_sent(yutil_string_buff_s *buf, uint32_t count) {
  if (!is_intact(buf)) return EINVAL;
  // Compared with what is left rather than summed, so a huge count cannot wrap.
  uint32_t unsent = buf->len - buf->sent;
  buf->sent += count < unsent ? count : unsent;
  return 0;
}

}  // extern "C"
