// SPDX-License-Identifier: MIT
/* Test view of the trace stand-in: the records it kept, newest last, and the
 * thresholds that decide which are kept. Not part of the platform interface.
 *
 * A module keeps levels 0 to 6 unless YTRACE_LEVEL or ytrace_capture_set_level()
 * says otherwise. YTRACE_LEVEL, read once per process, is a comma-separated list of
 * a number, the default for every module ("7"), and name:number for one module
 * ("3,yenv:7,ycurs:-1"; -1 keeps none); malformed parts are ignored. A level set
 * here wins over the variable's. */
#ifndef YUTIL_STANDINS_YTRACE_CAPTURE_H
#define YUTIL_STANDINS_YTRACE_CAPTURE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { YTRACE_CAPTURE_MAX_ARGS = 3, YTRACE_CAPTURE_STRING_MAX = 512, YTRACE_CAPTURE_RING = 4096 };

typedef struct {
  char type; /* '1' string, '4' 32-bit integer, '5' 64-bit integer */
  uint64_t number;
  char text[YTRACE_CAPTURE_STRING_MAX]; /* copied, cut to fit; null kept as "(null)" */
} ytrace_capture_arg_s;

typedef struct {
  const void *catalog;
  uint32_t message_index;
  uint16_t module_id;
  uint32_t level_word;
  unsigned arg_count;
  ytrace_capture_arg_s args[YTRACE_CAPTURE_MAX_ARGS];
} ytrace_capture_record_s;

/* Forgets every kept record. */
void ytrace_capture_clear(void);
/* Records held now (at most YTRACE_CAPTURE_RING; older ones are overwritten). */
size_t ytrace_capture_count(void);
/* Copies the i-th held record, 0 the oldest; returns 0, or -1 when i is past the end. */
int ytrace_capture_get(size_t i, ytrace_capture_record_s *out);
/* Keep levels 0 to max_level for the module of that name; -1 keeps none. */
void ytrace_capture_set_level(const char *module_name, int max_level);
/* Id of a registered module, 0 when it never registered. */
uint16_t ytrace_capture_module_id(const char *module_name);
/* How many times a module of that name was registered. */
unsigned ytrace_capture_registrations(const char *module_name);

#ifdef __cplusplus
}
#endif

#endif
