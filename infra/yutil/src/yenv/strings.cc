// SPDX-License-Identifier: MIT
// String access: get, set and unset one variable.
#include <errno.h>
#include <stdlib.h>

#include "internal.h"

int yenv::store(const char *name, const char *text) {
  ytrace::emit_if_kept<yenv_msg::SETENV>(yenv::trace_id(), ytrace::Level::info, name, text);
  if (setenv(name, text, 1) == -1) {
    ytrace::emit_if_kept<yenv_msg::SETENV_FAILED>(yenv::trace_id(), ytrace::Level::failure, name);
    return ENOMEM;
  }
  return 0;
}

extern "C" {

int ygetenv(const char *name, const char **val) {
  // getenv would crash on a null name: refuse it before anything else.
  if (name == nullptr) {
    if (val != nullptr) *val = nullptr;
    return EINVAL;
  }
  yenv::start();
  ytrace::emit_if_kept<yenv_msg::GETENV>(yenv::trace_id(), ytrace::Level::info, name);
  const char *value = getenv(name);
  if (val != nullptr) *val = value;
  if (value == nullptr) {
    ytrace::emit_if_kept<yenv_msg::GETENV_NOT_SET>(yenv::trace_id(), ytrace::Level::info, name);
    return ENOENT;
  }
  ytrace::emit_if_kept<yenv_msg::GETENV_VALUE>(yenv::trace_id(), ytrace::Level::info, name, value);
  return 0;
}

int ysetenv(const char *name, const char *val) {
  YENV_ASSERT(val);
  return yenv::store(name, val);
}

int yunsetenv(const char *name) {
  ytrace::emit_if_kept<yenv_msg::UNSETENV>(yenv::trace_id(), ytrace::Level::info, name);
  return unsetenv(name);
}

}  // extern "C"
