// SPDX-License-Identifier: MIT
/* The record file YTRACE_FILE names, in the format of ytrace_file_format.h: opening
 * it, and what goes into each entry. ytrace_file_space.c finds the entries room.
 *
 * The file is opened once per process, at its first entry; a forked child keeps
 * the descriptor and the header's mapping it inherits. Nothing is ever printed:
 * when the file cannot be used the records still go to the ring, and errno is as
 * the caller left it. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "ytrace_internal.h"

/* Asked of the kernel once per process and thread; a forked child forgets them. */
static pid_t pid;
static __thread pid_t tid;

/* The low `bytes` bytes of `value`, in the file's (and the writer's) byte order. */
static unsigned char *put(unsigned char *p, uint64_t value, int bytes) {
  memcpy(p, &value, (size_t)bytes);
  return p + bytes;
}

/* A new file's header; an existing file's must start the same up to its end field. */
static void fill_header(unsigned char *h) {
  memcpy(h, YTRACE_FILE_MAGIC, 4);
  put(put(put(h + 4, YTRACE_FILE_VERSION, 2), YTRACE_FILE_HEADER_SIZE, 2), YTRACE_FILE_HEADER_SIZE,
      8);
}

/* The header's fields before its end field, as one number: a file made a record
 * file in place gets them in one store, after its end field. */
static uint64_t header_start(void) {
  unsigned char h[YTRACE_FILE_HEADER_SIZE];
  uint64_t start;
  fill_header(h);
  memcpy(&start, h, sizeof start);
  return start;
}

/* The header of the file open as `f`, mapped shared; NULL when the file does not
 * start with this format's header. */
static unsigned char *map_header(int f) {
  struct stat st;
  if (fstat(f, &st) != 0 || st.st_size < YTRACE_FILE_HEADER_SIZE) return NULL;
  unsigned char *h = mmap(NULL, YTRACE_FILE_HEADER_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, f, 0);
  if (h == MAP_FAILED) return NULL;
  if (__atomic_load_n((uint64_t *)(void *)h, __ATOMIC_ACQUIRE) == header_start()) return h;
  munmap(h, YTRACE_FILE_HEADER_SIZE);
  return NULL;
}

/* Makes the file open as `f` a record file in place when it is an empty regular
 * file (as made by `: >` or mktemp), and returns its header as map_header() does.
 * Processes starting at once take turns under an exclusive lock: the first finds
 * the file empty and extends it to YTRACE_FILE_CHUNK zero bytes, then stores the
 * end field and, last, the rest of the header; the others find the header. A
 * process that saw the file before its header was whole waits for the lock too;
 * any file that holds other bytes where the magic goes is left alone without it. */
static unsigned char *claim_empty_file(int f) {
  const unsigned char none[4] = {0};
  unsigned char magic[4] = {0};
  struct stat st;
  if (fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || pread(f, magic, sizeof magic, 0) < 0) {
    return NULL;
  }
  if (memcmp(magic, none, 4) != 0 && memcmp(magic, YTRACE_FILE_MAGIC, 4) != 0) return NULL;
  int locked;
  while ((locked = flock(f, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (locked != 0) return NULL;
  if (fstat(f, &st) == 0 && st.st_size == 0 && fallocate(f, 0, 0, YTRACE_FILE_CHUNK) == 0) {
    unsigned char *h =
        mmap(NULL, YTRACE_FILE_HEADER_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, f, 0);
    if (h != MAP_FAILED) {
      __atomic_store_n((uint64_t *)(void *)(h + YTRACE_FILE_END_OFFSET),
                       (uint64_t)YTRACE_FILE_HEADER_SIZE, __ATOMIC_RELAXED);
      __atomic_store_n((uint64_t *)(void *)h, header_start(), __ATOMIC_RELEASE);
      munmap(h, YTRACE_FILE_HEADER_SIZE);
    }
  }
  unsigned char *header = map_header(f);
  flock(f, LOCK_UN);
  return header;
}

/* Puts a file holding the header, and zero bytes up to YTRACE_FILE_CHUNK, at
 * `path` unless one is there already, and tells whether a file is there now. The
 * header goes into a private file first, which link(2) then names: no process ever
 * sees the file without its header, nor with a size other than a multiple of
 * YTRACE_FILE_CHUNK, and of several starting at once only one places it (the
 * others get EEXIST). The file's mode is mkostemp's, 0600. */
static int place_file(const char *path) {
  char tmp[PATH_MAX];
  if (snprintf(tmp, sizeof tmp, "%s.XXXXXX", path) >= (int)sizeof tmp) return 0;
  int f = mkostemp(tmp, O_CLOEXEC);
  if (f < 0) return 0;
  unsigned char h[YTRACE_FILE_HEADER_SIZE];
  fill_header(h);
  int written = write(f, h, sizeof h) == sizeof h && fallocate(f, 0, 0, YTRACE_FILE_CHUNK) == 0;
  close(f);
  int placed = written && (link(tmp, path) == 0 || errno == EEXIST);
  unlink(tmp);
  return placed;
}

void ytrace_file_after_fork(void) {
  pid = 0;
  tid = 0;
  ytrace_file_space_after_fork();
}

/* An existing file is appended to only when it starts with this format's header
 * or is an empty regular file; anything else is left alone. No O_CREAT: only
 * place_file creates the file, so that it never exists without its header. */
void ytrace_file_open(void) {
  const char *path = getenv("YTRACE_FILE");
  if (path == NULL || *path == 0) return;
  int saved = errno;
  int f = open(path, O_RDWR | O_CLOEXEC);
  if (f < 0 && errno == ENOENT && place_file(path)) f = open(path, O_RDWR | O_CLOEXEC);
  unsigned char *h = f >= 0 ? map_header(f) : NULL;
  if (h == NULL && f >= 0) h = claim_empty_file(f);
  if (h == NULL || !ytrace_file_space_start(f, (uint64_t *)(void *)(h + YTRACE_FILE_END_OFFSET))) {
    if (h != NULL) munmap(h, YTRACE_FILE_HEADER_SIZE);
    if (f >= 0) close(f);
  }
  errno = saved;
}

pid_t ytrace_file_pid(void) {
  pid_t p = __atomic_load_n(&pid, __ATOMIC_RELAXED);
  if (p == 0) {
    p = getpid();
    __atomic_store_n(&pid, p, __ATOMIC_RELAXED);
  }
  return p;
}

/* Fills in what every entry starts with but its size, which ytrace_file_append()
 * sets. */
static unsigned char *begin_entry(unsigned char *buf, int kind) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  if (tid == 0) tid = gettid();
  unsigned char *p = buf + 4;
  *p++ = (unsigned char)kind;
  p = put(p, (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec, 8);
  p = put(p, (uint32_t)ytrace_file_pid(), 4);
  return put(p, (uint32_t)tid, 4);
}

void ytrace_file_registration(uint16_t module_id, const char *name) {
  unsigned char buf[YTRACE_ENTRY_COMMON_SIZE + 2 + 1 + YTRACE_NAME_MAX + YTRACE_ENTRY_ALIGN - 1];
  size_t length = strnlen(name, YTRACE_NAME_MAX);
  unsigned char *p = put(begin_entry(buf, YTRACE_ENTRY_REGISTRATION), module_id, 2);
  *p++ = (unsigned char)length;
  memcpy(p, name, length);
  ytrace_file_append(buf, (size_t)(p + length - buf));
}

void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count) {
  unsigned char buf[YTRACE_FILE_ENTRY_MAX];
  unsigned char *p = begin_entry(buf, YTRACE_ENTRY_RECORD);
  if (catalog != NULL) {
    memcpy(p, catalog, YTRACE_FILE_IDENTITY_SIZE);
  } else {
    memset(p, 0, YTRACE_FILE_IDENTITY_SIZE);
  }
  p = put(p + YTRACE_FILE_IDENTITY_SIZE, index, 4);
  p = put(p, module_id, 2);
  p = put(p, level_word, 4);
  *p++ = (unsigned char)arg_count;
  for (unsigned i = 0; i < arg_count; i++) {
    *p++ = (unsigned char)(args[i].type - '0');
    if (args[i].type == '1') {
      size_t length = strnlen(args[i].text, YTRACE_FILE_STRING_MAX);
      p = put(p, length, 2);
      memcpy(p, args[i].text, length);
      p += length;
    } else {
      p = put(p, args[i].number, args[i].type == '4' ? 4 : 8);
    }
  }
  ytrace_file_append(buf, (size_t)(p - buf));
}
