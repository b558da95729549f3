/* What the trace stand-in's own files share; none of it is exported. */
#ifndef YUTIL_STANDINS_YTRACE_INTERNAL_H
#define YUTIL_STANDINS_YTRACE_INTERNAL_H

#include <stdint.h>

#pragma GCC visibility push(hidden)

/* Longest module name kept; a longer one is known by its first this many bytes. */
#define YTRACE_NAME_MAX 31

/* Highest level YTRACE_LEVEL keeps for the module of that name; NULL asks for the
 * default, which serves every module the variable does not name. */
int ytrace_env_level(const char *module_name);

#pragma GCC visibility pop

#endif
