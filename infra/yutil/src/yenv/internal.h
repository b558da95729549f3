// SPDX-License-Identifier: MIT
// What the environment module's sources share: the trace id, the module
// start, the store step of every setter and the two number readers.
#ifndef YUTIL_SRC_YENV_INTERNAL_H
#define YUTIL_SRC_YENV_INTERNAL_H

#include <stdint.h>

#include "trace.h"
#include "yassert.h"
#include "yenv.h"

// A broken caller contract ends the process; the text names what was wrong.
#define YENV_ASSERT(condition) \
  ((condition) ? (void)0 : yassert(#condition, "infra/yutil/src/yenv", __LINE__))

extern "C" {
// 0 until the module has been started, then 1.
extern uint32_t yenv_init_count;

// The readers behind the integer getters: the whole grammar of each family.
// *val is written only on 0; `text`, when not null, receives the value text the
// number was read from, so that a caller's record shows what was judged.
int yenv_parse_unsigned(const char *name, uint64_t *val, const char **text = nullptr);
int yenv_parse_signed(const char *name, int64_t *val, const char **text = nullptr);
}

namespace yenv {

// Registers the module on the first call in the process; every caller returns
// only once the registration and its record are done.
void start();

// The module's trace id at this moment: another thread may be starting it.
inline uint16_t trace_id() {
  return __atomic_load_n(&g_yenv_trace_module_id, __ATOMIC_RELAXED);
}

// setenv with its two records; 0, or 12 when the C library refuses.
int store(const char *name, const char *text);

}  // namespace yenv

#endif
