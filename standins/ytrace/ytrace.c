// SPDX-License-Identifier: MIT
/* Stand-in for the platform trace facility: records kept in memory, in a bounded
 * ring, for tests to read through ytrace_capture.h, and appended to the file
 * YTRACE_FILE names (ytrace_file.c). Safe for concurrent callers. */
#include <pthread.h>
#include <sched.h>
#include <stdarg.h>
#include <string.h>

#include "ytrace.h"
#include "ytrace_capture.h"
#include "ytrace_internal.h"

enum { MAX_MODULES = 32 };

typedef struct {
  char name[YTRACE_NAME_MAX + 1];
  unsigned registrations;
  int max_level;
} module_s;

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
/* modules[i] has id i + 1; id 0 stands for an unregistered module. */
static module_s modules[MAX_MODULES];
static unsigned module_count;
/* The ring takes no lock, so that threads keeping records at once do not wait on
 * each other: each takes a ticket, writes its slot, then marks the slot with the
 * ticket + 1. The ticket wraps, which YTRACE_CAPTURE_RING divides. */
static ytrace_capture_record_s ring[YTRACE_CAPTURE_RING];
/* Each in a cache line of its own: threads on other processors write them. */
typedef struct {
  _Alignas(64) uint32_t value;
} line_s;
static line_s ring_ticket, ring_written[YTRACE_CAPTURE_RING];
static uint32_t ring_cleared;
/* YTRACE_LEVEL read, YTRACE_FILE's file tried: each once per process, under the
 * lock, so that no fork copies it half done. */
static int levels_read, file_tried;
/* Without fork handlers a child would write as its parent: no file then. */
static int fork_unguarded;

/* fork() copies the lock as it is, possibly held by a thread the child does not
 * have: the forking thread holds it across the fork, so it is free in both. */
static void lock_for_fork(void) {
  pthread_mutex_lock(&lock);
}
static void unlock_in_parent(void) {
  pthread_mutex_unlock(&lock);
}
static void unlock_in_child(void) {
  pthread_mutex_unlock(&lock);
  ytrace_file_after_fork();
}
__attribute__((constructor)) static void guard_fork(void) {
  fork_unguarded = pthread_atfork(lock_for_fork, unlock_in_parent, unlock_in_child) != 0;
}

/* Caller holds the lock. */
static void start_held(int *done, void (*step)(void)) {
  if (*done) return;
  step();
  __atomic_store_n(done, 1, __ATOMIC_RELEASE);
}

static void start(int *done, void (*step)(void)) {
  if (__atomic_load_n(done, __ATOMIC_ACQUIRE)) return;
  pthread_mutex_lock(&lock);
  start_held(done, step);
  pthread_mutex_unlock(&lock);
}

static void open_file(void) {
  if (!fork_unguarded) ytrace_file_open();
}

static __thread uint16_t last_module_id;
static __thread uint32_t last_level;
static __thread int eval_once_result;

/* Caller holds the lock. */
static module_s *find_module(const char *name) {
  for (unsigned i = 0; i < module_count; i++)
    if (strncmp(modules[i].name, name, YTRACE_NAME_MAX) == 0) return &modules[i];
  return NULL;
}

static module_s *add_module(const char *name) {
  module_s *m = find_module(name);
  if (m == NULL && module_count < MAX_MODULES) {
    start_held(&levels_read, ytrace_env_read);
    m = &modules[module_count];
    strncpy(m->name, name, YTRACE_NAME_MAX);
    m->max_level = ytrace_env_level(name);
    __atomic_store_n(&module_count, module_count + 1, __ATOMIC_RELEASE);
  }
  return m;
}

/* Lock-free: a module's slot is filled before module_count covers it. */
static int max_level_of(uint16_t module_id) {
  if (module_id == 0 || module_id > __atomic_load_n(&module_count, __ATOMIC_ACQUIRE)) {
    start(&levels_read, ytrace_env_read);
    return ytrace_env_level(NULL);
  }
  return __atomic_load_n(&modules[module_id - 1].max_level, __ATOMIC_RELAXED);
}

/* Lock-free, as max_level_of(); a module only named by the test view has not
 * registered. */
const char *ytrace_module_name(uint16_t module_id) {
  if (module_id == 0 || module_id > __atomic_load_n(&module_count, __ATOMIC_ACQUIRE)) return NULL;
  const module_s *m = &modules[module_id - 1];
  return __atomic_load_n(&m->registrations, __ATOMIC_RELAXED) > 0 ? m->name : NULL;
}

int ytrace_module_init_fn(const char *module_name, uint16_t *module_id_out,
                          uint32_t *registration_word) {
  (void)registration_word;
  if (module_name == NULL || module_id_out == NULL) return -1;
  pthread_mutex_lock(&lock);
  start_held(&file_tried, open_file);
  module_s *m = add_module(module_name);
  if (m != NULL) __atomic_store_n(&m->registrations, m->registrations + 1, __ATOMIC_RELAXED);
  pthread_mutex_unlock(&lock);
  if (m == NULL) return -1;
  *module_id_out = (uint16_t)(m - modules + 1);
  return 0;
}

int ytrace_module_test(uint16_t module_id, uint32_t level) {
  return (int)level <= max_level_of(module_id);
}

void ytrace_eval_once(int result) {
  eval_once_result = result;
}
int ytrace_eval_once_res(void) {
  return eval_once_result;
}
uint16_t ytrace_last_module_id(void) {
  return last_module_id;
}
uint32_t ytrace_last_level(void) {
  return last_level;
}

/* Copies a record straight into its ring slot, only what each argument holds, so
 * that keeping a record costs little next to the code that emits it. */
static void keep_in_ring(const void *catalog, uint32_t index, uint16_t module_id,
                         uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count) {
  uint32_t ticket = __atomic_fetch_add(&ring_ticket.value, 1, __ATOMIC_RELAXED);
  uint32_t slot = ticket % YTRACE_CAPTURE_RING;
  /* Unmarked before any of the slot changes (acquire: nothing after moves before). */
  __atomic_exchange_n(&ring_written[slot].value, 0, __ATOMIC_ACQUIRE);
  ytrace_capture_record_s *r = &ring[slot];
  r->catalog = catalog;
  r->message_index = index;
  r->module_id = module_id;
  r->level_word = level_word;
  r->arg_count = arg_count;
  for (unsigned i = 0; i < arg_count; i++) {
    ytrace_capture_arg_s *a = &r->args[i];
    a->type = args[i].type;
    a->number = args[i].number;
    a->text[0] = 0;
    if (args[i].type == '1') {
      size_t n = strnlen(args[i].text, sizeof a->text - 1);
      memcpy(a->text, args[i].text, n);
      a->text[n] = 0;
    }
  }
  __atomic_store_n(&ring_written[slot].value, ticket + 1, __ATOMIC_RELEASE);
}

/* Records one emit call; `signature` holds the argument type digits. The file
 * entry is written outside the lock. */
static int record(const void *catalog, uint32_t index, uint16_t module_id, uint32_t level_word,
                  const char *signature, ...) {
  uint32_t level = level_word >> YTRACE_LEVEL_SHIFT;
  last_module_id = module_id;
  last_level = level;
  if (!ytrace_module_test(module_id, level)) return 0;

  ytrace_arg_s args[YTRACE_CAPTURE_MAX_ARGS];
  unsigned n = 0;
  va_list ap;
  va_start(ap, signature);
  for (const char *t = signature; *t != 0 && n < YTRACE_CAPTURE_MAX_ARGS; t++, n++) {
    args[n] = (ytrace_arg_s){*t, 0, NULL};
    if (*t == '1') {
      const char *text = va_arg(ap, const char *);
      args[n].text = text != NULL ? text : "(null)";
    } else if (*t == '4') {
      args[n].number = va_arg(ap, uint32_t);
    } else {
      args[n].number = va_arg(ap, uint64_t);
    }
  }
  va_end(ap);
  keep_in_ring(catalog, index, module_id, level_word, args, n);
  start(&file_tried, open_file);
  ytrace_file_record(catalog, index, module_id, level_word, args, n);
  return 0;
}

#define HEAD const void *c, uint32_t i, uint16_t m, uint32_t w
int __YTf_0(HEAD) {
  return record(c, i, m, w, "");
}
int __YTf_1(HEAD, const char *a) {
  return record(c, i, m, w, "1", a);
}
int __YTf_4(HEAD, uint32_t a) {
  return record(c, i, m, w, "4", a);
}
int __YTf_11(HEAD, const char *a, const char *b) {
  return record(c, i, m, w, "11", a, b);
}
int __YTf_14(HEAD, const char *a, uint32_t b) {
  return record(c, i, m, w, "14", a, b);
}
int __YTf_15(HEAD, const char *a, uint64_t b) {
  return record(c, i, m, w, "15", a, b);
}
int __YTf_41(HEAD, uint32_t a, const char *b) {
  return record(c, i, m, w, "41", a, b);
}
int __YTf_44(HEAD, uint32_t a, uint32_t b) {
  return record(c, i, m, w, "44", a, b);
}
int __YTf_114(HEAD, const char *a, const char *b, uint32_t d) {
  return record(c, i, m, w, "114", a, b, d);
}

void ytrace_capture_clear(void) {
  __atomic_store_n(&ring_cleared, __atomic_load_n(&ring_ticket.value, __ATOMIC_ACQUIRE),
                   __ATOMIC_RELEASE);
}

/* The ticket of the oldest record held, and how many are held. */
static uint32_t held(uint32_t *first) {
  uint32_t cleared = __atomic_load_n(&ring_cleared, __ATOMIC_ACQUIRE);
  uint32_t next = __atomic_load_n(&ring_ticket.value, __ATOMIC_ACQUIRE);
  uint32_t n = next - cleared < YTRACE_CAPTURE_RING ? next - cleared : YTRACE_CAPTURE_RING;
  *first = next - n;
  return n;
}

size_t ytrace_capture_count(void) {
  uint32_t first;
  return held(&first);
}

/* A record still being written is waited for; one overwritten while it was
 * copied is not found. */
int ytrace_capture_get(size_t i, ytrace_capture_record_s *out) {
  uint32_t first;
  if (i >= held(&first)) return -1;
  uint32_t ticket = first + (uint32_t)i, slot = ticket % YTRACE_CAPTURE_RING;
  uint32_t written;
  while ((written = __atomic_load_n(&ring_written[slot].value, __ATOMIC_ACQUIRE)) != ticket + 1 &&
         written - (ticket + 1) > YTRACE_CAPTURE_RING) {
    sched_yield();
  }
  *out = ring[slot];
  /* Checked after the copy (release: nothing before moves after). */
  return __atomic_fetch_add(&ring_written[slot].value, 0, __ATOMIC_RELEASE) == ticket + 1 ? 0 : -1;
}

void ytrace_capture_set_level(const char *module_name, int max_level) {
  pthread_mutex_lock(&lock);
  module_s *m = add_module(module_name);
  if (m != NULL) __atomic_store_n(&m->max_level, max_level, __ATOMIC_RELAXED);
  pthread_mutex_unlock(&lock);
}

uint16_t ytrace_capture_module_id(const char *module_name) {
  pthread_mutex_lock(&lock);
  module_s *m = find_module(module_name);
  uint16_t id = m != NULL && m->registrations > 0 ? (uint16_t)(m - modules + 1) : 0;
  pthread_mutex_unlock(&lock);
  return id;
}

unsigned ytrace_capture_registrations(const char *module_name) {
  pthread_mutex_lock(&lock);
  module_s *m = find_module(module_name);
  unsigned n = m != NULL ? m->registrations : 0;
  pthread_mutex_unlock(&lock);
  return n;
}
