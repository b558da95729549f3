// SPDX-License-Identifier: MIT
/* YTRACE_LEVEL, read once per process: parts separated by commas, each either a
 * number, the highest level kept by every module not named, or name:number for the
 * module of that name; "3,yenv:7" keeps levels 0 to 7 of yenv and 0 to 3 of the
 * others. A number is decimal with an optional minus sign (-1 keeps nothing). A
 * later part wins over an earlier one for the same module. A malformed part (not a
 * number, something after the digits, an empty or too long name, more names than
 * fit) is ignored and the others still count. */
#include <stdlib.h>
#include <string.h>

#include "ytrace_internal.h"

enum { DEFAULT_MAX_LEVEL = 6, MAX_NAMED = 32, MAX_DIGITS = 9 };

typedef struct {
  char name[YTRACE_NAME_MAX + 1];
  int level;
} named_level_s;

static int default_level = DEFAULT_MAX_LEVEL;
static named_level_s named[MAX_NAMED];
static unsigned named_count;

static int parse_level(const char *p, const char *end, int *out) {
  int negative = p < end && *p == '-';
  p += negative;
  if (p == end || end - p > MAX_DIGITS) return 0;
  int value = 0;
  for (; p < end; p++) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
  }
  *out = negative ? -value : value;
  return 1;
}

static void set_named(const char *name, size_t length, int level) {
  if (length == 0 || length > YTRACE_NAME_MAX) return;
  unsigned i = 0;
  while (i < named_count &&
         (strlen(named[i].name) != length || memcmp(named[i].name, name, length)))
    i++;
  if (i == MAX_NAMED) return;
  if (i == named_count) memcpy(named[named_count++].name, name, length);
  named[i].level = level;
}

void ytrace_env_read(void) {
  const char *part = getenv("YTRACE_LEVEL");
  while (part != NULL && *part != 0) {
    const char *end = part + strcspn(part, ",");
    const char *colon = memchr(part, ':', (size_t)(end - part));
    int level;
    if (parse_level(colon != NULL ? colon + 1 : part, end, &level)) {
      if (colon != NULL) {
        set_named(part, (size_t)(colon - part), level);
      } else {
        default_level = level;
      }
    }
    part = *end != 0 ? end + 1 : end;
  }
}

int ytrace_env_level(const char *module_name) {
  for (unsigned i = 0; module_name != NULL && i < named_count; i++)
    if (strncmp(named[i].name, module_name, YTRACE_NAME_MAX) == 0) return named[i].level;
  return default_level;
}
