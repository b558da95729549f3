// SPDX-License-Identifier: MIT
/* The record file YTRACE_FILE names, in the format of ytrace_file_format.h: opening
 * it, and what a block's header says of the process. ytrace_file_blocks.c hands
 * out the blocks, ytrace_file_record.c writes the entries.
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

/* Asked of the kernel once per process; a forked child forgets them. */
static pid_t pid;
static uint64_t instance;

/* A new file's header; an existing file's must start the same up to its count of
 * blocks taken. */
static void fill_header(unsigned char *h) {
  memset(h, 0, YTRACE_FILE_HEADER_SIZE);
  memcpy(h, YTRACE_FILE_MAGIC, 4);
  unsigned char *p =
      ytrace_put(ytrace_put(h + 4, YTRACE_FILE_VERSION, 2), YTRACE_FILE_HEADER_SIZE, 2);
  ytrace_put(ytrace_put(p, YTRACE_BLOCK_SIZE, 4), 1, 4); /* block 0 is the header's */
}

/* The header's first 8 bytes, as one number: a file made a record file in place
 * gets them in one store, after the rest. */
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
  uint32_t block_size;
  memcpy(&block_size, h + 8, 4);
  if (__atomic_load_n((uint64_t *)(void *)h, __ATOMIC_ACQUIRE) == header_start() &&
      block_size == YTRACE_BLOCK_SIZE) {
    return h;
  }
  munmap(h, YTRACE_FILE_HEADER_SIZE);
  return NULL;
}

/* Makes the file open as `f` a record file in place when it is an empty regular
 * file (as made by `: >` or mktemp), and returns its header as map_header() does.
 * Processes starting at once take turns under an exclusive lock: the first finds
 * the file empty and extends it to YTRACE_FILE_CHUNK zero bytes, then stores the
 * header, its first 8 bytes last; the others find the header. A
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
      unsigned char whole[YTRACE_FILE_HEADER_SIZE];
      fill_header(whole);
      memcpy(h + 8, whole + 8, YTRACE_FILE_HEADER_SIZE - 8);
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
  instance = 0;
  ytrace_file_blocks_after_fork();
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
  if (h == NULL || !ytrace_file_blocks_start(f, h)) {
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

/* The process's start time in clock ticks after boot, field 22 of its stat
 * line; 0 when /proc cannot tell. */
static uint64_t start_time(void) {
  char line[1024];
  int f = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  ssize_t n = f >= 0 ? read(f, line, sizeof line - 1) : -1;
  if (f >= 0) close(f);
  if (n <= 0) return 0;
  line[n] = 0;
  char *p = strrchr(line, ')'); /* the command name may hold anything but this */
  for (int field = 2; p != NULL && field < 22; field++) p = strchr(p + 1, ' ');
  return p != NULL ? strtoull(p + 1, NULL, 10) : 0;
}

/* Several threads may ask at once; each finds the same answer. */
uint64_t ytrace_file_instance(void) {
  uint64_t i = __atomic_load_n(&instance, __ATOMIC_RELAXED);
  if (i == 0) {
    i = start_time();
    __atomic_store_n(&instance, i, __ATOMIC_RELAXED);
  }
  return i;
}

uint64_t ytrace_file_now(void) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
}
