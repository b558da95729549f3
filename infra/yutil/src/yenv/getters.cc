// SPDX-License-Identifier: MIT
// The eight integer getters: an entry record, the family's reader, and for the
// narrow widths a range test before the caller's variable is written.
#include <errno.h>

#include <utility>

#include "internal.h"

namespace {

template <yenv_msg::Id Entry, yenv_msg::Id Range, typename T, typename Wide>
int get_narrow(const char *name, T *val, int (*reader)(const char *, Wide *, const char **)) {
  ytrace::emit_if_kept<Entry>(yenv::trace_id(), ytrace::Level::info, name);
  // The reader only sees a local, so the caller's pointer is checked here.
  YENV_ASSERT(name);
  YENV_ASSERT(val);
  Wide wide = 0;
  // The range record shows the text the reader judged, not a second lookup,
  // which another thread may have changed or removed meanwhile.
  const char *text = nullptr;
  int res = reader(name, &wide, &text);
  if (res != 0) return res;
  if (!std::in_range<T>(wide)) {
    ytrace::emit_if_kept<Range>(yenv::trace_id(), ytrace::Level::failure, name, text);
    return ERANGE;
  }
  *val = static_cast<T>(wide);
  return 0;
}

}  // namespace

extern "C" {

int ygetenv_u8(const char *name, uint8_t *val) {
  return get_narrow<yenv_msg::GET_U8, yenv_msg::U8_RANGE>(name, val, yenv_parse_unsigned);
}
int ygetenv_u16(const char *name, uint16_t *val) {
  return get_narrow<yenv_msg::GET_U16, yenv_msg::U16_RANGE>(name, val, yenv_parse_unsigned);
}
int ygetenv_u32(const char *name, uint32_t *val) {
  return get_narrow<yenv_msg::GET_U32, yenv_msg::U32_RANGE>(name, val, yenv_parse_unsigned);
}
int ygetenv_u64(const char *name, uint64_t *val) {
  ytrace::emit_if_kept<yenv_msg::GET_U64>(yenv::trace_id(), ytrace::Level::info, name);
  return yenv_parse_unsigned(name, val);
}

int ygetenv_s8(const char *name, int8_t *val) {
  return get_narrow<yenv_msg::GET_S8, yenv_msg::S8_RANGE>(name, val, yenv_parse_signed);
}
int ygetenv_s16(const char *name, int16_t *val) {
  return get_narrow<yenv_msg::GET_S16, yenv_msg::S16_RANGE>(name, val, yenv_parse_signed);
}
int ygetenv_s32(const char *name, int32_t *val) {
  return get_narrow<yenv_msg::GET_S32, yenv_msg::S32_RANGE>(name, val, yenv_parse_signed);
}
int ygetenv_s64(const char *name, int64_t *val) {
  ytrace::emit_if_kept<yenv_msg::GET_S64>(yenv::trace_id(), ytrace::Level::info, name);
  return yenv_parse_signed(name, val);
}

}  // extern "C"
