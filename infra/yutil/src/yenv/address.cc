// SPDX-License-Identifier: MIT
// Network addresses kept as their standard text form.
#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>

#include "internal.h"

namespace {

// Room for the longest IPv6 text and its terminating zero byte.
constexpr size_t kAddressTextSize = 47;

// The C library's reason for a refusal; never 0, which would read as success.
int reason(int fallback) {
  return errno != 0 ? errno : fallback;
}

}  // namespace

extern "C" {

int ygetenv_addr(const char *name, int family, void *address_out) {
  // getenv and inet_pton would crash on these: refuse them before anything else.
  if (name == nullptr || address_out == nullptr) return EINVAL;
  ytrace::emit_if_kept<yenv_msg::GET_ADDR>(yenv::trace_id(), ytrace::Level::info, name, family);
  const char *value = getenv(name);
  if (value == nullptr || *value == 0) {
    ytrace::emit_if_kept<yenv_msg::ADDR_NOT_SET>(yenv::trace_id(), ytrace::Level::info, name);
    return ENOENT;
  }
  ytrace::emit_if_kept<yenv_msg::ADDR_VALUE>(yenv::trace_id(), ytrace::Level::info, name, value);
  errno = 0;
  int parsed = inet_pton(family, value, address_out);
  if (parsed == 1) return 0;
  if (parsed == 0) {
    ytrace::emit_if_kept<yenv_msg::ADDR_UNPARSEABLE>(yenv::trace_id(), ytrace::Level::failure, name,
                                                     value, family);
    return EINVAL;
  }
  int err = reason(EAFNOSUPPORT);
  ytrace::emit_if_kept<yenv_msg::ADDR_GET_FAMILY>(yenv::trace_id(), ytrace::Level::failure, name,
                                                  family);
  return err;
}

int ysetenv_addr(const char *name, int family, const void *address) {
  if (address == nullptr) return EINVAL;
  char text[kAddressTextSize] = {};
  size_t size = 0;
  if (family == AF_INET) {
    size = 4;
  } else if (family == AF_INET6) {
    size = 16;
  } else {
    ytrace::emit_if_kept<yenv_msg::ADDR_SET_FAMILY>(yenv::trace_id(), ytrace::Level::failure, name,
                                                    family);
    return EAFNOSUPPORT;
  }

  // The raw bytes extend the announcing record, one continuation each. That
  // record goes to the facility even when filtered: the continuations take its
  // level from it, and must not attach to whatever record came before.
  ytrace::emit<yenv_msg::SET_ADDR>(yenv::trace_id(), ytrace::Level::info, name, family);
  const auto *bytes = static_cast<const uint8_t *>(address);
  for (size_t i = 0; i < size; i++) ytrace::emit_continuation<yenv_msg::ADDR_BYTE>(bytes[i]);

  errno = 0;
  if (inet_ntop(family, address, text, kAddressTextSize) == nullptr) {
    int err = reason(EINVAL);
    ytrace::emit_if_kept<yenv_msg::SET_ADDR_CONVERT_FAILED>(yenv::trace_id(),
                                                            ytrace::Level::failure, name, err);
    return err;
  }
  return yenv::store(name, text);
}

}  // extern "C"
