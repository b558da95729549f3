// SPDX-License-Identifier: MIT
/* A record's entry in the calling thread's block, as ytrace_file_format.h says:
 * the time and the argument values, behind the site definition that says the
 * rest, written before the site's first record in the block. */
#include <errno.h>
#include <string.h>

#include "ytrace_internal.h"

static uint32_t padded(size_t length) {
  return (uint32_t)(length + YTRACE_ENTRY_ALIGN - 1) / YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;
}

static size_t string_length(const ytrace_arg_s *a) {
  return strnlen(a->text, YTRACE_FILE_STRING_MAX);
}

/* The argument types, one byte each, as a site tells them apart. */
static uint32_t signature(const ytrace_arg_s *args, unsigned n) {
  uint32_t s = 0;
  for (unsigned i = 0; i < n; i++) s = s << 8 | (uint32_t)(args[i].type - '0');
  return s;
}

/* The writer's slot for this site: the one that holds it, or a free one. */
static ytrace_site_s *find_site(ytrace_writer_s *w, const ytrace_site_s *key) {
  uint32_t h = (key->index * 2654435761u) ^ (uint32_t)(uintptr_t)key->catalog ^ key->module_id ^
               (key->level_word >> 16) ^ key->signature;
  for (uint32_t i = h;; i++) {
    ytrace_site_s *s = &w->site[i % YTRACE_SITE_SLOTS];
    if (s->catalog == NULL ||
        (s->catalog == key->catalog && s->index == key->index && s->module_id == key->module_id &&
         s->level_word == key->level_word && s->signature == key->signature)) {
      return s;
    }
  }
}

static uint32_t definition_size(const ytrace_site_s *key, unsigned arg_count) {
  const char *name = ytrace_module_name(key->module_id);
  return padded(YTRACE_DEFINITION_FIXED_SIZE + (name != NULL ? strnlen(name, YTRACE_NAME_MAX) : 0) +
                arg_count);
}

static void write_definition(unsigned char *p, const ytrace_site_s *site, const ytrace_arg_s *args,
                             unsigned arg_count) {
  const char *name = ytrace_module_name(site->module_id);
  if (name == NULL) name = ""; /* not registered: no name */
  size_t name_length = strnlen(name, YTRACE_NAME_MAX);
  p = ytrace_put(p + 4, YTRACE_DEFINE_SITE, 1);
  p = ytrace_put(p, site->id, 2);
  memcpy(p, site->catalog, YTRACE_FILE_IDENTITY_SIZE);
  p = ytrace_put(ytrace_put(p + YTRACE_FILE_IDENTITY_SIZE, site->index, 4), site->level_word, 4);
  p = ytrace_put(ytrace_put(p, site->module_id, 2), name_length, 1);
  memcpy(p, name, name_length);
  p = ytrace_put(p + name_length, arg_count, 1);
  for (unsigned i = 0; i < arg_count; i++) p = ytrace_put(p, (uint64_t)(args[i].type - '0'), 1);
}

static void write_values(unsigned char *p, uint64_t time, const ytrace_arg_s *args,
                         unsigned arg_count) {
  p = ytrace_put(p + 4, time, 8);
  for (unsigned i = 0; i < arg_count; i++) {
    if (args[i].type == '1') {
      size_t length = string_length(&args[i]);
      p = ytrace_put(p, length, 2);
      memcpy(p, args[i].text, length);
      p += length;
    } else {
      p = ytrace_put(p, args[i].number, args[i].type == '4' ? 4 : 8);
    }
  }
}

static uint32_t head(uint32_t size, uint16_t site_id) {
  return size | (uint32_t)site_id << YTRACE_HEAD_SITE_SHIFT;
}

/* The entry's bytes are all zero until written: the block is fresh from the
 * file's growth, and each entry is written once. */
void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count) {
  ytrace_writer_s *w = ytrace_file_writer();
  /* A signal handler's record in the middle of its thread's own goes to the ring
   * only: both would be written at the same place. */
  if (w == NULL || w->busy) return;
  w->busy = 1;
  __atomic_signal_fence(__ATOMIC_SEQ_CST);
  /* A record of no catalog is known by a catalog identity of zero bytes. */
  static const unsigned char no_catalog[YTRACE_FILE_IDENTITY_SIZE];
  ytrace_site_s key = {catalog != NULL ? catalog : no_catalog,
                       index,
                       level_word,
                       module_id,
                       0,
                       signature(args, arg_count)};
  uint32_t size = YTRACE_RECORD_FIXED_SIZE;
  for (unsigned i = 0; i < arg_count; i++)
    size +=
        args[i].type == '1' ? 2 + (uint32_t)string_length(&args[i]) : (args[i].type == '4' ? 4 : 8);
  size = padded(size);
  /* Where the block lacks room, or its site table is full, the next block
   * starts a new table, and the site's definition comes first. */
  ytrace_site_s *site;
  uint32_t defining;
  for (;;) {
    site = find_site(w, &key);
    defining = site->catalog != NULL ? 0 : definition_size(&key, arg_count);
    if (ytrace_file_fits(w, size + defining) && (defining == 0 || w->sites < YTRACE_SITES_MAX))
      break;
    if (!ytrace_file_next_block(w)) {
      w->busy = 0;
      return;
    }
  }

  unsigned char *p = w->block + w->used;
  /* Not a full barrier, which would wait for the line to come from memory: the
   * store is seen within microseconds of the clock read, and a follower allows
   * YTRACE_FOLLOW_MARGIN for it. */
  __atomic_store_n((uint32_t *)(void *)p, YTRACE_HEAD_WRITING, __ATOMIC_RELAXED);
  uint64_t time = ytrace_file_now();
  write_values(p + defining, time, args, arg_count);
  if (defining != 0) {
    *site = key;
    site->id = ++w->sites;
    write_definition(p, site, args, arg_count);
    __atomic_store_n((uint32_t *)(void *)(p + defining), head(size, site->id), __ATOMIC_RELEASE);
    __atomic_store_n((uint32_t *)(void *)p, head(defining, 0), __ATOMIC_RELEASE);
  } else {
    __atomic_store_n((uint32_t *)(void *)p, head(size, site->id), __ATOMIC_RELEASE);
  }
  w->used += defining + size;
  __atomic_signal_fence(__ATOMIC_SEQ_CST);
  w->busy = 0;
}
