// SPDX-License-Identifier: MIT
/* Traced access to the process environment: strings, strictly parsed decimal
 * integers, network addresses and lists of variables. Results are errno values
 * (0 success, 2 ENOENT, 12 ENOMEM, 22 EINVAL, 34 ERANGE, 97 EAFNOSUPPORT) unless
 * a function says otherwise; every step leaves a record in the "yenv" trace
 * module. Only yenv_init, ygetenv and yprintenv_list start that module; records
 * of the other functions carry module id 0 until it is started. */
#ifndef YUTIL_YENV_H
#define YUTIL_YENV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

/* Trace module id of "yenv": 0 until the module is started. */
extern uint16_t g_yenv_trace_module_id;

/* Starts the module (registers "yenv" with the trace facility) once per
 * process; later calls, from any thread, do nothing. */
void yenv_init(void);

/* Reads `name`; *val (when val is not null) receives the environment's own text,
 * not a copy, or null. Returns 0 when set (even to ""), 2 when not set, 22 when
 * name is null (no record, the module is not started). */
int ygetenv(const char *name, const char **val);

/* Sets `name` to `val`, replacing any value. Returns 0, or 12 when setenv fails
 * (also for an empty name or one holding "="). A null val ends the process
 * through the assertion routine. */
int ysetenv(const char *name, const char *val);

/* Removes `name`. Returns what unsetenv returned: 0, or -1 with errno set. */
int yunsetenv(const char *name);

/* Integer getters: decimal digits only, after optional leading white space and
 * one sign. *val is written only on 0. Returns 2 when unset or empty (unsigned:
 * also white space only), 22 for any other text, 34 out of range (unsigned: any
 * number written with "-"). A null name or val ends the process through the
 * assertion routine. */
int ygetenv_u8(const char *name, uint8_t *val);
int ygetenv_u16(const char *name, uint16_t *val);
int ygetenv_u32(const char *name, uint32_t *val);
int ygetenv_u64(const char *name, uint64_t *val);
int ygetenv_s8(const char *name, int8_t *val);
int ygetenv_s16(const char *name, int16_t *val);
int ygetenv_s32(const char *name, int32_t *val);
int ygetenv_s64(const char *name, int64_t *val);

/* Integer setters: store `val` as plain decimal text. Returns 0; 12 when setenv
 * fails (the variable keeps its value); 22 or 34 when the text cannot be made. */
int ysetenv_u32(const char *name, uint32_t val);
int ysetenv_u64(const char *name, uint64_t val);
int ysetenv_s32(const char *name, int32_t val);
int ysetenv_s64(const char *name, int64_t val);

/* Parses `name` with inet_pton(family) into address_out (4 bytes for AF_INET,
 * 16 for AF_INET6; both from <sys/socket.h>). Returns 0; 2 unset or empty; 22
 * not an address of that family, or name or address_out null (no record); else
 * inet_pton's errno (97). */
int ygetenv_addr(const char *name, int family, void *address_out);

/* Stores the raw address as inet_ntop text. Returns 0; 97 when family is neither
 * AF_INET nor AF_INET6; 12 when setenv fails; 22 when address is null (no
 * record); else inet_ntop's errno. On failure the variable keeps its value. */
int ysetenv_addr(const char *name, int family, const void *address);

/* Removes every variable of the null-terminated `list`; a null list is empty. */
void yunsetenv_list(const char *const *list);

/* Writes "name=value\n" for each set variable of `list` (and "name=\n" for the
 * unset ones when all is nonzero) to fd in append mode: to the end of a file,
 * whatever fd's offset. For the duration of the call the open file fd refers to
 * has O_APPEND set, as seen through every descriptor sharing it; it gets its own
 * status flags back before return, and fd stays open. Returns the characters
 * written; -1 when fd cannot be duplicated, no stream opens on it, any line fails
 * to reach it, or the total does not fit an int (errno EOVERFLOW; every line is
 * still written). A null list is empty. */
int yprintenv_list(int fd, const char *const *list, int all);

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif
