// SPDX-License-Identifier: MIT
// The four integer setters: the value as plain decimal text, then the store step.
#include <errno.h>
#include <stdio.h>

#include "internal.h"

namespace {

// Every text fits with room to spare (20 characters at most); the checks on the
// formatter's count stay for a formatter that fails.
constexpr size_t kTextSize = 32;

struct SetterMessages {
  yenv_msg::Id announce, format_failed, too_long;
};

// `n` is what snprintf returned for the text in `text`.
template <SetterMessages M>
int finish(const char *name, const char *text, int n) {
  if (n < 0) {
    ytrace::emit_if_kept<M.format_failed>(yenv::trace_id(), ytrace::Level::failure, name, EINVAL);
    return EINVAL;
  }
  if (static_cast<size_t>(n) >= kTextSize) {
    ytrace::emit_if_kept<M.too_long>(yenv::trace_id(), ytrace::Level::failure, name, ERANGE);
    return ERANGE;
  }
  return yenv::store(name, text);
}

// The text of each value type; the count is snprintf's.
int format(char (&text)[kTextSize], uint32_t v) {
  return snprintf(text, kTextSize, "%u", v);
}
int format(char (&text)[kTextSize], uint64_t v) {
  return snprintf(text, kTextSize, "%llu", static_cast<unsigned long long>(v));
}
int format(char (&text)[kTextSize], int32_t v) {
  return snprintf(text, kTextSize, "%d", v);
}
int format(char (&text)[kTextSize], int64_t v) {
  return snprintf(text, kTextSize, "%lld", static_cast<long long>(v));
}

template <SetterMessages M, typename T>
int set_number(const char *name, T val) {
  char text[kTextSize] = {};
  ytrace::emit_if_kept<M.announce>(yenv::trace_id(), ytrace::Level::info, name, val);
  return finish<M>(name, text, format(text, val));
}

}  // namespace

extern "C" {

int ysetenv_u32(const char *name, uint32_t val) {
  return set_number<SetterMessages{yenv_msg::SET_U32, yenv_msg::SET_U32_FORMAT_FAILED,
                                   yenv_msg::SET_U32_TOO_LONG}>(name, val);
}

int ysetenv_u64(const char *name, uint64_t val) {
  return set_number<SetterMessages{yenv_msg::SET_U64, yenv_msg::SET_U64_FORMAT_FAILED,
                                   yenv_msg::SET_U64_TOO_LONG}>(name, val);
}

int ysetenv_s32(const char *name, int32_t val) {
  return set_number<SetterMessages{yenv_msg::SET_S32, yenv_msg::SET_S32_FORMAT_FAILED,
                                   yenv_msg::SET_S32_TOO_LONG}>(name, val);
}

int ysetenv_s64(const char *name, int64_t val) {
  return set_number<SetterMessages{yenv_msg::SET_S64, yenv_msg::SET_S64_FORMAT_FAILED,
                                   yenv_msg::SET_S64_TOO_LONG}>(name, val);
}

}  // extern "C"
