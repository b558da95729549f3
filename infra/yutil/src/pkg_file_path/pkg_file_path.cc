// SPDX-License-Identifier: MIT
// Redirects a package path under /tmp/sw/ to /tmp/lf/ when that file exists. The
// caller's string is rewritten in place, so the two prefixes keep the same length
// and only the two letters that differ are ever touched.
#include "yelmir_pkg_file_path.h"

#include <string.h>
#include <unistd.h>

#include "trace.h"

namespace {

constexpr char kPackagePrefix[] = "/tmp/sw/";
constexpr size_t kPrefixLength = sizeof kPackagePrefix - 1;
// Positions of "sw" in kPackagePrefix.
constexpr size_t kTag = 5;

void set_tag(char *path, char first, char second) {
  path[kTag] = first;
  path[kTag + 1] = second;
}

}  // namespace

extern "C" {

// Registered, if at all, by the platform outside the library.
uint16_t g_patch_utils_trace_module_id = 0;

int yelmir_get_pkg_file_path(char *path) {
  if (path == nullptr) {
    ytrace::emit<patch_utils_msg::PATH_NULL>(g_patch_utils_trace_module_id, ytrace::Level::failure);
    return 0;
  }
  if (strncmp(path, kPackagePrefix, kPrefixLength) != 0) {
    ytrace::emit<patch_utils_msg::PATH_NOT_PACKAGE>(g_patch_utils_trace_module_id,
                                                    ytrace::Level::failure);
    return 0;
  }
  set_tag(path, 'l', 'f');
  // Existence only: a directory or an unreadable file is still the one to use.
  if (access(path, F_OK) == -1) set_tag(path, 's', 'w');
  return 1;
}

}  // extern "C"
