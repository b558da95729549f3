// SPDX-License-Identifier: MIT
/* Stand-in for the platform assertion routine: say what failed, then abort. */
#include "yassert.h"

#include <stdio.h>
#include <stdlib.h>

void yassert(const char *expression, const char *source_path, int line) {
  fprintf(stderr, "yassert: %s:%d: assertion failed: %s\n", source_path, line, expression);
  fflush(stderr);
  abort();
}
