// SPDX-License-Identifier: MIT
/* What the trace stand-in's own files share; none of it is exported. */
#ifndef YUTIL_STANDINS_YTRACE_INTERNAL_H
#define YUTIL_STANDINS_YTRACE_INTERNAL_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "ytrace_capture.h"
#include "ytrace_file_format.h"

#pragma GCC visibility push(hidden)

/* Numbers go into the file as they are in memory: the file's byte order. */
_Static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a little-endian writer");

/* Longest module name kept; a longer one is known by its first this many bytes. */
#define YTRACE_NAME_MAX 31

/* One argument of an emit call. */
typedef struct {
  char type; /* '1' string, '4' 32-bit, '5' 64-bit: the digit of the emit function */
  uint64_t number;
  const char *text; /* a string's bytes, "(null)" for a null pointer */
} ytrace_arg_s;

/* Reads YTRACE_LEVEL: once per process, before the first ytrace_env_level(). */
void ytrace_env_read(void);
/* Highest level YTRACE_LEVEL keeps for the module of that name; NULL asks for the
 * default, which serves every module the variable does not name. */
int ytrace_env_level(const char *module_name);

/* Opens the file YTRACE_FILE names, when it can: once per process. */
void ytrace_file_open(void);
/* In a forked child: forgets the parent's process and thread ids and its threads'
 * windows onto the file. */
void ytrace_file_after_fork(void);
/* The file grows this much at a time, so its size is always a multiple of it:
 * stores into the block that holds a file's end, when that end is not at a block
 * boundary, can be lost while another process extends the file (seen on ext4). A
 * large step also makes new pages cheaper to fault in (fewer, larger extents). */
#define YTRACE_FILE_CHUNK (8 << 20)
/* The longest entry written, padding included: a record of strings cut to
 * YTRACE_FILE_STRING_MAX. */
#define YTRACE_FILE_ENTRY_MAX                                                              \
  (YTRACE_RECORD_FIXED_SIZE + YTRACE_CAPTURE_MAX_ARGS * (1 + 2 + YTRACE_FILE_STRING_MAX) + \
   YTRACE_ENTRY_ALIGN - 1)
/* The process id entries carry; a forked child gets its own. */
pid_t ytrace_file_pid(void);

/* Appends entries to the file open as `fd`, whose header's end field `end` maps
 * (ytrace_file_space.c); nonzero when it can. */
int ytrace_file_space_start(int fd, uint64_t *end);
/* Nonzero until the space started and no entry failed to find room since. */
int ytrace_file_writable(void);
void ytrace_file_space_after_fork(void);
/* Appends the entry `entry` holds, `length` bytes from its size field on; the
 * buffer has room up to the next multiple of YTRACE_ENTRY_ALIGN, which this fills,
 * with the size field. */
void ytrace_file_append(unsigned char *entry, size_t length);

void ytrace_file_registration(uint16_t module_id, const char *name);
void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count);

#pragma GCC visibility pop

#endif
