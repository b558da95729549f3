// SPDX-License-Identifier: MIT
// The LTTng-UST tracepoint that stands beside the stand-in's record in
// trace_file_bench: the same shape, a string and a 32-bit unsigned integer.
#undef LTTNG_UST_TRACEPOINT_PROVIDER
#define LTTNG_UST_TRACEPOINT_PROVIDER ytrace_bench

#undef LTTNG_UST_TRACEPOINT_INCLUDE
#define LTTNG_UST_TRACEPOINT_INCLUDE "./lttng_record.h"

#if !defined(YUTIL_BENCH_LTTNG_RECORD_H) || defined(LTTNG_UST_TRACEPOINT_HEADER_MULTI_READ)
#define YUTIL_BENCH_LTTNG_RECORD_H

#include <lttng/tracepoint.h>
#include <stdint.h>

LTTNG_UST_TRACEPOINT_EVENT(ytrace_bench, record,
                           LTTNG_UST_TP_ARGS(const char *, text, uint32_t, value),
                           LTTNG_UST_TP_FIELDS(lttng_ust_field_string(text, text)
                                                   lttng_ust_field_integer(uint32_t, value, value)))

#endif

#include <lttng/tracepoint-event.h>
