/* What the trace stand-in's own files share; none of it is exported. */
#ifndef YUTIL_STANDINS_YTRACE_INTERNAL_H
#define YUTIL_STANDINS_YTRACE_INTERNAL_H

#include <stdint.h>
#include <sys/types.h>

#pragma GCC visibility push(hidden)

/* Longest module name kept; a longer one is known by its first this many bytes. */
#define YTRACE_NAME_MAX 31

/* One argument of an emit call. */
typedef struct {
  char type; /* '1' string, '4' 32-bit, '5' 64-bit: the digit of the emit function */
  uint64_t number;
  const char *text; /* a string's bytes, "(null)" for a null pointer */
} ytrace_arg_s;

/* Highest level YTRACE_LEVEL keeps for the module of that name; NULL asks for the
 * default, which serves every module the variable does not name. */
int ytrace_env_level(const char *module_name);

/* Nonzero when this process writes to the file YTRACE_FILE names; the first call
 * opens it. */
int ytrace_file_open(void);
/* The process id entries carry; a forked child gets its own. */
pid_t ytrace_file_pid(void);
void ytrace_file_registration(uint16_t module_id, const char *name);
void ytrace_file_record(const void *catalog, uint32_t index, uint16_t module_id,
                        uint32_t level_word, const ytrace_arg_s *args, unsigned arg_count);

#pragma GCC visibility pop

#endif
