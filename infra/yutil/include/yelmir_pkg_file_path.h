// SPDX-License-Identifier: MIT
/* Package file paths: a path under "/tmp/sw/" is redirected in place to the file
 * of the same name under "/tmp/lf/" when that file exists. */
#ifndef YUTIL_YELMIR_PKG_FILE_PATH_H
#define YUTIL_YELMIR_PKG_FILE_PATH_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

/* Trace module id of the "patch_utils" records; 0 until a component outside the
 * library registers the module and stores its id here. */
extern uint16_t g_patch_utils_trace_module_id;

/* path: a writable NUL-terminated string. Returns 1 when it starts with "/tmp/sw/":
 * it then names the "/tmp/lf/" file if one exists (directories and unreadable
 * files count), else it is unchanged. Returns 0, path unchanged and one level-3
 * record emitted, when path is null or lies outside "/tmp/sw/". The string holds
 * the "/tmp/lf/" form during the call: do not share it with another thread. */
int yelmir_get_pkg_file_path(char *path);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
