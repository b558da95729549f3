// SPDX-License-Identifier: MIT
/* What the trace stand-in's own files share; none of it is exported. */
#ifndef YUTIL_STANDINS_YTRACE_INTERNAL_H
#define YUTIL_STANDINS_YTRACE_INTERNAL_H

#include <stddef.h>
#include <signal.h>
#include <stdint.h>
#include <string.h>
#include <sys/types.h>

#include "ytrace_capture.h"
#include "ytrace_file_format.h"

#pragma GCC visibility push(hidden)

/* Numbers go into the file as they are in memory: the file's byte order. */
_Static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a little-endian writer");

/* Stores the low `bytes` bytes of `value` at `p`, in the file's (and the
 * writer's) byte order; returns the address after them. */
static inline unsigned char *ytrace_put(unsigned char *p, uint64_t value, int bytes) {
  memcpy(p, &value, (size_t)bytes);
  return p + bytes;
}

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
/* In a forked child: forgets the parent's process identity and its threads'
 * blocks. */
void ytrace_file_after_fork(void);
/* The file grows this much at a time, so its size is always a multiple of it:
 * stores into the block that holds a file's end, when that end is not at a block
 * boundary, can be lost while another process extends the file (seen on ext4). A
 * large step also makes new pages cheaper to fault in (fewer, larger extents). */
#define YTRACE_FILE_CHUNK (8 << 20)

/* What a block's header says of the process; a forked child gets its own. */
pid_t ytrace_file_pid(void);
uint64_t ytrace_file_instance(void);
/* Nanoseconds since the Unix epoch, as entries carry them. */
uint64_t ytrace_file_now(void);

/* A site: what all records of one emit call share, written once per block. */
typedef struct {
  const void *catalog; /* NULL: a free slot */
  uint32_t index, level_word;
  uint16_t module_id, id;
  uint32_t signature; /* the argument types, one byte each */
} ytrace_site_s;

/* Sites a block holds at most, and the slots of the table that finds them. */
enum { YTRACE_SITES_MAX = 192, YTRACE_SITE_SLOTS = 256 };

/* A thread's place in the file: the block it writes, its next entry, the sites
 * defined in it. Only its thread uses it. */
/* A thread maps this much of the file around its block (a 32-bit process has
 * little address space for more). */
#define YTRACE_WINDOW_SIZE (2 << 20)

typedef struct {
  unsigned char *window; /* NULL: none mapped */
  uint64_t window_at;    /* the file offset the window maps */
  unsigned char *block;  /* in the window; NULL: none taken yet */
  uint32_t used;         /* offset in the block of the next entry */
  uint16_t sites;
  volatile sig_atomic_t busy; /* writing an entry */
  ytrace_site_s site[YTRACE_SITE_SLOTS];
} ytrace_writer_s;

/* Writes to the file open as `fd`, whose header `header` maps
 * (ytrace_file_blocks.c); nonzero when it can. */
int ytrace_file_blocks_start(int fd, unsigned char *header);
void ytrace_file_blocks_after_fork(void);
/* The calling thread's writer; NULL when the file is not written (none named, or
 * recording stopped). */
ytrace_writer_s *ytrace_file_writer(void);
/* Whether `need` bytes of entries fit at the writer's next entry. */
int ytrace_file_fits(const ytrace_writer_s *w, uint32_t need);
/* Closes the writer's block, if any, and takes a new one, its site table empty;
 * 0 when recording stopped. */
int ytrace_file_next_block(ytrace_writer_s *w);

void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count);
/* The name a module registered with, or NULL (ytrace.c). */
const char *ytrace_module_name(uint16_t module_id);

#pragma GCC visibility pop

#endif
