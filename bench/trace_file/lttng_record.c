// SPDX-License-Identifier: MIT
// The tracepoint's provider and one call of it, in a module that trace_file_bench
// loads only in the processes that measure LTTng: loading it starts LTTng-UST,
// which registers with the session daemon, and the other cases must not pay for it.
#define LTTNG_UST_TRACEPOINT_CREATE_PROBES
#define LTTNG_UST_TRACEPOINT_DEFINE
#include "lttng_record.h"

void ytrace_bench_lttng_emit(const char *text, uint32_t value) {
  lttng_ust_tracepoint(ytrace_bench, record, text, value);
}
