// SPDX-License-Identifier: MIT
/* Room for entries in the record file, written through shared mappings of it: no
 * system call per entry, which would cost some thirty times keeping the record.
 *
 * A writer reserves an entry's bytes with an atomic add on the header's end field,
 * which every process maps, then stores the entry as ytrace_file_format.h says. The
 * page cache keeps a shared mapping's stores even when the process dies right
 * after, an abort() too. The file is extended ahead, YTRACE_FILE_CHUNK at a time,
 * with fallocate(2): it never shrinks the file, so concurrent callers need no lock,
 * and it takes the disk blocks at once, so a store into the mapping never faults
 * for want of them. Each thread writes through a window of its own onto the file,
 * moved as the file grows: no other thread uses it, so it is unmapped without a
 * lock. Windows, not the whole file, since a 32-bit process has little address
 * space. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ytrace_internal.h"

/* Processes share end: it must not rely on a lock of one process. */
_Static_assert(__atomic_always_lock_free(sizeof(uint64_t), 0), "a lock-free end");

enum {
  WINDOW = 1 << 20, /* entries starting in one such stretch share a mapping */
  /* A window maps the entry that starts last in it whole. */
  WINDOW_MAPPED = WINDOW + YTRACE_FILE_ENTRY_MAX
};

static int fd = -1;
static uint64_t *end;
/* The file is known to be at least this long. */
static uint64_t allocated;
/* Unmaps a thread's window when it ends. */
static pthread_key_t window_key;

typedef struct {
  unsigned char *base; /* NULL: none */
  uint64_t first;      /* the file offset base maps */
} window_s;
static __thread window_s window;

static void unmap_window(void *w) {
  window_s *mine = w;
  if (mine->base != NULL) munmap(mine->base, WINDOW_MAPPED);
  mine->base = NULL;
}

/* Windows are not inherited (MADV_DONTFORK): a child holds none of the other
 * threads', and maps its own for the thread that forked. */
void ytrace_file_space_after_fork(void) {
  window.base = NULL;
}

int ytrace_file_space_start(int f, uint64_t *header_end) {
  struct stat st;
  if (fstat(f, &st) != 0 || pthread_key_create(&window_key, unmap_window) != 0) return 0;
  end = header_end;
  allocated = (uint64_t)st.st_size;
  __atomic_store_n(&fd, f, __ATOMIC_RELEASE);
  return 1;
}

int ytrace_file_writable(void) {
  return __atomic_load_n(&fd, __ATOMIC_ACQUIRE) >= 0;
}

/* Makes the file at least `to` bytes long; threads racing here may store a
 * smaller hint than another's, which costs only a call more. */
static int reach(int f, uint64_t to) {
  uint64_t known = __atomic_load_n(&allocated, __ATOMIC_RELAXED);
  if (to <= known) return 1;
  uint64_t wanted = (to + YTRACE_FILE_CHUNK - 1) / YTRACE_FILE_CHUNK * YTRACE_FILE_CHUNK;
  int failed;
  while ((failed = fallocate(f, 0, (off_t)known, (off_t)(wanted - known))) != 0 && errno == EINTR) {
  }
  if (!failed) __atomic_store_n(&allocated, wanted, __ATOMIC_RELAXED);
  return !failed;
}

/* The address of file offset `at` in this thread's window, moved there if need be;
 * NULL when it cannot be mapped. */
static unsigned char *mapped(int f, uint64_t at) {
  window_s *w = &window;
  if (w->base != NULL && at - w->first < WINDOW) return w->base + (at - w->first);
  if (w->base != NULL) {
    munmap(w->base, WINDOW_MAPPED);
  } else if (pthread_setspecific(window_key, w) != 0) {
    return NULL;
  }
  w->first = at / WINDOW * WINDOW;
  void *p = mmap(NULL, WINDOW_MAPPED, PROT_READ | PROT_WRITE, MAP_SHARED, f, (off_t)w->first);
  w->base = p != MAP_FAILED ? p : NULL;
  if (w->base == NULL) return NULL;
  madvise(w->base, WINDOW_MAPPED, MADV_DONTFORK);
  return w->base + (at - w->first);
}

/* The process stops writing when its reserved room cannot be reached (a full
 * disk, no address space left). The room gets its size, if the disk still takes
 * it, so that readers skip it. */
static void give_up(int f, uint64_t at, uint32_t size) {
  __atomic_store_n(&fd, -1, __ATOMIC_RELAXED);
  while (pwrite(f, &size, sizeof size, (off_t)at) < 0 && errno == EINTR) {
  }
}

void ytrace_file_append(unsigned char *entry, size_t length) {
  int f = __atomic_load_n(&fd, __ATOMIC_ACQUIRE);
  if (f < 0) return;
  int saved = errno;
  uint32_t size =
      (uint32_t)(length + YTRACE_ENTRY_ALIGN - 1) / YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;
  memset(entry + length, 0, size - length);
  uint64_t at = __atomic_fetch_add(end, size, __ATOMIC_RELAXED);
  unsigned char *p = reach(f, at + size) ? mapped(f, at) : NULL;
  if (p != NULL) {
    /* First the size, so that a reader can skip the entry should this process die. */
    __atomic_store_n((uint32_t *)p, size, __ATOMIC_RELAXED);
    memcpy(p + YTRACE_ENTRY_KIND_OFFSET + 1, entry + YTRACE_ENTRY_KIND_OFFSET + 1,
           size - YTRACE_ENTRY_KIND_OFFSET - 1);
    __atomic_store_n(p + YTRACE_ENTRY_KIND_OFFSET, entry[YTRACE_ENTRY_KIND_OFFSET],
                     __ATOMIC_RELEASE);
  } else {
    give_up(f, at, size);
  }
  errno = saved;
}
