/* The record file YTRACE_FILE names, in the format of ytrace_file_format.h.
 *
 * Several threads and processes append to one file at once. Each entry is built in
 * a local buffer and goes out in one write(2) on a descriptor opened with O_APPEND,
 * which places it whole after every entry written before; no lock is needed. The
 * file is opened once per process, at its first entry; a forked child keeps using
 * the descriptor it inherits. Nothing is ever printed: when the file cannot be used
 * the records still go to the ring, and errno is as the caller left it. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "ytrace_capture.h"
#include "ytrace_file_format.h"
#include "ytrace_internal.h"

enum {
  IDENTITY_SIZE = 16,
  RECORD_FIXED_SIZE = YTRACE_ENTRY_COMMON_SIZE + IDENTITY_SIZE + 4 + 2 + 4 + 1,
  ENTRY_MAX = RECORD_FIXED_SIZE + YTRACE_CAPTURE_MAX_ARGS * (1 + 2 + YTRACE_FILE_STRING_MAX)
};

static pthread_once_t once = PTHREAD_ONCE_INIT;
static int fd = -1;
/* Asked of the kernel once per process and thread; a forked child forgets them. */
static pid_t pid;
static __thread pid_t tid;

static unsigned char *put(unsigned char *p, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++) p[i] = (unsigned char)(value >> 8 * i);
  return p + bytes;
}

static int has_header(const char *path) {
  unsigned char h[YTRACE_FILE_HEADER_SIZE];
  int f = open(path, O_RDONLY | O_CLOEXEC);
  if (f < 0) return 0;
  int ok = read(f, h, sizeof h) == sizeof h && memcmp(h, YTRACE_FILE_MAGIC, 4) == 0 &&
           (h[4] | h[5] << 8) == YTRACE_FILE_VERSION;
  close(f);
  return ok;
}

/* Puts a file holding just the header at `path` unless one is there already, and
 * tells whether a file is there now. The header goes into a private file first,
 * which link(2) then names: no process ever sees the file without its header, and
 * of several starting at once only one places it (the others get EEXIST). The
 * file's mode is mkostemp's, 0600. */
static int place_file(const char *path) {
  char tmp[PATH_MAX];
  if (snprintf(tmp, sizeof tmp, "%s.XXXXXX", path) >= (int)sizeof tmp) return 0;
  int f = mkostemp(tmp, O_CLOEXEC);
  if (f < 0) return 0;
  unsigned char h[YTRACE_FILE_HEADER_SIZE];
  memcpy(h, YTRACE_FILE_MAGIC, 4);
  put(put(h + 4, YTRACE_FILE_VERSION, 2), YTRACE_FILE_HEADER_SIZE, 2);
  int written = write(f, h, sizeof h) == sizeof h;
  close(f);
  int placed = written && (link(tmp, path) == 0 || errno == EEXIST);
  unlink(tmp);
  return placed;
}

static void forget_ids(void) {
  pid = 0;
  tid = 0;
}

/* An existing file is appended to only when it starts with this format's header;
 * anything else, an empty file too, is left alone. No O_CREAT: only place_file
 * creates the file, so that it never exists without its header. */
static void open_file(void) {
  const char *path = getenv("YTRACE_FILE");
  if (path == NULL || *path == 0) return;
  int saved = errno;
  int f = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (f < 0 && errno == ENOENT && place_file(path)) f = open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (f >= 0 && (!has_header(path) || pthread_atfork(NULL, NULL, forget_ids) != 0)) {
    close(f);
    f = -1;
  }
  __atomic_store_n(&fd, f, __ATOMIC_RELAXED);
  errno = saved;
}

int ytrace_file_open(void) {
  pthread_once(&once, open_file);
  return __atomic_load_n(&fd, __ATOMIC_RELAXED) >= 0;
}

pid_t ytrace_file_pid(void) {
  pid_t p = __atomic_load_n(&pid, __ATOMIC_RELAXED);
  if (p == 0) {
    p = getpid();
    __atomic_store_n(&pid, p, __ATOMIC_RELAXED);
  }
  return p;
}

/* Fills in what every entry starts with but its size, which append() sets. */
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

/* A short write (a full disk, a file size limit) is not completed: the rest would
 * land after other writers' entries, which a reader could no longer find. The
 * process stops writing instead; a reader stops at the cut entry. */
static void append(unsigned char *buf, const unsigned char *end) {
  int f = __atomic_load_n(&fd, __ATOMIC_RELAXED);
  if (f < 0) return;
  size_t size = (size_t)(end - buf);
  put(buf, size, 4);
  int saved = errno;
  ssize_t written;
  do {
    written = write(f, buf, size);
  } while (written < 0 && errno == EINTR);
  if (written != (ssize_t)size) __atomic_store_n(&fd, -1, __ATOMIC_RELAXED);
  errno = saved;
}

void ytrace_file_registration(uint16_t module_id, const char *name) {
  unsigned char buf[YTRACE_ENTRY_COMMON_SIZE + 2 + 1 + YTRACE_NAME_MAX];
  size_t length = strnlen(name, YTRACE_NAME_MAX);
  unsigned char *p = put(begin_entry(buf, YTRACE_ENTRY_REGISTRATION), module_id, 2);
  *p++ = (unsigned char)length;
  memcpy(p, name, length);
  append(buf, p + length);
}

void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count) {
  unsigned char buf[ENTRY_MAX];
  unsigned char *p = begin_entry(buf, YTRACE_ENTRY_RECORD);
  if (catalog != NULL) {
    memcpy(p, catalog, IDENTITY_SIZE);
  } else {
    memset(p, 0, IDENTITY_SIZE);
  }
  p = put(p + IDENTITY_SIZE, index, 4);
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
  append(buf, p);
}
