// SPDX-License-Identifier: MIT
/* Stand-in for the platform's accounting allocator: zero-filled blocks counted
 * per type name, with failures injectable for tests. */
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "quillet.h"
#include "quillet_testing.h"

enum { MAX_TYPES = 64 };

/* Each block starts with a header naming its type, aligned for any object. */
typedef union {
  unsigned type_slot;
  max_align_t align;
} header_s;

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static const char *type_names[MAX_TYPES];
static long live_blocks[MAX_TYPES];
static unsigned long calls;
static unsigned long fail_at_call; /* 0: off */
static uint32_t failing_site;      /* 0: off */

/* Slot of a type name, added on first sight; MAX_TYPES - 1 collects the rest. */
static unsigned slot_of(const char *name) {
  for (unsigned i = 0; i < MAX_TYPES - 1; i++) {
    if (type_names[i] == NULL) type_names[i] = name;
    if (strcmp(type_names[i], name) == 0) return i;
  }
  return MAX_TYPES - 1;
}

void *__quillet_calloc(uint32_t site_id, uint32_t *type_cache, const char *type_name,
                       uint32_t *library_cache, const char *library_name, size_t count,
                       size_t element_size) {
  (void)type_cache;
  (void)library_cache;
  (void)library_name;
  pthread_mutex_lock(&lock);
  calls++;
  int inject = (fail_at_call != 0 && calls == fail_at_call) ||
               (failing_site != 0 && site_id == failing_site);
  pthread_mutex_unlock(&lock);

  header_s *h = NULL;
  if (element_size != 0 && count > (SIZE_MAX - sizeof(header_s)) / element_size) inject = 1;
  if (!inject) h = calloc(1, sizeof(header_s) + count * element_size);
  if (h == NULL) {
    errno = ENOMEM;
    return NULL;
  }
  pthread_mutex_lock(&lock);
  h->type_slot = slot_of(type_name ? type_name : "(null)");
  live_blocks[h->type_slot]++;
  pthread_mutex_unlock(&lock);
  return h + 1;
}

void __quillet_free(void *block) {
  if (block == NULL) return;
  header_s *h = (header_s *)block - 1;
  pthread_mutex_lock(&lock);
  live_blocks[h->type_slot]--;
  pthread_mutex_unlock(&lock);
  free(h);
}

long quillet_testing_live(const char *type_name) {
  pthread_mutex_lock(&lock);
  long n = 0;
  for (unsigned i = 0; i < MAX_TYPES - 1 && type_names[i] != NULL; i++)
    if (strcmp(type_names[i], type_name) == 0) n = live_blocks[i];
  pthread_mutex_unlock(&lock);
  return n;
}

void quillet_testing_fail_nth(unsigned long n) {
  pthread_mutex_lock(&lock);
  fail_at_call = n == 0 ? 0 : calls + n;
  pthread_mutex_unlock(&lock);
}

void quillet_testing_fail_site(uint32_t site_id) {
  pthread_mutex_lock(&lock);
  failing_site = site_id;
  pthread_mutex_unlock(&lock);
}
