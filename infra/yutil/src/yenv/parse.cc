// SPDX-License-Identifier: MIT
// The two number readers. Both take decimal digits only, with no base prefix,
// and refuse any byte after the digits, trailing white space included.
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>

#include "internal.h"

extern "C" {

// Unsigned: leading white space, then "+", "-" or a digit. A "-" makes the
// number out of range whatever follows, "-0" included, instead of letting
// strtoull wrap it around.
int yenv_parse_unsigned(const char *name, uint64_t *val, const char **text) {
  YENV_ASSERT(name);
  YENV_ASSERT(val);
  const char *value = getenv(name);
  if (value == nullptr) {
    ytrace::emit_if_kept<yenv_msg::UNSIGNED_NOT_SET>(yenv::trace_id(), ytrace::Level::info, name);
    return ENOENT;
  }
  if (text != nullptr) *text = value;
  ytrace::emit_if_kept<yenv_msg::UNSIGNED_VALUE>(yenv::trace_id(), ytrace::Level::info, name,
                                                 value);

  const char *p = value;
  while (isspace(static_cast<unsigned char>(*p))) p++;
  if (*p == 0) {
    ytrace::emit_if_kept<yenv_msg::UNSIGNED_ONLY_SPACES>(yenv::trace_id(), ytrace::Level::info,
                                                         name);
    return ENOENT;
  }
  bool negative = *p == '-';
  if (!negative && *p != '+' && (*p < '0' || *p > '9')) {
    ytrace::emit_if_kept<yenv_msg::UNSIGNED_LEADING_CHAR>(
        yenv::trace_id(), ytrace::Level::failure, name, value, static_cast<unsigned char>(*p));
    return EINVAL;
  }

  errno = 0;
  char *end = nullptr;
  unsigned long long n = strtoull(p, &end, 10);
  if (*end != 0) {
    ytrace::emit_if_kept<yenv_msg::UNSIGNED_INVALID>(yenv::trace_id(), ytrace::Level::failure, name,
                                                     value);
    return EINVAL;
  }
  if (negative || (n == ULLONG_MAX && errno == ERANGE)) {
    ytrace::emit_if_kept<yenv_msg::U64_RANGE>(yenv::trace_id(), ytrace::Level::failure, name,
                                              value);
    return ERANGE;
  }
  *val = n;
  return 0;
}

// Signed: strtoll alone decides, white space and one sign included.
int yenv_parse_signed(const char *name, int64_t *val, const char **text) {
  YENV_ASSERT(name);
  YENV_ASSERT(val);
  const char *value = getenv(name);
  if (value == nullptr || *value == 0) {
    ytrace::emit_if_kept<yenv_msg::SIGNED_NOT_SET>(yenv::trace_id(), ytrace::Level::info, name);
    return ENOENT;
  }
  if (text != nullptr) *text = value;
  ytrace::emit_if_kept<yenv_msg::SIGNED_VALUE>(yenv::trace_id(), ytrace::Level::info, name, value);

  errno = 0;
  char *end = nullptr;
  long long n = strtoll(value, &end, 10);
  if (*end != 0) {
    ytrace::emit_if_kept<yenv_msg::SIGNED_INVALID>(yenv::trace_id(), ytrace::Level::failure, name,
                                                   value);
    return EINVAL;
  }
  if ((n == LLONG_MAX || n == LLONG_MIN) && errno == ERANGE) {
    ytrace::emit_if_kept<yenv_msg::S64_RANGE>(yenv::trace_id(), ytrace::Level::failure, name,
                                              value);
    return ERANGE;
  }
  *val = n;
  return 0;
}

}  // extern "C"
