// String access: get, set and unset one variable.
#include <errno.h>
#include <stdlib.h>

#include "internal.h"

int yenv::store(const char *name, const char *text) {
  emit(yenv_msg::SETENV, 6, name, text);
  if (setenv(name, text, 1) == -1) {
    emit(yenv_msg::SETENV_FAILED, 3, name);
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
  yenv::emit(yenv_msg::GETENV, 6, name);
  const char *value = getenv(name);
  if (val != nullptr) *val = value;
  if (value == nullptr) {
    yenv::emit(yenv_msg::GETENV_NOT_SET, 6, name);
    return ENOENT;
  }
  yenv::emit(yenv_msg::GETENV_VALUE, 6, name, value);
  return 0;
}

int ysetenv(const char *name, const char *val) {
  YENV_ASSERT(val);
  return yenv::store(name, val);
}

int yunsetenv(const char *name) {
  yenv::emit(yenv_msg::UNSETENV, 6, name);
  return unsetenv(name);
}

}  // extern "C"
