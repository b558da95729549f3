// SPDX-License-Identifier: MIT
/* The platform's assertion routine: reports a broken internal contract and
 * ends the process. */
#ifndef YUTIL_PLATFORM_YASSERT_H
#define YUTIL_PLATFORM_YASSERT_H

#ifdef __cplusplus
extern "C" {
#endif

__attribute__((__noreturn__)) void yassert(const char *expression, const char *source_path,
                                           int line);

#ifdef __cplusplus
}
#endif

#endif
