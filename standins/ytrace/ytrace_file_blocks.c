// SPDX-License-Identifier: MIT
/* Blocks of the record file, one per writing thread at a time, written through a
 * shared mapping of each: no system call per entry, and no store shared with
 * another thread, so that threads do not slow each other down.
 *
 * A thread takes a block with an atomic add on the header's count of blocks
 * taken, which every process maps; the file is extended ahead, YTRACE_FILE_CHUNK
 * at a time, with fallocate(2): it never shrinks the file, so concurrent callers
 * need no lock, and it takes the disk blocks at once, so a store into the mapping
 * never faults for want of them. The block's pages are faulted in writable when
 * it is taken, not one by one under the records. The page cache keeps a shared
 * mapping's stores even when the process dies right after, an abort() too.
 *
 * When the file cannot grow, or a block cannot be mapped, recording stops for
 * every process: the header says at which block and why, and no block is taken
 * after it. Records already in blocks stay whole; later ones go to the ring only. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ytrace_internal.h"

_Static_assert(YTRACE_FILE_CHUNK % YTRACE_WINDOW_SIZE == 0 &&
                   YTRACE_WINDOW_SIZE % YTRACE_BLOCK_SIZE == 0,
               "a block never straddles a window, nor a window a growth step");

static int fd = -1;
/* Set once the file is open; cleared for good when recording stops. */
static int recording;
static unsigned char *header;
/* The file is known to be at least this long. */
static uint64_t allocated;
/* Closes a thread's block when it ends. */
static pthread_key_t writer_key;
static __thread ytrace_writer_s *writer;

static uint32_t *header_field(int offset) {
  return (uint32_t *)(void *)(header + offset);
}

/* The thread's block gets no more entries. */
static void close_block(ytrace_writer_s *w) {
  if (w->block == NULL) return;
  __atomic_store_n((uint32_t *)(void *)(w->block + w->used), YTRACE_HEAD_CLOSED, __ATOMIC_RELEASE);
  w->block = NULL;
}

static void end_thread(void *w) {
  ytrace_writer_s *mine = w;
  close_block(mine);
  if (mine->window != NULL) munmap(mine->window, YTRACE_WINDOW_SIZE);
  free(mine);
}

int ytrace_file_blocks_start(int f, unsigned char *h) {
  struct stat st;
  if (fstat(f, &st) != 0 || pthread_key_create(&writer_key, end_thread) != 0) return 0;
  header = h;
  allocated = (uint64_t)st.st_size;
  fd = f;
  __atomic_store_n(&recording, 1, __ATOMIC_RELEASE);
  return 1;
}

/* Blocks are not inherited (MADV_DONTFORK): the child's thread starts a block of
 * its own, under its own pid; the other threads' writers are gone with them. */
void ytrace_file_blocks_after_fork(void) {
  if (writer != NULL) writer->block = writer->window = NULL;
}

ytrace_writer_s *ytrace_file_writer(void) {
  if (!__atomic_load_n(&recording, __ATOMIC_ACQUIRE)) return NULL;
  if (writer == NULL) {
    ytrace_writer_s *w = calloc(1, sizeof *w);
    if (w == NULL || pthread_setspecific(writer_key, w) != 0) {
      free(w);
      return NULL;
    }
    writer = w;
  }
  return writer;
}

/* Makes the file at least `to` bytes long; threads racing here may store a
 * smaller hint than another's, which costs only a call more. */
static int reach(uint64_t to) {
  uint64_t known = __atomic_load_n(&allocated, __ATOMIC_RELAXED);
  if (to <= known) return 1;
  uint64_t wanted = (to + YTRACE_FILE_CHUNK - 1) / YTRACE_FILE_CHUNK * YTRACE_FILE_CHUNK;
  int failed;
  while ((failed = fallocate(fd, 0, (off_t)known, (off_t)(wanted - known))) != 0 &&
         errno == EINTR) {
  }
  if (!failed) __atomic_store_n(&allocated, wanted, __ATOMIC_RELAXED);
  return !failed;
}

/* Recording stops here for every process; the first to stop says where and why. */
static void stop(uint32_t block, int why) {
  uint32_t none = 0;
  if (__atomic_compare_exchange_n(header_field(YTRACE_FILE_STOPPED_OFFSET), &none, block, 0,
                                  __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
    __atomic_store_n(header_field(YTRACE_FILE_STOP_ERRNO_OFFSET), (uint32_t)why, __ATOMIC_RELAXED);
  }
  __atomic_store_n(&recording, 0, __ATOMIC_RELAXED);
}

/* The address of file offset `at` in the thread's window, moved there if need
 * be; NULL when it cannot be mapped. Unmapping is what costs (the TLB flush, a
 * trap in a virtual machine): a window spans many blocks, so that a thread's
 * next block is most often in it already. */
static unsigned char *mapped(ytrace_writer_s *w, uint64_t at) {
  uint64_t first = at / YTRACE_WINDOW_SIZE * YTRACE_WINDOW_SIZE;
  if (w->window != NULL && w->window_at == first) return w->window + (at - first);
  if (w->window != NULL) munmap(w->window, YTRACE_WINDOW_SIZE);
  void *p = mmap(NULL, YTRACE_WINDOW_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, (off_t)first);
  w->window = p != MAP_FAILED ? p : NULL;
  if (w->window == NULL) return NULL;
  madvise(w->window, YTRACE_WINDOW_SIZE, MADV_DONTFORK);
  w->window_at = first;
  return w->window + (at - first);
}

/* Takes the next block for the calling thread and writes its header. */
static int take_block(ytrace_writer_s *w) {
  if (__atomic_load_n(header_field(YTRACE_FILE_STOPPED_OFFSET), __ATOMIC_ACQUIRE) != 0) {
    __atomic_store_n(&recording, 0, __ATOMIC_RELAXED);
    return 0;
  }
  uint32_t i = __atomic_fetch_add(header_field(YTRACE_FILE_TAKEN_OFFSET), 1, __ATOMIC_RELAXED);
  uint64_t at = (uint64_t)i * YTRACE_BLOCK_SIZE;
  if (i == UINT32_MAX || !reach(at + YTRACE_BLOCK_SIZE)) {
    stop(i, i == UINT32_MAX ? EFBIG : errno);
    return 0;
  }
  unsigned char *p = mapped(w, at);
  if (p == NULL) {
    stop(i, errno);
    return 0;
  }
  madvise(p, YTRACE_BLOCK_SIZE, MADV_POPULATE_WRITE); /* a hint: older kernels lack it */
  uint32_t tid = (uint32_t)gettid();
  uint64_t instance = ytrace_file_instance(), taken = ytrace_file_now();
  memcpy(p + 4, &tid, 4);
  memcpy(p + 8, &instance, 8);
  memcpy(p + 16, &taken, 8);
  __atomic_store_n((uint32_t *)(void *)p, (uint32_t)ytrace_file_pid(), __ATOMIC_RELEASE);
  w->block = p;
  w->used = YTRACE_BLOCK_HEADER_SIZE;
  w->sites = 0;
  memset(w->site, 0, sizeof w->site);
  return 1;
}

/* A block always keeps room for the head that closes it. */
int ytrace_file_fits(const ytrace_writer_s *w, uint32_t need) {
  return w->block != NULL && w->used + need + 4 <= YTRACE_BLOCK_SIZE;
}

int ytrace_file_next_block(ytrace_writer_s *w) {
  int saved = errno;
  close_block(w);
  int taken = take_block(w);
  errno = saved;
  return taken;
}
